#include "app/window_options.h"

#include "app/content_roots.h"
#include "app/library_prefs_search.h"
#include "app/run_folders.h"
#include "app/settings.h"
#include "engine/repair/library_rules.h"

#include <ctime>
#include <memory>

namespace {

bool read_flag(const char* key)
{
    return read_setting(k_options_section, key) == "1";
}

class ExtendedDialogue : public Dialogue {
public:
    explicit ExtendedDialogue(FolderPicker picker) : m_picker(std::move(picker)) {}

    // The chooser proposes no name: the last run left the log's there, which nobody means to check.
    bool choose_file(Session& s, Prompts& wn) const override
    {
        s.file.clear();
        return wn.GetFileName(Owner::main, s.file, s.run.posername, "file to check?", s.run.rules().document_filter(),
                              ChooserMode::open) != 0;
    }
    bool choose_folder(Session& s, Prompts&) const override
    {
        std::string folder = s.run.posername;
        if (m_picker(folder, s.run.posername, "folder to be checked") == 0) {
            return false;
        }
        s.file = folder;
        return true;
    }
    std::string closing_body(const Session& s) const override
    {
        const std::string summary = s.run.rules().summary(s.run.tally);
        return summary.empty() ? s.logname : s.logname + "\n\n" + summary;
    }
    void show_help(const Session& s, Prompts& wn) const override
    {
        const std::string beside = s.readme.empty() ? "" : "\n\nIt lies beside the program:\n" + s.readme;
        wn.information(Owner::none, k_help_text + beside, "tarnwick help");
    }
    FolderPicker root_picker() const override { return m_picker; }
    bool stopped_by_cancel_button() const override { return true; }

private:
    FolderPicker m_picker;
};

}  // namespace

std::unique_ptr<Dialogue> window_dialogue(const WindowOptions& options, const FolderPicker& picker)
{
    if (!options.extended || !picker) {
        return std::make_unique<Dialogue>();
    }
    return std::make_unique<ExtendedDialogue>(picker);
}

WindowOptions read_window_options()
{
    WindowOptions options{read_flag(k_extended_key), read_flag(k_automatic_key)};
    options.extended = options.extended || options.automatic;
    return options;
}

bool save_window_options(const WindowOptions& options)
{
    return write_setting(k_options_section, k_extended_key, options.extended ? "1" : "0") &&
           write_setting(k_options_section, k_automatic_key, options.automatic ? "1" : "0");
}

WindowOptions switched(WindowOptions options, WindowOption item)
{
    if (item == WindowOption::extended) {
        options.extended = !options.extended;
        options.automatic = options.automatic && options.extended;
    } else {
        options.automatic = !options.automatic;
        options.extended = options.extended || options.automatic;
    }
    return options;
}

std::vector<std::string> window_content_roots(Run& run, std::string& library_prefs, std::vector<std::string>& notes)
{
    library_prefs = find_library_prefs(roaming_folders_to_search());
    std::vector<std::string> roots;
    std::string error;
    if (!gather_content_roots(run.fs(), {run.posername}, library_prefs, roots, error, notes)) {
        // An unreadable prefs file or a root gone since start: the Poser root as it is held.
        notes.push_back(error);
        library_prefs.clear();
        roots.assign(1, run.posername);
    }
    return roots;
}

void close_run_folders(Session& session)
{
    session.run.use_rules(nullptr);
    session.journal.reset();
}

void apply_window_options(Session& session, const WindowOptions& options, const FolderPicker& picker)
{
    close_run_folders(session);
    session.dialogue = window_dialogue(options, picker);
    if (!options.extended) {
        return;
    }
    std::string prefs;
    std::vector<std::string> notes;
    std::vector<std::string> roots = window_content_roots(session.run, prefs, notes);
    auto rules = std::make_unique<LibraryRules>(LibraryOptions{options.automatic, std::move(roots), {}, notes});
    // Each run keeps the old versions in run folders of its own, for the undo.
    session.journal = std::make_unique<RunFolders>(
        session.run, RunSettings{TARNWICK_VERSION, options.automatic, rules->options().roots}, run_stamp(std::time(nullptr)));
    rules->set_journal(session.journal.get());
    session.run.use_rules(std::move(rules));
}
