#include "app/content_roots.h"

#include "app/console_text.h"
#include "app/report_output.h"
#include "app/settings.h"
#include "engine/fsys.h"
#include "engine/library_prefs.h"
#include "engine/textio.h"

#include <algorithm>

namespace {

bool read_whole_file(const std::string& path, std::string& text)
{
    fsys::RawFile f;
    if (!fsys::open_for_reading(path, f)) {
        return false;
    }
    char block[65536];
    long long n = 0;
    while ((n = fsys::read_some(f, block, sizeof block)) > 0) {
        text.append(block, static_cast<std::size_t>(n));
    }
    fsys::close_file(f);
    return n == 0;
}

void add_once(std::vector<std::string>& roots, const std::string& root)
{
    if (std::find(roots.begin(), roots.end(), root) == roots.end()) {
        roots.push_back(root);
    }
}

}  // namespace

std::string root_without_trailing_separators(std::string root)
{
    while (!root.empty() && (root.back() == '/' || (fsys::k_sep == '\\' && root.back() == '\\'))) {
        root.pop_back();
    }
    return root;
}

bool gather_content_roots(const std::vector<std::string>& given, const std::string& library_prefs,
                          std::vector<std::string>& roots, std::string& error, std::FILE* notes)
{
    roots.clear();
    for (const std::string& root : given) {
        if (!fsys::is_folder(root)) {
            error = "the root " + root + (fsys::entry_exists(root) ? " is not a folder" : " does not exist");
            return false;
        }
        add_once(roots, root_without_trailing_separators(fsys::absolute_path(root)));
    }
    if (!library_prefs.empty()) {
        std::string xml;
        if (!read_whole_file(library_prefs, xml)) {
            error = "can't read the library preferences " + library_prefs;
            return false;
        }
        RegisteredFolders registered = parse_library_prefs(xml, k_native_style);
        for (const std::string& far : registered.unreachable) {
            write_text(notes, "tarnwick-cli: " + visible(far) + ": a drive this system cannot reach, left out\n");
        }
        for (const std::string& folder : registered.roots) {
            if (!fsys::is_folder(folder)) {
                write_text(notes, "tarnwick-cli: " + visible(folder) + ": no such folder, left out\n");
                continue;
            }
            add_once(roots, root_without_trailing_separators(fsys::absolute_path(folder)));
        }
    }
    if (given.empty() && library_prefs.empty()) {
        std::string saved = read_setting(k_settings_section, k_root_key);
        if (!saved.empty() && fsys::is_folder(saved)) {
            roots.push_back(root_without_trailing_separators(saved));
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
