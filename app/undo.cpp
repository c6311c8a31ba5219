#include "app/undo.h"

#include "app/install_manifest.h"
#include "app/run_folders.h"
#include "app/run_manifest.h"
#include "engine/fsys/textio.h"
#include "engine/library/content_paths.h"
#include "engine/library/walk.h"
#include "engine/repair/backup_name.h"
#include "engine/repair/poserfile.h"

#include <algorithm>
#include <tuple>
#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

constexpr const char* k_manifest_name = "manifest.json";
// 1: a repair's; 2: also an install's, which says its kind.
constexpr int k_manifest_format = 2;
// A manifest of a million files is far below this; anything larger is no manifest of ours.
constexpr std::size_t k_manifest_limit = 1u << 30;

bool is_digits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The time a run folder's name gives ("20261207-104106", maybe with "-2"), or "" when the name
// is none, or a time still to come: no run of ours can have begun then.
std::string run_time_of(const std::string& name, std::time_t now)
{
    const std::string stamp = name.substr(0, 15);
    if (name.size() < 15 || stamp[8] != '-' || !is_digits(stamp.substr(0, 8)) || !is_digits(stamp.substr(9)) ||
        (name.size() > 15 && (name[15] != '-' || !is_digits(name.substr(16))))) {
        return std::string();
    }
    const int month = std::stoi(stamp.substr(4, 2));
    const int day = std::stoi(stamp.substr(6, 2));
    if (month < 1 || month > 12 || day < 1 || day > 31 || stamp.substr(9, 2) > "23" || stamp.substr(11, 2) > "59" ||
        stamp.substr(13, 2) > "60" || stamp > run_stamp(now)) {
        return std::string();
    }
    return stamp;
}

struct Change {
    std::string file;
    std::string backup;
    fsys::FileDigest before;
    fsys::FileDigest after;
    std::string undone;  // when this file was given back, or ""
    std::size_t entry = 0;
};

struct Manifest {
    std::string path;
    std::string folder;  // the run folder
    std::string root;    // the folder that holds tarnwick-runs
    std::string stamp;   // when the run began
    std::string undone;  // when it was undone whole, or ""
    json doc;
    std::vector<Change> changes;
};

// The run folder: below a plain tarnwick-runs folder, no link itself, named by a time of a run.
bool check_run_folder(fsys::FileSystem& fs, const std::string& run, std::time_t now, Manifest& m, std::string& error)
{
    m.folder = run_folder_of(fs, run);
    m.path = child_path(m.folder, k_manifest_name);
    m.root = folder_of(folder_of(m.folder));
    const std::string runs = folder_of(m.folder);
    if (name_of(runs) != k_runs_folder_name || fs.name_kind(m.path) == fsys::NameKind::none) {
        error = "no run folder with a manifest: " + run;
        return false;
    }
    for (const std::string& path : {runs, m.folder, m.path}) {
        const fsys::NameKind kind = fs.name_kind(path);
        if (kind == fsys::NameKind::link || kind == fsys::NameKind::other) {
            error = "refused: " + path + " is a link, which may lead anywhere";
            return false;
        }
    }
    m.stamp = run_time_of(name_of(m.folder), now);
    if (m.stamp.empty()) {
        error = "refused: " + m.folder + " is not named by the time of a run so far";
        return false;
    }
    return true;
}

bool corrupt(const Manifest& m, const std::string& what, std::string& error)
{
    error = "the manifest " + m.path + " is corrupt: " + what;
    return false;
}

