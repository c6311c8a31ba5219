// Giving back what a repair changed: an extended run from its run folders' manifests, a
// default run from its log. Each file is restored only when it still holds what the run
// wrote; a file changed since is left alone and named. Every step is a rename, so that the
// old text is under one of its names at every moment.
#pragma once

#include <string>
#include <vector>

struct RunFolderInfo {
    std::string folder;  // the run folder
    std::string stamp;   // its name: when the run began
    std::string undone;  // when it was undone, or ""
    long long files = 0;
    long long replacements = 0;
};

// The run folders below the roots, oldest first. A run over several roots has one folder
// below each, all of one name.
std::vector<RunFolderInfo> find_runs(const std::vector<std::string>& roots);

struct UndoOutcome {
    std::vector<std::string> restored;
    // Files left alone, each with its reason.
    std::vector<std::pair<std::string, std::string>> left;
};

// Checks the run folder `run` (or its manifest.json) whole, then gives each file its old
// version back. False, with a one-line reason in `error` and nothing changed, for a
// manifest that is corrupt, from a newer program, names a file outside its root, or was
// undone already.
bool undo_run(const std::string& run, UndoOutcome& outcome, std::string& error);

// Gives back the old text of every file that the run log `log` names as corrected (and not
// abandoned); the corrected text is kept under the file's next free backup name.
bool undo_from_log(const std::string& log, UndoOutcome& outcome, std::string& error);

// Deletes the run folder `run` with every old version in it; false with a reason when it is
// no run folder or cannot be deleted whole.
bool forget_run(const std::string& run, std::string& error);

// The run folder that `run` names (itself, or the folder of its manifest.json).
std::string run_folder_of(const std::string& run);
