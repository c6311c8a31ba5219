// The library report's page as the window program keeps it: one file per report, named by
// the date and time it was made, in a folder of its own.
#pragma once

#include "engine/fsys/fsys.h"

#include <ctime>
#include <string>

// "library-report-YYYY-MM-DD-HHMMSS.html" for the local time `made`.
std::string report_page_name(std::time_t made);

// Writes `page` as a new file in `folder` (made, with its parents, when missing) under
// report_page_name(made), or with "-2", "-3"... before ".html" when that name is taken.
// Returns its path, or "" when it cannot be written (`path_tried` then names the file).
std::string write_report_page(fsys::FileSystem& fs, const std::string& folder, std::time_t made, const std::string& page,
                              std::string& path_tried);

// The newest page write_report_page left in `folder`: the latest time in its name, then the
// highest number after it. "" when the folder holds none or cannot be listed.
std::string newest_report_page(fsys::FileSystem& fs, const std::string& folder);
