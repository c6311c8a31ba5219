#include "engine/report/library_report.h"

#include "engine/base/ascii.h"
#include "engine/base/run_stop.h"
#include "engine/fsys/fsys.h"
#include "engine/fsys/textio.h"
#include "engine/library/content_paths.h"
#include "engine/library/walk.h"
#include "engine/text/document_references.h"
#include "engine/zip/zip_entries.h"

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


using Document = LibraryDocument;

// A use of a target: the rank of its document's path among all, and its line.
using UsePlace = std::pair<std::size_t, long long>;

struct Target {
    std::string text;
    RefKind kind;
    std::string folder;  // the document's folder, for a script found beside it; else ""
    Located located;
    std::vector<UsePlace> uses;  // the first k_uses_kept, kept as a heap with the last on top
    long long use_count = 0;
};

// The uses of one target in the document in hand: its count, and its first lines.
struct Use {
    int target;
    long long count = 0;
    std::vector<long long> lines;  // at most k_uses_kept
};

// What a reader knows of a target it has met: its index, how it resolved, whether it is a file
// the product needs from outside itself, and where its uses in the document in hand are kept.
struct TargetSeen {
    int id = 0;
    RefStatus status = RefStatus::missing;
    bool dependency = false;
    std::size_t document = std::string::npos;  // the document whose uses local.uses[use] holds
    std::size_t use = 0;
};

// Why a compressed document of a product zip is read no further.
std::string inflated_past(long long stored)
{
    return "it inflates to more than " + std::to_string(zipfs::inflate_bound(static_cast<std::uint64_t>(stored))) +
           " bytes from " + std::to_string(stored) + " (a gzip bomb)";
}

// Keeps `place` among the first k_uses_kept of `kept`, a heap with the last of them on top.
void keep_use(std::vector<UsePlace>& kept, const UsePlace& place)
{
    if (kept.size() < k_uses_kept) {
        kept.push_back(place);
        std::push_heap(kept.begin(), kept.end());
    } else if (place < kept.front()) {
        std::pop_heap(kept.begin(), kept.end());
        kept.back() = place;
        std::push_heap(kept.begin(), kept.end());
    }
}

class LibraryReading {
public:
    LibraryReading(fsys::FileSystem& fs, const std::vector<Document>& documents, Resolver& resolver, std::size_t own_roots)
        : m_fs(fs), m_documents(documents), m_rank(documents.size()), m_resolver(resolver), m_own_roots(own_roots)
    {
        m_by_path.resize(documents.size());
        for (std::size_t k = 0; k < m_by_path.size(); ++k) {
            m_by_path[k] = k;
        }
        std::sort(m_by_path.begin(), m_by_path.end(),
                  [&](std::size_t a, std::size_t b) { return documents[a].path < documents[b].path; });
        for (std::size_t k = 0; k < m_by_path.size(); ++k) {
            m_rank[m_by_path[k]] = k;
        }
    }
    void run(unsigned threads, const ReportProgress& progress);
    void classify(LibraryReport& report);

private:
    // What one reader thread keeps for itself: targets it has seen, and the counts of the
    // document in hand, merged when the document has been read to its end.
    struct Local {
        std::unordered_map<std::string, TargetSeen> cache;
        std::string key;  // the key of the reference in hand
        std::vector<Use> uses;
        std::vector<FoundReference> found;
        long long total = 0;
        long long builtin = 0;
        std::array<std::array<long long, k_ref_kinds>, k_ref_statuses> found_by_path{};  // all but moved and missing
        TextReader in;  // kept from one document to the next, with its buffer
    };

    void work();
    void read_document(std::size_t index, Local& local);
    TargetSeen& target_of(const FileReference& ref, const std::string& folder, Local& local);
    // What a reader keeps of target `id`; with the lock held.
    TargetSeen seen_as(int id) const;
    void count_reference(std::size_t index, const FoundReference& f, const std::string& folder, Local& local);
    void merge(std::size_t index, const Local& local, bool compressed);
    void unreadable(std::size_t index, std::string reason);
    ReportProblem problem_of(Target& t) const;

