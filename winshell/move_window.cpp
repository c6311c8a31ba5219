#include "winshell/move_window.h"

#include "app/move_command.h"
#include "app/window_options.h"
#include "engine/base/run_stop.h"
#include "engine/fsys/fsys.h"
#include "engine/library/content_paths.h"
#include "winshell/program.h"
#include "winshell/progress_panel.h"

#include <atomic>
#include <ctime>
#include <memory>
#include <thread>

#ifndef TARNWICK_VERSION
#define TARNWICK_VERSION "unknown"
#endif

namespace {

constexpr const char* k_caption = "move a folder and keep what uses it";

// What the worker thread does for the window: the plan, then the move.
struct MoveWork {
    std::thread worker;
    std::unique_ptr<BusyGuard> busy;
    std::atomic<long long> done{0};
    std::atomic<long long> total{0};
    std::atomic<bool> moving{false};  // the files being moved, not the documents rewritten
    bool planned = false;             // the plan is made: the worker now moves
    bool cancelled = false;
    MoveRequest request;
    MovePlan plan;  // the worker's, read once it has been joined
    bool plan_made = false;
    std::string reason;
    MoveRunResult result;
};

std::unique_ptr<MoveWork> g_move;

void post_progress(HWND wn, MoveWork* work, bool moving, long long done, long long total)
{
    work->moving = moving;
    work->done = done;
    work->total = total;
    PostMessageA(wn, k_move_progress_message, 0, 0);
}

// Where the folder goes: the place picked, which the picker lets the user name anew, or below a
// folder picked that holds something already, under the folder's own name.
std::string place_for(const std::string& source, const std::string& picked)
{
    fsys::FileSystem& fs = main_session().run.fs();
    std::vector<fsys::FolderEntry> entries;
    const bool holds_something = fs.is_folder(picked) && fs.list_folder_entries(picked, entries) && !entries.empty();
    return holds_something ? child_path(picked, name_of(fs.absolute_path(source))) : picked;
}

void start_moving(HWND wn, MoveWork* work)
{
    work->planned = true;
    work->done = 0;
    fsys::FileSystem* const disk = &main_session().run.fs();
    work->worker = std::thread([=] {
        work->result = move_with_run_folders(*disk, work->plan, work->request.roots, TARNWICK_VERSION, std::time(nullptr),
                                             [=](bool moving, long long done, long long total) {
                                                 post_progress(wn, work, moving, done, total);
                                             });
        PostMessageA(wn, k_move_done_message, 0, 0);
    });
}

// What came of the move, for its message and the idle window.
std::string outcome_of(const MoveWork& w)
{
    if (w.result.status != k_move_failed) {
        return move_summary(w.plan, w.result);
    }
    const std::string what = w.cancelled ? "the move was cancelled" : move_summary(w.plan, w.result);
    return what + (w.result.left.empty() ? ": everything is as it was"
                                         : "; not all of it could be taken back: \"undo\" in the window menu finishes it");
}

// Once planned: the question with the dry run's counts, and the move on Yes.
void ask_and_move(HWND wn, Prompts& prompts, MoveWork& w)
{
    if (!w.plan_made) {
        if (!w.cancelled) {
            prompts.warning(Owner::none, w.reason, "I can't move this folder");
        }
        window_status().report_ended(w.cancelled ? "Last move: cancelled." : "Last move: refused: " + w.reason);
        g_move.reset();
        return;
    }
    if (!prompts.question(Owner::none, move_question(w.plan), k_caption)) {
        window_status().report_ended("Last move: not begun.");
        g_move.reset();
        return;
    }
    window_status().work_progress("rewriting the documents that use it...");
    show_progress_panel(wn, true);
    start_moving(wn, &w);
}

}  // namespace

void start_move(HWND wn, Prompts& prompts)
{
    (void)prompts;
    Session& session = main_session();
    std::string source = session.run.posername;
    std::string target;
    if (session.run_in_progress || !folder_picker() || folder_picker()(source, session.run.posername, "the folder to move") == 0) {
        return;
    }
    target = folder_of(source);
    if (folder_picker()(target, target, "where it goes: a new folder (New folder), or a folder to put it in") == 0) {
        return;
    }
    std::string prefs;
    std::vector<std::string> notes;
    g_move = std::make_unique<MoveWork>();
    MoveWork* work = g_move.get();
    work->busy = std::make_unique<BusyGuard>(session);
    work->request = MoveRequest{source, place_for(source, target), window_content_roots(session.run, prefs, notes)};
    window_status().work_started("Moving " + source + " to " + work->request.target);
    show_progress_panel(wn, true);
    fsys::FileSystem* const disk = &session.run.fs();
    work->worker = std::thread([=] {
        work->plan_made = plan_move(*disk, work->request, work->plan, work->reason,
                                    [=](long long done, long long total) { post_progress(wn, work, false, done, total); });
        PostMessageA(wn, k_move_done_message, 0, 0);
    });
}

bool move_running()
{
    return g_move != nullptr;
}

void cancel_move()
{
    if (g_move != nullptr) {
        g_move->cancelled = true;
        run_stop::request();
    }
}

void show_move_progress(HWND wn)
{
    if (g_move == nullptr) {
        return;
    }
    const long long done = g_move->done;
    const long long total = g_move->total;
    const char* what = !g_move->planned ? " documents read" : g_move->moving ? " files moved" : " documents rewritten";
    window_status().work_progress(std::to_string(done) + " of " + std::to_string(total) + what);
    set_progress(total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 0.0);
    repaint_status(wn);
}

void finish_move_step(HWND wn, Prompts& prompts, bool closing)
{
    if (g_move == nullptr) {
        return;
    }
    g_move->worker.join();
    hide_progress_panel(wn);
    if (closing) {
        g_move.reset();
        return;
    }
    // The stop was the Cancel button's alone: what comes next must not see it.
    run_stop::clear();
    if (!g_move->planned) {
        ask_and_move(wn, prompts, *g_move);
    } else {
        const std::string text = outcome_of(*g_move);
        g_move.reset();
        window_status().report_ended("Last move: " + text);
        prompts.information(Owner::none, text, k_caption);
    }
    repaint_status(wn);
}
