// Which names an install makes below a content folder: the name each zip entry takes there,
// and the names a system cannot make, refused before anything is written.
#pragma once

#include "engine/fsys/disk_rules.h"
#include "engine/zip/zip_entries.h"

#include <string>
#include <string_view>

// The installed name of `e`, '/' between names: its stored bytes when they are UTF-8, marked so
// or not (archivers on the Mac write UTF-8 without the mark), else the zip format's own reading,
// from code page 437.
std::string installed_name(const zipfs::ZipEntry& e);

// Why the one name `name` cannot be made in a folder of a system with `rules`, or nullptr when
// it can: no UTF-8 text, a control character or a name longer than 255 letters anywhere; on
// Windows also a device name (CON, NUL.txt ...), a trailing dot or blank, and <>:"|?*.
const char* unmakeable_reason(std::string_view name, fsys::DiskRules rules);
// Why a device's name is refused, whether the name's check or the path boundary finds it.
inline constexpr const char* k_device_name_reason = "the name is a device's on Windows (CON, PRN, AUX, NUL, COM or LPT and a digit)";

// The longest path Windows programs such as Poser open without the long-path prefix, in UTF-16
// units; and the longest a POSIX system opens (PATH_MAX less its NUL), in bytes.
inline constexpr std::size_t k_windows_path_limit = 259;
inline constexpr std::size_t k_posix_path_limit = 4095;

// How many UTF-16 units Windows needs for the UTF-8 text `utf8`.
std::size_t utf16_length(std::string_view utf8);
