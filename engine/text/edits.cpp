#include "engine/text/edits.h"

bool EditApplier::put(std::string_view bytes)
{
    m_failed = m_failed || (!bytes.empty() && !m_out(bytes));
    return !m_failed;
}

bool EditApplier::matches(const Edit& e, std::string_view piece, std::uint64_t at, std::uint64_t to)
{
    const std::string_view here = piece.substr(at - m_offset, to - at);
    if (here != std::string_view(e.replaced).substr(at - e.offset, to - at)) {
        m_failed = m_mismatched = true;
    }
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
        // The replaced bytes are checked and skipped, in this piece and maybe the next ones.
        if (!matches(e, piece, at, std::min(e.end(), end)) || e.end() > end) {
            break;
        }
        at = e.end();
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
    while (!m_failed && m_next < m_edits.size() && m_edits[m_next].offset == m_offset && m_edits[m_next].replaced.empty()) {
        if (!m_in_edit) {
            put(m_edits[m_next].text);
        }
        m_in_edit = false;
        ++m_next;
    }
    if (m_in_edit && m_next < m_edits.size() && m_edits[m_next].end() == m_offset) {
        m_in_edit = false;
        ++m_next;
    }
    return !m_failed && m_next == m_edits.size();
}

std::string apply_edits(std::string_view text, const std::vector<Edit>& edits, bool* applied)
{
    std::string out;
    EditApplier applier(edits, [&out](std::string_view bytes) {
        out.append(bytes);
        return true;
    });
    applier.feed(text);
    const bool whole = applier.finish();
    if (applied != nullptr) {
        *applied = whole;
    }
    return out;
}
