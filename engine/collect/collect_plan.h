// What collecting a scene takes, and where each file goes. The documents given, every file their
// references name, resolved as the library report resolves them (the roots in order, images
// also below a root's Runtime/Textures, a path saved on another machine by its part from Runtime
// on, as Poser finds it), the references of every Poser document among those in turn, and the
// thumbnail Poser's library shows beside each document. Each file is taken once, under its name
// in the collection: its path from the root that holds it ("Runtime/Geometries/man/man.obj"),
// or a place by its kind when no root holds it. Each document's references are planned as
// edits that name those files in colon notation from the collection's top, so that the
// collection, unpacked into any content folder, loads. Nothing is written here.
#pragma once

#include "engine/fsys/fsys.h"
#include "engine/library/path_boundary.h"
#include "engine/report/library_report.h"
#include "engine/text/edits.h"
#include "engine/text/references.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct CollectedFile {
    std::string source;       // where the file lies
    std::string name;         // its name in the collection, '/' between names
    bool document = false;    // a Poser document: its references were read
    bool left_out = false;    // a document that could not be read to its end: not collected
    std::vector<Edit> edits;  // a document's references renamed, by offset in its text
    long long mtime = -1;     // when the source last changed
};

struct MissingReference {
    std::string target;  // as the document holds it
    RefKind kind = RefKind::geometry;
    std::string document;  // the source of the document that names it
    long long line = 0;
    Refusal refusal = Refusal::none;  // why it was not looked up, when it was refused
};

struct CollectPlan {
    std::vector<CollectedFile> files;  // in the order found, the documents given first
    std::vector<MissingReference> missing;
    std::vector<UnreadableFile> unreadable;  // documents that cannot be read to their end
    bool stopped = false;                    // a stop was asked for: the plan is not whole
};

// Called after each document read: documents read, of those known so far.
using CollectProgress = std::function<void(unsigned long long done, unsigned long long total)>;

// The collection of `documents` (paths of files, read whatever their names) with `roots` in
// order of preference, absolute, as the report takes them. A stop asked for (run_stop) ends
// the reading before the next document.
CollectPlan plan_collection(fsys::FileSystem& fs, const std::vector<std::string>& documents,
                            const std::vector<std::string>& roots, const CollectProgress& progress = nullptr);

// The folder a file that no root holds goes to: a Poser document to the library folder of its
// type ("Runtime/Libraries/Scenes" for a scene), any other file by the kind of reference that
// names it ("Runtime/Geometries/collected", "Runtime/Textures/collected" ...).
std::string folder_outside_roots(std::string_view file_name, RefKind kind);

// The name of the listing a collection carries at its top, which no collected file may take.
inline constexpr const char* k_collect_listing = "collect.txt";
