// Where the file a reference names lies, by the library rules: by its own path (as written,
// below a root, an image also below a root's textures folder, letter case as written or
// ignored), or else the files that may stand in for it. The report, the extended check and the
// extended correction all ask here, so they cannot disagree.
#pragma once

#include "engine/library/disk_cache.h"
#include "engine/library/name_index.h"
#include "engine/library/path_boundary.h"
#include "engine/text/references.h"

#include <string>
#include <string_view>
#include <vector>

// How a reference resolves, from best to worst: refused when it must not be looked up at all
// (path_boundary.h).
enum class RefStatus { ok, absolute, case_only, moved, missing, refused };
inline constexpr int k_ref_statuses = 6;
// "ok", "absolute", "case", "moved", "missing" or "refused".
std::string_view status_name(RefStatus status);

struct Located {
    // ok, absolute or case_only; missing when the reference's own path finds nothing.
    RefStatus status = RefStatus::missing;
    // The file found (for case_only every file found so, best first); for missing, where the
    // reference points as people read it: the path as written when another machine wrote it,
    // else below the first root (or beside the document).
    std::vector<std::string> paths;
    std::size_t root = 0;  // the root it was found under (ok, case_only); npos beside a document under none
    Refusal refusal = Refusal::none;  // why it is refused; `paths` then holds the path as written
};

// What a reference names, as a key: its kind, the folder of its document when it is read from
// there (`document_folder`), and its text. References of one key name the same file.
std::string reference_key(const FileReference& ref, const std::string& document_folder);
// The same written into `key`, whose room a reader keeps from one reference to the next: a
// library holds hundreds of thousands of references, and a string made for each costs more
// than looking it up.
void set_reference_key(std::string& key, const FileReference& ref, const std::string& document_folder);

class Resolver {
public:
    // `roots` in order of preference, absolute, without trailing separators ("/" stays "/");
    // what the disk holds is asked through `cache`.
    Resolver(std::vector<std::string> roots, DiskCache& cache) : m_roots(std::move(roots)), m_cache(cache) {}
    const std::vector<std::string>& roots() const { return m_roots; }

    // Looks for the file by the reference's own path; `document_folder` is the folder of the
    // document that holds it. A path the boundary refuses is never looked up. Safe on several
    // threads at once.
    Located locate(const FileReference& ref, const std::string& document_folder);
    // The files that may stand in for a reference not found by its path, best first: the
    // file at its path from its Runtime folder on under each root (unless that part climbs
    // out), then every file of its name in `index`.
    std::vector<Candidate> candidates(std::string_view target, const NameIndex& index);
    // The file a reference names as Poser finds it, "" when none: by its own path, or a path
    // saved on another machine by its part from Runtime on (a namesake elsewhere is no proof).
    // `refusal`, when given, tells why the boundary refused its path.
    std::string found_file(const FileReference& ref, const std::string& document_folder, Refusal* refusal = nullptr);

private:
    bool is_file(const std::string& base, const std::vector<std::string_view>& parts);
    std::vector<std::string> bases(const FileReference& ref, const std::string& document_folder) const;
    std::vector<std::string> find_ignoring_case(const std::string& base, const std::vector<std::string_view>& parts);

    std::vector<std::string> m_roots;
    DiskCache& m_cache;
};
