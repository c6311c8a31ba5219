#include "engine/install/install_files.h"

#include "engine/base/run_stop.h"
#include "engine/library/content_paths.h"
#include "engine/zip/zip_entry_reader.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

namespace {

constexpr const char* k_staged_folder = "new";
constexpr const char* k_old_folder = "old";
// Unpacked files whose flush has begun, before a thread waits for them and closes them: the
// disk serves several flushes at once, and the open files stay few.
constexpr std::size_t k_flushes_at_once = 16;
constexpr std::size_t k_block_bytes = 256 * 1024;

bool holds(fsys::FileSystem& fs, const std::string& path, const fsys::FileDigest& wanted)
{
    fsys::FileDigest d;
    return wanted.size >= 0 && fs.digest_file(path, d) && d == wanted;
}

// Unpacks the files of an install into the run folder on several threads, each with its own
// handles on the zips, and flushes them to the disk.
class Unpacker {
public:
    Unpacker(fsys::FileSystem& fs, const InstallPlan& plan, InstallRecord& record, std::vector<const PlannedFile*> sources)
        : m_fs(fs), m_plan(plan), m_record(record), m_sources(std::move(sources))
    {
    }

    // False, with the reason, when a file could not be unpacked and flushed; a stop ends it early.
    bool run(unsigned threads, const InstallProgress& progress, std::string& reason)
    {
        // Thousands of files reach the disk in one flush of the file system far sooner than in
        // one flush each, however many go at once.
        m_whole = m_fs.can_sync_file_system();
        const unsigned extra = std::min<unsigned>(threads > 0 ? threads - 1 : 0, static_cast<unsigned>(m_sources.size()));
        std::vector<std::thread> workers;
        for (unsigned t = 0; t < extra; ++t) {
            workers.emplace_back([this] { work(nullptr); });
        }
        work(&progress);
        for (std::thread& t : workers) {
            t.join();
        }
        if (m_whole && !m_failed && !run_stop::requested() && !m_fs.sync_file_system(m_record.run_folder)) {
            fail("can't write the unpacked files to the disk");
        }
        reason = m_reason;
        return m_reason.empty();
    }

private:
    struct Pending {
        fsys::RawFile file;
        std::string path;
    };

    void fail(const std::string& reason)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_reason.empty()) {
            m_reason = reason;
        }
        m_failed = true;
    }

    // Waits for the flushes begun and closes their files.
    void finish(std::deque<Pending>& pending)
    {
        std::vector<fsys::RawFile*> files;
        for (Pending& p : pending) {
            files.push_back(&p.file);
        }
        std::vector<bool> synced;
        m_fs.sync_together(files, synced);
        for (std::size_t k = 0; k < pending.size(); ++k) {
            if (!m_fs.close_file(pending[k].file) || !synced[k]) {
                fail("can't write " + pending[k].path);
            }
        }
        pending.clear();
    }

    void work(const InstallProgress* progress)
    {
        std::vector<zipfs::ZipHandle> archives(m_plan.zips.size());
        std::vector<char> block(k_block_bytes);
        std::deque<Pending> pending;
        auto last_told = std::chrono::steady_clock::now();
        for (std::size_t k; !m_failed && (k = m_next++) < m_sources.size() && !run_stop::requested();) {
            unpack(k, archives, block, pending);
            if (pending.size() >= k_flushes_at_once) {
                finish(pending);
            }
            const auto now = std::chrono::steady_clock::now();
            if (progress != nullptr && *progress && now - last_told > std::chrono::milliseconds(100)) {
                last_told = now;
                (*progress)(m_done, m_plan.bytes_to_write());
            }
        }
        finish(pending);
    }

    void unpack(std::size_t k, std::vector<zipfs::ZipHandle>& archives, std::vector<char>& block, std::deque<Pending>& pending)
    {
        const PlannedFile& source = *m_sources[k];
        InstalledFile& target = m_record.files[k];
        std::string reason;
        zipfs::ZipHandle& archive = archives[source.zip];
        if (archive == nullptr && (archive = zipfs::open_zip(m_fs, m_plan.zips[source.zip], zipfs::Checks::directory, reason)) == nullptr) {
            fail("can't read " + m_plan.zips[source.zip] + ": " + reason);
            return;
        }
        zipfs::EntryReader reader;
        Pending p{fsys::RawFile{}, child_path_of_slashed(m_record.run_folder, target.staged)};
        if (!reader.open(archive.get(), source.entry) || !m_fs.open_for_writing(p.path, fsys::Create::exclusive, p.file)) {
            fail(reader.reason().empty() ? "can't write " + p.path : "can't unpack " + source.path + ": " + reader.reason());
            return;
        }
        fsys::Sha256 sha;
        long long size = 0;
        long long n = 0;
        while ((n = reader.read_some(block.data(), block.size())) > 0 && sha.update(block.data(), static_cast<std::size_t>(n)) &&
               m_fs.write_all(p.file, block.data(), static_cast<std::size_t>(n))) {
            size += n;
            m_done += static_cast<unsigned long long>(n);
        }
        const std::string digest = sha.finish();
        if (n != 0 || digest.empty()) {
            m_fs.close_file(p.file);
            fail(n < 0 ? "can't unpack " + source.path + ": " + reader.reason() : "can't write " + p.path);
            return;
        }
        target.after = fsys::FileDigest{size, digest};
        if (m_whole) {
            if (!m_fs.close_file(p.file)) {
                fail("can't write " + p.path);
            }
            return;
        }
        // Started where it stays until finish waits for it: a flush thread keeps its address.
        pending.push_back(std::move(p));
        m_fs.start_sync(pending.back().file);
    }

    fsys::FileSystem& m_fs;
    const InstallPlan& m_plan;
    InstallRecord& m_record;
    const std::vector<const PlannedFile*> m_sources;  // the plan's file for each of the record's
    std::atomic<std::size_t> m_next{0};
    std::atomic<unsigned long long> m_done{0};
    std::atomic<bool> m_failed{false};
    bool m_whole = false;  // the file system is flushed whole at the end, not each file
    std::mutex m_mutex;
    std::string m_reason;
};

