// The settings file on Windows: the profile functions, given the bare file name so that
// Windows keeps the file in its own folder, where other programs using the same file name
// find the same setting.
#include "app/settings.h"

#include <windows.h>

namespace {
// 255 characters and the terminator: a longer value arrives cut at 255, as it always has.
constexpr DWORD k_value_buffer_chars = 256;
}  // namespace

std::string read_setting(const std::string& section, const std::string& key)
{
    char value[k_value_buffer_chars] = {};
    DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", value, k_value_buffer_chars, k_settings_file);
    return std::string(value, n);
}

bool write_setting(const std::string& section, const std::string& key, const std::string& value)
{
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), k_settings_file) != 0;
}