bool read_head(fsys::FileSystem& fs, Manifest& m, std::string& error)
{
    std::string text;
    if (!fs.read_whole_file(m.path, text, k_manifest_limit)) {
        error = "can't read the manifest " + m.path;
        return false;
    }
    m.doc = json::parse(text, nullptr, false);
    std::string program;
    std::string started;
    long long format = 0;
    const json* files = field(m.doc, "files");
    if (!text_field(m.doc, "program", program) || program != "tarnwick" || !number_field(m.doc, "format", format) ||
        files == nullptr || !files->is_array()) {
        return corrupt(m, "not a manifest of tarnwick", error);
    }
    if (format > k_manifest_format) {
        error = "the manifest " + m.path + " was written by a newer tarnwick";
        return false;
    }
    if (!text_field(m.doc, "started", started) || started != m.stamp) {
        return corrupt(m, "its time is not its folder's", error);
    }
    if (!undone_field(m.doc, m.undone)) {
        return corrupt(m, "its undo time is no time", error);
    }
    return true;
}

bool read_change(fsys::FileSystem& fs, Manifest& m, const json& f, std::size_t entry, std::string& error)
{
    Change c;
    std::string path;
    std::string backup;
    if (!text_field(f, "path", path) || !text_field(f, "backup", backup) || !digest_field(f, "before", c.before) ||
        !digest_field(f, "after", c.after) || !undone_field(f, c.undone)) {
        return corrupt(m, "file " + std::to_string(entry + 1) + " is incomplete", error);
    }
    c.file = child_path_of_slashed(m.root, path);
    c.backup = child_path_of_slashed(m.folder, backup);
    c.entry = entry;
    const std::string link = is_safe_relative(backup) ? link_below(fs, m.folder, backup) : std::string();
    if (!link.empty()) {
        error = "refused: " + link + " is a link, which may lead anywhere";
        return false;
    }
    if (!is_safe_relative(path) || !is_safe_relative(backup) || path.rfind(k_runs_folder_name, 0) == 0 ||
        !stays_inside(fs, c.file, m.root) || !stays_inside(fs, c.backup, m.folder)) {
        error = "the manifest " + m.path + " names a file outside its root: " + path;
        return false;
    }
    m.changes.push_back(std::move(c));
    return true;
}

// Every change of a repair's manifest checked, before anything is changed.
bool read_changes(fsys::FileSystem& fs, Manifest& m, std::string& error)
{
    const json& files = *field(m.doc, "files");
    for (std::size_t k = 0; k < files.size(); ++k) {
        if (!read_change(fs, m, files[k], k, error)) {
            return false;
        }
    }
    return true;
}

bool holds(fsys::FileSystem& fs, const std::string& path, const fsys::FileDigest& wanted)
{
    fsys::FileDigest d;
    return fs.digest_file(path, d) && d == wanted;
}

// Gives `c.file` its old version back; the reason it was left alone otherwise.
std::string restore(fsys::FileSystem& fs, const Change& c)
{
    const bool present = fs.entry_exists(c.file);
    if (present && holds(fs, c.file, c.before)) {
        fs.remove_file(c.backup);
        return {};
    }
    if (present && !holds(fs, c.file, c.after)) {
        return "changed since the run";
    }
    // A run stopped between its renames left the old text in the swap file beside the file.
    const std::string swap = child_path(folder_of(c.file), k_swap_file_name);
    const std::string source = holds(fs, c.backup, c.before) ? c.backup : !present && holds(fs, swap, c.before) ? swap : "";
    if (source.empty()) {
        return "its old version is no longer in the run folder";
    }
    const bool moved = present ? fs.rename_replace(source, c.file) : fs.rename_noreplace(source, c.file);
    return moved ? std::string() : "it cannot be renamed";
}

}  // namespace

std::string run_folder_of(fsys::FileSystem& fs, const std::string& run)
{
    std::string folder = fs.absolute_path(run);
    return name_of(folder) == k_manifest_name ? folder_of(folder) : folder;
}

