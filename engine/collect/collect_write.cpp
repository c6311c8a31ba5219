#include "engine/collect/collect_write.h"

#include "engine/base/ascii.h"
#include "engine/base/run_stop.h"
#include "engine/fsys/textio.h"
#include "engine/library/content_paths.h"
#include "engine/zip/zip_entries.h"
#include "engine/zip/zip_writer.h"

#include <algorithm>

namespace {

long long size_of(fsys::FileSystem& fs, const std::string& path)
{
    fsys::RawFile f;
    if (!fs.open_for_reading(path, f)) {
        return 0;
    }
    const long long size = fs.file_size(f);
    fs.close_file(f);
    return std::max(0LL, size);
}

enum class Written { whole, changed, failed };

// Writes the document `f` with its references renamed to the new file `dest`, compressed when
// `f` is; `changed` when it is no longer what the plan read.
Written write_rewritten(fsys::FileSystem& fs, const CollectedFile& f, const std::string& dest, std::string& reason)
{
    if (!fs.is_readable_file(f.source)) {
        reason = "the file cannot be opened: " + f.source;
        return Written::failed;
    }
    TextWriter out;
    if (!out.open(fs, dest, fsys::Create::exclusive, f.seen.compressed ? Gzip::always : Gzip::never)) {
        reason = "the file cannot be made: " + dest;
        return Written::failed;
    }
    const Reread read = copy_rewritten(fs, f.source, f.seen, f.rewrites, out);
    const bool written = out.close();
    if (read == Reread::same && written) {
        return Written::whole;
    }
    reason = read == Reread::unreadable ? "the file cannot be read: " + f.source : "the file cannot be written: " + dest;
    return read == Reread::changed ? Written::changed : Written::failed;
}

// A document found changed since the plan read it is left out of the collection and named.
void leave_out_changed(CollectPlan& plan, CollectedFile& f)
{
    f.left_out = true;
    plan.unreadable.push_back(UnreadableFile{f.source, "changed while it was collected"});
}

bool copy_file(fsys::FileSystem& fs, const std::string& source, const std::string& dest, std::string& reason)
{
    fsys::RawFile out;
    const bool copied = fs.copy_into_new_file(source, dest, out, reason);
    const bool closed = !out.is_open() || fs.close_file(out);
    if (copied && !closed) {
        reason = "the file cannot be written: " + dest;
    }
    return copied && closed;
}

// Writes the file `f` to `dest`: copied as it is, or a document with its references renamed.
Written write_one(fsys::FileSystem& fs, const CollectedFile& f, const std::string& dest, std::string& reason)
{
    if (!f.rewrites.empty()) {
        return write_rewritten(fs, f, dest, reason);
    }
    if (f.document && !still_as_seen(fs, f.source, f.seen)) {
        return Written::changed;
    }
    return copy_file(fs, f.source, dest, reason) ? Written::whole : Written::failed;
}

// What a collection leaves on the disk while it is written, taken away again unless it is kept.
class Leftovers {
public:
    explicit Leftovers(fsys::FileSystem& fs) : m_fs(fs) {}
    ~Leftovers()
    {
        if (m_keep) {
            return;
        }
        for (auto it = m_paths.rbegin(); it != m_paths.rend(); ++it) {
            it->second ? m_fs.remove_folder(it->first) : m_fs.remove_file(it->first);
        }
    }
    void file(const std::string& path) { m_paths.emplace_back(path, false); }
    void folder(const std::string& path) { m_paths.emplace_back(path, true); }
    // The folders below `top` on the way to `name` ('/' between names) that are not made yet.
    bool make_folders(const std::string& top, const std::string& name)
    {
        std::string folder = top;
        for (std::size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1)) {
            folder = child_path_of_slashed(top, name.substr(0, slash));
            if (std::find(m_made.begin(), m_made.end(), folder) == m_made.end()) {
                if (!m_fs.make_folder(folder)) {
                    return false;
                }
                m_made.push_back(folder);
                this->folder(folder);
            }
        }
        return true;
    }
    void keep() { m_keep = true; }

private:
    fsys::FileSystem& m_fs;
    std::vector<std::pair<std::string, bool>> m_paths;  // in the order made; true for a folder
    std::vector<std::string> m_made;
    bool m_keep = false;
};

long long newest_time(const CollectPlan& plan)
{
    long long newest = 0;
    for (const CollectedFile& f : plan.files) {
        newest = std::max(newest, f.mtime);
    }
    return newest;
}

// A new folder beside the zip for the documents whose references are renamed, which the zip
// then takes like any other file; "" when none can be made.
std::string staging_folder(fsys::FileSystem& fs, const std::string& out, Leftovers& leftovers)
{
    for (int k = 0; k < 100; ++k) {
        const std::string folder = out + ".documents" + (k == 0 ? std::string() : std::to_string(k));
        if (fs.make_folder(folder)) {
            leftovers.folder(folder);
            return folder;
        }
    }
    return std::string();
}

