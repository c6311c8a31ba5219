// Fuzz target: any bytes as a product zip. The package check and the zip read as a folder must never crash, hang or
// read out of bounds, must write nothing, and must keep their own rules: the check's problems are well formed, and what
// the folder shows is exactly the safe entries. Its install, planned with either platform's rules, writes nothing until
// it is carried out, places every file below the content folder under names the system can make, writes nowhere else,
// and taken back leaves the content folder as it was.
#include "engine/install/install_files.h"
#include "engine/install/install_names.h"
#include "engine/library/path_boundary.h"
#include "engine/zip/package_check.h"
#include "engine/zip/zip_fs.h"
#include "tests/zip_maker.h"

#include <cstdint>
#include <cstdlib>
#include <set>

namespace {

const std::string k_zip = std::string(1, fsys::k_sep) + "p.zip";
// Enough to read every entry of a small input whole, little enough to keep each run short.
constexpr long long k_read_budget = 32 << 20;

void require(bool holds)
{
    if (!holds) {
        std::abort();
    }
}

void hold_problem_rules(const std::vector<zipfs::PackageProblem>& problems)
{
    for (const zipfs::PackageProblem& p : problems) {
        require(!p.message.empty() && p.message.find('\n') == std::string::npos);
        require(std::string(zipfs::problem_kind_name(p.kind)) != "unknown");
        // A zip that cannot be opened is one problem, and names no entry.
        if (p.kind == zipfs::ProblemKind::unreadable_zip) {
            require(problems.size() == 1 && p.entry.empty());
        }
        if (p.kind == zipfs::ProblemKind::unsafe_name) {
            require(zipfs::name_fault(p.entry) != zipfs::NameFault::none);
        }
    }
}

// Reads a file within the budget: a read gives at most the file's size, or fails with a reason.
void read_file(zipfs::ZipFileSystem& zip, const std::string& path, long long& budget)
{
    fsys::RawFile f;
    require(zip.is_readable_file(path) && zip.open_for_reading(path, f));
    const long long size = zip.file_size(f);
    long long got = 0, n = 0;
    static char block[8192];
    while (budget > 0 && (n = zip.read_some(f, block, sizeof block)) > 0) {
        got += n;
        budget -= n;
    }
    require(n >= 0 ? (size < 0 || got <= size) : !zip.read_failure(f).empty());
    zip.close_file(f);
}

// Walks the folder tree of the zip (without recursion: a hostile name may be thousands of
// folders deep): each folder is met once, and each listed name is one safe component.
void walk(zipfs::ZipFileSystem& zip, long long& budget)
{
    std::vector<std::string> folders{k_zip};
    std::set<std::uint64_t> seen;
    while (!folders.empty()) {
        const std::string folder = folders.back();
        folders.pop_back();
        fsys::FolderId id;
        require(zip.folder_identity(folder, id) && seen.insert(id.index).second);
        std::vector<fsys::FolderEntry> entries;
        require(zip.list_folder_entries(folder, entries));
        for (const fsys::FolderEntry& e : entries) {
            require(!e.name.empty() && e.name.find('/') == std::string::npos &&
                    zipfs::name_fault(e.name) == zipfs::NameFault::none);
            const std::string path = folder + fsys::k_sep + e.name;
            if (e.type == fsys::EntryType::folder) {
                folders.push_back(path);
            } else {
                read_file(zip, path, budget);
            }
        }
    }
}

bool is_installable_path(const std::string& path, fsys::DiskRules rules)
{
    for (std::string_view name : zipfs::name_components(path)) {
        if (name.empty() || name == "." || name == ".." || unmakeable_reason(name, rules) != nullptr) {
            return false;
        }
    }
    // The boundary between a stranger's paths and the disk reads the same names, and refuses none.
    const BoundedPath bounded = bounded_path(path, rules == fsys::DiskRules::windows ? PathStyle::windows : PathStyle::posix);
    return !path.empty() && path.front() != '/' && bounded.refusal == Refusal::none &&
           bounded.names.size() == zipfs::name_components(path).size();
}

struct Record : InstallJournal {
    bool keep(const InstallRecord&) override { return true; }
};

void install_everywhere(const std::string& zip_bytes)
{
    for (const fsys::DiskRules rules : {fsys::DiskRules::posix, fsys::DiskRules::windows}) {
        const std::string top = rules == fsys::DiskRules::windows ? std::string("C:") + fsys::k_sep : std::string(1, fsys::k_sep);
        const std::string root = top + "Poser", run = top + "runs", zip = top + "p.zip";
        fsys::MemoryFileSystem disk(rules, top);
        disk.add_file(zip, zip_bytes);
        disk.add_folder(root);
        disk.add_folder(run);
        ChangesSeen changes(disk);
        const InstallPlan plan = plan_install(disk, {zip}, root, rules);
        require(changes.list.empty());
        for (const PlannedFile& f : plan.files) {
            require(is_installable_path(f.path, rules));
        }
        if (!plan.can_install()) {
            continue;
        }
        Record journal;
        InstallRecord record;
        TakenBack taken_back;
        std::string reason;
        install_planned(disk, plan, run, journal, 1, "now", nullptr, record, taken_back, reason);
        for (const std::string& change : changes.list) {
            const std::string path = change.substr(change.find(' ') + 1);
            require(path.rfind(root + fsys::k_sep, 0) == 0 || path.rfind(run + fsys::k_sep, 0) == 0);
        }
        take_back(disk, record, "later", taken_back);
        require(taken_back.left.empty() && disk.tree(root).empty());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fsys::MemoryFileSystem disk;
    disk.add_file(k_zip, std::string(reinterpret_cast<const char*>(data), size));
    ChangesSeen changes(disk);
    hold_problem_rules(zipfs::check_package(disk, k_zip, zipfs::CheckDepth::contents));
    std::string reason;
    auto zip = zipfs::ZipFileSystem::open(disk, k_zip, k_zip, reason);
    require(zip != nullptr || !reason.empty());
    if (zip != nullptr) {
        long long budget = k_read_budget;
        walk(*zip, budget);
    }
    require(changes.list.empty());
    install_everywhere(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
