#include "engine/base/run_stop.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace run_stop {
namespace {

// Asked for from signal handlers and other threads, so kept where they reach it.
std::atomic<bool> g_requested{false};

// How many threads are inside steps an exit must not fall inside (the flush threads create
// copies while the main thread renames); or the program is ending and none may begin.
enum : int { k_idle = 0, k_leaving = -1 };
std::atomic<int> g_renames{k_idle};

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

bool claim_exit()
{
    int state = k_idle;
    return g_renames.compare_exchange_strong(state, k_leaving) || state == k_leaving;
}

RenamesInProgress::RenamesInProgress()
{
    int state = g_renames.load();
    while (state == k_leaving || !g_renames.compare_exchange_weak(state, state + 1)) {
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
    g_renames.fetch_sub(1);
}

}  // namespace run_stop
