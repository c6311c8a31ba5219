// The file references of a Poser document: geometry, images, morph files and scripts, named
// after a keyword or, for geometry, by a line ending in an OBJ file name. Pure text, so the
// rules hold on every platform and in every pass that reads them.
#pragma once

#include "engine/refline.h"

#include <cstddef>
#include <string_view>
#include <vector>

enum class RefKind { geometry, image, morph, script };
inline constexpr int k_ref_kinds = 4;
// "geometry", "image", "morph" or "script".
std::string_view kind_name(RefKind kind);

struct FileReference {
    RefKind kind = RefKind::geometry;
    bool builtin = false;      // a value that names no file: NO_MAP, GetStringRes(...), nothing
    std::string_view target;   // the path as the line gives it, surrounding quotes removed
};

// True when the trimmed line is a reference: its first word is a reference keyword (letter
// case as written), or it ends in ".obj" or ".obz" (any case), quoted or not.
bool find_file_reference(std::string_view trimmed, FileReference& ref);

// True when `text` ends in ".obj" or ".obz", letters in any case.
bool ends_in_geometry_name(std::string_view text);

// A geometry pointer as the extended repair reads it: a line ending in ".obj" or ".obz"
// (letters in any case), its path either the whole text inside closing double quotes or
// the text after its marker. A quoted path counts as blank-colon notation when it starts
// with a colon (the path then starts after it), and as prefix notation otherwise.
struct GeometryPointer {
    Marker marker;            // kind none: no marker, path start 0
    std::size_t path_end = 0;  // the path is [marker.path_start, path_end)
    bool quoted = false;
};
bool find_geometry_pointer(std::string_view trimmed, GeometryPointer& p);

struct FoundReference {
    FileReference ref;
    long long line = 0;
};
// Finds the references in a run of whole lines as TextReader::next_lines hands them out (a
// carriage return right before a line feed is dropped), the first line numbered
// `first_line`. Appends them to `found` and returns the number of lines in the run. Most lines
// are told apart from references by a few bytes at their two ends.
long long scan_references(std::string_view lines, long long first_line, std::vector<FoundReference>& found);
