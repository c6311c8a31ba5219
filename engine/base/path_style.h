// How the names of a path are separated: on this system, on the other one, and inside a Poser
// document. Pure text, for every layer from the disks up.
#pragma once

#include "engine/base/ascii.h"

#include <algorithm>
#include <string>
#include <string_view>

// Windows paths use backslashes and keep forward slashes as they are; POSIX paths use '/'
// and treat a backslash in a Poser path as one more folder separator. A Poser path inside a
// document may separate its names by ':', '\\' or '/'.
enum class PathStyle { windows, posix, poser };
#ifdef _WIN32
inline constexpr PathStyle k_native_style = PathStyle::windows;
#else
inline constexpr PathStyle k_native_style = PathStyle::posix;
#endif

// The separator a path of the style is written with.
constexpr char separator(PathStyle style)
{
    return style == PathStyle::windows ? '\\' : style == PathStyle::poser ? ':' : '/';
}

// True when `c` separates names in a path of the style: '/' on POSIX; '\\' and '/' as Windows
// itself reads a path; ':', '\\' and '/' in a Poser path. The program's one separator test.
constexpr bool is_separator(char c, PathStyle style)
{
    return c == '/' || (style != PathStyle::posix && c == '\\') || (style == PathStyle::poser && c == ':');
}

// Where the last separator of the style lies in `path`; npos when it has none. The name after
// it is the path's last name.
constexpr std::size_t last_separator(std::string_view path, PathStyle style)
{
    for (std::size_t k = path.size(); k > 0; --k) {
        if (is_separator(path[k - 1], style)) {
            return k - 1;
        }
    }
    return std::string_view::npos;
}

// True when `path` begins with a drive: a letter and a colon ("C:"), as Windows writes one.
constexpr bool starts_with_drive(std::string_view path)
{
    return path.size() >= 2 && path[1] == ':' && ((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z'));
}

// True when `path` is a drive alone ("C:"), which Windows reads as the current folder of that
// drive, where the program means its top folder.
constexpr bool is_bare_drive(std::string_view path)
{
    return path.size() == 2 && starts_with_drive(path);
}

// True for a name Windows reads as a device in every folder, whatever follows its first dot:
// CON, PRN, AUX, NUL, CONIN$, CONOUT$, and COM or LPT with a digit (0-9, or a superscript
// 1, 2 or 3), letter case and blanks before the dot ignored.
inline bool is_windows_device_name(std::string_view name)
{
    // Read for every name of every path a document holds: most are passed by their first letter.
    const char first = name.empty() ? '\0' : ascii_lower(name[0]);
    if (first != 'c' && first != 'p' && first != 'a' && first != 'n' && first != 'l') {
        return false;
    }
    std::string base = lower_ascii(name.substr(0, name.find('.')));
    while (!base.empty() && base.back() == ' ') {
        base.pop_back();
    }
    if (base == "con" || base == "prn" || base == "aux" || base == "nul" || base == "conin$" || base == "conout$") {
        return true;
    }
    const std::string_view digit = std::string_view(base).substr(std::min<std::size_t>(3, base.size()));
    const bool numbered = digit.size() == 1 ? digit[0] >= '0' && digit[0] <= '9'
                                            : digit == "\xc2\xb9" || digit == "\xc2\xb2" || digit == "\xc2\xb3";
    return (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) && numbered;
}
