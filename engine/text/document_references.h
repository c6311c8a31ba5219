// The one reading of a document's references by the library rules, for the report, the
// extended repair and the collect: the document as stored (decompressed), lines too long for
// any path passed over, each reference with where its path lies in the document's text.
#pragma once

#include "engine/fsys/textio.h"
#include "engine/text/references.h"

#include <cstdint>
#include <string>
#include <vector>

// No system accepts a path this long: a longer line is no reference, and reading it whole
// would let one line decide how much memory a reader needs.
inline constexpr std::size_t k_max_line_bytes = 1 << 20;

// What one reading of a document saw, for a later reading to compare with before it writes
// anything planned on the first: the file's stamp when it was opened, whether it was
// compressed, and where each reference lay with its bytes, as one digest.
struct DocumentSeen {
    fsys::FileStamp stamp;
    bool compressed = false;
    long long references = 0;
    std::uint64_t digest = 0;
    // Adds a reference found at `offset` of the document's text.
    void note(const FoundReference& f, std::uint64_t offset);
    bool operator==(const DocumentSeen&) const = default;
};

// Opens `path` of `fs` for reading its references; false when it cannot be opened. With
// `seen`, its stamp is taken first.
inline bool open_document(TextReader& in, fsys::FileSystem& fs, const std::string& path,
                          fsys::Listed listed = fsys::Listed::unknown, DocumentSeen* seen = nullptr)
{
    in.limit_line_length(k_max_line_bytes);
    if (seen != nullptr && !fs.stamp(path, seen->stamp)) {
        return false;
    }
    const bool opened = in.open(fs, path, Gzip::if_magic, listed, ReadMode::as_stored);
    if (seen != nullptr) {
        seen->compressed = in.compressed();
    }
    return opened;
}

// True when the file `path` still has the stamp it had when `seen` was taken.
inline bool still_as_seen(fsys::FileSystem& fs, const std::string& path, const DocumentSeen& seen)
{
    fsys::FileStamp now;
    return fs.stamp(path, now) && now == seen.stamp;
}

// Reads the references of the document open in `in` to its end: `on_reference(found, offset)`
// for each, `offset` where its path begins in the document's text, and `after_run()` after each
// run of lines. False when the document could not be read to its end.
template <typename OnReference, typename AfterRun>
bool read_references(TextReader& in, OnReference&& on_reference, AfterRun&& after_run)
{
    std::vector<FoundReference> found;
    long long line = 1;
    std::string_view lines;
    while (in.next_lines(lines)) {
        if (in.line_was_cut()) {
            line += in.continues_long_line() ? 0 : 1;  // no path is that long: no reference
            continue;
        }
        found.clear();
        line += scan_references(lines, line, found);
        for (const FoundReference& f : found) {
            on_reference(f, static_cast<std::uint64_t>(in.offset_of(lines.data() + f.line_offset + f.ref.path_begin)));
        }
        after_run();
    }
    return !in.failed();
}
