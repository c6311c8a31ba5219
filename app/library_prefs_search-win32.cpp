// Poser keeps its preferences in the user's roaming application data.
#include "app/library_prefs_search.h"

#include "engine/base/text_encoding.h"

#include <windows.h>
#include <shlobj.h>

std::vector<std::string> roaming_folders_to_search()
{
    wchar_t folder[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableW(L"APPDATA", folder, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        return {to_utf8(std::wstring_view(folder, n))};
    }
    if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) == S_OK) {
        return {to_utf8(folder)};
    }
    return {};
}

bool last_change_time(const std::string& path, long long& time)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(to_wide(path).c_str(), GetFileExInfoStandard, &data)) {
        return false;
    }
    time = static_cast<long long>((static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                  data.ftLastWriteTime.dwLowDateTime);
    return true;
}
