#include "engine/library_report.h"

#include "engine/content_paths.h"
#include "engine/fsys.h"
#include "engine/name_index.h"
#include "engine/poser_documents.h"
#include "engine/textio.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

namespace {

// No system accepts a path this long: a longer line is no reference, and reading it whole
// would let one line decide how much memory a report needs.
constexpr std::size_t k_max_line_bytes = 1 << 20;

// What a target's own path says, before anything is searched by letter case or by name.
enum class ByPath : unsigned char { ok, absolute, not_found };

struct Target {
    std::string text;
    RefKind kind;
    ByPath by_path;
    std::vector<std::pair<std::size_t, long long>> uses;  // document index, line
};

struct Use {
    int target;
    long long line;
};

// The folders below which a relative reference may lie: each root, and for an image also
// the textures folder of each root (older content names images relative to it).
std::vector<std::string> bases_for(RefKind kind, const std::vector<std::string>& roots)
{
    std::vector<std::string> bases;
    for (const std::string& root : roots) {
        bases.push_back(root);
        if (kind == RefKind::image) {
            bases.push_back(join_path(root, {"Runtime", "Textures"}));
        }
    }
    return bases;
}

bool names_existing_file(std::string_view absolute)
{
#ifndef _WIN32
    // A drive or a share cannot be reached here; only '/' paths name anything.
    if (absolute.empty() || absolute[0] != '/' || (absolute.size() > 1 && absolute[1] == '/')) {
        return false;
    }
#endif
    return fsys::is_readable_file(std::string(absolute));
}

ByPath resolve_by_path(std::string_view target, RefKind kind, const std::vector<std::string>& roots)
{
    if (is_absolute_reference(target)) {
        return names_existing_file(target) ? ByPath::absolute : ByPath::not_found;
    }
    const std::vector<std::string_view> parts = path_components(target);
    if (parts.empty()) {
        return ByPath::not_found;
    }
    for (const std::string& base : bases_for(kind, roots)) {
        if (fsys::is_readable_file(join_path(base, parts))) {
            return ByPath::ok;
        }
    }
    return ByPath::not_found;
}

// The files a reference names when letter case is ignored, on a file system that tells
// case apart; Windows never does, and finds such files by their path already.
std::vector<std::string> case_candidates(const Target& t, const std::vector<std::string>& roots, ListingCache& listings)
{
    std::vector<std::string> found;
#ifndef _WIN32
    const std::vector<std::string_view> parts = path_components(t.text);
    // A drive or a share cannot be reached here, and a '/' path that names no file as it
    // stands is read below the roots.
    const std::vector<std::string> bases =
        is_absolute_reference(t.text) ? std::vector<std::string>{} : bases_for(t.kind, roots);
    for (const std::string& base : bases) {
        for (std::string& f : find_ignoring_case(base, parts, listings)) {
            found.push_back(std::move(f));
        }
    }
    rank_candidates(found, t.text);
    found.erase(std::unique(found.begin(), found.end()), found.end());
#else
    (void)t;
    (void)roots;
    (void)listings;
#endif
    return found;
}

class Reading {
public:
    Reading(const std::vector<std::string>& documents, const std::vector<std::string>& roots)
        : m_documents(documents), m_roots(roots)
    {
    }

    void run(unsigned threads, const ReportProgress& progress);
    void classify(LibraryReport& report);

private:
    struct Local {
        std::unordered_map<std::string, std::pair<int, ByPath>> cache[k_ref_kinds];
        std::vector<Use> uses;
        std::vector<FoundReference> found;
        long long total = 0;
        long long builtin = 0;
        std::array<long long, k_ref_kinds> ok{};
    };

    void work();
    void read_document(std::size_t index, Local& local);
    std::pair<int, ByPath> target_of(const FileReference& ref, Local& local);
    void count_reference(const FoundReference& f, Local& local);
    void merge(std::size_t index, const Local& local, bool compressed);
    void unreadable(std::size_t index, std::string reason);

    const std::vector<std::string>& m_documents;
    const std::vector<std::string>& m_roots;

