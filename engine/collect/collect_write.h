// Writes a planned collection (collect_plan.h) as one zip, or as a folder made for it: every
// file under its name, each document with its references renamed and compressed again when it
// was, and the listing at the top. The files collected are never changed. A collection that
// cannot be written whole, or whose writing is stopped, leaves nothing behind.
#pragma once

#include "engine/collect/collect_plan.h"

#include <functional>
#include <string>
#include <string_view>

// True when a collection written to `out` is one zip: `out` ends in ".zip", any letter case.
bool collects_into_zip(std::string_view out);

// Makes collect.txt from the plan as written.
using CollectListing = std::function<std::string(const CollectPlan& plan)>;

// Writes the files of `plan` that are not left out, and `listing(plan)` as collect.txt at the
// top, into `out`: a new zip (collects_into_zip), deterministic (zipfs::ZipWriter, each entry
// dated by its source), or else a folder that does not exist yet or is empty. A document that
// is no longer what the plan read is left out then, and named among the unreadable ones.
// `progress` is told the bytes written so far of all. False, with `reason`, when `out` is
// taken, a file cannot be read or written, or a stop was asked for (run_stop): then nothing of
// it is left.
bool write_collection(fsys::FileSystem& fs, CollectPlan& plan, const CollectListing& listing, const std::string& out,
                      const CollectProgress& progress, std::string& reason);
