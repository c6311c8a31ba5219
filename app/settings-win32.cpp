// The settings file on Windows, through the profile functions: written in the user's roaming
// application data, which a standard user may always write; read from there first, then
// from the Windows folder, where older versions kept it under the bare file name (shared
// with any other program that uses the same name).
#include "app/settings.h"

#include <windows.h>
#include <shlobj.h>

namespace {

// 255 characters and the terminator: a longer value arrives cut at 255, as it always has.
constexpr DWORD k_value_buffer_chars = 256;

// %APPDATA%, or the shell's roaming application data folder when the variable is unset;
// "" when neither is known.
std::string roaming_app_data()
{
    char folder[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA("APPDATA", folder, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        return std::string(folder, n);
    }
    if (SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) == S_OK) {
        return folder;
    }
    return std::string();
}

std::string settings_folder()
{
    const std::string app_data = roaming_app_data();
    return app_data.empty() ? std::string() : app_data + "\\tarnwick";
}

// True when `section` holds `key`, whatever its value.
bool has_key(const std::string& section, const std::string& key, const char* file)
{
    // A default no stored value can equal: the profile functions return it only when the
    // key is missing.
    const char missing[] = "\n";
    char value[2] = {};
    GetPrivateProfileStringA(section.c_str(), key.c_str(), missing, value, sizeof value, file);
    return value[0] != '\n';
}

std::string read_from(const std::string& section, const std::string& key, const char* file)
{
    char value[k_value_buffer_chars] = {};
    DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", value, k_value_buffer_chars, file);
    return std::string(value, n);
}

}  // namespace

std::string settings_file_path()
{
    const std::string folder = settings_folder();
    return folder.empty() ? std::string(k_settings_file) : folder + "\\" + k_settings_file;
}

std::string read_setting(const std::string& section, const std::string& key)
{
    const std::string path = settings_file_path();
    if (has_key(section, key, path.c_str())) {
        return read_from(section, key, path.c_str());
    }
    return read_from(section, key, k_settings_file);
}

bool write_setting(const std::string& section, const std::string& key, const std::string& value)
{
    const std::string folder = settings_folder();
    if (!folder.empty() && !CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return false;
    }
    const std::string path = settings_file_path();
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) != 0;
}