    std::atomic<std::size_t> m_next{0};
    std::atomic<long long> m_done{0};
    std::atomic<unsigned long long> m_bytes{0};

    std::mutex m_mutex;  // guards everything below
    std::condition_variable m_finished;
    unsigned m_running = 0;
    std::unordered_map<std::string, int> m_ids[k_ref_kinds];
    std::vector<Target> m_targets;
    LibraryReport m_report;
};

void Reading::run(unsigned threads, const ReportProgress& progress)
{
    threads = std::max(1u, std::min<unsigned>(threads, static_cast<unsigned>(std::max<std::size_t>(1, m_documents.size()))));
    m_running = threads;
    std::vector<std::thread> workers;
    for (unsigned k = 0; k < threads; ++k) {
        workers.emplace_back([this] { work(); });
    }
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_finished.wait_for(lock, std::chrono::milliseconds(100), [this] { return m_running == 0; })) {
            if (progress) {
                progress(m_done.load(), m_bytes.load());
            }
        }
    }
    for (std::thread& t : workers) {
        t.join();
    }
    if (progress) {
        progress(m_done.load(), m_bytes.load());
    }
}

void Reading::work()
{
    Local local;
    for (std::size_t k; (k = m_next++) < m_documents.size();) {
        read_document(k, local);
        ++m_done;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (--m_running == 0) {
        m_finished.notify_all();
    }
}

std::pair<int, ByPath> Reading::target_of(const FileReference& ref, Local& local)
{
    const int kind = static_cast<int>(ref.kind);
    std::string key(ref.target);
    auto cached = local.cache[kind].find(key);
    if (cached != local.cache[kind].end()) {
        return cached->second;
    }
    // Resolved outside the lock: another reader may resolve the same target meanwhile,
    // and the first to finish is kept.
    const ByPath by_path = resolve_by_path(ref.target, ref.kind, m_roots);
    std::lock_guard<std::mutex> lock(m_mutex);
    auto [at, added] = m_ids[kind].emplace(key, static_cast<int>(m_targets.size()));
    if (added) {
        m_targets.push_back(Target{key, ref.kind, by_path, {}});
    }
    std::pair<int, ByPath> entry{at->second, m_targets[static_cast<std::size_t>(at->second)].by_path};
    local.cache[kind].emplace(std::move(key), entry);
    return entry;
}

void Reading::read_document(std::size_t index, Local& local)
{
    TextReader in;
    in.limit_line_length(k_max_line_bytes);
    if (!in.open(m_documents[index], Gzip::if_magic)) {
        unreadable(index, "cannot be opened");
        return;
    }
    local.uses.clear();
    local.total = local.builtin = 0;
    std::fill(std::begin(local.ok), std::end(local.ok), 0);
    long long line_number = 1;
    unsigned long long counted = 0;
    std::string_view lines;
    while (in.next_lines(lines)) {
        if (in.line_was_cut()) {
            ++line_number;  // no path is that long: no reference
            continue;
        }
        local.found.clear();
        line_number += scan_references(lines, line_number, local.found);
        for (const FoundReference& f : local.found) {
            count_reference(f, local);
        }
        m_bytes += in.bytes_read() - counted;
        counted = in.bytes_read();
    }
    m_bytes += in.bytes_read() - counted;
    if (in.failed()) {
        unreadable(index, in.compressed() ? "corrupt or truncated gzip data" : "read error");
        return;
    }
    merge(index, local, in.compressed());
}

void Reading::count_reference(const FoundReference& f, Local& local)
{
    ++local.total;
    if (f.ref.builtin) {
        ++local.builtin;
        return;
    }
    const auto [id, by_path] = target_of(f.ref, local);
    if (by_path == ByPath::ok) {
        ++local.ok[static_cast<int>(f.ref.kind)];
    } else {
        local.uses.push_back(Use{id, f.line});
    }
}

void Reading::merge(std::size_t index, const Local& local, bool compressed)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_report.files_read;
    m_report.files_compressed += compressed ? 1 : 0;
    m_report.total += local.total;
    m_report.builtin += local.builtin;
    for (int k = 0; k < k_ref_kinds; ++k) {
        m_report.counts[static_cast<int>(RefStatus::ok)][k] += local.ok[k];
    }
    for (const Use& use : local.uses) {
        m_targets[static_cast<std::size_t>(use.target)].uses.emplace_back(index, use.line);
    }
}

