// An open file, as every disk hands it out, and the writing of one that may be done in another
// thread: what the flush threads need of a file, without the disk it lies on.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace fsys {

// An open file: a descriptor on POSIX, a HANDLE on Windows, an entry of the open-file table
// of a disk in memory; -1 when closed.
struct RawFile {
    std::intptr_t handle = -1;
    std::string path;
    bool is_open() const { return handle != -1; }
};

// The writing of a file that may be done in another thread: it opens the file in `f` and
// writes it whole; false when either failed.
using Writing = std::function<bool(RawFile& f)>;

}  // namespace fsys
