// What an extended run tells the keeper of its run folders: where the old version of each
// file it changes goes, and each change just before the file is given its new text, so that
// the run can be undone.
#pragma once

#include "engine/fsys/fsys.h"
#include "engine/text/references.h"

#include <string>
#include <string_view>
#include <vector>

struct Replacement {
    std::string old_path;  // as the line gave it
    std::string new_path;  // as the corrected line gives it
    RefKind kind = RefKind::geometry;
    std::string_view how;  // "picked", "by name", "by Runtime path" or "notation only"
    long long uses = 1;    // how many times the document used the old path
};

struct FileChange {
    std::string file;
    std::string backup;  // where the old version is kept
    fsys::FileDigest before;
    fsys::FileDigest after;
    std::vector<Replacement> replacements;
};

class RunJournal {
public:
    virtual ~RunJournal() = default;
    // The name for the old version of `file` in a run folder (its folders made), or "" to keep
    // it beside the file as the default repair does. Asked only for a file about to change.
    virtual std::string backup_for(const std::string& file) = 0;
    // Records a change about to be made; false when it could not be recorded, and then the
    // file is not changed.
    virtual bool record(const FileChange& change) = 0;
    // Records several changes about to be made, as record does each: `recorded[k]` tells whether
    // changes[k] was. A journal may write them all at once, as a run changing thousands of files
    // in batches does best.
    virtual void record_all(const std::vector<FileChange>& changes, std::vector<bool>& recorded)
    {
        recorded.clear();
        for (const FileChange& change : changes) {
            recorded.push_back(record(change));
        }
    }
};
