// A plain second statement of the line rules, written without the engine's code, that the
// fuzz targets hold the engine against. The lines a file holds are those of poser_lines
// (tests/files.h).
#pragma once

#include <string>
#include <string_view>

namespace model {

std::string trimmed(std::string_view line);
bool is_reference(std::string_view trimmed_line);

enum class Kind { none, colon, prefix };
struct Found {
    Kind kind = Kind::none;
    std::size_t path_start = 0;
};
// The marker that ends furthest to the right, found by searching each marker text from the
// end of the line.
Found marker_of(std::string_view trimmed_line);

// The Poser path in colon notation, as a corrected line carries it after its prefix: a
// colon, then the path with every folder separator of the platform made a colon.
std::string written_path(std::string_view poser_path, bool windows);

// Stops the fuzz run with a message: a failed check is a finding.
[[noreturn]] void fail(const std::string& what, std::string_view input);

}  // namespace model

#define MODEL_CHECK(cond, what, input)      \
    do {                                    \
        if (!(cond)) {                      \
            ::model::fail((what), (input)); \
        }                                   \
    } while (0)
