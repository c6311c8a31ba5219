// A flat disk in memory for the zip tests: files by path, every change recorded, any change
// failed on demand, and a hook on each read, so that a test can hand the zip layer a zip held in
// memory, see that a check writes nothing, and watch memory while the layer reads. Safe for
// several threads at once, as the real disk is. Folders are not kept: only files are asked for.
#pragma once

#include "engine/fsys.h"

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class ZipTestDisk : public fsys::FileSystem {
public:
    using FailWhen = std::function<bool(fsys::Op op, const std::string& path)>;

    void add_file(const std::string& path, std::string bytes) { m_files[path] = std::move(bytes); }
    std::string bytes(const std::string& path)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_files.count(path) != 0 ? m_files[path] : "<missing>";
    }
    std::size_t file_count() { return m_files.size(); }
    // Every change made since the disk was set up: "write P", "rename A -> B", "remove P".
    const std::vector<std::string>& changes() const { return m_changes; }
    void fail_when(FailWhen when) { m_fail = std::move(when); }
    void on_read(std::function<void()> hook) { m_on_read = std::move(hook); }

    bool open_for_reading(const std::string& path, fsys::RawFile& f, fsys::Listed = fsys::Listed::unknown) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_files.count(path) != 0 && open(path, f);
    }
    bool open_for_writing(const std::string& path, fsys::Create mode, fsys::RawFile& f) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (mode == fsys::Create::exclusive && m_files.count(path) != 0) {
            return false;
        }
        m_files[path].clear();
        m_changes.push_back("write " + path);
        return open(path, f);
    }
    long long read_some(fsys::RawFile& f, char* buf, std::size_t size) override
    {
        if (m_on_read) {
            m_on_read();
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        auto& [path, position] = m_open.at(f.handle);
        const std::string& data = m_files.at(path);
        const std::size_t n = position >= data.size() ? 0 : std::min(size, data.size() - position);
        std::copy_n(data.data() + position, n, buf);
        position += n;
        return static_cast<long long>(n);
    }
    bool write_all(fsys::RawFile& f, const char* data, std::size_t size) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto& [path, position] = m_open.at(f.handle);
        if (failing(fsys::Op::write, path)) {
            return false;
        }
        std::string& bytes = m_files.at(path);
        bytes.resize(std::max(bytes.size(), position + size));
        std::copy_n(data, size, bytes.begin() + static_cast<long>(position));
        position += size;
        return true;
    }
    bool seek_to(fsys::RawFile& f, long long offset) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open.at(f.handle).second = static_cast<std::size_t>(offset);
        return offset >= 0;
    }
    long long file_size(fsys::RawFile& f) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<long long>(m_files.at(m_open.at(f.handle).first).size());
    }
    bool sync_to_disk(fsys::RawFile& f) override { return !failing(fsys::Op::sync, f.path); }
    bool close_file(fsys::RawFile& f) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const bool closed = m_open.erase(f.handle) != 0;
        f.handle = -1;
        return closed && !failing(fsys::Op::close, f.path);
    }
    bool rename_noreplace(const std::string& from, const std::string& to) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (failing(fsys::Op::rename, from) || m_files.count(from) == 0 || m_files.count(to) != 0) {
            return false;
        }
        m_files[to] = std::move(m_files[from]);
        m_files.erase(from);
        m_changes.push_back("rename " + from + " -> " + to);
        return true;
    }
    bool remove_file(const std::string& path) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_changes.push_back("remove " + path);
        return m_files.erase(path) != 0;
    }
    bool entry_exists(const std::string& path) override { return is_readable_file(path); }
    bool is_readable_file(const std::string& path) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_files.count(path) != 0;
    }
    fsys::NameKind name_kind(const std::string& path) override
    {
        return is_readable_file(path) ? fsys::NameKind::file : fsys::NameKind::none;
    }
    bool is_folder(const std::string&) override { return false; }
    bool folder_identity(const std::string&, fsys::FolderId&) override { return false; }
    bool list_folder_entries(const std::string&, std::vector<fsys::FolderEntry>&) override { return false; }
    bool rename_replace(const std::string&, const std::string&) override { return false; }
    bool make_folder(const std::string&) override { return false; }
    bool remove_folder(const std::string&) override { return false; }
    bool give_protection(const std::string&, const std::string&) override { return false; }
    std::string current_folder() override { return std::string(1, fsys::k_sep); }
    std::string absolute_path(const std::string& path) override { return path; }
    std::string resolved_path(const std::string& path) override { return path; }

private:
    bool open(const std::string& path, fsys::RawFile& f)
    {
        f.handle = m_next++;
        f.path = path;
        m_open[f.handle] = {path, 0};
        return true;
    }
    bool failing(fsys::Op op, const std::string& path) { return m_fail && m_fail(op, path); }

    std::mutex m_mutex;
    std::map<std::string, std::string> m_files;
    std::map<std::intptr_t, std::pair<std::string, std::size_t>> m_open;
    std::intptr_t m_next = 1;
    std::vector<std::string> m_changes;
    FailWhen m_fail;
    std::function<void()> m_on_read;
};
