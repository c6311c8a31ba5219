#include "engine/content_paths.h"

#include "engine/fsys.h"
#include "engine/refline.h"

namespace {

bool is_separator(char c)
{
    return c == ':' || c == '\\' || c == '/';
}

bool is_drive_letter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

const std::vector<std::string>& listing(const std::string& folder, ListingCache& listings)
{
    auto found = listings.find(folder);
    if (found == listings.end()) {
        std::vector<fsys::FolderEntry> entries;
        std::vector<std::string> names;
        if (fsys::list_folder_entries(folder, entries)) {
            for (fsys::FolderEntry& entry : entries) {
                names.push_back(std::move(entry.name));
            }
        }
        found = listings.emplace(folder, std::move(names)).first;
    }
    return found->second;
}

}  // namespace

std::vector<std::string_view> path_components(std::string_view target)
{
    std::vector<std::string_view> parts;
    std::size_t k = 0;
    while (k < target.size()) {
        while (k < target.size() && is_separator(target[k])) {
            ++k;
        }
        std::size_t end = k;
        while (end < target.size() && !is_separator(target[end])) {
            ++end;
        }
        if (end > k) {
            parts.push_back(target.substr(k, end - k));
        }
        k = end;
    }
    return parts;
}

bool is_absolute_reference(std::string_view target)
{
    if (target.size() >= 3 && is_drive_letter(target[0]) && target[1] == ':' &&
        (target[2] == '\\' || target[2] == '/')) {
        return true;
    }
    if (target.size() >= 2 && (target[0] == '\\' || target[0] == '/') && (target[1] == '\\' || target[1] == '/')) {
        return true;
    }
    return !target.empty() && target[0] == '/' && fsys::is_readable_file(std::string(target));
}

std::string join_path(std::string base, const std::vector<std::string_view>& components)
{
    for (std::string_view c : components) {
        base += fsys::k_sep;
        base.append(c);
    }
    return base;
}

std::vector<std::string> find_ignoring_case(const std::string& base, const std::vector<std::string_view>& components,
                                            ListingCache& listings)
{
    std::vector<std::string> level{base};
    for (std::size_t k = 0; k < components.size() && !level.empty(); ++k) {
        std::vector<std::string> next;
        for (const std::string& folder : level) {
            for (const std::string& name : listing(folder, listings)) {
                if (equals_ignoring_case(name, components[k])) {
                    next.push_back(folder + fsys::k_sep + name);
                }
            }
        }
        level = std::move(next);
    }
    std::vector<std::string> files;
    for (std::string& path : level) {
        if (!components.empty() && fsys::is_readable_file(path)) {
            files.push_back(std::move(path));
        }
    }
    return files;
}

const std::string* root_holding(const std::string& path, const std::vector<std::string>& roots)
{
    const std::string* best = nullptr;
    for (const std::string& root : roots) {
        if (is_inside_root(path, root, k_native_style) && (best == nullptr || root.size() > best->size())) {
            best = &root;
        }
    }
    return best;
}
