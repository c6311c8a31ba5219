#include "engine/zip/zip_fs.h"

#include "engine/base/ascii.h"
#include "engine/base/path_style.h"
#include "engine/zip/zip_entry_reader.h"

#include <algorithm>
#include <atomic>

namespace zipfs {

namespace {

// Idle archive handles kept for the next reader: the report reads with up to about eight threads.
constexpr std::size_t k_idle_handles = 8;

// Folder identities of zips stay apart from each other and from real volumes' numbers.
std::uint64_t next_volume()
{
    static std::atomic<std::uint64_t> counter{0};
    return 0x5a49500000000000ull + ++counter;
}

}  // namespace

bool is_at_or_below(std::string_view path, std::string_view point, std::string* below)
{
    if (path.size() < point.size()) {
        return false;
    }
    const std::string_view head = path.substr(0, point.size());
    const bool same = fsys::k_sep == '\\' ? equals_ignoring_case(head, point) : head == point;
    if (!same || (path.size() > point.size() && !is_separator(path[point.size()], k_native_style))) {
        return false;
    }
    if (below != nullptr) {
        below->assign(path.size() > point.size() ? path.substr(point.size() + 1) : std::string_view());
        std::replace(below->begin(), below->end(), fsys::k_sep, '/');
    }
    return true;
}

struct ZipFileSystem::OpenEntry {
    ZipHandle handle;  // declared first: the reader's entry closes before its archive
    EntryReader reader;
    std::uint64_t size = 0;
    bool failed = false;
};

ZipFileSystem::ZipFileSystem(fsys::FileSystem& base, std::string zip_path, std::string mount_point)
    : m_base(base), m_zip_path(std::move(zip_path)), m_mount_point(std::move(mount_point)), m_volume(next_volume())
{
}

ZipFileSystem::~ZipFileSystem() = default;

std::unique_ptr<ZipFileSystem> ZipFileSystem::open(fsys::FileSystem& base, const std::string& zip_path,
                                                   const std::string& mount_point, std::string& reason)
{
    ZipHandle first = open_zip(base, zip_path, Checks::directory, reason);
    if (first == nullptr) {
        return nullptr;
    }
    std::unique_ptr<ZipFileSystem> zip(new ZipFileSystem(base, zip_path, mount_point));
    if (!read_entries(first.get(), zip->m_entries, reason)) {
        return nullptr;
    }
    zip->build_tree();
    zip->m_handles = 1;
    zip->m_idle.push_back(std::move(first));
    return zip;
}

std::size_t ZipFileSystem::child_folder(std::size_t parent, std::string_view name)
{
    const auto [it, added] = m_nodes[parent].children.try_emplace(std::string(name), m_nodes.size());
    const std::size_t index = it->second;  // before m_nodes grows and moves the map
    if (added) {
        m_nodes.emplace_back();
    }
    // A folder takes the name from a file stored under it: the files below it are reachable.
    m_nodes[index].folder = true;
    return index;
}

void ZipFileSystem::build_tree()
{
    m_nodes.assign(1, Node());
    m_nodes[0].folder = true;
    for (std::size_t k = 0; k < m_entries.size(); ++k) {
        const ZipEntry& e = m_entries[k];
        if (e.fault != NameFault::none || e.is_link || e.too_long) {
            continue;
        }
        const std::vector<std::string_view> parts = name_components(e.name);
        std::size_t node = 0;
        for (std::size_t p = 0; p + 1 < parts.size(); ++p) {
            node = child_folder(node, parts[p]);
        }
        if (e.is_folder) {
            child_folder(node, parts.back());
            continue;
        }
        // A name stored twice is read as its first entry, as libzip finds names; a file whose
        // name is also a folder's stays unreachable. The check reports both.
        const auto [it, added] = m_nodes[node].children.try_emplace(std::string(parts.back()), m_nodes.size());
        if (added) {
            m_nodes.emplace_back();
            m_nodes.back().entry = k;
        }
    }
    for (Node& node : m_nodes) {
        for (const auto& [name, index] : node.children) {
            node.listing.push_back({name, m_nodes[index].folder ? fsys::EntryType::folder : fsys::EntryType::file});
        }
        std::sort(node.listing.begin(), node.listing.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    }
}

const ZipFileSystem::Node* ZipFileSystem::find(const std::string& path, std::size_t* index) const
{
    std::string below;
    if (!fsys::is_nameable(path) || !is_at_or_below(path, m_mount_point, &below)) {
        return nullptr;
    }
    std::size_t node = 0;
    if (!below.empty()) {
        for (std::string_view part : name_components(below)) {
            const auto found = m_nodes[node].children.find(std::string(part));
            if (found == m_nodes[node].children.end()) {
                return nullptr;
            }
            node = found->second;
        }
    }
    if (index != nullptr) {
        *index = node;
    }
    return &m_nodes[node];
}

ZipHandle ZipFileSystem::take_handle()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_idle.empty()) {
            ZipHandle handle = std::move(m_idle.back());
            m_idle.pop_back();
            return handle;
        }
    }
    // Parsing the directory again takes a while in a large zip: not under the lock.
    std::string reason;
    ZipHandle handle = open_zip(m_base, m_zip_path, Checks::directory, reason);
    // A zip changed on the disk since it was mounted no longer matches the tree.
    if (handle != nullptr && zip_get_num_entries(handle.get(), 0) != static_cast<zip_int64_t>(m_entries.size())) {
        handle.reset();
    }
    if (handle != nullptr) {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_handles;
    }
    return handle;
}

