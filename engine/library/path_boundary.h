// The one place where a path read from a Poser document or a zip entry becomes a path on the
// disk. A document comes from a stranger: whatever it names, the program looks only below a
// content root (or beside the document), or at a path of this machine named outright, and never
// asks the system about a network share, a device or anything that is no regular file. Each
// refusal has its reason, and nothing refused is opened, looked up or listed.
//
// Paths are taken apart name by name, never compared as text: a ".." takes the name before it
// away here, so that the system never reads a stranger's "..", and one that would climb above
// the folder the path is joined to refuses the path.
#pragma once

#include "engine/base/path_style.h"
#include "engine/fsys/fsys.h"

#include <string>
#include <string_view>
#include <vector>

// Why a path must not reach the disk.
enum class Refusal {
    none,
    climbs_out,    // a ".." that climbs above the content root it is joined to
    network,       // \\server\share, //server/share, \\?\UNC\...: Windows would call the server
    device,        // \\.\..., \\?\..., or a device name (CON, NUL, COM1 ...) with Windows rules
    special_file,  // neither a regular file nor a folder: a pipe, a device, a file of /proc
};

// The reason in words, as the report, the logs and collect.txt give it:
// "climbs out of its content root", "a network path, not looked up", ...
std::string_view refusal_words(Refusal refusal);
// One word for it, for JSON: "climbs_out", "network_path", "device", "special_file".
std::string_view refusal_name(Refusal refusal);

// A reference's path as the boundary lets it reach the disk.
struct BoundedPath {
    Refusal refusal = Refusal::none;
    // Its names below the folder it is joined to, "." and ".." taken away (empty when refused).
    std::vector<std::string_view> names;
};

// What the text of `path` alone refuses, read as a disk of `style` reads it: a network path or
// a device path in any spelling, and with Windows rules a device name as any of its names.
Refusal refusal_of_text(std::string_view path, PathStyle style);

// The names of `path` (any of ':', '\' or '/' between them) to be joined below a root, a
// textures folder or a document's folder; refused by its text, or when a ".." climbs above
// that folder. A name of dots and blanks alone other than "." is a ".." with Windows rules,
// which drop the trailing dots and blanks of a name.
BoundedPath bounded_path(std::string_view path, PathStyle style);

// Refusal::special_file when `path` (links followed) is on `fs` neither a regular file nor a
// folder; decided by its type, never opened.
Refusal refusal_of_file(fsys::FileSystem& fs, const std::string& path);
