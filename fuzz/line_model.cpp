#include "fuzz/line_model.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace model {

std::string trimmed(std::string_view line)
{
    std::string t(line.substr(0, line.size() - (!line.empty() && line.back() == '\n')));
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) {
        t.pop_back();
    }
    return t;
}

bool is_reference(std::string_view t)
{
    std::string tail(t.substr(t.size() < 4 ? 0 : t.size() - 4));
    std::transform(tail.begin(), tail.end(), tail.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; });
    return tail == ".obj";
}

Found marker_of(std::string_view t)
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

std::string written_path(std::string_view poser_path, bool windows)
{
    std::string out = ":";
    for (char c : poser_path) {
        bool separator = c == ':' || c == '\\' || (!windows && c == '/');
        out += separator ? ':' : c;
    }
    return out;
}

void fail(const std::string& what, std::string_view input)
{
    std::fprintf(stderr, "model check failed: %s (input of %zu bytes)\n", what.c_str(), input.size());
    std::abort();
}

}  // namespace model
