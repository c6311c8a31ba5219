// Finding the few lines of a Poser file that end in a geometry file name without looking
// at every line: the byte 'j' is rare in Poser text, and every such line ends in it. Used by the repair's own check, which only needs those lines.
#pragma once

#include "engine/base/ascii.h"

#include <bit>
#include <cstddef>
#include <string_view>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace line_scan {

// True when the byte at `at` (a 'j') may end a geometry name: what follows it on its line is
// at most blanks and tabs, and the carriage return that may stand before the line feed.
inline bool may_end_line(const char* at, const char* end)
{
    const char* p = at + 1;
    while (p < end && (*p == ' ' || *p == '\t')) {
        ++p;
    }
    if (p < end && *p == '\r') {
        ++p;
    }
    return p == end || *p == '\n';
}

inline const char* line_start(const char* begin, const char* at)
{
    while (at > begin && at[-1] != '\n') {
        --at;
    }
    return at;
}

inline const char* line_end(const char* at, const char* end)
{
    while (at < end && *at != '\n') {
        ++at;
    }
    return at;
}

// Calls `on_line` with every line of `lines` (a run from TextReader::next_lines, without its
// line feed) that may end in ".obj". Each line comes at most once; the caller applies the
// exact rule to it.
template <typename OnLine>
void for_each_candidate(std::string_view lines, OnLine&& on_line)
{
    const char* const begin = lines.data();
    const char* const end = begin + lines.size();
    const char* next_line = begin;  // lines before it were handed on already
    auto consider = [&](const char* at) {
        if (at >= next_line && ascii_lower(*at) == 'j' && may_end_line(at, end)) {
            const char* start = line_start(begin, at);
            const char* stop = line_end(at, end);
            on_line(std::string_view(start, static_cast<std::size_t>(stop - start)));
            next_line = stop;
        }
    };
    const char* p = begin;
#if defined(__SSE2__) || defined(_M_X64)
    // Or-ing 0x20 folds 'J' onto 'j' (and nothing else onto it).
    const __m128i fold = _mm_set1_epi8(0x20);
    const __m128i j = _mm_set1_epi8('j');
    auto hits = [&](const char* at) {
        const __m128i bytes = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), fold);
        return _mm_cmpeq_epi8(bytes, j);
    };
    auto consider_hits = [&](const char* at, __m128i found) {
        for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(found)); mask != 0; mask &= mask - 1) {
            consider(at + std::countr_zero(mask));
        }
    };
    // Sixty-four bytes are tested at once: most such stretches hold neither letter.
    for (; p + 64 <= end; p += 64) {
        const __m128i h0 = hits(p);
        const __m128i h1 = hits(p + 16);
        const __m128i h2 = hits(p + 32);
        const __m128i h3 = hits(p + 48);
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(h0, h1), _mm_or_si128(h2, h3))) != 0) {
            consider_hits(p, h0);
            consider_hits(p + 16, h1);
            consider_hits(p + 32, h2);
            consider_hits(p + 48, h3);
        }
    }
    for (; p + 16 <= end; p += 16) {
        consider_hits(p, hits(p));
    }
#endif
    for (; p < end; ++p) {
        consider(p);
    }
}

}  // namespace line_scan
