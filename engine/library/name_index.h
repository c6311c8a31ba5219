// The files found under the content roots by name: the candidates for a reference that is not
// where its path says.
#pragma once

#include "engine/fsys/fsys.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// A file that may stand in for a reference that is not where its path says.
struct Candidate {
    std::string path;
    std::size_t root = 0;  // the index of the root it lies under
    // Its path from its Runtime folder on is the reference's (letter case ignored): the same
    // file under another root, not a guess.
    bool by_runtime_path = false;
};

// Orders candidates for a reference, best first: those found by their Runtime path, then the
// most trailing path components in common with `target` (letter case ignored), then the
// order of the roots, then the path.
void rank_candidates(std::vector<Candidate>& candidates, std::string_view target);

class NameIndex {
public:
    // Walks every root once, as the library rules walk, and keeps the files whose lower-case
    // names are in `wanted`, or every file when `wanted` is empty.
    void build(fsys::FileSystem& fs, const std::vector<std::string>& roots, const std::unordered_set<std::string>& wanted);
    bool built() const { return m_built; }
    // The files named like the last component of `target`, letter case ignored, in the order
    // the roots were walked.
    std::vector<Candidate> namesakes(std::string_view target) const;

private:
    std::unordered_map<std::string, std::vector<Candidate>> m_by_name;
    bool m_built = false;
};
