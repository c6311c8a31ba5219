#include "engine/library/disk_cache.h"

#include "engine/base/ascii.h"
#include "engine/base/prompts.h"
#include "engine/library/content_paths.h"

namespace {

// So many answers and listings are kept at most; then they are asked for again as needed.
constexpr std::size_t k_max_remembered = 65536;

std::string listing_key(std::string_view name)
{
#ifdef _WIN32
    return lower_ascii(name);
#else
    return std::string(name);
#endif
}

#ifdef _WIN32
bool is_ascii(std::string_view text)
{
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}
#endif

}  // namespace

void DiskCache::keep_while_no_prompt(const Prompts& wn)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_prompts != &wn || m_prompts_shown != wn.prompts_shown()) {
        forget_everything();
        m_prompts = &wn;
        m_prompts_shown = wn.prompts_shown();
    }
}

bool DiskCache::is_readable(const std::string& path)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_readable.find(path);
        if (found != m_readable.end()) {
            return found->second;
        }
    }
    const bool readable = m_fs.is_readable_file(path);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_readable.size() >= k_max_remembered) {
        m_readable.clear();
        m_readable_folders.clear();
    }
    if (m_readable.emplace(path, readable).second) {
        m_readable_folders.insert(folder_of(path));
    }
    return readable;
}

std::shared_ptr<const DiskCache::Listing> DiskCache::listing(const std::string& folder)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_folders.find(folder);
        if (found != m_folders.end()) {
            return found->second;
        }
    }
    // Listed outside the lock: another thread may list the same folder meanwhile, and the
    // first listing kept serves both.
    auto made = std::make_shared<Listing>();
    std::vector<fsys::FolderEntry> entries;
    if (m_fs.list_folder_entries(folder, entries)) {
        for (fsys::FolderEntry& e : entries) {
            made->by_lower_name[lower_ascii(e.name)].push_back(e.name);
            made->types.emplace(listing_key(e.name), e.type);
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_folders.size() >= k_max_remembered) {
        m_folders.clear();
    }
    return m_folders.emplace(folder, std::move(made)).first->second;
}

bool DiskCache::is_file(const std::string& folder, std::string_view name)
{
    const std::shared_ptr<const Listing> l = listing(folder);
    auto found = l->types.find(listing_key(name));
    if (found == l->types.end()) {
        // Windows also ignores the case of letters outside ASCII, which the listing's key does not fold.
#ifdef _WIN32
        return !is_ascii(name) && is_readable(child_path(folder, name));
#else
        return false;
#endif
    }
    if (found->second == fsys::EntryType::file) {
        return true;
    }
    // A link, or an entry the listing does not type, is looked at itself.
    return found->second == fsys::EntryType::other && is_readable(child_path(folder, name));
}

std::vector<std::string> DiskCache::names_like(const std::string& folder, std::string_view name)
{
    const std::shared_ptr<const Listing> l = listing(folder);
    auto found = l->by_lower_name.find(lower_ascii(name));
    return found == l->by_lower_name.end() ? std::vector<std::string>{} : found->second;
}

void DiskCache::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    forget_everything();
}

void DiskCache::forget_everything()
{
    m_readable.clear();
    m_readable_folders.clear();
    m_folders.clear();
}

void DiskCache::forget_folder_of(const std::string& path)
{
    const std::string folder = folder_of(path);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_folders.erase(folder);
    // The program changed names in that folder: what is known of them goes too. A repair
    // forgets its file's folder each time, where mostly nothing is known.
    if (m_readable_folders.erase(folder) == 0) {
        return;
    }
    for (auto k = m_readable.begin(); k != m_readable.end();) {
        k = folder_view(k->first) == folder ? m_readable.erase(k) : std::next(k);
    }
}
