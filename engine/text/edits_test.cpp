#include "engine/text/edits.h"

#include <gtest/gtest.h>

// Edits applied to a text handed over in pieces of every size give the text applied whole: replaced bytes may span
// pieces, an edit may stand at the very start or end, replace nothing or everything.
TEST(Edits, AppliedPieceByPieceAsWhole)
{
    const std::string text = "figureResFile :a:b.obj\r\nprop x\r\n";
    struct Case {
        std::vector<Edit> edits;
        std::string expected;
    } cases[] = {
        {{}, text},
        {{{14, ":a:b.obj", ":Runtime:c.obj"}}, "figureResFile :Runtime:c.obj\r\nprop x\r\n"},
        {{{0, "", ">"}, {32, "", "<"}}, ">" + text + "<"},
        {{{0, "figureResFile", "F"}, {29, "x", "y"}}, "F :a:b.obj\r\nprop y\r\n"},
        {{{0, text, ""}}, ""},
        {{{5, "", "+"}, {5, "eRe", "-"}}, "figur+-sFile :a:b.obj\r\nprop x\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(apply_edits(text, c.edits), c.expected);
        for (std::size_t piece = 1; piece <= text.size(); ++piece) {
            std::string out;
            EditApplier applier(c.edits, [&out](std::string_view b) {
                out.append(b);
                return true;
            });
            for (std::size_t at = 0; at < text.size(); at += piece) {
                ASSERT_TRUE(applier.feed(std::string_view(text).substr(at, piece)));
            }
            EXPECT_TRUE(applier.finish());
            EXPECT_EQ(out, c.expected) << "pieces of " << piece;
        }
    }
    // An edit past the end of the text, one whose bytes are not there (in any piece), and an output that refuses its
    // bytes, fail.
    const std::vector<Edit> past{{40, "x", "y"}};
    EditApplier beyond(past, [](std::string_view) { return true; });
    EXPECT_TRUE(beyond.feed(text));
    EXPECT_FALSE(beyond.finish());
    const std::vector<Edit> none;
    EditApplier refused(none, [](std::string_view) { return false; });
    EXPECT_FALSE(refused.feed(text) || refused.finish() || !refused.failed());
    const std::vector<Edit> stale{{14, ":a:b.obk", ":c.obj"}};
    for (std::size_t piece : {std::size_t{1}, std::size_t{20}, text.size()}) {
        EditApplier applier(stale, [](std::string_view) { return true; });
        bool fed = true;
        for (std::size_t at = 0; at < text.size() && fed; at += piece) {
            fed = applier.feed(std::string_view(text).substr(at, piece));
        }
        EXPECT_FALSE(fed || applier.finish());
        EXPECT_TRUE(applier.mismatched()) << "pieces of " << piece;
    }
    bool applied = true;
    apply_edits(text, stale, &applied);
    EXPECT_FALSE(applied);
}
