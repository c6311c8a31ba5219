#include "app/report_page.h"

#include "app/local_time.h"
#include "engine/fsys/fsys.h"

#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr const char* k_page_prefix = "library-report-";
constexpr std::size_t k_stamp_chars = 17;  // YYYY-MM-DD-HHMMSS

// Where a page's name puts it among the others: its time, then its number (1 for none); the
// time empty for any name write_report_page does not make.
std::pair<std::string, int> page_order(const std::string& name)
{
    const std::size_t prefix = std::strlen(k_page_prefix);
    const std::size_t end = name.size() < 5 ? 0 : name.size() - 5;
    if (name.compare(0, prefix, k_page_prefix) != 0 || end < prefix + k_stamp_chars ||
        name.compare(end, 5, ".html") != 0) {
        return {};
    }
    const std::string stamp = name.substr(prefix, k_stamp_chars);
    const std::string number = name.substr(prefix + k_stamp_chars, end - prefix - k_stamp_chars);
    if (number.empty()) {
        return {stamp, 1};
    }
    // "-2" to "-99", as write_report_page numbers them.
    const bool numbered = (number.size() == 2 || number.size() == 3) && number[0] == '-' &&
                          number.find_first_not_of("0123456789", 1) == std::string::npos;
    return numbered ? std::pair<std::string, int>{stamp, std::stoi(number.substr(1))} : std::pair<std::string, int>{};
}

}  // namespace

std::string report_page_name(std::time_t made)
{
    return local_time_text(made, "library-report-%Y-%m-%d-%H%M%S.html");
}

std::string write_report_page(fsys::FileSystem& fs, const std::string& folder, std::time_t made, const std::string& page,
                              std::string& path_tried)
{
    const std::string name = report_page_name(made);
    const std::string stem = folder + fsys::k_sep + name.substr(0, name.size() - 5);
    path_tried = stem + ".html";
    if (!fs.make_folders(folder)) {
        return std::string();
    }
    for (int k = 1; k < 100; ++k) {
        const std::string path = k == 1 ? stem + ".html" : stem + "-" + std::to_string(k) + ".html";
        if (fs.entry_exists(path)) {
            continue;
        }
        path_tried = path;
        return fs.write_file(path, page, fsys::Create::exclusive) ? path : std::string();
    }
    return std::string();
}

std::string newest_report_page(fsys::FileSystem& fs, const std::string& folder)
{
    std::vector<fsys::FolderEntry> entries;
    if (!fs.list_folder_entries(folder, entries)) {
        return std::string();
    }
    std::pair<std::string, int> newest;
    std::string name;
    for (const fsys::FolderEntry& entry : entries) {
        const std::pair<std::string, int> order = page_order(entry.name);
        if (entry.type == fsys::EntryType::file && !order.first.empty() && order > newest) {
            newest = order;
            name = entry.name;
        }
    }
    return name.empty() ? std::string() : folder + fsys::k_sep + name;
}
