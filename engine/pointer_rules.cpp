#include "engine/pointer_rules.h"

#include "engine/content_paths.h"
#include "engine/engine_state.h"
#include "engine/existence.h"
#include "engine/folder_walk.h"
#include "engine/name_index.h"
#include "engine/poser_documents.h"
#include "engine/refline.h"


ExtendedRules extended_rules;

namespace {

NameIndex& files_index()
{
    static NameIndex index;
    return index;
}

}  // namespace

bool is_checked_file(const std::string& name, const std::unordered_set<std::string>& folder_names)
{
    if (!extended_rules.enabled) {
        return isposerfile(name) != 0;
    }
    // Running a repair twice must not make backups of backups.
    return is_poser_document(name) && !is_backup_beside(name, folder_names);
}

bool is_walked_folder_name(const std::string& name)
{
    return !name.empty() && name[0] != '.' && !(extended_rules.enabled && name == "__MACOSX");
}

bool find_pointer(std::string_view trimmed, GeometryPointer& p)
{
    if (extended_rules.enabled) {
        return find_geometry_pointer(trimmed, p);
    }
    if (!is_reference_line(trimmed)) {
        return false;
    }
    p = GeometryPointer{find_marker(trimmed), trimmed.size(), false};
    return true;
}

bool locate_pointer(std::string_view poser_path, const Prompts& wn, std::string& disk_path, std::size_t& root_length)
{
    if (!extended_rules.enabled) {
        build_disk_path(posername, poser_path, k_native_style, disk_path);
        root_length = posername.size();
        return reference_exists(disk_path, wn);
    }
    std::string candidate;
    for (const std::string& root : extended_rules.roots) {
        build_disk_path(root, poser_path, k_native_style, candidate);
        if (reference_exists(candidate, wn) || reference_exists_ignoring_case(root, poser_path, wn)) {
            disk_path = candidate;
            root_length = root.size();
            return true;
        }
    }
    const std::string& first = extended_rules.roots.empty() ? posername : extended_rules.roots.front();
    build_disk_path(first, poser_path, k_native_style, disk_path);
    root_length = first.size();
    return false;
}

const std::string* root_of_pick(const std::string& path)
{
    if (!extended_rules.enabled) {
        return is_inside_root(path, posername, k_native_style) ? &posername : nullptr;
    }
    return root_holding(path, extended_rules.roots);
}

std::vector<std::string> files_by_name(std::string_view poser_path)
{
    NameIndex& index = files_index();
    if (!index.built()) {
        index.build(extended_rules.roots, {});
    }
    return index.candidates(poser_path);
}

void forget_files_by_name()
{
    files_index() = NameIndex();
}
