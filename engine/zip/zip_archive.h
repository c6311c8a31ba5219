// A zip archive opened for reading through a FileSystem: libzip parses it, and every byte it
// asks for comes through the FileSystem's open file, so that a zip on the disk, one on a disk
// in memory and one a test holds are read alike. libzip is C and reports errors as codes: they
// come back here as reasons in words, never as exceptions.
#pragma once

#include "engine/fsys/fsys.h"

#include <memory>
#include <string>
#include <zip.h>

namespace zipfs {

struct ZipDiscard {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
// An open archive; closing it writes nothing.
using ZipHandle = std::unique_ptr<zip_t, ZipDiscard>;

// How much libzip compares before it trusts an archive.
enum class Checks {
    directory,  // the central directory alone: fast, for reading entries that are asked for
    headers,    // also each entry's local header against its directory record, and overlaps
};

// Opens the zip `path` of `fs` read-only; null, with `reason`, when the file cannot be opened or
// is no zip libzip can read (not a zip, truncated, inconsistent).
ZipHandle open_zip(fsys::FileSystem& fs, const std::string& path, Checks checks, std::string& reason);

// libzip's error in words, for a reason.
std::string error_words(zip_error_t* error);
std::string archive_error_words(zip_t* archive);

}  // namespace zipfs
