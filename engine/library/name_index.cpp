#include "engine/library/name_index.h"

#include "engine/base/ascii.h"
#include "engine/base/text_encoding.h"
#include "engine/library/content_paths.h"
#include "engine/library/walk.h"

#include <algorithm>
#include <tuple>

namespace {

// How many trailing components two paths share, letter case ignored.
std::size_t common_tail(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b)
{
    std::size_t n = 0;
    while (n < a.size() && n < b.size() && equals_ignoring_case(a[a.size() - 1 - n], b[b.size() - 1 - n])) {
        ++n;
    }
    return n;
}

// What a file is found by: its name with ASCII letters in lower case, and in UTF-8 as folder
// listings give it, whatever code page an older Poser file holds the reference in.
std::string name_key(std::string_view name)
{
    return lower_ascii(utf8_text(name));
}

}  // namespace

void rank_candidates(std::vector<Candidate>& candidates, std::string_view target)
{
    const std::vector<std::string_view> wanted = path_components(target);
    std::vector<std::pair<std::size_t, Candidate>> ranked;
    for (Candidate& c : candidates) {
        const std::size_t common = common_tail(path_components(c.path), wanted);
        ranked.emplace_back(common, std::move(c));
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
        const bool a_first = a.second.by_runtime_path;
        const bool b_first = b.second.by_runtime_path;
        return std::tie(b_first, b.first, a.second.root, a.second.path) <
               std::tie(a_first, a.first, b.second.root, b.second.path);
    });
    candidates.clear();
    for (auto& r : ranked) {
        candidates.push_back(std::move(r.second));
    }
}

void NameIndex::build(fsys::FileSystem& fs, const std::vector<std::string>& roots,
                      const std::unordered_set<std::string>& wanted)
{
    m_by_name.clear();
    std::unordered_set<std::string> keys;
    for (const std::string& name : wanted) {
        keys.insert(name_key(name));
    }
    std::unordered_set<std::string> seen;
    const WalkPolicy policy = library_walk_policy();
    for (std::size_t root = 0; root < roots.size(); ++root) {
        walk_folders(fs, roots[root], policy, [&](const std::string& folder, const FolderContents& contents) {
            for (const fsys::FolderEntry& e : contents.entries) {
                std::string key = name_key(e.name);
                if (e.type == fsys::EntryType::folder || (!keys.empty() && keys.count(key) == 0)) {
                    continue;
                }
                std::string path = child_path(folder, e.name);
                // A folder link is no candidate; a file under two roots counts for the first.
                if ((e.type == fsys::EntryType::file || fs.is_readable_file(path)) && seen.insert(path).second) {
                    m_by_name[key].push_back(Candidate{std::move(path), root, false});
                }
            }
        }, WalkScope{roots, nullptr});
    }
    m_built = true;
}

std::vector<Candidate> NameIndex::namesakes(std::string_view target) const
{
    const std::vector<std::string_view> parts = path_components(target);
    if (parts.empty()) {
        return {};
    }
    auto found = m_by_name.find(name_key(parts.back()));
    return found == m_by_name.end() ? std::vector<Candidate>{} : found->second;
}
