// The real disk, failing any operation that changes it on demand, as a disk that is full, a file held open by another
// program, or a machine that dies at that step would. Files left to be written and flushed later go to the real disk's
// flush threads, which meet the failures in a thread of their own, one file at a time once a sync asks for them.
#pragma once

#include "engine/fsys/flush_workers.h"
#include "engine/fsys/fsys.h"

#include <functional>
#include <mutex>

class FailingFileSystem : public fsys::FileSystem {
public:
    using FailWhen = std::function<bool(fsys::Op op, const std::string& path)>;
    void fail_when(FailWhen when) { m_when = std::move(when); }
    std::vector<std::string> asked;  // every path looked at, read or written

    bool open_for_reading(const std::string& p, fsys::RawFile& f, fsys::Listed l) override { return d().open_for_reading(seen(p), f, l); }
    bool open_for_writing(const std::string& p, fsys::Create m, fsys::RawFile& f) override
    {
        return !(m_refuse_new_files && m == fsys::Create::exclusive) && d().open_for_writing(seen(p), m, f);
    }
    // No file can be created anew, as in a folder the user may not change.
    void refuse_new_files(bool refused) { m_refuse_new_files = refused; }
    long long read_some(fsys::RawFile& f, char* b, std::size_t n) override { return d().read_some(f, b, n); }
    bool write_all(fsys::RawFile& f, const char* b, std::size_t n) override { return !fails(fsys::Op::write, f.path) && d().write_all(f, b, n); }
    bool seek_to(fsys::RawFile& f, long long at) override { return d().seek_to(f, at); }
    long long file_size(fsys::RawFile& f) override { return d().file_size(f); }
    bool sync_to_disk(fsys::RawFile& f) override { return !fails(fsys::Op::sync, f.path) && d().sync_to_disk(f); }
    bool close_file(fsys::RawFile& f) override
    {
        const bool failed = f.is_open() && fails(fsys::Op::close, f.path);
        return d().close_file(f) && !failed;
    }
    bool is_readable_file(const std::string& p) override { return d().is_readable_file(seen(p)); }
    bool entry_exists(const std::string& p) override { return d().entry_exists(seen(p)); }
    fsys::NameKind name_kind(const std::string& p) override { return d().name_kind(seen(p)); }
    bool is_folder(const std::string& p) override { return d().is_folder(seen(p)); }
    bool is_special_file(const std::string& p) override { return d().is_special_file(seen(p)); }
    long long modified_time(const std::string& p) override { return d().modified_time(seen(p)); }
    bool folder_identity(const std::string& p, fsys::FolderId& id) override { return d().folder_identity(seen(p), id); }
    bool list_folder_entries(const std::string& p, std::vector<fsys::FolderEntry>& e) override { return d().list_folder_entries(seen(p), e); }
    bool rename_noreplace(const std::string& a, const std::string& b) override { return !fails(fsys::Op::rename, a) && d().rename_noreplace(a, b); }
    bool rename_replace(const std::string& a, const std::string& b) override { return !fails(fsys::Op::rename, a) && d().rename_replace(a, b); }
    // Only when allowed: the disk of most tests has no exchange, as Windows has none.
    fsys::Exchange exchange(const std::string& a, const std::string& b) override
    {
        if (!m_exchange) {
            return fsys::Exchange::unsupported;
        }
        return fails(fsys::Op::rename, a) ? fsys::Exchange::failed : d().exchange(a, b);
    }
    void allow_exchange(bool allowed) { m_exchange = allowed; }
    // The real disk's flush threads, this disk's failures among their steps.
    void start_sync(fsys::RawFile& f) override { m_flushers.start(f); }
    void start_write_and_sync(fsys::RawFile& f, Writing write) override { m_flushers.start(f, std::move(write)); }
    void sync_together(const std::vector<fsys::RawFile*>& files, std::vector<bool>& synced) override { m_flushers.sync(files, synced); }
    // Without the flush of a whole file system, as Windows has none: each file flushed by itself.
    void flush_each_file(bool each) { m_each_file = each; }
    bool can_sync_file_system() const override { return !m_each_file && d().can_sync_file_system(); }
    bool sync_file_system(const std::string& p) override { return !fails(fsys::Op::sync, p) && d().sync_file_system(p); }
    bool remove_file(const std::string& p) override { return !fails(fsys::Op::remove, p) && d().remove_file(p); }
    bool make_folder(const std::string& p) override { return !fails(fsys::Op::make_folder, p) && d().make_folder(p); }
    bool remove_folder(const std::string& p) override { return !fails(fsys::Op::remove, p) && d().remove_folder(p); }
    bool give_protection(const std::string& a, const std::string& b) override { return d().give_protection(a, b); }
    bool is_read_only(const std::string& p) override { return d().is_read_only(p); }
    std::string current_folder() override { return d().current_folder(); }
    std::string absolute_path(const std::string& p) override { return d().absolute_path(seen(p)); }
    std::string resolved_path(const std::string& p) override { return d().resolved_path(seen(p)); }

private:
    static fsys::FileSystem& d() { return fsys::disk(); }
    bool fails(fsys::Op op, const std::string& path) const { return m_when && m_when(op, path); }
    // Asked from several threads at once where the work is shared out (an install taken back).
    const std::string& seen(const std::string& path)
    {
        std::lock_guard<std::mutex> lock(m_asked_mutex);
        asked.push_back(path);
        return path;
    }

    FailWhen m_when;
    std::mutex m_asked_mutex;
    bool m_exchange = false;
    bool m_refuse_new_files = false;
    bool m_each_file = false;
    // In turn, so that the steps a test counts come in the same order every time. Declared
    // last, so that its threads end before anything they use goes.
    fsys::FlushWorkers m_flushers{[this](fsys::RawFile& f) { return sync_to_disk(f); }, fsys::FlushWorkers::Order::in_turn_at_sync};
};
