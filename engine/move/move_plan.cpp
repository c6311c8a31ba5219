#include "engine/move/move_plan.h"

#include "engine/base/ascii.h"
#include "engine/base/poser_documents.h"
#include "engine/base/run_stop.h"
#include "engine/base/text_encoding.h"
#include "engine/library/content_paths.h"
#include "engine/library/disk_cache.h"
#include "engine/library/resolver.h"
#include "engine/library/walk.h"
#include "engine/move/moved_view.h"
#include "engine/move/tree_move.h"
#include "engine/text/document_references.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace {

bool same_path(std::string_view a, std::string_view b)
{
    return k_native_style == PathStyle::windows ? equals_ignoring_case(a, b) : a == b;
}

bool at_or_below(std::string_view path, std::string_view folder)
{
    return same_path(path, folder) || is_inside_root(path, folder, k_native_style);
}

// The first name of `path` below `root`.
std::string first_name_below(const std::string& root, const std::string& path)
{
    const std::vector<std::string_view> parts = path_components(std::string_view(path).substr(std::min(root.size(), path.size())));
    return parts.empty() ? std::string() : std::string(parts.front());
}

// A name that colon notation could not give back: it would be read as two names.
bool is_unwritable_name(std::string_view name)
{
    return name.find(':') != std::string_view::npos || (k_native_style == PathStyle::posix && name.find('\\') != std::string_view::npos);
}

// What the move does to the references of one target: nothing, a new text, or a refusal.
struct Decision {
    std::string text;     // the path written instead, "" for none
    std::string refusal;  // why the move cannot keep this reference, "" when it can
};

class Planner {
public:
    Planner(fsys::FileSystem& fs, const std::vector<std::string>& roots, MovePlan& plan)
        : m_fs(fs), m_roots(roots), m_plan(plan), m_before_cache(fs), m_before(roots, m_before_cache)
    {
        for (const std::string& root : roots) {
            m_real_roots.push_back(fs.resolved_path(root));
        }
    }
    bool check_source(const std::string& given, std::string& reason);
    bool check_target(const std::string& given, std::string& reason);
    bool read_documents(const MoveProgress& progress, std::string& reason);

private:
    struct Local {
        std::unordered_map<std::string, Decision> decisions;
        TextReader in;
    };
    std::size_t root_named(const std::string& path) const;
    std::string placed(fsys::FileSystem& fs, const std::string& path);
    std::string real_path(fsys::FileSystem& fs, const std::string& path);
    std::string moved(const std::string& path) const { return m_plan.target + path.substr(m_plan.source.size()); }
    std::string found_after(const FileReference& ref, const std::string& folder);
    Decision decide(const FileReference& ref, const std::string& folder, bool document_moves);
    const Decision& decision(const FileReference& ref, const std::string& folder, bool document_moves, Local& local);
    void read_document(const LibraryDocument& d, Local& local);
    void work(const std::vector<LibraryDocument>& documents);

    fsys::FileSystem& m_fs;
    const std::vector<std::string>& m_roots;
    MovePlan& m_plan;
    std::vector<std::string> m_real_roots;  // the roots, every link followed
    DiskCache m_before_cache;
    Resolver m_before;
    std::unique_ptr<MovedView> m_view;
    std::unique_ptr<DiskCache> m_after_cache;
    std::unique_ptr<Resolver> m_after;

    std::atomic<std::size_t> m_next{0};
    std::atomic<long long> m_done{0};
    std::mutex m_mutex;  // guards what follows
    std::condition_variable m_read;  // every document has been read
    std::unordered_map<const fsys::FileSystem*, std::unordered_map<std::string, std::string>> m_real_folders;
    std::unordered_map<std::string, Decision> m_decisions;
    std::string m_refusal;
    std::string m_refused_in;  // the document the refusal was found in
};

std::size_t Planner::root_named(const std::string& path) const
{
    const std::string real = m_fs.resolved_path(path);
    for (std::size_t k = 0; k < m_real_roots.size(); ++k) {
        if (!real.empty() && same_path(real, m_real_roots[k])) {
            return k;
        }
    }
    return std::string::npos;
}