    fsys::FileSystem& m_fs;
    const std::vector<Document>& m_documents;
    std::vector<std::size_t> m_rank;     // each document's place among all, by path
    std::vector<std::size_t> m_by_path;  // the documents in that order
    Resolver& m_resolver;
    const std::size_t m_own_roots;

    std::atomic<std::size_t> m_next{0};
    std::atomic<long long> m_done{0};
    std::atomic<unsigned long long> m_bytes{0};

    std::mutex m_mutex;  // guards everything below
    std::condition_variable m_finished;
    unsigned m_running = 0;
    std::unordered_map<std::string, int> m_ids;
    std::vector<Target> m_targets;
    LibraryReport m_report;
};

void LibraryReading::run(unsigned threads, const ReportProgress& progress)
{
    threads = std::max(1u, std::min<unsigned>(threads, static_cast<unsigned>(std::max<std::size_t>(1, m_documents.size()))));
    m_running = threads;
    std::vector<std::thread> workers;
    for (unsigned k = 0; k < threads; ++k) {
        workers.emplace_back([this] { work(); });
    }
    for (bool running = true; running;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            running = !m_finished.wait_for(lock, std::chrono::milliseconds(100), [this] { return m_running == 0; });
        }
        // Outside the lock: a slow progress display must not hold up the readers.
        if (progress) {
            progress(m_done.load(), m_bytes.load(), static_cast<long long>(m_documents.size()));
        }
    }
    for (std::thread& t : workers) {
        t.join();
    }
}

void LibraryReading::work()
{
    Local local;
    for (std::size_t k; !run_stop::requested() && (k = m_next++) < m_documents.size();) {
        read_document(k, local);
        ++m_done;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (--m_running == 0) {
        m_finished.notify_all();
    }
}

TargetSeen& LibraryReading::target_of(const FileReference& ref, const std::string& folder, Local& local)
{
    std::string& key = local.key;
    set_reference_key(key, ref, folder);
    auto cached = local.cache.find(key);
    if (cached != local.cache.end()) {
        return cached->second;
    }
    // A target another reader has resolved is taken as it found it: the documents of one
    // product, which name the same files, are read by every reader.
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (auto known = m_ids.find(key); known != m_ids.end()) {
            return local.cache.emplace(key, seen_as(known->second)).first->second;
        }
    }
    // Resolved outside the lock: another reader may resolve the same target meanwhile, and
    // the first to finish is kept.
    Located located = m_resolver.locate(ref, folder);
    std::lock_guard<std::mutex> lock(m_mutex);
    auto [at, added] = m_ids.emplace(key, static_cast<int>(m_targets.size()));
    if (added) {
        m_targets.push_back(Target{std::string(ref.target), ref.kind, folder, std::move(located), {}});
    }
    return local.cache.emplace(key, seen_as(at->second)).first->second;
}

TargetSeen LibraryReading::seen_as(int id) const
{
    const Located& found = m_targets[static_cast<std::size_t>(id)].located;
    const bool outside = m_own_roots > 0 && found.root != std::string::npos && found.root >= m_own_roots;
    return TargetSeen{id, found.status, found.status == RefStatus::ok && outside};
}

void LibraryReading::read_document(std::size_t index, Local& local)
{
    const Document& document = m_documents[index];
    TextReader& in = local.in;
    if (!open_document(in, m_fs, document.path, document.listed)) {
        unreadable(index, "cannot be opened");
        return;
    }
    // A product is no library its user made: a document in it that inflates past the bound of a
    // zip's entries is a bomb, read no further.
    const long long stored = m_own_roots > 0 && in.compressed() ? in.file_size() : -1;
    if (stored >= 0) {
        in.limit_inflated_bytes(zipfs::inflate_bound(static_cast<std::uint64_t>(stored)));
    }
    const std::string folder = folder_of(document.path);
    local.uses.clear();
    local.total = local.builtin = 0;
    local.found_by_path = {};
    unsigned long long counted = 0;
    const bool read = read_references(
        in, [&](const FoundReference& f, std::uint64_t) { count_reference(index, f, f.ref.beside_document ? folder : std::string(), local); },
        [&] {
            m_bytes += in.bytes_read() - counted;
            counted = in.bytes_read();
        });
    m_bytes += in.bytes_read() - counted;
    if (!read) {
        unreadable(index, in.inflated_too_much() ? inflated_past(stored) : in.compressed() ? "corrupt or truncated gzip data" : "read error");
        return;
    }
    merge(index, local, in.compressed());
}

