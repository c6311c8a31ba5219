// The check of a product zip before it is installed or released, without unpacking it: the
// problems that break an install, or that leave something on the user's disk it should not.
// Entry names in the problems are the stored bytes, untrusted: escape them for each output.
#pragma once

#include "engine/fsys/fsys.h"
#include "engine/zip/zip_entries.h"

#include <string>
#include <unordered_set>
#include <vector>

namespace zipfs {

enum class ProblemKind {
    unreadable_zip,      // the zip cannot be read at all (then the only problem): the message says why
    unreadable_entry,    // one entry's data cannot be unpacked: a bomb, a size that lies, a bad checksum
    no_runtime,          // no Runtime folder at the top, nor one folder down
    runtime_too_deep,    // Runtime one folder down: the entry names the folder to strip
    unsafe_name,         // absolute, "..", a drive, a backslash, an empty component
    path_too_long,       // unpacked, a path longer than Windows tools take
    link,                // a symbolic link
    case_twins,          // two names that differ only in letter case: one overwrites the other on Windows
    duplicate_name,      // the same name stored twice
    file_and_folder,     // a name that is a file and also the folder of other entries
    archiver_junk,       // __MACOSX/, .DS_Store, Thumbs.db
    backup,              // NAME_zzNN.ext beside NAME.ext, or a tarnwick-runs/ folder
    unmarked_non_ascii,  // bytes beyond ASCII without the UTF-8 mark: other systems show other letters
    network_reference,   // a document inside names a network path: Windows would call that server
};

struct PackageProblem {
    ProblemKind kind = ProblemKind::unreadable_zip;
    std::string entry;    // the entry's stored name (bytes, untrusted), or the folder's ending in '/';
                          // "" for the zip as a whole (and for an entry stored without a name)
    std::string message;  // one line; holds no entry name
};

// How far the check reads.
enum class CheckDepth {
    directory,  // the central directory and the local headers
    contents,   // also every entry's data inflated, as an install would, within inflate_bound(), on
                // one thread per core; a stop asked for (run_stop) ends it early
};

// Problem kind as a short stable word ("unsafe_name"), for reports and tests.
const char* problem_kind_name(ProblemKind kind);

// True for what an archiver or a file browser left beside the content: an entry inside a
// __MACOSX/ folder, .DS_Store, Thumbs.db, an AppleDouble "._NAME".
bool is_archiver_junk(const ZipEntry& e);
// True for an old copy tarnwick kept: an entry inside a tarnwick-runs/ folder, or a file
// NAME_zzNN.ext whose NAME.ext is among the zip's `names`.
bool is_kept_backup(const ZipEntry& e, const std::unordered_set<std::string>& names);

// The problems of the zip `zip_path` of `fs`: the zip's layout first, then the entries' names
// in the directory's order, names that collide, and entries whose data cannot be unpacked;
// empty when it installs cleanly. Nothing is written anywhere.
std::vector<PackageProblem> check_package(fsys::FileSystem& fs, const std::string& zip_path,
                                          CheckDepth depth = CheckDepth::contents);

}  // namespace zipfs
