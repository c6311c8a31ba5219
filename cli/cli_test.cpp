#include "cli/cli.h"

#include "tests/test_support.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

TEST(CliArguments, OptionsAndActionsInOrder)
{
    CliOptions o;
    std::string error;
    ASSERT_TRUE(parse_cli({"--root", "/p/", "a.cr2", "--menu", "259", "--yes", "--answers=x", "--", "--menu"}, o, error));
    EXPECT_EQ(o.root, "/p/");
    EXPECT_TRUE(o.yes);
    EXPECT_EQ(o.answers, "x");
    ASSERT_EQ(o.actions.size(), 3u);
    EXPECT_EQ(o.actions[0].path, "a.cr2");
    EXPECT_TRUE(o.actions[1].is_menu);
    EXPECT_EQ(o.actions[1].menu, 259);
    EXPECT_EQ(o.actions[2].path, "--menu");
    EXPECT_EQ(root_without_trailing_separators("/p//"), "/p");
    EXPECT_EQ(root_without_trailing_separators("/"), "");

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--bogus"}, {"a", "--root"}, {"--menu", "x"}, {"--menu", "-1"}, {"--root="}}) {
        CliOptions b;
        EXPECT_FALSE(parse_cli(bad, b, error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
}

#ifndef _WIN32
struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs tarnwick-cli in `cwd` with `args` (shell words) and `input` as standard input.
Result run_cli_process(const TempDir& dir, const std::string& cwd, const std::string& args, const std::string& input = "")
{
    write_bytes(dir.at("stdin.txt"), input);
    const std::string command = "cd '" + cwd + "' && XDG_CONFIG_HOME='" + dir.at("config") + "' '" TARNWICK_CLI_PATH
                                "' " + args + " <'" + dir.at("stdin.txt") + "' >'" + dir.at("stdout.txt") + "' 2>'" +
                                dir.at("stderr.txt") + "'";
    int raw = std::system(command.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = read_bytes(dir.at("stdout.txt"));
    r.err = read_bytes(dir.at("stderr.txt"));
    return r;
}

class CliProcess : public testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(dir.at("start"));
        write_bytes(dir.at("Poser/Runtime/Geometries/man/man.obj"), "");
        write_bytes(dir.at("Poser/Runtime/Geometries/ball.obj"), "");
    }
    std::string start() const { return dir.at("start"); }

    TempDir dir;
};

TEST_F(CliProcess, UsageErrorsExitWithTwoBeforeAnythingRuns)
{
    Result none = run_cli_process(dir, start(), "");
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("usage: tarnwick-cli"), std::string::npos);
    Result bad = run_cli_process(dir, start(), "--root /x " + dir.at("a.cr2") + " --frobnicate");
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err, "tarnwick-cli: unknown option --frobnicate (see tarnwick-cli --help)\n");
    EXPECT_FALSE(exists(dir.at("start/__result_of_run.txt")));
    Result help = run_cli_process(dir, start(), "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--transcript FILE"), std::string::npos);
    EXPECT_EQ(run_cli_process(dir, start(), "--version").out, "tarnwick-cli 1.0.0\n");
}

