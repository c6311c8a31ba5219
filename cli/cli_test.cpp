#include "cli/cli.h"

#include "tests/test_support.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

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
        error.clear();
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

// Runs tarnwick-cli in the folder "start" of `dir`, with `args` (shell words) and `input`.
Result run_cli_process(const TempDir& dir, const std::string& args, const std::string& input = "")
{
    std::filesystem::create_directories(dir.at("start"));
    write_bytes(dir.at("stdin.txt"), input);
    const std::string command = "cd '" + dir.at("start") + "' && XDG_CONFIG_HOME='" + dir.at("config") +
                                "' '" TARNWICK_CLI_PATH "' " + args + " <'" + dir.at("stdin.txt") + "' >'" +
                                dir.at("stdout.txt") + "' 2>'" + dir.at("stderr.txt") + "'";
    const int raw = std::system(command.c_str());
    return Result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_bytes(dir.at("stdout.txt")), read_bytes(dir.at("stderr.txt"))};
}

TEST(CliProcess, ExitStatuses)
{
    TempDir dir;
    write_bytes(dir.at("Poser/any.txt"), "");
    write_bytes(dir.at("lib/a.cr2"), "x\n");
    const std::string a = " '" + dir.at("lib/a.cr2") + "'";
    const std::string log = dir.at("start/__result_of_run.txt");
    Result r = run_cli_process(dir, "");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.find("usage: tarnwick-cli"), 0u);
    r = run_cli_process(dir, "--root /x" + a + " --frobnicate");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "tarnwick-cli: unknown option --frobnicate (see tarnwick-cli --help)\n");
    r = run_cli_process(dir, "--root '" + dir.at("nowhere") + "'" + a);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "tarnwick-cli: the Poser root " + dir.at("nowhere") + " is not a folder\n");
    EXPECT_NE(run_cli_process(dir, "--help").out.find("--transcript FILE"), std::string::npos);
    EXPECT_EQ(run_cli_process(dir, "--version").out, "tarnwick-cli 1.0.0\n");
    // the root asked on standard input: a cancel ends with status 1 and handles nothing
    EXPECT_EQ(run_cli_process(dir, a, "no\ncancel\n").status, 1);
    EXPECT_FALSE(exists(log) || exists(dir.at("config")));
    // a file chosen instead names the root, which is saved
    EXPECT_EQ(run_cli_process(dir, "--menu 257" + a, "no\n" + dir.at("Poser/any.txt") + "\nno\n").status, 0);
    EXPECT_EQ(read_bytes(dir.at("config/tarnwick/poserdirname.ini")), "[poserinfo]\nposeraddr=" + dir.at("Poser") + "\n");
    EXPECT_EQ(read_bytes(log), "no alterations\r\n");
    // exit ends the program before the arguments after it
    std::filesystem::remove(log);
    EXPECT_EQ(run_cli_process(dir, "--transcript '" + dir.at("t.txt") + "' --menu 258" + a, "yes\n").status, 0);
    EXPECT_EQ(read_bytes(dir.at("t.txt")), "question\tnone\tIs this the root address of your Poser setup?\t" +
                                               dir.at("Poser") + "\tyes\n");
    EXPECT_FALSE(exists(log));
}

TEST(CliProcess, RepairsTheSampleInstallation)
{
    TempDir dir;
    std::filesystem::copy(TARNWICK_SAMPLE_DIR "/Poser", dir.at("sample"), std::filesystem::copy_options::recursive);
    const std::string lib = dir.at("sample/Runtime/Libraries");
    const std::string man = lib + "/Character/tarnwick/Man.cr2";
    const std::string original_man = read_bytes(man);
    const std::string fine = read_bytes(lib + "/Character/tarnwick/Man (fine).cr2");
    const std::string hidden = read_bytes(lib + "/.thumbnails/Man.cr2");
    write_bytes(dir.at("picks.txt"), dir.at("sample/Runtime/Geometries/tarnwick/man/man_hires.obj") + "\n");
    Result r = run_cli_process(dir, "--root '" + dir.at("sample") + "/' --yes --answers '" + dir.at("picks.txt") +
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
    // the log, shown on standard output too: five files corrected, one pick for three pointers
    std::string log = read_bytes(dir.at("start/__result_of_run.txt"));
    const std::string replaced = "      pointer to " + dir.at("sample/Runtime/Geometries/tarnwick/man/man_v1.obj") + " replaced by";
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 16);
    std::size_t from = 0;
    for (int k = 0; k < 3; ++k) {
        from = log.find(replaced, from) + 1;
        EXPECT_NE(from, 0u);
    }
    log.erase(std::remove(log.begin(), log.end(), '\r'), log.end());
    EXPECT_EQ(r.out, log);
    const std::string t = read_bytes(dir.at("t.txt"));
    EXPECT_NE(t.find("open\tmain\t"), std::string::npos);
    EXPECT_EQ(t.find("open\tmain\t"), t.rfind("open\tmain\t"));
    EXPECT_NE(t.find("warning\tnone\tI can't open this file\t" + lib + "/Pose/tarnwick/poses.cr2\n"), std::string::npos);
}
#endif

}  // namespace
