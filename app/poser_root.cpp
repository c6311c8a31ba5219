#include "app/poser_root.h"

#include "app/content_roots.h"
#include "app/settings.h"
#include "engine/fsys/fsys.h"
#include "engine/repair/run.h"
#include "engine/text/refline.h"

#include <cstdlib>

namespace {

// Proposed when nothing is stored yet.
std::string default_root()
{
#ifdef _WIN32
    return "c:";
#else
    const char* home = std::getenv("HOME");
    std::string root = home != nullptr ? home : "";
    while (!root.empty() && root.back() == '/') {
        root.pop_back();
    }
    return root;
#endif
}

// Every path under the root is the root, one separator and a relative path, so the root
// itself ends in no separator; a drive root is the bare drive ("C:"). A lone separator (the
// POSIX root) stays, since an empty root reads as none stored.
std::string without_trailing_separators(const std::string& root)
{
    const std::string held = root_without_trailing_separators(root);
    return held.empty() && !root.empty() ? std::string(1, fsys::k_sep) : held;
}

}  // namespace

namespace {

int chosen_root(Prompts& wn, const FolderPicker& picker, std::string& name, const std::string& initdir)
{
    if (picker) {
        return picker(name, initdir, "your Poser installation's root folder");
    }
    name += fsys::k_sep;
    name += "*.*";
    return wn.GetFileName(Owner::main, name, initdir, "find any file in your Poser installation's root folder", filterall,
                          ChooserMode::open);
}

}  // namespace

int set_poser_root(Run& run, Prompts& wn, const FolderPicker& picker)
{
    std::string& posername = run.posername;
    posername = without_trailing_separators(read_setting(k_settings_section, k_root_key));
    if (posername.empty()) {
        posername = default_root();
    }
    const std::string initdir = posername;
    std::string name = posername;
    if (wn.question(Owner::none, posername, "Is this the root address of your Poser setup?")) {
        return 1;
    }
    const int chosen = chosen_root(wn, picker, name, initdir);
    // A name typed relative to the current folder would hold only from that folder.
    posername = name.empty() ? name : normalised_root(run.fs(), name);
    if (chosen == 0) {
        wn.warning(Owner::main, "I need this information to be able to run.", "Exiting");
        return 0;
    }
    // The user chose a file lying directly in the root: its folder is the root. A picked
    // folder is the root itself.
    if (!picker && dellocalname(posername) == 0) {
        wn.warning(Owner::main, posername, "This is not a valid file name. Exiting");
        return 0;
    }
    posername = without_trailing_separators(posername);
    wn.information(Owner::none, posername, "You say that your Poser installation is at");
    // The root is used all the same; unsaved, it would be asked for again at every start.
    if (!write_setting(k_settings_section, k_root_key, posername)) {
        wn.warning(Owner::none, settings_file_path(), "I can't write this file");
    }
    return 1;
}
