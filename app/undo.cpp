#include "app/undo.h"

#include "app/install_manifest.h"
#include "app/move_undo.h"
#include "app/run_folders.h"
#include "app/run_manifest.h"
#include "engine/base/log_text.h"
#include "engine/fsys/textio.h"
#include "engine/library/content_paths.h"
#include "engine/library/walk.h"
#include "engine/repair/backup_name.h"
#include "engine/repair/poserfile.h"

#include <algorithm>
#include <set>
#include <tuple>
#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

constexpr const char* k_manifest_name = "manifest.json";
// 2: a run of a kind of its own ("kind": a move or an install), which an older program must
// not take for a repair.
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

// Why a name that is a link, or no plain file or folder (a pipe, a device), is not read or
// changed through.
std::string refusal(fsys::FileSystem& fs, const std::string& path)
{
    return "refused: " + path +
           (fs.name_kind(path) == fsys::NameKind::link ? " is a link, which may lead anywhere" : " is no plain file or folder");
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
    std::string kind;    // "" for a repair, "move"
    json doc;
    std::vector<Change> changes;
    StoredMove move;
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
            error = refusal(fs, path);
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

// How deep the arrays and objects of the JSON text `text` nest, what its strings hold aside.
std::size_t nesting_of(const std::string& text)
{
    std::size_t depth = 0;
    std::size_t deepest = 0;
    bool in_string = false;
    for (std::size_t k = 0; k < text.size(); ++k) {
        const char c = text[k];
        if (in_string) {
            k += c == '\\' ? 1 : 0;
            in_string = c != '"';
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

bool read_head(fsys::FileSystem& fs, Manifest& m, std::string& error)
{
    std::string text;
    if (!fs.read_whole_file(m.path, text, k_manifest_limit)) {
        error = fs.name_kind(m.path) == fsys::NameKind::file ? "can't read the manifest " + m.path
                                                              : "the manifest " + m.path + " is no plain file";
        return false;
    }
    if (nesting_of(text) > k_max_manifest_nesting) {
        return corrupt(m, "it nests deeper than " + std::to_string(k_max_manifest_nesting) + " levels", error);
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
    std::string root;
    if (!text_field(m.doc, "root", root) || !same_place(fs, root, m.root)) {
        error = "refused: the run " + m.folder + " was recorded for another root: " + root;
        return false;
    }
    if (!undone_field(m.doc, m.undone)) {
        return corrupt(m, "its undo time is no time", error);
    }
    if (field(m.doc, "kind") != nullptr && (!text_field(m.doc, "kind", m.kind) || (m.kind != "move" && m.kind != "install"))) {
        return corrupt(m, "it records a run of no kind this tarnwick knows", error);
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
        error = refusal(fs, link);
        return false;
    }
    if (!is_safe_relative(path) || path.rfind(k_runs_folder_name, 0) == 0 || !stays_inside(fs, c.file, m.root)) {
        error = "the manifest " + m.path + " names a file outside its root: " + path;
        return false;
    }
    if (!is_safe_relative(backup) || !stays_inside(fs, c.backup, m.folder)) {
        error = "the manifest " + m.path + " names an old version outside its run folder: " + backup;
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
    return m.kind != "move" || read_stored_move(fs, m.doc, m.root, m.folder, m.move, error);
}

// The references a file's entry says were replaced: each path replaced counts as often as the
// file used it (once, in a manifest that does not say).
long long replacements_in(const json& file)
{
    const json* replacements = field(file, "replacements");
    long long count = 0;
    for (std::size_t k = 0; replacements != nullptr && replacements->is_array() && k < replacements->size(); ++k) {
        long long uses = 1;
        count += number_field((*replacements)[k], "uses", uses) && uses > 0 ? uses : 1;
    }
    return count;
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
    // A run stopped between its renames left the old text in the swap file beside the file, which
    // may hold the new text already.
    const std::string swap = child_path(folder_of(c.file), k_swap_file_name);
    const std::string source = holds(fs, c.backup, c.before) ? c.backup : holds(fs, swap, c.before) ? swap : "";
    if (source.empty()) {
        return "its old version is no longer in the run folder";
    }
    const bool moved = present ? fs.rename_replace(source, c.file) : fs.rename_noreplace(source, c.file);
    return moved ? std::string() : "it cannot be renamed";
}

// The fields of `from` named in `names` whose values are plain (text, a number, true or false,
// null): what a manifest of ours holds there, and nothing that a damaged or planted one adds.
json plain_fields(const json* from, std::initializer_list<const char*> names)
{
    json kept = json::object();
    for (const char* name : names) {
        const json* f = from != nullptr ? field(*from, name) : nullptr;
        if (f != nullptr && f->is_primitive() && !f->is_binary()) {
            kept[name] = *f;
        }
    }
    return kept;
}

// The manifest `doc` with the fields a manifest has and no others, each as it was.
json kept_fields(const json& doc)
{
    json kept = plain_fields(&doc, {"program", "format", "version", "started", "root", "kind", "undone"});
    if (const json* move = field(doc, "move"); move != nullptr) {
        json record = plain_fields(move, {"from_root", "from", "to_root", "to", "files", "to_was_empty_folder", "undone"});
        record["made"] = json::array();
        const json* made = field(*move, "made");
        for (std::size_t k = 0; made != nullptr && made->is_array() && k < made->size(); ++k) {
            if ((*made)[k].is_string()) {
                record["made"].push_back((*made)[k]);
            }
        }
        kept["move"] = std::move(record);
    }
    kept["roots"] = json::array();
    const json* roots = field(doc, "roots");
    for (std::size_t k = 0; roots != nullptr && roots->is_array() && k < roots->size(); ++k) {
        if ((*roots)[k].is_string()) {
            kept["roots"].push_back((*roots)[k]);
        }
    }
    kept["options"] = plain_fields(field(doc, "options"), {"modern", "auto"});
    kept["files"] = json::array();
    for (const json& f : *field(doc, "files")) {
        json file = plain_fields(&f, {"path", "backup", "undone"});
        file["before"] = plain_fields(field(f, "before"), {"size", "sha256"});
        file["after"] = plain_fields(field(f, "after"), {"size", "sha256"});
        file["replacements"] = json::array();
        const json* replacements = field(f, "replacements");
        for (std::size_t k = 0; replacements != nullptr && replacements->is_array() && k < replacements->size(); ++k) {
            file["replacements"].push_back(plain_fields(&(*replacements)[k], {"old", "new", "kind", "how", "uses"}));
        }
        kept["files"].push_back(std::move(file));
    }
    return kept;
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
            RunFolderInfo info;
            std::string error;
            if (!read_run(fs, child_path(runs_folder, e.name), now, info, error)) {
                list.refused.push_back(error);
                continue;
            }
            list.runs.push_back(std::move(info));
        }
    }
    std::sort(list.runs.begin(), list.runs.end(), [](const RunFolderInfo& a, const RunFolderInfo& b) {
        return std::tie(a.stamp, a.folder) < std::tie(b.stamp, b.folder);
    });
    return list;
}

bool read_run(fsys::FileSystem& fs, const std::string& run, std::time_t now, RunFolderInfo& info, std::string& error)
{
    Manifest m;
    if (!check_run_folder(fs, run, now, m, error) || !read_head(fs, m, error)) {
        return false;
    }
    info = RunFolderInfo{m.folder, name_of(m.folder), m.root, m.undone, 0, 0, 0};
    if (m.kind == "move") {
        info.move = stored_move_summary(fs, m.doc, m.root, info.moved);
    }
    info.product = installed_product(m.doc);
    std::set<std::string> named;  // a file changed twice in the run is one file
    for (const json& f : *field(m.doc, "files")) {
        std::string undone, path;
        const bool first = !text_field(f, "path", path) || named.insert(path).second;
        info.files += first ? 1 : 0;
        info.files_undone += first && undone_field(f, undone) && !undone.empty() ? 1 : 0;
        info.replacements += replacements_in(f);
    }
    return true;
}

std::vector<const RunFolderInfo*> last_run(const RunList& list)
{
    std::vector<const RunFolderInfo*> folders;
    for (auto r = list.runs.rbegin(); r != list.runs.rend(); ++r) {
        if ((r->files > 0 || r->moved > 0) && r->undone.empty() && (folders.empty() || r->stamp == folders.front()->stamp)) {
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
    // The files a move took away come back first: the documents among them are given their old
    // text where they lay before.
    const bool moves_back = m.kind == "move" && m.move.here && m.move.undone.empty();
    const bool moved_back = !moves_back || undo_stored_move(fs, m.move, outcome);
    if (moves_back && moved_back) {
        m.doc["move"]["undone"] = run_stamp(now);
    }
    // The last change first: a file changed twice in a run would get its first old version.
    bool every_file = moved_back;
    json& files = m.doc["files"];
    for (auto c = m.changes.rbegin(); c != m.changes.rend(); ++c) {
        if (!c->undone.empty()) {
            continue;
        }
        if (!moved_back && comes_back_with_move(m.move, c->file)) {
            outcome.left.emplace_back(c->file, "it comes back with the files moved, which stay where they went");
            continue;
        }
        const std::string reason = restore(fs, *c);
        if (reason.empty()) {
            // A file named twice (changed twice in the run) is one file given back.
            if (std::find(outcome.restored.begin(), outcome.restored.end(), c->file) == outcome.restored.end()) {
                outcome.restored.push_back(c->file);
            }
            files[c->entry]["undone"] = run_stamp(now);
        } else {
            outcome.left.emplace_back(c->file, reason);
            every_file = false;
        }
    }
    if (every_file) {
        m.doc["undone"] = run_stamp(now);
    }
    if (!rewrite_manifest(fs, m.path, kept_fields(m.doc))) {
        error = "can't note in " + m.path + " what was undone";
        return false;
    }
    std::vector<std::string> links;
    remove_tree(fs, m.folder, Removal::empty_folders, links);
    return true;
}

bool forget_run(fsys::FileSystem& fs, const std::string& run, std::time_t now, std::string& error)
{
    Manifest m;
    if (!check_run_folder(fs, run, now, m, error) || !read_head(fs, m, error)) {
        return false;
    }
    // Whatever would stop the deletion is found before anything is deleted.
    std::vector<std::string> links;
    if (!remove_tree(fs, m.folder, Removal::look, links) && !links.empty()) {
        error = "refused to delete through " + links.front() + ", which is a link or no plain file: " + m.folder + " stays";
        return false;
    }
    // The manifest goes last, so that a run folder that cannot be deleted whole can be forgotten again.
    std::vector<fsys::FolderEntry> entries;
    bool whole = fs.list_folder_entries(m.folder, entries);
    for (const fsys::FolderEntry& e : entries) {
        const std::string path = child_path(m.folder, e.name);
        if (e.name != k_manifest_name) {
            whole = (fs.name_kind(path) == fsys::NameKind::folder ? remove_tree(fs, path, Removal::everything, links)
                                                                  : fs.remove_file(path)) &&
                    whole;
        }
    }
    if (!whole || !fs.remove_file(m.path) || !fs.remove_folder(m.folder)) {
        error = "can't delete all of " + m.folder;
        return false;
    }
    return true;
}

namespace {

struct LoggedRepair {
    std::string file;
    std::string backup;
};

// The repairs a run log names as done, in the order it names them. False when it cannot be read,
// or (`binary`) holds bytes no text holds.
bool logged_repairs(fsys::FileSystem& fs, const std::string& log, std::vector<LoggedRepair>& repairs, bool& binary)
{
    TextReader in;
    if (!in.open(fs, log)) {
        return false;
    }
    in.limit_line_length(k_max_log_line_bytes);
    static const std::string k_head = "file ";
    static const std::string k_tail = " being corrected: old version is on";
    std::string_view line;
    bool want_backup = false;
    bool open_block = false;  // the last file named is the last block's
    while (in.next_line(line)) {
        if (line.find('\0') != std::string_view::npos) {
            binary = true;
            return false;
        }
        // The reader bounds what it holds; a line past the bound is no line of ours, however it came.
        std::string text(in.line_was_cut() || line.size() > k_max_log_line_bytes ? std::string_view() : line);
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        if (want_backup && text.empty()) {
            repairs.pop_back();  // a repair whose old version is named by no path of any length is none
            want_backup = open_block = false;
        } else if (want_backup) {
            // The old version's line, as a run writes it: five blanks, then the path.
            const bool as_written = text.size() > 5 && text.compare(0, 5, "     ") == 0 && text[5] != ' ';
            repairs.back().backup = as_written ? text.substr(5) : std::string();
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
    // A run writes a control character of a name as \xNN: such a name is not the file's own.
    if (holds_logged_control(r.file) || holds_logged_control(r.backup)) {
        return "its name holds a control character, which the log shows as \\xNN: it cannot be read back whole";
    }
    if (r.backup.empty()) {
        return "the log does not name its old version as a run does";
    }
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
    switch (fs.name_kind(r.backup)) {
    case fsys::NameKind::file: break;
    case fsys::NameKind::none: return "its old version " + r.backup + " is gone";
    case fsys::NameKind::link: return "its old version " + r.backup + " is a link, which may lead anywhere";
    default: return "its old version " + r.backup + " is no plain file";
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
    bool binary = false;
    if (!logged_repairs(fs, log, repairs, binary)) {
        error = binary ? "the log " + log + " holds binary data: it is no run log" : "can't read the log " + log;
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
