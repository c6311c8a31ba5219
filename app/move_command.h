// Moving a file or folder of a library with every reference to it following: tarnwick-cli
// --move SRC DST (and its --dry-run), and the window's "move a folder and keep what uses it".
// The old versions of the documents changed and the record of the move go into run folders,
// the manifest written before the first change, so that --undo takes the move back; a move
// that fails or is stopped is taken back at once.
#pragma once

#include "engine/move/move_apply.h"

#include <cstdio>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

inline constexpr int k_move_done = 0;
inline constexpr int k_move_failed = 1;       // the files did not move: taken back
inline constexpr int k_move_refused = 2;      // nothing changed
inline constexpr int k_move_incomplete = 3;   // moved, but a document could not be read or changed

struct MoveRunResult {
    int status = k_move_done;
    MoveOutcome outcome;
    std::string error;  // why it was refused or failed, or ""
    // What taking a failed move back left where it is, each with its reason: --undo finishes it.
    std::vector<std::pair<std::string, std::string>> left;
};

// Carries out `plan` over `roots` with its run folders (`version` of the program written in
// their manifests, named by the time `now`): taken back at once when the files do not all move.
MoveRunResult move_with_run_folders(fsys::FileSystem& fs, const MovePlan& plan, const std::vector<std::string>& roots,
                                    const std::string& version, std::time_t now, const MoveStep& progress = nullptr);

// The window's question: "move 214 files to X? 37 references in 12 documents will follow".
std::string move_question(const MovePlan& plan);
// The closing line: "moved 214 files from X to Y; 37 references rewritten in 12 documents", or
// what came of a move that failed.
std::string move_summary(const MovePlan& plan, const MoveRunResult& result);

struct MoveCommandRequest {
    std::string source;
    std::string target;
    std::vector<std::string> roots;  // --root values, in order
    std::string library_prefs;       // a LibraryPrefs.xml, "auto", or ""
    bool dry_run = false;
};

// tarnwick-cli --move: the documents changed and the summary on `out` (with --dry-run the moves
// and a unified diff of every document instead, nothing changed); progress, refusals and
// documents left as they are on `err`. The exit status of the result.
int run_move(fsys::FileSystem& fs, const MoveCommandRequest& request, const std::string& version, std::FILE* out,
             std::FILE* err);
