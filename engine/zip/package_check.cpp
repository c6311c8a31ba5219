#include "engine/zip/package_check.h"

#include "engine/base/ascii.h"
#include "engine/base/path_style.h"
#include "engine/base/poser_documents.h"
#include "engine/base/run_stop.h"
#include "engine/zip/zip_entry_reader.h"

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>
#include <unordered_set>
#include <zlib.h>

namespace zipfs {

namespace {

// However small the entries, inflating the whole zip may take this much before it is a bomb.
constexpr std::uint64_t k_total_inflate_floor = std::uint64_t(64) << 20;
constexpr std::uint64_t k_total_inflate_ratio = 100;

using Problems = std::vector<PackageProblem>;

void add(Problems& problems, ProblemKind kind, std::string entry, std::string message)
{
    problems.push_back({kind, std::move(entry), std::move(message)});
}

// The name up to and including the first component `pred` holds for ("a/__MACOSX"), or "".
template <typename Pred>
std::string folder_named(const ZipEntry& e, Pred pred)
{
    const std::vector<std::string_view> parts = name_components(e.name);
    std::string path;
    for (std::size_t k = 0; k < parts.size(); ++k) {
        if (k > 0) {
            path += '/';
        }
        path.append(parts[k]);
        if (pred(parts[k]) && (k + 1 < parts.size() || e.is_folder)) {
            return path + '/';
        }
    }
    return std::string();
}

bool is_junk_file(const ZipEntry& e)
{
    const std::vector<std::string_view> parts = name_components(e.name);
    const std::string_view base = parts.back();
    return !e.is_folder && (base == ".DS_Store" || equals_ignoring_case(base, "Thumbs.db") || base.rfind("._", 0) == 0);
}

std::string junk_folder(const ZipEntry& e)
{
    return folder_named(e, [](std::string_view part) { return part == "__MACOSX"; });
}

std::string runs_folder(const ZipEntry& e)
{
    return folder_named(e, [](std::string_view part) { return equals_ignoring_case(part, "tarnwick-runs"); });
}

void check_layout(const std::vector<ZipEntry>& entries, Problems& problems)
{
    std::set<std::string> wrappers;
    for (const ZipEntry& e : entries) {
        if (e.fault != NameFault::none || !junk_folder(e).empty()) {
            continue;
        }
        const std::vector<std::string_view> parts = name_components(e.name);
        const bool below = e.is_folder || parts.size() > 1;
        if (below && equals_ignoring_case(parts[0], "Runtime")) {
            return;
        }
        if (parts.size() > 1 && (e.is_folder || parts.size() > 2) && equals_ignoring_case(parts[1], "Runtime")) {
            wrappers.insert(std::string(parts[0]) + '/');
        }
    }
    for (const std::string& wrapper : wrappers) {
        add(problems, ProblemKind::runtime_too_deep, wrapper,
            "the Runtime folder lies one folder down, inside the folder named here: unpack this zip one folder up, "
            "or pack it again without that folder");
    }
    if (wrappers.empty()) {
        add(problems, ProblemKind::no_runtime, "",
            "the zip has no Runtime folder at its top, nor one folder down: Poser will not find its content");
    }
}

void check_name(const ZipEntry& e, const std::unordered_set<std::string>& names, std::set<std::string>& seen_folders,
                Problems& problems)
{
    if (e.fault != NameFault::none) {
        add(problems, ProblemKind::unsafe_name, e.name, std::string("unsafe name: ") + fault_words(e.fault));
    }
    if (e.is_link) {
        add(problems, ProblemKind::link, e.name, "the entry is a symbolic link: unpacked, it could point anywhere");
    }
    if (e.too_long && e.fault == NameFault::none) {
        add(problems, ProblemKind::path_too_long, e.name,
            "unpacked even right below a drive's top, its path would be " + std::to_string(installed_path_length(e.name)) +
                " characters long, more than the " + std::to_string(k_max_installed_path) + " Windows tools take");
    }
    if (e.non_ascii_unmarked) {
        add(problems, ProblemKind::unmarked_non_ascii, e.name,
            "the name has bytes beyond ASCII without the UTF-8 mark: other systems show it with other letters");
    }
    const std::string junk = junk_folder(e);
    if (!junk.empty() && seen_folders.insert(junk).second) {
        add(problems, ProblemKind::archiver_junk, junk, "a folder of Mac archive metadata, not content");
    } else if (junk.empty() && is_junk_file(e)) {
        add(problems, ProblemKind::archiver_junk, e.name, "a file an archiver or a file browser left, not content");
    }
    const std::string runs = runs_folder(e);
    if (!runs.empty() && seen_folders.insert(runs).second) {
        add(problems, ProblemKind::backup, runs, "a folder of tarnwick's run backups, not content");
    }
    if (!e.is_folder && is_backup_beside(e.name, names)) {
        add(problems, ProblemKind::backup, e.name, "an old copy kept beside the file of the same name, not content");
    }
}

// True when some name in `sorted` continues `name` with a '/': `name` is then also a folder.
bool is_folder_of_others(const std::vector<std::string_view>& sorted, const std::string& name)
{
    const std::string folder = name + '/';
    const auto next = std::lower_bound(sorted.begin(), sorted.end(), std::string_view(folder));
    return next != sorted.end() && next->substr(0, folder.size()) == folder;
}

// Names that collide once unpacked: stored twice, twins in letter case, a file and a folder.
void check_collisions(const std::vector<ZipEntry>& entries, Problems& problems)
{
    std::unordered_set<std::string> lower;
    std::unordered_set<std::string> exact;
    std::vector<std::string_view> sorted;
    for (const ZipEntry& e : entries) {
        if (e.fault == NameFault::none) {
            sorted.push_back(e.name);
        }
    }
    std::sort(sorted.begin(), sorted.end());
    // An unsafe name is reported as such: where it would land is no question.
    for (const ZipEntry& e : entries) {
        if (e.is_folder || e.fault != NameFault::none) {
            continue;
        }
        if (!exact.insert(e.name).second) {
            add(problems, ProblemKind::duplicate_name, e.name, "the name is stored twice: one entry overwrites the other");
            continue;
        }
        if (!lower.insert(lower_ascii(e.name)).second) {
            add(problems, ProblemKind::case_twins, e.name,
                "the name differs from another only in letter case: on Windows one overwrites the other");
        }
        if (is_folder_of_others(sorted, e.name)) {
            add(problems, ProblemKind::file_and_folder, e.name, "the name is a file's and also a folder's of other entries");
        }
    }
}

// The entries read before the one with which the zip would inflate past its total bound (all
// of them when it does not), and that bound. An entry gives no more bytes than its record
// claims, and none when the claim is past its own bound, so the claims tell it before anything
// is read, the same whatever order the readers go in.
std::size_t entries_within_total(const std::vector<ZipEntry>& entries, std::uint64_t& total_bound)
{
    std::uint64_t compressed = 0;
    for (const ZipEntry& e : entries) {
        compressed += std::min<std::uint64_t>(e.compressed_size, std::uint64_t(1) << 40);
    }
    total_bound = std::max(compressed * k_total_inflate_ratio, k_total_inflate_floor);
    std::uint64_t total = 0;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const ZipEntry& e = entries[k];
        if (!e.is_folder && !e.is_link && e.size <= inflate_bound(e.compressed_size) && (total += e.size) > total_bound) {
            return k;
        }
    }
    return entries.size();
}

// A Poser document stored gzip-compressed in the zip, inflated as its reader will inflate it, no
// further than an entry of its size may inflate: a document of a few megabytes repeating one
// line millions of times is a bomb like any entry.
class DocumentInflation {
public:
    explicit DocumentInflation(const ZipEntry& e)
        : m_bound(inflate_bound(e.size)), m_stored(e.size), m_active(!e.is_folder && is_poser_document(e.name))
    {
    }
    ~DocumentInflation()
    {
        if (m_started) {
            inflateEnd(&m_z);
        }
    }
    DocumentInflation(const DocumentInflation&) = delete;
    DocumentInflation& operator=(const DocumentInflation&) = delete;

