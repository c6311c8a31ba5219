// The walk of a folder and all its subfolders, checking every Poser file in it.
#pragma once

#include "engine/prompts.h"

#include <string>

// 1 when `name` (an entry name or a path) has at least five characters and ends in ".pz3",
// ".cr2", ".pp2" or ".hr2", letters in any case; 0 otherwise. Looks at the name only.
int isposerfile(const std::string& name);

// Non-zero when `path` names an existing folder; 0 for anything else, with no message.
int is_dir(const std::string& path);

// Checks the Poser files of `dirname`, then walks its subfolders (not those whose names
// begin with a dot), asking after each folder that holds Poser files whether to go on.
// Returns non-zero to go on, 0 when the user answered No at this folder's question.
int searchdir(const std::string& dirname, Prompts& wn);
