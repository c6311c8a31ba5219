// Installing product zips into a content folder, and what the product needs once installed:
// tarnwick-cli --install (and its --dry-run), and the window's "install a product zip". The
// install is one more kind of run: its run folder keeps the old versions of the files it
// replaces and its manifest, and --undo takes it back.
#pragma once

#include "engine/install/install_files.h"
#include "engine/report/library_report.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int k_install_done = 0;
inline constexpr int k_install_not_written = 1;  // a file could not be written: what was written is taken back
inline constexpr int k_install_refused = 2;      // bad input or a zip refused: nothing written anywhere
inline constexpr int k_install_incomplete = 3;   // something the product needs is missing, or a file was skipped

struct InstallOutcome {
    int status = k_install_done;
    InstallEnd end = InstallEnd::installed;
    std::string run_folder;  // the old versions and the manifest; "" when nothing was written
    TakenBack taken_back;    // a failed or stopped install: what was taken back, and what was left
    std::string error;       // why it was not installed, or ""
};

// The threads an install unpacks on, and its undo takes files back on: one per core.
unsigned install_threads();

// Checks the zips (read whole) and plans their install into `root` (normalised).
InstallPlan plan_product(fsys::FileSystem& fs, const std::vector<std::string>& zips, const std::string& root);

// Carries out a plan that can_install(): its run folder made for `stamp`, its files unpacked on
// one thread per core (`progress` told the bytes), moved in. A stop asked for (run_stop) or a
// failure takes back what was written.
InstallOutcome install_product(fsys::FileSystem& fs, const InstallPlan& plan, std::string_view version,
                               const std::string& stamp, const InstallProgress& progress = nullptr);

// What the product needs from the roots (the first the content folder) and what nobody has.
LibraryReport product_needs(fsys::FileSystem& fs, const std::vector<std::string>& zips, const std::vector<std::string>& roots);

// "A new, B replaced, C already there, D skipped".
std::string install_counts(const InstallPlan& plan);
// The files the plan installs: new, replaced and already there.
long long files_installed(const InstallPlan& plan);
// "P.zip" or "a.zip, b.zip": the product by its zips' names.
std::string product_name(const InstallPlan& plan);
// Each refusal and each file that blocks the install: "P.zip: ENTRY: REASON", made visible.
std::vector<std::string> refusal_lines(const InstallPlan& plan);
// What the product needs and nobody has, one line each: "missing image :Runtime:... in DOC".
std::vector<std::string> missing_lines(const LibraryReport& report);

struct InstallRequest {
    std::vector<std::string> roots;  // --root values; the first is the content folder
    std::string library_prefs;       // a LibraryPrefs.xml, "auto", or ""
    std::vector<std::string> zips;
    bool dry_run = false;
};

// tarnwick-cli --install: the notes, what was installed (or with --dry-run, each file and where
// it would go), then the product's report on `out`; reasons, skipped files and what is missing
// on `err`, where a terminal also shows the progress. The exit status of the outcome.
int run_install(fsys::FileSystem& fs, const InstallRequest& request, std::string_view version, std::FILE* out,
                std::FILE* err);
