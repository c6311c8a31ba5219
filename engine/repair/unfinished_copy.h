// The corrected copies of Poser files while they are written under their backup names and wait
// for their exchange of names. An exit that cannot wait for the repair (a second interrupt)
// deletes them first, so that a name which says "old version" never holds anything else. Only
// a copy this program created is ever recorded, and so deleted.
#pragma once

#include "engine/fsys/fsys.h"
#include "engine/fsys/textio.h"

#include <string>

namespace unfinished_copy {

// So many copies of a repair wait at once at the most.
inline constexpr int k_most_copies = 64;
// So many copies are recorded at once at the most: a move's batch, whose flushes a file system
// that journals commits together (four times a repair's, whose batch a question may end).
inline constexpr int k_most_recorded = 256;

// Opens `out` on `path` as TextWriter::open does; a copy created anew (Create::exclusive) is
// recorded in the same step, so that an exit finds it either not yet made or recorded.
bool create(TextWriter& out, fsys::FileSystem& fs, const std::string& path, fsys::Create mode, Gzip gzip);

// Creates the copy `path` anew, opened in `f`, and records it in the same step, as create does
// for a writer. Safe from several threads at once.
bool create_file(fsys::FileSystem& fs, const std::string& path, fsys::RawFile& f);

// The copy `path` is finished: its exchange of names begins, after which the backup name holds
// the old text. It is deleted no more.
void forget(const std::string& path);

// Deletes the copy at `path` and forgets it, in one step for an exit.
bool remove(fsys::FileSystem& fs, const std::string& path);

// Deletes every recorded copy and forgets it. Safe in a signal handler and from another thread.
void remove_now();

}  // namespace unfinished_copy
