#include "app/runs.h"

#include "engine/correction.h"
#include "engine/engine_state.h"
#include "engine/folder_walk.h"
#include "engine/fsys.h"
#include "engine/library_rules.h"
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

// The next chooser proposes the log's bare name; then the user may look at the log.
void closing_steps(Prompts& wn)
{
    std::string name = logname;
    int cut = dellocalname(name);
    file = cut > 0 ? logname.substr(static_cast<std::size_t>(cut) + 1) : logname;
    if (wn.question(Owner::none, logname, "do you want to see my log for this run?") && g_log_viewer) {
        g_log_viewer(logname);
    }
}

void single_file_run(Prompts& wn)
{
    start_library_run();
    build_logname();
    open_log();
    create_repllist();
    // Overwritten from the start by whatever the check writes; stays when it writes nothing.
    write_log("no alterations\n");
    if (LOG) {
        LOG->rewind();
    }
    readposerfile(file, wn);
    close_log();
    if (!run_stop::requested()) {
        closing_steps(wn);
    }
}

void folder_run(Prompts& wn)
{
    start_library_run();
    build_logname();
    create_repllist();
    open_log();
    searchdir(file, wn);
    close_log();
    // A stopped run ends here: its log holds what was done, and nobody is asked anything.
    if (run_stop::requested()) {
        return;
    }
    wn.information(Owner::none, logname, "searchdir finished, my log is on this file");
    closing_steps(wn);
}

void check_file(Prompts& wn)
{
    if (wn.GetFileName(Owner::main, file, posername, "file to check?", filterCR2etc, ChooserMode::open) == 0) {
        return;
    }
    single_file_run(wn);
}

// The user names a folder by naming any file in it, existing or not, or the folder itself.
void check_folder(Prompts& wn)
{
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
