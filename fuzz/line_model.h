// A plain second statement of the line rules, written without the engine's code, that the fuzz targets hold the
// engine against. The lines a file holds are those of poser_lines (tests/files.h).
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace model {

inline std::string trimmed(std::string_view line)
{
    std::string t(line.substr(0, line.size() - (!line.empty() && line.back() == '\n')));
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) {
        t.pop_back();
    }
    return t;
}

inline bool is_reference(std::string_view t)
{
    std::string tail(t.substr(t.size() < 4 ? 0 : t.size() - 4));
    std::transform(tail.begin(), tail.end(), tail.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; });
    return tail == ".obj";
}

enum class Kind { none, colon, prefix };
struct Found {
    Kind kind = Kind::none;
    std::size_t path_start = 0;
};
// The marker that ends furthest to the right, each marker text searched for from the end of the line.
inline Found marker_of(std::string_view t)
{
    Found best;
    for (std::string_view m : {" :", "\t:", "0 0 ", "figureResFile "}) {
        std::size_t at = t.rfind(m);
        if (at != std::string_view::npos && at + m.size() > best.path_start) {
            best = Found{m.back() == ':' ? Kind::colon : Kind::prefix, at + m.size()};
        }
    }
    return best;
}

// The Poser path as a corrected line carries it: a colon, then the path with each separator of the style made a colon.
inline std::string written_path(std::string_view poser_path, bool windows)
{
    std::string out = ":";
    for (char c : poser_path) {
        out += c == ':' || c == '\\' || (!windows && c == '/') ? ':' : c;
    }
    return out;
}

// Stops the fuzz run with a message: a failed check is a finding.
[[noreturn]] inline void fail(const std::string& what, std::string_view input)
{
    std::fprintf(stderr, "model check failed: %s (input of %zu bytes)\n", what.c_str(), input.size());
    std::abort();
}

}  // namespace model

#define MODEL_CHECK(cond, what, input)      \
    do {                                    \
        if (!(cond)) {                      \
            ::model::fail((what), (input)); \
        }                                   \
    } while (0)
