#include "app/transcript.h"

#include "tests/test_support.h"

namespace {

TEST(ScriptedAnswers, TakenInOrderThenNoAndCancelAndRecordedOnOneLineEach)
{
    TempDir dir;
    const std::string there = dir.at("there.obj");
    write_bytes(there, "");
    ScriptedPrompts answers({"yes", "Yes", there, dir.at("absent.obj"), dir.path(), there + '\0' + "junk", "cancel",
                             dir.at("new.txt"), there});
    YesToQuestions yes(answers);
    TranscriptPrompts wn(answers);
    ASSERT_TRUE(wn.append_to(dir.at("t.txt")));
    std::string f = "initial";
    EXPECT_TRUE(wn.question(Owner::none, "b", "c"));
    EXPECT_FALSE(wn.question(Owner::none, "b", "c"));
    EXPECT_EQ(wn.GetFileName(Owner::main, f, "d", "t", filterOBJ, ChooserMode::open), 1);
    // open mode: a missing file, a folder or a name cut short by a NUL is no choice
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(wn.GetFileName(Owner::main, f, "d", "t", filterOBJ, ChooserMode::open), 0);
    }
    EXPECT_EQ(wn.GetFileName(Owner::none, f, "d", "t", filterall, ChooserMode::save), 0);
    EXPECT_EQ(f, there);
    EXPECT_EQ(wn.GetFileName(Owner::main, f, "d", "t", filterCR2etc, ChooserMode::save), 1);
    EXPECT_EQ(f, dir.at("new.txt"));
    // --yes: questions take no line, which the choosers get
    EXPECT_TRUE(yes.question(Owner::none, "b", "c"));
    EXPECT_EQ(yes.GetFileName(Owner::main, f, "", "t", filterOBJ, ChooserMode::open), 1);
    EXPECT_FALSE(wn.question(Owner::none, "b", "c"));
    EXPECT_EQ(wn.GetFileName(Owner::main, f, "d", "t", filterOBJ, ChooserMode::open), 0);
    wn.SetTitle("a\tb\nc\rd");
    wn.warning(Owner::main, "takes", "no line");
    EXPECT_EQ(wn.lines().size(), 12u);
    EXPECT_EQ(wn.lines()[2], "open\tmain\tt\tinitial\td\tOBJ mesh geometry files\t" + there);
    EXPECT_EQ(wn.lines()[6], "save\tnone\tt\t" + there + "\td\tall files\tcancel");
    EXPECT_EQ(wn.lines()[7], "save\tmain\tt\t" + there + "\td\tfiles to be checked\t" + dir.at("new.txt"));
    EXPECT_EQ(wn.lines()[10], "title\ta\\tb\\nc\\rd");
    EXPECT_EQ(read_bytes(dir.at("t.txt")).substr(read_bytes(dir.at("t.txt")).find("title")),
              "title\ta\\tb\\nc\\rd\nwarning\tmain\tno line\ttakes\n");
}

}  // namespace
