#include "engine/move/tree_move.h"

#include "engine/base/run_stop.h"
#include "engine/library/content_paths.h"

#include <cstring>
#include <memory>

namespace {

constexpr std::size_t k_block_bytes = 1 << 20;
// What a copy is named until it is whole, beside its own name.
constexpr const char* k_unfinished_copy = ".tarnwick-copy";
// So many copies are flushed together at the most, and so many files are open at once.
constexpr std::size_t k_copies_at_once = 64;

// `rel` (native separators, "" for the top itself) below `top`.
std::string below(const std::string& top, const std::string& rel)
{
    return rel.empty() ? top : child_path(top, rel);
}

// Whether a stop asked for (run_stop) ends a copy: a move's does; an undo's goes on, since it
// puts things back as they were.
enum class Stoppable { yes, no };

struct TreeEntry {
    std::string rel;
    bool folder = false;
};

// `top` and everything below it, each folder before what it holds; false with `reason` at a
// link or another entry that is neither a file nor a folder, or at a folder that cannot be listed.
bool entries_of(fsys::FileSystem& fs, const std::string& top, std::vector<TreeEntry>& out, std::string& reason)
{
    const fsys::NameKind kind = fs.name_kind(top);
    if (kind != fsys::NameKind::file && kind != fsys::NameKind::folder) {
        reason = top + " is no plain file or folder";
        return false;
    }
    out.push_back(TreeEntry{"", kind == fsys::NameKind::folder});
    for (std::size_t k = 0; k < out.size(); ++k) {
        if (!out[k].folder) {
            continue;
        }
        const std::string folder = below(top, out[k].rel);
        std::vector<fsys::FolderEntry> listing;
        if (!fs.list_folder_entries(folder, listing)) {
            reason = "the folder " + folder + " cannot be listed";
            return false;
        }
        for (const fsys::FolderEntry& e : listing) {
            const std::string rel = out[k].rel.empty() ? e.name : child_path(out[k].rel, e.name);
            const fsys::NameKind type = e.type == fsys::EntryType::file     ? fsys::NameKind::file
                                        : e.type == fsys::EntryType::folder ? fsys::NameKind::folder
                                                                            : fs.name_kind(below(top, rel));
            if (type != fsys::NameKind::file && type != fsys::NameKind::folder) {
                reason = below(top, rel) + " is a link or no plain file, which is not moved";
                return false;
            }
            out.push_back(TreeEntry{rel, type == fsys::NameKind::folder});
        }
    }
    return true;
}

// Copies the file `from` to the new file `to`, left open in `out` and on its way to the disk.
bool start_copy(fsys::FileSystem& fs, const std::string& from, const std::string& to, fsys::RawFile& out,
                std::string& reason)
{
    // One left over by a copy that stopped is of no use.
    if (fs.name_kind(to) == fsys::NameKind::file) {
        fs.remove_file(to);
    }
    if (!fs.copy_into_new_file(from, to, out, reason)) {
        return false;
    }
    fs.start_sync(out);
    return true;
}

// True when both files can be read whole and hold the same bytes.
bool same_bytes(fsys::FileSystem& fs, const std::string& a, const std::string& b)
{
    fsys::RawFile fa;
    fsys::RawFile fb;
    const bool opened = fs.open_for_reading(a, fa) && fs.open_for_reading(b, fb);
    const std::unique_ptr<char[]> x(new char[k_block_bytes]);
    const std::unique_ptr<char[]> y(new char[k_block_bytes]);
    bool same = opened;
    for (long long n = 1; same && n > 0;) {
        n = fs.read_some(fa, x.get(), k_block_bytes);
        long long m = 0;
        // A read may hand out less than asked: the second file is read to the same length.
        for (long long got = 1; n > 0 && m < n && got > 0; m += got) {
            got = fs.read_some(fb, y.get() + m, static_cast<std::size_t>(n - m));
        }
        same = n >= 0 && m == std::max(0LL, n) && std::memcmp(x.get(), y.get(), static_cast<std::size_t>(m)) == 0;
        if (same && n == 0) {
            char extra = 0;
            same = fs.read_some(fb, &extra, 1) == 0;
        }
    }
    fs.close_file(fa);
    fs.close_file(fb);
    return same;
}

// What a copy has made, taken away again unless it is kept: a copy that fails or is stopped
// leaves nothing behind.
class Made {
public:
    explicit Made(fsys::FileSystem& fs) : m_fs(fs) {}
    ~Made()
    {
        for (auto it = m_paths.rbegin(); !m_kept && it != m_paths.rend(); ++it) {
            it->second ? m_fs.remove_folder(it->first) : m_fs.remove_file(it->first);
        }
    }
    Made(const Made&) = delete;
    Made& operator=(const Made&) = delete;
    void add(const std::string& path, bool folder) { m_paths.emplace_back(path, folder); }
    void keep() { m_kept = true; }

private:
    fsys::FileSystem& m_fs;
    std::vector<std::pair<std::string, bool>> m_paths;
    bool m_kept = false;
};

// A copy being made, under its unfinished name until it is on the disk whole and compared.
struct Copy {
    std::string source;
    std::string name;  // its own name, once finished
    std::unique_ptr<fsys::RawFile> file = std::make_unique<fsys::RawFile>();
};

std::string unfinished_name(const std::string& name)
{
    return name + k_unfinished_copy;
}

// Flushes the copies open in `copies`, compares each with its source and gives it its own name;
// false with `reason` at the first that is not on the disk whole. Every copy is closed.
bool finish_copies(fsys::FileSystem& fs, std::vector<Copy>& copies, std::string& reason)
{
    std::vector<fsys::RawFile*> files;
    for (Copy& c : copies) {
        files.push_back(c.file.get());
    }
    std::vector<bool> synced;
    fs.sync_together(files, synced);
    bool whole = true;
    for (std::size_t k = 0; k < copies.size(); ++k) {
        const std::string unfinished = files[k]->path;
        const bool closed = fs.close_file(*files[k]);
        if (whole && (!synced[k] || !closed || !same_bytes(fs, copies[k].source, unfinished) ||
                      !fs.rename_noreplace(unfinished, copies[k].name))) {
            reason = "the copy " + copies[k].name + " cannot be made whole";
            whole = false;
        }
    }
    copies.clear();
    return whole;
}

// The copies of every entry of `entries` below `to`, flushed and compared; nothing is left of
// them when one fails or a stop is asked for.
bool copy_entries(fsys::FileSystem& fs, const std::string& from, const std::string& to,
                  const std::vector<TreeEntry>& entries, Made& made, const TreeProgress& progress, Stoppable stoppable,
                  std::string& reason)
{
    std::vector<Copy> copies;
    long long done = 0;
    long long total = 0;
    for (const TreeEntry& e : entries) {
        total += e.folder ? 0 : 1;
    }
    for (const TreeEntry& e : entries) {
        const std::string source = below(from, e.rel);
        const std::string copy = below(to, e.rel);
        if (stoppable == Stoppable::yes && run_stop::requested()) {
            finish_copies(fs, copies, reason);
            reason = "stopped";
            return false;
        }
        if (e.folder) {
            if (!fs.make_folder(copy)) {
                finish_copies(fs, copies, reason);
                reason = "the folder cannot be made: " + copy;
                return false;
            }
            made.add(copy, true);
            continue;
        }
        Copy c{source, copy};
        const bool started = start_copy(fs, source, unfinished_name(copy), *c.file, reason);
        if (c.file->is_open()) {
            made.add(unfinished_name(copy), false);
            made.add(copy, false);
            copies.push_back(std::move(c));
        }
        if (!started) {
            std::string ignored;
            finish_copies(fs, copies, ignored);
            return false;
        }
        fs.give_protection(source, unfinished_name(copy));
        if (copies.size() >= k_copies_at_once && !finish_copies(fs, copies, reason)) {
            return false;
        }
        if (progress) {
            progress(++done, total);
        }
    }
    return finish_copies(fs, copies, reason);
}

// Copies `from` to `to` whole, then removes `from`: its files first, then its folders deepest first.
bool copy_then_remove(fsys::FileSystem& fs, const std::string& from, const std::string& to,
                      const TreeProgress& progress, Stoppable stoppable, std::string& reason)
{
    std::vector<TreeEntry> entries;
    if (!entries_of(fs, from, entries, reason)) {
        return false;
    }
    {
        Made made(fs);
        if (!copy_entries(fs, from, to, entries, made, progress, stoppable, reason)) {
            return false;
        }
        made.keep();
    }
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const std::string source = below(from, it->rel);
        if (!(it->folder ? fs.remove_folder(source) : fs.remove_file(source))) {
            reason = "copied, but it cannot be removed: " + source;
            return false;
        }
    }
    return true;
}

