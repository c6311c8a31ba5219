#include "app/install_command.h"

#include "app/console_text.h"
#include "app/content_roots.h"
#include "app/install_manifest.h"
#include "app/progress_line.h"
#include "app/prompts-console.h"
#include "app/report_output.h"
#include "app/run_folders.h"
#include "app/settings.h"
#include "engine/base/run_stop.h"
#include "engine/library/content_paths.h"
#include "engine/report/product_report.h"

#include <algorithm>
#include <ctime>
#include <thread>

unsigned install_threads()
{
    return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

namespace {

std::string zip_name(const InstallPlan& plan, std::size_t zip)
{
    return visible(name_of(plan.zips[zip]));
}

std::string note_line(const InstallPlan& plan, const EntryNote& n)
{
    return zip_name(plan, n.zip) + ": " + (n.entry.empty() ? "" : visible(n.entry) + ": ") + n.reason;
}

void say(std::FILE* to, const std::string& line)
{
    write_text(to, line + "\n");
}

void fail(std::FILE* err, const std::string& reason)
{
    say(err, "tarnwick-cli: " + visible(reason));
}

// The content folder and the roots after it: the first --root, else the saved Poser root, then
// the other roots and the folders of the LibraryPrefs.xml.
bool install_roots(fsys::FileSystem& fs, const InstallRequest& request, std::vector<std::string>& roots, std::FILE* err)
{
    std::vector<std::string> given = request.roots;
    std::string prefs = request.library_prefs;
    if (given.empty()) {
        const std::string saved = read_setting(k_settings_section, k_root_key);
        if (saved.empty()) {
            fail(err, "no content folder to install into: give --root DIR, or save a Poser root with a repair run first");
            return false;
        }
        given.push_back(saved);
    }
    std::vector<std::string> notes;
    std::string error;
    const bool gathered = resolve_library_prefs(prefs, error) && gather_content_roots(fs, given, prefs, roots, error, notes);
    for (const std::string& note : notes) {
        fail(err, note);
    }
    if (!gathered) {
        fail(err, error);
    }
    return gathered;
}

// The paths of the zips, absolute; false (said) for one that is no readable file.
bool zips_given(fsys::FileSystem& fs, const InstallRequest& request, std::vector<std::string>& zips, std::FILE* err)
{
    for (const std::string& zip : request.zips) {
        if (!fs.is_readable_file(zip)) {
            fail(err, "no such zip: " + zip);
            return false;
        }
        zips.push_back(fs.absolute_path(zip));
    }
    return true;
}

// --dry-run: each file and where it would go, and each file skipped.
void list_plan(const InstallPlan& plan, std::FILE* out)
{
    for (const PlannedFile& f : plan.files) {
        say(out, std::string(action_words(f.action)) + ": " + visible(child_path_of_slashed(plan.root, f.path)));
    }
    for (const std::vector<EntryNote>* skipped : {&plan.skipped, &plan.junk}) {
        for (const EntryNote& n : *skipped) {
            say(out, "skipped: " + note_line(plan, n));
        }
    }
}

// What the product needs, after the install or its dry run: its report, and the exit status.
int report_needs(fsys::FileSystem& fs, const InstallPlan& plan, const std::vector<std::string>& roots, std::FILE* out,
                 std::FILE* err)
{
    LibraryReport report = product_needs(fs, plan.zips, roots);
    write_text(out, report_text(report));
    std::fflush(out);
    for (const EntryNote& n : plan.skipped) {
        say(err, "skipped: " + note_line(plan, n));
    }
    for (const std::string& line : missing_lines(report)) {
        say(err, line);
    }
    return report.broken() || !report.unreadable.empty() || !plan.skipped.empty() ? k_install_incomplete : k_install_done;
}

std::string progress_text(ProgressLine& line, unsigned long long done, unsigned long long total)
{
    char text[160];
    std::snprintf(text, sizeof text, "%.1f of %.1f MB unpacked, %.1f MB/s", static_cast<double>(done) / 1e6,
                  static_cast<double>(total) / 1e6, line.megabytes_per_second(done));
    return text;
}

}  // namespace

InstallPlan plan_product(fsys::FileSystem& fs, const std::vector<std::string>& zips, const std::string& root)
{
    return plan_install(fs, zips, root);
}

InstallOutcome install_product(fsys::FileSystem& fs, const InstallPlan& plan, std::string_view version,
                               const std::string& stamp, const InstallProgress& progress)
{
    InstallOutcome outcome;
    // Nothing to write makes no run folder.
    if (plan.bytes_to_write() == 0 && plan.count(InstallAction::add) + plan.count(InstallAction::replace) == 0) {
        return outcome;
    }
    if (make_run_folder(fs, plan.root, stamp, outcome.run_folder) != RunFolderMade::made) {
        outcome.status = k_install_not_written;
        outcome.end = InstallEnd::failed;
        outcome.error = "can't make the run folder " + outcome.run_folder;
        return outcome;
    }
    InstallManifest manifest(fs, std::string(version), stamp);
    InstallRecord record;
    outcome.end = install_planned(fs, plan, outcome.run_folder, manifest, install_threads(), run_stamp(std::time(nullptr)),
                                  progress, record, outcome.taken_back, outcome.error);
    if (outcome.end != InstallEnd::installed) {
        outcome.status = k_install_not_written;
    }
    if (outcome.end == InstallEnd::stopped) {
        outcome.error = "stopped";
    }
    return outcome;
}

LibraryReport product_needs(fsys::FileSystem& fs, const std::vector<std::string>& zips, const std::vector<std::string>& roots)
{
    // The zips were checked whole a moment ago: their layout is all the report needs again.
    // One reader for each core: the zip is read from the page cache, and each reader holds the
    // zip's whole directory, which for thousands of files takes megabytes.
    LibraryReport report = build_product_report(fs, zips, roots, install_threads(), nullptr, zipfs::CheckDepth::directory);
    // What would break the install was dealt with: refused, or skipped and counted.
    report.package.clear();
    return report;
}

long long files_installed(const InstallPlan& plan)
{
    return static_cast<long long>(plan.files.size());
}

std::string install_counts(const InstallPlan& plan)
{
    return std::to_string(plan.count(InstallAction::add)) + " new, " + std::to_string(plan.count(InstallAction::replace)) +
           " replaced, " + std::to_string(plan.count(InstallAction::already_there)) + " already there, " +
           std::to_string(plan.skipped.size() + plan.junk.size()) + " skipped";
}

std::string product_name(const InstallPlan& plan)
{
    std::string names;
    for (std::size_t zip = 0; zip < plan.zips.size(); ++zip) {
        names += (zip > 0 ? ", " : "") + zip_name(plan, zip);
    }
    return names;
}

std::vector<std::string> refusal_lines(const InstallPlan& plan)
{
    std::vector<std::string> lines;
    for (const std::vector<EntryNote>* notes : {&plan.refusals, &plan.blocked}) {
        for (const EntryNote& n : *notes) {
            lines.push_back(note_line(plan, n));
        }
    }
    return lines;
}

std::vector<std::string> missing_lines(const LibraryReport& report)
{
    std::vector<std::string> lines;
    for (const ReportProblem& p : report.problems) {
        if (p.status == RefStatus::missing || p.status == RefStatus::moved) {
            const std::string in = p.uses.empty() ? std::string() : " in " + visible(p.uses.front().file);
            lines.push_back(std::string(status_name(p.status)) + " " + std::string(kind_name(p.kind)) + " " + visible(p.target) + in);
        }
    }
    return lines;
}

int run_install(fsys::FileSystem& fs, const InstallRequest& request, std::string_view version, std::FILE* out,
                std::FILE* err)
{
    std::vector<std::string> roots;
    std::vector<std::string> zips;
    if (!zips_given(fs, request, zips, err) || !install_roots(fs, request, roots, err)) {
        return k_install_refused;
    }
    ProgressLine line(err);
    const bool terminal = is_terminal(err);
    if (terminal) {
        line.show("checking " + visible(name_of(zips.front())) + (zips.size() > 1 ? " and the others" : ""));
    }
    const InstallPlan plan = plan_product(fs, zips, roots.front());
    line.clear();
    if (plan.stopped) {
        return k_install_not_written;
    }
    for (const std::string& refusal : refusal_lines(plan)) {
        say(err, (plan.refusals.empty() ? "can't write: " : "refused: ") + refusal);
    }
    if (!plan.can_install()) {
        fail(err, "nothing was installed into " + plan.root);
        return plan.refusals.empty() ? k_install_not_written : k_install_refused;
    }
    for (const EntryNote& n : plan.notes) {
        say(out, note_line(plan, n));
    }
    const std::string what = std::to_string(files_installed(plan)) + " files from " + product_name(plan) + " into " + visible(plan.root) +
                             ": " + install_counts(plan);
    if (request.dry_run) {
        list_plan(plan, out);
        say(out, "would install " + what);
        return report_needs(fs, plan, roots, out, err);
    }
    InstallProgress progress;
    if (terminal) {
        progress = [&line](unsigned long long done, unsigned long long total) { line.show(progress_text(line, done, total)); };
    }
    const InstallOutcome outcome = install_product(fs, plan, version, run_stamp(std::time(nullptr)), progress);
    line.clear();
    if (outcome.status != k_install_done) {
        fail(err, outcome.error + (outcome.run_folder.empty() ? "" : ": nothing was installed, what was written is taken back"));
        for (const auto& [file, reason] : outcome.taken_back.left) {
            say(err, "left: " + visible(file) + ": " + reason + " (tarnwick-cli --undo " + visible(outcome.run_folder) +
                         " finishes taking it back)");
        }
        return outcome.status;
    }
    say(out, "installed " + what);
    if (!outcome.run_folder.empty()) {
        say(out, std::string(plan.count(InstallAction::replace) > 0 ? "the old versions of the files replaced and the record of "
                                                                       "the install are kept in "
                                                                     : "the record of the install is kept in ") +
                     visible(outcome.run_folder) + " (tarnwick-cli --undo takes the install back)");
    }
    return report_needs(fs, plan, roots, out, err);
}
