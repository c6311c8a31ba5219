// Names for the old text of a repaired Poser file: "_zz00" to "_zz99" before its extension.
#pragma once

#include "engine/fsys/fsys.h"

#include <string>
#include <string_view>

// Inserts `e` in front of the last four characters of `f` when they are a dot and a
// three-character extension and `f` has at least five characters; returns 1, else 0 and
// `f` unchanged.
int lengthenname(std::string& f, std::string_view e);

// The first backup name of `orig` under which nothing exists, or "" when all hundred are
// taken. A name without a four-character extension never gets one.
std::string next_free_backup_name(fsys::FileSystem& fs, const std::string& orig);