void ZipFileSystem::give_back(ZipHandle handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_idle.size() < k_idle_handles) {
        m_idle.push_back(std::move(handle));
    } else {
        --m_handles;
    }
}

std::size_t ZipFileSystem::open_handles()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_handles;
}

ZipFileSystem::OpenEntry* ZipFileSystem::open_entry(const fsys::RawFile& f)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_open.find(f.handle);
    return found == m_open.end() ? nullptr : found->second.get();
}

bool ZipFileSystem::open_for_reading(const std::string& path, fsys::RawFile& f, fsys::Listed)
{
    const Node* node = find(path);
    if (node == nullptr || node->folder) {
        return false;
    }
    auto open = std::make_unique<OpenEntry>();
    open->handle = take_handle();
    if (open->handle == nullptr) {
        return false;
    }
    const ZipEntry& entry = m_entries[node->entry];
    open->size = entry.size;
    // An entry that cannot be inflated still opens: its reads fail, with the reason kept.
    open->failed = !open->reader.open(open->handle.get(), entry);
    std::lock_guard<std::mutex> lock(m_mutex);
    f.handle = m_next_file++;
    f.path = path;
    m_open.emplace(f.handle, std::move(open));
    return true;
}

long long ZipFileSystem::read_some(fsys::RawFile& f, char* buf, std::size_t size)
{
    OpenEntry* open = open_entry(f);
    if (open == nullptr) {
        return -1;
    }
    const long long n = open->failed ? -1 : open->reader.read_some(buf, size);
    open->failed = n < 0;
    return n;
}

bool ZipFileSystem::seek_to(fsys::RawFile& f, long long offset)
{
    OpenEntry* open = open_entry(f);
    if (open == nullptr || open->failed || offset < 0) {
        return false;
    }
    return open->reader.seek_to(static_cast<std::uint64_t>(offset));
}

long long ZipFileSystem::file_size(fsys::RawFile& f)
{
    OpenEntry* open = open_entry(f);
    if (open == nullptr || open->failed) {
        return -1;
    }
    return static_cast<long long>(open->size);
}

std::string ZipFileSystem::read_failure(const fsys::RawFile& f)
{
    OpenEntry* open = open_entry(f);
    return open == nullptr ? std::string() : open->reader.reason();
}

bool ZipFileSystem::close_file(fsys::RawFile& f)
{
    std::unique_ptr<OpenEntry> open;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_open.find(f.handle);
        if (found == m_open.end()) {
            return false;
        }
        open = std::move(found->second);
        m_open.erase(found);
    }
    f.handle = -1;
    open->reader.close();
    give_back(std::move(open->handle));
    return true;
}

bool ZipFileSystem::is_readable_file(const std::string& path)
{
    const Node* node = find(path);
    return node != nullptr && !node->folder;
}

bool ZipFileSystem::entry_exists(const std::string& path)
{
    return find(path) != nullptr;
}

fsys::NameKind ZipFileSystem::name_kind(const std::string& path)
{
    const Node* node = find(path);
    if (node == nullptr) {
        return fsys::NameKind::none;
    }
    return node->folder ? fsys::NameKind::folder : fsys::NameKind::file;
}

bool ZipFileSystem::is_folder(const std::string& path)
{
    const Node* node = find(path);
    return node != nullptr && node->folder;
}

long long ZipFileSystem::modified_time(const std::string& path)
{
    const Node* node = find(path);
    return node != nullptr && !node->folder ? m_entries[node->entry].mtime : -1;
}

bool ZipFileSystem::folder_identity(const std::string& path, fsys::FolderId& id)
{
    std::size_t index = 0;
    const Node* node = find(path, &index);
    if (node == nullptr || !node->folder) {
        return false;
    }
    id = {m_volume, index};
    return true;
}

bool ZipFileSystem::list_folder_entries(const std::string& path, std::vector<fsys::FolderEntry>& entries)
{
    const Node* node = find(path);
    if (node == nullptr || !node->folder) {
        return false;
    }
    entries = node->listing;
    return true;
}

// A zip read for a check or a report is never changed.
bool ZipFileSystem::open_for_writing(const std::string&, fsys::Create, fsys::RawFile&) { return false; }
bool ZipFileSystem::write_all(fsys::RawFile&, const char*, std::size_t) { return false; }
bool ZipFileSystem::sync_to_disk(fsys::RawFile&) { return false; }
bool ZipFileSystem::rename_noreplace(const std::string&, const std::string&) { return false; }
bool ZipFileSystem::rename_replace(const std::string&, const std::string&) { return false; }
bool ZipFileSystem::remove_file(const std::string&) { return false; }
bool ZipFileSystem::make_folder(const std::string&) { return false; }
bool ZipFileSystem::remove_folder(const std::string&) { return false; }
bool ZipFileSystem::give_protection(const std::string&, const std::string&) { return false; }

// A zip has no current folder: paths into it are absolute, below its mount point.
std::string ZipFileSystem::current_folder()
{
    return std::string();
}

std::string ZipFileSystem::absolute_path(const std::string& path)
{
    return is_at_or_below(path, m_mount_point) ? path : std::string();
}

// No entry is a link, so an entry's path is already its real one, spelt with the mount point
// as mounted and the system's separators.
std::string ZipFileSystem::resolved_path(const std::string& path)
{
    std::string below;
    if (find(path) == nullptr || !is_at_or_below(path, m_mount_point, &below)) {
        return std::string();
    }
    std::replace(below.begin(), below.end(), '/', fsys::k_sep);
    return below.empty() ? m_mount_point : m_mount_point + fsys::k_sep + below;
}

}  // namespace zipfs