RunList find_runs(fsys::FileSystem& fs, const std::vector<std::string>& roots, std::time_t now)
{
    RunList list;
    for (const std::string& root : roots) {
        const std::string runs_folder = child_path(root, k_runs_folder_name);
        const fsys::NameKind kind = fs.name_kind(runs_folder);
        if (kind != fsys::NameKind::folder) {
            if (kind != fsys::NameKind::none) {
                list.refused.push_back(runs_folder + ": a link or no folder, not read");
            }
            continue;
        }
        std::vector<fsys::FolderEntry> entries;
        fs.list_folder_entries(runs_folder, entries);
        for (const fsys::FolderEntry& e : entries) {
            Manifest m;
            std::string error;
            if (!check_run_folder(fs, child_path(runs_folder, e.name), now, m, error) || !read_head(fs, m, error)) {
                list.refused.push_back(error);
                continue;
            }
            RunFolderInfo info{m.folder, e.name, m.undone, 0, 0, 0, installed_product(m.doc)};
            for (const json& f : *field(m.doc, "files")) {
                std::string undone;
                const json* replacements = field(f, "replacements");
                ++info.files;
                info.files_undone += undone_field(f, undone) && !undone.empty() ? 1 : 0;
                info.replacements += replacements != nullptr && replacements->is_array()
                                         ? static_cast<long long>(replacements->size())
                                         : 0;
            }
            list.runs.push_back(std::move(info));
        }
    }
    std::sort(list.runs.begin(), list.runs.end(), [](const RunFolderInfo& a, const RunFolderInfo& b) {
        return std::tie(a.stamp, a.folder) < std::tie(b.stamp, b.folder);
    });
    return list;
}

std::vector<const RunFolderInfo*> last_run(const RunList& list)
{
    std::vector<const RunFolderInfo*> folders;
    for (auto r = list.runs.rbegin(); r != list.runs.rend(); ++r) {
        if (r->files > 0 && r->undone.empty() && (folders.empty() || r->stamp == folders.front()->stamp)) {
            folders.insert(folders.begin(), &*r);
        }
    }
    return folders;
}

bool undo_run(fsys::FileSystem& fs, const std::string& run, std::time_t now, UndoOutcome& outcome, std::string& error)
{
    Manifest m;
    if (!check_run_folder(fs, run, now, m, error) || !read_head(fs, m, error)) {
        return false;
    }
    if (!m.undone.empty()) {
        error = "the run " + m.folder + " was undone already (" + m.undone + ")";
        return false;
    }
    if (is_install_manifest(m.doc)) {
        return undo_install(fs, m.path, m.root, m.doc, run_stamp(now), outcome, error);
    }
    if (!read_changes(fs, m, error)) {
        return false;
    }
    // The last change first: a file changed twice in a run would get its first old version.
    bool every_file = true;
    json& files = m.doc["files"];
    for (auto c = m.changes.rbegin(); c != m.changes.rend(); ++c) {
        if (!c->undone.empty()) {
            continue;
        }
        const std::string reason = restore(fs, *c);
        if (reason.empty()) {
            outcome.restored.push_back(c->file);
            files[c->entry]["undone"] = run_stamp(now);
        } else {
            outcome.left.emplace_back(c->file, reason);
            every_file = false;
        }
    }
    if (every_file) {
        m.doc["undone"] = run_stamp(now);
    }
    if (!rewrite_manifest(fs, m.path, m.doc)) {
        error = "can't note in " + m.path + " what was undone";
        return false;
    }
    std::vector<std::string> links;
    remove_tree(fs, m.folder, true, links);
    return true;
}

bool forget_run(fsys::FileSystem& fs, const std::string& run, std::time_t now, std::string& error)
{
    Manifest m;
    if (!check_run_folder(fs, run, now, m, error) || !read_head(fs, m, error)) {
        return false;
    }
    std::vector<std::string> links;
    if (!remove_tree(fs, m.folder, false, links)) {
        error = links.empty() ? "can't delete all of " + m.folder
                              : "refused to delete through the link " + links.front() + ": the rest of " + m.folder + " stays";
        return false;
    }
    return true;
}

