#include "cli/interrupt.h"

#include "engine/base/run_stop.h"
#include "engine/repair/unfinished_copy.h"

#include <windows.h>

#include <atomic>

namespace interrupt {
namespace {

std::atomic<int> g_status{0};  // what the first interrupt asks for, 0 before it
HANDLE g_main_thread = nullptr;
// Guards `g_answer_waiting`, and is held while the wait is cut short, so that nothing but a
// prompt's wait for its answer is ever cancelled.
SRWLOCK g_wait_lock = SRWLOCK_INIT;
bool g_answer_waiting = false;

int status_for(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        return 128 + 2;  // as an interrupt from the keyboard elsewhere
    case CTRL_CLOSE_EVENT:
        return 128 + 1;  // as a closed terminal
    default:
        return 128 + 15;  // logoff or shutdown: as a request to stop
    }
}

// True while a prompt still waits for its answer.
bool cut_answer_wait_short()
{
    AcquireSRWLockExclusive(&g_wait_lock);
    const bool waiting = g_answer_waiting;
    if (waiting) {
        CancelSynchronousIo(g_main_thread);
    }
    ReleaseSRWLockExclusive(&g_wait_lock);
    return waiting;
}

void leave_at_once()
{
    // A copy left half written under the backup name would pass for the old version.
    unfinished_copy::remove_now();
    static const char k_note[] = "interrupted again: stopped at once\r\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), k_note, sizeof k_note - 1, &written, nullptr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(g_status.load()));
}

// Windows calls this on a thread of its own, beside the program's flow.
BOOL WINAPI on_console_event(DWORD event)
{
    int none = 0;
    if (g_status.compare_exchange_strong(none, status_for(event))) {
        run_stop::request();
        // The prompt may have checked for a stop just before it began to read: cut the
        // wait short again until it is over.
        while (cut_answer_wait_short()) {
            Sleep(10);
        }
    } else if (run_stop::claim_exit()) {
        leave_at_once();
    }
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        return TRUE;
    }
    // For any other event Windows ends the process as soon as this returns: the program
    // must first end in its own flow, which ends this thread too.
    Sleep(INFINITE);
    return TRUE;
}

}  // namespace

void install()
{
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &g_main_thread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

int status()
{
    return g_status.load();
}

void end_as_interrupted() {}

AnswerWait::AnswerWait()
{
    AcquireSRWLockExclusive(&g_wait_lock);
    g_answer_waiting = true;
    ReleaseSRWLockExclusive(&g_wait_lock);
}

AnswerWait::~AnswerWait()
{
    AcquireSRWLockExclusive(&g_wait_lock);
    g_answer_waiting = false;
    ReleaseSRWLockExclusive(&g_wait_lock);
}

}  // namespace interrupt
