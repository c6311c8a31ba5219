#include "engine/library/resolver.h"

#include "engine/fsys/fsys.h"
#include "engine/library/content_paths.h"

#include <algorithm>

namespace {

// A path as written names a file on this machine: on POSIX only a path from the top does (a
// drive or a share cannot be reached here).
bool names_existing_file(fsys::FileSystem& fs, std::string_view absolute)
{
#ifndef _WIN32
    if (absolute.empty() || absolute[0] != '/' || (absolute.size() > 1 && absolute[1] == '/')) {
        return false;
    }
#endif
    return fs.is_readable_file(std::string(absolute));
}

}  // namespace

std::string_view status_name(RefStatus status)
{
    switch (status) {
    case RefStatus::ok: return "ok";
    case RefStatus::absolute: return "absolute";
    case RefStatus::case_only: return "case";
    case RefStatus::moved: return "moved";
    case RefStatus::missing: return "missing";
    case RefStatus::refused: return "refused";
    }
    return "missing";
}

bool Resolver::is_file(const std::string& base, const std::vector<std::string_view>& parts)
{
    if (parts.empty()) {
        return false;
    }
    const std::vector<std::string_view> folders(parts.begin(), parts.end() - 1);
    return m_cache.is_file(join_path(base, folders), parts.back());
}

// The folders below which a relative reference may lie, in order: beside the document for a
// script Poser runs from there, then each root and, for an image, the root's textures folder
// (older content names images relative to it).
std::vector<std::string> Resolver::bases(const FileReference& ref, const std::string& document_folder) const
{
    std::vector<std::string> found;
    if (ref.beside_document && !document_folder.empty()) {
        found.push_back(document_folder);
    }
    for (const std::string& root : m_roots) {
        found.push_back(root);
        if (ref.kind == RefKind::image) {
            found.push_back(join_path(root, {"Runtime", "Textures"}));
        }
    }
    return found;
}

// Every regular file that `base` and `parts` name when letter case is ignored in the parts.
std::vector<std::string> Resolver::find_ignoring_case(const std::string& base, const std::vector<std::string_view>& parts)
{
    std::vector<std::string> level{base};
    for (std::size_t k = 0; k < parts.size() && !level.empty(); ++k) {
        std::vector<std::string> next;
        for (const std::string& folder : level) {
            for (const std::string& name : m_cache.names_like(folder, parts[k])) {
                if (k + 1 < parts.size() || m_cache.is_file(folder, name)) {
                    next.push_back(child_path(folder, name));
                }
            }
        }
        level = std::move(next);
    }
    return parts.empty() ? std::vector<std::string>{} : level;
}

std::string reference_key(const FileReference& ref, const std::string& document_folder)
{
    std::string key;
    set_reference_key(key, ref, document_folder);
    return key;
}

void set_reference_key(std::string& key, const FileReference& ref, const std::string& document_folder)
{
    key.assign(1, static_cast<char>('0' + static_cast<int>(ref.kind)));
    if (ref.beside_document) {
        key += document_folder;
    }
    key += '\0';
    key.append(ref.target);
}

