// The names Windows will not make or look up as files of a folder: its device names (in
// path_style.h, beside the boundary's other tests), and the bytes it refuses in a name. The
// disk in memory follows them with Windows rules, and an install refuses a product that would
// need one.
#pragma once

#include "engine/base/path_style.h"  // is_windows_device_name

#include <cstring>
#include <string_view>

// True when `name` holds none of the bytes Windows refuses in a name: control characters and
// <>:"|?*.
inline bool is_windows_name(std::string_view name)
{
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 32 || std::strchr("<>:\"|?*", c) != nullptr) {
            return false;
        }
    }
    return true;
}
