#include "engine/unfinished_copy.h"

#include "engine/run_stop.h"

#include <atomic>
#include <cstring>

namespace unfinished_copy {
namespace {

// The copy an exit that cannot wait must delete: a signal handler reaches it, so it is kept
// here, in storage a handler may touch. No system opens a longer path, so a copy never goes
// unrecorded for want of room.
char g_path[4097];
std::atomic<bool> g_recorded{false};

static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler may only touch lock-free atomics");

void record(const std::string& path)
{
    if (path.size() < sizeof g_path) {
        std::memcpy(g_path, path.c_str(), path.size() + 1);
        g_recorded.store(true);
    }
}

}  // namespace

bool create(TextWriter& out, fsys::FileSystem& fs, const std::string& path, fsys::Create mode, Gzip gzip)
{
    // An exit that cannot wait is held off meanwhile, as during the renames of a repair.
    run_stop::RenamesInProgress creating;
    const bool opened = out.open(fs, path, mode, gzip);
    if (opened && mode == fsys::Create::exclusive) {
        record(path);
    }
    return opened;
}

void forget()
{
    g_recorded.store(false);
}

bool remove(fsys::FileSystem& fs, const std::string& path)
{
    run_stop::RenamesInProgress removing;
    forget();
    return fs.remove_file(path);
}

void remove_now()
{
    if (g_recorded.exchange(false)) {
        fsys::remove_file_at_once(g_path);
    }
}

}  // namespace unfinished_copy
