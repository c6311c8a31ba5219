// Check of one Poser file, and its repair in place when a pointer is broken or not in
// blank-colon notation: the corrected text keeps the file's name, the old text moves to
// the first free backup name.
#pragma once

#include "engine/fsys.h"
#include "engine/prompts.h"

#include <string>

// The name under which the old text waits while the two files exchange names.
inline constexpr const char* k_swap_file_name = "MIAOW_EE_EE_SAID_THE_CAT.txt";

// Checks and, when needed, repairs `orig`. Everything the user learns comes through the
// window title, the run log and the prompts. `listed`: what a folder listing told of it.
void readposerfile(const std::string& orig, Prompts& wn, fsys::Listed listed = fsys::Listed::unknown);
