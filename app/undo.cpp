#include "app/undo.h"

#include "app/run_folders.h"
#include "engine/backup_name.h"
#include "engine/content_paths.h"
#include "engine/fsys.h"
#include "engine/poserfile.h"
#include "engine/run_files.h"
#include "engine/textio.h"
#include "engine/tree_walk.h"

#include <algorithm>
#include <ctime>
#include <tuple>
#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

constexpr const char* k_manifest_name = "manifest.json";
constexpr int k_manifest_format = 1;
// A manifest of a million files is far below this; anything larger is no manifest of ours.
constexpr std::size_t k_manifest_limit = 1u << 30;

// A path the manifest gives relative to a folder: names joined by '/', none empty, "." or
// "..", no drive, no backslash, no NUL. Anything else could reach outside the folder.
bool is_safe_relative(const std::string& rel)
{
    if (rel.empty() || rel.find_first_of(std::string("\\:\0", 3)) != std::string::npos) {
        return false;
    }
    std::size_t k = 0;
    while (k <= rel.size()) {
        const std::size_t end = std::min(rel.find('/', k), rel.size());
        const std::string part = rel.substr(k, end - k);
        if (part.empty() || part == "." || part == "..") {
            return false;
        }
        k = end + 1;
    }
    return true;
}

bool is_digest(const json& d)
{
    return d.is_object() && d.contains("size") && d["size"].is_number_integer() && d.contains("sha256") &&
           d["sha256"].is_string() && d["sha256"].get<std::string>().size() == 64;
}

fsys::FileDigest digest_of(const json& d)
{
    return fsys::FileDigest{d["size"].get<long long>(), d["sha256"].get<std::string>()};
}

struct Change {
    std::string file;
    std::string backup;
    fsys::FileDigest before;
    fsys::FileDigest after;
};

struct Manifest {
    std::string path;
    std::string folder;  // the run folder
    std::string root;    // the folder that holds tarnwick-runs
    json doc;
    std::vector<Change> changes;
};

// True when the folder that would hold `file` lies, links followed, inside `root`.
bool stays_inside(const std::string& file, const std::string& root)
{
    std::string folder = folder_of(file);
    while (!fsys::entry_exists(folder) && folder.size() > root.size()) {
        folder = folder_of(folder);
    }
    const std::string real_root = fsys::resolved_path(root);
    const std::string real = fsys::resolved_path(folder);
    return !real_root.empty() && (real == real_root || root_holding(real, {real_root}) == 0);
}

bool load_manifest(const std::string& run, Manifest& m, std::string& error)
{
    m.folder = run_folder_of(run);
    m.path = child_path(m.folder, k_manifest_name);
    m.root = folder_of(folder_of(m.folder));
    std::string text;
    if (name_of(folder_of(m.folder)) != k_runs_folder_name || !fsys::read_whole_file(m.path, text, k_manifest_limit)) {
        error = "no run folder with a manifest: " + run;
        return false;
    }
    m.doc = json::parse(text, nullptr, false);
    const json& d = m.doc;
    if (!d.is_object() || d.value("program", "") != "tarnwick" || !d.contains("format") ||
        !d["format"].is_number_integer() || !d.contains("files") || !d["files"].is_array()) {
        error = "the manifest " + m.path + " is corrupt";
        return false;
    }
    if (d["format"].get<int>() > k_manifest_format) {
        error = "the manifest " + m.path + " was written by a newer tarnwick";
        return false;
    }
    return true;
}