// Puts the file `moved` back at `old`, which its copy may still hold.
void put_back(fsys::FileSystem& fs, const std::string& moved, const std::string& old,
              std::vector<std::pair<std::string, std::string>>& left)
{
    std::string reason;
    // A copy left unfinished by a move that stopped: its source is the file.
    const std::size_t unfinished = std::string_view(moved).size() - std::string_view(k_unfinished_copy).size();
    if (moved.size() > std::string_view(k_unfinished_copy).size() && moved.compare(unfinished, std::string::npos, k_unfinished_copy) == 0) {
        if (!fs.entry_exists(old.substr(0, old.size() - std::string_view(k_unfinished_copy).size()))) {
            left.emplace_back(moved, "an unfinished copy, whose source is gone");
        } else if (!fs.remove_file(moved)) {
            left.emplace_back(moved, "it cannot be removed");
        }
        return;
    }
    if (fs.entry_exists(old)) {
        if (!same_bytes(fs, moved, old)) {
            left.emplace_back(moved, "its old place " + old + " holds other bytes");
        } else if (!fs.remove_file(moved)) {
            left.emplace_back(moved, "it cannot be removed");
        }
        return;
    }
    if (on_one_volume(fs, moved, old) ? !fs.rename_noreplace(moved, old) : !copy_then_remove(fs, moved, old, nullptr, Stoppable::no, reason)) {
        left.emplace_back(moved, reason.empty() ? "it cannot be renamed" : reason);
    }
}

}  // namespace

