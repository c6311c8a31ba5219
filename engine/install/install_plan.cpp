#include "engine/install/install_plan.h"

#include "engine/base/ascii.h"
#include "engine/base/run_stop.h"
#include "engine/install/install_names.h"
#include "engine/library/content_paths.h"
#include "engine/library/path_boundary.h"
#include "engine/library/walk.h"
#include "engine/zip/package_check.h"
#include "engine/zip/zip_entry_reader.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

namespace {

using zipfs::ProblemKind;
using zipfs::ZipEntry;

void note(std::vector<EntryNote>& notes, std::size_t zip, std::string entry, std::string reason)
{
    notes.push_back(EntryNote{zip, std::move(entry), std::move(reason)});
}

// The check's problems sorted into the plan: what refuses the install, and the folder one down
// that holds Runtime ("" when it lies at the top). False when the zip cannot be read at all.
bool sort_problems(const std::vector<zipfs::PackageProblem>& problems, std::size_t zip, InstallPlan& plan,
                   std::string& runtime_folder)
{
    std::vector<std::string> wrappers;
    for (const zipfs::PackageProblem& p : problems) {
        switch (p.kind) {
        case ProblemKind::runtime_too_deep:
            wrappers.push_back(p.entry);
            break;
        // Skipped entry by entry, and read by their UTF-8 bytes or from code page 437.
        case ProblemKind::archiver_junk:
        case ProblemKind::backup:
        case ProblemKind::unmarked_non_ascii:
            break;
        // The install measures each path it makes against this system's own limit; and a
        // document naming a share is no entry that cannot be made: the report after the
        // install names it, refused.
        case ProblemKind::path_too_long:
        case ProblemKind::network_reference:
            break;
        default:
            note(plan.refusals, zip, p.entry, p.message);
            if (p.kind == ProblemKind::unreadable_zip) {
                return false;
            }
        }
    }
    if (wrappers.size() > 1) {
        note(plan.refusals, zip, "",
             "a Runtime folder lies one folder down in " + std::to_string(wrappers.size()) +
                 " folders: which one holds the product cannot be told");
    } else if (wrappers.size() == 1) {
        runtime_folder = wrappers.front();
        note(plan.notes, zip, runtime_folder, "the Runtime folder lies one folder down: unpacked from this folder");
    }
    return true;
}

std::string joined(const std::string& folder, const std::string& name)
{
    return folder.empty() ? name : folder + '/' + name;
}

// The content folder as the plan meets it: each folder below it, by its path in lower case,
// as it lies there or will be made, with the names it holds when it lies there.
class FolderMap {
public:
    FolderMap(fsys::FileSystem& fs, std::string root) : m_fs(fs), m_root(std::move(root)) { m_folders[""] = Folder{"", true, false, {}}; }

    // What lies at the name `name` of the folder keyed `folder`: its kind and its name there.
    struct Found {
        fsys::NameKind kind = fsys::NameKind::none;
        std::string name;
    };
    Found find(const std::string& folder, const std::string& name)
    {
        Folder& f = m_folders.at(folder);
        if (!f.on_disk) {
            return {};
        }
        if (!f.listed) {
            list(f);
        }
        const auto at = f.names.find(lower_ascii(name));
        if (at == f.names.end()) {
            return {};
        }
        const fsys::EntryType type = at->second.type;
        const fsys::NameKind kind = type == fsys::EntryType::file     ? fsys::NameKind::file
                                    : type == fsys::EntryType::folder ? fsys::NameKind::folder
                                                                      : m_fs.name_kind(disk_path(joined(f.path, at->second.name)));
        return {kind, at->second.name};
    }
    // The folder `name` of the folder keyed `parent` (which must be known): its key.
    std::string enter(const std::string& parent, const std::string& name, bool on_disk)
    {
        const std::string key = joined(parent, lower_ascii(name));
        if (m_folders.count(key) == 0) {
            m_folders[key] = Folder{joined(m_folders.at(parent).path, name), on_disk, false, {}};
        }
        return key;
    }
    bool known(const std::string& key) const { return m_folders.count(key) > 0; }
    const std::string& path_of(const std::string& key) const { return m_folders.at(key).path; }
    std::string disk_path(const std::string& below) const { return below.empty() ? m_root : child_path_of_slashed(m_root, below); }

private:
    struct Folder {
        std::string path;
        bool on_disk = false;
        bool listed = false;
        std::unordered_map<std::string, fsys::FolderEntry> names;  // by the name in lower case
    };
    void list(Folder& f)
    {
        std::vector<fsys::FolderEntry> entries;
        m_fs.list_folder_entries(disk_path(f.path), entries);
        for (fsys::FolderEntry& e : entries) {
            std::string key = lower_ascii(e.name);
            f.names.emplace(std::move(key), std::move(e));
        }
        f.listed = true;
    }

