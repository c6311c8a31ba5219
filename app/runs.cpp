#include "app/runs.h"

#include "app/run_summary.h"

#include "engine/correction.h"
#include "engine/engine_state.h"
#include "engine/folder_walk.h"
#include "engine/fsys.h"
#include "engine/library_rules.h"
#include "engine/poser_documents.h"
#include "engine/poserfile.h"
#include "engine/refline.h"
#include "engine/run_stop.h"

#include <utility>

std::string rootdir;
std::string logname;
std::string file;

namespace {

bool g_run_in_progress = false;
LogViewer g_log_viewer;
FolderPicker g_folder_picker;
bool g_cancelled = false;
unsigned long long g_runs_started = 0;

void build_logname()
{
    logname = rootdir;
    logname += fsys::k_sep;
    logname += k_log_file_name;
}

// A log that cannot be created leaves LOG absent: the run goes on without log lines.
void open_log()
{
    auto log = std::make_unique<TextWriter>();
    if (log->open(logname)) {
        LOG = std::move(log);
    } else {
        LOG.reset();
    }
}

void close_log()
{
    if (LOG) {
        LOG->close();
    }
    LOG.reset();
}

bool extended_window_run()
{
    return g_folder_picker && library_rules() != nullptr;
}

// The next chooser proposes the log's bare name; then the user may look at the log.
void closing_steps(Prompts& wn)
{
    std::string name = logname;
    int cut = dellocalname(name);
    file = cut > 0 ? logname.substr(static_cast<std::size_t>(cut) + 1) : logname;
    const std::string body = extended_window_run() ? logname + "\n\n" + run_summary(run_tally) : logname;
    if (wn.question(Owner::none, body, "do you want to see my log for this run?") && g_log_viewer) {
        g_log_viewer(logname);
    }
}

void start_run()
{
    start_library_run();
    run_tally = RunTally{};
    ++g_runs_started;
}

// After the engine: a run the Cancel button stopped goes on to its closing steps; one stopped
// by a close or an interrupt ends there. False for the latter.
bool ran_to_its_end()
{
    if (g_cancelled) {
        g_cancelled = false;
        run_stop::clear();
    }
    return !run_stop::requested();
}

// The extended runs end their log with what the files came to. `nothing_logged`: a single
// file's log still reads "no alterations", which the summary must follow, not overwrite.
void log_summary(bool nothing_logged)
{
    if (library_rules() == nullptr) {
        return;
    }
    if (nothing_logged) {
        write_log("no alterations\n");
    }
    write_log(run_summary(run_tally) + "\n");
}

void single_file_run(Prompts& wn)
{
    start_run();
    build_logname();
    open_log();
    create_repllist();
    // Overwritten from the start by whatever the check writes; stays when it writes nothing.
    write_log("no alterations\n");
    if (LOG) {
        LOG->rewind();
    }
    const unsigned long long logged_before = log_writes();
    readposerfile(file, wn);
    const bool go_on = ran_to_its_end();
    if (go_on) {
        log_summary(log_writes() == logged_before);
    }
    close_log();
    if (go_on) {
        closing_steps(wn);
    }
}

void folder_run(Prompts& wn)
{
    start_run();
    build_logname();
    create_repllist();
    open_log();
    searchdir(file, wn);
    const bool go_on = ran_to_its_end();
    if (go_on) {
        log_summary(false);
    }
    close_log();
    // A stopped run ends here: its log holds what was done, and nobody is asked anything.
    if (!go_on) {
        return;
    }
    wn.information(Owner::none, logname, "searchdir finished, my log is on this file");
    closing_steps(wn);
}

void check_file(Prompts& wn)
{
    // The chooser lists what the run will check: with the library rules, every Poser document.
    static const FileFilter every_document{"Poser documents", poser_document_patterns()};
    const FileFilter& filter = extended_window_run() ? every_document : filterCR2etc;
    if (wn.GetFileName(Owner::main, file, posername, "file to check?", filter, ChooserMode::open) == 0) {
        return;
    }
    single_file_run(wn);
}

// The user names a folder by naming any file in it, existing or not, or the folder itself;
// in the extended mode picks the folder itself.
void check_folder(Prompts& wn)
{
    if (extended_window_run()) {
        std::string folder = posername;
        if (g_folder_picker(folder, posername, "folder to be checked") != 0) {
            file = folder;
            folder_run(wn);
        }
        return;
    }
    if (wn.GetFileName(Owner::main, file, posername, "find any file in the folder to be checked", filterall,
                       ChooserMode::save) == 0) {
        return;
    }
    if (!is_dir(file) && dellocalname(file) == 0) {
        wn.warning(Owner::none, file, "this is not a valid filename");
        return;
    }
    folder_run(wn);
}

}  // namespace

void set_rootdir_to_current_folder()
{
    rootdir = fsys::current_folder();
}

void use_window_extras(FolderPicker picker)
{
    g_folder_picker = std::move(picker);
}

void cancel_run()
{
    if (!g_run_in_progress) {
        return;
    }
    g_cancelled = true;
    run_stop::request();
}

unsigned long long runs_started()
{
    return g_runs_started;
}

void forget_run_cancel()
{
    g_cancelled = false;
}

void set_log_viewer(LogViewer viewer)
{
    g_log_viewer = std::move(viewer);
}

BusyGuard::BusyGuard() : m_outer(g_run_in_progress)
{
    g_run_in_progress = true;
}

BusyGuard::~BusyGuard()
{
    g_run_in_progress = m_outer;
}

bool run_in_progress()
{
    return g_run_in_progress;
}

AfterCommand menu_command(int command, Prompts& wn)
{
    // Runs share the log, the replacement list and the target: a second one must wait.
    if (g_run_in_progress) {
        return AfterCommand::go_on;
    }
    switch (command) {
    case k_check_file: {
        BusyGuard busy;
        check_file(wn);
        break;
    }
    case k_check_folder: {
        BusyGuard busy;
        check_folder(wn);
        break;
    }
    case k_help:
        wn.information(Owner::none, "For information, read the file tarnwick_readme.txt that came with this application.", "");
        break;
    case k_exit:
        release_repllist();
        return AfterCommand::close_main_window;
    default:
        break;
    }
    return AfterCommand::go_on;
}

void handle_drop(const std::vector<std::string>& paths, Prompts& wn)
{
    if (g_run_in_progress) {
        return;
    }
    if (paths.size() != 1) {
        wn.warning(Owner::main, "one file at a time please", "drag-and-drop");
        return;
    }
    BusyGuard busy;
    file = paths.front();
    if (is_dir(file)) {
        folder_run(wn);
    } else if (walk_policy().is_document(file)) {
        single_file_run(wn);
    } else {
        wn.warning(Owner::none, file, "I can't handle this sort of file");
    }
}