namespace {

struct LoggedRepair {
    std::string file;
    std::string backup;
};

// The repairs a run log names as done, in the order it names them.
bool logged_repairs(fsys::FileSystem& fs, const std::string& log, std::vector<LoggedRepair>& repairs)
{
    TextReader in;
    if (!in.open(fs, log)) {
        return false;
    }
    static const std::string k_head = "file ";
    static const std::string k_tail = " being corrected: old version is on";
    std::string_view line;
    bool want_backup = false;
    bool open_block = false;  // the last file named is the last block's
    while (in.next_line(line)) {
        std::string text(line);
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        if (want_backup) {
            repairs.back().backup = text.substr(std::min<std::size_t>(5, text.size()));
            want_backup = false;
        } else if (text.rfind(k_head, 0) == 0 && text.size() > k_head.size() + k_tail.size() &&
                   text.compare(text.size() - k_tail.size(), k_tail.size(), k_tail) == 0) {
            repairs.push_back(LoggedRepair{text.substr(k_head.size(), text.size() - k_head.size() - k_tail.size()), ""});
            want_backup = open_block = true;
        } else if (text.rfind(k_head, 0) == 0) {
            open_block = false;
        } else if (open_block && (text == "      RUN ABANDONED" || text.rfind("      nothing changed", 0) == 0)) {
            repairs.pop_back();
            open_block = false;
        }
    }
    return !in.failed();
}

// Why a logged repair must be left alone, or "": the file lies below a root or the log's own
// folder, and its old version is its backup beside it, a plain file.
std::string why_not_undone(fsys::FileSystem& fs, const LoggedRepair& r, const std::vector<std::string>& places)
{
    // NAME_zzNN.ext: the suffix stands nine bytes from the end.
    const std::string backup_name = name_of(r.backup);
    const std::string suffix = backup_name.size() >= 10 ? backup_name.substr(backup_name.size() - 9, 5) : std::string();
    std::string expected = r.file;
    const bool beside = suffix.size() == 5 && suffix.compare(0, 3, "_zz") == 0 && is_digits(suffix.substr(3)) &&
                        lengthenname(expected, suffix) == 1 && expected == r.backup;
    if (!beside) {
        return "its old version " + r.backup + " is not its backup beside it";
    }
    std::string placed = r.file;
    if (place_under_root(fs, placed, places) == std::string::npos) {
        return "it lies outside the roots and the log's folder";
    }
    if (fs.name_kind(r.backup) != fsys::NameKind::file) {
        return "its old version " + r.backup + " is gone";
    }
    const fsys::NameKind kind = fs.name_kind(r.file);
    if (kind != fsys::NameKind::file && kind != fsys::NameKind::none) {
        return "it is no plain file";
    }
    return std::string();
}

}  // namespace

bool undo_from_log(fsys::FileSystem& fs, const std::string& log, const std::vector<std::string>& roots,
                   UndoOutcome& outcome, std::string& error)
{
    std::vector<LoggedRepair> repairs;
    if (!logged_repairs(fs, log, repairs)) {
        error = "can't read the log " + log;
        return false;
    }
    std::vector<std::string> places = roots;
    places.push_back(folder_of(fs.absolute_path(log)));
    for (auto r = repairs.rbegin(); r != repairs.rend(); ++r) {
        const std::string why = why_not_undone(fs, *r, places);
        if (!why.empty()) {
            outcome.left.emplace_back(r->file, why);
            continue;
        }
        // The corrected text is kept too: the file may have been changed since.
        const bool present = fs.entry_exists(r->file);
        const std::string kept = present ? next_free_backup_name(fs, r->file) : std::string();
        if ((present && (kept.empty() || !fs.rename_noreplace(r->file, kept))) || !fs.rename_noreplace(r->backup, r->file)) {
            outcome.left.emplace_back(r->file, "it cannot be renamed");
            continue;
        }
        outcome.restored.push_back(r->file + (kept.empty() ? "" : " (its corrected text kept on " + kept + ")"));
    }
    return true;
}
