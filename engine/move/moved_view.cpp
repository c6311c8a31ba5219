#include "engine/move/moved_view.h"

#include "engine/base/ascii.h"
#include "engine/library/content_paths.h"
#include "engine/text/refline.h"

#include <algorithm>

namespace {

// Two spellings of one path, letter case ignored where the system ignores it.
bool same_path(std::string_view a, std::string_view b)
{
    return k_native_style == PathStyle::windows ? equals_ignoring_case(a, b) : a == b;
}

bool at_or_below(std::string_view path, std::string_view folder)
{
    return same_path(path, folder) || is_inside_root(path, folder, k_native_style);
}

// The real place of `path`, which need not exist: its nearest folder that does, links
// followed, then the names below it as given.
std::string real_place(fsys::FileSystem& disk, const std::string& path)
{
    std::string folder = folder_of(path);
    while (!folder.empty() && !disk.entry_exists(folder) && folder_of(folder) != folder) {
        folder = folder_of(folder);
    }
    const std::string real = disk.resolved_path(folder);
    return real.empty() ? path : real + path.substr(folder.size());
}

}  // namespace

MovedView::MovedView(fsys::FileSystem& disk, std::string from, std::string to)
    : m_disk(disk), m_from(std::move(from)), m_to(std::move(to))
{
    m_from_real = m_disk.resolved_path(m_from);
    m_to_real = real_place(m_disk, m_to);
}

std::string MovedView::on_disk(const std::string& path) const
{
    if (at_or_below(path, m_to)) {
        return m_from + path.substr(m_to.size());
    }
    return at_or_below(path, m_from) ? std::string() : path;
}

bool MovedView::is_readable_file(const std::string& path)
{
    const std::string there = on_disk(path);
    return !there.empty() && m_disk.is_readable_file(there);
}

fsys::NameKind MovedView::name_kind(const std::string& path)
{
    const std::string there = on_disk(path);
    return there.empty() ? fsys::NameKind::none : m_disk.name_kind(there);
}

bool MovedView::list_folder_entries(const std::string& path, std::vector<fsys::FolderEntry>& entries)
{
    const std::string there = on_disk(path);
    if (there.empty()) {
        return false;
    }
    bool listed = m_disk.list_folder_entries(there, entries);
    if (there != path) {
        return listed;
    }
    if (same_path(path, folder_view(m_from))) {
        const std::string gone = name_of(m_from);
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [&](const fsys::FolderEntry& e) { return same_path(e.name, gone); }),
                      entries.end());
    }
    // A folder on the way to the new place: it holds the next name, made if need be.
    if (is_inside_root(m_to, path, k_native_style)) {
        const std::size_t begin = path.size() + (path.back() == fsys::k_sep ? 0 : 1);
        const std::size_t end = std::min(m_to.find(fsys::k_sep, begin), m_to.size());
        const std::string next = m_to.substr(begin, end - begin);
        const bool last = end == m_to.size();
        const auto named = [&](const fsys::FolderEntry& e) { return same_path(e.name, next); };
        if (std::none_of(entries.begin(), entries.end(), named)) {
            entries.push_back({next, last && !m_disk.is_folder(m_from) ? fsys::EntryType::file : fsys::EntryType::folder});
        }
        listed = true;
    }
    return listed;
}

std::string MovedView::resolved_path(const std::string& path)
{
    if (at_or_below(path, m_to)) {
        const std::string real = m_disk.resolved_path(on_disk(path));
        return real.size() < m_from_real.size() ? std::string() : m_to_real + real.substr(m_from_real.size());
    }
    if (at_or_below(path, m_from)) {
        return std::string();
    }
    // A path that leads into the old place by a link leads nowhere once it has moved.
    const std::string real = m_disk.resolved_path(path);
    return !at_or_below(real, m_to_real) && at_or_below(real, m_from_real) ? std::string() : real;
}
