#include "app/dry_run.h"

#include "app/console_text.h"
#include "app/visible_text.h"
#include "engine/library/content_paths.h"
#include "engine/text/line_ends.h"

#include <algorithm>

namespace {

constexpr std::size_t k_context = 3;
// The diff is handed to its stream in pieces of about this size.
constexpr std::size_t k_out_bytes = 1 << 16;

// One line of a planned document as stored, with its line end, and what the run writes
// instead; or one piece of a line too long to hold a reference, which never changes.
struct PlannedLine {
    std::string_view text;
    std::string after;
    bool changed = false;
    bool continued = false;  // a piece of a long line after its first
    long long number = 0;    // counted from 1
};

// The lines of a planned document one by one, read as the run reads it, so that a document of
// any size is shown in the memory of a few runs of lines.
class PlannedLines {
public:
    explicit PlannedLines(const PlannedDocument& d) : m_rewriter(d.rewrites) { m_rewriter.open(d.fs, d.path, d.seen); }
    // False at the end of the document.
    bool next(PlannedLine& line);
    // The lines met so far; once next() has returned false, all of them.
    long long lines() const { return m_lines; }
    Reread finish() { return m_rewriter.finish(); }

private:
    DocumentRewriter m_rewriter;
    std::string_view m_run;
    std::vector<Edit> m_edits;
    std::vector<Edit> m_line_edits;
    std::size_t m_at = 0;    // where the next line of the run begins
    std::size_t m_edit = 0;  // the first edit of the run not yet passed
    bool m_piece = false;
    long long m_lines = 0;
};

bool PlannedLines::next(PlannedLine& line)
{
    while (m_at >= m_run.size()) {
        if (!m_rewriter.next(m_run, m_edits)) {
            return false;
        }
        m_at = m_edit = 0;
        m_piece = m_rewriter.piece_of_long_line();
    }
    line.changed = false;
    line.after.clear();
    if (m_piece) {
        line.text = m_run;
        line.continued = m_rewriter.continues_long_line();
        m_lines += line.continued ? 0 : 1;
        line.number = m_lines;
        m_at = m_run.size();
        return true;
    }
    std::size_t end = m_at;
    while (end < m_run.size() && !ends_line(m_run.data() + end, m_run.data() + m_run.size())) {
        ++end;
    }
    end = std::min(end + 1, m_run.size());
    line.text = m_run.substr(m_at, end - m_at);
    line.continued = false;
    line.number = ++m_lines;
    m_line_edits.clear();
    for (; m_edit < m_edits.size() && m_edits[m_edit].offset < end; ++m_edit) {
        Edit e = m_edits[m_edit];
        e.offset -= m_at;
        m_line_edits.push_back(std::move(e));
    }
    if (!m_line_edits.empty()) {
        line.after = apply_edits(line.text, m_line_edits);
        line.changed = line.after != line.text;
    }
    m_at = end;
    return true;
}

// "a/NAME" as GNU diff heads it: a tab after the name, so that a name with a space reads whole;
// a name with a quote, a backslash or a control character in C quotes, as git and patch read it.
std::string header_name(std::string_view prefix, std::string_view name)
{
    std::string plain = std::string(prefix) + std::string(name);
    const bool quoted = std::any_of(plain.begin(), plain.end(), [](char c) {
        return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
    });
    if (!quoted) {
        return plain + "\t";
    }
    std::string text = "\"";
    for (char c : plain) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            text += '\\';
            text += c;
        } else if (u < 0x20 || u == 0x7f) {
            const char digits[] = {'\\', static_cast<char>('0' + (u >> 6)), static_cast<char>('0' + ((u >> 3) & 7)),
                                   static_cast<char>('0' + (u & 7))};
            text.append(digits, 4);
        } else {
            text += c;
        }
    }
    return text + "\"\t";
}

std::string range(long long first, long long count)
{
    return std::to_string(count == 0 ? first - 1 : first) + (count == 1 ? "" : "," + std::to_string(count));
}

// A unified diff written as it is made: hunks of three lines of context, found by one reading
// of the document that runs ahead of the one that writes them.
class StreamedDiff {
public:
    StreamedDiff(const PlannedDocument& d, std::string name, DryRunPrinter::Out out)
        : m_ahead(d), m_behind(d), m_name(std::move(name)), m_out(std::move(out))
    {
    }
    Shown write();

private:
    bool next_change(long long& number);
    void hunk(long long from, long long to);
    void line(char mark, std::string_view text, bool continued);
    void end_of_line();
    void put(std::string_view text);
    void flush();

    PlannedLines m_ahead;
    PlannedLines m_behind;
    std::string m_name;
    DryRunPrinter::Out m_out;
    PlannedLine m_line;        // the line of the reading behind in hand
    bool m_held = false;       // m_line is still to be shown
    bool m_open_line = false;  // the last text shown has no line end yet
    bool m_shown = false;      // some of the diff has gone out
    bool m_headed = false;
    std::string m_buffer;
};

