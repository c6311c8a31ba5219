#include "engine/text/edits.h"

#include <gtest/gtest.h>

// Edits applied to a text handed over in pieces of every size give the text applied whole: replaced bytes may span
// pieces, an edit may stand at the very start or end, replace nothing or everything.
TEST(Edits, AppliedPieceByPieceAsWhole)
{
    const std::string text = "figureResFile :a:b.obj\r\nprop x\r\n";
    // What the edits make of the text: "stale" when an edit's bytes are not at its place (in any piece), "past" when an
    // edit lies past the text's end.
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
        {{{14, ":a:b.obk", ":c.obj"}}, "stale"},
        {{{14, ":a:b.obj", ":c.obj"}, {24, "prop y", "q"}}, "stale"},
        {{{40, "x", "y"}}, "past"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        bool applied = false;
        const std::string whole = apply_edits(text, c.edits, &applied);
        EXPECT_EQ(applied ? whole : "failed", c.expected == "stale" || c.expected == "past" ? "failed" : c.expected);
        for (std::size_t piece = 1; piece <= text.size(); ++piece) {
            std::string out;
            EditApplier applier(c.edits, [&out](std::string_view b) {
                out.append(b);
                return true;
            });
            bool fed = true;
            for (std::size_t at = 0; at < text.size() && fed; at += piece) {
                fed = applier.feed(std::string_view(text).substr(at, piece));
            }
            EXPECT_EQ(fed && applier.finish() ? out : applier.mismatched() ? "stale" : "past", c.expected) << "pieces of " << piece;
        }
    }
    // An output that refuses its bytes fails.
    const std::vector<Edit> none;
    EditApplier refused(none, [](std::string_view) { return false; });
    EXPECT_FALSE(refused.feed(text) || refused.finish() || !refused.failed());
}
