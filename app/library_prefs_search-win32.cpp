// Poser keeps its preferences in the user's roaming application data.
#include "app/library_prefs_search.h"

#include <windows.h>
#include <shlobj.h>

std::vector<std::string> roaming_folders_to_search()
{
    char folder[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA("APPDATA", folder, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        return {std::string(folder, n)};
    }
    if (SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) == S_OK) {
        return {folder};
    }
    return {};
}

bool last_change_time(const std::string& path, long long& time)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        return false;
    }
    time = static_cast<long long>((static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                  data.ftLastWriteTime.dwLowDateTime);
    return true;
}
