// Folder listings read once and kept, so that whether a file exists is answered from the
// listing of its folder: a library names the same few folders thousands of times. Safe to use
// from several threads at once.
#pragma once

#include "engine/fsys.h"

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class FolderListings {
public:
    // True when `name` in `folder` is a readable regular file (a link is followed). On
    // Windows letter case is ignored, as the system ignores it.
    bool is_file(const std::string& folder, std::string_view name);
    // The entries of `folder` named like `name` when letter case is ignored, in listing order.
    std::vector<std::string> names_like(const std::string& folder, std::string_view name);
    // Forgets every listing: the disk has changed.
    void clear();
    // Forgets the listing of `folder`.
    void forget(const std::string& folder);

private:
    struct Listing {
        std::unordered_map<std::string, fsys::EntryType> types;  // by name (on Windows in lower case)
        std::unordered_map<std::string, std::vector<std::string>> by_lower_name;
    };
    std::shared_ptr<const Listing> listing(const std::string& folder);

    std::mutex m_mutex;
    std::unordered_map<std::string, std::shared_ptr<const Listing>> m_folders;
};

// ASCII letters in lower case, every other byte as it is.
std::string lower_ascii(std::string_view text);