void LibraryReading::count_reference(std::size_t index, const FoundReference& f, const std::string& folder, Local& local)
{
    ++local.total;
    if (f.ref.builtin) {
        ++local.builtin;
        return;
    }
    TargetSeen& seen = target_of(f.ref, folder, local);
    // What is not found by its path is counted once its candidates are known.
    if (seen.status != RefStatus::missing) {
        ++local.found_by_path[static_cast<std::size_t>(seen.status)][static_cast<std::size_t>(f.ref.kind)];
    }
    if (seen.status == RefStatus::ok && !seen.dependency) {
        return;
    }
    if (seen.document != index) {
        seen.document = index;
        seen.use = local.uses.size();
        local.uses.push_back(Use{seen.id, 0, {}});
    }
    // The lines of one document come in order: its first ones are the ones to keep.
    Use& use = local.uses[seen.use];
    if (++use.count <= static_cast<long long>(k_uses_kept)) {
        use.lines.push_back(f.line);
    }
}

void LibraryReading::merge(std::size_t index, const Local& local, bool compressed)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_report.files_read;
    m_report.files_compressed += compressed ? 1 : 0;
    m_report.total += local.total;
    m_report.builtin += local.builtin;
    for (std::size_t status = 0; status < local.found_by_path.size(); ++status) {
        for (std::size_t kind = 0; kind < k_ref_kinds; ++kind) {
            m_report.counts[status][kind] += local.found_by_path[status][kind];
        }
    }
    for (const Use& use : local.uses) {
        Target& t = m_targets[static_cast<std::size_t>(use.target)];
        t.use_count += use.count;
        for (long long line : use.lines) {
            keep_use(t.uses, UsePlace{m_rank[index], line});
        }
    }
}

void LibraryReading::unreadable(std::size_t index, std::string reason)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_report.unreadable.push_back(UnreadableFile{m_documents[index].path, std::move(reason)});
}

ReportProblem LibraryReading::problem_of(Target& t) const
{
    ReportProblem p;
    p.target = t.text;
    p.kind = t.kind;
    p.status = t.located.status;
    p.root = t.located.status == RefStatus::missing || t.located.status == RefStatus::refused ? std::string::npos
                                                                                               : t.located.root;
    p.refusal = t.located.refusal;
    if (p.status == RefStatus::case_only || p.status == RefStatus::ok) {
        p.candidates = t.located.paths;
    }
    std::sort(t.uses.begin(), t.uses.end());
    for (const auto& [rank, line] : t.uses) {
        p.uses.push_back(ReportUse{m_documents[m_by_path[rank]].path, line});
    }
    p.use_count = t.use_count;
    return p;
}