// The record of the files to be written, before anything is: where each is unpacked and where
// the file it replaces goes. The plan's files, in the same order, for each.
std::vector<const PlannedFile*> start_record(const InstallPlan& plan, const std::string& run_folder, InstallRecord& record)
{
    record = InstallRecord{plan.root, run_folder, plan.zips, plan.folders, {}, false, {}};
    std::vector<const PlannedFile*> sources;
    for (const PlannedFile& f : plan.files) {
        if (f.action == InstallAction::already_there) {
            continue;
        }
        InstalledFile file{f.path, std::string(k_staged_folder) + "/" + std::to_string(sources.size() + 1), "", {}, {}, {}, ""};
        if (f.action == InstallAction::replace) {
            file.old = std::string(k_old_folder) + "/" + f.path;
            file.before = f.before;
        }
        record.files.push_back(std::move(file));
        sources.push_back(&f);
    }
    return sources;
}

bool make_folder(fsys::FileSystem& fs, const std::string& path)
{
    return fs.make_folder(path) || fs.name_kind(path) == fsys::NameKind::folder;
}

// Moves each unpacked file into the content folder, the file it replaces out to the run folder
// first; false with the reason at the first that cannot move, or at a stop.
bool move_in(fsys::FileSystem& fs, InstallRecord& record, std::string& reason)
{
    for (const std::string& folder : record.folders) {
        if (!make_folder(fs, child_path_of_slashed(record.root, folder))) {
            reason = "can't make the folder " + child_path_of_slashed(record.root, folder);
            return false;
        }
    }
    for (InstalledFile& f : record.files) {
        if (run_stop::requested()) {
            return false;
        }
        run_stop::RenamesInProgress renaming;
        const std::string target = child_path_of_slashed(record.root, f.path);
        const std::string old = f.old.empty() ? std::string() : child_path_of_slashed(record.run_folder, f.old);
        if (!old.empty() && (!fs.make_folders(folder_of(old)) || !fs.rename_noreplace(target, old))) {
            reason = "can't move " + target + " to the run folder";
            return false;
        }
        if (!fs.rename_noreplace(child_path_of_slashed(record.run_folder, f.staged), target)) {
            reason = "can't write " + target;
            return false;
        }
        // Stamped after the rename, which some systems count as a change of the file.
        if (!fs.stamp(target, f.stamp) || f.stamp.size != f.after.size) {
            f.stamp = fsys::FileStamp{};
        }
    }
    return true;
}

// Whether the installed file `target` still holds what the install wrote: known from its stamp
// when that is the one it had once moved in (the system gives a file another stamp when it is
// written again or replaced), else from its bytes.
bool still_installed(fsys::FileSystem& fs, const std::string& target, const InstalledFile& f)
{
    fsys::FileStamp now;
    return (f.stamp.size >= 0 && fs.stamp(target, now) && now == f.stamp) || holds(fs, target, f.after);
}