    fsys::FileSystem& m_fs;
    std::string m_root;
    std::unordered_map<std::string, Folder> m_folders;
};

// Places the entries of the product below the root, folder by folder, meeting existing folders
// in any letter case, and refuses what cannot lie there.
class Placer {
public:
    Placer(fsys::FileSystem& fs, InstallPlan& plan, fsys::DiskRules rules) : m_plan(plan), m_rules(rules), m_map(fs, plan.root) {}

    void place(std::size_t zip, const ZipEntry& e, const std::vector<std::string>& names)
    {
        // The run folders are the program's: nothing of a product may lie there.
        if (equals_ignoring_case(names.front(), k_runs_folder_name)) {
            note(m_plan.refusals, zip, e.name, "the name is that of the folder of tarnwick's runs");
            return;
        }
        std::size_t length = path_length(m_plan.root);
        for (const std::string& name : names) {
            if (const char* reason = unmakeable_reason(name, m_rules)) {
                note(m_plan.refusals, zip, e.name, reason);
                return;
            }
            length += 1 + path_length(name);
        }
        if (length > (m_rules == fsys::DiskRules::windows ? k_windows_path_limit : k_posix_path_limit)) {
            note(m_plan.refusals, zip, e.name,
                 m_rules == fsys::DiskRules::windows
                     ? "installed, its path would be longer than Windows programs such as Poser can open (259 letters)"
                     : "installed, its path would be longer than the system can open (4095 bytes)");
            return;
        }
        std::string folder;
        const std::size_t folders = e.is_folder ? names.size() : names.size() - 1;
        for (std::size_t k = 0; k < folders; ++k) {
            if (!enter_folder(zip, e, folder, names[k])) {
                return;
            }
        }
        if (!e.is_folder) {
            place_file(zip, e, folder, names.back());
        }
    }

private:
    std::size_t path_length(const std::string& text) const
    {
        return m_rules == fsys::DiskRules::windows ? utf16_length(text) : text.size();
    }

    bool refuse(std::size_t zip, const ZipEntry& e, const std::string& reason)
    {
        note(m_plan.refusals, zip, e.name, reason);
        return false;
    }

    // The folder `name` of `folder` entered, planned to be made when it does not lie there.
    bool enter_folder(std::size_t zip, const ZipEntry& e, std::string& folder, const std::string& name)
    {
        const std::string key = joined(folder, lower_ascii(name));
        if (m_files.count(key) > 0) {
            return refuse(zip, e, "the name is a folder's and also a file's of the product (letter case ignored)");
        }
        if (!m_map.known(key)) {
            const FolderMap::Found found = m_map.find(folder, name);
            if (found.kind != fsys::NameKind::none && found.kind != fsys::NameKind::folder) {
                return refuse(zip, e, found.kind == fsys::NameKind::file
                                          ? "a file lies in the content folder where the product has a folder"
                                          : "a link lies in the content folder where the product has a folder: the install "
                                            "would write wherever it leads");
            }
            m_map.enter(folder, found.kind == fsys::NameKind::folder ? found.name : name, found.kind != fsys::NameKind::none);
            if (found.kind == fsys::NameKind::none) {
                m_plan.folders.push_back(m_map.path_of(key));
            }
        }
        folder = key;
        return true;
    }

    void place_file(std::size_t zip, const ZipEntry& e, const std::string& folder, const std::string& name)
    {
        const std::string key = joined(folder, lower_ascii(name));
        if (m_map.known(key)) {
            refuse(zip, e, "the name is a file's and also a folder's of the product (letter case ignored)");
            return;
        }
        if (const auto twin = m_files.find(key); twin != m_files.end()) {
            const ZipEntry& first = m_plan.files[twin->second].entry;
            // Two zips of one product may both carry a file such as a read-me: the same bytes
            // are installed once.
            if (first.size != e.size || first.crc != e.crc) {
                refuse(zip, e, "another zip of the product holds a file of this name with other bytes");
            }
            return;
        }
        const FolderMap::Found found = m_map.find(folder, name);
        if (found.kind == fsys::NameKind::folder || found.kind == fsys::NameKind::link || found.kind == fsys::NameKind::other) {
            refuse(zip, e, found.kind == fsys::NameKind::folder ? "a folder lies in the content folder where the product has a file"
                                                                : "a link or a special file lies in the content folder where "
                                                                  "the product has a file");
            return;
        }
        const bool there = found.kind == fsys::NameKind::file;
        PlannedFile file{zip, e, joined(m_map.path_of(folder), there ? found.name : name),
                         there ? InstallAction::replace : InstallAction::add, {}};
        m_files[key] = m_plan.files.size();
        m_plan.files.push_back(std::move(file));
    }

