#include "app/move_command.h"

#include "app/console_text.h"
#include "app/content_roots.h"
#include "app/dry_run.h"
#include "app/move_undo.h"
#include "app/progress_line.h"
#include "app/prompts-console.h"
#include "app/run_folders.h"
#include "app/undo.h"
#include "app/visible_text.h"
#include "engine/fsys/textio.h"
#include "engine/library/content_paths.h"
#include "engine/move/tree_move.h"
#include "engine/repair/run.h"

#include <chrono>
#include <unordered_set>

namespace {

std::string counted(long long n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Takes back the move recorded in `folders`; the run folders go once nothing is left to give back.
void take_back(fsys::FileSystem& fs, const std::vector<std::string>& folders, std::time_t now, MoveRunResult& result)
{
    UndoOutcome undone;
    for (const std::string& folder : folders) {
        std::string error;
        if (!undo_run(fs, folder, now, undone, error)) {
            result.left.emplace_back(folder, error);
        }
    }
    result.left.insert(result.left.end(), undone.left.begin(), undone.left.end());
    for (const std::string& folder : result.left.empty() ? folders : std::vector<std::string>{}) {
        std::string error;
        forget_run(fs, folder, now, error);
        fs.remove_folder(folder_of(folder));  // tarnwick-runs, when this run made it
    }
}

// A run folder whose manifest could not be written whole: nothing was changed yet, and it goes.
void remove_unused(fsys::FileSystem& fs, const std::string& folder)
{
    fs.remove_file(child_path(folder, "manifest.json"));
    fs.remove_folder(folder);
    fs.remove_folder(folder_of(folder));
}

// The progress of a move on a terminal, at most ten times a second.
MoveStep progress_on(ProgressLine& line, bool terminal)
{
    if (!terminal) {
        return nullptr;
    }
    return [&line, last = std::chrono::steady_clock::time_point{}](bool moving, long long done, long long total) mutable {
        const auto now = std::chrono::steady_clock::now();
        if (now - last >= std::chrono::milliseconds(100) || done == total) {
            last = now;
            line.show(std::to_string(done) + " of " + std::to_string(total) + (moving ? " files moved" : " documents rewritten"));
        }
    };
}

void print_documents(const MovePlan& plan, const MoveRunResult& result, std::FILE* out)
{
    std::unordered_set<std::string> failed;
    for (const UnreadableFile& f : result.outcome.failed) {
        failed.insert(f.path);
    }
    for (const FollowingDocument& d : plan.documents) {
        if (failed.count(d.path) != 0) {
            continue;
        }
        std::string text = "changed " + visible(d.path) + "\n";
        for (const Replacement& r : d.replacements) {
            text += "    " + visible(r.old_path) + " -> " + visible(r.new_path) + "\n";
        }
        write_text(out, text);
    }
}

// --dry-run: the files that would move, then a unified diff of every document that would change.
int print_dry_run(fsys::FileSystem& fs, const MovePlan& plan, const std::vector<std::string>& roots, std::FILE* out)
{
    std::vector<std::string> files;
    std::string reason;
    movable_files(fs, plan.source, files, reason);
    const bool terminal = is_terminal(out);
    for (const std::string& rel : files) {
        const std::string from = rel.empty() ? plan.source : child_path(plan.source, rel);
        const std::string to = rel.empty() ? plan.target : child_path(plan.target, rel);
        write_text(out, "move " + visible(from) + " to " + visible(to) + "\n");
    }
    DryRunPrinter printer(out, terminal);
    printer.set_roots(roots);
    for (const FollowingDocument& d : plan.documents) {
        if (printer.would_change(PlannedDocument{fs, d.path, d.seen, d.rewrites}) != Shown::shown) {
            write_text(out, "changed since it was read, not shown: " + visible(d.path) + "\n");
        }
    }
    write_text(out, "would move " + counted(plan.files, "file", "files") + " from " + visible(plan.source) + " to " +
                        visible(plan.target) + "; " + counted(plan.references, "reference", "references") +
                        " rewritten in " + counted(static_cast<long long>(plan.documents.size()), "document", "documents") + "\n");
    return plan.unreadable.empty() ? k_move_done : k_move_incomplete;
}

}  // namespace

MoveRunResult move_with_run_folders(fsys::FileSystem& fs, const MovePlan& plan, const std::vector<std::string>& roots,
                                    const std::string& version, std::time_t now, const MoveStep& progress)
{
    MoveRunResult result;
    const std::string head = move_head_fields(plan, roots);
    if (head.empty()) {
        result.status = k_move_refused;
        result.error = "a name that is not UTF-8 cannot be kept in the run folder's manifest";
        return result;
    }
    std::vector<std::string> folders;
    bool opened = false;
    {
        ::Run run(fs);
        RunFolders journal(run, RunSettings{version, false, roots, "move", head}, run_stamp(now));
        // The record of the move lies below the root it leaves, and below the one it goes to.
        opened = !journal.open_folder(plan.source_root).empty() &&
                 (plan.target_root == plan.source_root || !journal.open_folder(plan.target_root).empty());
        if (opened) {
            result.outcome = carry_out_move(fs, plan, journal, progress);
        }
        folders = journal.folders();
    }  // the manifests are closed: Windows lets nobody replace an open file
    if (!opened) {
        for (const std::string& folder : folders) {
            remove_unused(fs, folder);
        }
        result.status = k_move_refused;
        result.error = "no run folder can be made for the move's record";
        return result;
    }
    if (!result.outcome.moved) {
        result.status = k_move_failed;
        result.error = result.outcome.reason;
        take_back(fs, folders, std::max(now, std::time(nullptr)), result);
        return result;
    }
    result.status = result.outcome.failed.empty() && plan.unreadable.empty() ? k_move_done : k_move_incomplete;
    return result;
}

std::string move_question(const MovePlan& plan)
{
    return "move " + counted(plan.files, "file", "files") + " to " + plan.target + "? " +
           counted(plan.references, "reference", "references") + " in " +
           counted(static_cast<long long>(plan.documents.size()), "document", "documents") + " will follow";
}

std::string move_summary(const MovePlan& plan, const MoveRunResult& result)
{
    if (result.status == k_move_failed || result.status == k_move_refused) {
        return "nothing moved: " + result.error;
    }
    std::string text = "moved " + counted(plan.files, "file", "files") + " from " + plan.source + " to " + plan.target +
                       "; " + counted(result.outcome.references, "reference", "references") + " rewritten in " +
                       counted(result.outcome.documents_changed, "document", "documents");
    const long long left = static_cast<long long>(result.outcome.failed.size() + plan.unreadable.size());
    if (left > 0) {
        text += "; " + counted(left, "document", "documents") + " could not be read or changed";
    }
    return text;
}

int run_move(fsys::FileSystem& fs, const MoveCommandRequest& request, const std::string& version, std::FILE* out,
             std::FILE* err)
{
    std::vector<std::string> roots;
    std::string error;
    const bool gathered = gather_report_roots(fs, request.roots, request.library_prefs, roots, error, err);
    ProgressLine line(err);
    const MoveStep step = progress_on(line, gathered && is_terminal(err));
    MovePlan plan;
    const MoveProgress reading = [&](long long done, long long total) {
        if (step) {
            line.show(std::to_string(done) + " of " + std::to_string(total) + " documents read");
        }
    };
    if (!gathered || !plan_move(fs, MoveRequest{request.source, request.target, roots}, plan, error, reading)) {
        line.clear();
        write_text(err, "tarnwick-cli: " + visible(error) + "\n");
        return plan.stopped ? k_move_failed : k_move_refused;
    }
    line.clear();
    for (const std::string& note : plan.notes) {
        write_text(err, visible(note) + "\n");
    }
    for (const UnreadableFile& u : plan.unreadable) {
        write_text(err, "unreadable " + visible(u.path) + ": " + u.reason + "\n");
    }
    if (request.dry_run) {
        return print_dry_run(fs, plan, roots, out);
    }
    const MoveRunResult result = move_with_run_folders(fs, plan, roots, version, std::time(nullptr), step);
    line.clear();
    print_documents(plan, result, out);
    for (const UnreadableFile& f : result.outcome.failed) {
        write_text(err, "not changed " + visible(f.path) + ": " + visible(f.reason) + "\n");
    }
    for (const auto& [path, reason] : result.left) {
        write_text(err, "left where it is: " + visible(path) + ": " + visible(reason) + "\n");
    }
    if (!result.left.empty()) {
        write_text(err, "tarnwick-cli: not all of the move could be taken back: --undo finishes it\n");
    }
    const bool moved = result.status == k_move_done || result.status == k_move_incomplete;
    write_text(moved ? out : err, (moved ? "" : "tarnwick-cli: ") + visible(move_summary(plan, result)) + "\n");
    return result.status;
}