// Where `path` really lies, links followed: its folder's place (asked once for each folder, as a
// library names thousands of files in a few folders) and its name, unless it is a link itself or
// the disk ignores letter case (the name as stored is then asked for too).
std::string Planner::real_path(fsys::FileSystem& fs, const std::string& path)
{
    const std::string folder = folder_of(path);
    if (folder.empty() || folder == path || fs.path_style() == PathStyle::windows || fs.name_kind(path) == fsys::NameKind::link) {
        return fs.resolved_path(path);
    }
    std::string real_folder;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto& known = m_real_folders[&fs];
        const auto found = known.find(folder);
        real_folder = found == known.end() ? std::string(1, '\0') : found->second;
    }
    if (real_folder == std::string(1, '\0')) {
        real_folder = fs.resolved_path(folder);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_real_folders[&fs].emplace(folder, real_folder);
    }
    return real_folder.empty() ? std::string() : child_path(real_folder, name_of(path));
}

// `path` spelt from the root that holds it where it really lies (the longest when roots nest);
// "" when no root holds it.
std::string Planner::placed(fsys::FileSystem& fs, const std::string& path)
{
    const std::string real = real_path(fs, path);
    std::size_t best = std::string::npos;
    for (std::size_t k = 0; k < m_real_roots.size() && !real.empty(); ++k) {
        if (root_holding(real, {m_real_roots[k]}) == 0 && (best == std::string::npos || m_real_roots[k].size() > m_real_roots[best].size())) {
            best = k;
        }
    }
    if (best == std::string::npos) {
        return std::string();
    }
    const std::string& top = m_real_roots[best];
    return child_path(m_roots[best], std::string_view(real).substr(top.size() + (top.back() == fsys::k_sep ? 0 : 1)));
}

bool Planner::check_source(const std::string& given, std::string& reason)
{
    const std::string path = m_fs.absolute_path(given);
    const fsys::NameKind kind = path.empty() ? fsys::NameKind::none : m_fs.name_kind(path);
    if (kind == fsys::NameKind::none) {
        reason = "no such file or folder: " + given;
    } else if (kind != fsys::NameKind::file && kind != fsys::NameKind::folder) {
        reason = given + " is a link or no plain file or folder, which is not moved";
    } else if (root_named(path) != std::string::npos) {
        reason = given + " is a content root itself";
    } else if ((m_plan.source = placed(m_fs, path)).empty()) {
        reason = given + " lies below none of the roots";
    }
    if (!reason.empty()) {
        return false;
    }
    m_plan.source_root = root_holding(m_plan.source, m_roots);
    m_plan.source_is_folder = kind == fsys::NameKind::folder;
    if (first_name_below(m_roots[m_plan.source_root], m_plan.source) == k_runs_folder_name) {
        reason = given + " lies in the run folders (" + k_runs_folder_name + "), which only --undo and --forget change";
        return false;
    }
    const std::string real = m_fs.resolved_path(path);
    for (std::size_t k = 0; k < m_roots.size(); ++k) {
        if (is_inside_root(m_real_roots[k], real, k_native_style)) {
            reason = given + " holds the content root " + m_roots[k];
            return false;
        }
    }
    std::vector<std::string> files;
    const bool movable = movable_files(m_fs, m_plan.source, files, reason);
    m_plan.files = static_cast<long long>(files.size());
    return movable;
}

bool Planner::check_target(const std::string& given, std::string& reason)
{
    const std::string path = m_fs.absolute_path(given);
    if (path.empty() || root_named(path) != std::string::npos) {
        reason = path.empty() ? "no place for " + given : given + " is a content root itself";
        return false;
    }
    std::vector<std::string> names{name_of(path)};
    std::string anchor = folder_of(path);  // the nearest folder on the way that exists
    while (!anchor.empty() && !m_fs.entry_exists(anchor) && folder_of(anchor) != anchor) {
        names.insert(names.begin(), name_of(anchor));
        anchor = folder_of(anchor);
    }
    if (!m_fs.is_folder(anchor)) {
        reason = given + " cannot be made: " + anchor + " is no folder";
        return false;
    }
    std::size_t root = root_named(anchor);
    std::string spelt = root == std::string::npos ? placed(m_fs, anchor) : m_roots[root];
    root = spelt.empty() ? std::string::npos : root == std::string::npos ? root_holding(spelt, m_roots) : root;
    if (root == std::string::npos) {
        reason = given + " lies below none of the roots";
        return false;
    }
    for (const std::string& name : names) {
        if (is_unwritable_name(name)) {
            reason = "a Poser document cannot name " + given + ": a '" + std::string(1, name[name.find_first_of(":\\")]) +
                     "' separates the names of its paths";
            return false;
        }
        m_plan.folders_made.push_back(spelt = child_path(spelt, name));
    }
    m_plan.folders_made.pop_back();
    m_plan.target = spelt;
    m_plan.target_root = root;
    if (first_name_below(m_roots[root], spelt) == k_runs_folder_name) {
        reason = given + " lies in the run folders (" + k_runs_folder_name + ")";
        return false;
    }
    const std::string real_source = m_fs.resolved_path(m_plan.source);
    const fsys::NameKind kind = m_fs.name_kind(path);
    // The source itself, named with letters in another case, is renamed.
    const bool new_case = kind != fsys::NameKind::none && m_fs.resolved_path(path) == real_source;
    if (spelt == m_plan.source) {
        reason = given + " is where it lies already";
        return false;
    }
    if (!new_case && at_or_below(m_fs.resolved_path(anchor), real_source)) {
        reason = given + " lies inside " + m_plan.source;
        return false;
    }
    if (kind == fsys::NameKind::none || new_case) {
        return true;
    }
    std::vector<fsys::FolderEntry> entries;
    if (kind != fsys::NameKind::folder || !m_fs.list_folder_entries(path, entries) || !entries.empty()) {
        reason = given + " exists already, and is no empty folder";
        return false;
    }
    m_plan.target_was_empty_folder = true;
    return true;
}

