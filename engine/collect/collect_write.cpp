#include "engine/collect/collect_write.h"

#include "engine/base/ascii.h"
#include "engine/base/run_stop.h"
#include "engine/fsys/textio.h"
#include "engine/library/content_paths.h"
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

// Writes `source` with `edits` applied to the new file `dest`, compressed when `source` is.
bool write_rewritten(fsys::FileSystem& fs, const std::string& source, const std::vector<Edit>& edits,
                     const std::string& dest, std::string& reason)
{
    TextReader in;
    if (!in.open(fs, source, Gzip::if_magic, fsys::Listed::unknown, ReadMode::as_stored)) {
        reason = "the file cannot be opened: " + source;
        return false;
    }
    TextWriter out;
    if (!out.open(fs, dest, fsys::Create::exclusive, in.compressed() ? Gzip::always : Gzip::never)) {
        reason = "the file cannot be made: " + dest;
        return false;
    }
    EditApplier applier(edits, [&out](std::string_view bytes) { return out.write_as_stored(bytes); });
    std::string_view bytes;
    while (in.next_bytes(bytes) && applier.feed(bytes)) {
    }
    const bool read = !in.failed() && !applier.failed();
    if (!applier.finish() || !out.close() || !read) {
        reason = read ? "the file cannot be written: " + dest : "the file cannot be read: " + source;
        return false;
    }
    return true;
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

bool write_zip(fsys::FileSystem& fs, const CollectPlan& plan, const std::string& listing, const std::string& out,
               const CollectProgress& progress, std::string& reason)
{
    if (fs.entry_exists(out)) {
        reason = "a file of that name exists already";
        return false;
    }
    Leftovers leftovers(fs);
    std::string staging;
    zipfs::ZipWriter writer(fs, out);
    unsigned long long total = 0;
    for (std::size_t k = 0; k < plan.files.size(); ++k) {
        const CollectedFile& f = plan.files[k];
        if (f.left_out) {
            continue;
        }
        std::string path = f.source;
        if (!f.edits.empty()) {
            if (staging.empty() && (staging = staging_folder(fs, out, leftovers)).empty()) {
                reason = "no folder can be made beside the zip for the documents rewritten";
                return false;
            }
            path = child_path(staging, std::to_string(k));
            leftovers.file(path);
            if (!write_rewritten(fs, f.source, f.edits, path, reason)) {
                return false;
            }
        }
        total += static_cast<unsigned long long>(size_of(fs, path));
        if (!writer.add_file(f.name, path, static_cast<std::time_t>(std::max(0LL, f.mtime)), reason)) {
            reason = f.name + ": " + reason;
            return false;
        }
    }
    if (!writer.add_bytes(k_collect_listing, listing, static_cast<std::time_t>(newest_time(plan)), reason)) {
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

bool write_listing(fsys::FileSystem& fs, const std::string& path, const std::string& listing)
{
    fsys::RawFile f;
    if (!fs.open_for_writing(path, fsys::Create::exclusive, f)) {
        return false;
    }
    const bool written = fs.write_all(f, listing.data(), listing.size());
    return fs.close_file(f) && written;
}

bool write_folder(fsys::FileSystem& fs, const CollectPlan& plan, const std::string& listing, const std::string& out,
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
    unsigned long long total = 0, done = 0;
    for (const CollectedFile& f : plan.files) {
        total += f.left_out ? 0 : static_cast<unsigned long long>(size_of(fs, f.source));
    }
    for (const CollectedFile& f : plan.files) {
        if (f.left_out) {
            continue;
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
        if (!(f.edits.empty() ? copy_file(fs, f.source, dest, reason) : write_rewritten(fs, f.source, f.edits, dest, reason))) {
            return false;
        }
        done += static_cast<unsigned long long>(size_of(fs, f.source));
        if (progress) {
            progress(done, total);
        }
    }
    const std::string path = child_path(out, k_collect_listing);
    leftovers.file(path);
    if (!write_listing(fs, path, listing)) {
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

bool write_collection(fsys::FileSystem& fs, const CollectPlan& plan, const std::string& listing, const std::string& out,
                      const CollectProgress& progress, std::string& reason)
{
    return collects_into_zip(out) ? write_zip(fs, plan, listing, out, progress, reason)
                                  : write_folder(fs, plan, listing, out, progress, reason);
}
