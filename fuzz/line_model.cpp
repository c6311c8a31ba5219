#include "fuzz/line_model.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace model {

std::vector<std::string> lines_of(std::string_view bytes)
{
    std::vector<std::string> lines(1);
    for (char c : bytes.substr(0, bytes.find('\x1a'))) {
        if (c == '\n') {
            lines.emplace_back();
        } else if (c != '\r') {
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

const std::string& fuzz_folder()
{
    static const std::string folder = [] {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/tarnwick-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        return pattern;
    }();
    // Registered once the folder's name exists, so that it is removed before the name is.
    static const bool removed_at_exit = std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(fuzz_folder(), ec);
    }) == 0;
    (void)removed_at_exit;
    return folder;
}

void write_exactly(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    if (!out) {
        model::fail("cannot write " + path, bytes);
    }
}

std::string read_exactly(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return in ? s.str() : "<missing>";
}
