// The two rule sets a repair runs by, behind one interface: the repair's own rules (four
// kinds of Poser file, geometry pointers only, the line rules and log of the default program)
// and the library rules of the extended repair (every Poser document and reference kind,
// several content roots, byte-exact rewrites, run folders). A run picks one when it starts;
// nothing outside the two implementations asks which it is.
#pragma once

#include "engine/fsys/fsys.h"
#include "engine/library/walk.h"

#include <memory>
#include <string>
#include <vector>

class Prompts;
class Run;
struct FileFilter;
struct RunTally;

// The documents a folder walk meets, checked and repaired in its order. A repair may end
// after its `add` returns, but before anything is shown through `prompts()` and at the
// latest when the object goes.
class FolderRepairs {
public:
    virtual ~FolderRepairs() = default;
    virtual void add(const std::string& orig, fsys::Listed listed) = 0;
    // The prompts to ask through between documents.
    virtual Prompts& prompts() = 0;
};

class Rules {
public:
    virtual ~Rules() = default;
    // A new run begins: what the last one learnt is forgotten.
    virtual void start(Run& run) = 0;
    // Which entries of a folder are documents and which folders a walk enters.
    virtual const WalkPolicy& walk_policy() const = 0;
    // Checks and repairs every document below `dirname` in the walk's order, through `wn`.
    // 0 when the user ended the walk or a stop was asked for, non-zero otherwise.
    virtual int walk(Run& run, const std::string& dirname, Prompts& wn) = 0;
    // The content roots a folder link may lead into and still be followed: the Poser root.
    virtual std::vector<std::string> walk_roots(const Run& run) const;
    // Checks the document `orig` and repairs it when needed. `listed`: what a folder listing
    // told of it.
    virtual void repair(Run& run, const std::string& orig, Prompts& wn, fsys::Listed listed) = 0;
    // The repairs of a folder walk's documents, asked through `wn`.
    virtual std::unique_ptr<FolderRepairs> folder_repairs(Run& run, Prompts& wn);
    // The documents the chooser of a single-file run offers.
    virtual const FileFilter& document_filter() const = 0;
    // What the run log and the closing question end with: what the files came to; "" for none.
    virtual std::string summary(const RunTally& tally) const = 0;
};

// The repair's own rules.
class DefaultRules : public Rules {
public:
    DefaultRules();
    void start(Run& run) override;
    const WalkPolicy& walk_policy() const override { return m_policy; }
    // Asks after each folder with documents whether to go on.
    int walk(Run& run, const std::string& dirname, Prompts& wn) override;
    void repair(Run& run, const std::string& orig, Prompts& wn, fsys::Listed listed) override;
    // Files finish together: their copies are flushed to the disk at once.
    std::unique_ptr<FolderRepairs> folder_repairs(Run& run, Prompts& wn) override;
    const FileFilter& document_filter() const override;
    std::string summary(const RunTally& tally) const override;

private:
    WalkPolicy m_policy;
};
