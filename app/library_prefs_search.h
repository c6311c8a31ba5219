// Finding Poser's own LibraryPrefs.xml without asking: Poser and Poser Pro keep one per
// version in "Poser*\<version>\" under the user's roaming application data.
#pragma once

#include <string>
#include <vector>

// The roaming application data folders to look in: %APPDATA% on Windows; elsewhere those of
// the users of the wine prefix ($WINEPREFIX, or ~/.wine), drive_c/users/*/AppData/Roaming.
std::vector<std::string> roaming_folders_to_search();

// The most recently changed LibraryPrefs.xml in any folder `Poser*/*/` (names in any letter
// case) of `roaming`; "" when there is none.
std::string find_library_prefs(const std::vector<std::string>& roaming);

// The time `path` was last changed, in the system's units; false when it cannot be known.
bool last_change_time(const std::string& path, long long& time);
