#include "app/report_output.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <vector>

namespace {

using nlohmann::json;

// Writes one JSON document as it is walked, laid out as nlohmann's dump(2) lays out the same
// values (keys in byte order, two spaces a level, `[]` and `{}` when empty), without building
// a tree of them first: a report of a broken library lists a hundred thousand uses, and a
// tree of them costs more than reading the library did.
class JsonOut {
public:
    explicit JsonOut(std::string& out) : m_out(out) {}

    // The members of an object must come in byte order of their keys, as a sorted map dumps them.
    void begin_object() { open('{'); }
    void end_object() { close('}'); }
    void begin_array() { open('['); }
    void end_array() { close(']'); }
    void key(std::string_view k)
    {
        item();
        string_text(k);
        m_out += ": ";
        m_keyed = true;
    }
    void value(std::string_view s)
    {
        item();
        string_text(s);
    }
    void value(long long n)
    {
        item();
        m_out += std::to_string(n);
    }
    void null()
    {
        item();
        m_out += "null";
    }
    void strings(const std::vector<std::string>& list)
    {
        begin_array();
        for (const std::string& s : list) {
            value(s);
        }
        end_array();
    }
    template <typename Value>
    void member(std::string_view k, const Value& v)
    {
        key(k);
        value(v);
    }

private:
    // Before a value: the comma after the one before, a new line and the indent, unless a key
    // has just been written.
    void item()
    {
        if (m_keyed) {
            m_keyed = false;
            return;
        }
        if (!m_first.empty()) {
            m_out += m_first.back() ? "\n" : ",\n";
            m_first.back() = false;
            m_out.append(2 * m_first.size(), ' ');
        }
    }
    void open(char bracket)
    {
        item();
        m_out += bracket;
        m_first.push_back(true);
    }
    void close(char bracket)
    {
        const bool empty = m_first.back();
        m_first.pop_back();
        if (!empty) {
            m_out += '\n';
            m_out.append(2 * m_first.size(), ' ');
        }
        m_out += bracket;
    }
    // Printable ASCII without a quote or a backslash stands as it is; anything else is escaped
    // by the library, whose rules (bytes that are not UTF-8 become U+FFFD) the document keeps.
    void string_text(std::string_view s)
    {
        const bool plain = std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c < 0x7f && c != '"' && c != '\\'; });
        if (plain) {
            m_out += '"';
            m_out += s;
            m_out += '"';
        } else {
            m_out += json(std::string(s)).dump(-1, ' ', false, json::error_handler_t::replace);
        }
    }

    std::string& m_out;
    std::vector<bool> m_first;  // per open bracket: nothing written in it yet
    bool m_keyed = false;       // a key was written, its value comes next on the same line
};

// A target with its uses; in a report of product zips also where it was found ("product",
// "root", or null when nowhere).
void write_target(JsonOut& out, const LibraryReport& r, const ReportProblem& p)
{
    out.begin_object();
    out.key("candidates");
    out.strings(p.candidates);
    if (r.own_roots > 0) {
        const std::string_view from = r.from(p.root);
        out.key("from");
        from.empty() ? out.null() : out.value(from);
    }
    out.member("kind", kind_name(p.kind));
    if (p.status == RefStatus::refused) {
        out.member("reason", refusal_words(p.refusal));
        out.member("refusal", refusal_name(p.refusal));
    }
    out.member("status", status_name(p.status));
    out.member("target", p.target);
    // How many uses there are in all, and the first of them.
    out.member("use_count", p.use_count);
    out.key("uses");
    out.begin_array();
    for (const ReportUse& u : p.uses) {
        out.begin_object();
        out.member("file", u.file);
        out.member("line", u.line);
        out.end_object();
    }
    out.end_array();
    out.end_object();
}

void write_targets(JsonOut& out, const LibraryReport& r, const std::vector<ReportProblem>& problems)
{
    out.begin_array();
    for (const ReportProblem& p : problems) {
        write_target(out, r, p);
    }
    out.end_array();
}

// What a report of product zips adds: what breaks their install, and what they need from the roots.
void write_product(JsonOut& out, const LibraryReport& r)
{
    out.key("product");
    out.begin_object();
    out.key("dependencies");
    write_targets(out, r, r.dependencies);
    out.key("package");
    out.begin_array();
    for (const ReportPackageProblem& p : r.package) {
        out.begin_object();
        out.member("entry", p.problem.entry);
        out.member("kind", zipfs::problem_kind_name(p.problem.kind));
        out.member("message", p.problem.message);
        out.member("zip", p.zip);
        out.end_object();
    }
    out.end_array();
    out.key("roots");
    out.strings(std::vector<std::string>(r.roots.begin(), r.roots.begin() + static_cast<std::ptrdiff_t>(r.own_roots)));
    out.end_object();
}

}  // namespace

std::string report_json(const LibraryReport& r, std::string_view version)
{
    std::string text;
    // Room for the whole document at once: grown step by step, it would be copied each time
    // into fresh pages, and on a virtual machine each page costs the system a fault.
    text.reserve(listed_bytes(r, 80));
    JsonOut out(text);
    out.begin_object();
    out.key("files");
    out.begin_object();
    out.member("backups_skipped", r.backups_skipped);
    out.member("compressed", r.files_compressed);
    out.member("read", r.files_read);
    out.key("unreadable");
    out.begin_array();
    for (const UnreadableFile& u : r.unreadable) {
        out.begin_object();
        out.member("path", u.path);
        out.member("reason", u.reason);
        out.end_object();
    }
    out.end_array();
    out.end_object();
    if (!r.root_notes.empty()) {
        out.key("notes");
        out.strings(r.root_notes);
    }
    out.key("problems");
    write_targets(out, r, r.problems);
    if (r.own_roots > 0 || !r.package.empty()) {
        write_product(out, r);
    }
    out.key("references");
    out.begin_object();
    out.member("absolute", r.count(RefStatus::absolute));
    out.member("builtin", r.builtin);
    out.member("case", r.count(RefStatus::case_only));
    out.member("missing", r.count(RefStatus::missing));
    out.member("moved", r.count(RefStatus::moved));
    out.member("ok", r.count(RefStatus::ok));
    out.member("refused", r.count(RefStatus::refused));
    out.member("total", r.total);
    out.end_object();
    out.key("roots");
    out.strings(r.roots);
    out.member("version", version);
    out.end_object();
    text += '\n';
    return text;
}
