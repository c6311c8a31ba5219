#include "cli/interrupt.h"

#include "engine/base/run_stop.h"
#include "engine/repair/unfinished_copy.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace interrupt {
namespace {

constexpr int k_signals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t g_signal = 0;  // the first interrupt's signal, 0 before it
int g_null_input = -1;

// Ends the program by `signal` as if it had never been caught. Safe in a signal handler.
void die_by(int signal)
{
    struct sigaction default_action = {};
    default_action.sa_handler = SIG_DFL;
    sigemptyset(&default_action.sa_mask);
    sigaction(signal, &default_action, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
}

void on_interrupt(int signal)
{
    const int saved_errno = errno;
    if (g_signal == 0) {
        g_signal = signal;
        run_stop::request();
        // A read of standard input that this signal broke off is restarted when the handler
        // returns; it, and every later one, then meets the end of input, so the waiting
        // prompt answers as if cancelled.
        if (g_null_input >= 0) {
            dup2(g_null_input, STDIN_FILENO);
        }
    } else if (run_stop::claim_exit()) {
        // A copy left half written under the backup name would pass for the old version.
        unfinished_copy::remove_now();
        static const char k_note[] = "interrupted again: stopped at once\n";
        ssize_t written = write(STDERR_FILENO, k_note, sizeof k_note - 1);
        (void)written;
        die_by(g_signal);
        _exit(128 + g_signal);
    }
    errno = saved_errno;
}

}  // namespace

void install()
{
    g_null_input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    struct sigaction action = {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    for (int s : k_signals) {
        sigaddset(&action.sa_mask, s);
    }
    // Every other call goes on as if nothing had come: only the waiting read must end.
    action.sa_flags = SA_RESTART;
    for (int s : k_signals) {
        struct sigaction before = {};
        if (sigaction(s, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) {
            sigaction(s, &action, nullptr);
        }
    }
}

int status()
{
    return g_signal == 0 ? 0 : 128 + g_signal;
}

void end_as_interrupted()
{
    if (g_signal != 0) {
        std::fflush(nullptr);
        die_by(g_signal);
    }
}

// Nothing to mark: once interrupted, every read of standard input ends by itself.
AnswerWait::AnswerWait() = default;
AnswerWait::~AnswerWait() = default;

}  // namespace interrupt
