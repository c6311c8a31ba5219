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

// Opens `path` of `fs` for reading its references; false when it cannot be opened.
inline bool open_document(TextReader& in, fsys::FileSystem& fs, const std::string& path,
                          fsys::Listed listed = fsys::Listed::unknown)
{
    in.limit_line_length(k_max_line_bytes);
    return in.open(fs, path, Gzip::if_magic, listed, ReadMode::as_stored);
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
            ++line;  // no path is that long: no reference
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
