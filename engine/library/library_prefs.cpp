#include "engine/library/library_prefs.h"

#include "engine/base/path_style.h"
#include "engine/library/content_paths.h"

#include <cstdlib>

namespace {

// The text of an XML attribute value with its character references replaced.
std::string decode_entities(std::string_view v)
{
    struct Entity {
        std::string_view name;
        char c;
    };
    static constexpr Entity k_named[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    std::string out;
    for (std::size_t k = 0; k < v.size(); ++k) {
        std::size_t semi = v[k] == '&' ? v.find(';', k) : std::string_view::npos;
        if (semi == std::string_view::npos) {
            out += v[k];
            continue;
        }
        std::string_view name = v.substr(k + 1, semi - k - 1);
        bool known = false;
        for (const Entity& e : k_named) {
            if (name == e.name) {
                out += e.c;
                known = true;
            }
        }
        if (!known && name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            unsigned long code = std::strtoul(std::string(name.substr(hex ? 2 : 1)).c_str(), nullptr, hex ? 16 : 10);
            if (code > 0 && code < 256) {  // single-byte text, as every path here
                out += static_cast<char>(code);
                known = true;
            }
        }
        if (!known) {
            out.append(v.substr(k, semi - k + 1));
        }
        k = semi;
    }
    return out;
}

// The value of attribute `name` inside one tag's text, or false.
bool attribute(std::string_view tag, std::string_view name, std::string& value)
{
    for (std::size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
        std::size_t k = at + name.size();
        const bool starts_word = at > 0 && (tag[at - 1] == ' ' || tag[at - 1] == '\t' || tag[at - 1] == '\n' || tag[at - 1] == '\r');
        while (k < tag.size() && (tag[k] == ' ' || tag[k] == '\t')) {
            ++k;
        }
        if (!starts_word || k >= tag.size() || tag[k] != '=') {
            continue;
        }
        ++k;
        while (k < tag.size() && (tag[k] == ' ' || tag[k] == '\t')) {
            ++k;
        }
        if (k >= tag.size() || (tag[k] != '"' && tag[k] != '\'')) {
            continue;
        }
        std::size_t end = tag.find(tag[k], k + 1);
        if (end == std::string_view::npos) {
            return false;
        }
        value = decode_entities(tag.substr(k + 1, end - k - 1));
        return true;
    }
    return false;
}

// A registered libraries folder means the content root two levels up.
void cut_libraries_folder(std::string& path)
{
    constexpr std::string_view tail = "runtime\\libraries";
    if (path.size() <= tail.size() || !is_separator(path[path.size() - tail.size() - 1], PathStyle::windows)) {
        return;
    }
    for (std::size_t k = 0; k < tail.size(); ++k) {
        char c = path[path.size() - tail.size() + k];
        if (tail[k] == '\\' ? !is_separator(c, PathStyle::windows) : !equals_ignoring_case(std::string_view(&c, 1), tail.substr(k, 1))) {
            return;
        }
    }
    path.resize(path.size() - tail.size() - 1);
}

bool has_drive(const std::string& path)
{
    return starts_with_drive(path);
}

}  // namespace

RegisteredFolders parse_library_prefs(std::string_view xml, PathStyle style)
{
    RegisteredFolders found;
    constexpr std::string_view open = "<ContentFolder";
    for (std::size_t at = xml.find(open); at != std::string_view::npos; at = xml.find(open, at + 1)) {
        std::size_t end = xml.find('>', at);
        std::string folder;
        if (end == std::string_view::npos || !attribute(xml.substr(at, end - at), "folder", folder)) {
            continue;
        }
        folder = without_trailing_separators(folder, PathStyle::windows);
        cut_libraries_folder(folder);
        if (folder.empty()) {
            continue;
        }
        if (style == PathStyle::posix && has_drive(folder)) {
            if (ascii_lower(folder[0]) != 'z') {
                found.unreachable.push_back(folder);
                continue;
            }
            std::string from_top = "/";
            std::size_t k = 2;
            while (k < folder.size() && is_separator(folder[k], PathStyle::windows)) {
                ++k;
            }
            for (; k < folder.size(); ++k) {
                from_top += folder[k] == '\\' ? '/' : folder[k];
            }
            folder = from_top;
        }
        found.roots.push_back(folder);
    }
    return found;
}
