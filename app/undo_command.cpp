#include "app/undo_command.h"

#include "app/content_roots.h"
#include "app/undo.h"
#include "app/visible_text.h"
#include "engine/prompts.h"

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

int print_outcome(const UndoOutcome& o, std::FILE* out)
{
    for (const std::string& file : o.restored) {
        std::fprintf(out, "restored %s\n", visible(file).c_str());
    }
    for (const auto& [file, reason] : o.left) {
        std::fprintf(out, "left alone %s: %s\n", visible(file).c_str(), reason.c_str());
    }
    std::fprintf(out, "%zu files restored, %zu left alone\n", o.restored.size(), o.left.size());
    return o.left.empty() ? k_done : k_some_left;
}

// The folders of the last run below the roots: one below each root the run changed files in.
bool last_run(const std::vector<RunFolderInfo>& runs, std::vector<std::string>& folders, std::string& error)
{
    if (runs.empty()) {
        error = "no run to undo below the roots";
        return false;
    }
    for (const RunFolderInfo& r : runs) {
        if (r.stamp == runs.back().stamp) {
            folders.push_back(r.folder);
        }
    }
    return true;
}

int list_runs(const std::vector<RunFolderInfo>& runs, std::FILE* out)
{
    for (const RunFolderInfo& r : runs) {
        std::fprintf(out, "%s  %lld files changed, %lld references replaced%s  %s\n", r.stamp.c_str(), r.files,
                     r.replacements, r.undone.empty() ? "" : (", undone " + r.undone).c_str(),
                     visible(r.folder).c_str());
    }
    if (runs.empty()) {
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

}  // namespace

int run_undo_command(const UndoRequest& request, std::FILE* in, std::FILE* out, std::FILE* err)
{
    std::string error;
    UndoOutcome outcome;
    if (request.action == UndoAction::undo_log) {
        return undo_from_log(request.target, outcome, error) ? print_outcome(outcome, out) : refuse(err, error);
    }
    if (request.action == UndoAction::forget) {
        if (!request.yes && !user_agrees("delete the old versions kept in " + run_folder_of(request.target) + "?", in, err)) {
            return k_said_no;
        }
        return forget_run(request.target, error) ? k_done : refuse(err, error);
    }
    std::vector<std::string> folders;
    if (!request.target.empty()) {
        folders.push_back(request.target);
    } else {
        std::vector<std::string> roots;
        std::vector<std::string> notes;
        std::string prefs = request.library_prefs;
        const bool gathered = resolve_library_prefs(prefs, error) && gather_content_roots(request.roots, prefs, roots, error, notes);
        for (const std::string& note : notes) {
            std::fprintf(err, "tarnwick-cli: %s\n", visible(note).c_str());
        }
        if (!gathered) {
            return refuse(err, error);
        }
        const std::vector<RunFolderInfo> runs = find_runs(roots);
        if (request.action == UndoAction::runs) {
            return list_runs(runs, out);
        }
        if (!last_run(runs, folders, error)) {
            return refuse(err, error);
        }
    }
    for (const std::string& folder : folders) {
        if (!undo_run(folder, outcome, error)) {
            return refuse(err, error);
        }
    }
    return print_outcome(outcome, out);
}

void undo_last_run(const std::vector<std::string>& roots, Prompts& wn)
{
    static constexpr const char* k_caption = "undo the last extended run";
    const std::vector<RunFolderInfo> runs = find_runs(roots);
    std::vector<std::string> folders;
    std::string error;
    if (!last_run(runs, folders, error)) {
        wn.information(Owner::none, error, k_caption);
        return;
    }
    long long files = 0;
    for (const RunFolderInfo& r : runs) {
        files += r.stamp == runs.back().stamp ? r.files : 0;
    }
    const std::string body = "the run of " + shown_stamp(runs.back().stamp) + ": " + std::to_string(files) +
                             " files changed, old versions in\n" + folders.front();
    if (!wn.question(Owner::none, body, "undo the last extended run?")) {
        return;
    }
    UndoOutcome outcome;
    for (const std::string& folder : folders) {
        if (!undo_run(folder, outcome, error)) {
            wn.warning(Owner::none, error, "I can't undo this run");
            return;
        }
    }
    wn.information(Owner::none, outcome_text(outcome), k_caption);
}
