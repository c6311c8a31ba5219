// Which entries of a folder a walk takes as Poser documents and which subfolders it enters,
// by the repair's own rules or by the library rules, and the plain walk of a whole tree that
// the report and the search by file name make.
#pragma once

#include "engine/fsys.h"

#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

// The folder below a content root where the extended repair keeps the old versions of the
// files it changes; no walk ever enters it.
inline constexpr const char* k_runs_folder_name = "tarnwick-runs";

struct WalkPolicy {
    // False: the repair's own rules, a Poser file by its name (.cr2 .pp2 .hr2 .pz3), every
    // folder whose name does not begin with a dot. True: every Poser document, plain or
    // compressed, but not the backup of a file beside it; folders of an archive's Mac
    // metadata and run folders are not entered either.
    bool library_rules = false;

    // True for a document to check; `folder_names` holds the names of its folder (empty for a
    // file checked on its own).
    bool is_document(const std::string& name, const std::unordered_set<std::string>& folder_names = {}) const;
    // True for the backup of a document beside it, which the library rules leave alone.
    bool is_backup(const std::string& name, const std::unordered_set<std::string>& folder_names) const;
    bool enters_folder(const std::string& name) const;
};

// The names of a listing, for is_document; empty for the repair's own rules, which need none.
std::unordered_set<std::string> names_for(const WalkPolicy& policy, const std::vector<fsys::FolderEntry>& entries);

// True when a listed entry is a folder (a link to one included).
bool is_folder_entry(const fsys::FolderEntry& entry, const std::string& path);

// Calls `on_folder` with the path and entries of `folder` and of every folder below it that
// the policy enters, depth first in listing order. Folder links are followed, but never into a
// folder being walked. Returns false when `folder` itself cannot be listed.
using FolderVisitor = std::function<void(const std::string& path, const std::vector<fsys::FolderEntry>& entries)>;
bool walk_tree(const std::string& folder, const WalkPolicy& policy, const FolderVisitor& on_folder);
