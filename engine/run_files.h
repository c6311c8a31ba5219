// The file operations that keeping old versions in a run folder, and giving them back, need
// beyond those of a repair beside the file: folders made and removed, a rename over an
// existing file, a write at a given place, and a file's SHA-256 digest.
#pragma once

#include "engine/fsys.h"

#include <string>

namespace fsys {

// Makes `path` and every missing folder above it; true when it exists as a folder after.
bool make_folders(const std::string& path);
// Makes the one folder `path`, whose parent exists.
bool make_folder(const std::string& path);
// Removes the empty folder `path`.
bool remove_folder(const std::string& path);
// Renames `from` to `to`, replacing whatever file `to` names, in one step.
bool rename_replace(const std::string& from, const std::string& to);
// Moves the write position of `f` to `offset` bytes from its start.
bool seek_to(RawFile& f, long long offset);

struct FileDigest {
    long long size = -1;
    std::string sha256;  // lower-case hex
    bool operator==(const FileDigest&) const = default;
};
// The bytes as lower-case hexadecimal digits.
std::string hex_digits(const unsigned char* bytes, std::size_t size);
// The size and SHA-256 of the bytes of the file `path`; false when it cannot be read whole.
bool digest_file(const std::string& path, FileDigest& digest);

}  // namespace fsys