// The manifest's changes, each checked to name a file below its root and an old version in
// its run folder; false, naming the first that does not, before anything is changed.
bool read_changes(Manifest& m, std::string& error)
{
    for (const json& f : m.doc["files"]) {
        if (!f.is_object() || !f.contains("path") || !f["path"].is_string() || !f.contains("backup") ||
            !f["backup"].is_string() || !f.contains("before") || !is_digest(f["before"]) || !f.contains("after") ||
            !is_digest(f["after"])) {
            error = "the manifest " + m.path + " is corrupt";
            return false;
        }
        const std::string path = f["path"].get<std::string>();
        const std::string backup = f["backup"].get<std::string>();
        Change c{child_path_of_slashed(m.root, path), child_path_of_slashed(m.folder, backup), digest_of(f["before"]), digest_of(f["after"])};
        if (!is_safe_relative(path) || !is_safe_relative(backup) || path.rfind(k_runs_folder_name, 0) == 0 ||
            !stays_inside(c.file, m.root) || !stays_inside(c.backup, m.folder)) {
            error = "the manifest " + m.path + " names a file outside its root: " + path;
            return false;
        }
        m.changes.push_back(std::move(c));
    }
    return true;
}

// When the run was undone, or "" while it is not.
std::string undone_of(const json& doc)
{
    return doc.contains("undone") && doc["undone"].is_string() ? doc["undone"].get<std::string>() : std::string();
}

bool holds(const std::string& path, const fsys::FileDigest& wanted)
{
    fsys::FileDigest d;
    return fsys::digest_file(path, d) && d == wanted;
}

// Gives `c.file` its old version back; the reason it was left alone otherwise.
std::string restore(const Change& c)
{
    const bool present = fsys::entry_exists(c.file);
    if (present && holds(c.file, c.before)) {
        fsys::remove_file(c.backup);
        return {};
    }
    if (present && !holds(c.file, c.after)) {
        return "changed since the run";
    }
    // A run stopped between its renames left the old text in the swap file beside the file.
    const std::string swap = child_path(folder_of(c.file), k_swap_file_name);
    const std::string source = holds(c.backup, c.before) ? c.backup : !present && holds(swap, c.before) ? swap : "";
    if (source.empty()) {
        return "its old version is no longer in the run folder";
    }
    const bool moved = present ? fsys::rename_replace(source, c.file) : fsys::rename_noreplace(source, c.file);
    return moved ? std::string() : "it cannot be renamed";
}

// Removes the empty folders below `folder`, deepest first, and `folder` itself when empty.
void remove_empty_folders(const std::string& folder)
{
    std::vector<fsys::FolderEntry> entries;
    if (!fsys::list_folder_entries(folder, entries)) {
        return;
    }
    for (const fsys::FolderEntry& e : entries) {
        if (e.type == fsys::EntryType::folder) {
            remove_empty_folders(child_path(folder, e.name));
        }
    }
    fsys::remove_folder(folder);
}

bool mark_undone(Manifest& m)
{
    m.doc["undone"] = run_stamp(std::time(nullptr));
    const std::string text = m.doc.dump(1, ' ', false, json::error_handler_t::replace) + "\n";
    const std::string fresh = m.path + ".new";
    fsys::RawFile f;
    if (!fsys::open_for_writing(fresh, fsys::Create::truncate, f)) {
        return false;
    }
    const bool written = fsys::write_all(f, text.data(), text.size()) && fsys::sync_to_disk(f);
    return fsys::close_file(f) && written && fsys::rename_replace(fresh, m.path);
}

// Deletes `folder` with everything in it; `whole` turns false when something stays.
void remove_tree(const std::string& folder, bool& whole)
{
    std::vector<fsys::FolderEntry> entries;
    if (!fsys::list_folder_entries(folder, entries)) {
        whole = false;
        return;
    }
    for (const fsys::FolderEntry& e : entries) {
        const std::string path = child_path(folder, e.name);
        if (e.type == fsys::EntryType::folder) {
            remove_tree(path, whole);
        } else if (!fsys::remove_file(path)) {
            whole = false;
        }
    }
    whole = fsys::remove_folder(folder) && whole;
}

}  // namespace

std::string run_folder_of(const std::string& run)
{
    std::string folder = fsys::absolute_path(run);
    return name_of(folder) == k_manifest_name ? folder_of(folder) : folder;
}

