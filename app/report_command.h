// tarnwick-cli --report: the read-only check of a library, written as text, JSON or HTML.
#pragma once

#include "engine/fsys/fsys.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

struct ReportRequest {
    std::vector<std::string> roots;  // --root values, in order
    std::string library_prefs;       // a LibraryPrefs.xml, or ""
    bool json = false;
    std::string html;  // the page to write, or ""
    std::vector<std::string> paths;
};

inline constexpr int k_report_all_found = 0;
inline constexpr int k_report_usage_error = 2;
inline constexpr int k_report_broken = 3;

// Runs the report, written to `out`; the exit status: 0 when no reference is moved or
// missing, 3 when some are, a document could not be read or a product zip would not install
// cleanly, 2 for a root or path that is not there (with a one-line reason on `err`, where a
// terminal also shows the progress). A path ending in ".zip" is a product zip, reported on
// without unpacking it (product_report.h); the roots are then optional.
int run_report(fsys::FileSystem& fs, const ReportRequest& request, std::string_view version, std::FILE* out, std::FILE* err);
