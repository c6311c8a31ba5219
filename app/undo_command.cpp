#include "app/undo_command.h"

#include "app/content_roots.h"
#include "app/undo.h"
#include "app/visible_text.h"
#include "engine/base/prompts.h"

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
    std::fprintf(out, "%zu files restored, %zu left alone\n", o.restored.size(), o.left.size());
    return o.left.empty() ? k_done : k_some_left;
}

int list_runs(const RunList& list, std::FILE* out)
{
    for (const RunFolderInfo& r : list.runs) {
        const std::string what = r.product.empty() ? std::to_string(r.files) + " files changed, " +
                                                         std::to_string(r.replacements) + " references replaced"
                                                   : "install of " + r.product + ": " + std::to_string(r.files) + " files written";
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
    std::string text = std::to_string(o.restored.size()) + " files restored, " + std::to_string(o.left.size()) + " left alone";
    for (const auto& [file, reason] : o.left) {
        text += "\n" + file + ": " + reason;
    }
    return text;
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
        wn.information(Owner::none, "nothing is left to undo below the roots", k_caption);
        return;
    }
    long long files = 0;
    for (const RunFolderInfo* r : last) {
        files += r->files - r->files_undone;
    }
    // A newer run undone already is said first, so that nobody takes this one for it.
    std::string body;
    const RunFolderInfo& newest = list.runs.back();
    if (newest.stamp != last.front()->stamp && newest.files > 0) {
        body = "the run of " + shown_stamp(newest.stamp) + " was undone already.\n";
    }
    const std::string what = last.front()->product.empty() ? "the run of " : "the install of " + last.front()->product + " of ";
    body += what + shown_stamp(last.front()->stamp) + ": " + std::to_string(files) +
            (last.front()->files_undone > 0          ? " files still to give back"
             : last.front()->product.empty() ? " files changed"
                                             : " files written") +
            ", old versions in\n" + last.front()->folder;
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
