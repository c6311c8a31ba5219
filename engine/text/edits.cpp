#include "engine/text/edits.h"

bool EditApplier::put(std::string_view bytes)
{
    m_failed = m_failed || (!bytes.empty() && !m_out(bytes));
    return !m_failed;
}

bool EditApplier::feed(std::string_view piece)
{
    const std::uint64_t end = m_offset + piece.size();
    std::uint64_t at = m_offset;  // the first byte of the piece not yet written or skipped
    while (!m_failed && at < end) {
        if (m_next >= m_edits.size() || m_edits[m_next].offset >= end) {
            put(piece.substr(at - m_offset));
            break;
        }
        const Edit& e = m_edits[m_next];
        if (!m_in_edit) {
            put(piece.substr(at - m_offset, e.offset - at));
            put(e.text);
            m_in_edit = true;
            at = e.offset;
        }
        // The replaced bytes are skipped, in this piece and maybe the next ones.
        const std::uint64_t edit_end = e.offset + e.length;
        if (edit_end > end) {
            break;
        }
        at = edit_end;
        m_in_edit = false;
        ++m_next;
    }
    m_offset = end;
    // An edit of nothing at the very end of what came so far is written once the next piece,
    // or the end, shows it lies there.
    return !m_failed;
}

bool EditApplier::finish()
{
    while (!m_failed && m_next < m_edits.size() && m_edits[m_next].offset == m_offset && m_edits[m_next].length == 0) {
        if (!m_in_edit) {
            put(m_edits[m_next].text);
        }
        m_in_edit = false;
        ++m_next;
    }
    if (m_in_edit && m_next < m_edits.size() && m_edits[m_next].offset + m_edits[m_next].length == m_offset) {
        m_in_edit = false;
        ++m_next;
    }
    return !m_failed && m_next == m_edits.size();
}

std::string apply_edits(std::string_view text, const std::vector<Edit>& edits)
{
    std::string out;
    EditApplier applier(edits, [&out](std::string_view bytes) {
        out.append(bytes);
        return true;
    });
    applier.feed(text);
    applier.finish();
    return out;
}
