// tarnwick-cli --undo, --undo-log, --runs and --forget: the run folders of extended runs
// listed, undone or deleted, and a default run undone from its log; and the window's undo.
#pragma once

#include "engine/fsys/fsys.h"

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

enum class UndoAction { none, undo, undo_log, runs, forget };

struct UndoRequest {
    UndoAction action = UndoAction::none;
    std::string target;              // the run, run log or run to forget; "" for the last run
    std::vector<std::string> roots;  // --root values, in order
    std::string library_prefs;
    bool yes = false;  // --forget without asking
};

class Prompts;

// The window's "undo the last run": names the last run or install below `roots` (when, files
// changed, and that a newer one was undone already) in a question, undoes it on Yes, and shows
// what was restored and left alone; says so at once when nothing is left to undo.
void undo_last_run(fsys::FileSystem& fs, const std::vector<std::string>& roots, Prompts& wn, std::time_t now);

// Exit status: 0 when everything was done, 3 when a file was left alone, 2 for a run, log or
// root that cannot be used (nothing changed then), 1 when the user said no. `unattended`:
// nobody reads `out`, so what was left alone is said on `err` too.
int run_undo_command(fsys::FileSystem& fs, const UndoRequest& request, std::FILE* in, std::FILE* out, std::FILE* err,
                     bool unattended);