    InstallPlan& m_plan;
    fsys::DiskRules m_rules;
    FolderMap m_map;
    std::unordered_map<std::string, std::size_t> m_files;  // by the path in lower case, into the plan's files
};

// The entry's names below the root, the folder that holds Runtime taken away; false for an
// entry outside that folder, or that folder itself. The names are read by the boundary between
// a stranger's paths and the disk, as the system of `rules` reads them; what it refuses, or a
// name it reads as "." or ".." (with Windows rules, a name of dots and blanks alone), leaves
// `names` empty and says why in `refused`.
bool names_below_root(const ZipEntry& e, const std::string& runtime_folder, fsys::DiskRules rules,
                      std::vector<std::string>& names, std::string& refused)
{
    if (e.name.compare(0, runtime_folder.size(), runtime_folder) != 0 || e.name.size() == runtime_folder.size()) {
        return false;
    }
    std::string name = installed_name(e);
    if (!runtime_folder.empty()) {
        name.erase(0, name.find('/') + 1);  // the folder the Runtime's is unpacked from is not made
    }
    const BoundedPath bounded = bounded_path(name, rules == fsys::DiskRules::windows ? PathStyle::windows : PathStyle::posix);
    if (bounded.refusal == Refusal::device) {
        refused = k_device_name_reason;
    } else if (bounded.refusal != Refusal::none) {
        refused = "unsafe name: the path " + std::string(refusal_words(bounded.refusal));
    } else if (bounded.names.size() != zipfs::name_components(name).size()) {
        refused = "unsafe name: a name of dots and blanks alone, which Windows reads as '..'";
    }
    names.assign(bounded.names.begin(), bounded.names.end());
    return refused.empty() ? !names.empty() : true;
}

// Sorts the entries of one zip: skipped (archiver leftovers, old copies, what lies beside the
// folder that holds Runtime) or placed.
void plan_entries(const std::vector<ZipEntry>& entries, std::size_t zip, const std::string& runtime_folder, Placer& placer,
                  InstallPlan& plan, fsys::DiskRules rules)
{
    std::unordered_set<std::string> names;
    for (const ZipEntry& e : entries) {
        names.insert(e.name);
    }
    bool code_page_said = false;
    for (const ZipEntry& e : entries) {
        std::vector<std::string> below;
        std::string refused;
        if (e.fault != zipfs::NameFault::none || e.is_link) {
            continue;  // refused by the check already
        }
        if (zipfs::is_archiver_junk(e)) {
            if (!e.is_folder) {
                note(plan.junk, zip, e.name, "left by an archiver or a file browser, not content");
            }
        } else if (zipfs::is_kept_backup(e, names)) {
            if (!e.is_folder) {
                note(plan.skipped, zip, e.name, "an old copy kept by a repair, not content");
            }
        } else if (!names_below_root(e, runtime_folder, rules, below, refused)) {
            if (!e.is_folder) {
                note(plan.skipped, zip, e.name, "it lies outside the folder that holds the Runtime folder");
            }
        } else {
            if (installed_name(e) != e.name && !code_page_said) {
                code_page_said = true;
                note(plan.notes, zip, e.name, "a name neither marked nor written as UTF-8: read in code page 437, as the zip format says");
            }
            if (refused.empty()) {
                placer.place(zip, e, below);
            } else {
                note(plan.refusals, zip, e.name, refused);
            }
        }
    }
}

// True when the entry inflates to exactly the bytes of the file `path`.
bool same_bytes(fsys::FileSystem& fs, zip_t* archive, const ZipEntry& e, const std::string& path)
{
    zipfs::EntryReader reader;
    fsys::RawFile f;
    if (!reader.open(archive, e) || !fs.open_for_reading(path, f)) {
        return false;
    }
    std::vector<char> a(1 << 16);
    std::vector<char> b(1 << 16);
    bool same = true;
    for (long long n; same && (n = reader.read_some(a.data(), a.size())) != 0;) {
        long long got = 0;
        for (long long m = 1; n > 0 && got < n && m > 0; got += m) {
            m = std::max(0LL, fs.read_some(f, b.data() + got, static_cast<std::size_t>(n - got)));
        }
        same = n > 0 && got == n && std::memcmp(a.data(), b.data(), static_cast<std::size_t>(n)) == 0;
    }
    same = same && fs.read_some(f, b.data(), 1) == 0;
    fs.close_file(f);
    return same;
}

// True when the old version of the file at `path` below the root would lie, in a run folder, at a
// path longer than Windows programs open.
bool old_version_too_deep(const InstallPlan& plan, const PlannedFile& f, fsys::DiskRules rules)
{
    // <root>\tarnwick-runs\<YYYYMMDD-HHMMSS-NN>\old\<path>
    constexpr std::size_t k_run_folder_letters = 1 + 13 + 1 + 18 + 1 + 3;
    return rules == fsys::DiskRules::windows &&
           utf16_length(plan.root) + k_run_folder_letters + 1 + utf16_length(f.path) > k_windows_path_limit;
}

// Each file that lies at its path already compared with the entry: the same bytes are left as
// they are, other bytes replaced; a file the user marked read-only, or that cannot be read, or
// whose old version the run folder could not hold, stops the install before anything is written.
void compare_with_disk(fsys::FileSystem& fs, InstallPlan& plan, fsys::DiskRules rules)
{
    std::vector<zipfs::ZipHandle> archives(plan.zips.size());
    for (PlannedFile& f : plan.files) {
        if (f.action != InstallAction::replace || run_stop::requested()) {
            plan.stopped = plan.stopped || run_stop::requested();
            continue;
        }
        const std::string path = child_path_of_slashed(plan.root, f.path);
        std::string reason;
        zipfs::ZipHandle& archive = archives[f.zip];
        if (archive == nullptr) {
            archive = zipfs::open_zip(fs, plan.zips[f.zip], zipfs::Checks::directory, reason);
        }
        if (fs.is_read_only(path)) {
            note(plan.blocked, f.zip, f.entry.name, "the file it would replace is marked read-only");
        } else if (!fs.digest_file(path, f.before)) {
            note(plan.blocked, f.zip, f.entry.name, "the file it would replace cannot be read");
        } else if (f.before.size == static_cast<long long>(f.entry.size) && archive != nullptr &&
                   same_bytes(fs, archive.get(), f.entry, path)) {
            f.action = InstallAction::already_there;
        } else if (old_version_too_deep(plan, f, rules)) {
            note(plan.blocked, f.zip, f.entry.name, "the old version of the file it would replace would lie too deep in the run folder");
        }
    }
}

}  // namespace

