// The names Windows will not make or look up as files of a folder: its device names, and the
// bytes it refuses in a name. The disk in memory follows them with Windows rules, and an
// install refuses a product that would need one.
#pragma once

#include "engine/base/ascii.h"

#include <cstring>
#include <string_view>

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name the device in every folder, whatever the
// extension ("nul.cr2") and with blanks before it ("CON .txt").
inline bool is_windows_device_name(std::string_view name)
{
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') {
        base.remove_suffix(1);
    }
    for (const char* device : {"con", "prn", "aux", "nul"}) {
        if (equals_ignoring_case(base, device)) {
            return true;
        }
    }
    return base.size() == 4 && (equals_ignoring_case(base.substr(0, 3), "com") || equals_ignoring_case(base.substr(0, 3), "lpt")) &&
           base[3] >= '1' && base[3] <= '9';
}

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