std::vector<RunFolderInfo> find_runs(const std::vector<std::string>& roots)
{
    std::vector<RunFolderInfo> runs;
    for (const std::string& root : roots) {
        const std::string runs_folder = child_path(root, k_runs_folder_name);
        std::vector<fsys::FolderEntry> entries;
        fsys::list_folder_entries(runs_folder, entries);
        for (const fsys::FolderEntry& e : entries) {
            Manifest m;
            std::string error;
            if (!load_manifest(child_path(runs_folder, e.name), m, error)) {
                continue;
            }
            RunFolderInfo info{m.folder, e.name, undone_of(m.doc), static_cast<long long>(m.doc["files"].size()), 0};
            for (const json& f : m.doc["files"]) {
                info.replacements += f.contains("replacements") && f["replacements"].is_array()
                                         ? static_cast<long long>(f["replacements"].size())
                                         : 0;
            }
            runs.push_back(std::move(info));
        }
    }
    std::sort(runs.begin(), runs.end(), [](const RunFolderInfo& a, const RunFolderInfo& b) {
        return std::tie(a.stamp, a.folder) < std::tie(b.stamp, b.folder);
    });
    return runs;
}

bool undo_run(const std::string& run, UndoOutcome& outcome, std::string& error)
{
    Manifest m;
    if (!load_manifest(run, m, error) || !read_changes(m, error)) {
        return false;
    }
    if (!undone_of(m.doc).empty()) {
        error = "the run " + m.folder + " was undone already (" + undone_of(m.doc) + ")";
        return false;
    }
    // The last change first: a file changed twice in a run would get its first old version.
    for (auto c = m.changes.rbegin(); c != m.changes.rend(); ++c) {
        const std::string reason = restore(*c);
        if (reason.empty()) {
            outcome.restored.push_back(c->file);
        } else {
            outcome.left.emplace_back(c->file, reason);
        }
    }
    if (!mark_undone(m)) {
        error = "can't mark the run undone in " + m.path;
        return false;
    }
    remove_empty_folders(m.folder);
    return true;
}

bool forget_run(const std::string& run, std::string& error)
{
    Manifest m;
    if (!load_manifest(run, m, error)) {
        return false;
    }
    bool whole = true;
    remove_tree(m.folder, whole);
    if (!whole) {
        error = "can't delete all of " + m.folder;
    }
    return whole;
}

bool undo_from_log(const std::string& log, UndoOutcome& outcome, std::string& error)
{
    TextReader in;
    if (!in.open(log)) {
        error = "can't read the log " + log;
        return false;
    }
    static const std::string k_head = "file ";
    static const std::string k_tail = " being corrected: old version is on";
    std::vector<std::pair<std::string, std::string>> corrected;  // file, backup
    std::string_view line;
    bool want_backup = false;
    while (in.next_line(line)) {
        std::string text(line);
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        if (want_backup) {
            corrected.back().second = text.substr(std::min<std::size_t>(5, text.size()));
            want_backup = false;
        } else if (text.rfind(k_head, 0) == 0 && text.size() > k_head.size() + k_tail.size() &&
                   text.compare(text.size() - k_tail.size(), k_tail.size(), k_tail) == 0) {
            corrected.emplace_back(text.substr(k_head.size(), text.size() - k_head.size() - k_tail.size()), "");
            want_backup = true;
        } else if (!corrected.empty() && (text == "      RUN ABANDONED" || text.rfind("      nothing changed", 0) == 0)) {
            corrected.pop_back();
        }
    }
    for (auto c = corrected.rbegin(); c != corrected.rend(); ++c) {
        const auto& [file, backup] = *c;
        if (!fsys::is_readable_file(backup)) {
            outcome.left.emplace_back(file, "its old version " + backup + " is gone");
            continue;
        }
        // The corrected text is kept too: the file may have been changed since.
        const std::string kept = fsys::entry_exists(file) ? next_free_backup_name(file) : std::string();
        if ((fsys::entry_exists(file) && (kept.empty() || !fsys::rename_noreplace(file, kept))) ||
            !fsys::rename_noreplace(backup, file)) {
            outcome.left.emplace_back(file, "it cannot be renamed");
            continue;
        }
        outcome.restored.push_back(file + (kept.empty() ? "" : " (its corrected text kept on " + kept + ")"));
    }
    return true;
}
