#include "engine/library/walk.h"

#include "engine/base/poser_documents.h"
#include "engine/library/content_paths.h"

#include <algorithm>
#include <unordered_set>

namespace {

using Chain = std::vector<fsys::FolderId>;

FolderContents sorted(fsys::FileSystem& fs, const std::string& folder_path, std::vector<fsys::FolderEntry> entries,
                      const WalkPolicy& policy)
{
    FolderContents contents;
    std::unordered_set<std::string> names;
    if (policy.skips_backups) {
        for (const fsys::FolderEntry& e : entries) {
            names.insert(e.name);
        }
    }
    for (const fsys::FolderEntry& e : entries) {
        const bool document = policy.is_document_name(e.name);
        if (document && !policy.folders_by_type) {
            contents.documents.push_back(e);
            continue;
        }
        // Only an entry the listing cannot type is looked at, and only when it matters.
        const bool folder = e.type == fsys::EntryType::folder ||
                            (e.type == fsys::EntryType::other && (document || policy.enters_folder(e.name)) &&
                             fs.is_folder(child_path(folder_path, e.name)));
        if (folder) {
            if (policy.enters_folder(e.name)) {
                contents.folders.push_back(e.name);
            }
        } else if (document && policy.skips_backups && is_backup_beside(e.name, names)) {
            ++contents.backups;
        } else if (document) {
            contents.documents.push_back(e);
        }
    }
    contents.entries = std::move(entries);
    return contents;
}

bool walk_below(fsys::FileSystem& fs, const std::string& folder, const WalkPolicy& policy, WalkVisitor& visitor,
                Chain& chain)
{
    std::vector<fsys::FolderEntry> entries;
    if (!fs.list_folder_entries(folder, entries)) {
        return true;
    }
    const FolderContents contents = sorted(fs, folder, std::move(entries), policy);
    if (!visitor.enter(folder, contents)) {
        return false;
    }
    bool go_on = true;
    for (const std::string& name : contents.folders) {
        const std::string path = child_path(folder, name);
        fsys::FolderId id;
        // A link or junction back up the tree would never end.
        if (!fs.folder_identity(path, id) || std::find(chain.begin(), chain.end(), id) != chain.end()) {
            continue;
        }
        chain.push_back(id);
        go_on = walk_below(fs, path, policy, visitor, chain);
        chain.pop_back();
        if (!go_on) {
            break;
        }
    }
    return visitor.leave(folder, contents, go_on);
}

class LookingVisitor : public WalkVisitor {
public:
    explicit LookingVisitor(const FolderVisitor& visit) : m_visit(visit) {}
    bool enter(const std::string& folder, const FolderContents& contents) override
    {
        m_visit(folder, contents);
        return true;
    }

private:
    const FolderVisitor& m_visit;
};

}  // namespace

bool WalkPolicy::enters_folder(std::string_view name) const
{
    return !name.empty() && name[0] != '.' &&
           std::find(skipped_folders.begin(), skipped_folders.end(), name) == skipped_folders.end();
}

bool walk_folders(fsys::FileSystem& fs, const std::string& folder, const WalkPolicy& policy, WalkVisitor& visitor)
{
    Chain chain;
    fsys::FolderId id;
    if (fs.folder_identity(folder, id)) {
        chain.push_back(id);
    }
    return walk_below(fs, folder, policy, visitor, chain);
}

void walk_folders(fsys::FileSystem& fs, const std::string& folder, const WalkPolicy& policy, const FolderVisitor& visit)
{
    LookingVisitor visitor(visit);
    walk_folders(fs, folder, policy, visitor);
}

WalkPolicy library_walk_policy()
{
    return WalkPolicy{is_poser_document, true, true, {"__MACOSX", k_runs_folder_name}};
}
