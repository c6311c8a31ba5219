// Moving a file or a folder with everything below it to another place, and back: by one rename
// where both places are on one volume, else by copies that are flushed to the disk and
// compared with their sources before any source goes, so that every file is whole at one of
// its two places at every moment. Links are never followed, copied or moved.
#pragma once

#include "engine/fsys/fsys.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

// Files moved so far, of all.
using TreeProgress = std::function<void(long long done, long long total)>;

// True when `a` and `b` (which need not exist: their nearest folders that do decide) lie on one
// volume, where a rename moves a name between them.
bool on_one_volume(fsys::FileSystem& fs, const std::string& a, const std::string& b);

// Every file at and below `path`, by its path below it (native separators; "" for `path` itself
// when it is a file); false with `reason` at a link, an entry that is neither a file nor a
// folder, or a folder that cannot be listed: such a tree is not moved.
bool movable_files(fsys::FileSystem& fs, const std::string& path, std::vector<std::string>& files, std::string& reason);

// Moves the file or folder `from` to `to`, whose folder exists and which does not exist itself
// (or is `from` with letters in another case). False with `reason` when a step fails, or when a
// stop is asked for (run_stop) before the first source is removed: then the copies made are
// removed again and `from` is as it was. Once sources go, the move goes on to its end; a
// failure then leaves each file at one of its places, which move_back puts right.
bool move_tree(fsys::FileSystem& fs, const std::string& from, const std::string& to, long long files,
               const TreeProgress& progress, std::string& reason);

// Takes back a move of `from` to `to` that may have stopped at any step, as often as need be:
// whatever lies at `to` goes back to `from`, a copy that its source still has beside it is
// removed when it holds the same bytes, and `to`'s folders are removed once empty. Nothing is
// ever written over: a file whose old place is taken by other bytes is left alone and named in
// `left` with the reason. False when anything stays at `to`.
bool move_back(fsys::FileSystem& fs, const std::string& from, const std::string& to,
               std::vector<std::pair<std::string, std::string>>& left);
