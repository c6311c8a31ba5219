// The library rules of the extended repair (tarnwick-cli --modern and --auto): every Poser
// document, plain or compressed, and every reference kind the report finds, resolved as the
// report resolves them against several content roots, and corrected files that differ from
// the old ones only in the paths rewritten. Without them the repair keeps its own rules.
#pragma once

#include "engine/resolver.h"
#include "engine/run_journal.h"
#include "engine/tree_walk.h"

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct LibraryOptions {
    // A missing file whose only namesake, or whose file at the same path from the Runtime
    // folder on, lies under a root is replaced by it without asking.
    bool automatic = false;
    // The content roots in order of preference, absolute and normalised; the first is the
    // Poser root.
    std::vector<std::string> roots;
    // A folder walk asks after each folder with Poser files whether to go on; the window
    // program's progress bar has a Cancel button instead.
    bool ask_after_each_folder = true;
};

class LibraryRules {
public:
    explicit LibraryRules(LibraryOptions options) : m_options(std::move(options)), m_resolver(m_options.roots) {}
    const LibraryOptions& options() const { return m_options; }
    Resolver& resolver() { return m_resolver; }
    // The files under the roots by name, walked once a run, when first needed.
    const NameIndex& name_index();
    // Forgets what a run learnt: the files by name and the references left as they are.
    void start_run();
    // A missing file the user chose to leave as it is: not asked for again in this run.
    bool is_left(const std::string& shown) const { return m_left.count(shown) != 0; }
    void leave(const std::string& shown) { m_left.insert(shown); }
    // How the replacement of a missing file was chosen, for the later files that reuse it.
    std::string_view how_chosen(const std::string& shown) const;
    void chosen(const std::string& shown, std::string_view how) { m_how[shown] = how; }
    // The keeper of the run's old versions and its record; nullptr keeps them beside the files.
    RunJournal* journal() const { return m_journal; }
    void set_journal(RunJournal* journal) { m_journal = journal; }

private:
    LibraryOptions m_options;
    Resolver m_resolver;
    NameIndex m_index;
    std::unordered_set<std::string> m_left;
    std::unordered_map<std::string, std::string_view> m_how;
    RunJournal* m_journal = nullptr;
};

// The library rules in force, or nullptr for the repair's own rules (the default).
LibraryRules* library_rules();
void use_library_rules(LibraryOptions options);
void use_default_rules();
// A new run under the rules in force: the library rules forget what the last run learnt.
void start_library_run();

// How a folder walk takes documents and folders under the rules in force.
WalkPolicy walk_policy();
