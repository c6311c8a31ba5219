// The content folders ("runtimes") that Poser registers in its LibraryPrefs.xml.
#pragma once

#include "engine/text/refline.h"

#include <string>
#include <string_view>
#include <vector>

struct RegisteredFolders {
    std::vector<std::string> roots;        // usable here, in the file's order
    std::vector<std::string> unreachable;  // as registered: a drive this system cannot reach
};

// Reads every <ContentFolder folder="..."> of `xml`. A registered "...\Runtime\libraries"
// folder stands for the root two levels up. On POSIX a "Z:\" path (wine's drive for "/")
// becomes a path from "/", and other drive paths are unreachable.
RegisteredFolders parse_library_prefs(std::string_view xml, PathStyle style);
