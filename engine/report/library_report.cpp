#include "engine/report/library_report.h"

#include "engine/base/ascii.h"
#include "engine/base/run_stop.h"
#include "engine/fsys/fsys.h"
#include "engine/fsys/textio.h"
#include "engine/library/content_paths.h"
#include "engine/library/walk.h"
#include "engine/text/document_references.h"

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


struct Document {
    std::string path;
    fsys::Listed listed = fsys::Listed::unknown;
};

struct Target {
    std::string text;
    RefKind kind;
    std::string folder;  // the document's folder, for a script found beside it; else ""
    Located located;
    std::vector<std::pair<std::size_t, long long>> uses;  // document index, line
};

struct Use {
    int target;
    long long line;
};

// What a reader knows of a target it has met: its index, how it resolved, and whether it is a
// file the product needs from outside itself.
struct TargetSeen {
    int id = 0;
    RefStatus status = RefStatus::missing;
    bool dependency = false;
};

// The key of a target: its kind, the folder it is read from when that is the document's own,
// and its text.
std::string target_key(const FileReference& ref, const std::string& folder)
{
    std::string key(1, static_cast<char>('0' + static_cast<int>(ref.kind)));
    key += folder;
    key += '\0';
    key.append(ref.target);
    return key;
}

class LibraryReading {
public:
    LibraryReading(fsys::FileSystem& fs, const std::vector<Document>& documents, Resolver& resolver, std::size_t own_roots)
        : m_fs(fs), m_documents(documents), m_resolver(resolver), m_own_roots(own_roots)
    {
    }
    void run(unsigned threads, const ReportProgress& progress);
    void classify(LibraryReport& report);

private:
    // What one reader thread keeps for itself: targets it has seen, and the counts of the
    // document in hand, merged when the document has been read to its end.
    struct Local {
        std::unordered_map<std::string, TargetSeen> cache;
        std::vector<Use> uses;
        std::vector<FoundReference> found;
        long long total = 0;
        long long builtin = 0;
        std::array<std::array<long long, k_ref_kinds>, k_ref_statuses> found_by_path{};  // all but moved and missing
        TextReader in;  // kept from one document to the next, with its buffer
    };

    void work();
    void read_document(std::size_t index, Local& local);
    TargetSeen target_of(const FileReference& ref, const std::string& folder, Local& local);
    void count_reference(const FoundReference& f, const std::string& folder, Local& local);
    void merge(std::size_t index, const Local& local, bool compressed);
    void unreadable(std::size_t index, std::string reason);
    ReportProblem problem_of(Target& t) const;

    fsys::FileSystem& m_fs;
    const std::vector<Document>& m_documents;
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

TargetSeen LibraryReading::target_of(const FileReference& ref, const std::string& folder, Local& local)
{
    std::string key = target_key(ref, folder);
    auto cached = local.cache.find(key);
    if (cached != local.cache.end()) {
        return cached->second;
    }
    // Resolved outside the lock: another reader may resolve the same target meanwhile, and
    // the first to finish is kept.
    Located located = m_resolver.locate(ref, folder);
    std::lock_guard<std::mutex> lock(m_mutex);
    auto [at, added] = m_ids.emplace(key, static_cast<int>(m_targets.size()));
    if (added) {
        m_targets.push_back(Target{std::string(ref.target), ref.kind, folder, std::move(located), {}});
    }
    const Located& found = m_targets[static_cast<std::size_t>(at->second)].located;
    const bool outside = m_own_roots > 0 && found.root != std::string::npos && found.root >= m_own_roots;
    const TargetSeen entry{at->second, found.status, found.status == RefStatus::ok && outside};
    local.cache.emplace(std::move(key), entry);
    return entry;
}

void LibraryReading::read_document(std::size_t index, Local& local)
{
    const Document& document = m_documents[index];
    TextReader& in = local.in;
    if (!open_document(in, m_fs, document.path, document.listed)) {
        unreadable(index, "cannot be opened");
        return;
    }
    const std::string folder = folder_of(document.path);
    local.uses.clear();
    local.total = local.builtin = 0;
    local.found_by_path = {};
    unsigned long long counted = 0;
    const bool read = read_references(
        in, [&](const FoundReference& f, std::uint64_t) { count_reference(f, f.ref.beside_document ? folder : std::string(), local); },
        [&] {
            m_bytes += in.bytes_read() - counted;
            counted = in.bytes_read();
        });
    m_bytes += in.bytes_read() - counted;
    if (!read) {
        unreadable(index, in.compressed() ? "corrupt or truncated gzip data" : "read error");
        return;
    }
    merge(index, local, in.compressed());
}

void LibraryReading::count_reference(const FoundReference& f, const std::string& folder, Local& local)
{
    ++local.total;
    if (f.ref.builtin) {
        ++local.builtin;
        return;
    }
    const TargetSeen seen = target_of(f.ref, folder, local);
    // What is not found by its path is counted once its candidates are known.
    if (seen.status != RefStatus::missing) {
        ++local.found_by_path[static_cast<std::size_t>(seen.status)][static_cast<std::size_t>(f.ref.kind)];
    }
    if (seen.status != RefStatus::ok || seen.dependency) {
        local.uses.push_back(Use{seen.id, f.line});
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
        m_targets[static_cast<std::size_t>(use.target)].uses.emplace_back(index, use.line);
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
    std::sort(t.uses.begin(), t.uses.end(), [this](const auto& a, const auto& b) {
        const std::string& fa = m_documents[a.first].path;
        const std::string& fb = m_documents[b.first].path;
        return fa != fb ? fa < fb : a.second < b.second;
    });
    for (const auto& [document, line] : t.uses) {
        p.uses.push_back(ReportUse{m_documents[document].path, line});
    }
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
        if (t.uses.empty()) {
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
            report.counts[static_cast<int>(p.status)][static_cast<int>(p.kind)] += static_cast<long long>(p.uses.size());
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

// Every Poser document below the folders of `paths`, as the library rules walk, and every
// file named directly.
std::vector<Document> documents_in(fsys::FileSystem& fs, const std::vector<std::string>& paths, long long& backups_skipped)
{
    std::vector<Document> documents;
    std::unordered_set<std::string> seen;
    auto add = [&](const std::string& path, fsys::Listed listed) {
        if (seen.insert(path).second) {
            documents.push_back(Document{path, listed});
        }
    };
    const WalkPolicy policy = library_walk_policy();
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
        });
    }
    return documents;
}

}  // namespace

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
    const std::vector<Document> documents = documents_in(fs, paths, backups_skipped);
    DiskCache cache(fs);
    Resolver resolver(roots, cache);
    LibraryReading reading(fs, documents, resolver, own_roots);
    reading.run(threads, progress);
    LibraryReport report;
    reading.classify(report);
    report.backups_skipped = backups_skipped;
    report.own_roots = own_roots;
    report.stopped = run_stop::requested();
    return report;
}

unsigned report_readers()
{
    return std::max(8u, std::thread::hardware_concurrency());
}