bool on_one_volume(fsys::FileSystem& fs, const std::string& a, const std::string& b)
{
    std::string fa = folder_of(a);
    std::string fb = folder_of(b);
    fsys::FolderId x;
    fsys::FolderId y;
    while (!fs.folder_identity(fa, x) && folder_of(fa) != fa && !fa.empty()) {
        fa = folder_of(fa);
    }
    while (!fs.folder_identity(fb, y) && folder_of(fb) != fb && !fb.empty()) {
        fb = folder_of(fb);
    }
    return fs.folder_identity(fa, x) && fs.folder_identity(fb, y) && x.volume == y.volume;
}

bool movable_files(fsys::FileSystem& fs, const std::string& path, std::vector<std::string>& files, std::string& reason)
{
    std::vector<TreeEntry> entries;
    if (!entries_of(fs, path, entries, reason)) {
        return false;
    }
    for (TreeEntry& e : entries) {
        if (!e.folder) {
            files.push_back(std::move(e.rel));
        }
    }
    return true;
}

bool move_tree(fsys::FileSystem& fs, const std::string& from, const std::string& to, long long files,
               const TreeProgress& progress, std::string& reason)
{
    if (!on_one_volume(fs, from, to)) {
        return copy_then_remove(fs, from, to, progress, Stoppable::yes, reason);
    }
    if (run_stop::requested() || !fs.rename_noreplace(from, to)) {
        reason = run_stop::requested() ? "stopped" : from + " cannot be renamed to " + to;
        return false;
    }
    if (progress) {
        progress(files, files);
    }
    return true;
}

bool move_back(fsys::FileSystem& fs, const std::string& from, const std::string& to,
               std::vector<std::pair<std::string, std::string>>& left)
{
    if (fs.name_kind(to) == fsys::NameKind::none) {
        return true;
    }
    // Letters in another case: one entry under two spellings, given its old one back.
    const std::string real = fs.resolved_path(to);
    if (!real.empty() && real == fs.resolved_path(from)) {
        if (to != from && !fs.rename_noreplace(to, from)) {
            left.emplace_back(to, "it cannot be renamed");
            return false;
        }
        return true;
    }
    if (!fs.entry_exists(from) && fs.make_folders(folder_of(from)) && on_one_volume(fs, from, to) &&
        fs.rename_noreplace(to, from)) {
        return true;
    }
    std::vector<TreeEntry> entries;
    std::string reason;
    if (!entries_of(fs, to, entries, reason)) {
        left.emplace_back(to, reason);
        return false;
    }
    for (const TreeEntry& e : entries) {
        if (!e.folder) {
            put_back(fs, below(to, e.rel), below(from, e.rel), left);
        } else if (!fs.is_folder(below(from, e.rel)) && !fs.make_folder(below(from, e.rel))) {
            left.emplace_back(below(to, e.rel), "its old folder cannot be made again");
            return false;
        }
    }
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->folder) {
            fs.remove_folder(below(to, it->rel));  // only once it is empty
        }
    }
    return fs.name_kind(to) == fsys::NameKind::none;
}