Located Resolver::locate(const FileReference& ref, const std::string& document_folder)
{
    Located out;
    const std::string_view target = ref.target;
    fsys::FileSystem& fs = m_cache.fs();
    const PathStyle style = fs.path_style();
    // Nothing about the path reaches the system before the boundary has let it: not even the
    // look at whether a path from the top names a file as it stands.
    out.refusal = refusal_of_text(target, style);
    if (out.refusal == Refusal::none && style == PathStyle::posix && !target.empty() && target[0] == '/') {
        out.refusal = refusal_of_file(fs, std::string(target));
    }
    const bool outright = out.refusal == Refusal::none && (is_absolute_reference(fs, target) || is_written_elsewhere(target));
    if (outright) {
        out.status = names_existing_file(fs, target) ? RefStatus::absolute : RefStatus::missing;
        out.paths.emplace_back(target);
        return out;
    }
    const BoundedPath bounded = out.refusal == Refusal::none ? bounded_path(target, style) : BoundedPath{out.refusal, {}};
    if (bounded.refusal != Refusal::none) {
        out.status = RefStatus::refused;
        out.refusal = bounded.refusal;
        out.paths.emplace_back(target);
        return out;
    }
    const std::vector<std::string_view>& parts = bounded.names;
    const std::vector<std::string> bases = this->bases(ref, document_folder);
    for (const std::string& base : bases) {
        if (is_file(base, parts)) {
            out.status = RefStatus::ok;
            out.paths.push_back(join_path(base, parts));
            out.root = root_holding(out.paths.back(), m_roots);
            return out;
        }
    }
#ifndef _WIN32
    // Windows ignores letter case, so such a file is found by its path there already.
    std::vector<Candidate> found;
    for (const std::string& base : bases) {
        for (std::string& path : find_ignoring_case(base, parts)) {
            found.push_back(Candidate{std::move(path), root_holding(base + fsys::k_sep, m_roots), false});
        }
    }
    rank_candidates(found, target);
    for (Candidate& c : found) {
        if (std::find(out.paths.begin(), out.paths.end(), c.path) == out.paths.end()) {
            out.paths.push_back(std::move(c.path));
        }
    }
    if (!out.paths.empty()) {
        out.status = RefStatus::case_only;
        out.root = root_holding(out.paths.front(), m_roots);
        return out;
    }
#endif
    out.paths.push_back(join_path(bases.empty() ? std::string() : bases.front(), parts));
    // A pipe or a device under the file's name is no file: refused, never opened.
    out.refusal = refusal_of_file(fs, out.paths.back());
    out.status = out.refusal == Refusal::none ? RefStatus::missing : RefStatus::refused;
    return out;
}

std::vector<Candidate> Resolver::candidates(std::string_view target, const NameIndex& index)
{
    std::vector<Candidate> found;
    const std::vector<std::string_view> parts = path_components(target);
    const std::size_t runtime = last_runtime_component(parts);
    if (runtime != std::string_view::npos && runtime > 0) {
        // The part from Runtime on is joined below each root, within the boundary's rules.
        const std::vector<std::string_view> from_runtime(parts.begin() + static_cast<std::ptrdiff_t>(runtime), parts.end());
        std::string joined;
        for (std::string_view part : from_runtime) {
            joined.append(part).push_back(':');
        }
        const BoundedPath bounded = bounded_path(joined, m_cache.fs().path_style());
        const std::vector<std::string_view> tail(bounded.names.begin(), bounded.names.end());
        for (std::size_t root = 0; root < m_roots.size() && bounded.refusal == Refusal::none; ++root) {
            if (is_file(m_roots[root], tail)) {
                found.push_back(Candidate{join_path(m_roots[root], tail), root, true});
                continue;
            }
            for (std::string& path : find_ignoring_case(m_roots[root], tail)) {
                found.push_back(Candidate{std::move(path), root, true});
            }
        }
    }
    for (Candidate& c : index.namesakes(target)) {
        auto same = [&](const Candidate& f) { return f.path == c.path; };
        if (std::none_of(found.begin(), found.end(), same)) {
            found.push_back(std::move(c));
        }
    }
    rank_candidates(found, target);
    return found;
}

std::string Resolver::found_file(const FileReference& ref, const std::string& document_folder, Refusal* refusal)
{
    const Located at = locate(ref, document_folder);
    if (refusal != nullptr) {
        *refusal = at.refusal;
    }
    if (at.status == RefStatus::ok || at.status == RefStatus::case_only || at.status == RefStatus::absolute) {
        return at.paths.front();
    }
    if (at.status == RefStatus::missing && is_written_elsewhere(ref.target)) {
        const NameIndex no_names;
        for (const Candidate& c : candidates(ref.target, no_names)) {
            if (c.by_runtime_path) {
                return c.path;
            }
        }
    }
    return std::string();
}
