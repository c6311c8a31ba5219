#include "app/run_manifest.h"

#include "engine/library/content_paths.h"
#include "engine/library/path_boundary.h"

#include <algorithm>

using nlohmann::json;

const json* field(const json& object, const char* name)
{
    if (!object.is_object()) {
        return nullptr;
    }
    const auto found = object.find(name);
    return found == object.end() ? nullptr : &*found;
}

bool text_field(const json& object, const char* name, std::string& value)
{
    const json* f = field(object, name);
    if (f == nullptr || !f->is_string()) {
        return false;
    }
    value = f->get_ref<const std::string&>();
    return true;
}

bool number_field(const json& object, const char* name, long long& value)
{
    const json* f = field(object, name);
    if (f == nullptr || !f->is_number_integer()) {
        return false;
    }
    value = f->get<long long>();
    return true;
}

bool undone_field(const json& object, std::string& undone)
{
    const json* f = field(object, "undone");
    undone.clear();
    return f == nullptr || f->is_null() || text_field(object, "undone", undone);
}

bool digest_field(const json& object, const char* name, fsys::FileDigest& digest)
{
    const json* d = field(object, name);
    return d != nullptr && number_field(*d, "size", digest.size) && text_field(*d, "sha256", digest.sha256) &&
           digest.sha256.size() == 64;
}

bool is_safe_relative(const std::string& rel)
{
    if (rel.empty() || rel.find_first_of(std::string("\\:\0", 3)) != std::string::npos) {
        return false;
    }
    std::size_t k = 0;
    std::size_t names = 0;
    while (k <= rel.size()) {
        const std::size_t end = std::min(rel.find('/', k), rel.size());
        const std::string part = rel.substr(k, end - k);
        if (part.empty() || part == "." || part == "..") {
            return false;
        }
        k = end + 1;
        ++names;
    }
    // A manifest may be planted: its paths pass the boundary a document's paths pass, which on
    // Windows refuses a device's name (NUL, COM1 ...), opened to be compared, and a name of dots
    // and blanks alone, which Windows reads as "..".
    const BoundedPath bounded = bounded_path(rel, k_native_style);
    return bounded.refusal == Refusal::none && bounded.names.size() == names;
}

// The first link on the way from `base` down to `base/relative`, or "" when there is none.
std::string link_below(fsys::FileSystem& fs, const std::string& base, const std::string& relative, PlainFolders* plain)
{
    std::string path = base;
    std::size_t k = 0;
    while (k < relative.size()) {
        const std::size_t end = std::min(relative.find('/', k), relative.size());
        path = child_path(path, relative.substr(k, end - k));
        const bool folder = end < relative.size();
        if (!folder || plain == nullptr || plain->count(path) == 0) {
            const fsys::NameKind kind = fs.name_kind(path);
            if (kind == fsys::NameKind::link || kind == fsys::NameKind::other) {
                return path;
            }
            if (kind == fsys::NameKind::none) {
                break;  // nothing lies below a name that is not there
            }
            if (folder && plain != nullptr && kind == fsys::NameKind::folder) {
                plain->insert(path);
            }
        }
        k = end + 1;
    }
    return std::string();
}

bool same_place(fsys::FileSystem& fs, const std::string& a, const std::string& b)
{
    const std::string x = fs.resolved_path(a);
    const std::string y = fs.resolved_path(b);
    return !x.empty() && (fs.path_style() == PathStyle::windows ? equals_ignoring_case(x, y) : x == y);
}

bool stays_inside(fsys::FileSystem& fs, const std::string& file, const std::string& root)
{
    std::string folder = folder_of(file);
    while (!fs.entry_exists(folder) && folder.size() > root.size()) {
        folder = folder_of(folder);
    }
    const std::string real_root = fs.resolved_path(root);
    const std::string real = fs.resolved_path(folder);
    return !real_root.empty() && (real == real_root || root_holding(real, {real_root}) == 0);
}

bool remove_tree(fsys::FileSystem& fs, const std::string& top, Removal removal, std::vector<std::string>& refused)
{
    struct Level {
        std::vector<fsys::FolderEntry> entries;
        std::size_t length = 0;  // of the folder's path
        std::size_t next = 0;
        bool whole = true;
    };
    std::vector<Level> levels;
    std::string path = top;
    const auto enter = [&] {
        Level level{{}, path.size(), 0, true};
        const bool listed = fs.list_folder_entries(path, level.entries);
        if (listed) {
            levels.push_back(std::move(level));
        }
        return listed;
    };
    if (!enter()) {
        return false;
    }
    for (;;) {
        Level& level = levels.back();
        path.resize(level.length);
        if (level.next < level.entries.size()) {
            path = child_path(std::move(path), level.entries[level.next++].name);
            const fsys::NameKind kind = fs.name_kind(path);
            if (kind == fsys::NameKind::folder && enter()) {
                continue;
            }
            if (kind == fsys::NameKind::link || kind == fsys::NameKind::other) {
                refused.push_back(path);
            }
            levels.back().whole = levels.back().whole && kind == fsys::NameKind::file &&
                                  (removal == Removal::look || (removal == Removal::everything && fs.remove_file(path)));
            continue;
        }
        const bool gone = level.whole && (removal == Removal::look || fs.remove_folder(path));
        levels.pop_back();
        if (levels.empty()) {
            return gone;
        }
        levels.back().whole = levels.back().whole && gone;
    }
}

bool rewrite_manifest(fsys::FileSystem& fs, const std::string& path, const json& doc)
{
    return rewrite_manifest_text(fs, path, doc.dump(1, ' ', false, json::error_handler_t::replace) + "\n");
}

bool rewrite_manifest_text(fsys::FileSystem& fs, const std::string& path, const std::string& text)
{
    const std::string fresh = path + ".new";
    return fs.write_file(fresh, text, fsys::Create::truncate, fsys::Sync::yes) && fs.rename_replace(fresh, path);
}
