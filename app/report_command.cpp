#include "app/report_command.h"

#include "app/console_text.h"
#include "app/content_roots.h"
#include "app/progress_line.h"
#include "app/prompts-console.h"
#include "app/report_output.h"
#include "engine/fsys/fsys.h"
#include "engine/report/product_report.h"

#include <algorithm>

#include <cstdio>

namespace {

// The report's progress: files, megabytes and rate.
void show_progress(ProgressLine& line, long long files, unsigned long long bytes)
{
    char text[160];
    std::snprintf(text, sizeof text, "%lld files, %.1f MB read from disk, %.1f MB/s", files, static_cast<double>(bytes) / 1e6,
                  line.megabytes_per_second(bytes));
    line.show(text);
}

void fail(std::FILE* err, const std::string& reason)
{
    write_text(err, "tarnwick-cli: " + visible(reason) + "\n");
}

}  // namespace

int run_report(fsys::FileSystem& fs, const ReportRequest& request, std::string_view version, std::FILE* out, std::FILE* err)
{
    std::vector<std::string> given = request.roots;
    std::string prefs = request.library_prefs;
    add_default_report_sources(given, prefs);
    std::vector<std::string> roots;
    std::vector<std::string> notes;
    std::string error;
    // A product zip is a content folder of its own: the roots only add what it may need.
    const bool products = std::any_of(request.paths.begin(), request.paths.end(), [](const std::string& p) { return is_product_zip(p); });
    const bool gathered = (products && given.empty() && prefs.empty()) ||
                          (resolve_library_prefs(prefs, error) && gather_content_roots(fs, given, prefs, roots, error, notes));
    for (const std::string& note : notes) {
        fail(err, note);
    }
    if (!gathered) {
        fail(err, error);
        return k_report_usage_error;
    }
    std::vector<std::string> paths;
    for (const std::string& path : request.paths) {
        // A file that is there but cannot be read is reported as unreadable, not refused.
        if (!fs.entry_exists(path)) {
            fail(err, "no such file or folder: " + path);
            return k_report_usage_error;
        }
        paths.push_back(fs.absolute_path(path));
    }
    ProgressLine line(err);
    ReportProgress progress;
    if (is_terminal(err)) {
        progress = [&line](long long files, unsigned long long bytes, long long) { show_progress(line, files, bytes); };
    }
    LibraryReport report = products ? build_product_report(fs, paths, roots, report_readers(), progress)
                                    : build_library_report(fs, paths, roots, report_readers(), progress);
    report.library_prefs = prefs;
    line.clear();
    // The notes of the walk (links not followed) after those of the roots, which were said already.
    for (const std::string& note : report.root_notes) {
        fail(err, note);
    }
    report.root_notes.insert(report.root_notes.begin(), notes.begin(), notes.end());
    const std::string text = request.json ? report_json(report, version) : report_text(report);
    write_text(out, text);
    std::fflush(out);
    if (!request.html.empty() && !fs.write_file(request.html, report_html(report, version), fsys::Create::truncate)) {
        fail(err, "can't write the report page " + request.html);
        return k_report_usage_error;
    }
    return report.broken() || !report.unreadable.empty() || !report.package.empty() ? k_report_broken : k_report_all_found;
}