void Reading::unreadable(std::size_t index, std::string reason)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_report.unreadable.push_back(UnreadableFile{m_documents[index], std::move(reason)});
}

void Reading::classify(LibraryReport& report)
{
    report = std::move(m_report);
    report.roots = m_roots;
    std::vector<ReportProblem> problems;
    std::vector<std::size_t> by_name;  // problems still to be looked for by name
    ListingCache listings;
    for (Target& t : m_targets) {
        if (t.uses.empty()) {
            continue;
        }
        ReportProblem p;
        p.target = t.text;
        p.kind = t.kind;
        p.status = t.by_path == ByPath::absolute ? RefStatus::absolute : RefStatus::case_only;
        std::sort(t.uses.begin(), t.uses.end(), [this](const auto& a, const auto& b) {
            const std::string& fa = m_documents[a.first];
            const std::string& fb = m_documents[b.first];
            return fa != fb ? fa < fb : a.second < b.second;
        });
        for (const auto& [document, line] : t.uses) {
            p.uses.push_back(ReportUse{m_documents[document], line});
        }
        if (p.status == RefStatus::case_only) {
            p.candidates = case_candidates(t, m_roots, listings);
            if (p.candidates.empty()) {
                by_name.push_back(problems.size());
            }
        }
        problems.push_back(std::move(p));
    }
    if (!by_name.empty()) {
        std::unordered_set<std::string> wanted;
        for (std::size_t k : by_name) {
            std::vector<std::string_view> parts = path_components(problems[k].target);
            if (!parts.empty()) {
                wanted.insert(lower_ascii(parts.back()));
            }
        }
        NameIndex index;
        index.build(m_roots, wanted);
        for (std::size_t k : by_name) {
            problems[k].candidates = index.candidates(problems[k].target);
            problems[k].status = problems[k].candidates.empty() ? RefStatus::missing : RefStatus::moved;
        }
    }
    for (const ReportProblem& p : problems) {
        report.counts[static_cast<int>(p.status)][static_cast<int>(p.kind)] += static_cast<long long>(p.uses.size());
    }
    std::sort(problems.begin(), problems.end(), [](const ReportProblem& a, const ReportProblem& b) {
        return std::tie(a.target, a.kind) < std::tie(b.target, b.kind);
    });
    report.problems = std::move(problems);
    std::sort(report.unreadable.begin(), report.unreadable.end(),
              [](const UnreadableFile& a, const UnreadableFile& b) { return a.path < b.path; });
}

// Every Poser document below the folders of `paths`, and every file named directly.
std::vector<std::string> documents_in(const std::vector<std::string>& paths)
{
    std::vector<std::string> documents;
    std::unordered_set<std::string> seen;
    auto add = [&](const std::string& path) {
        if (seen.insert(path).second) {
            documents.push_back(path);
        }
    };
    for (const std::string& path : paths) {
        if (!fsys::is_folder(path)) {
            add(path);
            continue;
        }
        walk_tree(path, [&](const std::string& file, const std::string& name) {
            if (is_poser_document(name)) {
                add(file);
            }
        });
    }
    return documents;
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
    }
    return "missing";
}

long long LibraryReport::count(RefStatus status) const
{
    long long n = 0;
    for (long long c : counts[static_cast<int>(status)]) {
        n += c;
    }
    return n;
}

bool LibraryReport::broken() const
{
    return count(RefStatus::moved) + count(RefStatus::missing) > 0;
}

LibraryReport build_library_report(const std::vector<std::string>& paths, const std::vector<std::string>& roots,
                                   unsigned threads, const ReportProgress& progress)
{
    const std::vector<std::string> documents = documents_in(paths);
    Reading reading(documents, roots);
    reading.run(threads, progress);
    LibraryReport report;
    reading.classify(report);
    return report;
}
