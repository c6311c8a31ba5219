#include "app/dry_run.h"

#include "app/console_text.h"
#include "app/visible_text.h"
#include "engine/library/content_paths.h"
#include "engine/text/line_ends.h"

#include <algorithm>

namespace {

constexpr std::size_t k_context = 3;

// One line of the diff: its mark, the line as stored, and a line feed where it has none.
void add_line(std::string& out, char mark, std::string_view line)
{
    out += mark;
    out.append(line);
    if (line.empty() || line.back() != '\n') {
        out += line.empty() || line.back() != '\r' ? "\n\\ No newline at end of file\n" : "\n";
    }
}

// `text` for a terminal: each line made visible, its line feed kept.
std::string visible_lines(std::string_view text)
{
    std::string out;
    for (std::string_view line : lines_with_ends(text)) {
        const bool ends = !line.empty() && line.back() == '\n';
        out += visible(ends ? line.substr(0, line.size() - 1) : line) + (ends ? "\n" : "");
    }
    return out;
}

std::string range(std::size_t first, std::size_t count)
{
    return std::to_string(count == 0 ? first : first + 1) + (count == 1 ? "" : "," + std::to_string(count));
}

}  // namespace

std::string unified_diff(const std::string& name, std::string_view before, std::string_view after)
{
    const std::vector<std::string_view> old_lines = lines_with_ends(before);
    const std::vector<std::string_view> new_lines = lines_with_ends(after);
    const std::size_t n = std::min(old_lines.size(), new_lines.size());
    std::vector<std::size_t> changed;
    for (std::size_t k = 0; k < std::max(old_lines.size(), new_lines.size()); ++k) {
        if (k >= n || old_lines[k] != new_lines[k]) {
            changed.push_back(k);
        }
    }
    if (changed.empty()) {
        return std::string();
    }
    std::string out = "--- a/" + name + "\n+++ b/" + name + "\n";
    for (std::size_t c = 0; c < changed.size();) {
        // A hunk: the changed lines whose contexts touch, with three lines around them.
        std::size_t last = c;
        while (last + 1 < changed.size() && changed[last + 1] <= changed[last] + 2 * k_context + 1) {
            ++last;
        }
        const std::size_t from = changed[c] > k_context ? changed[c] - k_context : 0;
        const std::size_t old_to = std::min(old_lines.size(), changed[last] + k_context + 1);
        const std::size_t new_to = std::min(new_lines.size(), changed[last] + k_context + 1);
        out += "@@ -" + range(from, old_to - from) + " +" + range(from, new_to - from) + " @@\n";
        for (std::size_t k = from; k < std::max(old_to, new_to); ++k) {
            const bool same = k < n && old_lines[k] == new_lines[k];
            if (same) {
                add_line(out, ' ', old_lines[k]);
                continue;
            }
            if (k < old_to) {
                add_line(out, '-', old_lines[k]);
            }
            if (k < new_to) {
                add_line(out, '+', new_lines[k]);
            }
        }
        c = last + 1;
    }
    return out;
}

std::string DryRunPrinter::name_of_document(const std::string& document) const
{
    const std::size_t root = root_holding(document, m_roots);
    if (root == std::string::npos) {
        return document;
    }
    std::string name = document.substr(m_roots[root].size() + (m_roots[root].back() == fsys::k_sep ? 0 : 1));
    std::replace(name.begin(), name.end(), fsys::k_sep, '/');
    return name;
}

void DryRunPrinter::would_change(const std::string& document, const std::string& before, const std::string& after)
{
    const std::string diff = unified_diff(name_of_document(document), before, after);
    if (!diff.empty()) {
        ++m_changed;
        write_text(m_out, m_terminal ? visible_lines(diff) : diff);
    }
}

void DryRunPrinter::would_leave(const std::string& document, std::string_view target)
{
    m_left.push_back("left as it is: " + std::string(target) + " in " + document);
}
