#include "engine/text/document_rewrite.h"

std::string reference_key(const FileReference& ref)
{
    std::string key{static_cast<char>('0' + static_cast<int>(ref.kind)), ref.beside_document ? 'b' : 'r'};
    key.append(ref.target);
    return key;
}

const std::string* ReferenceRewrites::find(const FileReference& ref) const
{
    if (m_texts.empty()) {
        return nullptr;
    }
    const auto found = m_texts.find(reference_key(ref));
    return found == m_texts.end() ? nullptr : &found->second;
}

bool DocumentRewriter::open(fsys::FileSystem& fs, const std::string& path, const DocumentSeen& seen)
{
    m_fs = &fs;
    m_path = path;
    m_seen = &seen;
    m_now = DocumentSeen{};
    m_line = m_first_line = 1;
    m_rewritten = 0;
    // Every byte is copied: the rest of a line too long for a reference comes in pieces too.
    m_in.limit_line_length(k_max_line_bytes, LongLines::hand_out_rest);
    m_opened = fs.stamp(path, m_now.stamp) && m_in.open(fs, path, Gzip::if_magic, fsys::Listed::unknown, ReadMode::as_stored);
    m_changed = m_opened && (m_now.stamp != seen.stamp || m_in.compressed() != seen.compressed);
    return m_opened && !m_changed;
}

bool DocumentRewriter::next(std::string_view& run, std::vector<Edit>& edits)
{
    edits.clear();
    if (!m_opened || m_changed || !m_in.next_lines(run)) {
        return false;
    }
    m_first_line = m_line;
    if (m_in.line_was_cut()) {
        m_line += m_in.continues_long_line() ? 0 : 1;
        return true;
    }
    m_found.clear();
    m_line += scan_references(run, m_line, m_found);
    for (const FoundReference& f : m_found) {
        const std::size_t at = f.line_offset + f.ref.path_begin;
        m_now.note(f, m_in.offset_of(run.data() + at));
        if (const std::string* text = m_rewrites.find(f.ref); text != nullptr && !f.ref.builtin) {
            edits.push_back(Edit{at, std::string(f.ref.target), *text});
            ++m_rewritten;
        }
    }
    return true;
}

Reread DocumentRewriter::finish()
{
    const bool read = m_opened && !m_in.failed();
    m_in.close();
    if (m_changed) {
        return Reread::changed;
    }
    if (!read) {
        return Reread::unreadable;
    }
    // Its stamp once read, too: a document written while it was read may be a mix of two.
    m_now.compressed = m_seen->compressed;
    return m_now == *m_seen && still_as_seen(*m_fs, m_path, *m_seen) ? Reread::same : Reread::changed;
}

Reread copy_rewritten(fsys::FileSystem& fs, const std::string& path, const DocumentSeen& seen,
                      const ReferenceRewrites& rewrites, TextWriter& out, long long* rewritten)
{
    DocumentRewriter rewriter(rewrites);
    rewriter.open(fs, path, seen);
    std::string_view run;
    std::vector<Edit> edits;
    bool same = true;
    while (same && rewriter.next(run, edits)) {
        EditApplier applier(edits, [&out](std::string_view bytes) { return out.write_as_stored(bytes); });
        same = (applier.feed(run) && applier.finish()) || !applier.mismatched();
    }
    const Reread result = rewriter.finish();
    if (rewritten != nullptr) {
        *rewritten = rewriter.rewritten();
    }
    return same ? result : Reread::changed;
}
