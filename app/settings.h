// The program's one stored setting, in the INI-style file "poserdirname.ini": on Windows in
// the user's roaming application data (%APPDATA%\tarnwick), read also from the Windows
// folder where older versions kept it; elsewhere in the user's configuration folder
// ($XDG_CONFIG_HOME/tarnwick, or ~/.config/tarnwick).
#pragma once

#include <string>

inline constexpr const char* k_settings_file = "poserdirname.ini";
inline constexpr const char* k_settings_section = "poserinfo";
inline constexpr const char* k_root_key = "poseraddr";

// The settings file that write_setting writes, as the user would look for it.
std::string settings_file_path();
// The value of `key` in `section`, at most 255 characters; "" when the file, the section
// or the key is missing.
std::string read_setting(const std::string& section, const std::string& key);
// Writes `key` in `section`, keeping every other section and key of the file, and creates
// the file's folder when needed; false when the file cannot be written.
bool write_setting(const std::string& section, const std::string& key, const std::string& value);