// The file a reference finds once the move is done, spelt from its root as placed() spells.
std::string Planner::found_after(const FileReference& ref, const std::string& folder)
{
    const std::string found = m_after->found_file(ref, folder);
    const std::string spelt = found.empty() ? found : placed(*m_view, found);
    return spelt.empty() ? found : spelt;
}

Decision Planner::decide(const FileReference& ref, const std::string& folder, bool document_moves)
{
    Decision d;
    std::string found = m_before.found_file(ref, folder);
    if (found.empty()) {
        return d;  // a reference that finds nothing stays as it is
    }
    const std::string spelt = placed(m_fs, found);
    found = spelt.empty() ? found : spelt;
    const bool file_moves = at_or_below(found, m_plan.source);
    const std::string folder_after = document_moves && ref.beside_document ? moved(folder) : folder;
    const std::string wanted = file_moves ? moved(found) : found;
    const std::string shown = "\"" + std::string(ref.target) + "\"";
    // A reference whose file stays must find that file afterwards too; a relative one of a
    // document that moves is left as it is while it still finds its file.
    const bool relative_moving = ref.beside_document && document_moves;
    if (!file_moves || relative_moving) {
        const std::string after = found_after(ref, folder_after);
        if (after == wanted) {
            return d;
        }
        if (!file_moves && !relative_moving) {
            d.refusal = shown + " would find " + (after.empty() ? std::string("nothing") : after) + " instead of " + found;
            return d;
        }
    }
    const std::size_t root = root_holding(wanted, m_roots);
    if (root == std::string::npos) {
        d.refusal = shown + " names " + wanted + ", which lies below no root";
        return d;
    }
    // A name the system gave, written as the repair writes a pick: in the code page older versions wrote.
    d.text = poser_file_text(colon_path_below(m_roots[root], wanted));
    FileReference written = ref;
    written.target = d.text;
    written.beside_document = false;
    const std::string after = found_after(written, folder_after);
    if (after != wanted) {
        d.refusal = shown + " could not name " + wanted + " once moved: \"" + d.text + "\" would find " +
                    (after.empty() ? std::string("nothing") : after);
    }
    if (d.text == ref.target) {
        d.text.clear();
    }
    return d;
}

// Each reader keeps what it has decided, and what the others have is shared: a library names the
// same few thousand files many thousand times.
const Decision& Planner::decision(const FileReference& ref, const std::string& folder, bool document_moves, Local& local)
{
    std::string key = reference_key(ref, folder);
    const auto known = local.decisions.find(key);
    if (known != local.decisions.end()) {
        return known->second;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto shared = m_decisions.find(key);
        if (shared != m_decisions.end()) {
            return local.decisions.emplace(std::move(key), shared->second).first->second;
        }
    }
    Decision decided = decide(ref, folder, document_moves);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_decisions.emplace(key, decided);
    return local.decisions.emplace(std::move(key), std::move(decided)).first->second;
}

