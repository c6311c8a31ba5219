// The library rules of the extended repair (tarnwick-cli --modern and --auto, the window's
// extended repair): every Poser document, plain or compressed, and every reference kind the
// report finds, resolved as the report resolves them against several content roots, and
// corrected files that differ from the old ones only in the paths rewritten.
#pragma once

#include "engine/library/library_memory.h"
#include "engine/repair/rules.h"
#include "engine/repair/run_journal.h"

#include <string>

struct DocumentPlan;
struct DocumentScan;

class LibraryRules : public Rules {
public:
    explicit LibraryRules(LibraryOptions options);
    ~LibraryRules() override;
    const LibraryOptions& options() const { return m_memory.options(); }

    // The keeper of the run's old versions and its record; nullptr keeps them beside the files.
    void set_journal(RunJournal* journal) { m_journal = journal; }
    // A dry run: every document planned and told to `sink`, nothing written; nullptr for a real run.
    void set_dry_run(DryRunSink* sink) { m_memory.set_dry_run(sink); }

    void start(Run& run) override;
    const WalkPolicy& walk_policy() const override { return m_policy; }
    // Counts the documents first, so that a run shows how far it has come, and asks nothing
    // after each folder: a stop ends it.
    int walk(Run& run, const std::string& dirname, Prompts& wn) override;
    std::vector<std::string> walk_roots(const Run&) const override { return options().roots; }
    void repair(Run& run, const std::string& orig, Prompts& wn, fsys::Listed listed) override;
    const FileFilter& document_filter() const override;
    std::string summary(const RunTally& tally) const override;

private:
    // Writes, or shows, what the plan of a document as the scan read it changes; false when the
    // document has changed since the scan, and nothing was written or shown.
    bool carry_out(Run& run, const std::string& orig, const DocumentScan& scan, const DocumentPlan& plan, Prompts& wn);
    bool write_corrected(Run& run, const std::string& orig, const DocumentScan& scan, const DocumentPlan& plan,
                         Prompts& wn);

    LibraryMemory m_memory;
    WalkPolicy m_policy;
    RunJournal* m_journal = nullptr;
};