bool StreamedDiff::next_change(long long& number)
{
    PlannedLine line;
    while (m_ahead.next(line)) {
        if (line.changed) {
            number = line.number;
            return true;
        }
    }
    return false;
}

void StreamedDiff::put(std::string_view text)
{
    m_buffer.append(text);
    if (m_buffer.size() < k_out_bytes) {
        return;
    }
    // Whole lines go out where there are any, so that a terminal shows each as it is.
    const std::size_t cut = m_buffer.rfind('\n');
    const std::size_t n = cut == std::string::npos ? m_buffer.size() : cut + 1;
    m_out(std::string_view(m_buffer).substr(0, n));
    m_buffer.erase(0, n);
    m_shown = true;
}

void StreamedDiff::flush()
{
    if (!m_buffer.empty()) {
        m_out(m_buffer);
        m_shown = true;
        m_buffer.clear();
    }
}

// A line that ends without a line feed gets one: patch reads a line up to it. The last line of
// a document without any line end is marked so.
void StreamedDiff::end_of_line()
{
    if (m_open_line) {
        put("\n\\ No newline at end of file\n");
        m_open_line = false;
    }
}

void StreamedDiff::line(char mark, std::string_view text, bool continued)
{
    if (!continued) {
        end_of_line();
        put(std::string_view(&mark, 1));
    }
    put(text);
    const char last = text.empty() ? '\0' : text.back();
    m_open_line = last != '\n';
    if (last == '\r') {
        put("\n");
        m_open_line = false;
    }
}

void StreamedDiff::hunk(long long from, long long to)
{
    put("@@ -" + range(from, to - from + 1) + " +" + range(from, to - from + 1) + " @@\n");
    while ((m_held || m_behind.next(m_line)) && m_line.number <= to) {
        m_held = false;
        if (m_line.number < from) {
            continue;
        }
        if (m_line.changed) {
            line('-', m_line.text, false);
            line('+', m_line.after, false);
        } else {
            line(' ', m_line.text, m_line.continued);
        }
    }
    // The line met past the hunk is the next hunk's, or the reading is at its end.
    m_held = m_line.number > to;
    if (m_open_line && !m_held) {
        end_of_line();
    }
    m_open_line = false;
}

Shown StreamedDiff::write()
{
    long long change = 0;
    bool more = next_change(change);
    while (more) {
        const long long first = change;
        long long last = change;
        while ((more = next_change(change)) && change <= last + 2 * static_cast<long long>(k_context) + 1) {
            last = change;
        }
        if (!m_headed) {
            put("--- " + header_name("a/", m_name) + "\n+++ " + header_name("b/", m_name) + "\n");
            m_headed = true;
        }
        // Once the reading ahead is at its end, it knows how many lines there are.
        const long long to = more ? last + static_cast<long long>(k_context)
                                  : std::min(m_ahead.lines(), last + static_cast<long long>(k_context));
        hunk(std::max(1LL, first - static_cast<long long>(k_context)), to);
    }
    while (m_behind.next(m_line)) {
    }
    const Reread ahead = m_ahead.finish();
    const Reread behind = m_behind.finish();
    const Reread read = ahead == Reread::same ? behind : ahead;
    if (read == Reread::same || !m_shown) {
        // Nothing of a document that is not what the scan read goes out.
        if (read == Reread::same) {
            flush();
        }
        return read == Reread::same ? Shown::shown : read == Reread::changed ? Shown::changed : Shown::unreadable;
    }
    flush();
    return Shown::changed_while_shown;
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

}  // namespace

std::string DryRunPrinter::name_of_document(fsys::FileSystem& fs, const std::string& document) const
{
    // Named from the root that holds it where it really lies, however the root or the document was given.
    std::string path = fs.absolute_path(document);
    const std::size_t root = place_under_root(fs, path, m_roots);
    if (root == std::string::npos) {
        return document;
    }
    std::string name = path.substr(std::min(path.size(), m_roots[root].size() + (m_roots[root].back() == fsys::k_sep ? 0 : 1)));
    std::replace(name.begin(), name.end(), fsys::k_sep, '/');
    return name;
}

Shown DryRunPrinter::would_change(const PlannedDocument& document)
{
    const Out out = m_out_to ? m_out_to : [this](std::string_view text) {
        write_text(m_out, m_terminal ? visible_lines(text) : std::string(text));
    };
    const Shown shown = StreamedDiff(document, name_of_document(document.fs, document.path), out).write();
    m_changed += shown == Shown::shown ? 1 : 0;
    return shown;
}

void DryRunPrinter::would_leave(const std::string& document, std::string_view target)
{
    m_left.push_back("left as it is: " + std::string(target) + " in " + document);
}