long long InstallPlan::count(InstallAction action) const
{
    return std::count_if(files.begin(), files.end(), [action](const PlannedFile& f) { return f.action == action; });
}

unsigned long long InstallPlan::bytes_to_write() const
{
    unsigned long long bytes = 0;
    for (const PlannedFile& f : files) {
        bytes += f.action == InstallAction::already_there ? 0 : f.entry.size;
    }
    return bytes;
}

const char* action_words(InstallAction action)
{
    switch (action) {
    case InstallAction::add: return "new";
    case InstallAction::replace: return "replaced";
    case InstallAction::already_there: return "already there";
    }
    return "new";
}

InstallPlan plan_install(fsys::FileSystem& fs, const std::vector<std::string>& zips, const std::string& root,
                         fsys::DiskRules rules)
{
    InstallPlan plan;
    plan.root = root;
    plan.zips = zips;
    Placer placer(fs, plan, rules);
    for (std::size_t zip = 0; zip < zips.size() && !plan.stopped; ++zip) {
        std::string runtime_folder;
        std::string reason;
        std::vector<ZipEntry> entries;
        if (!sort_problems(zipfs::check_package(fs, zips[zip]), zip, plan, runtime_folder)) {
            continue;
        }
        zipfs::ZipHandle archive = zipfs::open_zip(fs, zips[zip], zipfs::Checks::directory, reason);
        if (archive == nullptr || !zipfs::read_entries(archive.get(), entries, reason)) {
            note(plan.refusals, zip, "", "the zip cannot be read: " + reason);
            continue;
        }
        plan_entries(entries, zip, runtime_folder, placer, plan, rules);
        plan.stopped = run_stop::requested();
    }
    if (plan.refusals.empty() && !plan.stopped) {
        compare_with_disk(fs, plan, rules);
    }
    if (!plan.can_install()) {
        plan.files.clear();
        plan.folders.clear();
    }
    return plan;
}
