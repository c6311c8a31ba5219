// The check of product zips before they are installed or released, without unpacking them:
// each zip is read as the content folder it would unpack to, its documents reported on as a
// library's, each reference looked for inside the products first, then under the roots; and
// what would break the install (package_check.h) is reported with them.
#pragma once

#include "engine/report/library_report.h"

#include <string>
#include <string_view>
#include <vector>

// True when `path` names a product zip to report on: a name ending in ".zip", any letter case.
bool is_product_zip(std::string_view path);

// The report of `paths` (absolute: product zips, folders and documents) with each readable
// zip's content folder (its top, or the folder one level down that holds Runtime) first among
// the roots, before `roots`. Each zip is checked whole first (its entries inflated, on one
// thread per core), then its documents read on `threads` threads. Nothing is written anywhere,
// and memory stays bounded whatever a zip holds. A zip checked whole just before needs only
// `depth` directory.
LibraryReport build_product_report(fsys::FileSystem& disk, const std::vector<std::string>& paths,
                                   const std::vector<std::string>& roots, unsigned threads,
                                   const ReportProgress& progress = nullptr,
                                   zipfs::CheckDepth depth = zipfs::CheckDepth::contents);
