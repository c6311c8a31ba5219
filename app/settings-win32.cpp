// The settings file on Windows, through the profile functions: written in the user's roaming
// application data, which a standard user may always write; read from there first, then
// from the Windows folder, where older versions kept it under the bare file name (shared
// with any other program that uses the same name).
#include "app/settings.h"

#include "engine/base/text_encoding.h"
#include "engine/fsys/fsys.h"

#include <windows.h>
#include <shlobj.h>

namespace {

// 255 characters and the terminator: a longer value arrives cut at 255, as it always has.
constexpr DWORD k_value_buffer_chars = 256;

// %APPDATA%, or the shell's roaming application data folder when the variable is unset;
// "" when neither is known.
std::string roaming_app_data()
{
    DWORD needed = GetEnvironmentVariableW(L"APPDATA", nullptr, 0);
    std::wstring folder(needed, L'\0');
    DWORD n = needed > 0 ? GetEnvironmentVariableW(L"APPDATA", folder.data(), needed) : 0;
    if (n > 0 && n < needed) {
        folder.resize(n);
        return to_utf8(folder);
    }
    wchar_t shell_folder[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, shell_folder) == S_OK) {
        return to_utf8(shell_folder);
    }
    return std::string();
}

std::string settings_folder()
{
    const std::string app_data = roaming_app_data();
    return app_data.empty() ? std::string() : app_data + "\\tarnwick";
}

// True when `section` holds `key`, whatever its value.
bool has_key(const std::wstring& section, const std::wstring& key, const std::wstring& file)
{
    // A default no stored value can equal: the profile functions return it only when the
    // key is missing.
    wchar_t value[2] = {};
    GetPrivateProfileStringW(section.c_str(), key.c_str(), L"\n", value, 2, file.c_str());
    return value[0] != L'\n';
}

std::string read_from(const std::wstring& section, const std::wstring& key, const std::wstring& file)
{
    wchar_t value[k_value_buffer_chars] = {};
    DWORD n = GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", value, k_value_buffer_chars, file.c_str());
    return to_utf8(std::wstring_view(value, n));
}

// True when every letter of `value` has a place in the ANSI code page.
bool fits_ansi_code_page(const std::wstring& value)
{
    if (GetACP() == CP_UTF8) {
        return true;
    }
    BOOL lost = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, value.data(), static_cast<int>(value.size()), nullptr, 0,
                        nullptr, &lost);
    return !lost;
}

// The file the profile functions mean by `path`: a bare file name lies in the Windows folder.
std::string profile_file(const std::string& path)
{
    if (path.find('\\') != std::string::npos) {
        return path;
    }
    wchar_t windows[MAX_PATH] = {};
    const UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
    return to_utf8(std::wstring_view(windows, n < MAX_PATH ? n : 0)) + "\\" + path;
}

// The profile functions write a file in the ANSI code page, which has no place for some
// letters, unless the file starts with the UTF-16 byte order mark: then they keep it UTF-16.
// Makes `path` such a file, its sections and keys kept (an older file read in the ANSI code
// page), through a whole new copy that replaces it only once written.
bool make_utf16_file(const std::string& path)
{
    // A file that is missing is made; one that is there must be read whole.
    fsys::FileSystem& fs = fsys::disk();
    std::string old;
    if (!fs.read_whole_file(path, old) && fs.entry_exists(path)) {
        return false;
    }
    if (old.size() >= 2 && old[0] == '\xff' && old[1] == '\xfe') {
        return true;
    }
    const std::wstring text = L"\xfeff" + to_wide(old);
    const std::string copy = path + ".new";
    const std::string_view bytes(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    if (!fs.write_file(copy, bytes, fsys::Create::truncate) || !fs.rename_replace(copy, path)) {
        fs.remove_file(copy);
        return false;
    }
    return true;
}

}  // namespace

std::string settings_file_path()
{
    const std::string folder = settings_folder();
    return folder.empty() ? std::string(k_settings_file) : folder + "\\" + k_settings_file;
}

std::string read_setting(const std::string& section, const std::string& key)
{
    const std::wstring s = to_wide(section), k = to_wide(key), path = to_wide(settings_file_path());
    if (has_key(s, k, path)) {
        return read_from(s, k, path);
    }
    return read_from(s, k, to_wide(k_settings_file));
}

bool write_setting(const std::string& section, const std::string& key, const std::string& value)
{
    const std::string folder = settings_folder();
    if (!folder.empty() && !CreateDirectoryW(to_wide(folder).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return false;
    }
    const std::string path = settings_file_path();
    const std::wstring text = to_wide(value);
    // A file that holds only what the ANSI code page can write stays as older versions read it.
    if (!fits_ansi_code_page(text) && !make_utf16_file(profile_file(path))) {
        return false;
    }
    return WritePrivateProfileStringW(to_wide(section).c_str(), to_wide(key).c_str(), text.c_str(),
                                      to_wide(path).c_str()) != 0;
}
