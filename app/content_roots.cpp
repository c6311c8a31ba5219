#include "app/content_roots.h"

#include "app/console_text.h"
#include "app/library_prefs_search.h"
#include "app/report_output.h"
#include "app/settings.h"
#include "app/visible_text.h"
#include "engine/base/ascii.h"
#include "engine/fsys/fsys.h"
#include "engine/library/content_paths.h"
#include "engine/library/library_prefs.h"
#include "engine/text/refline.h"

#include <algorithm>

namespace {

void add_once(std::vector<std::string>& roots, const std::string& root)
{
    if (std::find(roots.begin(), roots.end(), root) == roots.end()) {
        roots.push_back(root);
    }
}

// `absolute` with each ".." taking away the name before it, by the text alone.
std::string without_dot_dots(const std::string& absolute)
{
    std::vector<std::string> kept;
    std::size_t k = 0;
    while (k <= absolute.size()) {
        std::size_t end = std::min(absolute.find(fsys::k_sep, k), absolute.size());
        std::string part = absolute.substr(k, end - k);
        if (part == ".." && kept.size() > 1) {
            kept.pop_back();
        } else if (part != ".." || kept.empty()) {
            kept.push_back(part);
        }
        k = end + 1;
    }
    std::string out;
    for (std::size_t n = 0; n < kept.size(); ++n) {
        out += (n > 0 ? std::string(1, fsys::k_sep) : std::string()) + kept[n];
    }
    return out.empty() || out.back() == ':' ? out + fsys::k_sep : out;
}

// True when `folder` holds an entry named `name` (letter case ignored) that is a folder.
bool holds_folder(fsys::FileSystem& fs, const std::string& folder, std::string_view name)
{
    std::vector<fsys::FolderEntry> entries;
    fs.list_folder_entries(folder, entries);
    for (const fsys::FolderEntry& e : entries) {
        if (equals_ignoring_case(e.name, name) && fs.is_folder(child_path(folder, e.name))) {
            return true;
        }
    }
    return false;
}

// A Runtime folder given where its parent was meant: every path in a document starts at
// Runtime, so below it nothing would be found, and a repair would write paths without it.
bool is_runtime_folder(fsys::FileSystem& fs, const std::string& root)
{
    const std::string name = name_of(root);
    return equals_ignoring_case(name, "Runtime") && !holds_folder(fs, root, "Runtime") &&
           (holds_folder(fs, root, "Libraries") || holds_folder(fs, root, "Geometries") || holds_folder(fs, root, "Textures"));
}

// The root as given, normalised; a Runtime folder's parent in its place, said on `notes`.
std::string content_root(fsys::FileSystem& fs, const std::string& folder, std::vector<std::string>& notes)
{
    const std::string root = normalised_root(fs, folder);
    if (!is_runtime_folder(fs, root)) {
        return root;
    }
    const std::string parent = folder_of(root);
    notes.push_back(root + " is a Runtime folder: its parent " + parent + " is used as the content root");
    return parent;
}

}  // namespace

std::string normalised_root(fsys::FileSystem& fs, const std::string& folder)
{
    if (is_bare_drive(folder)) {
        return folder;
    }
    const std::string absolute = fs.absolute_path(folder);
    const std::string lexical = without_dot_dots(absolute);
    fsys::FolderId by_text;
    fsys::FolderId by_system;
    if (lexical == absolute ||
        (fs.folder_identity(lexical, by_text) && fs.folder_identity(absolute, by_system) && by_text == by_system)) {
        return lexical;
    }
    const std::string resolved = fs.resolved_path(absolute);
    return resolved.empty() ? lexical : resolved;
}

std::string root_without_trailing_separators(std::string root)
{
    root = without_trailing_separators(std::move(root), k_native_style);
    if (!root.empty() && is_separator(root.back(), k_native_style)) {
        root.pop_back();  // the top folder: "" for "/", the bare drive for "C:\\"
    }
    return root;
}

bool gather_content_roots(fsys::FileSystem& fs, const std::vector<std::string>& given, const std::string& library_prefs,
                          std::vector<std::string>& roots, std::string& error, std::vector<std::string>& notes)
{
    roots.clear();
    for (const std::string& root : given) {
        if (!fs.is_folder(root)) {
            error = "the root " + root + (fs.entry_exists(root) ? " is not a folder" : " does not exist");
            return false;
        }
        add_once(roots, content_root(fs, root, notes));
    }
    if (!library_prefs.empty()) {
        std::string xml;
        if (!fs.read_whole_file(library_prefs, xml)) {
            error = "can't read the library preferences " + library_prefs;
            return false;
        }
        RegisteredFolders registered = parse_library_prefs(xml, k_native_style);
        for (const std::string& far : registered.unreachable) {
            notes.push_back(far + ": a drive this system cannot reach, left out");
        }
        for (const std::string& folder : registered.roots) {
            if (!fs.is_folder(folder)) {
                notes.push_back(folder + ": no such folder, left out");
                continue;
            }
            add_once(roots, content_root(fs, folder, notes));
        }
    }
    if (given.empty() && library_prefs.empty()) {
        std::string saved = read_setting(k_settings_section, k_root_key);
        if (!saved.empty() && fs.is_folder(saved)) {
            roots.push_back(content_root(fs, saved, notes));
        } else if (!saved.empty()) {
            error = "the saved Poser root " + saved + " is not a folder";
            return false;
        }
    }
    if (roots.empty()) {
        error = "no Poser root: give --root DIR or --library-prefs FILE, or save a root with a repair run first";
        return false;
    }
    return true;
}

bool resolve_library_prefs(std::string& library_prefs, std::string& error)
{
    if (library_prefs != "auto") {
        return true;
    }
    const std::vector<std::string> roaming = roaming_folders_to_search();
    library_prefs = find_library_prefs(roaming);
    if (!library_prefs.empty()) {
        return true;
    }
    error = "no LibraryPrefs.xml found in Poser*" + std::string(1, fsys::k_sep) + "*" + std::string(1, fsys::k_sep) +
            (roaming.empty() ? ": no roaming application data folder to look in" : " under");
    for (const std::string& folder : roaming) {
        error += " " + folder;
    }
    return false;
}

void add_default_report_sources(std::vector<std::string>& roots, std::string& library_prefs)
{
#ifdef _WIN32
    if (!roots.empty() || !library_prefs.empty()) {
        return;
    }
    const std::string saved = read_setting(k_settings_section, k_root_key);
    if (!saved.empty()) {
        roots.push_back(saved);
    }
    library_prefs = find_library_prefs(roaming_folders_to_search());
#else
    (void)roots;
    (void)library_prefs;
#endif
}

bool gather_report_roots(fsys::FileSystem& fs, std::vector<std::string> given, std::string library_prefs,
                         std::vector<std::string>& roots, std::string& error, std::FILE* err)
{
    add_default_report_sources(given, library_prefs);
    std::vector<std::string> notes;
    const bool gathered =
        resolve_library_prefs(library_prefs, error) && gather_content_roots(fs, given, library_prefs, roots, error, notes);
    for (const std::string& note : notes) {
        write_text(err, "tarnwick-cli: " + visible(note) + "\n");
    }
    return gathered;
}
