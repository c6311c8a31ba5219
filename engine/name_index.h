// Walks of whole content trees, and the files found in them by name: the candidates for a
// reference that is not where its path says.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// Calls `on_file` with the path and name of every entry below `folder` that is not a folder,
// in listing order. Folders whose names start with a dot and "__MACOSX" folders (an archive's
// Mac metadata) are not entered; folder links are followed, but never back into a folder
// being walked. Returns false when `folder` itself cannot be listed.
using FileVisitor = std::function<void(const std::string& path, const std::string& name)>;
bool walk_tree(const std::string& folder, const FileVisitor& on_file);

// ASCII letters in lower case, every other byte as it is.
std::string lower_ascii(std::string_view text);

// Orders candidate files for a reference, best first: the most trailing path components in
// common with `target` (letter case ignored), then the shortest path, then byte order.
void rank_candidates(std::vector<std::string>& paths, std::string_view target);

class NameIndex {
public:
    // Walks every root once and keeps the files whose lower-case names are in `wanted`, or
    // every file when `wanted` is empty.
    void build(const std::vector<std::string>& roots, const std::unordered_set<std::string>& wanted);
    bool built() const { return m_built; }
    // The files named like the last component of `target`, letter case ignored, best first.
    std::vector<std::string> candidates(std::string_view target) const;

private:
    std::unordered_map<std::string, std::vector<std::string>> m_by_name;
    bool m_built = false;
};
