#include "engine/tree_walk.h"

#include "engine/content_paths.h"
#include "engine/folder_walk.h"
#include "engine/poser_documents.h"

#include <algorithm>

namespace {

bool walk_below(const std::string& folder, const std::vector<fsys::FolderEntry>& entries, const WalkPolicy& policy,
                const FolderVisitor& on_folder, std::vector<fsys::FolderId>& chain)
{
    on_folder(folder, entries);
    for (const fsys::FolderEntry& entry : entries) {
        const std::string path = child_path(folder, entry.name);
        fsys::FolderId id;
        if (!policy.enters_folder(entry.name) || !is_folder_entry(entry, path) || !fsys::folder_identity(path, id) ||
            std::find(chain.begin(), chain.end(), id) != chain.end()) {
            continue;
        }
        std::vector<fsys::FolderEntry> below;
        if (fsys::list_folder_entries(path, below)) {
            chain.push_back(id);
            walk_below(path, below, policy, on_folder, chain);
            chain.pop_back();
        }
    }
    return true;
}

}  // namespace

bool WalkPolicy::is_document(const std::string& name, const std::unordered_set<std::string>& folder_names) const
{
    if (!library_rules) {
        return isposerfile(name) != 0;
    }
    // Running a repair twice must not make backups of backups.
    return is_poser_document(name) && !is_backup_beside(name, folder_names);
}

bool WalkPolicy::is_backup(const std::string& name, const std::unordered_set<std::string>& folder_names) const
{
    return library_rules && is_poser_document(name) && is_backup_beside(name, folder_names);
}

bool WalkPolicy::enters_folder(const std::string& name) const
{
    return !name.empty() && name[0] != '.' && !(library_rules && (name == "__MACOSX" || name == k_runs_folder_name));
}

std::unordered_set<std::string> names_for(const WalkPolicy& policy, const std::vector<fsys::FolderEntry>& entries)
{
    std::unordered_set<std::string> names;
    if (policy.library_rules) {
        for (const fsys::FolderEntry& e : entries) {
            names.insert(e.name);
        }
    }
    return names;
}

bool is_folder_entry(const fsys::FolderEntry& entry, const std::string& path)
{
    // The listing tells plain files and folders apart; only the rest (links) need a look.
    return entry.type == fsys::EntryType::folder || (entry.type == fsys::EntryType::other && fsys::is_folder(path));
}

bool walk_tree(const std::string& folder, const WalkPolicy& policy, const FolderVisitor& on_folder)
{
    std::vector<fsys::FolderEntry> entries;
    if (!fsys::list_folder_entries(folder, entries)) {
        return false;
    }
    std::vector<fsys::FolderId> chain;
    fsys::FolderId id;
    if (fsys::folder_identity(folder, id)) {
        chain.push_back(id);
    }
    return walk_below(folder, entries, policy, on_folder, chain);
}
