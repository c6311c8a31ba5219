#include "app/library_prefs_search.h"

#include "engine/fsys/fsys.h"
#include "engine/text/refline.h"

#include <string_view>

namespace {

constexpr std::string_view k_prefs_name = "LibraryPrefs.xml";

std::vector<std::string> subfolders(const std::string& folder)
{
    std::vector<fsys::FolderEntry> entries;
    std::vector<std::string> found;
    if (!fsys::disk().list_folder_entries(folder, entries)) {
        return found;
    }
    for (const fsys::FolderEntry& e : entries) {
        const std::string path = folder + fsys::k_sep + e.name;
        if (e.type == fsys::EntryType::folder || (e.type == fsys::EntryType::other && fsys::disk().is_folder(path))) {
            found.push_back(path);
        }
    }
    return found;
}

bool starts_with_poser(const std::string& path)
{
    const std::string_view name = std::string_view(path).substr(path.rfind(fsys::k_sep) + 1);
    return name.size() >= 5 && equals_ignoring_case(name.substr(0, 5), "Poser");
}

// The prefs file of one version folder, in whatever letter case a copy from another
// system left it; "" when there is none.
std::string prefs_in(const std::string& folder)
{
    std::vector<fsys::FolderEntry> entries;
    if (!fsys::disk().list_folder_entries(folder, entries)) {
        return std::string();
    }
    for (const fsys::FolderEntry& e : entries) {
        if (equals_ignoring_case(e.name, k_prefs_name) && fsys::disk().is_readable_file(folder + fsys::k_sep + e.name)) {
            return folder + fsys::k_sep + e.name;
        }
    }
    return std::string();
}

}  // namespace

std::string find_library_prefs(const std::vector<std::string>& roaming)
{
    std::string newest;
    long long newest_time = 0;
    for (const std::string& home : roaming) {
        for (const std::string& poser : subfolders(home)) {
            if (!starts_with_poser(poser)) {
                continue;
            }
            for (const std::string& version : subfolders(poser)) {
                const std::string prefs = prefs_in(version);
                long long time = 0;
                if (!prefs.empty() && last_change_time(prefs, time) && (newest.empty() || time > newest_time)) {
                    newest = prefs;
                    newest_time = time;
                }
            }
        }
    }
    return newest;
}
