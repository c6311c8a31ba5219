#include "engine/reference_candidates.h"

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
