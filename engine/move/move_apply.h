// Carrying out a planned move (move_plan.h): first every document whose references follow is
// given its new paths, as the extended repair gives a file its corrected text (the old version
// kept where the run's journal says, and recorded there before the file changes), then the
// files move (tree_move.h). Taking a move back is the undo's work, from the journal's record.
#pragma once

#include "engine/move/move_plan.h"

#include <functional>
#include <string>
#include <vector>

struct MoveOutcome {
    long long documents_changed = 0;
    long long references = 0;  // rewritten in those documents
    // Documents left as they were, each with its reason: they could not be read or written, or
    // were changed since they were read; the other documents and the files go on.
    std::vector<UnreadableFile> failed;
    bool moved = false;    // the files are at their new place
    bool stopped = false;  // a stop was asked for (run_stop) before the files were all moved
    std::string reason;    // why the files did not move
};

// How far the move has come: documents rewritten (`moving` false), then files moved.
using MoveStep = std::function<void(bool moving, long long done, long long total)>;

// Carries out `plan`. When outcome.moved is false the files did not all reach their new place
// (a step failed, or a stop was asked for): what changed so far is in the journal's record, for
// the undo to give back.
MoveOutcome carry_out_move(fsys::FileSystem& fs, const MovePlan& plan, RunJournal& journal, const MoveStep& progress = nullptr);

// The text of `document` with its edits applied, written to the new file `copy` (compressed when
// the document is), left open in `file`: the caller flushes it and closes it. The digests of both
// files' bytes, for a document that is not compressed, in `before` and `after` (sizes of -1
// otherwise). False with `reason` when the document cannot be read, no longer holds the bytes an
// edit replaces (it changed since it was read: each edit names the bytes it was planned on), or
// the copy cannot be written, and then no copy is left. Safe from several threads at once.
bool write_following_copy(fsys::FileSystem& fs, const FollowingDocument& document, const std::string& copy,
                          fsys::RawFile& file, fsys::FileDigest& before, fsys::FileDigest& after, std::string& reason);
