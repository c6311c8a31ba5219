// Changes to a text as data: a repair plans what it replaces, then writes the text with those
// replacements in one pass, so that no byte it did not mean to change changes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// `length` bytes at `offset` replaced by `text`.
struct Edit {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::string text;
    bool operator==(const Edit&) const = default;
};

// Writes a text handed over piece by piece, as a reader hands it out, with `edits` (by offset,
// none overlapping another) applied: each piece's bytes go to `out`, the replaced ones as the
// edit's text. An edit may span pieces. Once `out` has refused a piece every call fails.
class EditApplier {
public:
    using Out = std::function<bool(std::string_view bytes)>;
    EditApplier(const std::vector<Edit>& edits, Out out) : m_edits(edits), m_out(std::move(out)) {}
    // The next piece, which starts where the last one ended.
    bool feed(std::string_view piece);
    // Ends the text; false when an edit lies past its end.
    bool finish();
    bool failed() const { return m_failed; }

private:
    bool put(std::string_view bytes);

    const std::vector<Edit>& m_edits;
    Out m_out;
    std::size_t m_next = 0;       // the first edit not yet written whole
    std::uint64_t m_offset = 0;   // where the next piece starts
    bool m_in_edit = false;       // inside m_edits[m_next], its text written
    bool m_failed = false;
};

// `text` with `edits` applied.
std::string apply_edits(std::string_view text, const std::vector<Edit>& edits);
