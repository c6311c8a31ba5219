#include "engine/run_stop.h"

#include <atomic>

namespace run_stop {
namespace {

std::atomic<bool> g_requested{false};

// 0: no renames; 1: renames under way; 2: renames under way and an exit waits for them.
enum : int { k_idle = 0, k_renaming = 1, k_exit_waiting = 2 };
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

RenamesInProgress::RenamesInProgress()
{
    g_renames.store(k_renaming);
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
