#include "app/report_output.h"

#include "app/counted.h"

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

// Appended piece by piece: a broken library lists a hundred thousand uses.
void append_problem(std::string& out, const LibraryReport& r, const ReportProblem& p, std::string_view status)
{
    out.append(status).append(" ").append(kind_name(p.kind)).append(" ");
    append_visible(out, p.target);
    out.append(from_note(r, p)).append("\n");
    if (p.status == RefStatus::refused) {
        out.append("  ").append(refusal_words(p.refusal)).append("\n");
    }
    for (const std::string& c : p.candidates) {
        out.append(p.status == RefStatus::ok ? "  found " : "  candidate ");
        append_visible(out, c);
        out.append("\n");
    }
    for (const ReportUse& u : p.uses) {
        out.append("  used in ");
        append_visible(out, u.file);
        out.append(" line ").append(number(u.line)).append("\n");
    }
    out += more_uses(p, "  ") + (p.use_count > static_cast<long long>(p.uses.size()) ? "\n" : "");
}

// Old versions a repair kept beside their documents are not read: their pointers are the
// broken ones the repair replaced.
std::string skipped_note(const LibraryReport& r)
{
    return r.backups_skipped > 0 ? " (" + counted(r.backups_skipped, "backup", "backups") + " skipped)" : std::string();
}

// What breaks the install of a product zip, before anything else: nothing else may be right.
void append_package(std::string& out, const ReportPackageProblem& p)
{
    out += "package " + std::string(zipfs::problem_kind_name(p.problem.kind)) +
           (p.problem.entry.empty() ? "" : " " + visible(p.problem.entry)) + " in " + visible(p.zip) + ": " +
           p.problem.message + "\n";
}

}  // namespace

std::string more_uses(const ReportProblem& p, std::string_view lead)
{
    const long long more = p.use_count - static_cast<long long>(p.uses.size());
    return more <= 0 ? std::string() : std::string(lead) + "and " + number(more) + (more == 1 ? " more use" : " more uses");
}

std::size_t listed_bytes(const LibraryReport& r, std::size_t per_item)
{
    std::size_t n = 4096;
    for (const std::vector<ReportProblem>* list : {&r.problems, &r.dependencies}) {
        for (const ReportProblem& p : *list) {
            n += p.target.size() + per_item;
            for (const std::string& c : p.candidates) {
                n += c.size() + per_item;
            }
            for (const ReportUse& u : p.uses) {
                n += u.file.size() + per_item;
            }
        }
    }
    return n;
}

std::string report_text(const LibraryReport& r)
{
    if (r.problems.empty() && r.unreadable.empty() && r.package.empty() && r.dependencies.empty()) {
        return "nothing to report: " + counted(r.total, "reference", "references") + " in " +
               counted(r.files_read, "Poser file", "Poser files") + ", all found" + skipped_note(r) + "\n";
    }
    std::string out;
    out.reserve(listed_bytes(r, 20));
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
        out += "product: " + counted(static_cast<long long>(r.package.size()), "package problem", "package problems") +
               ", " + counted(static_cast<long long>(r.dependencies.size()), "file", "files") + " needed from the roots\n";
    }
    for (const UnreadableFile& u : r.unreadable) {
        out += "unreadable " + visible(u.path) + ": " + u.reason + "\n";
    }
    // A release check must not pass on files nobody could check.
    if (!r.unreadable.empty()) {
        const std::size_t n = r.unreadable.size();
        out += counted(static_cast<long long>(n), "Poser file", "Poser files") + " could not be read: the check is incomplete\n";
    }
    return out;
}
