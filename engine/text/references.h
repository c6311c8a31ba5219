// The file references of a Poser document as the library rules read them: geometry, images,
// morph files and scripts, named after a keyword or, for geometry, by a line ending in an OBJ
// file name. The report, the extended check and the extended correction all read them here.
// Pure text, so the rules hold on every platform.
#pragma once

#include "engine/base/prompts.h"
#include "engine/text/refline.h"

#include <cstddef>
#include <string_view>
#include <vector>

enum class RefKind { geometry, image, morph, script };
inline constexpr int k_ref_kinds = 4;
// "geometry", "image", "morph" or "script".
std::string_view kind_name(RefKind kind);
// The files a reference of the kind names, by their extensions: OBJ meshes plain and
// compressed, images, morph files, scripts and the poses that run them.
const FileFilter& files_of_kind(RefKind kind);

struct FileReference {
    RefKind kind = RefKind::geometry;
    bool builtin = false;  // a value that names no file: NO_MAP, GetStringRes(...), nothing
    // The path's bytes in the line, surrounding quotes left out: a repair replaces exactly
    // these, and every other byte of the line stays.
    std::size_t path_begin = 0;
    std::size_t path_end = 0;
    std::string_view target;  // those bytes
    // A path that is not rooted names a file beside the document, not below a root
    // (runPythonScript).
    bool beside_document = false;
};

// True when `line` (one line without its line end) is a reference: its first word is a
// reference keyword (letter case as written), or it ends in ".obj" or ".obz" (any case),
// quoted or not. A line whose first word is "name" names something, not a file.
bool find_file_reference(std::string_view line, FileReference& ref);

// True for a geometry reference not written in blank-colon notation: its path does not begin
// with a colon. Found below a root, the library rules rewrite it so.
bool needs_colon_notation(const FileReference& ref);

struct FoundReference {
    FileReference ref;  // its target points into the run of lines
    long long line = 0;
    std::size_t line_offset = 0;  // where its line begins in the run
};
// Finds the references in a run of whole lines as TextReader::next_lines hands them out, read
// as stored (a line ends at a line feed, a carriage return and line feed, or a carriage return
// alone), the first line numbered `first_line`. Appends them to `found` and returns the number
// of lines in the run. Only a line holding a byte pair that every reference line holds is read
// (reference_candidates.h); the line ends before it are counted, not looked at.
long long scan_references(std::string_view lines, long long first_line, std::vector<FoundReference>& found);
