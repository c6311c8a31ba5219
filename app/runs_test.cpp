#include "app/runs.h"

#include "engine/correction.h"
#include "engine/engine_state.h"
#include "engine/run_stop.h"
#include "tests/test_support.h"

#include <filesystem>

namespace {

using Lines = std::vector<std::string>;

class Runs : public testing::Test {
protected:
    void SetUp() override
    {
        reset_engine(dir.at("Poser"));
        rootdir = dir.at("start");
        std::filesystem::create_directories(rootdir);
        file.clear();
        write_bytes(dir.at("Poser/geom/new.obj"), "");
        write_bytes(dir.at("Poser/geom/ball.obj"), "");
        set_log_viewer([this](const std::string& path) { shown_logs.push_back(path); });
    }
    void TearDown() override
    {
        set_log_viewer(nullptr);
        reset_engine("");
    }

    std::string log() const { return dir.at("start/__result_of_run.txt"); }
    std::string closing(const std::string& answer) const
    {
        return "question\tnone\tdo you want to see my log for this run?\t" + log() + "\t" + answer;
    }
    std::string finished() const { return "information\tnone\tsearchdir finished, my log is on this file\t" + log(); }

    TempDir dir;
    Lines shown_logs;
};

TEST_F(Runs, ReplacementsAreKeptFromOneRunToTheNext)
{
    const std::string a = dir.at("lib/a.cr2");
    const std::string b = dir.at("lib/b.cr2");
    write_bytes(a, "figureResFile :geom:gone.obj\n");
    write_bytes(b, "figureResFile :geom:gone.obj\n");
    ScriptedSession first({dir.at("Poser/geom/new.obj"), "yes"});
    handle_drop({a}, first.wn);
    EXPECT_EQ(first.transcript().back(), closing("yes"));
    EXPECT_EQ(shown_logs, Lines{log()});
    EXPECT_EQ(file, "__result_of_run.txt");
    // the pick serves later runs without a question, even once its file is gone
    fsys::remove_file(dir.at("Poser/geom/new.obj"));
    ScriptedSession second({"no"});
    handle_drop({b}, second.wn);
    EXPECT_EQ(second.transcript(), (Lines{"title\t" + b, closing("no")}));
    EXPECT_EQ(read_bytes(b), "figureResFile :geom:new.obj\r\n");
    EXPECT_EQ(read_bytes(log()), correcting_lines(b, dir.at("lib/b_zz00.cr2")) +
                                     replaced_lines(dir.at("Poser/geom/gone.obj"), dir.at("Poser/geom/new.obj")));
    EXPECT_EQ(shown_logs.size(), 1u);
}

TEST_F(Runs, ACheckedFileThatNeedsNothingLogsNoAlterations)
{
    const std::string a = dir.at("lib/a.pz3");
    write_bytes(a, "figureResFile :geom:ball.obj\n");
    file = "previous";
    ScriptedSession s({"cancel", "cancel", a, "no", "cancel"});
    menu_command(k_check_file, s.wn);
    menu_command(k_check_folder, s.wn);
    EXPECT_FALSE(exists(log()));
    menu_command(k_check_file, s.wn);
    menu_command(k_check_file, s.wn);
    const std::string poser = "\t" + dir.at("Poser") + "\t";
    EXPECT_EQ(s.transcript(), (Lines{"open\tmain\tfile to check?\tprevious" + poser + "files to be checked\tcancel",
                                     "save\tmain\tfind any file in the folder to be checked\tprevious" + poser + "all files\tcancel",
                                     "open\tmain\tfile to check?\tprevious" + poser + "files to be checked\t" + a, "title\t" + a,
                                     closing("no"),
                                     "open\tmain\tfile to check?\t__result_of_run.txt" + poser + "files to be checked\tcancel"}));
    EXPECT_EQ(read_bytes(log()), "no alterations\r\n");
}

TEST_F(Runs, AFolderIsNamedByAnyFileInItOrByItself)
{
    const std::string a = dir.at("lib/sub/a.cr2");
    write_bytes(a, "nothing\n");
    ScriptedSession s({dir.at("lib/sub/not-there.txt"), "yes", "no", dir.at("lib/sub"), "no", "yes", "nofolder.txt"});
    for (int k = 0; k < 3; ++k) {
        menu_command(k_check_folder, s.wn);
    }
    const std::string save = "save\tmain\tfind any file in the folder to be checked\t";
    const std::string rest = "\t" + dir.at("Poser") + "\tall files\t";
    const std::string walked = "question\tnone\tsearchdir finished for this folder: shall I continue?\t" + dir.at("lib/sub");
    EXPECT_EQ(s.transcript(), (Lines{save + rest + dir.at("lib/sub/not-there.txt"), "title\t" + a, walked + "\tyes",
                                     finished(), closing("no"), save + "__result_of_run.txt" + rest + dir.at("lib/sub"),
                                     "title\t" + a, walked + "\tno", finished(), closing("yes"),
                                     save + "__result_of_run.txt" + rest + "nofolder.txt",
                                     "warning\tnone\tthis is not a valid filename\tnofolder.txt"}));
    EXPECT_EQ(read_bytes(log()), "");
    EXPECT_EQ(shown_logs, Lines{log()});
}

TEST_F(Runs, DropsHelpAndExit)
{
    write_bytes(dir.at("lib/h.hr2"), "plain\n");
    write_bytes(dir.at("lib/t.txt"), "");
    create_repllist();
    ScriptedSession s({"no"});
    handle_drop({dir.at("lib/h.hr2"), dir.at("lib/t.txt")}, s.wn);
    handle_drop({dir.at("lib/t.txt")}, s.wn);
    handle_drop({dir.at("lib/h.hr2")}, s.wn);
    EXPECT_EQ(menu_command(k_help, s.wn), AfterCommand::go_on);
    EXPECT_EQ(menu_command(300, s.wn), AfterCommand::go_on);
    EXPECT_EQ(s.transcript(), (Lines{"warning\tmain\tdrag-and-drop\tone file at a time please",
                                     "warning\tnone\tI can't handle this sort of file\t" + dir.at("lib/t.txt"),
                                     "title\t" + dir.at("lib/h.hr2"), closing("no"),
                                     "information\tnone\t\tFor information, read the file tarnwick_readme.txt that came with "
                                     "this application."}));
    EXPECT_TRUE(repllist);
    EXPECT_EQ(menu_command(k_exit, s.wn), AfterCommand::close_main_window);
    EXPECT_FALSE(repllist);
}

// Tries to start other work before it answers, as a user clicking the menu while a message
// box without owner is open would.
class Impatient : public ScriptedPrompts {
public:
    using ScriptedPrompts::ScriptedPrompts;
    Prompts* outer = nullptr;
    std::string drop;

protected:
    bool ask_question(Owner owner, std::string_view body, std::string_view caption) override
    {
        EXPECT_TRUE(run_in_progress());
        EXPECT_EQ(menu_command(k_exit, *outer), AfterCommand::go_on);
        menu_command(k_check_file, *outer);
        handle_drop({drop}, *outer);
        return ScriptedPrompts::ask_question(owner, body, caption);
    }
};

TEST_F(Runs, NothingStartsWhileARunIsInProgress)
{
    write_bytes(dir.at("lib/a.cr2"), "x\n");
    Impatient answers(Lines{"yes", "no"});
    TranscriptPrompts wn(answers);
    answers.outer = &wn;
    answers.drop = dir.at("lib/a.cr2");
    handle_drop({dir.at("lib")}, wn);
    EXPECT_EQ(wn.lines(), (Lines{"title\t" + dir.at("lib/a.cr2"),
                                 "question\tnone\tsearchdir finished for this folder: shall I continue?\t" + dir.at("lib") + "\tyes",
                                 finished(), closing("no")}));
    EXPECT_TRUE(repllist);
    EXPECT_FALSE(run_in_progress());
}

TEST_F(Runs, AStopEndsTheRunBeforeItsNextFileAndAsksNothing)
{
    const std::string a = dir.at("lib/a.cr2");
    write_bytes(a, "prop 0 0 geom:ball.obj\n");
    run_stop::request();
    ScriptedSession s({"yes", "yes"});
    handle_drop({dir.at("lib")}, s.wn);
    handle_drop({a}, s.wn);
    EXPECT_EQ(s.transcript(), Lines{"title\t" + a});
    EXPECT_EQ(read_bytes(a), "prop 0 0 geom:ball.obj\n");
}

TEST_F(Runs, ALogThatCannotBeCreatedIsSkipped)
{
    rootdir = dir.at("no/such/folder");
    const std::string a = dir.at("lib/a.cr2");
    write_bytes(a, "prop 0 0 geom:ball.obj\n");
    ScriptedSession s({"no"});
    handle_drop({a}, s.wn);
    EXPECT_EQ(read_bytes(a), "prop 0 0 :geom:ball.obj\r\n");
    EXPECT_FALSE(exists(dir.at("no")));
}

}  // namespace
