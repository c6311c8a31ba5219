#include "engine/run_stop.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace run_stop {
namespace {

std::atomic<bool> g_requested{false};

// 0: no renames; 1: renames under way; 2: renames under way and an exit waits for them;
// 3: the program is ending and no renames may begin.
enum : int { k_idle = 0, k_renaming = 1, k_exit_waiting = 2, k_leaving = 3 };
std::atomic<int> g_renames{k_idle};
std::atomic<ExitHook> g_exit_hook{nullptr};

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "a signal handler may only touch lock-free atomics");

}  // namespace

void request()
{
    g_requested.store(true);
}

bool requested()
{
    return g_requested.load(std::memory_order_relaxed);
}

void clear()
{
    g_requested.store(false);
    int leaving = k_leaving;
    g_renames.compare_exchange_strong(leaving, k_idle);
}

bool defer_exit()
{
    int expected = k_renaming;
    return g_renames.compare_exchange_strong(expected, k_exit_waiting) || expected == k_exit_waiting;
}

void set_deferred_exit_hook(ExitHook hook)
{
    g_exit_hook.store(hook);
}

bool claim_exit()
{
    for (;;) {
        int state = k_idle;
        if (g_renames.compare_exchange_strong(state, k_leaving) || state == k_leaving) {
            return true;
        }
        // The renames may have ended meanwhile: then try again from the idle state.
        if (state == k_exit_waiting || g_renames.compare_exchange_strong(state, k_exit_waiting)) {
            return false;
        }
    }
}

RenamesInProgress::RenamesInProgress()
{
    int state = g_renames.load();
    while (state == k_leaving || !g_renames.compare_exchange_weak(state, k_renaming)) {
        if (state == k_leaving) {
            // Another thread is ending the program: no rename may start, or the file would
            // be left between its old and its new name.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            state = g_renames.load();
        }
    }
}

RenamesInProgress::~RenamesInProgress()
{
    if (g_renames.exchange(k_idle) == k_exit_waiting) {
        if (ExitHook hook = g_exit_hook.load()) {
            hook();
        }
    }
}

}  // namespace run_stop
