// The run folders of an extended run: `<root>/tarnwick-runs/<YYYYMMDD-HHMMSS>/` under each root
// that holds a file the run changes, the old version of each such file at its path from that
// root, and `manifest.json` describing the run and every change, written as the run goes. A
// run that changes nothing makes none.
#pragma once

#include "engine/fsys/fsys.h"
#include "engine/repair/run_journal.h"

#include <ctime>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

class Run;

struct RunSettings {
    std::string version;  // of the program
    bool automatic = false;
    std::vector<std::string> roots;  // absolute, the first the Poser root
    // A run of another kind than a repair ("move"), with members of its own in each manifest's
    // head (`head_fields`, the text of a JSON object) in place of the repair's options.
    std::string kind = {};
    std::string head_fields = {};
};

// The run folders' name for a run started at `when`, in local time: "20261207-104106".
std::string run_stamp(std::time_t when);

enum class RunFolderMade { made, not_plain, failed };
// Makes the run folder `path` below `root` for a run begun at `stamp`: tarnwick-runs/<stamp>, or
// <stamp>-2, -3 ... when taken. not_plain: tarnwick-runs is a link or no folder, and is not
// entered; `path` is then below it all the same.
RunFolderMade make_run_folder(fsys::FileSystem& fs, const std::string& root, const std::string& stamp, std::string& path);

class RunFolders : public RunJournal {
public:
    // `run` is told, in its log, where the old versions go.
    RunFolders(Run& run, RunSettings settings, std::string stamp);
    ~RunFolders() override;
    std::string backup_for(const std::string& file) override;
    bool record(const FileChange& change) override;
    void record_all(const std::vector<FileChange>& changes, std::vector<bool>& recorded) override;
    // Makes the run folder below root `root` with its manifest now, before the run changes
    // anything; its path, or "" when it cannot be made.
    std::string open_folder(std::size_t root);
    // The run folders made so far.
    std::vector<std::string> folders() const;

private:
    struct Folder;
    Folder* folder_for(std::size_t root);
    void end_manifest_again(Folder& f);
    std::string place(const std::string& given, std::size_t& root);

    Run& m_run;
    RunSettings m_settings;
    std::string m_stamp;
    std::vector<std::unique_ptr<Folder>> m_folders;  // one for each root, made when first needed
    bool m_fallback_said = false;
    std::unordered_set<std::string> m_ready_folders;  // folders of the run folders made for old versions
};
