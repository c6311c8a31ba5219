// Giving back what a repair changed: an extended run from its run folders' manifests, a
// default run from its log. Each file is restored only when it still holds what the run
// wrote; a file changed since is left alone and named. Every step is a rename, so that the
// old text is under one of its names at every moment. Run folders and logs arrive with the
// library and may be planted or damaged: a link is never entered, read through or deleted
// through, and nothing a manifest or log names outside its root is touched.
#pragma once

#include "engine/fsys/fsys.h"

#include <ctime>
#include <string>
#include <utility>
#include <vector>

// Ours nests five deep (the run, its files, a file, its replacements, one replacement); a
// manifest nested deeper is no manifest of ours, and is refused before it is parsed.
inline constexpr std::size_t k_max_manifest_nesting = 16;
// No line of a run log is longer: a path of the longest Windows takes (32,767 characters, three
// bytes each at most) with the words around it. A longer one is no line of ours, and is passed over.
inline constexpr std::size_t k_max_log_line_bytes = 1 << 17;

struct RunFolderInfo {
    std::string folder;  // the run folder
    std::string stamp;   // its name: when the run began
    std::string root;    // the content root it was recorded for, which holds it
    std::string undone;  // when it was undone whole, or ""
    long long files = 0;
    long long files_undone = 0;  // files given back so far
    long long replacements = 0;
    long long moved = 0;  // files a move took away, for the run folder below the root that held them
    std::string move = {};  // what that move did ("214 files moved from X to Y"), or ""
    std::string product = {};  // an install's zips, by name; "" for a repair
};

struct RunList {
    std::vector<RunFolderInfo> runs;   // oldest first
    std::vector<std::string> refused;  // what was passed over, each with its reason
};

// The run folders below the roots. A run over several roots has one folder below each, all of
// one name. A folder is a run when it is no link, is named by a time no later than `now`
// (YYYYMMDD-HHMMSS, maybe with -N), and holds a manifest of ours for that time, recorded for
// the root that holds it (both with every link followed): a run folder arrives with content,
// and one recorded elsewhere was made for somebody else's files.
RunList find_runs(fsys::FileSystem& fs, const std::vector<std::string>& roots, std::time_t now);

// What the run folder `run` (or its manifest.json) holds, checked as find_runs checks it; false,
// with a one-line reason in `error`, for no run of ours.
bool read_run(fsys::FileSystem& fs, const std::string& run, std::time_t now, RunFolderInfo& info, std::string& error);

// The folders of the last run: the newest that changed files and is not undone whole.
std::vector<const RunFolderInfo*> last_run(const RunList& list);

struct UndoOutcome {
    std::vector<std::string> restored;
    // Files left alone, each with its reason.
    std::vector<std::pair<std::string, std::string>> left;
};

// Checks the run folder `run` (or its manifest.json) whole, then gives each file not yet given
// back its old version. False, with a one-line reason in `error` and nothing changed, for a
// run folder that is a link or holds one, a manifest that is damaged, from a newer program,
// names a file outside its root, or a run undone already. The run counts as undone once every
// file is; a later undo finishes what an earlier one left.
bool undo_run(fsys::FileSystem& fs, const std::string& run, std::time_t now, UndoOutcome& outcome, std::string& error);

// Gives back the old text of every file that the run log `log` names as corrected (and not
// abandoned), when the file lies below one of `roots` or the log's own folder and its old
// version is its backup beside it (NAME_zzNN.ext); the corrected text is kept under the file's
// next free backup name. Anything else the log names is left alone and named.
bool undo_from_log(fsys::FileSystem& fs, const std::string& log, const std::vector<std::string>& roots,
                   UndoOutcome& outcome, std::string& error);

// Deletes the run folder `run` with every old version in it; false with a reason when it is
// no run folder, is or holds a link (never followed), or cannot be deleted whole.
bool forget_run(fsys::FileSystem& fs, const std::string& run, std::time_t now, std::string& error);

// The run folder that `run` names (itself, or the folder of its manifest.json).
std::string run_folder_of(fsys::FileSystem& fs, const std::string& run);
