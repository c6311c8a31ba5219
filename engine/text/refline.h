// The rules for the lines of a Poser file that point to an OBJ geometry file, and the path
// conversions between Poser notation (colons, relative to the Poser root) and disk paths.
// Pure text: every rule takes the path style, so both are testable on any machine.
#pragma once

#include "engine/base/ascii.h"
#include "engine/base/path_style.h"

#include <cstddef>
#include <string>
#include <string_view>

// True when `text` ends in ".obj" (or, with `obz`, also ".obz"), letters in any case: the name
// of a geometry file. The program's one test of a geometry name.
inline bool ends_in_geometry_name(std::string_view text, bool obz = true)
{
    const std::size_t n = text.size();
    if (n < 4 || text[n - 4] != '.' || ascii_lower(text[n - 3]) != 'o' || ascii_lower(text[n - 2]) != 'b') {
        return false;
    }
    const char last = ascii_lower(text[n - 1]);
    return last == 'j' || (obz && last == 'z');
}

// The line without one trailing line feed and without the blanks and tabs before it.
// Inline, with is_reference_line: both run for every line of every file.
inline std::string_view trim_line(std::string_view line)
{
    std::size_t n = line.size();
    if (n > 0 && line[n - 1] == '\n') {
        --n;
    }
    while (n > 0 && (line[n - 1] == ' ' || line[n - 1] == '\t')) {
        --n;
    }
    return line.substr(0, n);
}

// A trimmed line is a reference line when it ends in ".obj", letters in any case.
inline bool is_reference_line(std::string_view trimmed)
{
    return ends_in_geometry_name(trimmed, false);
}

enum class MarkerKind { none, colon, prefix };
struct Marker {
    MarkerKind kind = MarkerKind::none;
    std::size_t path_start = 0;  // where the Poser path begins; 0 when no marker was found
};
// The marker that ends furthest to the right: " :" or "\t:" (colon markers), "0 0 " or
// "figureResFile " (prefix markers), compared exactly.
Marker find_marker(std::string_view trimmed);

// The disk path of a Poser path: the root, one separator, then the Poser path with its
// colons (and on POSIX its backslashes) turned into separators.
void build_disk_path(std::string_view root, std::string_view poser_path, PathStyle style, std::string& out);
// The Poser path written into a corrected line: the disk path with every separator turned
// into a colon, less as many leading characters as the root has.
std::string written_poser_path(std::string_view disk_path, std::size_t root_length, PathStyle style);

// True when `path` lies inside `root`: it begins with the root and a separator (on Windows
// letters compared without regard to case).
bool is_inside_root(std::string_view path, std::string_view root, PathStyle style);

// Cuts `file` at its last separator and returns that position; 0 (and no change) when
// there is none or the only one is the first character.
int dellocalname(std::string& file, PathStyle style = k_native_style);
