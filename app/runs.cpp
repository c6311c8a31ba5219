#include "app/runs.h"

#include "engine/base/run_stop.h"
#include "engine/fsys/fsys.h"
#include "engine/repair/folder_walk.h"
#include "engine/repair/poserfile.h"
#include "engine/repair/rules.h"
#include "engine/text/refline.h"

#include <utility>

namespace {

void build_logname(Session& s)
{
    s.logname = s.rootdir;
    s.logname += fsys::k_sep;
    s.logname += k_log_file_name;
}

// A log that cannot be created leaves LOG absent: the run goes on without log lines. The log
// is the program's own file: a link of its name (as a zip unpacked into the start folder may
// bring) or a pipe is taken away, never written through, and the new log made where it stood.
void open_log(Session& s)
{
    fsys::FileSystem& fs = s.run.fs();
    s.run.LOG.reset();
    const fsys::NameKind kind = fs.name_kind(s.logname);
    const bool planted = kind == fsys::NameKind::link || kind == fsys::NameKind::other;
    // A junction is a folder to Windows: it goes as one, never what it leads to.
    if (planted && !fs.remove_file(s.logname) && !(kind == fsys::NameKind::link && fs.remove_folder(s.logname))) {
        s.run.note("the run log " + s.logname + " is a link or no plain file, which I do not write through: this run has no log");
        return;
    }
    auto log = std::make_unique<TextWriter>();
    if (log->open(fs, s.logname, planted ? fsys::Create::exclusive : fsys::Create::truncate)) {
        s.run.LOG = std::move(log);
    }
}

void close_log(Session& s)
{
    if (s.run.LOG) {
        s.run.LOG->close();
    }
    s.run.LOG.reset();
}

// The next chooser proposes the log's bare name; then the user may look at the log.
void closing_steps(Session& s, Prompts& wn)
{
    std::string name = s.logname;
    int cut = dellocalname(name);
    s.file = cut > 0 ? s.logname.substr(static_cast<std::size_t>(cut) + 1) : s.logname;
    if (wn.question(Owner::none, s.dialogue->closing_body(s), "do you want to see my log for this run?") && s.log_viewer) {
        s.log_viewer(s.logname);
    }
}

void start_run(Session& s)
{
    s.run.start();
    ++s.runs_started;
}

// After the engine: a run the Cancel button stopped goes on to its closing steps, saying so;
// one stopped by a close or an interrupt ends there. False for the latter.
bool ran_to_its_end(Session& s)
{
    if (s.cancelled) {
        s.cancelled = false;
        s.run.tally.stopped = true;
        run_stop::clear();
    }
    return !run_stop::requested();
}

// Rules with a summary end their log with it. `nothing_logged`: a single file's log still
// reads "no alterations", which the summary must follow, not overwrite.
void log_summary(Session& s, bool nothing_logged)
{
    const std::string summary = s.run.rules().summary(s.run.tally);
    if (summary.empty()) {
        return;
    }
    if (nothing_logged) {
        s.run.write_log("no alterations\n");
    }
    s.run.write_log(summary + "\n");
}

void single_file_run(Session& s, Prompts& wn)
{
    start_run(s);
    build_logname(s);
    open_log(s);
    s.run.create_repllist();
    // Overwritten from the start by whatever the check writes; stays when it writes nothing.
    s.run.write_log("no alterations\n");
    if (s.run.LOG) {
        s.run.LOG->rewind();
    }
    const unsigned long long logged_before = s.run.log_writes();
    s.run.tally.total = 1;
    s.run.rules().repair(s.run, s.file, wn, fsys::Listed::unknown);
    const bool go_on = ran_to_its_end(s);
    if (go_on) {
        log_summary(s, s.run.log_writes() == logged_before);
    }
    close_log(s);
    if (go_on) {
        closing_steps(s, wn);
    }
}

void folder_run(Session& s, Prompts& wn)
{
    start_run(s);
    build_logname(s);
    s.run.create_repllist();
    open_log(s);
    searchdir(s.run, s.file, wn);
    const bool go_on = ran_to_its_end(s);
    if (go_on) {
        log_summary(s, false);
    }
    close_log(s);
    // A stopped run ends here: its log holds what was done, and nobody is asked anything.
    if (!go_on) {
        return;
    }
    // Only a run the Cancel button (or a close) stopped ends short of its folder's end.
    wn.information(Owner::none, s.logname,
                   s.run.tally.stopped ? "the run stopped before its end, my log is on this file"
                                       : "searchdir finished, my log is on this file");
    closing_steps(s, wn);
}

}  // namespace

bool Dialogue::choose_file(Session& s, Prompts& wn) const
{
    return wn.GetFileName(Owner::main, s.file, s.run.posername, "file to check?", filterCR2etc, ChooserMode::open) != 0;
}

// The user names a folder by naming any file in it, existing or not, or the folder itself.
bool Dialogue::choose_folder(Session& s, Prompts& wn) const
{
    if (wn.GetFileName(Owner::main, s.file, s.run.posername, "find any file in the folder to be checked", filterall,
                       ChooserMode::save) == 0) {
        return false;
    }
    if (!is_dir(s.run.fs(), s.file) && dellocalname(s.file) == 0) {
        wn.warning(Owner::none, s.file, "this is not a valid filename");
        return false;
    }
    return true;
}

std::string Dialogue::closing_body(const Session& s) const
{
    return s.logname;
}

void Dialogue::show_help(const Session&, Prompts& wn) const
{
    wn.information(Owner::none, k_help_text, "");
}

void set_rootdir_to_current_folder(Session& session)
{
    session.rootdir = session.run.fs().current_folder();
}

void cancel_run(Session& session)
{
    if (!session.run_in_progress) {
        return;
    }
    session.cancelled = true;
    run_stop::request();
}

BusyGuard::BusyGuard(Session& session) : m_session(session), m_outer(session.run_in_progress)
{
    session.run_in_progress = true;
}

BusyGuard::~BusyGuard()
{
    m_session.run_in_progress = m_outer;
}

AfterCommand menu_command(Session& session, int command, Prompts& wn)
{
    // Help starts no run: it shows while one goes too.
    if (command == k_help) {
        session.dialogue->show_help(session, wn);
        return AfterCommand::go_on;
    }
    // Runs share the log, the replacement list and the target: a second one must wait.
    if (session.run_in_progress) {
        return AfterCommand::go_on;
    }
    switch (command) {
    case k_check_file: {
        BusyGuard busy(session);
        if (session.dialogue->choose_file(session, wn)) {
            single_file_run(session, wn);
        }
        break;
    }
    case k_check_folder: {
        BusyGuard busy(session);
        if (session.dialogue->choose_folder(session, wn)) {
            folder_run(session, wn);
        }
        break;
    }
    case k_exit:
        session.run.release_repllist();
        return AfterCommand::close_main_window;
    default:
        break;
    }
    return AfterCommand::go_on;
}

void handle_drop(Session& session, const std::vector<std::string>& paths, Prompts& wn)
{
    if (session.run_in_progress) {
        return;
    }
    if (paths.size() != 1) {
        wn.warning(Owner::main, "one file at a time please", "drag-and-drop");
        return;
    }
    BusyGuard busy(session);
    session.file = paths.front();
    if (is_dir(session.run.fs(), session.file)) {
        folder_run(session, wn);
    } else if (session.run.rules().walk_policy().is_document_name(session.file)) {
        single_file_run(session, wn);
    } else {
        wn.warning(Owner::none, session.file, "I can't handle this sort of file");
    }
}
