#include "engine/library/content_paths.h"

#include "engine/base/path_style.h"
#include "engine/fsys/fsys.h"
#include "engine/text/refline.h"

#include <algorithm>

namespace {

bool has_drive_or_share(std::string_view target)
{
    if (target.size() >= 3 && starts_with_drive(target) && is_separator(target[2], PathStyle::windows)) {
        return true;
    }
    return target.size() >= 2 && is_separator(target[0], PathStyle::windows) && is_separator(target[1], PathStyle::windows);
}

// A classic Mac path: colons only, starting with the volume's name rather than a colon.
bool starts_with_volume_name(std::string_view target)
{
    return !target.empty() && target[0] != ':' && target.find_first_of("/\\") == std::string_view::npos &&
           target.find(':') != std::string_view::npos;
}

}  // namespace

std::vector<std::string_view> path_components(std::string_view target)
{
    std::vector<std::string_view> parts;
    for_each_component(target, [&parts](std::string_view part) {
        parts.push_back(part);
        return true;
    });
    return parts;
}

bool is_absolute_reference(fsys::FileSystem& fs, std::string_view target)
{
    if (has_drive_or_share(target)) {
        return true;
    }
    return !target.empty() && target[0] == '/' && fs.is_readable_file(std::string(target));
}

bool is_written_elsewhere(std::string_view target)
{
    if (has_drive_or_share(target)) {
        return true;
    }
    if (target.empty() || (target[0] != '/' && !starts_with_volume_name(target))) {
        return false;
    }
    const std::vector<std::string_view> parts = path_components(target);
    const std::size_t runtime = last_runtime_component(parts);
    return runtime != std::string_view::npos && runtime > 0;
}

std::size_t last_runtime_component(const std::vector<std::string_view>& components)
{
    for (std::size_t k = components.size(); k > 0; --k) {
        if (equals_ignoring_case(components[k - 1], "Runtime")) {
            return k - 1;
        }
    }
    return std::string_view::npos;
}

std::string without_trailing_separators(std::string path, PathStyle style)
{
    const bool drive = starts_with_drive(path) && style != PathStyle::posix;
    const std::size_t top = drive ? 3 : 1;
    while (path.size() > top && is_separator(path.back(), style)) {
        path.pop_back();
    }
    return path;
}

std::string child_path(std::string folder, std::string_view name)
{
    if (folder.empty() || folder.back() != fsys::k_sep) {
        folder += fsys::k_sep;
    }
    folder.append(name);
    return folder;
}

std::string child_path_of_slashed(std::string folder, std::string relative)
{
    std::replace(relative.begin(), relative.end(), '/', fsys::k_sep);
    return child_path(std::move(folder), relative);
}

std::string folder_of(const std::string& path)
{
    return std::string(folder_view(path));
}

std::string_view folder_view(std::string_view path)
{
    const std::size_t cut = path.rfind(fsys::k_sep);
    return cut == std::string_view::npos ? std::string_view() : path.substr(0, cut == 0 ? 1 : cut);
}

std::string name_of(const std::string& path)
{
    return path.substr(path.rfind(fsys::k_sep) + 1);
}

std::string join_path(std::string base, const std::vector<std::string_view>& components)
{
    for (std::string_view c : components) {
        base = child_path(std::move(base), c);
    }
    return base;
}

std::size_t root_holding(std::string_view path, const std::vector<std::string>& roots)
{
    std::size_t best = std::string_view::npos;
    for (std::size_t k = 0; k < roots.size(); ++k) {
        // A root that ends in its separator ("/", "C:\") holds every longer path it begins.
        const std::string& root = roots[k];
        const bool inside = !root.empty() && root.back() == fsys::k_sep
                                ? path.size() > root.size() && is_inside_root(path, root.substr(0, root.size() - 1), k_native_style)
                                : is_inside_root(path, root, k_native_style);
        if (inside && (best == std::string_view::npos || root.size() > roots[best].size())) {
            best = k;
        }
    }
    return best;
}

std::size_t place_under_root(fsys::FileSystem& fs, std::string& path, const std::vector<std::string>& roots)
{
    // A link, a junction or ".." on the way may lead anywhere, into the root by its text
    // alone: the file's real place decides.
    const std::string resolved = fs.resolved_path(path);
    std::size_t found = std::string_view::npos;
    std::size_t longest = 0;
    for (std::size_t k = 0; k < roots.size() && !resolved.empty(); ++k) {
        const std::string root = fs.resolved_path(roots[k].empty() ? std::string(1, fsys::k_sep) : roots[k]);
        if (root.empty() || root_holding(resolved, {root}) != 0 || (found != std::string_view::npos && root.size() < longest)) {
            continue;
        }
        const std::size_t below = root.back() == fsys::k_sep ? root.size() : root.size() + 1;
        path = child_path(roots[k], std::string_view(resolved).substr(below));
        found = k;
        longest = root.size();
    }
    return found;
}

std::string colon_path_below(const std::string& root, const std::string& path)
{
    std::string_view below = std::string_view(path).substr(std::min(root.size(), path.size()));
    std::string written;
    for (std::string_view part : path_components(below)) {
        written += ':';
        written.append(part);
    }
    return written;
}
