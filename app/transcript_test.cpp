#include "app/transcript.h"

#include "tests/test_support.h"

TEST(ScriptedAnswers, TakenInOrderThenNoAndCancelAndRecordedOnOneLineEach)
{
    TempDir dir;
    const std::string there = dir.at("there.obj");
    write_bytes(there, "");
    ScriptedPrompts answers({"yes", "Yes", dir.at("absent.obj"), dir.path(), there + '\0', "cancel", "new", there});
    YesToQuestions yes(answers);
    TranscriptPrompts wn(answers);
    ASSERT_TRUE(wn.append_to(dir.at("t.txt")));
    std::string f = "initial";
    EXPECT_TRUE(wn.question(Owner::none, "b", "c"));
    EXPECT_FALSE(wn.question(Owner::none, "b", "c"));
    // open mode: a missing file, a folder or a name cut short by a NUL is no choice
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(wn.GetFileName(Owner::main, f, "d", "t", filterOBJ, ChooserMode::open), 0);
    }
    EXPECT_EQ(wn.GetFileName(Owner::none, f, "d", "t", filterall, ChooserMode::save), 0);
    EXPECT_EQ(wn.GetFileName(Owner::main, f, "d", "t", filterCR2etc, ChooserMode::save), 1);
    EXPECT_EQ(f, "new");
    EXPECT_TRUE(yes.question(Owner::none, "b", "c"));  // takes no line, which the chooser gets
    EXPECT_EQ(yes.GetFileName(Owner::main, f, "", "t", filterOBJ, ChooserMode::open), 1);
    EXPECT_FALSE(wn.question(Owner::none, "b", "c"));
    wn.SetTitle("a\tb\nc\rd");
    const std::string no_choice = "open\tmain\tt\tinitial\td\tOBJ mesh geometry files\tcancel\n";  // each chooser of the loop
    EXPECT_EQ(read_bytes(dir.at("t.txt")), "question\tnone\tc\tb\tyes\nquestion\tnone\tc\tb\tno\n" + no_choice + no_choice + no_choice +
                                           "save\tnone\tt\tinitial\td\tall files\tcancel\n"
                                           "save\tmain\tt\tinitial\td\tfiles to be checked\tnew\n"
                                           "question\tnone\tc\tb\tno\ntitle\ta\\tb\\nc\\rd\n");
    EXPECT_EQ(wn.lines().size(), 9u);
}
