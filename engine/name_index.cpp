#include "engine/name_index.h"

#include "engine/content_paths.h"
#include "engine/fsys.h"
#include "engine/refline.h"
#include "engine/text_encoding.h"

#include <algorithm>

namespace {

bool is_walkable_folder_name(const std::string& name)
{
    return !name.empty() && name[0] != '.' && name != "__MACOSX";
}

bool walk_below(const std::string& folder, const FileVisitor& on_file, std::vector<fsys::FolderId>& chain)
{
    std::vector<fsys::FolderEntry> entries;
    if (!fsys::list_folder_entries(folder, entries)) {
        return false;
    }
    std::string path = folder;
    if (path.empty() || path.back() != fsys::k_sep) {
        path += fsys::k_sep;
    }
    const std::size_t pl = path.size();
    for (const fsys::FolderEntry& entry : entries) {
        path.resize(pl);
        path += entry.name;
        // Only a link, or an entry the listing does not type, needs a look of its own.
        const bool folder_entry = entry.type == fsys::EntryType::folder ||
                                  (entry.type == fsys::EntryType::other && fsys::is_folder(path));
        if (!folder_entry) {
            on_file(path, entry.name);
            continue;
        }
        fsys::FolderId id;
        if (!is_walkable_folder_name(entry.name) || !fsys::folder_identity(path, id) ||
            std::find(chain.begin(), chain.end(), id) != chain.end()) {
            continue;
        }
        chain.push_back(id);
        walk_below(path, on_file, chain);
        chain.pop_back();
    }
    return true;
}

// How many trailing components two paths share, letter case ignored.
std::size_t common_tail(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b)
{
    std::size_t n = 0;
    while (n < a.size() && n < b.size() && equals_ignoring_case(a[a.size() - 1 - n], b[b.size() - 1 - n])) {
        ++n;
    }
    return n;
}

// What a file is found by: its name with ASCII letters in lower case, and in UTF-8 as folder
// listings give it, whatever code page an older Poser file holds the reference in.
std::string name_key(std::string_view name)
{
    return lower_ascii(utf8_text(name));
}

}  // namespace

bool walk_tree(const std::string& folder, const FileVisitor& on_file)
{
    std::vector<fsys::FolderId> chain;
    fsys::FolderId id;
    if (fsys::folder_identity(folder, id)) {
        chain.push_back(id);
    }
    return walk_below(folder, on_file, chain);
}

std::string lower_ascii(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

void rank_candidates(std::vector<std::string>& paths, std::string_view target)
{
    const std::vector<std::string_view> wanted = path_components(target);
    struct Ranked {
        std::size_t common;
        const std::string* path;
    };
    std::vector<Ranked> ranked;
    for (const std::string& p : paths) {
        ranked.push_back({common_tail(path_components(p), wanted), &p});
    }
    std::sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
        if (a.common != b.common) {
            return a.common > b.common;
        }
        if (a.path->size() != b.path->size()) {
            return a.path->size() < b.path->size();
        }
        return *a.path < *b.path;
    });
    std::vector<std::string> sorted;
    for (const Ranked& r : ranked) {
        sorted.push_back(*r.path);
    }
    paths = std::move(sorted);
}

void NameIndex::build(const std::vector<std::string>& roots, const std::unordered_set<std::string>& wanted)
{
    m_by_name.clear();
    std::unordered_set<std::string> keys;
    for (const std::string& name : wanted) {
        keys.insert(name_key(name));
    }
    std::unordered_set<std::string> seen;
    for (const std::string& root : roots) {
        walk_tree(root, [&](const std::string& path, const std::string& name) {
            std::string key = name_key(name);
            if ((keys.empty() || keys.count(key) != 0) && seen.insert(path).second) {
                m_by_name[key].push_back(path);
            }
        });
    }
    m_built = true;
}

std::vector<std::string> NameIndex::candidates(std::string_view target) const
{
    const std::vector<std::string_view> parts = path_components(target);
    if (parts.empty()) {
        return {};
    }
    auto found = m_by_name.find(name_key(parts.back()));
    if (found == m_by_name.end()) {
        return {};
    }
    std::vector<std::string> paths;
    for (const std::string& p : found->second) {
        if (fsys::is_readable_file(p)) {
            paths.push_back(p);
        }
    }
    rank_candidates(paths, target);
    return paths;
}
