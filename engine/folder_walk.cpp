#include "engine/folder_walk.h"

#include "engine/fsys.h"
#include "engine/library_rules.h"
#include "engine/poserfile.h"
#include "engine/refline.h"
#include "engine/run_stop.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

using Ancestors = std::vector<fsys::FolderId>;

struct FolderEntries {
    std::vector<fsys::FolderEntry> poser_files;
    std::vector<std::string> folders;
};

bool is_walkable_folder(const WalkPolicy& policy, const fsys::FolderEntry& entry, std::string& path, std::size_t pl)
{
    if (!policy.enters_folder(entry.name) || entry.type == fsys::EntryType::file) {
        return false;
    }
    path.resize(pl);
    path += entry.name;
    return is_folder_entry(entry, path);
}

// Lists the folder twice: once to count, once to collect no more than was counted, so
// that entries appearing in between are left for a later walk.
bool collect_entries(const std::string& dirname, std::string& path, std::size_t pl, FolderEntries& entries)
{
    std::vector<fsys::FolderEntry> listed;
    if (!fsys::list_folder_entries(dirname, listed)) {
        return false;
    }
    const WalkPolicy policy = walk_policy();
    const std::unordered_set<std::string> siblings = names_for(policy, listed);
    std::size_t nf = 0;
    std::size_t nd = 0;
    for (const fsys::FolderEntry& e : listed) {
        if (policy.is_document(e.name, siblings)) {
            ++nf;
        } else if (is_walkable_folder(policy, e, path, pl)) {
            ++nd;
        }
    }
    if (nf + nd == 0 || !fsys::list_folder_entries(dirname, listed)) {
        return false;
    }
    entries.poser_files.reserve(nf);
    entries.folders.reserve(nd);
    for (const fsys::FolderEntry& e : listed) {
        if (policy.is_document(e.name, siblings)) {
            if (entries.poser_files.size() < nf) {
                entries.poser_files.push_back(e);
            }
        } else if (entries.folders.size() < nd && is_walkable_folder(policy, e, path, pl)) {
            entries.folders.push_back(e.name);
        }
    }
    return true;
}

int walk(const std::string& dirname, Prompts& wn, Ancestors& ancestors);

// Walks a subfolder unless it is one of the folders being walked already (a link or a
// junction back up the tree), which would never end.
int walk_subfolder(const std::string& path, Prompts& wn, Ancestors& ancestors)
{
    fsys::FolderId id;
    if (!fsys::folder_identity(path, id) || std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end()) {
        return 1;
    }
    ancestors.push_back(id);
    int go_on = walk(path, wn, ancestors);
    ancestors.pop_back();
    return go_on;
}

int walk(const std::string& dirname, Prompts& wn, Ancestors& ancestors)
{
    std::string path = dirname;
    path += fsys::k_sep;
    const std::size_t pl = path.size();
    FolderEntries entries;
    if (!collect_entries(dirname, path, pl, entries)) {
        return 1;
    }
    for (const fsys::FolderEntry& file : entries.poser_files) {
        if (run_stop::requested()) {
            return 0;
        }
        path.resize(pl);
        path += file.name;
        readposerfile(path, wn, file.type == fsys::EntryType::file ? fsys::Listed::plain_file : fsys::Listed::unknown);
    }
    for (const std::string& name : entries.folders) {
        path.resize(pl);
        path += name;
        if (walk_subfolder(path, wn, ancestors) == 0) {
            break;
        }
    }
    if (run_stop::requested()) {
        return 0;
    }
    const LibraryRules* rules = library_rules();
    if (entries.poser_files.empty() || (rules != nullptr && !rules->options().ask_after_each_folder)) {
        return 1;
    }
    return wn.question(Owner::none, dirname, "searchdir finished for this folder: shall I continue?") ? 1 : 0;
}

}  // namespace

int isposerfile(const std::string& name)
{
    if (name.size() < 5) {
        return 0;
    }
    std::string_view tail = std::string_view(name).substr(name.size() - 4);
    for (std::string_view ext : {".pz3", ".cr2", ".pp2", ".hr2"}) {
        if (equals_ignoring_case(tail, ext)) {
            return 1;
        }
    }
    return 0;
}

int is_dir(const std::string& path)
{
    return fsys::is_folder(path) ? 1 : 0;
}

int searchdir(const std::string& dirname, Prompts& wn)
{
    Ancestors ancestors;
    fsys::FolderId id;
    if (fsys::folder_identity(dirname, id)) {
        ancestors.push_back(id);
    }
    return walk(dirname, wn, ancestors);
}
