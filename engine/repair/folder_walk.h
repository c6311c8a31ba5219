// The walk of a folder and all its subfolders, checking every Poser file in it.
#pragma once

#include "engine/base/prompts.h"
#include "engine/fsys/fsys.h"
#include "engine/library/walk.h"

#include <string>
#include <string_view>

class Run;

// 1 when `name` (an entry name or a path) has at least five characters and ends in ".pz3",
// ".cr2", ".pp2" or ".hr2", letters in any case; 0 otherwise. Looks at the name only.
int isposerfile(std::string_view name);

// The repair's own rules for a walk: a Poser file by its name (.cr2 .pp2 .hr2 .pz3), every
// folder whose name does not begin with a dot.
WalkPolicy repair_walk_policy();

// Non-zero when `path` names an existing folder; 0 for anything else, with no message.
int is_dir(fsys::FileSystem& fs, const std::string& path);

// Checks the documents of `dirname`, then walks its subfolders, as the rules in force take
// them and walk them. Returns non-zero to go on, 0 when the user answered No at a folder's
// question or a stop was asked for.
int searchdir(Run& run, const std::string& dirname, Prompts& wn);

// The two walks the rules choose from, both by the rules' policy and repairs. The first checks
// each folder's documents, walks its subfolders, then asks whether to go on (after a folder
// with documents), whose No ends the walk of the folder's later siblings.
int walk_asking_after_each_folder(Run& run, const std::string& dirname, Prompts& wn);
// The second counts the documents below `dirname` into the tally's total first, then checks
// them in the walk's order, asking nothing between folders.
int walk_counted_first(Run& run, const std::string& dirname, Prompts& wn);
