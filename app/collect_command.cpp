#include "app/collect_command.h"

#include "app/console_text.h"
#include "app/content_roots.h"
#include "app/progress_line.h"
#include "app/prompts-console.h"
#include "app/visible_text.h"
#include "engine/base/run_stop.h"
#include "engine/collect/collect_write.h"

#include <chrono>

namespace {

std::string plural(long long n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string missing_line(const MissingReference& m)
{
    const std::string reason = m.refusal == Refusal::none ? std::string() : ": " + std::string(refusal_words(m.refusal));
    return (m.refusal == Refusal::none ? "missing " : "refused ") + std::string(kind_name(m.kind)) + " " +
           visible(m.target) + " in " + visible(m.document) + " line " + std::to_string(m.line) + reason;
}

std::string unreadable_line(const UnreadableFile& u)
{
    return "unreadable " + visible(u.path) + ": " + u.reason;
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
        body += visible(f.name) + " from " + visible(f.source);
        body += f.edits.empty() ? "\n" : " (" + plural(static_cast<long long>(f.edits.size()), "reference", "references") + " renamed)\n";
    }
    for (const MissingReference& m : plan.missing) {
        body += missing_line(m) + "\n";
    }
    for (const UnreadableFile& u : plan.unreadable) {
        body += unreadable_line(u) + "\n";
    }
    return "tarnwick collect: " + plural(files, "file", "files") + " collected, " +
           plural(static_cast<long long>(plan.missing.size()), "reference", "references") + " missing, " +
           plural(static_cast<long long>(plan.unreadable.size()), "document", "documents") + " unreadable\n" + body;
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
    const CollectPlan plan = plan_collection(fs, paths, roots, [&](unsigned long long done, unsigned long long total) {
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
    if (plan.stopped || !write_collection(fs, plan, collect_listing(plan), target, writing, reason)) {
        outcome.status = k_collect_not_written;
        outcome.error = reason;
        return outcome;
    }
    for (const CollectedFile& f : plan.files) {
        outcome.files += f.left_out ? 0 : 1;
        outcome.renamed += static_cast<long long>(f.edits.size());
    }
    outcome.missing = plan.missing;
    outcome.unreadable = plan.unreadable;
    outcome.status = plan.missing.empty() && plan.unreadable.empty() ? k_collect_all_found : k_collect_incomplete;
    return outcome;
}

std::string collect_summary(const CollectOutcome& outcome, const std::string& out)
{
    if (outcome.status == k_collect_not_written || outcome.status == k_collect_usage_error) {
        return "nothing collected into " + visible(out) + ": " + visible(outcome.error);
    }
    std::string text = plural(outcome.files, "file", "files") + " collected into " + visible(out) + ", " +
                       plural(outcome.renamed, "reference", "references") + " renamed";
    if (!outcome.missing.empty() || !outcome.unreadable.empty()) {
        text += "; " + plural(static_cast<long long>(outcome.missing.size()), "reference", "references") + " missing, " +
                plural(static_cast<long long>(outcome.unreadable.size()), "document", "documents") +
                " unreadable, named in collect.txt";
    }
    return text;
}

int run_collect(fsys::FileSystem& fs, const CollectRequest& request, std::FILE* err)
{
    std::vector<std::string> given = request.roots;
    std::string prefs = request.library_prefs;
    add_default_report_sources(given, prefs);
    std::vector<std::string> roots, notes;
    std::string error;
    const bool gathered = resolve_library_prefs(prefs, error) && gather_content_roots(fs, given, prefs, roots, error, notes);
    for (const std::string& note : notes) {
        write_text(err, "tarnwick-cli: " + visible(note) + "\n");
    }
    if (!gathered) {
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
    for (const MissingReference& m : outcome.missing) {
        write_text(err, missing_line(m) + "\n");
    }
    for (const UnreadableFile& u : outcome.unreadable) {
        write_text(err, unreadable_line(u) + "\n");
    }
    write_text(err, (outcome.status == k_collect_all_found || outcome.status == k_collect_incomplete ? "" : "tarnwick-cli: ") +
                        collect_summary(outcome, request.out) + "\n");
    return outcome.status;
}
