// The rules by which the check and the correction pass find geometry pointers and their
// files. By default they are the rules the repair has always had: lines ending in ".obj",
// the marker scan, one Poser root, plain text. The extended rules (tarnwick-cli --modern)
// add compressed documents, quoted and ".obz" pointers, letter case as Windows ignores it,
// several content roots, and replacements found by file name (--auto).
#pragma once

#include "engine/prompts.h"
#include "engine/references.h"

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

struct ExtendedRules {
    bool enabled = false;
    // A missing file with exactly one namesake under the roots is replaced without asking.
    bool automatic = false;
    // The content roots in order of preference; the first is the Poser root.
    std::vector<std::string> roots;
};
// Off unless the console program was asked for them.
extern ExtendedRules extended_rules;

// True for a file a folder walk checks: a Poser file by its name; with the extended rules
// any Poser document, compressed ones included, but not the backup of a file beside it
// (`folder_names` holds the names of its folder; empty for a file checked on its own).
bool is_checked_file(const std::string& name, const std::unordered_set<std::string>& folder_names = {});

// Whether a folder walk enters a folder of this name.
bool is_walked_folder_name(const std::string& name);

// The geometry pointer of a trimmed line, if it is one.
bool find_pointer(std::string_view trimmed, GeometryPointer& p);

// Where the file a Poser path names lies: `disk_path` is its disk path under the root that
// holds it (under the first root when none does), `root_length` that root's length. True
// when it exists there (with the extended rules also when only letter case differs).
bool locate_pointer(std::string_view poser_path, const Prompts& wn, std::string& disk_path, std::size_t& root_length);

// The root of `path` when it lies inside one (the longest), else nullptr.
const std::string* root_of_pick(const std::string& path);

// The files under the roots named like `poser_path`'s file (letter case ignored), best
// first. The roots are walked once per run, when first needed.
std::vector<std::string> files_by_name(std::string_view poser_path);
// Forgets the files found by name: a new run walks the roots again.
void forget_files_by_name();
