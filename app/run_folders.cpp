#include "app/run_folders.h"

#include "app/content_roots.h"
#include "app/local_time.h"
#include "engine/base/log_text.h"
#include "engine/base/text_encoding.h"
#include "engine/fsys/fsys.h"
#include "engine/library/content_paths.h"
#include "engine/library/walk.h"
#include "engine/repair/run.h"

#include <algorithm>
#include <ctime>
#include <nlohmann/json.hpp>

using ordered_json = nlohmann::ordered_json;

namespace {

// What follows the entries of an open manifest; each new entry is written over it.
const std::string k_manifest_end = "\n]}\n";

// `path` below `folder`, with '/' between its names, as the manifest keeps it.
std::string relative_path(const std::string& path, const std::string& folder)
{
    std::string rel = path.substr(folder.size() + (folder.back() == fsys::k_sep ? 0 : 1));
    std::replace(rel.begin(), rel.end(), fsys::k_sep, '/');
    return rel;
}

bool same_volume(fsys::FileSystem& fs, const std::string& a, const std::string& b)
{
    fsys::FolderId x;
    fsys::FolderId y;
    return fs.folder_identity(a, x) && fs.folder_identity(b, y) && x.volume == y.volume;
}

ordered_json digest_json(const fsys::FileDigest& d)
{
    return ordered_json{{"size", d.size}, {"sha256", d.sha256}};
}

}  // namespace

struct RunFolders::Folder {
    std::string root;
    std::string path;  // the run folder
    fsys::RawFile manifest;
    long long end = 0;  // where the entries end in the manifest
    bool failed = false;
    int entries = 0;
};

std::string run_stamp(std::time_t when)
{
    return local_time_text(when, "%Y%m%d-%H%M%S");
}

RunFolderMade make_run_folder(fsys::FileSystem& fs, const std::string& root, const std::string& stamp, std::string& path)
{
    const std::string runs = child_path(root, k_runs_folder_name);
    path = child_path(runs, stamp);
    // A link in its place, as content unpacked at the root may bring, would send the old
    // versions wherever it points.
    if (fs.name_kind(runs) != fsys::NameKind::none && fs.name_kind(runs) != fsys::NameKind::folder) {
        return RunFolderMade::not_plain;
    }
    // Two runs in one second get folders of their own.
    for (int n = 2; fs.entry_exists(path); ++n) {
        path = child_path(runs, stamp + "-" + std::to_string(n));
    }
    return fs.make_folders(path) ? RunFolderMade::made : RunFolderMade::failed;
}

RunFolders::RunFolders(Run& run, RunSettings settings, std::string stamp)
    : m_run(run), m_settings(std::move(settings)), m_stamp(std::move(stamp))
{
    m_folders.resize(m_settings.roots.size());
}

RunFolders::~RunFolders()
{
    for (auto& f : m_folders) {
        if (f && f->manifest.is_open()) {
            m_run.fs().sync_to_disk(f->manifest);
            m_run.fs().close_file(f->manifest);
        }
    }
}

// The run folder below root `root`, made with its manifest when first asked for; nullptr
// when it cannot be made.
RunFolders::Folder* RunFolders::folder_for(std::size_t root)
{
    std::unique_ptr<Folder>& f = m_folders[root];
    if (f) {
        return f->failed ? nullptr : f.get();
    }
    fsys::FileSystem& fs = m_run.fs();
    f = std::make_unique<Folder>();
    f->root = m_settings.roots[root];
    const RunFolderMade made = make_run_folder(fs, f->root, m_stamp, f->path);
    if (made == RunFolderMade::not_plain) {
        m_run.write_log("the run folder " + log_text(folder_of(f->path)) + " is no plain folder: old versions are kept beside their files\n");
    }
    if (made != RunFolderMade::made) {
        f->failed = true;
        return nullptr;
    }
    ordered_json head{{"program", "tarnwick"}, {"format", m_settings.kind.empty() ? 1 : 2}};
    if (!m_settings.kind.empty()) {
        head["kind"] = m_settings.kind;
    }
    head.update({{"version", m_settings.version}, {"started", m_stamp}, {"root", f->root}, {"roots", m_settings.roots}});
    if (m_settings.kind.empty()) {
        head["options"] = {{"modern", true}, {"auto", m_settings.automatic}};
    } else if (const ordered_json fields = ordered_json::parse(m_settings.head_fields, nullptr, false); fields.is_object()) {
        head.update(fields);
    }
    head["undone"] = nullptr;
    std::string text = head.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    text.pop_back();
    text += ",\"files\":[" + k_manifest_end;
    f->end = static_cast<long long>(text.size() - k_manifest_end.size());
    f->failed = !fs.open_for_writing(child_path(f->path, "manifest.json"), fsys::Create::exclusive, f->manifest) ||
                !fs.write_all(f->manifest, text.data(), text.size());
    if (!f->failed) {
        m_run.write_log("old versions of the files changed are kept in\n     " + log_text(f->path) + "\n");
    }
    return f->failed ? nullptr : f.get();
}

