#include "app/runs.h"

#include "tests/test_support.h"

class Runs : public SessionTest {
protected:
    std::string closing(const std::string& answer) const
    {
        return "question\tnone\tdo you want to see my log for this run?\t" + log + "\t" + answer;
    }

    const std::string a = dir.at("lib/a.cr2");
};

TEST_F(Runs, ChecksOfAFileAndOfAFolderWithTheirLogs)
{
    write_bytes(a, "figureResFile :geom:gone.obj\n");
    ScriptedSession s({"cancel", "cancel", a, dir.at("Poser/geom/new.obj"), "yes", dir.at("lib/sub/not-there.txt"), "yes", "no",
                       "nofolder.txt"});
    for (int command : {k_check_file, k_check_folder, k_check_file}) {
        menu_command(session, command, s.wn);
    }
    EXPECT_EQ(session.file, "__result_of_run.txt");  // the next chooser proposes the log
    EXPECT_EQ(shown_logs, Lines{log});
    EXPECT_EQ(read_bytes(log), correcting_lines(a, dir.at("lib/a_zz00.cr2")) +
                                   replaced_lines(dir.at("Poser/geom/gone.obj"), dir.at("Poser/geom/new.obj")));
    // a folder named by a file in it; the pick is kept for later runs
    const std::string b = dir.at("lib/sub/b.cr2");
    write_bytes(b, "figureResFile :geom:gone.obj\n");
    menu_command(session, k_check_folder, s.wn);
    EXPECT_EQ(read_bytes(b), "figureResFile :geom:new.obj\r\n");
    menu_command(session, k_check_folder, s.wn);
    const std::string root = "\t" + dir.at("Poser") + "\t", save = "save\tmain\tfind any file in the folder to be checked\t";
    EXPECT_EQ(s.transcript(), (Lines{"open\tmain\tfile to check?\t" + root + "files to be checked\tcancel",
                                     save + root + "all files\tcancel",
                                     "open\tmain\tfile to check?\t" + root + "files to be checked\t" + a, "title\t" + a,
                                     chooser_line(dir.at("Poser/geom/gone.obj"), dir.at("Poser/geom/new.obj")), closing("yes"),
                                     save + "__result_of_run.txt" + root + "all files\t" + dir.at("lib/sub/not-there.txt"),
                                     "title\t" + b, continue_line(dir.at("lib/sub"), "yes"),
                                     "information\tnone\tsearchdir finished, my log is on this file\t" + log, closing("no"),
                                     save + "__result_of_run.txt" + root + "all files\tnofolder.txt",
                                     "warning\tnone\tthis is not a valid filename\tnofolder.txt"}));
}

// Starts other work before it answers, as a user clicking the menu under a box without owner: none may start.
struct Impatient : ScriptedPrompts {
    using ScriptedPrompts::ScriptedPrompts;
    Prompts* outer = nullptr;
    Session* session = nullptr;

    bool ask_question(Owner owner, std::string_view body, std::string_view caption) override
    {
        EXPECT_EQ(menu_command(*session, k_exit, *outer), AfterCommand::go_on);
        menu_command(*session, k_check_file, *outer);
        handle_drop(*session, {std::string(body)}, *outer);
        return ScriptedPrompts::ask_question(owner, body, caption);
    }
};

TEST_F(Runs, DropsHelpExitAndAStop)
{
    write_bytes(dir.at("lib/h.hr2"), "plain\n");
    session.rootdir = dir.at("no/such/folder");  // a log that cannot be created is skipped
    Impatient answers(Lines{"yes", "no"});
    TranscriptPrompts wn(answers);
    answers.outer = &wn;
    answers.session = &session;
    handle_drop(session, {dir.at("lib/h.hr2"), a}, wn);
    handle_drop(session, {dir.at("lib/t.txt")}, wn);
    handle_drop(session, {dir.at("lib")}, wn);
    EXPECT_EQ(menu_command(session, k_help, wn), AfterCommand::go_on);
    EXPECT_EQ(menu_command(session, 300, wn), AfterCommand::go_on);
    const std::string lost_log = dir.at("no/such/folder/__result_of_run.txt");
    EXPECT_EQ(wn.lines(), (Lines{"warning\tmain\tdrag-and-drop\tone file at a time please",
                                 "warning\tnone\tI can't handle this sort of file\t" + dir.at("lib/t.txt"),
                                 "title\t" + dir.at("lib/h.hr2"), continue_line(dir.at("lib"), "yes"),
                                 "information\tnone\tsearchdir finished, my log is on this file\t" + lost_log,
                                 "question\tnone\tdo you want to see my log for this run?\t" + lost_log + "\tno",
                                 "information\tnone\t\tFor information, read the file tarnwick_readme.txt that came with "
                                 "this application."}));
    EXPECT_FALSE(exists(dir.at("no")) || session.run_in_progress);
    // a stop ends a run before its next file, and nobody is asked anything
    write_bytes(a, "prop 0 0 geom:new.obj\n");
    run_stop::request();
    handle_drop(session, {dir.at("lib")}, wn);
    handle_drop(session, {a}, wn);
    EXPECT_EQ(wn.lines().size(), 8u);
    EXPECT_EQ(read_bytes(a), "prop 0 0 geom:new.obj\n");
    EXPECT_TRUE(run.repllist);
    EXPECT_EQ(menu_command(session, k_exit, wn), AfterCommand::close_main_window);
    EXPECT_FALSE(run.repllist);
}

// A link in the start folder under the log's name, to a file of the user's or to none: the
// run's log takes its place, in either mode, and what it led to stays as it was.
TEST(RunLog, NeverWrittenThroughALink)
{
    for (const auto& [extended, target] : {std::pair{false, "/home/u/notes.txt"}, {false, "/home/u/none.txt"},
                                           {true, "/home/u/notes.txt"}, {true, "/home/u/none.txt"}}) {
        fsys::MemoryFileSystem disk;
        disk.add_file(native("/home/u/notes.txt"), "mine");
        disk.add_file(native("/poser/geom/x.obj"), "");
        disk.add_file(native("/start/lib/a.cr2"), "prop 0 0 geom:x.obj\n");
        const std::string log = native("/start/__result_of_run.txt");
        disk.add_link(log, native(target));
        Session session(disk);
        start_engine(session.run, native("/poser"), extended);
        session.rootdir = native("/start");
        ScriptedSession s({"yes", "no"});
        handle_drop(session, {native("/start/lib")}, s.wn);
        EXPECT_TRUE(disk.bytes(native("/home/u/notes.txt")) == "mine" && !disk.entry_exists(native("/home/u/none.txt")));
        EXPECT_EQ(disk.bytes(log).rfind("file " + native("/start/lib/a.cr2") + " being corrected", 0), 0u) << target;
    }
}
