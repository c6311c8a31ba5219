// The closing line of a collect: what was collected, and what is missing only when something is.
#include "app/collect_command.h"

#include <gtest/gtest.h>

TEST(CollectCommand, TheSummaryCountsWhatIsMissingOnlyWhenSomethingIs)
{
    const auto summary = [](std::size_t missing, std::size_t unreadable, std::size_t left_out) {
        CollectOutcome o;
        o.files = 3;
        o.missing.resize(missing);
        o.unreadable.resize(unreadable);
        o.left_out.resize(left_out);
        return collect_summary(o, "/a.zip");
    };
    const std::string collected = "3 files collected into /a.zip, 0 references renamed";
    EXPECT_EQ(summary(0, 0, 0), collected);
    EXPECT_EQ(summary(1, 0, 0), collected + "; 1 reference missing, 0 documents unreadable, named in collect.txt");
    EXPECT_EQ(summary(0, 2, 0), collected + "; 0 references missing, 2 documents unreadable, named in collect.txt");
    EXPECT_EQ(summary(0, 0, 1), collected + "; 0 references missing, 0 documents unreadable, 1 file left out, named in collect.txt");
}
