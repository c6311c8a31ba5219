#include "app/collect_command.h"

#include "app/console_text.h"
#include "app/content_roots.h"
#include "app/counted.h"
#include "app/progress_line.h"
#include "app/prompts-console.h"
#include "app/visible_text.h"
#include "engine/base/run_stop.h"
#include "engine/collect/collect_write.h"
#include "engine/library/content_paths.h"

#include <chrono>

namespace {

// A reference not collected, in the document shown as `document`.
std::string missing_line(const MissingReference& m, const std::string& document)
{
    const bool refused = m.refusal != Refusal::none;
    const std::string reason = refused ? std::string(refusal_words(m.refusal)) : m.left_out;
    return (refused ? "refused " : reason.empty() ? "missing " : "left out ") + std::string(kind_name(m.kind)) + " " +
           visible(m.target) + " in " + visible(document) + " line " + std::to_string(m.line) +
           (m.uses > 1 ? " (" + counted(m.uses, "use", "uses") + ")" : "") + (reason.empty() ? "" : ": " + reason);
}

std::string unreadable_line(const UnreadableFile& u, const char* what = "unreadable ")
{
    return what + visible(u.path) + ": " + u.reason;
}

// A path as the listing names it: the collected file's name when it is one, else its last name.
std::string listed_name(const CollectPlan& plan, const std::string& path)
{
    for (const CollectedFile& f : plan.files) {
        if (f.source == path) {
            return f.name;
        }
    }
    return path.substr(last_separator(path, k_native_style) + 1);
}

// At most ten times a second, as the report shows its progress.
class Throttled {
public:
    bool due()
    {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_last < std::chrono::milliseconds(100)) {
            return false;
        }
        m_last = now;
        return true;
    }

private:
    std::chrono::steady_clock::time_point m_last{};
};

}  // namespace

std::string collect_listing(const CollectPlan& plan)
{
    long long files = 0;
    std::string body;
    for (const CollectedFile& f : plan.files) {
        if (f.left_out) {
            continue;
        }
        ++files;
        body += visible(f.name) + " from " + (f.outside_roots ? "outside the roots: " : "") + visible(f.from);
        body += f.renamed == 0 ? "\n" : " (" + counted(f.renamed, "reference", "references") + " renamed)\n";
    }
    for (const MissingReference& m : plan.missing) {
        body += missing_line(m, listed_name(plan, m.document)) + "\n";
    }
    for (const UnreadableFile& u : plan.unreadable) {
        body += unreadable_line({listed_name(plan, u.path), u.reason}) + "\n";
    }
    for (const UnreadableFile& u : plan.left_out) {
        body += unreadable_line({listed_name(plan, u.path), u.reason}, "left out ") + "\n";
    }
    return "tarnwick collect: " + counted(files, "file", "files") + " collected, " +
           counted(static_cast<long long>(plan.missing.size()), "reference", "references") + " missing, " +
           counted(static_cast<long long>(plan.unreadable.size()), "document", "documents") + " unreadable\n" + body;
}

CollectOutcome collect_documents(fsys::FileSystem& fs, const std::vector<std::string>& documents,
                                 const std::vector<std::string>& roots, const std::string& out, const CollectStep& progress)
{
    CollectOutcome outcome;
    std::vector<std::string> paths;
    for (const std::string& document : documents) {
        if (!fs.is_readable_file(document)) {
            outcome.status = k_collect_usage_error;
            outcome.error = "no such file: " + document;
            return outcome;
        }
        paths.push_back(fs.absolute_path(document));
    }
    const std::string target = fs.absolute_path(out);
    std::vector<fsys::FolderEntry> entries;
    const bool taken = collects_into_zip(target) ? fs.entry_exists(target)
                                                 : fs.entry_exists(target) && (!fs.list_folder_entries(target, entries) || !entries.empty());
    if (taken) {
        outcome.status = k_collect_usage_error;
        outcome.error = collects_into_zip(target) ? "the zip exists already" : "it exists already, and is no empty folder";
        return outcome;
    }
    if (collects_into_zip(target) && !fs.is_folder(folder_of(target))) {
        outcome.status = k_collect_usage_error;
        outcome.error = "the folder " + folder_of(target) + " does not exist";
        return outcome;
    }
    CollectPlan plan = plan_collection(fs, paths, roots, [&](unsigned long long done, unsigned long long total) {
        if (progress) {
            progress(false, done, total);
        }
    });
    const CollectProgress writing = [&](unsigned long long done, unsigned long long total) {
        if (progress) {
            progress(true, done, total);
        }
    };
    std::string reason = "stopped";
    if (plan.stopped || !write_collection(fs, plan, collect_listing, target, writing, reason)) {
        outcome.status = k_collect_not_written;
        outcome.error = reason;
        return outcome;
    }
    for (const CollectedFile& f : plan.files) {
        outcome.files += f.left_out ? 0 : 1;
        outcome.renamed += f.left_out ? 0 : f.renamed;
    }
    outcome.missing = plan.missing;
    outcome.unreadable = plan.unreadable;
    outcome.left_out = plan.left_out;
    for (const CollectedFile& f : plan.files) {
        if (f.outside_roots && !f.left_out) {
            outcome.outside.emplace_back(f.name, f.source);
        }
    }
    const bool whole = plan.missing.empty() && plan.unreadable.empty() && plan.left_out.empty();
    outcome.status = whole ? k_collect_all_found : k_collect_incomplete;
    return outcome;
}

