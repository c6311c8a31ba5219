// What a run or a report has learnt of the disk: whether files can be read, and the listings
// of the folders that hold them, each asked once and kept, because a library names the same
// few hundred files and folders thousands of times. The program's one cache of the disk: it is
// forgotten whole once a prompt has been shown (the user may change the disk while one is
// open) and folder by folder where the program itself changes the disk. Safe to use from
// several threads at once.
#pragma once

#include "engine/fsys/fsys.h"

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class Prompts;

class DiskCache {
public:
    explicit DiskCache(fsys::FileSystem& fs) : m_fs(fs) {}
    fsys::FileSystem& fs() { return m_fs; }

    // Forgets everything learnt when `wn` is not the prompts seen last or has shown a prompt
    // since: then the user may have changed the disk.
    void keep_while_no_prompt(const Prompts& wn);
    // True when `path` can be opened for reading as a regular file.
    bool is_readable(const std::string& path);
    // True when `name` in `folder` is a readable regular file (a link is followed), as its
    // folder's listing tells. On Windows letter case is ignored, as the system ignores it.
    bool is_file(const std::string& folder, std::string_view name);
    // The entries of `folder` named like `name` when letter case is ignored, in listing order.
    std::vector<std::string> names_like(const std::string& folder, std::string_view name);
    // Forgets everything: the disk has changed.
    void clear();
    // Forgets what was learnt of the folder that holds `path`, which the program has changed.
    void forget_folder_of(const std::string& path);

private:
    struct Listing {
        std::unordered_map<std::string, fsys::EntryType> types;  // by name (on Windows in lower case)
        std::unordered_map<std::string, std::vector<std::string>> by_lower_name;
    };
    std::shared_ptr<const Listing> listing(const std::string& folder);
    void forget_everything();  // the lock is held

    fsys::FileSystem& m_fs;
    std::mutex m_mutex;  // guards everything below
    const Prompts* m_prompts = nullptr;
    unsigned long long m_prompts_shown = 0;
    std::unordered_map<std::string, bool> m_readable;
    std::unordered_set<std::string> m_readable_folders;  // the folders of m_readable's paths
    std::unordered_map<std::string, std::shared_ptr<const Listing>> m_folders;
};
