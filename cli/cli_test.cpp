#include "cli/cli.h"

#include "tests/test_support.h"

#include <algorithm>
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
    Result no_root = run_cli_process(dir, start(), "--root '" + dir.at("nowhere") + "' '" + dir.at("a.cr2") + "'");
    EXPECT_EQ(no_root.status, 2);
    EXPECT_EQ(no_root.err, "tarnwick-cli: the Poser root " + dir.at("nowhere") + " is not a folder\n");
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

// Lines of a log or transcript, sorted: the walk visits folders in the order the system
// lists them, which differs between machines.
std::vector<std::string> sorted_lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t lf; (lf = text.find('\n', from)) != std::string::npos; from = lf + 1) {
        lines.push_back(text.substr(from, lf - from));
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST_F(CliProcess, RepairsTheSampleInstallation)
{
    std::filesystem::copy(TARNWICK_SAMPLE_DIR "/Poser", dir.at("sample"), std::filesystem::copy_options::recursive);
    const std::string lib = dir.at("sample/Runtime/Libraries");
    const std::string man = lib + "/Character/tarnwick/Man.cr2";
    const std::string original_man = read_bytes(man);
    const std::string fine = read_bytes(lib + "/Character/tarnwick/Man (fine).cr2");
    const std::string hidden = read_bytes(lib + "/.thumbnails/Man.cr2");
    const std::string hires = dir.at("sample/Runtime/Geometries/tarnwick/man/man_hires.obj");
    write_bytes(dir.at("picks.txt"), hires + "\n");
    Result r = run_cli_process(dir, start(), "--root '" + dir.at("sample") + "' --yes --answers '" + dir.at("picks.txt") +
                                                 "' --transcript '" + dir.at("t.txt") + "' '" + lib + "'");
    ASSERT_EQ(r.status, 0) << r.err;

    std::string expected_man = original_man;
    const std::string old_ref = "figureResFile :Runtime:Geometries:tarnwick:man:man_v1.obj";
    expected_man.replace(expected_man.find(old_ref), old_ref.size(), "figureResFile :Runtime:Geometries:tarnwick:man:man_hires.obj");
    expected_man.replace(expected_man.find("min -180   "), 11, "min -180");
    EXPECT_EQ(read_bytes(man), expected_man);
    EXPECT_EQ(read_bytes(lib + "/Character/tarnwick/Man_zz00.cr2"), original_man);
    EXPECT_EQ(read_bytes(lib + "/Character/tarnwick/Man (fine).cr2"), fine);
    EXPECT_FALSE(exists(lib + "/Character/tarnwick/Man (fine)_zz00.cr2"));
    EXPECT_EQ(read_bytes(lib + "/.thumbnails/Man.cr2"), hidden);
    EXPECT_EQ(read_bytes(lib + "/Hair/tarnwick/bob.hr2"),
              "{\r\nversion\r\n\t{\r\n\tnumber 4.01\r\n\t}\r\nfigureResFile :Runtime:Geometries:hair:bob.obj\r\n"
              "prop bob\r\n\t{\r\n\tname bob\r\n\t}\r\n}\r\n");
    EXPECT_NE(read_bytes(lib + "/Scenes/tarnwick/two men.pz3").find("\tobjFileGeom 0 0 :Runtime:Geometries:props:chair.obj\r\n"),
              std::string::npos);

    const std::string geom = dir.at("sample/Runtime/Geometries/tarnwick/man");
    const std::string replaced = "      pointer to " + geom + "/man_v1.obj replaced by\r";
    std::vector<std::string> log = sorted_lines(read_bytes(dir.at("start/__result_of_run.txt")));
    EXPECT_EQ(std::count(log.begin(), log.end(), replaced), 3);
    EXPECT_EQ(log.size(), 5u * 2 + 3u * 2);
    std::vector<std::string> transcript = sorted_lines(read_bytes(dir.at("t.txt")));
    EXPECT_EQ(std::count_if(transcript.begin(), transcript.end(), [](const std::string& l) { return l.rfind("open\t", 0) == 0; }), 1);
    EXPECT_EQ(std::count(transcript.begin(), transcript.end(), "warning\tnone\tI can't open this file\t" + lib + "/Pose/tarnwick/poses.cr2"), 1);
}
#endif

}  // namespace