TEST_F(CliProcess, RepairsATreeUnattended)
{
    const std::string lib = dir.at("Poser/Runtime/Libraries");
    write_bytes(lib + "/Character/man.cr2", "{\r\nfigureResFile :Runtime:Geometries:man:gone.obj\r\n}\r\n");
    write_bytes(lib + "/Props/ball.pp2", "prop 0 0 Runtime:Geometries:ball.obj\r\n");
    write_bytes(dir.at("picks.txt"), dir.at("Poser/Runtime/Geometries/man/man.obj") + "\n");
    Result r = run_cli_process(dir, start(),
                               "--root '" + dir.at("Poser") + "/' --yes --answers '" + dir.at("picks.txt") +
                                   "' --transcript '" + dir.at("t.txt") + "' '" + lib + "/Character' '" + lib + "/Props'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_bytes(lib + "/Character/man.cr2"), "{\r\nfigureResFile :Runtime:Geometries:man:man.obj\r\n}\r\n");
    EXPECT_EQ(read_bytes(lib + "/Character/man_zz00.cr2"), "{\r\nfigureResFile :Runtime:Geometries:man:gone.obj\r\n}\r\n");
    EXPECT_EQ(read_bytes(lib + "/Props/ball.pp2"), "prop 0 0 :Runtime:Geometries:ball.obj\r\n");
    const std::string log = dir.at("start/__result_of_run.txt");
    EXPECT_EQ(read_bytes(log), "file " + lib + "/Props/ball.pp2 being corrected: old version is on\r\n     " + lib +
                                   "/Props/ball_zz00.pp2\r\n");
    const std::string geom = dir.at("Poser/Runtime/Geometries/man");
    EXPECT_EQ(read_bytes(dir.at("t.txt")),
              "title\t" + lib + "/Character/man.cr2\n"
              "open\tmain\tfind the correct .OBJ file\t" + geom + "/gone.obj\t" + geom + "\tOBJ mesh geometry files\t" + geom + "/man.obj\n"
              "question\tnone\tsearchdir finished for this folder: shall I continue?\t" + lib + "/Character\tyes\n"
              "information\tnone\tsearchdir finished, my log is on this file\t" + log + "\n"
              "question\tnone\tdo you want to see my log for this run?\t" + log + "\tyes\n"
              "title\t" + lib + "/Props/ball.pp2\n"
              "question\tnone\tsearchdir finished for this folder: shall I continue?\t" + lib + "/Props\tyes\n"
              "information\tnone\tsearchdir finished, my log is on this file\t" + log + "\n"
              "question\tnone\tdo you want to see my log for this run?\t" + log + "\tyes\n");
    // each run's log is shown on standard output when asked for
    EXPECT_EQ(r.out, "file " + lib + "/Character/man.cr2 being corrected: old version is on\n     " + lib +
                         "/Character/man_zz00.cr2\n      pointer to " + geom + "/gone.obj replaced by\n      pointer to " +
                         geom + "/man.obj\n" + "file " + lib + "/Props/ball.pp2 being corrected: old version is on\n     " +
                         lib + "/Props/ball_zz00.pp2\n");
}

TEST_F(CliProcess, RootDialogueFromStandardInput)
{
    write_bytes(dir.at("Poser/any.txt"), "");
    write_bytes(dir.at("lib/a.cr2"), "figureResFile :Runtime:Geometries:ball.obj\n");
    // No, then the chosen file: the root is its folder and is saved
    Result r = run_cli_process(dir, start(), "--menu 257 '" + dir.at("lib/a.cr2") + "'",
                               "no\n" + dir.at("Poser/any.txt") + "\nno\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_bytes(dir.at("config/tarnwick/poserdirname.ini")), "[poserinfo]\nposeraddr=" + dir.at("Poser") + "\n");
    EXPECT_EQ(read_bytes(dir.at("start/__result_of_run.txt")), "no alterations\r\n");
    // a cancelled root dialogue ends with status 1 and handles nothing
    Result cancelled = run_cli_process(dir, start(), "'" + dir.at("lib/a.cr2") + "'", "no\ncancel\n");
    EXPECT_EQ(cancelled.status, 1);
    EXPECT_EQ(read_bytes(dir.at("config/tarnwick/poserdirname.ini")), "[poserinfo]\nposeraddr=" + dir.at("Poser") + "\n");
}

TEST_F(CliProcess, ExitStopsTheRemainingArguments)
{
    write_bytes(dir.at("lib/a.cr2"), "x\n");
    Result r = run_cli_process(dir, start(),
                               "--root '" + dir.at("Poser") + "' --transcript '" + dir.at("t.txt") + "' --menu 258 '" +
                                   dir.at("lib/a.cr2") + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(exists(dir.at("t.txt")) && read_bytes(dir.at("t.txt")) != "");
    EXPECT_FALSE(exists(dir.at("start/__result_of_run.txt")));
}
#endif

}  // namespace
