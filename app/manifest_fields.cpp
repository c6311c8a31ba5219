#include "app/manifest_fields.h"

#include "engine/library/content_paths.h"

#include <algorithm>

namespace manifest_fields {

const json* field(const json& object, const char* name)
{
    if (!object.is_object()) {
        return nullptr;
    }
    const auto found = object.find(name);
    return found == object.end() ? nullptr : &*found;
}

bool text_field(const json& object, const char* name, std::string& value)
{
    const json* f = field(object, name);
    if (f == nullptr || !f->is_string()) {
        return false;
    }
    value = f->get_ref<const std::string&>();
    return true;
}

bool number_field(const json& object, const char* name, long long& value)
{
    const json* f = field(object, name);
    if (f == nullptr || !f->is_number_integer()) {
        return false;
    }
    value = f->get<long long>();
    return true;
}

bool undone_field(const json& object, std::string& undone)
{
    const json* f = field(object, "undone");
    undone.clear();
    return f == nullptr || f->is_null() || text_field(object, "undone", undone);
}

bool is_safe_relative(const std::string& rel)
{
    if (rel.empty() || rel.find_first_of(std::string("\\:\0", 3)) != std::string::npos) {
        return false;
    }
    std::size_t k = 0;
    while (k <= rel.size()) {
        const std::size_t end = std::min(rel.find('/', k), rel.size());
        const std::string part = rel.substr(k, end - k);
        if (part.empty() || part == "." || part == "..") {
            return false;
        }
        k = end + 1;
    }
    return true;
}

std::string link_below(fsys::FileSystem& fs, const std::string& base, const std::string& relative)
{
    std::string path = base;
    std::size_t k = 0;
    while (k < relative.size()) {
        const std::size_t end = std::min(relative.find('/', k), relative.size());
        path = child_path(path, relative.substr(k, end - k));
        const fsys::NameKind kind = fs.name_kind(path);
        if (kind == fsys::NameKind::link || kind == fsys::NameKind::other) {
            return path;
        }
        k = end + 1;
    }
    return std::string();
}

bool stays_inside(fsys::FileSystem& fs, const std::string& file, const std::string& root)
{
    std::string folder = folder_of(file);
    while (!fs.entry_exists(folder) && folder.size() > root.size()) {
        folder = folder_of(folder);
    }
    const std::string real_root = fs.resolved_path(root);
    const std::string real = fs.resolved_path(folder);
    return !real_root.empty() && (real == real_root || root_holding(real, {real_root}) == 0);
}

}  // namespace manifest_fields
