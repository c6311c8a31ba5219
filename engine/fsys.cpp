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

}  // namespace fsys
