#include "engine/text/reference_candidates.h"

#include <gtest/gtest.h>
#include <string>

// Every pair in either letter case is found wherever it falls in a 64-byte block, the first
// one after a given place, and a pair whose second byte is not in the run is not.
TEST(ReferenceCandidates, EveryPairInEitherCaseWhereverItFalls)
{
    for (const std::string pair : {".o", ".O", "il", "IL", "Il", "ap", "aP", "AP", "mR", "MR", "mr", "pt", "PT"}) {
        for (std::size_t pad = 0; pad < 70; ++pad) {
            const std::string run = std::string(pad, 'x') + pair + "x " + pair + std::string(pad % 5, '\n');
            const char* begin = run.data();
            const char* end = begin + run.size();
            EXPECT_EQ(next_reference_candidate(begin, end) - begin, static_cast<long>(pad)) << pair << " " << pad;
            EXPECT_EQ(next_reference_candidate(begin + pad + 1, end) - begin, static_cast<long>(pad + 4)) << pair;
            EXPECT_EQ(next_reference_candidate(begin, begin + pad + 1), begin + pad + 1) << pair;
        }
    }
    // Bytes that fold onto no letter of a pair, and the dot that 0x0e would fold onto.
    const std::string none = std::string(50, 'k') + "\x0eo .b o. i l a\np m\rr p-t 0.5 " + std::string(50, '\t');
    EXPECT_EQ(next_reference_candidate(none.data(), none.data() + none.size()), none.data() + none.size());
}

// Every pair of bytes, where the 32-byte, the 16-byte and the byte-at-a-time searches each
// look at it, against the rule said plainly; 'k' begins and ends no pair.
TEST(ReferenceCandidates, EveryPairOfBytesAgainstTheRule)
{
    auto lower = [](int c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const std::string folded{static_cast<char>(lower(a)), static_cast<char>(lower(b))};
            const bool wanted = (a == '.' && folded[1] == 'o') || folded == "il" || folded == "ap" || folded == "mr" || folded == "pt";
            for (const std::size_t at : {5, 70, 85}) {
                std::string run(90, 'k');
                run[at] = static_cast<char>(a);
                run[at + 1] = static_cast<char>(b);
                const char* found = next_reference_candidate(run.data(), run.data() + run.size());
                ASSERT_EQ(found - run.data(), static_cast<long>(wanted ? at : run.size())) << a << " " << b << " at " << at;
            }
        }
    }
}
