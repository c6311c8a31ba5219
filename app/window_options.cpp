#include "app/window_options.h"

#include "app/content_roots.h"
#include "app/library_prefs_search.h"
#include "app/run_folders.h"
#include "app/runs.h"
#include "app/settings.h"
#include "engine/engine_state.h"
#include "engine/library_rules.h"

#include <ctime>
#include <memory>

namespace {

bool read_flag(const char* key)
{
    return read_setting(k_options_section, key) == "1";
}

}  // namespace

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

std::vector<std::string> window_content_roots(std::string& library_prefs, std::vector<std::string>& notes)
{
    library_prefs = find_library_prefs(roaming_folders_to_search());
    std::vector<std::string> roots;
    std::string error;
    if (!gather_content_roots({posername}, library_prefs, roots, error, notes)) {
        // An unreadable prefs file or a root gone since start: the Poser root as it is held.
        notes.push_back(error);
        library_prefs.clear();
        roots.assign(1, posername);
    }
    return roots;
}

namespace {

std::unique_ptr<RunFolders>& window_run_folders()
{
    static std::unique_ptr<RunFolders> run_folders;
    return run_folders;
}

}  // namespace

void close_run_folders()
{
    if (library_rules() != nullptr) {
        library_rules()->set_journal(nullptr);
    }
    window_run_folders().reset();
}

void apply_window_options(const WindowOptions& options, const FolderPicker& picker)
{
    if (!options.extended) {
        use_default_rules();
        use_window_extras(nullptr);
        return;
    }
    std::string prefs;
    std::vector<std::string> notes;
    LibraryOptions rules{options.automatic, window_content_roots(prefs, notes)};
    // The progress bar's Cancel button stands in for the question after each folder.
    rules.ask_after_each_folder = false;
    // Each run keeps the old versions in run folders of its own, for the undo.
    std::unique_ptr<RunFolders>& run_folders = window_run_folders();
    run_folders = std::make_unique<RunFolders>(RunSettings{TARNWICK_VERSION, rules.automatic, rules.roots},
                                               run_stamp(std::time(nullptr)));
    use_library_rules(std::move(rules));
    library_rules()->set_journal(run_folders.get());
    use_window_extras(picker);
}
