// Installing a planned product into its content folder, and taking an install back. Every file
// is first unpacked into the run folder (`<root>/tarnwick-runs/<when>/new/`) and flushed to the
// disk; the record of the install is kept before the first file is moved into the content
// folder, and then each file moves in by a rename, the file it replaces moved out to the run
// folder first (`old/` and its path). At every moment each byte the user had is under a name,
// and the record tells what was done: a failure or a stop takes back what was done, and what a
// crash leaves is taken back from the record later. Nothing here knows how the record is kept.
#pragma once

#include "engine/install/install_plan.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

struct InstalledFile {
    std::string path;         // below the content folder, '/' between names
    std::string staged;       // below the run folder: its bytes, unpacked, before they move in
    std::string old;          // below the run folder: the file it replaces, once moved out; "" for a new file
    fsys::FileDigest before;  // of the file it replaces (size -1 for a new file)
    fsys::FileDigest after;   // of the bytes installed (size -1 until they are unpacked)
    // Of the installed file once it moved in (size -1 until then): while the file's stamp is
    // this one it holds `after`, and taking it back needs no reading of it.
    fsys::FileStamp stamp;
    std::string undone;       // when it was taken back, or ""
};

struct InstallRecord {
    std::string root;
    std::string run_folder;
    std::vector<std::string> zips;
    std::vector<std::string> folders;  // made by the install, below the root, each after the folder holding it
    std::vector<InstalledFile> files;
    bool finished = false;  // every file moved in
    std::string undone;     // when the install was taken back whole, or ""
};

// Keeps the record where an undo will find it; false when it could not be kept.
class InstallJournal {
public:
    virtual ~InstallJournal() = default;
    virtual bool keep(const InstallRecord& record) = 0;
};

// The bytes unpacked so far of all to be written, now and then.
using InstallProgress = std::function<void(unsigned long long done, unsigned long long total)>;

enum class InstallEnd { installed, failed, stopped };

struct TakenBack {
    std::vector<std::string> restored;  // files removed or given their old version back
    std::vector<std::pair<std::string, std::string>> left;  // files left alone, each with why
};

// Installs the files of `plan` (which can_install()) that are not already there, with the run
// folder `run_folder` (made, empty) on `threads` threads, keeping `record` in `journal` before
// anything is unpacked, again before the first file moves in, and at the end. On a failure
// (with `reason`) or a stop asked for (run_stop), what was done is taken back at `when`
// (`taken_back` says how far) and the record kept again.
InstallEnd install_planned(fsys::FileSystem& fs, const InstallPlan& plan, const std::string& run_folder,
                           InstallJournal& journal, unsigned threads, const std::string& when,
                           const InstallProgress& progress, InstallRecord& record, TakenBack& taken_back,
                           std::string& reason);

// Takes back each file of `record` not yet taken back: a new file still holding what the install
// wrote is removed, a replaced one gets its old version back from the run folder, one not moved
// in yet loses its unpacked copy; a file changed since is left alone and named. Then the folders
// the install made are removed where empty. Each file taken back is marked `when`, and the
// record too once every file is. The files are taken back on `threads` threads.
void take_back(fsys::FileSystem& fs, InstallRecord& record, const std::string& when, TakenBack& outcome,
               unsigned threads = 1);
