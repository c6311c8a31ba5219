#include "engine/library/path_boundary.h"

namespace {

// What one name of a path does to the place it leads to.
enum class Step { down, stay, up };

Step step_of(std::string_view name, PathStyle style)
{
    if (name == ".") {
        return Step::stay;
    }
    if (name == "..") {
        return Step::up;
    }
    // Windows drops a name's trailing dots and blanks: "...", ".. " and ". ." are no names of
    // their own. Read as climbing, they can only be refused.
    if (style == PathStyle::windows && name.find_first_not_of(". ") == std::string_view::npos) {
        return Step::up;
    }
    return Step::down;
}

// Calls `each` with every name of `path` between separators (':', '\' or '/'), in order, while
// it returns true; false when it stopped.
template <typename Each>
bool for_each_name(std::string_view path, Each each)
{
    std::size_t k = 0;
    while (k < path.size()) {
        while (k < path.size() && is_separator(path[k], PathStyle::poser)) {
            ++k;
        }
        std::size_t end = k;
        while (end < path.size() && !is_separator(path[end], PathStyle::poser)) {
            ++end;
        }
        if (end > k && !each(path.substr(k, end - k))) {
            return false;
        }
        k = end;
    }
    return true;
}

bool is_slash(char c)
{
    return c == '\\' || c == '/';
}

// After two separators: "?" or "." and a separator open the namespaces of Windows' devices
// (\\?\, \\.\), which also reach a share as \\?\UNC\server; any other name is a server's.
Refusal refusal_after_two_separators(std::string_view rest)
{
    if (rest.size() >= 2 && (rest[0] == '?' || rest[0] == '.') && is_slash(rest[1])) {
        const std::string_view name = rest.substr(2, 3);
        return equals_ignoring_case(name, "UNC") && rest.size() > 5 && is_slash(rest[5]) ? Refusal::network : Refusal::device;
    }
    if (rest == "?" || rest == ".") {
        return Refusal::device;
    }
    return Refusal::network;
}

}  // namespace

std::string_view refusal_words(Refusal refusal)
{
    switch (refusal) {
    case Refusal::none: return "";
    case Refusal::climbs_out: return "climbs out of its content root, not looked up";
    case Refusal::network: return "a network path, not looked up";
    case Refusal::device: return "a device, not opened";
    case Refusal::special_file: return "no regular file, not opened";
    }
    return "";
}

std::string_view refusal_name(Refusal refusal)
{
    switch (refusal) {
    case Refusal::none: return "";
    case Refusal::climbs_out: return "climbs_out";
    case Refusal::network: return "network_path";
    case Refusal::device: return "device";
    case Refusal::special_file: return "special_file";
    }
    return "";
}

Refusal refusal_of_text(std::string_view path, PathStyle style)
{
    if (path.size() >= 2 && is_slash(path[0]) && is_slash(path[1])) {
        return refusal_after_two_separators(path.substr(2));
    }
    // \??\ is the object namespace of Windows' kernel, which holds every device.
    if (path.size() >= 4 && is_slash(path[0]) && path.substr(1, 2) == "??" && is_slash(path[3])) {
        return Refusal::device;
    }
    if (style != PathStyle::windows) {
        return Refusal::none;
    }
    const bool plain = for_each_name(path, [](std::string_view name) { return !is_windows_device_name(name); });
    return plain ? Refusal::none : Refusal::device;
}

BoundedPath bounded_path(std::string_view path, PathStyle style)
{
    BoundedPath out;
    out.refusal = refusal_of_text(path, style);
    if (out.refusal != Refusal::none) {
        return out;
    }
    const bool inside = for_each_name(path, [&](std::string_view name) {
        switch (step_of(name, style)) {
        case Step::down: out.names.push_back(name); return true;
        case Step::stay: return true;
        case Step::up:
            if (out.names.empty()) {
                return false;
            }
            out.names.pop_back();
            return true;
        }
        return true;
    });
    if (!inside) {
        out.refusal = Refusal::climbs_out;
        out.names.clear();
    }
    return out;
}

Refusal refusal_of_file(fsys::FileSystem& fs, const std::string& path)
{
    return fs.is_special_file(path) ? Refusal::special_file : Refusal::none;
}