std::string collect_summary(const CollectOutcome& outcome, const std::string& out)
{
    if (outcome.status == k_collect_not_written || outcome.status == k_collect_usage_error) {
        return "nothing collected into " + visible(out) + ": " + visible(outcome.error);
    }
    // The window shows this line alone: the files from outside the roots and those left out are
    // told here too, before the result is shared.
    const std::string outside = outcome.outside.empty() ? "" : " (" + std::to_string(outcome.outside.size()) + " from outside the roots)";
    std::string text = counted(outcome.files, "file", "files") + " collected into " + visible(out) + outside + ", " +
                       counted(outcome.renamed, "reference", "references") + " renamed";
    if (!outcome.missing.empty() || !outcome.unreadable.empty() || !outcome.left_out.empty()) {
        text += "; " + counted(static_cast<long long>(outcome.missing.size()), "reference", "references") + " missing, " +
                counted(static_cast<long long>(outcome.unreadable.size()), "document", "documents") + " unreadable";
        text += outcome.left_out.empty() ? "" : ", " + counted(static_cast<long long>(outcome.left_out.size()), "file", "files") + " left out";
        text += ", named in collect.txt";
    }
    return text;
}

int run_collect(fsys::FileSystem& fs, const CollectRequest& request, std::FILE* err)
{
    std::vector<std::string> roots;
    std::string error;
    if (!gather_report_roots(fs, request.roots, request.library_prefs, roots, error, err)) {
        write_text(err, "tarnwick-cli: " + visible(error) + "\n");
        return k_collect_usage_error;
    }
    ProgressLine line(err);
    Throttled throttle;
    CollectStep progress;
    if (is_terminal(err)) {
        progress = [&](bool writing, unsigned long long done, unsigned long long total) {
            if (throttle.due()) {
                char text[160];
                std::snprintf(text, sizeof text, writing ? "%.1f of %.1f MB written, %.1f MB/s" : "%.0f of %.0f documents read",
                              static_cast<double>(done) / (writing ? 1e6 : 1), static_cast<double>(total) / (writing ? 1e6 : 1),
                              writing ? line.megabytes_per_second(done) : 0.0);
                line.show(text);
            }
        };
    }
    const CollectOutcome outcome = collect_documents(fs, request.documents, roots, request.out, progress);
    line.clear();
    // Every file from outside the roots is named where the user sees it, before it is shared.
    for (const auto& [name, source] : outcome.outside) {
        write_text(err, "from outside the roots: " + visible(name) + " from " + visible(source) + "\n");
    }
    for (const MissingReference& m : outcome.missing) {
        write_text(err, missing_line(m, m.document) + "\n");
    }
    for (const UnreadableFile& u : outcome.unreadable) {
        write_text(err, unreadable_line(u) + "\n");
    }
    for (const UnreadableFile& u : outcome.left_out) {
        write_text(err, unreadable_line(u, "left out ") + "\n");
    }
    write_text(err, (outcome.status == k_collect_all_found || outcome.status == k_collect_incomplete ? "" : "tarnwick-cli: ") +
                        collect_summary(outcome, request.out) + "\n");
    return outcome.status;
}
