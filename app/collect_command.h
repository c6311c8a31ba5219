// Collecting a scene with everything it uses, into one zip or a new folder: tarnwick-cli
// --collect, and the window's "collect a scene into a zip". The files collected are never
// changed; the result holds collect.txt, the list of what was collected, from where, and what
// is missing.
#pragma once

#include "engine/collect/collect_plan.h"
#include "engine/fsys/fsys.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

inline constexpr int k_collect_all_found = 0;
inline constexpr int k_collect_not_written = 1;
inline constexpr int k_collect_usage_error = 2;
inline constexpr int k_collect_incomplete = 3;

struct CollectOutcome {
    int status = k_collect_all_found;  // one of the four above
    long long files = 0;               // files written into the result
    long long renamed = 0;             // references renamed in the documents collected
    std::vector<MissingReference> missing;
    std::vector<UnreadableFile> unreadable;
    std::vector<UnreadableFile> left_out;             // documents given and thumbnails not taken, and why
    std::vector<std::pair<std::string, std::string>> outside;  // each file taken from outside the roots: name, source
    std::string error;  // why nothing was written (not_written, usage_error), or ""
};

// How far a collect has come, now and then: the documents read (`writing` false), then the
// bytes written into the result (`writing` true), of those known so far.
using CollectStep = std::function<void(bool writing, unsigned long long done, unsigned long long total)>;

// Collects `documents` (files, named from the current folder or absolutely) with `roots`
// (normalised, in order of preference: gather_content_roots) into `out`: a zip when it ends in
// ".zip", else a folder that does not exist yet or is empty. A stop asked for (run_stop, the
// window's Cancel button) ends it with nothing written (status not_written, error "stopped").
CollectOutcome collect_documents(fsys::FileSystem& fs, const std::vector<std::string>& documents,
                                 const std::vector<std::string>& roots, const std::string& out,
                                 const CollectStep& progress = nullptr);

// collect.txt: what was collected and from where (its path from its root, or its name alone
// from outside the roots), and what is missing or left out, one line each, naming no folder of
// the user's.
std::string collect_listing(const CollectPlan& plan);

// The closing message, one line: "12 files collected into /x/scene.zip" and what is missing
// ("; 1 reference missing, named in collect.txt"), or why nothing was written.
std::string collect_summary(const CollectOutcome& outcome, const std::string& out);

struct CollectRequest {
    std::vector<std::string> roots;  // --root values, in order
    std::string library_prefs;       // a LibraryPrefs.xml, "auto", or ""
    std::string out;
    std::vector<std::string> documents;
};

// tarnwick-cli --collect: progress on `err` when it is a terminal, then each missing reference
// and unreadable document on `err`, and the summary; the exit status of the outcome.
int run_collect(fsys::FileSystem& fs, const CollectRequest& request, std::FILE* err);
