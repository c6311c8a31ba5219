#include "app/undo_command.h"

#include "app/content_roots.h"
#include "app/counted.h"
#include "app/undo.h"
#include "app/visible_text.h"
#include "engine/base/prompts.h"
#include "engine/library/content_paths.h"

#include <algorithm>

namespace {

constexpr int k_done = 0;
constexpr int k_said_no = 1;
constexpr int k_refused = 2;
constexpr int k_some_left = 3;

int refuse(std::FILE* err, const std::string& reason)
{
    std::fprintf(err, "tarnwick-cli: %s\n", visible(reason).c_str());
    return k_refused;
}

int print_outcome(const UndoOutcome& o, std::FILE* out, std::FILE* err, bool unattended)
{
    for (const std::string& file : o.restored) {
        std::fprintf(out, "restored %s\n", visible(file).c_str());
    }
    for (const auto& [file, reason] : o.left) {
        std::fprintf(out, "left alone %s: %s\n", visible(file).c_str(), visible(reason).c_str());
        if (unattended) {
            std::fprintf(err, "left alone: %s: %s\n", visible(file).c_str(), visible(reason).c_str());
        }
    }
    std::fprintf(out, "%s restored, %zu left alone\n", counted(static_cast<long long>(o.restored.size()), "file", "files").c_str(),
                 o.left.size());
    return o.left.empty() ? k_done : k_some_left;
}

int list_runs(const RunList& list, std::FILE* out)
{
    for (const RunFolderInfo& r : list.runs) {
        const std::string what =
            !r.move.empty()    ? r.move + ", " + counted(r.replacements, "reference", "references") + " rewritten in " +
                                  counted(r.files, "document", "documents")
            : r.product.empty() ? counted(r.files, "file", "files") + " changed, " + counted(r.replacements, "reference", "references") +
                                      " replaced"
                                : "install of " + r.product + ": " + counted(r.files, "file", "files") + " written";
        const std::string undone = !r.undone.empty()       ? ", undone " + r.undone
                                   : r.files_undone > 0 ? ", " + std::to_string(r.files_undone) + " undone"
                                                          : std::string();
        std::fprintf(out, "%s  %s%s  %s\n", visible(r.stamp).c_str(), visible(what).c_str(), undone.c_str(),
                     visible(r.folder).c_str());
    }
    if (list.runs.empty()) {
        std::fputs("no runs below the roots\n", out);
    }
    return k_done;
}

// "20261207-104106" as "2026-12-07 10:41:06".
std::string shown_stamp(const std::string& stamp)
{
    if (stamp.size() < 15) {
        return stamp;
    }
    return stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" + stamp.substr(6, 2) + " " + stamp.substr(9, 2) + ":" +
           stamp.substr(11, 2) + ":" + stamp.substr(13, 2);
}

std::string outcome_text(const UndoOutcome& o)
{
    std::string text = counted(static_cast<long long>(o.restored.size()), "file", "files") + " restored, " +
                       std::to_string(o.left.size()) + " left alone";
    for (const auto& [file, reason] : o.left) {
        text += "\n" + file + ": " + reason;
    }
    return text;
}

// Nothing is left to undo: after an undo, because every run is undone already; the one undone
// last is named, so that a second click is understood. Undoing goes back in time: of runs
// undone in one second, the oldest went last.
std::string nothing_left(const RunList& list)
{
    const RunFolderInfo* latest = nullptr;
    for (const RunFolderInfo& r : list.runs) {
        if (r.files > 0 && !r.undone.empty() && (latest == nullptr || r.undone > latest->undone)) {
            latest = &r;
        }
    }
    return latest == nullptr ? "nothing is left to undo below the roots"
                             : "the run of " + shown_stamp(latest->stamp) +
                                   " was undone already, and no other run is left to undo below the roots";
}

bool user_agrees(const std::string& question, std::FILE* in, std::FILE* err)
{
    std::fprintf(err, "%s (yes/no) ", visible(question).c_str());
    std::fflush(err);
    char answer[16] = {};
    return std::fgets(answer, sizeof answer, in) != nullptr && std::string(answer).rfind("yes", 0) == 0;
}

bool gather_roots(fsys::FileSystem& fs, const UndoRequest& request, std::vector<std::string>& roots, std::string& error,
                  std::FILE* err)
{
    std::vector<std::string> notes;
    std::string prefs = request.library_prefs;
    const bool gathered = resolve_library_prefs(prefs, error) && gather_content_roots(fs, request.roots, prefs, roots, error, notes);
    for (const std::string& note : notes) {
        std::fprintf(err, "tarnwick-cli: %s\n", visible(note).c_str());
    }
    return gathered;
}

// True when the run folder `run` names lies in the tarnwick-runs folder of one of `roots`.
bool holds_run(fsys::FileSystem& fs, const std::vector<std::string>& roots, const std::string& run)
{
    const std::string root = fs.resolved_path(folder_of(folder_of(run_folder_of(fs, run))));
    return !root.empty() && std::any_of(roots.begin(), roots.end(), [&](const std::string& r) { return fs.resolved_path(r) == root; });
}

}  // namespace

