// What a zip's central directory says about each entry, and which entry names may become paths.
// Everything here comes from the archive and is untrusted: names are bytes, sizes are claims.
// The reader of entries (zip_fs.h) and the check of a product zip (package_check.h) both take
// their facts from here, so that they never disagree about which names are safe.
#pragma once

#include "engine/zip/zip_archive.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zipfs {

// Why an entry's name cannot become a path below the zip (none: it can).
enum class NameFault {
    none,
    empty,            // no name at all, or only "/"
    absolute,         // begins with '/'
    drive_letter,     // "C:" anywhere a Windows system would read a drive or a stream
    backslash,        // a Windows separator, which Windows tools take as a folder and others not
    parent,           // a ".." component
    dot,              // a "." component
    empty_component,  // "a//b"
    nul,              // a NUL byte: the system would end the name there
};

// The longest path Windows tools unpack to (MAX_PATH, its ending NUL counted). An entry whose
// name unpacked right below a drive's top ("C:\\") passes it can be installed nowhere there; the
// same bound keeps every walk of a zip shallow, however deep a hostile name goes.
inline constexpr std::size_t k_max_installed_path = 260;

struct ZipEntry {
    std::uint64_t index = 0;          // libzip's index of the entry
    std::string name;                 // the stored name's bytes (a '/' at the end for a folder)
    std::string cp437_name;           // the name in UTF-8 read as the zip format says: from code
                                      // page 437 unless marked UTF-8
    bool is_folder = false;           // the name ends in '/'
    bool is_link = false;             // made on Unix with the mode of a symbolic link
    bool non_ascii_unmarked = false;  // bytes beyond ASCII without the UTF-8 mark
    std::uint64_t size = 0;           // uncompressed, as the directory claims
    std::uint64_t compressed_size = 0;
    std::uint16_t method = 0;  // ZIP_CM_STORE, ZIP_CM_DEFLATE, ...
    std::uint32_t crc = 0;     // CRC-32 of the data, as the directory claims
    bool encrypted = false;
    long long mtime = -1;  // seconds since 1970 UTC, the DOS time read in local time; -1 when none
    NameFault fault = NameFault::none;
    bool too_long = false;  // longer than k_max_installed_path unpacked: not reachable in the zip
};

// Every entry of the open archive in the directory's order; false, with `reason`, when the
// directory cannot be read through.
bool read_entries(zip_t* archive, std::vector<ZipEntry>& entries, std::string& reason);

// What is wrong with `name` as a path below the zip (folder entries keep their final '/').
NameFault name_fault(std::string_view name);
// The length of the path `name` makes unpacked below "C:\\", as Windows counts it (in UTF-16
// units, a byte that is no UTF-8 counted as one), with its ending NUL.
std::size_t installed_path_length(std::string_view name);
// The fault in words: "the name holds a '..' component".
const char* fault_words(NameFault fault);

// The most bytes an entry of `compressed_size` bytes may inflate to before it counts as a bomb:
// 100 times its compressed size, at least 8 MiB (small files compress far better than large
// ones), and never more than 4 GiB (no Poser file comes near it).
std::uint64_t inflate_bound(std::uint64_t compressed_size);

// The name's components between '/' (a folder's final '/' gives no empty last component).
std::vector<std::string_view> name_components(std::string_view name);

}  // namespace zipfs
