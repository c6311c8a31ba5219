// The runs: one user request to check a Poser file or a folder tree, with the run log in
// the start folder, and the small commands help and exit.
#pragma once

#include "app/folder_picker.h"
#include "engine/base/prompts.h"
#include "engine/repair/run.h"
#include "engine/repair/run_journal.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

inline constexpr const char* k_log_file_name = "__result_of_run.txt";
inline constexpr const char* k_help_text = "For information, read the file tarnwick_readme.txt that came with this application.";

// How a finished run's log is shown when the user asks for it: the Windows program starts
// the text editor, the console program prints it.
using LogViewer = std::function<void(const std::string& logname)>;

struct Session;

// How the menu commands talk with the user around a run: the program's own way, which both
// programs keep whatever rules are in force, or the window's extended repair's (window_options.h).
// Put in force with the options; nothing else asks which is.
class Dialogue {
public:
    virtual ~Dialogue() = default;
    // Asks for the file a single-file run checks, into the session's target; false when none
    // was chosen.
    virtual bool choose_file(Session& s, Prompts& wn) const;
    // Asks for the folder a run walks, into the session's target; false when none was chosen,
    // or a name that names no folder was refused with a warning.
    virtual bool choose_folder(Session& s, Prompts& wn) const;
    // What the closing question shows above itself: the log's path.
    virtual std::string closing_body(const Session& s) const;
    virtual void show_help(const Session& s, Prompts& wn) const;
    // The folder picker the Poser root dialogue offers besides its chooser: none.
    virtual FolderPicker root_picker() const { return {}; }
    // True when the Cancel button, not a question after each folder, lets the user stop a run.
    virtual bool stopped_by_cancel_button() const { return false; }
};

// What the program keeps between runs and while one goes: the engine's state, the start
// folder, the run's target, and whether a run is in progress.
struct Session {
    explicit Session(fsys::FileSystem& fs = fsys::disk()) : run(fs) {}

    Run run;
    // The folder that was current when the program started; the run log always lives there.
    std::string rootdir;
    // The run log's full path, built for every run.
    std::string logname;
    // The target of a run, shared with the choosers (initial name in, chosen path out) and drops.
    std::string file;
    LogViewer log_viewer;
    // The read-me beside the program, which the extended repair's help names; "" where there is none.
    std::string readme;
    // How the commands talk with the user; never null.
    std::unique_ptr<Dialogue> dialogue = std::make_unique<Dialogue>();
    // Where the extended runs keep their old versions; null for the repair's own backups.
    std::unique_ptr<RunJournal> journal;
    bool run_in_progress = false;
    bool cancelled = false;  // the Cancel button stopped the run in progress
    unsigned long long runs_started = 0;
};

// The menu commands, with the identifiers of the Windows menu.
enum MenuCommand : int {
    k_check_file = 256,
    k_help = 257,
    k_exit = 258,
    k_check_folder = 259,
};

// Sets rootdir to the current folder, whatever its length.
void set_rootdir_to_current_folder(Session& session);

// The Cancel button of a run: it ends before its next file and then closes as usual, its log
// and summary offered. A close of the window stops it for good (run_stop alone).
void cancel_run(Session& session);

enum class AfterCommand { go_on, close_main_window };
// Carries out menu command `command` (any other number does nothing). Nothing but help
// starts while a run is in progress.
AfterCommand menu_command(Session& session, int command, Prompts& wn);

// Handles the paths of one drop: exactly one is accepted; a folder starts a folder run, a
// Poser file a single-file run, anything else is refused with a warning.
void handle_drop(Session& session, const std::vector<std::string>& paths, Prompts& wn);

// Keeps the program busy for as long as it lives: commands and drops meanwhile start
// nothing (prompts of a run, or of the Poser root dialogue, may let other input arrive).
class BusyGuard {
public:
    explicit BusyGuard(Session& session);
    ~BusyGuard();
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    Session& m_session;
    bool m_outer;
};
