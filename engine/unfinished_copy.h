// The corrected copy of a Poser file while it is being written under its backup name. An
// exit that cannot wait for the repair (a second interrupt) deletes it first, so that a name
// which says "old version" never holds anything else. Only a copy this program created is
// ever recorded, and so deleted.
#pragma once

#include "engine/fsys.h"
#include "engine/textio.h"

#include <string>

namespace unfinished_copy {

// Opens `out` on `path` as TextWriter::open does; a copy created anew (Create::exclusive) is
// recorded in the same step, so that an exit finds it either not yet made or recorded.
bool create(TextWriter& out, fsys::FileSystem& fs, const std::string& path, fsys::Create mode, Gzip gzip);

// The copy is finished: its exchange of names begins, after which the backup name holds the
// old text. Nothing is deleted any more.
void forget();

// Deletes the copy at `path` and forgets it, in one step for an exit.
bool remove(fsys::FileSystem& fs, const std::string& path);

// Deletes the recorded copy, if any, and forgets it. Safe in a signal handler and from
// another thread.
void remove_now();

}  // namespace unfinished_copy
