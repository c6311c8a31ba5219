#include "app/report_output.h"

#include <algorithm>
#include <array>

namespace {

// Worst first: what breaks the library before what works here only.
constexpr std::array<RefStatus, 4> k_problem_order = {RefStatus::missing, RefStatus::moved, RefStatus::case_only,
                                                      RefStatus::absolute};
constexpr std::array<RefKind, k_ref_kinds> k_kinds = {RefKind::geometry, RefKind::image, RefKind::morph,
                                                      RefKind::script};
constexpr std::array<RefStatus, k_ref_statuses> k_statuses = {RefStatus::ok, RefStatus::absolute, RefStatus::case_only,
                                                              RefStatus::moved, RefStatus::missing};

std::string number(long long n)
{
    return std::to_string(n);
}

void append_problem(std::string& out, const ReportProblem& p)
{
    out += std::string(status_name(p.status)) + " " + std::string(kind_name(p.kind)) + " " + visible(p.target) + "\n";
    for (const std::string& c : p.candidates) {
        out += "  candidate " + visible(c) + "\n";
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

}  // namespace

std::string report_text(const LibraryReport& r)
{
    if (r.problems.empty() && r.unreadable.empty()) {
        return "nothing to report: " + number(r.total) + " references in " + number(r.files_read) +
               " Poser files, all found" + skipped_note(r) + "\n";
    }
    std::string out;
    for (RefStatus status : k_problem_order) {
        for (const ReportProblem& p : r.problems) {
            if (p.status == status) {
                append_problem(out, p);
            }
        }
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
