// The settings file off Windows: the same INI format as the Windows profile functions read,
// in the user's configuration folder.
#include "app/settings.h"

#include "engine/fsys/fsys.h"
#include "engine/library/content_paths.h"
#include "engine/text/refline.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t k_max_value_chars = 255;

std::string settings_folder()
{
    std::string folder;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0') {
        folder = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr) {
        folder = *home != '\0' ? child_path(home, ".config") : ".config";
    }
    return folder.empty() ? "tarnwick" : child_path(folder, "tarnwick");
}

std::string settings_path()
{
    return child_path(settings_folder(), k_settings_file);
}

std::string_view trim_blanks(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

// The lines of the file, none when it cannot be read.
std::vector<std::string> read_lines(const std::string& path)
{
    std::string text;
    std::vector<std::string> lines;
    if (!fsys::disk().read_whole_file(path, text)) {
        return lines;
    }
    for (std::size_t begin = 0; begin < text.size();) {
        const std::size_t end = std::min(text.find('\n', begin), text.size());
        lines.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return lines;
}

// "[name]" gives name; anything else is no section header.
bool section_header(std::string_view line, std::string_view& name)
{
    line = trim_blanks(line);
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') {
        return false;
    }
    name = trim_blanks(line.substr(1, line.size() - 2));
    return true;
}

// "key=value" with the key matching (letters in any case, as the Windows functions do).
bool key_line(std::string_view line, const std::string& key, std::string_view& value)
{
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || !equals_ignoring_case(trim_blanks(line.substr(0, eq)), key)) {
        return false;
    }
    value = trim_blanks(line.substr(eq + 1));
    return true;
}

}  // namespace

std::string read_setting(const std::string& section, const std::string& key)
{
    bool in_section = false;
    for (const std::string& line : read_lines(settings_path())) {
        std::string_view name;
        std::string_view value;
        if (section_header(line, name)) {
            in_section = equals_ignoring_case(name, section);
        } else if (in_section && key_line(line, key, value)) {
            return std::string(value.substr(0, k_max_value_chars));
        }
    }
    return std::string();
}

std::string settings_file_path()
{
    return settings_path();
}

bool write_setting(const std::string& section, const std::string& key, const std::string& value)
{
    const std::string path = settings_path();
    std::vector<std::string> lines = read_lines(path);
    const std::string entry = key + "=" + value;
    bool in_section = false;
    bool written = false;
    std::ptrdiff_t section_end = -1;
    for (std::size_t k = 0; k < lines.size() && !written; ++k) {
        std::string_view name;
        std::string_view old_value;
        if (section_header(lines[k], name)) {
            in_section = equals_ignoring_case(name, section);
            if (in_section) {
                section_end = static_cast<std::ptrdiff_t>(k) + 1;
            }
        } else if (in_section && key_line(lines[k], key, old_value)) {
            lines[k] = entry;
            written = true;
        } else if (in_section && !trim_blanks(lines[k]).empty()) {
            section_end = static_cast<std::ptrdiff_t>(k) + 1;
        }
    }
    if (!written && section_end >= 0) {
        lines.insert(lines.begin() + section_end, entry);
    } else if (!written) {
        lines.push_back("[" + section + "]");
        lines.push_back(entry);
    }
    std::string text;
    for (const std::string& line : lines) {
        text += line + '\n';
    }
    fsys::FileSystem& fs = fsys::disk();
    fs.make_folders(settings_folder());
    // A new file takes the old one's place whole, so a failed write never loses the others.
    const std::string temporary = path + ".new";
    if (!fs.write_file(temporary, text, fsys::Create::truncate)) {
        fs.remove_file(temporary);
        return false;
    }
    return fs.rename_replace(temporary, path);
}