void LibraryReading::classify(LibraryReport& report)
{
    report = std::move(m_report);
    report.roots = m_resolver.roots();
    std::vector<ReportProblem> problems;
    std::vector<std::size_t> by_name;  // problems still to be looked for elsewhere
    std::unordered_set<std::string> wanted;
    for (Target& t : m_targets) {
        if (t.use_count == 0) {
            continue;
        }
        if (t.located.status == RefStatus::missing) {
            by_name.push_back(problems.size());
            const std::vector<std::string_view> parts = path_components(t.text);
            if (!parts.empty()) {
                wanted.insert(lower_ascii(parts.back()));
            }
        }
        (t.located.status == RefStatus::ok ? report.dependencies : problems).push_back(problem_of(t));
    }
    NameIndex index;
    if (!by_name.empty()) {
        index.build(m_fs, m_resolver.roots(), wanted);
    }
    for (std::size_t k : by_name) {
        for (Candidate& c : m_resolver.candidates(problems[k].target, index)) {
            problems[k].root = problems[k].candidates.empty() ? c.root : problems[k].root;
            problems[k].candidates.push_back(std::move(c.path));
        }
        problems[k].status = problems[k].candidates.empty() ? RefStatus::missing : RefStatus::moved;
    }
    for (const ReportProblem& p : problems) {
        if (p.status == RefStatus::moved || p.status == RefStatus::missing) {
            report.counts[static_cast<int>(p.status)][static_cast<int>(p.kind)] += p.use_count;
        }
        // A file a product needs is needed from the roots however it was found there: by its
        // letter case alone, or by name.
        if (m_own_roots > 0 && (p.status == RefStatus::case_only || p.status == RefStatus::moved) &&
            p.root != std::string::npos && p.root >= m_own_roots) {
            report.dependencies.push_back(p);
        }
    }
    // The same order whatever order the readers met the targets in.
    const auto by_target = [](const ReportProblem& a, const ReportProblem& b) {
        return std::tie(a.target, a.kind, a.uses.front().file) < std::tie(b.target, b.kind, b.uses.front().file);
    };
    std::sort(problems.begin(), problems.end(), by_target);
    std::sort(report.dependencies.begin(), report.dependencies.end(), by_target);
    report.problems = std::move(problems);
    std::sort(report.unreadable.begin(), report.unreadable.end(),
              [](const UnreadableFile& a, const UnreadableFile& b) { return a.path < b.path; });
}

}  // namespace

std::vector<LibraryDocument> library_documents(fsys::FileSystem& fs, const std::vector<std::string>& paths,
                                               const std::vector<std::string>& roots, long long& backups_skipped,
                                               std::vector<std::string>& notes)
{
    std::vector<LibraryDocument> documents;
    std::unordered_set<std::string> seen;
    auto add = [&](const std::string& path, fsys::Listed listed) {
        if (seen.insert(path).second) {
            documents.push_back(LibraryDocument{path, listed});
        }
    };
    const WalkPolicy policy = library_walk_policy();
    const WalkScope scope{roots, [&notes](const std::string& link, const std::string& target) {
                              notes.push_back(link_not_followed_note(link, target));
                          }};
    for (const std::string& path : paths) {
        if (!fs.is_folder(path)) {
            add(path, fsys::Listed::unknown);
            continue;
        }
        walk_folders(fs, path, policy, [&](const std::string& folder, const FolderContents& contents) {
            for (const fsys::FolderEntry& e : contents.documents) {
                add(child_path(folder, e.name),
                    e.type == fsys::EntryType::file ? fsys::Listed::plain_file : fsys::Listed::unknown);
            }
            backups_skipped += contents.backups;
        }, scope);
    }
    return documents;
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
    return broken_count() > 0;
}

long long LibraryReport::broken_count() const
{
    return count(RefStatus::moved) + count(RefStatus::missing) + count(RefStatus::refused);
}

std::string_view LibraryReport::from(std::size_t root) const
{
    return root == std::string::npos ? "" : root < own_roots ? "product" : "root";
}

LibraryReport build_library_report(fsys::FileSystem& fs, const std::vector<std::string>& paths,
                                   const std::vector<std::string>& roots, unsigned threads, const ReportProgress& progress,
                                   std::size_t own_roots)
{
    long long backups_skipped = 0;
    std::vector<std::string> notes;
    const std::vector<Document> documents = library_documents(fs, paths, roots, backups_skipped, notes);
    DiskCache cache(fs);
    Resolver resolver(roots, cache);
    LibraryReading reading(fs, documents, resolver, own_roots);
    reading.run(threads, progress);
    LibraryReport report;
    reading.classify(report);
    report.backups_skipped = backups_skipped;
    report.root_notes = std::move(notes);
    report.own_roots = own_roots;
    report.stopped = run_stop::requested();
    return report;
}

unsigned report_readers()
{
    return std::max(8u, std::thread::hardware_concurrency());
}
