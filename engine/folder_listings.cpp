#include "engine/folder_listings.h"

#include "engine/content_paths.h"

namespace {

// So many folders' listings are kept at most; then they are read again as needed.
constexpr std::size_t k_max_folders = 65536;

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

std::string lower_ascii(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::shared_ptr<const FolderListings::Listing> FolderListings::listing(const std::string& folder)
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
    if (fsys::list_folder_entries(folder, entries)) {
        for (fsys::FolderEntry& e : entries) {
            made->by_lower_name[lower_ascii(e.name)].push_back(e.name);
            made->types.emplace(listing_key(e.name), e.type);
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_folders.size() >= k_max_folders) {
        m_folders.clear();
    }
    return m_folders.emplace(folder, std::move(made)).first->second;
}

bool FolderListings::is_file(const std::string& folder, std::string_view name)
{
    if (name.empty()) {
        return false;
    }
    const std::shared_ptr<const Listing> l = listing(folder);
    auto found = l->types.find(listing_key(name));
    if (found == l->types.end()) {
        // Windows also ignores the case of letters outside ASCII, which the listing's key does not fold.
#ifdef _WIN32
        return !is_ascii(name) && fsys::is_readable_file(child_path(folder, name));
#else
        return false;
#endif
    }
    if (found->second == fsys::EntryType::file) {
        return true;
    }
    // A link, or an entry the listing does not type, is looked at itself.
    return found->second == fsys::EntryType::other && fsys::is_readable_file(child_path(folder, name));
}

std::vector<std::string> FolderListings::names_like(const std::string& folder, std::string_view name)
{
    const std::shared_ptr<const Listing> l = listing(folder);
    auto found = l->by_lower_name.find(lower_ascii(name));
    return found == l->by_lower_name.end() ? std::vector<std::string>{} : found->second;
}

void FolderListings::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_folders.clear();
}

void FolderListings::forget(const std::string& folder)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_folders.erase(folder);
}
