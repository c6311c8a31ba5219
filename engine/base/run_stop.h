// A request from outside a run to end it before its next file: an interrupt of the console
// program, or the main window being closed. It may come from a signal handler or another
// thread; the engine and the runs look at it between steps and wind the run down in their
// own flow, so that nothing is left half done.
#pragma once

namespace run_stop {

// Asks the run in progress to end. Safe in a signal handler.
void request();
bool requested();
// Forgets a request, and an exit claimed (tests, and programs that go on after a stopped run).
void clear();

// For an exit that will not wait for the end of the run. True when the steps that give a
// Poser file its new text are not under way: from then on none begins (a repair that reaches
// them waits for the exit, which may come from another thread), so the program may end at
// once. False while they are under way: the exit must wait, and the stopped run ends right
// after them. Safe in a signal handler or another thread.
bool claim_exit();

// Brackets the renames of one repair, or another step an exit must not fall inside.
class RenamesInProgress {
public:
    RenamesInProgress();
    ~RenamesInProgress();
    RenamesInProgress(const RenamesInProgress&) = delete;
    RenamesInProgress& operator=(const RenamesInProgress&) = delete;
};

}  // namespace run_stop
