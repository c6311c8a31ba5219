// Writes the zip that collects a scene with everything it uses. The same entries give the same
// bytes: entries sorted by name, each with the time its caller gives (the file's modification
// time), and nothing that carries the time of the run. Names are UTF-8 and marked so; text and
// documents are deflated, data compressed already is stored; libzip writes Zip64 records where
// sizes or the number of entries need them. Files are read and compressed one piece at a time
// while the zip is written, so memory stays bounded however large they are. The zip is written
// under a temporary name beside its own and renamed at the end: a collect that fails leaves
// no half zip under the final name, nor under the temporary one.
#pragma once

#include "engine/fsys/fsys.h"

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

struct zip;

namespace zipfs {

// True when an entry named `name` is stored as it is, because its data is compressed already:
// compressed Poser documents (.crz .pzz ...), .obz meshes, JPEG and PNG images, zip and gzip files.
bool is_stored_as_is(std::string_view name);

class ZipWriter {
public:
    // A zip to be written to `zip_path` of `fs` (which must outlive the writer) by finish().
    ZipWriter(fsys::FileSystem& fs, std::string zip_path);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // Adds the file `path` of the FileSystem, read when the zip is written, as the entry `name`
    // ('/' between names, UTF-8) with `mtime` as its time. False, with `reason`, when the name
    // is not UTF-8, would be unsafe to unpack, or was added already.
    bool add_file(const std::string& name, const std::string& path, std::time_t mtime, std::string& reason);
    // Adds `bytes` as the entry `name`, as add_file does.
    bool add_bytes(const std::string& name, std::string bytes, std::time_t mtime, std::string& reason);
    // Told now and then, while finish() writes, how far it has come (0 to 1); answering false
    // stops the writing, and finish() fails with the reason "stopped".
    void set_progress(std::function<bool(double done)> progress) { m_progress = std::move(progress); }
    // Writes the zip. False, with `reason`, when the zip's name is taken already, a file cannot
    // be read, or the disk refuses: then neither the zip nor its temporary file is left.
    bool finish(std::string& reason);

private:
    struct Entry {
        std::string name;
        std::string path;   // of the file, or "" for bytes held here
        std::string bytes;
        std::time_t mtime = 0;
    };
    bool accept_name(const std::string& name, std::string& reason);
    bool add_entries(struct zip* archive, std::string& reason);
    // Writes the zip under a new temporary name, `temp_path`; false, with nothing left, on failure.
    bool write_zip(std::string& temp_path, std::string& reason);

    fsys::FileSystem& m_fs;
    std::string m_zip_path;
    std::vector<Entry> m_entries;
    std::unordered_set<std::string> m_lower_names;
    std::string m_failure;  // which file could not be read, while the zip is written
    std::function<bool(double)> m_progress;
    double m_done = 0;
};

}  // namespace zipfs
