#include "app/report_output.h"

#include <algorithm>
#include <array>

namespace {

// Worst first: what breaks the library before what works here only.
constexpr std::array<RefStatus, 5> k_problem_order = {RefStatus::refused, RefStatus::missing, RefStatus::moved,
                                                      RefStatus::case_only, RefStatus::absolute};
constexpr std::array<RefKind, k_ref_kinds> k_kinds = {RefKind::geometry, RefKind::image, RefKind::morph,
                                                      RefKind::script};
constexpr std::array<RefStatus, k_ref_statuses> k_statuses = {RefStatus::ok,    RefStatus::absolute, RefStatus::case_only,
                                                              RefStatus::moved, RefStatus::missing,  RefStatus::refused};

std::string number(long long n)
{
    return std::to_string(n);
}

// In a report of product zips, where a target was found: in a product, or under a root.
std::string from_note(const LibraryReport& r, const ReportProblem& p)
{
    const std::string_view from = r.from(p.root);
    return r.own_roots == 0 || from.empty() ? std::string() : " (from " + std::string(from) + ")";
}

void append_problem(std::string& out, const LibraryReport& r, const ReportProblem& p, std::string_view status)
{
    out += std::string(status) + " " + std::string(kind_name(p.kind)) + " " + visible(p.target) + from_note(r, p) + "\n";
    if (p.status == RefStatus::refused) {
        out += "  " + std::string(refusal_words(p.refusal)) + "\n";
    }
    for (const std::string& c : p.candidates) {
        out += (p.status == RefStatus::ok ? "  found " : "  candidate ") + visible(c) + "\n";
    }
    for (const ReportUse& u : p.uses) {
        out += "  used in " + visible(u.file) + " line " + number(u.line) + "\n";
    }
}

// Old versions a repair kept beside their documents are not read: their pointers are the
// broken ones the repair replaced.
std::string skipped_note(const LibraryReport& r)
{
    return r.backups_skipped > 0 ? " (" + number(r.backups_skipped) + " backups skipped)" : std::string();
}

// What breaks the install of a product zip, before anything else: nothing else may be right.
void append_package(std::string& out, const ReportPackageProblem& p)
{
    out += "package " + std::string(zipfs::problem_kind_name(p.problem.kind)) +
           (p.problem.entry.empty() ? "" : " " + visible(p.problem.entry)) + " in " + visible(p.zip) + ": " +
           p.problem.message + "\n";
}

}  // namespace

std::string report_text(const LibraryReport& r)
{
    if (r.problems.empty() && r.unreadable.empty() && r.package.empty() && r.dependencies.empty()) {
        return "nothing to report: " + number(r.total) + " references in " + number(r.files_read) +
               " Poser files, all found" + skipped_note(r) + "\n";
    }
    std::string out;
    for (const ReportPackageProblem& p : r.package) {
        append_package(out, p);
    }
    for (RefStatus status : k_problem_order) {
        for (const ReportProblem& p : r.problems) {
            if (p.status == status) {
                append_problem(out, r, p, status_name(p.status));
            }
        }
    }
    // What a product needs from outside itself: a dependency its buyers must have.
    for (const ReportProblem& p : r.dependencies) {
        append_problem(out, r, p, "needed");
    }
    out += "\n";
    for (RefStatus status : k_statuses) {
        out += std::string(status_name(status)) + ": " + number(r.count(status));
        for (RefKind kind : k_kinds) {
            out += ", " + std::string(kind_name(kind)) + " " + number(r.counts[static_cast<int>(status)][static_cast<int>(kind)]);
        }
        out += "\n";
    }
    out += "built-in: " + number(r.builtin) + "\n";
    for (RefKind kind : k_kinds) {
        out += std::string(kind_name(kind)) + ":";
        const char* sep = " ";
        for (RefStatus status : k_statuses) {
            out += sep + std::string(status_name(status)) + " " + number(r.counts[static_cast<int>(status)][static_cast<int>(kind)]);
            sep = ", ";
        }
        out += "\n";
    }
    out += "files: " + number(r.files_read) + " read, " + number(r.files_compressed) + " compressed, " +
           number(static_cast<long long>(r.unreadable.size())) + " unreadable, " + number(r.backups_skipped) +
           " backups skipped\n";
    if (r.own_roots > 0 || !r.package.empty()) {
        out += "product: " + number(static_cast<long long>(r.package.size())) + " package problems, " +
               number(static_cast<long long>(r.dependencies.size())) + " files needed from the roots\n";
    }
    for (const UnreadableFile& u : r.unreadable) {
        out += "unreadable " + visible(u.path) + ": " + u.reason + "\n";
    }
    // A release check must not pass on files nobody could check.
    if (!r.unreadable.empty()) {
        const std::size_t n = r.unreadable.size();
        out += number(static_cast<long long>(n)) + (n == 1 ? " Poser file" : " Poser files") +
               " could not be read: the check is incomplete\n";
    }
    return out;
}
