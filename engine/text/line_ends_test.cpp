#include "engine/text/line_ends.h"

#include <gtest/gtest.h>
#include <string>

// The count goes 32, 16 and 1 bytes at a time: each case is counted at every place of a
// 64-byte block, whole and cut in two anywhere, and the two parts add up to the whole.
TEST(LineEnds, LineFeedsAndLoneCarriageReturnsCountedOnceWhereverTheyFall)
{
    const std::pair<std::string, std::size_t> cases[] = {
        {"", 0}, {"a", 0}, {"\n", 1}, {"\r", 1}, {"\r\n", 1}, {"\n\r", 2}, {"\r\r\n", 2},
        {"a\rb\nc\r\nd", 3}, {std::string(600, '\n'), 600}, {std::string(300, '\r') + "\n", 300},
    };
    for (const auto& [text, ends] : cases) {
        for (std::size_t pad = 0; pad < 64; ++pad) {
            const std::string run = std::string(pad, 'x') + text + std::string(40, 'y');
            const char* begin = run.data();
            const char* end = begin + run.size();
            EXPECT_EQ(count_line_ends(begin, end, end), ends) << pad << " " << text.size();
            for (std::size_t cut = 0; cut <= run.size(); cut += 7) {
                EXPECT_EQ(count_line_ends(begin, begin + cut, end) + count_line_ends(begin + cut, end, end), ends);
            }
        }
    }
    // A carriage return that ends the run stands alone: the run never ends between it and a line feed.
    const std::string run = std::string(40, 'x') + "\r";
    EXPECT_EQ(count_line_ends(run.data(), run.data() + run.size(), run.data() + run.size()), 1u);
}