bool write_zip(fsys::FileSystem& fs, CollectPlan& plan, const CollectListing& listing, const std::string& out,
               const CollectProgress& progress, std::string& reason)
{
    if (fs.entry_exists(out)) {
        reason = "a file of that name exists already";
        return false;
    }
    if (!fs.is_folder(folder_of(out))) {
        reason = "the folder " + folder_of(out) + " does not exist";
        return false;
    }
    Leftovers leftovers(fs);
    std::string staging;
    zipfs::ZipWriter writer(fs, out);
    unsigned long long total = 0;
    for (std::size_t k = 0; k < plan.files.size(); ++k) {
        CollectedFile& f = plan.files[k];
        if (f.left_out) {
            continue;
        }
        std::string path = f.source;
        if (f.document && !still_as_seen(fs, f.source, f.seen)) {
            leave_out_changed(plan, f);
            continue;
        }
        if (!f.rewrites.empty()) {
            if (staging.empty() && (staging = staging_folder(fs, out, leftovers)).empty()) {
                reason = "no folder can be made beside the zip for the documents rewritten";
                return false;
            }
            path = child_path(staging, std::to_string(k));
            leftovers.file(path);
            const Written written = write_rewritten(fs, f, path, reason);
            if (written == Written::failed) {
                return false;
            }
            if (written == Written::changed) {
                leave_out_changed(plan, f);
                continue;
            }
        }
        total += static_cast<unsigned long long>(size_of(fs, path));
        if (!writer.add_file(f.name, path, static_cast<std::time_t>(std::max(0LL, f.mtime)), reason)) {
            reason = f.name + ": " + reason;
            return false;
        }
    }
    if (!writer.add_bytes(k_collect_listing, listing(plan), static_cast<std::time_t>(newest_time(plan)), reason)) {
        return false;
    }
    writer.set_progress([&](double done) {
        if (progress) {
            progress(static_cast<unsigned long long>(done * static_cast<double>(total)), total);
        }
        return !run_stop::requested();
    });
    return writer.finish(reason);
}

bool write_folder(fsys::FileSystem& fs, CollectPlan& plan, const CollectListing& listing, const std::string& out,
                  const CollectProgress& progress, std::string& reason)
{
    std::vector<fsys::FolderEntry> entries;
    const bool exists = fs.entry_exists(out);
    if (exists && (!fs.is_folder(out) || !fs.list_folder_entries(out, entries) || !entries.empty())) {
        reason = "it exists already, and is no empty folder";
        return false;
    }
    Leftovers leftovers(fs);
    if (!exists) {
        if (!fs.make_folders(out)) {
            reason = "the folder cannot be made";
            return false;
        }
        leftovers.folder(out);
    }
    // Each file counts as the size it had when the whole was counted: one saved meanwhile never
    // carries the progress past its end, and one left out takes its share from the whole.
    std::vector<unsigned long long> sizes;
    unsigned long long total = 0, done = 0;
    for (const CollectedFile& f : plan.files) {
        sizes.push_back(f.left_out ? 0 : static_cast<unsigned long long>(size_of(fs, f.source)));
        total += sizes.back();
    }
    for (std::size_t i = 0; i < plan.files.size(); ++i) {
        CollectedFile& f = plan.files[i];
        if (f.left_out) {
            continue;
        }
        // Checked as the zip checks its entries: a name must stay below the folder.
        const zipfs::NameFault fault = zipfs::name_fault(f.name);
        if (fault != zipfs::NameFault::none) {
            reason = f.name + ": " + zipfs::fault_words(fault);
            return false;
        }
        const std::string dest = child_path_of_slashed(out, f.name);
        if (run_stop::requested()) {
            reason = "stopped";
            return false;
        }
        if (!leftovers.make_folders(out, f.name)) {
            reason = "the folder cannot be made: " + folder_of(dest);
            return false;
        }
        leftovers.file(dest);
        const Written written = write_one(fs, f, dest, reason);
        if (written == Written::failed) {
            return false;
        }
        if (written == Written::changed) {
            // Nothing of it stays: a copy begun is removed at once.
            fs.remove_file(dest);
            leave_out_changed(plan, f);
            total -= sizes[i];
        } else {
            done += sizes[i];
        }
        if (progress) {
            progress(done, total);
        }
    }
    const std::string path = child_path(out, k_collect_listing);
    leftovers.file(path);
    if (!fs.write_file(path, listing(plan), fsys::Create::exclusive)) {
        reason = "the file cannot be written: " + path;
        return false;
    }
    leftovers.keep();
    return true;
}

}  // namespace

bool collects_into_zip(std::string_view out)
{
    return ends_with_ignoring_case(out, ".zip");
}

bool write_collection(fsys::FileSystem& fs, CollectPlan& plan, const CollectListing& listing, const std::string& out,
                      const CollectProgress& progress, std::string& reason)
{
    // An exit that will not wait (a second interrupt) waits for this, which a stop ends soon and
    // cleans up after: the result is whole or absent, never half written.
    run_stop::RenamesInProgress writing;
    return collects_into_zip(out) ? write_zip(fs, plan, listing, out, progress, reason)
                                  : write_folder(fs, plan, listing, out, progress, reason);
}
