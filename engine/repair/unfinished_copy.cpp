#include "engine/repair/unfinished_copy.h"

#include "engine/base/run_stop.h"

#include <atomic>
#include <cstring>

namespace unfinished_copy {
namespace {

// The copies an exit that cannot wait must delete: a signal handler reaches them, so they are
// kept here, in storage a handler may touch. No system opens a longer path, so a copy never
// goes unrecorded for want of room in its slot.
constexpr int k_slots = k_most_recorded;
char g_paths[k_slots][4097];
// Several threads create copies at once: a slot is claimed before its path is written, and
// counts as recorded only once the path is whole.
enum : int { k_free = 0, k_filling = 1, k_recorded = 2 };
std::atomic<int> g_state[k_slots];

static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only touch lock-free atomics");

void record(const std::string& path)
{
    for (int k = 0; k < k_slots && path.size() < sizeof g_paths[k]; ++k) {
        int free = k_free;
        if (g_state[k].compare_exchange_strong(free, k_filling)) {
            std::memcpy(g_paths[k], path.c_str(), path.size() + 1);
            g_state[k].store(k_recorded);
            return;
        }
    }
}

// Opens `path` with `open`, recording it when it is created anew (`mode`). An exit that cannot
// wait is held off meanwhile, as during the renames of a repair, so that it finds the copy
// either not yet made or recorded.
template <class Open>
bool open_recorded(const std::string& path, fsys::Create mode, Open open)
{
    run_stop::RenamesInProgress creating;
    const bool opened = open();
    if (opened && mode == fsys::Create::exclusive) {
        record(path);
    }
    return opened;
}

}  // namespace

bool create_file(fsys::FileSystem& fs, const std::string& path, fsys::RawFile& f)
{
    const fsys::Create mode = fsys::Create::exclusive;
    return open_recorded(path, mode, [&] { return fs.open_for_writing(path, mode, f); });
}

bool create(TextWriter& out, fsys::FileSystem& fs, const std::string& path, fsys::Create mode, Gzip gzip)
{
    return open_recorded(path, mode, [&] { return out.open(fs, path, mode, gzip); });
}

void forget(const std::string& path)
{
    for (int k = 0; k < k_slots; ++k) {
        if (g_state[k].load() == k_recorded && path == g_paths[k]) {
            g_state[k].store(k_free);
        }
    }
}

bool remove(fsys::FileSystem& fs, const std::string& path)
{
    run_stop::RenamesInProgress removing;
    forget(path);
    return fs.remove_file(path);
}

void remove_now()
{
    for (int k = 0; k < k_slots; ++k) {
        int recorded = k_recorded;
        if (g_state[k].compare_exchange_strong(recorded, k_free)) {
            fsys::remove_file_at_once(g_paths[k]);
        }
    }
}

}  // namespace unfinished_copy
