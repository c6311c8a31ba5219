#include "engine/fsys.h"

#include <utility>

namespace fsys {
namespace {
FaultHook& hook()
{
    static FaultHook h;
    return h;
}
}  // namespace

void set_fault_hook(FaultHook h)
{
    hook() = std::move(h);
}

bool fault_injected(Op op, const std::string& path)
{
    return hook() && hook()(op, path);
}

bool read_whole_file(const std::string& path, std::string& text, std::size_t limit)
{
    RawFile f;
    if (!open_for_reading(path, f)) {
        return false;
    }
    char block[65536];
    long long n = 0;
    while ((n = read_some(f, block, sizeof block)) > 0 && text.size() <= limit) {
        text.append(block, static_cast<std::size_t>(n));
    }
    close_file(f);
    return n == 0 && text.size() <= limit;
}

}  // namespace fsys