void Planner::read_document(const LibraryDocument& d, Local& local)
{
    TextReader& in = local.in;
    DocumentSeen seen;
    if (!open_document(in, m_fs, d.path, d.listed, &seen)) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_plan.unreadable.push_back(UnreadableFile{d.path, "cannot be opened"});
        return;
    }
    const std::string folder = folder_of(d.path);
    const bool moves = at_or_below(d.path, m_plan.source);
    FollowingDocument doc{d.path, moves ? moved(d.path) : d.path, {}, {}, {}, {}};
    std::string refusal;
    const bool read = read_references(
        in,
        [&](const FoundReference& f, std::uint64_t offset) {
            seen.note(f, offset);
            if (f.ref.builtin) {
                return;
            }
            const Decision& decided = decision(f.ref, folder, moves, local);
            if (!decided.refusal.empty() && refusal.empty()) {
                refusal = decided.refusal;
            }
            if (!decided.text.empty()) {
                doc.edits.push_back(Edit{offset, std::string(f.ref.target), decided.text});
                doc.rewrites.add(f.ref, decided.text);
                doc.replacements.push_back(Replacement{std::string(f.ref.target), decided.text, f.ref.kind, "moved"});
            }
        },
        [] {});
    const bool compressed = in.compressed();
    in.close();
    doc.seen = seen;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!read) {
        m_plan.unreadable.push_back(UnreadableFile{d.path, compressed ? "corrupt or truncated gzip data" : "read error"});
        return;
    }
    ++m_plan.documents_read;
    // The first by path, whatever order the readers took.
    if (!refusal.empty() && (m_refused_in.empty() || d.path < m_refused_in)) {
        m_refusal = "the move would break a reference of " + d.path + ": " + refusal;
        m_refused_in = d.path;
    }
    if (!doc.edits.empty()) {
        m_plan.documents.push_back(std::move(doc));
    }
}

void Planner::work(const std::vector<LibraryDocument>& documents)
{
    Local local;
    for (std::size_t k; !run_stop::requested() && (k = m_next++) < documents.size();) {
        read_document(documents[k], local);
        ++m_done;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_read.notify_all();
}

bool Planner::read_documents(const MoveProgress& progress, std::string& reason)
{
    m_view = std::make_unique<MovedView>(m_fs, m_plan.source, m_plan.target);
    m_after_cache = std::make_unique<DiskCache>(*m_view);
    m_after = std::make_unique<Resolver>(m_roots, *m_after_cache);
    long long backups = 0;
    std::vector<std::string> paths = m_roots;
    // What moves may lie where no walk of a root goes (a folder whose name begins with a dot).
    if (m_plan.source_is_folder || is_poser_document(name_of(m_plan.source))) {
        paths.push_back(m_plan.source);
    }
    const std::vector<LibraryDocument> documents = library_documents(m_fs, paths, m_roots, backups, m_plan.notes);
    const unsigned threads = std::max(1u, std::min(report_readers(), static_cast<unsigned>(documents.size())));
    std::vector<std::thread> workers;
    for (unsigned k = 0; k < threads; ++k) {
        workers.emplace_back([&] { work(documents); });
    }
    // The readers are watched from here, so that a slow display never holds them up.
    const auto all_read = [&] { return m_done.load() >= static_cast<long long>(documents.size()) || run_stop::requested(); };
    for (bool reading = progress != nullptr; reading;) {
        progress(m_done.load(), static_cast<long long>(documents.size()));
        std::unique_lock<std::mutex> lock(m_mutex);
        reading = !m_read.wait_for(lock, std::chrono::milliseconds(100), all_read);
    }
    for (std::thread& t : workers) {
        t.join();
    }
    if (progress) {
        progress(m_done.load(), static_cast<long long>(documents.size()));
    }
    if (run_stop::requested()) {
        m_plan.stopped = true;
        reason = "stopped";
        return false;
    }
    if (!m_refusal.empty()) {
        reason = m_refusal;
        return false;
    }
    std::sort(m_plan.documents.begin(), m_plan.documents.end(),
              [](const FollowingDocument& a, const FollowingDocument& b) { return a.path < b.path; });
    std::sort(m_plan.unreadable.begin(), m_plan.unreadable.end(),
              [](const UnreadableFile& a, const UnreadableFile& b) { return a.path < b.path; });
    for (const FollowingDocument& d : m_plan.documents) {
        m_plan.references += static_cast<long long>(d.edits.size());
    }
    return true;
}

}  // namespace

bool plan_move(fsys::FileSystem& fs, const MoveRequest& request, MovePlan& plan, std::string& reason,
               const MoveProgress& progress)
{
    plan = MovePlan{};
    Planner planner(fs, request.roots, plan);
    return planner.check_source(request.source, reason) && planner.check_target(request.target, reason) &&
           planner.read_documents(progress, reason);
}
