#include "fuzz/line_model.h"

#include <cstdio>
#include <cstdlib>

namespace model {

std::vector<std::string> lines_of(std::string_view bytes)
{
    std::size_t end = bytes.find('\x1a');
    if (end != std::string_view::npos) {
        bytes = bytes.substr(0, end);
    }
    std::vector<std::string> lines(1);
    for (char c : bytes) {
        if (c == '\r') {
            continue;
        }
        if (c == '\n') {
            lines.emplace_back();
        } else {
            lines.back() += c;
        }
    }
    if (lines.back().empty()) {
        lines.pop_back();
    }
    return lines;
}

std::string trimmed(std::string_view line)
{
    std::string t(line);
    if (!t.empty() && t.back() == '\n') {
        t.pop_back();
    }
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) {
        t.pop_back();
    }
    return t;
}

bool is_reference(std::string_view t)
{
    if (t.size() < 4) {
        return false;
    }
    std::string tail(t.substr(t.size() - 4));
    for (char& c : tail) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + ('a' - 'A'));
        }
    }
    return tail == ".obj";
}

Found marker_of(std::string_view t)
{
    struct Text {
        std::string_view text;
        Kind kind;
    };
    const Text markers[] = {{" :", Kind::colon}, {"\t:", Kind::colon}, {"0 0 ", Kind::prefix}, {"figureResFile ", Kind::prefix}};
    Found best;
    for (const Text& m : markers) {
        std::size_t at = t.rfind(m.text);
        if (at != std::string_view::npos && at + m.text.size() > best.path_start) {
            best = Found{m.kind, at + m.text.size()};
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