    // The next bytes of the entry; false once the document has inflated past its bound.
    bool feed(const char* data, std::size_t size);
    // Why the document is a bomb; "" when it is none.
    std::string reason() const
    {
        return !m_past ? std::string()
                       : "the document inflates to more than " + std::to_string(m_bound) + " bytes from " +
                             std::to_string(m_stored) + " (a gzip bomb)";
    }

private:
    z_stream m_z{};
    std::vector<char> m_out;
    std::uint64_t m_bound;
    std::uint64_t m_stored;
    std::uint64_t m_inflated = 0;
    bool m_active;
    bool m_started = false;
    bool m_past = false;
};

bool DocumentInflation::feed(const char* data, std::size_t size)
{
    if (m_active && !m_started) {
        // A plain document, or one whose first piece is too short to tell, is no concern here.
        m_active = size >= 2 && data[0] == '\x1f' && data[1] == '\x8b' && inflateInit2(&m_z, 16 + MAX_WBITS) == Z_OK;
        m_started = m_active;
        m_out.resize(m_active ? 1 << 16 : 0);
    }
    m_z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    m_z.avail_in = static_cast<uInt>(size);
    while (m_active && m_z.avail_in > 0) {
        m_z.next_out = reinterpret_cast<Bytef*>(m_out.data());
        m_z.avail_out = static_cast<uInt>(m_out.size());
        const int rc = inflate(&m_z, Z_NO_FLUSH);
        m_inflated += m_out.size() - m_z.avail_out;
        if (m_inflated > m_bound) {
            m_past = true;
            return false;
        }
        // Another member may follow; anything else (padding, or data the reader calls corrupt) ends the count.
        if (rc == Z_STREAM_END && m_z.avail_in > 0 && *m_z.next_in == 0x1f) {
            inflateReset(&m_z);
        } else if (rc != Z_OK) {
            m_active = false;
        }
    }
    return true;
}

// Why each of the entries before `end` cannot be unpacked, or is a document that would inflate
// too far ("" when neither), read on one thread
// of several, each with its own handle on the archive.
void inflate_entries(fsys::FileSystem& fs, const std::string& zip_path, const std::vector<ZipEntry>& entries,
                     std::size_t end, std::vector<std::string>& reasons)
{
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        std::string cannot_open;
        ZipHandle archive = open_zip(fs, zip_path, Checks::directory, cannot_open);
        std::vector<char> block(1 << 16);
        for (std::size_t k; (k = next++) < end && !run_stop::requested();) {
            if (entries[k].is_folder || entries[k].is_link) {
                continue;
            }
            EntryReader reader;
            DocumentInflation document(entries[k]);
            long long n = archive != nullptr && reader.open(archive.get(), entries[k]) ? 0 : -1;
            while (n >= 0 && (n = reader.read_some(block.data(), block.size())) > 0 && !run_stop::requested() &&
                   document.feed(block.data(), static_cast<std::size_t>(n))) {
            }
            reasons[k] = n < 0 ? "the entry cannot be unpacked: " + (archive == nullptr ? cannot_open : reader.reason())
                               : document.reason();
        }
    };
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < threads && t < end; ++t) {
        workers.emplace_back(work);
    }
    work();
    for (std::thread& t : workers) {
        t.join();
    }
}

