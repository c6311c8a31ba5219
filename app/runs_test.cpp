#include "app/runs.h"

#include "engine/correction.h"
#include "engine/engine_state.h"
#include "tests/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

const std::string k_see_log = "do you want to see my log for this run?";

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

    std::string log_path() const { return dir.at("start/__result_of_run.txt"); }
    std::string closing(const std::string& answer) const
    {
        return "question\tnone\t" + k_see_log + "\t" + log_path() + "\t" + answer;
    }

    TempDir dir;
    std::vector<std::string> shown_logs;
};

TEST_F(Runs, ReplacementsSurviveFromOneRunToTheNext)
{
    const std::string a = dir.at("lib/a.cr2");
    const std::string b = dir.at("lib/b.cr2");
    write_bytes(a, "figureResFile :geom:gone.obj\n");
    write_bytes(b, "figureResFile :geom:gone.obj\n");
    ScriptedSession first({dir.at("Poser/geom/new.obj"), "yes"});
    handle_drop({a}, first.wn);
    EXPECT_EQ(first.transcript().size(), 3u);
    EXPECT_EQ(shown_logs, (std::vector<std::string>{log_path()}));
    EXPECT_EQ(file, "__result_of_run.txt");

    ScriptedSession second({"no"});
    handle_drop({b}, second.wn);
    EXPECT_EQ(second.transcript(), (std::vector<std::string>{"title\t" + b, closing("no")}));
    EXPECT_EQ(read_bytes(b), "figureResFile :geom:new.obj\r\n");
    EXPECT_EQ(read_bytes(log_path()), "file " + b + " being corrected: old version is on\r\n     " +
                                          dir.at("lib/b_zz00.cr2") + "\r\n      pointer to " +
                                          dir.at("Poser/geom/gone.obj") + " replaced by\r\n      pointer to " +
                                          dir.at("Poser/geom/new.obj") + "\r\n");
    EXPECT_EQ(shown_logs.size(), 1u);
}

TEST_F(Runs, CheckedFileThatNeedsNothingLogsNoAlterations)
{
    const std::string a = dir.at("lib/a.pz3");
    write_bytes(a, "figureResFile :geom:ball.obj\n");
    ScriptedSession s({a, "no"});
    menu_command(k_check_file, s.wn);
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{
                                  "open\tmain\tfile to check?\t\t" + dir.at("Poser") + "\tfiles to be checked\t" + a,
                                  "title\t" + a,
                                  closing("no"),
                              }));
    EXPECT_EQ(read_bytes(log_path()), "no alterations\r\n");
    // the next chooser proposes the log's name
    ScriptedSession next({"cancel"});
    menu_command(k_check_file, next.wn);
    EXPECT_EQ(next.transcript().front(),
              "open\tmain\tfile to check?\t__result_of_run.txt\t" + dir.at("Poser") + "\tfiles to be checked\tcancel");
}

TEST_F(Runs, FolderRunWithoutPoserFilesLeavesAnEmptyLog)
{
    write_bytes(dir.at("empty/readme.txt"), "");
    ScriptedSession s({"yes"});
    handle_drop({dir.at("empty")}, s.wn);
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{
                                  "information\tnone\tsearchdir finished, my log is on this file\t" + log_path(),
                                  closing("yes"),
                              }));
    EXPECT_EQ(read_bytes(log_path()), "");
    EXPECT_EQ(shown_logs, (std::vector<std::string>{log_path()}));
}

TEST_F(Runs, CancelledChoosersChangeNothing)
{
    file = "previous";
    ScriptedSession s({"cancel", "cancel"});
    menu_command(k_check_file, s.wn);
    menu_command(k_check_folder, s.wn);
    EXPECT_EQ(file, "previous");
    EXPECT_FALSE(exists(log_path()));
    EXPECT_EQ(s.transcript().back(), "save\tmain\tfind any file in the folder to be checked\tprevious\t" +
                                         dir.at("Poser") + "\tall files\tcancel");
}

TEST_F(Runs, CheckFolderTakesTheFolderOfTheNamedFile)
{
    write_bytes(dir.at("lib/sub/a.cr2"), "nothing\n");
    // a name that does not exist, in the folder to check
    ScriptedSession s({dir.at("lib/not-there.txt"), "yes", "no"});
    menu_command(k_check_folder, s.wn);
    EXPECT_EQ(s.transcript()[1], "title\t" + dir.at("lib/sub/a.cr2"));
    EXPECT_EQ(s.transcript()[2], "question\tnone\tsearchdir finished for this folder: shall I continue?\t" +
                                     dir.at("lib/sub") + "\tyes");
    // the folder itself is used as it is
    ScriptedSession folder({dir.at("lib/sub"), "yes", "no"});
    menu_command(k_check_folder, folder.wn);
    EXPECT_EQ(folder.transcript()[1], "title\t" + dir.at("lib/sub/a.cr2"));
    // a bare name names no folder
    ScriptedSession bare({"nofolder.txt"});
    menu_command(k_check_folder, bare.wn);
    EXPECT_EQ(bare.transcript(), (std::vector<std::string>{
                                     "save\tmain\tfind any file in the folder to be checked\t__result_of_run.txt\t" +
                                         dir.at("Poser") + "\tall files\tnofolder.txt",
                                     "warning\tnone\tthis is not a valid filename\tnofolder.txt",
                                 }));
}

TEST_F(Runs, DropRules)
{
    write_bytes(dir.at("lib/h.hr2"), "plain\n");
    write_bytes(dir.at("lib/t.txt"), "");
    ScriptedSession s({"no"});
    handle_drop({dir.at("lib/h.hr2"), dir.at("lib/t.txt")}, s.wn);
    handle_drop({dir.at("lib/t.txt")}, s.wn);
    handle_drop({dir.at("lib/h.hr2")}, s.wn);
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{
                                  "warning\tmain\tdrag-and-drop\tone file at a time please",
                                  "warning\tnone\tI can't handle this sort of file\t" + dir.at("lib/t.txt"),
                                  "title\t" + dir.at("lib/h.hr2"),
                                  closing("no"),
                              }));
}

TEST_F(Runs, HelpAndExit)
{
    create_repllist();
    ScriptedSession s;
    EXPECT_EQ(menu_command(k_help, s.wn), AfterCommand::go_on);
    EXPECT_EQ(menu_command(300, s.wn), AfterCommand::go_on);
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{"information\tnone\t\tFor information, read the file "
                                                        "tarnwick_readme.txt that came with this application."}));
    EXPECT_EQ(menu_command(k_exit, s.wn), AfterCommand::close_main_window);
    EXPECT_FALSE(repllist);
}

// Answers every question after trying to start other work, as a user clicking the menu
// while a message box without owner is open would.
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
    Impatient answers(std::vector<std::string>{"yes", "no"});
    TranscriptPrompts wn(answers);
    answers.outer = &wn;
    answers.drop = dir.at("lib/a.cr2");
    handle_drop({dir.at("lib")}, wn);
    EXPECT_EQ(wn.lines(), (std::vector<std::string>{
                              "title\t" + dir.at("lib/a.cr2"),
                              "question\tnone\tsearchdir finished for this folder: shall I continue?\t" + dir.at("lib") +
                                  "\tyes",
                              "information\tnone\tsearchdir finished, my log is on this file\t" + log_path(),
                              closing("no"),
                          }));
    EXPECT_TRUE(repllist);
    EXPECT_FALSE(run_in_progress());
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
