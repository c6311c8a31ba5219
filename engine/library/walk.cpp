#include "engine/library/walk.h"

#include "engine/base/poser_documents.h"
#include "engine/library/content_paths.h"

#include <algorithm>
#include <set>
#include <unordered_set>

namespace {

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
                contents.folder_types.push_back(e.type);
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

// Where the links of a walk may lead, and the folders walked so far, by identity: each folder is
// walked once however many links lead to it.
class WalkBounds {
public:
    WalkBounds(fsys::FileSystem& fs, const std::string& top, const WalkScope& scope) : m_fs(fs), m_scope(scope)
    {
        for (const std::string& place : scope.roots) {
            m_inside.push_back(fs.resolved_path(place));
        }
        m_inside.push_back(fs.resolved_path(top));
        enters(top);
    }
    bool may_enter(const std::string& path, fsys::EntryType listed)
    {
        // Only an entry the listing could not type may be a link; a plain folder costs no look.
        if (listed == fsys::EntryType::other && m_fs.name_kind(path) == fsys::NameKind::link) {
            const std::string target = m_fs.resolved_path(path);
            if (!leads_inside(target)) {
                if (m_scope.link_not_followed) {
                    m_scope.link_not_followed(path, target);
                }
                return false;
            }
        }
        return enters(path);
    }

private:
    // True the first time a walk comes to the folder `path`.
    bool enters(const std::string& path)
    {
        fsys::FolderId id;
        return m_fs.folder_identity(path, id) && m_walked.emplace(id.volume, id.index).second;
    }
    bool leads_inside(const std::string& target) const
    {
        return !target.empty() && std::any_of(m_inside.begin(), m_inside.end(), [&](const std::string& place) {
                   return !place.empty() && (target == place || root_holding(target, {place}) == 0);
               });
    }

    fsys::FileSystem& m_fs;
    const WalkScope& m_scope;
    std::vector<std::string> m_inside;  // where links may lead: the roots and the top, links followed
    std::set<std::pair<std::uint64_t, std::uint64_t>> m_walked;
};

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

bool walk_folders(fsys::FileSystem& fs, const std::string& folder, const WalkPolicy& policy, WalkVisitor& visitor,
                  const WalkScope& scope)
{
    // A folder being walked: its contents, the length of its path, and the next subfolder. The
    // walk keeps them on a stack of its own, not the thread's, which a deep tree would overflow;
    // and one path, cut back on the way up, so that memory follows the names' length.
    struct Level {
        FolderContents contents;
        std::size_t length = 0;
        std::size_t next = 0;
        bool go_on = true;
    };
    std::vector<Level> levels;
    std::string path = folder;
    WalkBounds bounds(fs, folder, scope);
    // 1: entered; 0: the visitor ends the walk of the folder's parent there; -1: not listed.
    const auto enter = [&]() {
        std::vector<fsys::FolderEntry> entries;
        if (!fs.list_folder_entries(path, entries)) {
            return -1;
        }
        FolderContents contents = sorted(fs, path, std::move(entries), policy);
        if (!visitor.enter(path, contents)) {
            return 0;
        }
        levels.push_back(Level{std::move(contents), path.size(), 0, true});
        return 1;
    };
    if (const int top = enter(); top != 1) {
        return top < 0;
    }
    for (;;) {
        Level& level = levels.back();
        path.resize(level.length);
        if (level.go_on && level.next < level.contents.folders.size()) {
            const std::size_t k = level.next++;
            path = child_path(std::move(path), level.contents.folders[k]);
            if (!bounds.may_enter(path, level.contents.folder_types[k])) {
                continue;
            }
            const int entered = enter();
            if (entered != 1) {
                levels.back().go_on = entered < 0;
            }
            continue;
        }
        const bool go_on = visitor.leave(path, level.contents, level.go_on);
        levels.pop_back();
        if (levels.empty()) {
            return go_on;
        }
        levels.back().go_on = go_on;
    }
}

void walk_folders(fsys::FileSystem& fs, const std::string& folder, const WalkPolicy& policy, const FolderVisitor& visit,
                  const WalkScope& scope)
{
    LookingVisitor visitor(visit);
    walk_folders(fs, folder, policy, visitor, scope);
}

std::string link_not_followed_note(const std::string& link, const std::string& target)
{
    return "a link leading out of the library is not followed: " + link + " -> " + target;
}

WalkPolicy library_walk_policy()
{
    return WalkPolicy{is_poser_document, true, true, {"__MACOSX", k_runs_folder_name}};
}