// Inflates every file entry as an install would, each within its bound and all within a total.
void check_contents(fsys::FileSystem& fs, const std::string& zip_path, const std::vector<ZipEntry>& entries,
                    Problems& problems)
{
    std::uint64_t total_bound = 0;
    const std::size_t end = entries_within_total(entries, total_bound);
    std::vector<std::string> reasons(end);
    inflate_entries(fs, zip_path, entries, end, reasons);
    for (std::size_t k = 0; k < end; ++k) {
        if (!reasons[k].empty()) {
            add(problems, ProblemKind::unreadable_entry, entries[k].name, reasons[k]);
        }
    }
    if (end < entries.size()) {
        add(problems, ProblemKind::unreadable_entry, entries[end].name,
            "the zip would inflate to more than " + std::to_string(total_bound) + " bytes in all (a zip bomb)");
    }
}

// Without reading data, the directory shows an entry that claims more than its bound.
void check_claimed_sizes(const std::vector<ZipEntry>& entries, Problems& problems)
{
    for (const ZipEntry& e : entries) {
        if (!e.is_folder && e.size > inflate_bound(e.compressed_size)) {
            add(problems, ProblemKind::unreadable_entry, e.name,
                "the entry claims to inflate to " + std::to_string(e.size) + " bytes from " +
                    std::to_string(e.compressed_size) + " (a zip bomb)");
        }
    }
}