// `given` spelt below the root that holds it, as the roots are held, links followed where the
// text alone does not tell (a root reached through a link, or a file named by its real path);
// npos in `root` when no root holds it.
std::string RunFolders::place(const std::string& given, std::size_t& root)
{
    fsys::FileSystem& fs = m_run.fs();
    const std::string absolute = fs.absolute_path(given);
    std::string file = child_path(normalised_root(fs, folder_of(absolute)), name_of(absolute));
    root = root_holding(file, m_settings.roots);
    if (root == std::string::npos) {
        std::string folder = folder_of(file);
        root = place_under_root(fs, folder, m_settings.roots);
        file = child_path(folder, name_of(file));
    }
    return file;
}

std::string RunFolders::open_folder(std::size_t root)
{
    const Folder* f = root < m_folders.size() ? folder_for(root) : nullptr;
    return f == nullptr ? std::string() : f->path;
}

std::vector<std::string> RunFolders::folders() const
{
    std::vector<std::string> made;
    for (const auto& f : m_folders) {
        if (f && !f->path.empty()) {
            made.push_back(f->path);
        }
    }
    return made;
}

std::string RunFolders::backup_for(const std::string& given)
{
    fsys::FileSystem& fs = m_run.fs();
    std::size_t root = std::string::npos;
    const std::string file = place(given, root);
    Folder* f = root == std::string::npos ? nullptr : folder_for(root);
    std::string backup;
    if (f != nullptr) {
        backup = child_path_of_slashed(f->path, relative_path(file, f->root));
        // A folder of the run folder made on the volume of its files' folder serves them all.
        const std::string folder = folder_of(backup);
        const bool ready = m_ready_folders.count(folder) != 0 ||
                           (same_volume(fs, f->path, folder_of(given)) && fs.make_folders(folder) && m_ready_folders.insert(folder).second);
        if (!is_utf8(backup) || !ready || fs.entry_exists(backup)) {
            backup.clear();
        }
    }
    if (backup.empty() && !m_fallback_said) {
        m_fallback_said = true;
        m_run.write_log("some old versions are kept beside their files: the run folder cannot hold them\n");
    }
    return backup;
}

bool RunFolders::record(const FileChange& change)
{
    std::vector<bool> recorded;
    record_all({change}, recorded);
    return recorded.front();
}

// After a write of entries that failed, perhaps halfway (a disk that filled up): the manifest ends
// again where its entries do, blanks over what the write left behind it, so that it still reads.
void RunFolders::end_manifest_again(Folder& f)
{
    fsys::FileSystem& fs = m_run.fs();
    std::string end = k_manifest_end;
    end.resize(static_cast<std::size_t>(std::max<long long>(fs.file_size(f.manifest) - f.end, static_cast<long long>(end.size()))), ' ');
    if (fs.seek_to(f.manifest, f.end)) {
        fs.write_all(f.manifest, end.data(), end.size());
    }
}

void RunFolders::record_all(const std::vector<FileChange>& changes, std::vector<bool>& recorded)
{
    recorded.assign(changes.size(), true);
    // The new entries of each run folder's manifest, written there in one step.
    struct Entries {
        std::string text;
        int count = 0;
        std::vector<std::size_t> changes;
    };
    std::vector<Entries> entries(m_folders.size());
    for (std::size_t k = 0; k < changes.size(); ++k) {
        const FileChange& change = changes[k];
        std::size_t root = std::string::npos;
        const std::string file = place(change.file, root);
        Folder* f = root == std::string::npos ? nullptr : folder_for(root);
        // An old version kept beside its file is undone from the run log, as the default repair's.
        if (f == nullptr || change.backup.compare(0, f->path.size() + 1, f->path + fsys::k_sep) != 0) {
            continue;
        }
        ordered_json replacements = ordered_json::array();
        for (const Replacement& r : change.replacements) {
            replacements.push_back(
                {{"old", r.old_path}, {"new", r.new_path}, {"kind", kind_name(r.kind)}, {"how", r.how}, {"uses", r.uses}});
        }
        const ordered_json entry{{"path", relative_path(file, f->root)},
                                 {"backup", relative_path(change.backup, f->path)},
                                 {"before", digest_json(change.before)},
                                 {"after", digest_json(change.after)},
                                 {"replacements", replacements},
                                 {"undone", nullptr}};
        Entries& e = entries[root];
        e.text += f->entries + e.count > 0 ? ",\n" : "\n";
        e.text += entry.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        ++e.count;
        e.changes.push_back(k);
    }
    for (std::size_t root = 0; root < entries.size(); ++root) {
        Entries& e = entries[root];
        if (e.count == 0) {
            continue;
        }
        Folder* f = m_folders[root].get();
        const std::size_t size = e.text.size();
        e.text += k_manifest_end;
        const bool written = m_run.fs().seek_to(f->manifest, f->end) && m_run.fs().write_all(f->manifest, e.text.data(), e.text.size());
        if (written) {
            f->end += static_cast<long long>(size);
            f->entries += e.count;
        } else {
            end_manifest_again(*f);
        }
        for (const std::size_t k : e.changes) {
            recorded[k] = written;
        }
    }
}
