#include "engine/text/refline.h"

#include <algorithm>
#include <array>

namespace {

struct MarkerText {
    std::string_view text;
    MarkerKind kind;
};

// Tested in this order at each position; at one position at most one can match.
constexpr std::array<MarkerText, 4> k_markers = {{
    {" :", MarkerKind::colon},
    {"\t:", MarkerKind::colon},
    {"0 0 ", MarkerKind::prefix},
    {"figureResFile ", MarkerKind::prefix},
}};

}  // namespace

Marker find_marker(std::string_view trimmed)
{
    for (std::size_t i = trimmed.size(); i >= 1; --i) {
        for (const MarkerText& m : k_markers) {
            if (i >= m.text.size() && trimmed.substr(i - m.text.size(), m.text.size()) == m.text) {
                return Marker{m.kind, i};
            }
        }
    }
    return Marker{};
}

void build_disk_path(std::string_view root, std::string_view poser_path, PathStyle style, std::string& out)
{
    const char sep = separator(style);
    out.assign(root);
    out += sep;
    std::size_t from = out.size();
    out.append(poser_path);
    for (std::size_t k = from; k < out.size(); ++k) {
        if (out[k] == ':' || (style == PathStyle::posix && out[k] == '\\')) {
            out[k] = sep;
        }
    }
}

std::string written_poser_path(std::string_view disk_path, std::size_t root_length, PathStyle style)
{
    if (root_length >= disk_path.size()) {
        return std::string();
    }
    std::string out(disk_path.substr(root_length));
    std::replace(out.begin(), out.end(), separator(style), ':');
    return out;
}

bool is_inside_root(std::string_view path, std::string_view root, PathStyle style)
{
    if (path.size() <= root.size() || path[root.size()] != separator(style)) {
        return false;
    }
    std::string_view head = path.substr(0, root.size());
    return style == PathStyle::windows ? equals_ignoring_case(head, root) : head == root;
}

int dellocalname(std::string& file, PathStyle style)
{
    std::size_t cut = file.rfind(separator(style));
    if (cut == std::string::npos || cut == 0) {
        return 0;
    }
    file.resize(cut);
    return static_cast<int>(cut);
}
