#include "engine/existence.h"

#include "engine/fsys.h"

#include <unordered_map>

namespace {

// A library holds thousands of files that point to the same few hundred geometry files.
constexpr std::size_t k_max_remembered = 65536;

struct Remembered {
    const Prompts* prompts = nullptr;
    unsigned long long prompts_shown = 0;
    std::unordered_map<std::string, bool> exists;
};

Remembered& remembered()
{
    static Remembered r;
    return r;
}

// The remembered answers, forgotten first when a prompt has been shown since.
Remembered& remembered_for(const Prompts& wn)
{
    Remembered& r = remembered();
    if (r.prompts != &wn || r.prompts_shown != wn.prompts_shown() || r.exists.size() >= k_max_remembered) {
        r.exists.clear();
        r.prompts = &wn;
        r.prompts_shown = wn.prompts_shown();
    }
    return r;
}

}  // namespace

bool reference_exists(const std::string& disk_path, const Prompts& wn)
{
    Remembered& r = remembered_for(wn);
    auto found = r.exists.find(disk_path);
    if (found != r.exists.end()) {
        return found->second;
    }
    bool exists = fsys::is_readable_file(disk_path);
    r.exists.emplace(disk_path, exists);
    return exists;
}

void forget_existence()
{
    remembered().exists.clear();
}
