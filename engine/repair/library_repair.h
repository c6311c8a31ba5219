// The repair of one Poser document by the library rules, in three steps: a scan for the
// references that need work (those the report calls moved or missing, and geometry pointers
// not in blank-colon notation), a plan of what each gets (remembered, found by its Runtime
// path or by name, picked, or left as it is), and the one apply that writes the document with
// the plan's rewrites. The corrected copy differs from the document only in the paths
// rewritten, and is made only from the document the scan read: one changed meanwhile (saved
// while a chooser was open) is scanned again.
#pragma once

#include "engine/base/prompts.h"
#include "engine/fsys/fsys.h"
#include "engine/repair/run_journal.h"
#include "engine/text/document_rewrite.h"
#include "engine/text/references.h"

#include <cstdint>
#include <string>
#include <vector>

class LibraryMemory;
class Run;

// A reference that needs work, as the scan found it: each distinct one once, however often the
// document uses it.
struct NeededReference {
    RefKind kind = RefKind::geometry;
    bool beside_document = false;
    std::string target;  // the path's bytes in the document
    long long line = 0;  // where it is first used
    long long uses = 0;
    FileReference as_reference() const;
};

struct DocumentScan {
    bool readable = false;
    bool changed = false;  // the document changed while it was read
    DocumentSeen seen;
    std::vector<NeededReference> needed;  // in the order first met
};
// Reads `orig` once, as a repair's check does (warnings and title included).
DocumentScan scan_document(Run& run, LibraryMemory& rules, const std::string& orig, Prompts& wn, fsys::Listed listed);

struct DocumentPlan {
    ReferenceRewrites rewrites;
    std::vector<Replacement> replacements;  // for the run's record, one for each reference rewritten
    std::vector<NeededReference> left;      // references left as they are
    long long rewritten = 0;                // the uses rewritten
    std::string log;                        // the run log's lines below the document's own
    bool stopped = false;                   // a stop was asked for: nothing is to be written
};
// Decides what each needed reference gets, asking the user where it must.
DocumentPlan plan_document(Run& run, LibraryMemory& rules, const std::string& orig, const DocumentScan& scan, Prompts& wn);

// Tells what the plan leaves as it is: counted in the tally, said where nobody may be watching,
// and shown by a dry run. Once for a document, after its last plan.
void tell_left(Run& run, const LibraryMemory& rules, const std::string& orig, const DocumentPlan& plan);

enum class CopyMade { made, changed, failed };
// Writes `orig`, as the scan that `seen` holds read it, with `rewrites` to `cor` of `out_fs`,
// created as `mode` says (`cor_created` tells whether it was), compressed when `orig` is, and
// flushed to the disk. `failed`, the user warned, when it cannot be read or written whole;
// `changed`, nobody warned, when `orig` is no longer what the scan read.
CopyMade write_planned_copy(fsys::FileSystem& fs, const std::string& orig, const DocumentSeen& seen,
                            const ReferenceRewrites& rewrites, fsys::FileSystem& out_fs, const std::string& cor,
                            Prompts& wn, fsys::Create mode, bool& cor_created);

// Records in `journal` the change of `orig` to the text waiting in `cor`, with both texts'
// digests, before it is made; false when it cannot be recorded, and then `orig` must stay as it is.
bool record_change(fsys::FileSystem& fs, const std::string& orig, const std::string& cor, std::vector<Replacement> replacements,
                   RunJournal& journal);
