#include "engine/text/reference_candidates.h"

#include "engine/base/ascii.h"
#include "engine/base/wide_vectors.h"

#include <bit>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TARNWICK_HAS_SSE2 1
#endif

namespace {

// In the vector code, or-ing 0x20 turns an upper-case letter into its lower-case one and maps
// no other byte onto a letter, so one compare finds a letter in either case, as ascii_lower
// does one byte at a time.
constexpr char k_fold = 0x20;

bool is_candidate(char a, char b)
{
    const char fa = ascii_lower(a);
    const char fb = ascii_lower(b);
    return (a == '.' && fb == 'o') || (fa == 'i' && fb == 'l') || (fa == 'a' && fb == 'p') || (fa == 'm' && fb == 'r') ||
           (fa == 'p' && fb == 't');
}

#ifdef TARNWICK_HAS_SSE2
__m128i pair_at(__m128i first, __m128i second, char a, char b)
{
    return _mm_and_si128(_mm_cmpeq_epi8(first, _mm_set1_epi8(a)), _mm_cmpeq_epi8(second, _mm_set1_epi8(b)));
}

// A bit for each of the sixteen positions at `p` where a pair begins; reads p[0] to p[16].
unsigned candidates_at(const char* p)
{
    const __m128i fold = _mm_set1_epi8(k_fold);
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i next = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1)), fold);
    const __m128i folded = _mm_or_si128(here, fold);
    // '.' is its own folded byte, but so is 0x0e: the dot is compared as it is.
    __m128i found = pair_at(here, next, '.', 'o');
    found = _mm_or_si128(found, pair_at(folded, next, 'i', 'l'));
    found = _mm_or_si128(found, pair_at(folded, next, 'a', 'p'));
    found = _mm_or_si128(found, pair_at(folded, next, 'm', 'r'));
    found = _mm_or_si128(found, pair_at(folded, next, 'p', 't'));
    return static_cast<unsigned>(_mm_movemask_epi8(found));
}
#endif

#ifdef TARNWICK_HAS_AVX2
// Which pairs a byte may begin (as the first table) or end (as the second), one bit a pair:
// .o 1, il 2, ap 4, mR 8, pt 16. A byte's bits are the bits its low nibble and its high nibble
// both have: the upper-case letters (high nibble 4 or 5) have those of the lower-case ones (6
// or 7), and no other byte gets a bit. A byte of 0x80 or more finds 0 in the high table.
struct NibbleTable {
    __m256i low;
    __m256i high;
};

TARNWICK_AVX2 __m256i both_lanes(const char (&bytes)[16])
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)));
}

TARNWICK_AVX2 NibbleTable first_bytes()
{
    //                            0    1  2  3  4  5  6  7  8  9  a  b  c  d  e  f
    static const char low[16] = {16, 4, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 8, 1, 0};
    static const char high[16] = {0, 0, 1, 0, 14, 16, 14, 16, 0, 0, 0, 0, 0, 0, 0, 0};
    return NibbleTable{both_lanes(low), both_lanes(high)};
}

TARNWICK_AVX2 NibbleTable second_bytes()
{
    static const char low[16] = {4, 0, 8, 0, 16, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 1};
    static const char high[16] = {0, 0, 0, 0, 3, 28, 3, 28, 0, 0, 0, 0, 0, 0, 0, 0};
    return NibbleTable{both_lanes(low), both_lanes(high)};
}

TARNWICK_AVX2 __m256i pairs_of(__m256i bytes, const NibbleTable& table)
{
    const __m256i nibble = _mm256_set1_epi8(0x0f);
    const __m256i low = _mm256_shuffle_epi8(table.low, _mm256_and_si256(bytes, nibble));
    const __m256i high = _mm256_shuffle_epi8(table.high, _mm256_and_si256(_mm256_srli_epi16(bytes, 4), nibble));
    return _mm256_and_si256(low, high);
}

// A bit for each of the thirty-two positions at `p` where a pair begins; reads p[0] to p[32].
TARNWICK_AVX2 unsigned wide_candidates_at(const char* p, const NibbleTable& first, const NibbleTable& second)
{
    const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
    const __m256i pairs = _mm256_and_si256(pairs_of(here, first), pairs_of(next, second));
    return ~static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(pairs, _mm256_setzero_si256())));
}

// The first candidate at or after `p`, looked for thirty-two positions at a time while the
// byte after them lies in the run; else where the narrower search is to go on.
TARNWICK_AVX2 const char* next_wide_candidate(const char* p, const char* end, bool& found)
{
    const NibbleTable first = first_bytes();
    const NibbleTable second = second_bytes();
    for (; end - p >= 33; p += 32) {
        if (const unsigned hits = wide_candidates_at(p, first, second); hits != 0) {
            found = true;
            return p + std::countr_zero(hits);
        }
    }
    return p;
}
#endif

}  // namespace

const char* next_reference_candidate(const char* from, const char* end)
{
    const char* p = from;
#ifdef TARNWICK_HAS_AVX2
    if (has_avx2()) {
        bool found = false;
        p = next_wide_candidate(p, end, found);
        if (found) {
            return p;
        }
    }
#endif
#ifdef TARNWICK_HAS_SSE2
    for (; end - p >= 17; p += 16) {
        if (const unsigned found = candidates_at(p); found != 0) {
            return p + std::countr_zero(found);
        }
    }
#endif
    for (; end - p >= 2; ++p) {
        if (is_candidate(p[0], p[1])) {
            return p;
        }
    }
    return end;
}