// The zip opened with every check libzip has. That opening refuses a name stored twice as
// inconsistent, so a zip it refuses is opened again without them: when a name stored twice
// is all there is to it, the check goes on and names it.
ZipHandle open_for_check(fsys::FileSystem& fs, const std::string& zip_path, std::vector<ZipEntry>& entries,
                         std::string& reason)
{
    ZipHandle archive = open_zip(fs, zip_path, Checks::headers, reason);
    if (archive != nullptr) {
        return read_entries(archive.get(), entries, reason) ? std::move(archive) : nullptr;
    }
    std::string plain_reason;
    archive = open_zip(fs, zip_path, Checks::directory, plain_reason);
    if (archive == nullptr || !read_entries(archive.get(), entries, plain_reason)) {
        return nullptr;
    }
    std::unordered_set<std::string> names;
    for (const ZipEntry& e : entries) {
        if (!names.insert(e.name).second) {
            return archive;
        }
    }
    return nullptr;
}

}  // namespace

bool is_archiver_junk(const ZipEntry& e)
{
    return !junk_folder(e).empty() || is_junk_file(e);
}

bool is_kept_backup(const ZipEntry& e, const std::unordered_set<std::string>& names)
{
    return !runs_folder(e).empty() || (!e.is_folder && is_backup_beside(e.name, names));
}

const char* problem_kind_name(ProblemKind kind)
{
    switch (kind) {
    case ProblemKind::unreadable_zip: return "unreadable_zip";
    case ProblemKind::unreadable_entry: return "unreadable_entry";
    case ProblemKind::no_runtime: return "no_runtime";
    case ProblemKind::runtime_too_deep: return "runtime_too_deep";
    case ProblemKind::unsafe_name: return "unsafe_name";
    case ProblemKind::path_too_long: return "path_too_long";
    case ProblemKind::link: return "link";
    case ProblemKind::case_twins: return "case_twins";
    case ProblemKind::duplicate_name: return "duplicate_name";
    case ProblemKind::file_and_folder: return "file_and_folder";
    case ProblemKind::archiver_junk: return "archiver_junk";
    case ProblemKind::backup: return "backup";
    case ProblemKind::unmarked_non_ascii: return "unmarked_non_ascii";
    case ProblemKind::network_reference: return "network_reference";
    }
    return "unknown";
}

std::vector<PackageProblem> check_package(fsys::FileSystem& fs, const std::string& zip_path, CheckDepth depth)
{
    Problems problems;
    std::string reason;
    std::vector<ZipEntry> entries;
    ZipHandle archive = open_for_check(fs, zip_path, entries, reason);
    if (archive == nullptr) {
        add(problems, ProblemKind::unreadable_zip, "", "the zip cannot be read: " + reason);
        return problems;
    }
    check_layout(entries, problems);
    std::unordered_set<std::string> names;
    for (const ZipEntry& e : entries) {
        names.insert(e.name);
    }
    std::set<std::string> seen_folders;
    for (const ZipEntry& e : entries) {
        check_name(e, names, seen_folders, problems);
    }
    check_collisions(entries, problems);
    if (depth == CheckDepth::contents) {
        check_contents(fs, zip_path, entries, problems);
    } else {
        check_claimed_sizes(entries, problems);
    }
    return problems;
}

}  // namespace zipfs
