// The repair of one Poser document by the library rules, in three steps: a scan for the
// references that need work (those the report calls moved or missing, and geometry pointers
// not in blank-colon notation), a plan of what each gets (remembered, found by its Runtime
// path or by name, picked, or left as it is), and the one apply that writes the document with
// the plan's edits. The corrected copy differs from the document only in the paths rewritten.
#pragma once

#include "engine/base/prompts.h"
#include "engine/fsys/fsys.h"
#include "engine/repair/run_journal.h"
#include "engine/text/edits.h"
#include "engine/text/references.h"

#include <cstdint>
#include <string>
#include <vector>

class LibraryMemory;
class Run;

// A reference that needs work, as the scan found it.
struct NeededReference {
    RefKind kind = RefKind::geometry;
    bool beside_document = false;
    std::string target;        // the path's bytes in the document
    std::uint64_t offset = 0;  // where they lie in its text
    long long line = 0;
    FileReference as_reference() const;
};

struct DocumentScan {
    bool readable = false;
    bool compressed = false;
    std::vector<NeededReference> needed;
};
// Reads `orig` once, as a repair's check does (warnings and title included).
DocumentScan scan_document(Run& run, LibraryMemory& rules, const std::string& orig, Prompts& wn, fsys::Listed listed);

struct DocumentPlan {
    std::vector<Edit> edits;
    std::vector<Replacement> replacements;  // for the run's record
    std::string log;                        // the run log's lines below the document's own
    bool stopped = false;                   // a stop was asked for: nothing is to be written
};
// Decides what each needed reference gets, asking the user where it must.
DocumentPlan plan_document(Run& run, LibraryMemory& rules, const std::string& orig, const DocumentScan& scan, Prompts& wn);

// Writes `orig` with the plan's edits to `cor` of `out_fs`, created as `mode` says
// (`cor_created` tells whether it was), compressed when `orig` is, and flushed to the disk.
// False, the user warned, when it cannot be read or written whole.
bool write_planned_copy(fsys::FileSystem& fs, const std::string& orig, fsys::FileSystem& out_fs, const std::string& cor,
                        const std::vector<Edit>& edits, Prompts& wn, fsys::Create mode, bool& cor_created);

// Records in `journal` the change of `orig` to the text waiting in `cor`, with both texts'
// digests, before it is made; false when it cannot be recorded, and then `orig` must stay as it is.
bool record_change(fsys::FileSystem& fs, const std::string& orig, const std::string& cor, std::vector<Replacement> replacements,
                   RunJournal& journal);
