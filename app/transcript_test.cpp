#include "app/transcript.h"

#include "tests/test_support.h"

#include <gtest/gtest.h>

namespace {

TEST(ScriptedAnswers, TakenInOrderThenNoAndCancel)
{
    TempDir dir;
    const std::string there = dir.at("there.obj");
    write_bytes(there, "");
    ScriptedSession s({"yes", "Yes", there, dir.at("absent.obj"), dir.path(), "cancel", dir.at("new.txt")});
    std::string f = "initial";
    EXPECT_TRUE(s.wn.question(Owner::none, "b", "c"));
    EXPECT_FALSE(s.wn.question(Owner::none, "b", "c"));
    s.wn.warning(Owner::main, "takes", "no line");
    EXPECT_EQ(s.wn.GetFileName(Owner::main, f, "d", "t", filterOBJ, ChooserMode::open), 1);
    EXPECT_EQ(f, there);
    // open mode: a missing file or a folder is no choice
    EXPECT_EQ(s.wn.GetFileName(Owner::main, f, "d", "t", filterOBJ, ChooserMode::open), 0);
    EXPECT_EQ(s.wn.GetFileName(Owner::main, f, "d", "t", filterOBJ, ChooserMode::open), 0);
    EXPECT_EQ(s.wn.GetFileName(Owner::none, f, "d", "t", filterall, ChooserMode::save), 0);
    EXPECT_EQ(f, there);
    // save mode: any name
    EXPECT_EQ(s.wn.GetFileName(Owner::main, f, "d", "t", filterCR2etc, ChooserMode::save), 1);
    EXPECT_EQ(f, dir.at("new.txt"));
    // exhausted
    EXPECT_FALSE(s.wn.question(Owner::none, "b", "c"));
    EXPECT_EQ(s.wn.GetFileName(Owner::main, f, "d", "t", filterOBJ, ChooserMode::open), 0);
    EXPECT_EQ(s.transcript().size(), 10u);
    EXPECT_EQ(s.transcript()[2], "warning\tmain\tno line\ttakes");
    EXPECT_EQ(s.transcript()[3], "open\tmain\tt\tinitial\td\tOBJ mesh geometry files\t" + there);
    EXPECT_EQ(s.transcript()[6], "save\tnone\tt\t" + there + "\td\tall files\tcancel");
    EXPECT_EQ(s.transcript()[7], "save\tmain\tt\t" + there + "\td\tfiles to be checked\t" + dir.at("new.txt"));
}

TEST(ScriptedAnswers, APathWithANulByteNamesNoFile)
{
    TempDir dir;
    write_bytes(dir.at("there.obj"), "");
    ScriptedSession s({dir.at("there.obj") + std::string(1, '\0') + "junk"});
    std::string f = "initial";
    EXPECT_EQ(s.wn.GetFileName(Owner::main, f, "d", "t", filterOBJ, ChooserMode::open), 0);
    EXPECT_EQ(f, "initial");
}

TEST(Transcript, FieldsStayOnOneLineAndAreAppendedToAFile)
{
    TempDir dir;
    ScriptedPrompts answers(std::vector<std::string>{});
    TranscriptPrompts wn(answers);
    ASSERT_TRUE(wn.append_to(dir.at("t.txt")));
    wn.SetTitle("a\tb\nc\rd");
    wn.information(Owner::none, "body", "");
    EXPECT_EQ(wn.lines(), (std::vector<std::string>{"title\ta\\tb\\nc\\rd", "information\tnone\t\tbody"}));
    EXPECT_EQ(read_bytes(dir.at("t.txt")), "title\ta\\tb\\nc\\rd\ninformation\tnone\t\tbody\n");
}

TEST(YesToQuestions, AnswersYesAndLeavesTheLinesToTheChoosers)
{
    TempDir dir;
    write_bytes(dir.at("a.obj"), "");
    ScriptedPrompts answers(std::vector<std::string>{dir.at("a.obj")});
    YesToQuestions yes(answers);
    TranscriptPrompts wn(yes);
    std::string f;
    EXPECT_TRUE(wn.question(Owner::none, "b", "c"));
    EXPECT_EQ(wn.GetFileName(Owner::main, f, "", "t", filterOBJ, ChooserMode::open), 1);
    EXPECT_EQ(f, dir.at("a.obj"));
}

}  // namespace
