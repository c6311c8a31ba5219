// A flat disk in memory for the zip tests: files by path, folders implied by the paths of their
// files, every change recorded, any change failed on demand, and a hook on each read, so that a
// test can hand the zip layer a zip held in memory, see that a check writes nothing, and watch
// memory while the layer reads. Safe for several threads at once, as the real disk is.
#pragma once

#include "engine/fsys.h"

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class ZipTestDisk : public fsys::FileSystem {
public:
    using FailWhen = std::function<bool(fsys::Op op, const std::string& path)>;

    void add_file(const std::string& path, std::string bytes)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_files[path] = std::move(bytes);
    }
    std::string bytes(const std::string& path)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_files.find(path);
        return found == m_files.end() ? "<missing>" : found->second;
    }
    std::vector<std::string> paths()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::string> out;
        for (const auto& file : m_files) {
            out.push_back(file.first);
        }
        return out;
    }
    // Every change made since the disk was set up: "write P", "rename A -> B", "remove P".
    std::vector<std::string> changes()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_changes;
    }
    void fail_when(FailWhen when) { m_fail = std::move(when); }
    void on_read(std::function<void()> hook) { m_on_read = std::move(hook); }
    int open_files()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<int>(m_open.size());
    }

    bool open_for_reading(const std::string& path, fsys::RawFile& f, fsys::Listed = fsys::Listed::unknown) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_files.count(path) == 0) {
            return false;
        }
        return open_locked(path, f);
    }
    bool open_for_writing(const std::string& path, fsys::Create mode, fsys::RawFile& f) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (mode == fsys::Create::exclusive && m_files.count(path) != 0) {
            return false;
        }
        m_files[path].clear();
        m_changes.push_back("write " + path);
        return open_locked(path, f);
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
    bool is_readable_file(const std::string& path) override { return kind(path) == fsys::NameKind::file; }
    bool entry_exists(const std::string& path) override { return kind(path) != fsys::NameKind::none; }
    fsys::NameKind name_kind(const std::string& path) override { return kind(path); }
    bool is_folder(const std::string& path) override { return kind(path) == fsys::NameKind::folder; }
    bool folder_identity(const std::string& path, fsys::FolderId& id) override
    {
        id = {1, std::hash<std::string>()(path)};
        return is_folder(path);
    }
    bool list_folder_entries(const std::string& path, std::vector<fsys::FolderEntry>& entries) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::set<std::string> seen;
        entries.clear();
        const std::string prefix = path + fsys::k_sep;
        for (const auto& file : m_files) {
            if (file.first.compare(0, prefix.size(), prefix) == 0) {
                const std::string rest = file.first.substr(prefix.size());
                const std::size_t sep = rest.find(fsys::k_sep);
                if (seen.insert(rest.substr(0, sep)).second) {
                    entries.push_back({rest.substr(0, sep), sep == std::string::npos ? fsys::EntryType::file
                                                                                     : fsys::EntryType::folder});
                }
            }
        }
        return !seen.empty();
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
    bool rename_replace(const std::string&, const std::string&) override { return false; }
    bool remove_file(const std::string& path) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (failing(fsys::Op::remove, path) || m_files.erase(path) == 0) {
            return false;
        }
        m_changes.push_back("remove " + path);
        return true;
    }
    bool make_folder(const std::string&) override { return false; }
    bool remove_folder(const std::string&) override { return false; }
    bool give_protection(const std::string&, const std::string&) override { return false; }
    std::string current_folder() override { return std::string(1, fsys::k_sep); }
    std::string absolute_path(const std::string& path) override { return path; }
    std::string resolved_path(const std::string& path) override { return entry_exists(path) ? path : std::string(); }

private:
    bool open_locked(const std::string& path, fsys::RawFile& f)
    {
        f.handle = m_next++;
        f.path = path;
        m_open[f.handle] = {path, 0};
        return true;
    }
    bool failing(fsys::Op op, const std::string& path) { return m_fail && m_fail(op, path); }
    fsys::NameKind kind(const std::string& path)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_files.count(path) != 0) {
            return fsys::NameKind::file;
        }
        const auto next = m_files.lower_bound(path + fsys::k_sep);
        const bool folder = next != m_files.end() && next->first.compare(0, path.size() + 1, path + fsys::k_sep) == 0;
        return folder ? fsys::NameKind::folder : fsys::NameKind::none;
    }

    std::mutex m_mutex;
    std::map<std::string, std::string> m_files;
    std::map<std::intptr_t, std::pair<std::string, std::size_t>> m_open;
    std::intptr_t m_next = 1;
    std::vector<std::string> m_changes;
    FailWhen m_fail;
    std::function<void()> m_on_read;
};
