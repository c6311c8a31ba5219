// Counting the lines of a run of text as stored, many bytes at a time: a line ends at a line
// feed, a carriage return and line feed, or a carriage return alone (a classic Mac's files).
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

// The number of line ends in [begin, stop), a carriage return and line feed counted once, at
// its line feed. Bytes up to `end` (the end of the run, at or after `stop`) may be looked at
// to tell a carriage return alone from one before a line feed; one at the very end of the run
// stands alone, since a run never ends between the two.
std::size_t count_line_ends(const char* begin, const char* stop, const char* end);

// True when the byte at `at` (before `end`) ends a line by the same rule; the carriage return
// of a carriage return and line feed does not, its line feed does.
inline bool ends_line(const char* at, const char* end)
{
    return *at == '\n' || (*at == '\r' && (at + 1 == end || at[1] != '\n'));
}

// The lines of `text` as stored, each with its own line end (none for an unended last line).
std::vector<std::string_view> lines_with_ends(std::string_view text);
