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

}  // namespace

std::size_t utf8_sequence_length(std::string_view s, std::size_t k)
{
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = b(k);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || k + n > s.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < n; ++i) {
        if ((b(k + i) & 0xc0) != 0x80) {
            return 0;
        }
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8 either.
    if ((n == 2 && c < 0xc2) || (n == 3 && c == 0xe0 && b(k + 1) < 0xa0) || (n == 3 && c == 0xed && b(k + 1) >= 0xa0) ||
        (n == 4 && c == 0xf0 && b(k + 1) < 0x90) || (n == 4 && (c > 0xf4 || (c == 0xf4 && b(k + 1) >= 0x90)))) {
        return 0;
    }
    return n;
}

std::string visible(std::string_view text)
{
    static constexpr char k_hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (std::size_t k = 0; k < text.size();) {
        const auto u = static_cast<unsigned char>(text[k]);
        const std::size_t n = utf8_sequence_length(text, k);
        // U+0080 to U+009F, two bytes from C2 80, are controls too.
        const bool c1 = n == 2 && u == 0xc2 && static_cast<unsigned char>(text[k + 1]) < 0xa0;
        if (n > 1 && !c1) {
            out.append(text.substr(k, n));
            k += n;
            continue;
        }
        const unsigned char c = c1 ? static_cast<unsigned char>(text[k + 1]) : u;
        k += c1 ? 2 : 1;
        if (n == 1 && c >= 0x20 && c != 0x7f) {
            out += static_cast<char>(c);
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == 0x1b) {
            out += "\\e";
        } else {
            out += "\\x";
            out += k_hex[c >> 4];
            out += k_hex[c & 15];
        }
    }
    return out;
}

std::string report_text(const LibraryReport& r)
{
    if (r.problems.empty() && r.unreadable.empty()) {
        return "nothing to report: " + number(r.total) + " references in " + number(r.files_read) +
               " Poser files, all found\n";
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
           number(static_cast<long long>(r.unreadable.size())) + " unreadable\n";
    for (const UnreadableFile& u : r.unreadable) {
        out += "unreadable " + visible(u.path) + ": " + u.reason + "\n";
    }
    return out;
}
