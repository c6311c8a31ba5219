// What a move's run folders record of it, and its undo: the files put back and what the move
// took away made again. The manifest below the root that held the moved files records the move;
// where the files went to another root, a run folder of the same run lies below that root too,
// holding the same record, so that a manifest naming a root where the run left nothing (one
// planted with the content) moves nothing.
#pragma once

#include "app/run_manifest.h"
#include "app/undo.h"

#include <string>
#include <vector>

struct MovePlan;

struct StoredMove {
    std::string from;  // absolute
    std::string to;
    bool to_was_empty_folder = false;
    std::vector<std::string> made;  // the folders the move made above `to`, outermost first
    long long files = 0;
    bool here = false;  // the run folder lies below the root that held the files: its undo moves them back
    std::string undone;
};

// The members the manifests of `plan`'s run folders hold beside a repair's, as the text of a
// JSON object; "" when a path cannot be held (it is not UTF-8).
std::string move_head_fields(const MovePlan& plan, const std::vector<std::string>& roots);

// Reads the move that `doc`, the manifest of the run folder `run_folder` below `root`, records.
// False with a one-line `error` when the record is damaged, names a path outside its roots or
// through a link, or a root where the run has no run folder of its own.
bool read_stored_move(fsys::FileSystem& fs, const nlohmann::json& doc, const std::string& root,
                      const std::string& run_folder, StoredMove& move, std::string& error);

// Puts the files back and makes again the empty folder the move took away; what stays where it
// is goes to `outcome.left`. True when all of it is back.
bool undo_stored_move(fsys::FileSystem& fs, const StoredMove& move, UndoOutcome& outcome);

// True when `file` lies where the files went from: it comes back only with them.
bool comes_back_with_move(const StoredMove& move, const std::string& file);

// For --runs and the window's undo: "214 files moved from X to Y", or "" for a run folder that
// does not hold the move's files.
std::string stored_move_summary(fsys::FileSystem& fs, const nlohmann::json& doc, const std::string& root,
                                long long& files);
