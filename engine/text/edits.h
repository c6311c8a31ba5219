// Changes to a text as data: a repair plans what it replaces, then writes the text with those
// replacements in one pass, so that no byte it did not mean to change changes. Each change
// names the bytes it replaces, and applying it checks them: a text that is no longer the one
// the change was planned on is never patched blind.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The bytes `replaced` at `offset` replaced by `text`.
struct Edit {
    std::uint64_t offset = 0;
    std::string replaced;
    std::string text;
    std::uint64_t end() const { return offset + replaced.size(); }
    bool operator==(const Edit&) const = default;
};

// Writes a text handed over piece by piece, as a reader hands it out, with `edits` (by offset,
// none overlapping another) applied: each piece's bytes go to `out`, the replaced ones as the
// edit's text. An edit may span pieces. Once `out` has refused a piece, or the bytes an edit
// replaces are not there, every call fails.
class EditApplier {
public:
    using Out = std::function<bool(std::string_view bytes)>;
    EditApplier(const std::vector<Edit>& edits, Out out) : m_edits(edits), m_out(std::move(out)) {}
    // The next piece, which starts where the last one ended.
    bool feed(std::string_view piece);
    // Ends the text; false when an edit lies past its end.
    bool finish();
    bool failed() const { return m_failed; }
    // True when an edit's bytes were not found at its offset: the text is not the one planned on.
    bool mismatched() const { return m_mismatched; }

private:
    bool put(std::string_view bytes);
    // Checks the replaced bytes in `piece` from `at` up to `to` (data offsets) against the edit's.
    bool matches(const Edit& e, std::string_view piece, std::uint64_t at, std::uint64_t to);

    const std::vector<Edit>& m_edits;
    Out m_out;
    std::size_t m_next = 0;       // the first edit not yet written whole
    std::uint64_t m_offset = 0;   // where the next piece starts
    bool m_in_edit = false;       // inside m_edits[m_next], its text written
    bool m_failed = false;
    bool m_mismatched = false;
};

// `text` with `edits` applied; false in `applied` (when given) when an edit's bytes are not there.
std::string apply_edits(std::string_view text, const std::vector<Edit>& edits, bool* applied = nullptr);
