// The library rules of the extended repair (tarnwick-cli --modern and --auto, the window's
// extended repair): every Poser document, plain or compressed, and every reference kind the
// report finds, resolved as the report resolves them against several content roots, and
// corrected files that differ from the old ones only in the paths rewritten.
#pragma once

#include "engine/edits.h"
#include "engine/name_index.h"
#include "engine/resolver.h"
#include "engine/rules.h"
#include "engine/run_journal.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// What a dry run is told of each document the run would change, and of each reference it
// would leave as it is.
class DryRunSink {
public:
    virtual ~DryRunSink() = default;
    // `before` and `after`: the document's text as stored (decompressed), now and after the run.
    virtual void would_change(const std::string& document, const std::string& before, const std::string& after) = 0;
    virtual void would_leave(const std::string& document, std::string_view target) = 0;
};

struct LibraryOptions {
    // A missing file whose only namesake, or whose file at the same path from the Runtime
    // folder on, lies under a root is replaced by it without asking.
    bool automatic = false;
    // The content roots in order of preference, absolute and normalised; the first is the
    // Poser root.
    std::vector<std::string> roots;
    // Told of every reference the user left as it is, where nobody may be watching (an
    // unattended run prints it); empty when not needed.
    std::function<void(const std::string& document, std::string_view target)> on_left = {};
};

class LibraryRules : public Rules {
public:
    explicit LibraryRules(LibraryOptions options);
    ~LibraryRules() override;
    const LibraryOptions& options() const { return m_options; }

    // The keeper of the run's old versions and its record; nullptr keeps them beside the files.
    RunJournal* journal() const { return m_journal; }
    void set_journal(RunJournal* journal) { m_journal = journal; }
    // A dry run: every document planned and told to `sink`, nothing written; nullptr for a real run.
    void set_dry_run(DryRunSink* sink) { m_dry_run = sink; }

    void start(Run& run) override;
    const WalkPolicy& walk_policy() const override { return m_policy; }
    bool asks_after_each_folder() const override { return false; }
    void repair(Run& run, const std::string& orig, Prompts& wn, fsys::Listed listed) override;
    const FileFilter& document_filter() const override;
    std::string summary(const RunTally& tally) const override;

    // What a run learns as it goes, for the documents after the one in hand.
    Resolver& resolver(Run& run);
    const NameIndex& name_index(Run& run);
    // A missing file the user chose to leave as it is: not asked for again in this run.
    bool is_left(const std::string& shown) const { return m_left.count(shown) != 0; }
    void leave(const std::string& shown) { m_left.insert(shown); }
    // How the replacement of a missing file was chosen, for the later files that reuse it.
    std::string_view how_chosen(const std::string& shown) const;
    void chosen(const std::string& shown, std::string_view how) { m_how[shown] = how; }
    DryRunSink* dry_run() const { return m_dry_run; }

private:
    LibraryOptions m_options;
    WalkPolicy m_policy;
    std::unique_ptr<Resolver> m_resolver;
    NameIndex m_index;
    std::unordered_set<std::string> m_left;
    std::unordered_map<std::string, std::string_view> m_how;
    RunJournal* m_journal = nullptr;
    DryRunSink* m_dry_run = nullptr;
};
