// The read-only check of a whole library: every file reference of every Poser document,
// resolved against the content roots, with what is wrong and where it is used. Nothing is
// written, renamed or deleted.
#pragma once

#include "engine/library/resolver.h"
#include "engine/text/references.h"
#include "engine/zip/package_check.h"

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct ReportUse {
    std::string file;
    long long line = 0;  // counted from 1
};

struct ReportProblem {
    std::string target;  // as the line gives it, quotes removed
    RefKind kind = RefKind::geometry;
    RefStatus status = RefStatus::missing;
    std::vector<std::string> candidates;  // best first
    std::vector<ReportUse> uses;          // by file, then line
    // The root the file was found under (ok, case), or its best candidate's (moved); npos when
    // none (absolute, missing, refused).
    std::size_t root = std::string::npos;
    Refusal refusal = Refusal::none;  // why it was not looked up (refused)
};

// A problem that breaks the install of a product zip (package_check.h).
struct ReportPackageProblem {
    std::string zip;
    zipfs::PackageProblem problem;
};

struct UnreadableFile {
    std::string path;
    std::string reason;
};

struct LibraryReport {
    std::vector<std::string> roots;
    long long files_read = 0;        // documents read to their end
    long long files_compressed = 0;  // of those, the gzip ones
    long long backups_skipped = 0;   // old versions kept beside a document, not read
    bool stopped = false;            // a stop was asked for: not every document was read
    std::vector<UnreadableFile> unreadable;
    long long total = 0;    // reference lines, built-ins included
    long long builtin = 0;  // values that name no file
    std::array<std::array<long long, k_ref_kinds>, k_ref_statuses> counts{};  // reference lines by status and kind
    std::vector<ReportProblem> problems;  // by target (byte order), then kind
    std::string library_prefs = {};            // the LibraryPrefs.xml some roots came from, or ""
    std::vector<std::string> root_notes = {};  // its folders left out, and why
    // A report of product zips: the first roots are the products' own content folders, what
    // the products need from the other roots are their dependencies (found by their own path,
    // as problems are listed), and what breaks their install is listed apart.
    std::size_t own_roots = 0;
    std::vector<ReportProblem> dependencies = {};
    std::vector<ReportPackageProblem> package = {};

    long long count(RefStatus status) const;
    // True when a reference is moved, missing or refused: the library does not work as it
    // stands, or reaches outside itself.
    bool broken() const;
    // The reference lines that make it broken.
    long long broken_count() const;
    // Where the file of a target found under `root` comes from: "product" (one of the first
    // own_roots roots), "root", or "" when it was not found under a root.
    std::string_view from(std::size_t root) const;
};

// Called now and then (at most ten times a second) while documents are read, with the number
// of documents found.
using ReportProgress = std::function<void(long long files_done, unsigned long long bytes_read, long long files_total)>;

// Reads every Poser document in `paths` (folders walked with their subfolders, as the library
// rules walk; a file named directly is read whatever its name) on `threads` threads, and
// resolves each reference against `roots`, in order of preference. Paths are used as given:
// pass them absolute for absolute paths in the report. A stop asked for (run_stop) ends the
// reading before the next document. With `own_roots`, the first roots are a product's own and
// what is found by its path under a later one is listed among the dependencies.
LibraryReport build_library_report(fsys::FileSystem& fs, const std::vector<std::string>& paths,
                                   const std::vector<std::string>& roots, unsigned threads,
                                   const ReportProgress& progress = nullptr, std::size_t own_roots = 0);

// The readers a report starts on this machine: one per core, and at least eight, because a
// reader of files not yet in memory waits on the disk far more than it computes, and the disk
// answers several requests at once.
unsigned report_readers();
