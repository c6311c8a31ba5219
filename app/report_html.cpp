#include "app/report_output.h"

#include "engine/text/refline.h"

#include <array>

namespace {

constexpr std::array<RefStatus, 5> k_problem_order = {RefStatus::refused, RefStatus::missing, RefStatus::moved,
                                                      RefStatus::case_only, RefStatus::absolute};
constexpr std::array<RefStatus, k_ref_statuses> k_statuses = {RefStatus::ok,    RefStatus::absolute, RefStatus::case_only,
                                                              RefStatus::moved, RefStatus::missing,  RefStatus::refused};
// Uses beyond this many start folded, so that a page of thousands of files stays readable.
constexpr std::size_t k_open_uses = 10;

constexpr const char* k_style = R"(
body{font:14px/1.45 system-ui,sans-serif;margin:1.5em 2em;color:#222;background:#fff}
h1{font-size:1.5em;margin:0 0 .3em}h2{font-size:1.2em;margin:1.6em 0 .4em;border-bottom:1px solid #ccc}
.verdict{font-size:1.1em;font-weight:600;padding:.4em .7em;border-radius:4px;display:inline-block}
.broken{background:#fde2e1;color:#8a1c14}.fine{background:#e3f4e1;color:#1f5f1a}
table{border-collapse:collapse;margin:.6em 0}td,th{border:1px solid #ccc;padding:.2em .7em;text-align:right}
th:first-child,td:first-child{text-align:left}
.problem{margin:.5em 0 .9em;padding:.4em .8em;border-left:5px solid #999;background:#fafafa}
.missing,.refused{border-color:#c62828}.moved{border-color:#ef6c00}.case{border-color:#f9a825}.absolute{border-color:#1565c0}
.target{font-family:ui-monospace,monospace;font-weight:600;word-break:break-all}
.tag{font-size:.8em;text-transform:uppercase;padding:0 .4em;margin-right:.5em;border-radius:3px;background:#ddd}
ul,ol{margin:.2em 0;padding-left:1.6em}li{font-family:ui-monospace,monospace;word-break:break-all}
summary{cursor:pointer;color:#555}
)";

// Text for the page: control characters and bytes that are not UTF-8 shown as the text
// report shows them, then markup characters escaped.
std::string html(std::string_view text)
{
    std::string out;
    for (char c : visible(text)) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c; break;
        }
    }
    return out;
}

// Windows finds a name in any letter case, so a library's paths may spell a root differently.
bool starts_with_root(const std::string& path, const std::string& root)
{
#ifdef _WIN32
    return equals_ignoring_case(std::string_view(path).substr(0, root.size()), root);
#else
    return path.compare(0, root.size(), root) == 0;
#endif
}

// The root `path` lies under, longest first; npos when none.
std::size_t root_of(const std::vector<std::string>& roots, const std::string& path)
{
    std::size_t best = std::string::npos;
    for (std::size_t k = 0; k < roots.size(); ++k) {
        const std::string& root = roots[k];
        const bool ends_in_separator = !root.empty() && (root.back() == '/' || root.back() == '\\');
        const bool under = path.size() > root.size() && starts_with_root(path, root) &&
                           (ends_in_separator || path[root.size()] == '/' || path[root.size()] == '\\');
        if (under && (best == std::string::npos || root.size() > roots[best].size())) {
            best = k;
        }
    }
    return best;
}

// A path under a root as the part below it, the whole path shown on hovering: libraries are
// deep, and the roots are named at the top of the page.
struct Page {
    const LibraryReport& r;
    PagePaths paths;
};

std::string shown_path(const Page& page, const std::string& path)
{
    const LibraryReport& r = page.r;
    const std::size_t k = page.paths == PagePaths::from_roots ? root_of(r.roots, path) : std::string::npos;
    if (k == std::string::npos) {
        return html(path);
    }
    std::size_t cut = r.roots[k].size();
    while (cut < path.size() && (path[cut] == '/' || path[cut] == '\\')) {
        ++cut;
    }
    return "<span title=\"" + html(path) + "\">" + html(path.substr(cut)) + "</span>";
}

std::string number(long long n)
{
    return std::to_string(n);
}

std::string summary_table(const LibraryReport& r)
{
    std::string t = "<table class=\"summary\"><tr><th>status</th><th>all</th>";
    for (int kind = 0; kind < k_ref_kinds; ++kind) {
        t += "<th>" + std::string(kind_name(static_cast<RefKind>(kind))) + "</th>";
    }
    t += "</tr>";
    for (RefStatus status : k_statuses) {
        t += "<tr class=\"" + std::string(status_name(status)) + "\"><td>" + std::string(status_name(status)) +
             "</td><td>" + number(r.count(status)) + "</td>";
        for (int kind = 0; kind < k_ref_kinds; ++kind) {
            t += "<td>" + number(r.counts[static_cast<int>(status)][kind]) + "</td>";
        }
        t += "</tr>";
    }
    t += "<tr><td>built-in</td><td>" + number(r.builtin) + "</td><td colspan=\"4\"></td></tr>";
    t += "<tr><th>total</th><th>" + number(r.total) + "</th><th colspan=\"4\"></th></tr></table>";
    return t;
}

std::string problem_block(const Page& r, const ReportProblem& p)
{
    // In a report of product zips: whether the file was found in a product or under a root.
    const std::string_view from = r.r.own_roots > 0 ? r.r.from(p.root) : std::string_view();
    std::string b = "<div class=\"problem " + std::string(status_name(p.status)) + "\"><div><span class=\"tag\">" +
                    std::string(status_name(p.status)) + "</span><span class=\"tag\">" +
                    std::string(kind_name(p.kind)) + "</span>" +
                    (from.empty() ? "" : "<span class=\"tag\">from " + std::string(from) + "</span>") +
                    "<span class=\"target\">" + html(p.target) + "</span></div>";
    if (p.status == RefStatus::refused) {
        b += "<div>" + html(refusal_words(p.refusal)) + "</div>";
    }
    if (!p.candidates.empty()) {
        b += p.status == RefStatus::ok ? "<div>found:</div><ol>" : "<div>candidates, best first:</div><ol>";
        for (const std::string& c : p.candidates) {
            b += "<li>" + shown_path(r, c) + "</li>";
        }
        b += "</ol>";
    }
    const std::string times = p.uses.size() == 1 ? "once" : number(static_cast<long long>(p.uses.size())) + " times";
    b += std::string("<details") + (p.uses.size() <= k_open_uses ? " open" : "") + "><summary>used " + times +
         "</summary><ul>";
    for (const ReportUse& u : p.uses) {
        b += "<li>" + shown_path(r, u.file) + " line " + number(u.line) + "</li>";
    }
    return b + "</ul></details></div>";
}

// What breaks the install of each product zip, and what the products need from the roots.
std::string product_sections(const Page& shown)
{
    const LibraryReport& r = shown.r;
    std::string out;
    if (!r.package.empty()) {
        out += "<h2 id=\"package\">package: " + number(static_cast<long long>(r.package.size())) +
               " problems that break the install</h2><ul>";
        for (const ReportPackageProblem& p : r.package) {
            out += "<li><span class=\"tag\">" + std::string(zipfs::problem_kind_name(p.problem.kind)) + "</span>" +
                   html(p.zip) + (p.problem.entry.empty() ? "" : " " + html(p.problem.entry)) + ": " +
                   html(p.problem.message) + "</li>";
        }
        out += "</ul>";
    }
    if (!r.dependencies.empty()) {
        out += "<h2 id=\"needed\">needed from the roots: " + number(static_cast<long long>(r.dependencies.size())) +
               (r.dependencies.size() == 1 ? " target" : " targets") + "</h2>";
        for (const ReportProblem& p : r.dependencies) {
            out += problem_block(shown, p);
        }
    }
    return out;
}

}  // namespace

std::string report_html(const LibraryReport& r, std::string_view version, PagePaths paths, std::string_view program)
{
    const Page shown{r, paths};
    const long long broken = r.broken_count();
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>tarnwick library "
                       "report</title><style>";
    page += k_style;
    page += "</style></head><body><h1>Library report</h1>";
    // A document nobody could read is no proof that every reference is found.
    const long long unread = static_cast<long long>(r.unreadable.size());
    const long long package = static_cast<long long>(r.package.size());
    page += broken > 0    ? "<p class=\"verdict broken\">" + number(broken) + " references moved, missing or refused</p>"
            : unread > 0  ? "<p class=\"verdict broken\">" + number(unread) + " Poser files could not be read</p>"
            : package > 0 ? "<p class=\"verdict broken\">" + number(package) + " problems break the install</p>"
                          : std::string("<p class=\"verdict fine\">every reference is found</p>");
    page += "<p>Files: " + number(r.files_read) + " read, " + number(r.files_compressed) + " compressed, " +
            number(static_cast<long long>(r.unreadable.size())) + " unreadable, " + number(r.backups_skipped) +
            " backups skipped. Roots:</p><ol>";
    for (const std::string& root : r.roots) {
        page += "<li>" + html(root) + "</li>";
    }
    page += "</ol>";
    if (!r.library_prefs.empty()) {
        page += "<p>Content folders from " + html(r.library_prefs) + "</p>";
    }
    if (!r.root_notes.empty()) {
        page += "<ul>";
        for (const std::string& note : r.root_notes) {
            page += "<li>" + html(note) + "</li>";
        }
        page += "</ul>";
    }
    if (paths == PagePaths::from_roots) {
        page += "<p>Paths below a root are shown from it; point at one to see it whole.</p>";
    }
    page += summary_table(r);
    page += product_sections(shown);
    if (!r.unreadable.empty()) {
        page += "<h2>unreadable files</h2><ul>";
        for (const UnreadableFile& u : r.unreadable) {
            page += "<li>" + shown_path(shown, u.path) + ": " + html(u.reason) + "</li>";
        }
        page += "</ul>";
    }
    for (RefStatus status : k_problem_order) {
        std::string blocks;
        long long targets = 0;
        for (const ReportProblem& p : r.problems) {
            if (p.status == status) {
                blocks += problem_block(shown, p);
                ++targets;
            }
        }
        if (targets > 0) {
            page += "<h2 id=\"" + std::string(status_name(status)) + "\">" + std::string(status_name(status)) + ": " +
                    number(targets) + (targets == 1 ? " target" : " targets") + "</h2>" + blocks;
        }
    }
    page += "<p><small>" + html(program) + " " + html(version) + "</small></p></body></html>\n";
    return page;
}