// Why one file of an install could not be taken back, or "" when it was.
std::string take_back_file(fsys::FileSystem& fs, const InstallRecord& record, const InstalledFile& f)
{
    const std::string target = child_path_of_slashed(record.root, f.path);
    const std::string staged = child_path_of_slashed(record.run_folder, f.staged);
    const std::string old = f.old.empty() ? std::string() : child_path_of_slashed(record.run_folder, f.old);
    const fsys::NameKind kind = fs.name_kind(target);
    if (fs.name_kind(staged) != fsys::NameKind::none) {
        // Never moved in: the content folder holds the user's file still, or (stopped between
        // the two renames) its old version is in the run folder.
        if (!fs.remove_file(staged)) {
            return "its unpacked copy in the run folder cannot be removed";
        }
        const bool moved_out = !old.empty() && kind == fsys::NameKind::none && holds(fs, old, f.before);
        return !moved_out || fs.rename_noreplace(old, target) ? std::string() : "it cannot be renamed";
    }
    if (f.after.size < 0 || (kind == fsys::NameKind::none && old.empty())) {
        return std::string();  // nothing of it was written, or it is gone already
    }
    if (kind != fsys::NameKind::file && kind != fsys::NameKind::none) {
        return "it is no plain file now";
    }
    const bool installed = kind == fsys::NameKind::file && still_installed(fs, target, f);
    if (kind == fsys::NameKind::file && !installed) {
        return holds(fs, target, f.before) ? std::string() : "changed since the install";
    }
    if (old.empty()) {
        return fs.remove_file(target) ? std::string() : "it cannot be removed";
    }
    if (!holds(fs, old, f.before)) {
        return "its old version is no longer in the run folder";
    }
    const bool moved = installed ? fs.rename_replace(old, target) : fs.rename_noreplace(old, target);
    return moved ? std::string() : "it cannot be renamed";
}

}  // namespace

void take_back(fsys::FileSystem& fs, InstallRecord& record, const std::string& when, TakenBack& outcome, unsigned threads)
{
    // Each file is taken back alone, on several threads: most of a removal's time is the
    // system's, waiting on its own journal, and another removal goes on meanwhile.
    std::vector<std::string> reasons(record.files.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t k = next++; k < record.files.size(); k = next++) {
            if (record.files[k].undone.empty()) {
                reasons[k] = take_back_file(fs, record, record.files[k]);
            }
        }
    };
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < std::min<std::size_t>(threads, record.files.size()); ++t) {
        workers.emplace_back(work);
    }
    work();
    for (std::thread& t : workers) {
        t.join();
    }
    bool every_file = true;
    for (std::size_t k = record.files.size(); k-- > 0;) {
        InstalledFile* f = &record.files[k];
        if (!f->undone.empty()) {
            continue;
        }
        const std::string target = child_path_of_slashed(record.root, f->path);
        const std::string& reason = reasons[k];
        if (reason.empty()) {
            f->undone = when;
            outcome.restored.push_back(target);
        } else {
            outcome.left.emplace_back(target, reason);
            every_file = false;
        }
    }
    // A folder that holds something now keeps it: a file left alone, or one the user added.
    for (auto folder = record.folders.rbegin(); folder != record.folders.rend(); ++folder) {
        const std::string path = child_path_of_slashed(record.root, *folder);
        if (fs.name_kind(path) == fsys::NameKind::folder) {
            fs.remove_folder(path);
        }
    }
    if (every_file) {
        record.undone = when;
    }
}

InstallEnd install_planned(fsys::FileSystem& fs, const InstallPlan& plan, const std::string& run_folder,
                           InstallJournal& journal, unsigned threads, const std::string& when,
                           const InstallProgress& progress, InstallRecord& record, TakenBack& taken_back,
                           std::string& reason)
{
    const std::vector<const PlannedFile*> sources = start_record(plan, run_folder, record);
    if (!journal.keep(record)) {
        reason = "can't write the record of the install in " + run_folder;
        return InstallEnd::failed;
    }
    const std::string staged = child_path(run_folder, k_staged_folder);
    bool done = make_folder(fs, staged);
    if (!done) {
        reason = "can't make the folder " + staged;
    }
    done = done && Unpacker(fs, plan, record, sources).run(threads, progress, reason) && !run_stop::requested();
    if (done && !journal.keep(record)) {
        reason = "can't write the record of the install in " + run_folder;
        done = false;
    }
    done = done && move_in(fs, record, reason);
    if (!done) {
        take_back(fs, record, when, taken_back, threads);
        journal.keep(record);
        return reason.empty() ? InstallEnd::stopped : InstallEnd::failed;
    }
    if (progress) {
        progress(plan.bytes_to_write(), plan.bytes_to_write());
    }
    record.finished = true;
    journal.keep(record);
    fs.remove_folder(staged);
    return InstallEnd::installed;
}
