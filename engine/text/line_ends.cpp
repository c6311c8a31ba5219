#include "engine/text/line_ends.h"

#include "engine/base/wide_vectors.h"

#include <algorithm>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TARNWICK_HAS_SSE2 1
#endif

namespace {

// One byte lane counts at most 255 line ends before its count is added up.
constexpr std::size_t k_blocks_per_sum = 255;

#ifdef TARNWICK_HAS_SSE2

// The line ends among the sixteen bytes at `p`: a line feed, or a carriage return whose next
// byte (read from `p + 1`) is no line feed. Each is 0xff in its lane.
__m128i line_ends_at(const char* p)
{
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    const __m128i lf = _mm_cmpeq_epi8(here, _mm_set1_epi8('\n'));
    const __m128i cr = _mm_cmpeq_epi8(here, _mm_set1_epi8('\r'));
    return _mm_or_si128(lf, _mm_andnot_si128(_mm_cmpeq_epi8(next, _mm_set1_epi8('\n')), cr));
}

// The sum of the sixteen byte lanes of `counts`.
std::size_t lane_sum(__m128i counts)
{
    const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
    return static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) + static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
}

// The number of whole blocks of `width` bytes from `p` before `stop` whose next byte lies
// before `end` too, at most `most`.
std::size_t whole_blocks(const char* p, const char* stop, const char* end, std::size_t width, std::size_t most)
{
    const std::ptrdiff_t room = std::min(stop - p, end - 1 - p);
    return room < 0 ? 0 : std::min(static_cast<std::size_t>(room) / width, most);
}

// Counts sixteen bytes at a time while a whole block and the byte after it lie in the run;
// moves `p` past what it counted.
std::size_t count_blocks(const char*& p, const char* stop, const char* end)
{
    std::size_t n = 0;
    for (std::size_t blocks; (blocks = whole_blocks(p, stop, end, 16, k_blocks_per_sum)) > 0;) {
        __m128i counts = _mm_setzero_si128();
        const char* const last = p + 16 * blocks;
        for (const char* q = p; q < last; q += 16) {
            // A lane that matched holds 0xff, that is -1: subtracting it adds one.
            counts = _mm_sub_epi8(counts, line_ends_at(q));
        }
        p = last;
        n += lane_sum(counts);
    }
    return n;
}
#endif

#ifdef TARNWICK_HAS_AVX2
TARNWICK_AVX2 __m256i wide_line_ends_at(const char* p)
{
    const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
    const __m256i lf = _mm256_cmpeq_epi8(here, _mm256_set1_epi8('\n'));
    const __m256i cr = _mm256_cmpeq_epi8(here, _mm256_set1_epi8('\r'));
    return _mm256_or_si256(lf, _mm256_andnot_si256(_mm256_cmpeq_epi8(next, _mm256_set1_epi8('\n')), cr));
}

TARNWICK_AVX2 std::size_t wide_lane_sum(__m256i counts)
{
    const __m256i sums = _mm256_sad_epu8(counts, _mm256_setzero_si256());
    return static_cast<std::size_t>(_mm256_extract_epi64(sums, 0) + _mm256_extract_epi64(sums, 1) +
                                    _mm256_extract_epi64(sums, 2) + _mm256_extract_epi64(sums, 3));
}

// count_blocks thirty-two bytes at a time.
TARNWICK_AVX2 std::size_t count_wide_blocks(const char*& p, const char* stop, const char* end)
{
    std::size_t n = 0;
    for (std::size_t blocks; (blocks = whole_blocks(p, stop, end, 32, k_blocks_per_sum)) > 0;) {
        __m256i counts = _mm256_setzero_si256();
        const char* const last = p + 32 * blocks;
        for (const char* q = p; q < last; q += 32) {
            counts = _mm256_sub_epi8(counts, wide_line_ends_at(q));
        }
        p = last;
        n += wide_lane_sum(counts);
    }
    return n;
}
#endif

}  // namespace

std::size_t count_line_ends(const char* begin, const char* stop, const char* end)
{
    const char* p = begin;
    std::size_t n = 0;
#ifdef TARNWICK_HAS_AVX2
    if (has_avx2()) {
        n += count_wide_blocks(p, stop, end);
    }
#endif
#ifdef TARNWICK_HAS_SSE2
    n += count_blocks(p, stop, end);
#endif
    for (; p < stop; ++p) {
        n += ends_line(p, end) ? 1 : 0;
    }
    return n;
}

std::vector<std::string_view> lines_with_ends(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find_first_of("\r\n", begin);
        end = end == std::string_view::npos ? text.size() : end + 1;
        if (end < text.size() && text[end - 1] == '\r' && text[end] == '\n') {
            ++end;
        }
        lines.push_back(text.substr(begin, end - begin));
        begin = end;
    }
    return lines;
}
