// Poser runs under wine here: its roaming folders lie in the wine prefix.
#include "app/library_prefs_search.h"

#include "engine/fsys/fsys.h"

#include <cstdlib>
#include <sys/stat.h>

std::vector<std::string> roaming_folders_to_search()
{
    std::string prefix;
    if (const char* wine = std::getenv("WINEPREFIX"); wine != nullptr && *wine != '\0') {
        prefix = wine;
    } else if (const char* home = std::getenv("HOME"); home != nullptr) {
        prefix = std::string(home) + "/.wine";
    }
    std::vector<std::string> roaming;
    std::vector<fsys::FolderEntry> users;
    if (prefix.empty() || !fsys::disk().list_folder_entries(prefix + "/drive_c/users", users)) {
        return roaming;
    }
    for (const fsys::FolderEntry& user : users) {
        const std::string folder = prefix + "/drive_c/users/" + user.name + "/AppData/Roaming";
        if (fsys::disk().is_folder(folder)) {
            roaming.push_back(folder);
        }
    }
    return roaming;
}

bool last_change_time(const std::string& path, long long& time)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return false;
    }
    time = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return true;
}
