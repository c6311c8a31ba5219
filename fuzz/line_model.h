// A plain second statement of the line rules, written without the engine's code, that the
// fuzz targets hold the engine against; and the files the targets work in.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace model {

// The lines a Poser file holds: the data ends at the first Ctrl-Z, every carriage return
// is dropped, lines end at line feeds, and a last line without one counts when not empty.
std::vector<std::string> lines_of(std::string_view bytes);

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

// A private folder for one fuzzing process, made on first use and removed at its end.
const std::string& fuzz_folder();
// Writes `bytes` to `path` exactly; stops the run when the disk refuses.
void write_exactly(const std::string& path, const std::string& bytes);
std::string read_exactly(const std::string& path);

#define MODEL_CHECK(cond, what, input)      \
    do {                                    \
        if (!(cond)) {                      \
            ::model::fail((what), (input)); \
        }                                   \
    } while (0)
