#include "app/report_page.h"

#include "app/local_time.h"
#include "engine/fsys.h"
#include "engine/fsys.h"

namespace {

bool write_new_file(const std::string& path, const std::string& text)
{
    fsys::RawFile f;
    if (!fsys::disk().open_for_writing(path, fsys::Create::exclusive, f)) {
        return false;
    }
    const bool written = fsys::disk().write_all(f, text.data(), text.size());
    if (!fsys::disk().close_file(f) || !written) {
        fsys::disk().remove_file(path);
        return false;
    }
    return true;
}

}  // namespace

std::string report_page_name(std::time_t made)
{
    return local_time_text(made, "library-report-%Y-%m-%d-%H%M%S.html");
}

std::string write_report_page(const std::string& folder, std::time_t made, const std::string& page,
                              std::string& path_tried)
{
    const std::string name = report_page_name(made);
    const std::string stem = folder + fsys::k_sep + name.substr(0, name.size() - 5);
    path_tried = stem + ".html";
    if (!fsys::disk().make_folders(folder)) {
        return std::string();
    }
    for (int k = 1; k < 100; ++k) {
        const std::string path = k == 1 ? stem + ".html" : stem + "-" + std::to_string(k) + ".html";
        if (fsys::disk().entry_exists(path)) {
            continue;
        }
        path_tried = path;
        return write_new_file(path, page) ? path : std::string();
    }
    return std::string();
}