int run_undo_command(fsys::FileSystem& fs, const UndoRequest& request, std::FILE* in, std::FILE* out, std::FILE* err,
                     bool unattended)
{
    const std::time_t now = std::time(nullptr);
    std::string error;
    UndoOutcome outcome;
    if (request.action == UndoAction::forget) {
        if (!request.yes && !user_agrees("delete the old versions kept in " + run_folder_of(fs, request.target) + "?", in, err)) {
            return k_said_no;
        }
        return forget_run(fs, request.target, now, error) ? k_done : refuse(err, error);
    }
    std::vector<std::string> folders;
    if (request.action == UndoAction::undo && !request.target.empty()) {
        // A run named with the roots to undo it below must lie below one of them.
        std::vector<std::string> roots;
        if ((!request.roots.empty() || !request.library_prefs.empty()) &&
            (!gather_roots(fs, request, roots, error, err) || !holds_run(fs, roots, request.target))) {
            return refuse(err, error.empty() ? "the run " + run_folder_of(fs, request.target) + " lies below none of the roots" : error);
        }
        folders.push_back(request.target);
    } else {
        std::vector<std::string> roots;
        if (!gather_roots(fs, request, roots, error, err)) {
            return refuse(err, error);
        }
        if (request.action == UndoAction::undo_log) {
            return undo_from_log(fs, request.target, roots, outcome, error) ? print_outcome(outcome, out, err, unattended)
                                                                             : refuse(err, error);
        }
        const RunList list = find_runs(fs, roots, now);
        for (const std::string& refused : list.refused) {
            std::fprintf(err, "tarnwick-cli: %s\n", visible(refused).c_str());
        }
        if (request.action == UndoAction::runs) {
            return list_runs(list, out);
        }
        for (const RunFolderInfo* r : last_run(list)) {
            folders.push_back(r->folder);
        }
        if (folders.empty()) {
            return refuse(err, "no run to undo below the roots");
        }
    }
    // The run is named before anything is restored, so that nobody takes one run for another.
    for (const std::string& folder : folders) {
        RunFolderInfo info;
        if (!read_run(fs, folder, now, info, error)) {
            return refuse(err, error);
        }
        if (!info.undone.empty()) {
            continue;  // refused below, as undone already
        }
        std::fprintf(out, "undoing the run of %s below %s: %s changed, old versions in %s\n", shown_stamp(info.stamp).c_str(),
                     visible(info.root).c_str(), counted(info.files, "file", "files").c_str(), visible(info.folder).c_str());
    }
    for (const std::string& folder : folders) {
        if (!undo_run(fs, folder, now, outcome, error)) {
            return refuse(err, error);
        }
    }
    return print_outcome(outcome, out, err, unattended);
}

void undo_last_run(fsys::FileSystem& fs, const std::vector<std::string>& roots, Prompts& wn, std::time_t now)
{
    static constexpr const char* k_caption = "undo the last run";
    const RunList list = find_runs(fs, roots, now);
    const std::vector<const RunFolderInfo*> last = last_run(list);
    if (last.empty()) {
        wn.information(Owner::none, nothing_left(list), k_caption);
        return;
    }
    long long files = 0;
    std::string move;
    for (const RunFolderInfo* r : last) {
        files += r->files - r->files_undone;
        move = r->move.empty() ? move : r->move;
    }
    // A newer run undone already is said first, so that nobody takes this one for it.
    std::string body;
    const RunFolderInfo& newest = list.runs.back();
    if (newest.stamp != last.front()->stamp && newest.files > 0) {
        body = "the run of " + shown_stamp(newest.stamp) + " was undone already.\n";
    }
    const RunFolderInfo& run = *last.front();
    if (!move.empty()) {
        body += "the move of " + shown_stamp(run.stamp) + ": " + move + ", " + counted(files, "document", "documents") +
                " changed, old versions in\n" + run.folder;
    } else {
        const std::string what = run.product.empty() ? "the run of " : "the install of " + run.product + " of ";
        body += what + shown_stamp(run.stamp) + " below " + run.root + ": " + counted(files, "file", "files") +
                (run.files_undone > 0 ? " still to give back" : run.product.empty() ? " changed" : " written") +
                ", old versions in\n" + run.folder;
    }
    if (!wn.question(Owner::none, body, "undo the last run?")) {
        return;
    }
    UndoOutcome outcome;
    std::string error;
    for (const RunFolderInfo* r : last) {
        if (!undo_run(fs, r->folder, now, outcome, error)) {
            wn.warning(Owner::none, error, "I can't undo this run");
            return;
        }
    }
    wn.information(Owner::none, outcome_text(outcome), k_caption);
}
