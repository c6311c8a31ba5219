// How the names of a path are separated: on this system, on the other one, and inside a Poser
// document. Pure text, for every layer from the disks up.
#pragma once

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
