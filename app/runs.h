// The runs: one user request to check a Poser file or a folder tree, with the run log in
// the start folder, and the small commands help and exit.
#pragma once

#include "app/folder_picker.h"
#include "engine/prompts.h"

#include <functional>
#include <string>
#include <vector>

// The folder that was current when the program started; the run log always lives there.
extern std::string rootdir;
// The run log's full path, built for every run.
extern std::string logname;
// The target of a run, shared with the choosers (initial name in, chosen path out) and drops.
extern std::string file;

inline constexpr const char* k_log_file_name = "__result_of_run.txt";

// The menu commands, with the identifiers of the Windows menu.
enum MenuCommand : int {
    k_check_file = 256,
    k_help = 257,
    k_exit = 258,
    k_check_folder = 259,
};

// Sets rootdir to the current folder, whatever its length.
void set_rootdir_to_current_folder();

// How a finished run's log is shown when the user asks for it: the Windows program starts
// the text editor, the console program prints it.
using LogViewer = std::function<void(const std::string& logname)>;
void set_log_viewer(LogViewer viewer);

// The window program's extended repair, on while `picker` is set (empty: off): the file
// chooser lists every Poser document the library rules check, folders are picked with
// `picker`, and the closing question's body ends with the run's summary. The console
// program's prompts stay as they are.
void use_window_extras(FolderPicker picker);

// The Cancel button of a run: it ends before its next file and then closes as usual, its log
// and summary offered. A close of the window stops it for good (run_stop alone).
void cancel_run();
// How many runs have started since the program did: a caller tells whether a command ran.
unsigned long long runs_started();
// Forgets a cancel not yet taken: the window is being closed, and nothing more is asked.
void forget_run_cancel();

enum class AfterCommand { go_on, close_main_window };
// Carries out menu command `command` (any other number does nothing). Nothing starts
// while a run is in progress.
AfterCommand menu_command(int command, Prompts& wn);

// Handles the paths of one drop: exactly one is accepted; a folder starts a folder run, a
// Poser file a single-file run, anything else is refused with a warning.
void handle_drop(const std::vector<std::string>& paths, Prompts& wn);

// True while a run is being carried out, or anything else that commands must wait for,
// such as the Poser root dialogue (their prompts may let other input arrive).
bool run_in_progress();

// Keeps the program busy for as long as it lives: commands and drops meanwhile start
// nothing.
class BusyGuard {
public:
    BusyGuard();
    ~BusyGuard();
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    bool m_outer;
};
