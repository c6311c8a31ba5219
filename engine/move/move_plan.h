// What moving a file or folder of a library takes, planned before anything changes: where it
// goes, the files that go with it, and every reference that must follow it. Each reference of
// every Poser document below the roots (and inside what moves) that finds a file there today
// is rewritten to find the file at its new place, in colon notation from the root that holds
// it, as the extended repair rewrites: by edits of the path's bytes alone. A reference that
// finds another file (an earlier root holding the same path), or a relative one of a document
// that moves along and still finds its file, is left as it is. A move that would leave a
// reference finding another file than its own, or that a document could not name, is refused.
#pragma once

#include "engine/fsys/fsys.h"
#include "engine/report/library_report.h"
#include "engine/repair/run_journal.h"
#include "engine/text/document_references.h"
#include "engine/text/document_rewrite.h"
#include "engine/text/edits.h"

#include <functional>
#include <string>
#include <vector>

struct MoveRequest {
    std::string source;  // a file or folder, as the user gave it
    std::string target;  // where it goes: nothing there yet, or an empty folder
    std::vector<std::string> roots;  // normalised, in order of preference
};

// A document whose references follow the move.
struct FollowingDocument {
    std::string path;        // where it lies now
    std::string moved_path;  // where it lies once moved (its path when it stays)
    std::vector<Edit> edits;                // by offset in its text
    std::vector<Replacement> replacements;  // one for each edit: the bytes it replaces, and the new ones
    DocumentSeen seen;                      // what its reading saw, for a dry run reading it again
    ReferenceRewrites rewrites;             // the same edits, by reference
};

struct MovePlan {
    std::string source;  // absolute, spelt below its root as the roots are
    std::string target;
    std::size_t source_root = 0;
    std::size_t target_root = 0;
    bool source_is_folder = false;
    bool target_was_empty_folder = false;    // it is removed first, and made again by an undo
    std::vector<std::string> folders_made;   // the folders above the target to be made, outermost first
    long long files = 0;                     // files that move
    std::vector<FollowingDocument> documents;
    long long references = 0;                // references rewritten, in all documents
    long long documents_read = 0;
    std::vector<UnreadableFile> unreadable;  // documents that could not be read to their end
    std::vector<std::string> notes;          // the links leading out of the library, not followed
    bool stopped = false;                    // a stop was asked for (run_stop): the plan is not whole
};

// Called now and then while documents are read: documents read, of all found.
using MoveProgress = std::function<void(long long done, long long total)>;

// Plans the move of `request`; changes nothing. False with a one-line `reason` when the move is
// refused: the source is missing, a link, no file or folder below a root, a root itself or one
// that holds a root, or in the run folders; or it holds a link; the target exists (other than
// an empty folder, or the source with letters in another case), lies inside the source, in the
// run folders or below no root, or has a name a Poser document cannot hold; or a reference
// could not follow. A document that cannot be read is named in the plan and left as it is.
bool plan_move(fsys::FileSystem& fs, const MoveRequest& request, MovePlan& plan, std::string& reason,
               const MoveProgress& progress = nullptr);
