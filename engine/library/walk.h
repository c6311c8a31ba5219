// The one walk of a folder tree, for every reader: the repair's own folder walk with its
// question after each folder, the extended repair, the report and the search by file name.
// Entry types come from the folder listing, loops are found by folder identity, and which
// entries are documents and which folders are entered is a policy.
#pragma once

#include "engine/fsys/fsys.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The folder below a content root where an extended run keeps the old versions of the files
// it changes; no walk of a library enters it.
inline constexpr const char* k_runs_folder_name = "tarnwick-runs";

struct WalkPolicy {
    // True for the name of a document to check (an entry name or a path).
    bool (*is_document_name)(std::string_view name) = nullptr;
    // An entry the listing types as a folder is a folder, whatever its name. Without it a name
    // that makes a document makes one, even a folder's, which the check then warns about.
    bool folders_by_type = false;
    // The old version NAME_zzNN.ext that a repair kept beside NAME.ext is no document: it is
    // counted and left out, so that running a repair twice makes no backups of backups.
    bool skips_backups = false;
    // Folders never entered besides those whose names begin with a dot.
    std::vector<std::string_view> skipped_folders;

    bool enters_folder(std::string_view name) const;
};

// Where a walk may go. A folder link (a junction on Windows) is followed only when it leads
// inside the folder walked or inside one of the content roots: a library unpacked from a
// stranger's zip may hold a link to the user's home or to "/", and whatever a walk reaches a
// repair may rewrite.
struct WalkScope {
    std::vector<std::string> roots;
    // Told once of each folder link not followed: its path, and where it leads.
    std::function<void(const std::string& link, const std::string& target)> link_not_followed;
};

// What a walk takes from one folder's listing, each in listing order.
struct FolderContents {
    std::vector<fsys::FolderEntry> documents;
    std::vector<std::string> folders;       // the subfolders to walk
    std::vector<fsys::EntryType> folder_types;  // each one's type in the listing: other for a link
    std::vector<fsys::FolderEntry> entries;  // the whole listing
    long long backups = 0;                  // backups left out
};

class WalkVisitor {
public:
    virtual ~WalkVisitor() = default;
    // A folder, before its subfolders are walked. False ends the walk of this folder there:
    // neither its subfolders nor leave() follow, and its parent walks no further subfolder.
    virtual bool enter(const std::string& folder, const FolderContents& contents) = 0;
    // After its subfolders (`go_on` false when one of them ended the walk of the rest). Returns
    // whether the folder's parent goes on with its next subfolder.
    virtual bool leave(const std::string& folder, const FolderContents& contents, bool go_on)
    {
        (void)folder;
        (void)contents;
        return go_on;
    }
};

// Walks `folder` and every folder below it that the policy enters, depth first in listing
// order, each folder's entries taken before its subfolders are walked. Each folder is walked
// once, known by its identity (device and inode, or the Windows file ID), however many links
// lead to it; a folder link is followed only within `scope`. Returns what the top folder's
// leave() returns; true when it cannot be listed.
bool walk_folders(fsys::FileSystem& fs, const std::string& folder, const WalkPolicy& policy, WalkVisitor& visitor,
                  const WalkScope& scope = {});

// The same for a visitor that only looks at each folder.
using FolderVisitor = std::function<void(const std::string& folder, const FolderContents& contents)>;
void walk_folders(fsys::FileSystem& fs, const std::string& folder, const WalkPolicy& policy, const FolderVisitor& visit,
                  const WalkScope& scope = {});

// The message that names a folder link a walk does not follow.
std::string link_not_followed_note(const std::string& link, const std::string& target);

// The library rules: every Poser document, plain or compressed, by its type in the listing;
// backups beside their documents left out; archives' Mac metadata and run folders not entered.
WalkPolicy library_walk_policy();
