#include "cli/cli.h"

#include "tests/test_support.h"
#include "tests/zip_maker.h"

#include <cstdlib>

namespace fs = std::filesystem;
#ifdef _WIN32
#include "engine/base/text_encoding.h"
#endif

// Each mode takes the options that make sense with it and refuses the others, naming what it takes; options
// unknown or without their value are refused. Those taken come in order.
TEST(CliArguments, EachModeTakesOnlyTheOptionsThatGoWithItInOrder)
{
    // Each message with the arguments it refuses; "" with those taken.
    const std::pair<std::string, std::vector<Lines>> cases[] = {
        {"", {{"--move", "a", "b"}, {"--move", "--dry-run", "--root", "r", "--root", "s", "--library-prefs", "auto", "a", "b"},
              {"--undo", "--yes", "--root", "r", "--root", "s"}, {"--undo", "run"}, {"--runs", "--library-prefs", "auto"},
              {"--collect=z.zip", "--root", "r", "--root", "s", "a"}, {"--install", "--dry-run", "--root", "r", "p.zip", "q.zip"},
              {"--modern", "--dry-run", "a"}, {"--root", "r", "--root", "s", "--modern", "a"}, {"--library-prefs", "auto", "--report", "a"}}},
        {"--move takes SRC and DST", {{"--move", "a"}, {"--move", "--yes", "a", "b"}, {"--move", "--collect=z.zip", "a", "b"},
                                      {"--move", "--install", "a", "b"}, {"--move", "--runs", "a", "b"},
                                      {"--move", "--menu", "259", "a", "b"}, {"--move", "--transcript=t", "a", "b"},
                                      {"--move", "--report", "a", "b"}, {"--move", "--modern", "a", "b"}}},
        {"several --root and --library-prefs need",
         {{"--root", "r", "--root", "s", "a"}, {"--root", "p", "--root", "q", "a"}, {"--library-prefs", "x", "a"}}},
        {"--undo, --undo-log, --runs and --forget go alone", {{"--undo", "run", "other"}, {"--runs", "--undo"}, {"--runs", "a"},
                                                              {"--forget=run", "--install", "p.zip"}, {"--undo-log=l", "--answers=x"}}},
        {"--collect takes no", {{"--collect=z.zip", "--yes", "a"}, {"--collect=z.zip", "--report", "a"}, {"--collect=z.zip", "--auto", "a"}}},
        {"--install takes no", {{"--install", "--collect=z.zip", "p.zip"}, {"--install", "--yes", "p.zip"}, {"--install", "--modern", "p.zip"}}},
        {"no PATH given", {{"--install"}, {"--report", "--json"}}},
        {"--report takes no", {{"--report", "--transcript=t", "a"}, {"--report", "--modern", "a"}, {"--report", "--menu", "257"},
                               {"--report", "--yes", "a"}}},
        {"--json and --html need --report", {{"--html=x.html", "a"}, {"--json", "a"}}},
        {"--dry-run goes with", {{"--dry-run", "a"}, {"--auto", "--dry-run", "--answers=x", "a"}}},
        {"unknown option --bogus", {{"--bogus"}}},
        {"option --root needs a value", {{"a", "--root"}}},
        {"option --html needs a value", {{"--html"}}},
        {"option --menu needs a value", {{"--menu"}}},
        {"--menu needs a command number", {{"--menu", "x"}, {"--menu", "-1"}, {"--menu", ""}, {"--menu", "0000002590"}}},
        {"--root needs a folder", {{"--root="}}},
    };
    for (const auto& [refused, all] : cases) {
        for (const Lines& args : all) {
            SCOPED_TRACE(joined(args, [](const std::string& a) { return a; }, " "));
            CliOptions o;
            std::string error;
            EXPECT_EQ(parse_cli(args, o, error), refused.empty()) << error;
            EXPECT_EQ(error.substr(0, refused.size()), refused);
        }
    }
    CliOptions o;
    std::string error;
    ASSERT_TRUE(parse_cli({"--root", "/p/", "a.cr2", "--menu", "000000259", "--yes", "--answers=x", "--", "--menu"}, o, error));
    EXPECT_TRUE(o.root == "/p/" && o.yes && o.answers == "x" && o.actions.size() == 3);
    EXPECT_TRUE(o.actions[0].path == "a.cr2" && o.actions[1].is_menu && o.actions[1].menu == 259 &&
                o.actions[2].path == "--menu");
    EXPECT_EQ(root_without_trailing_separators("/p//"), "/p");
    EXPECT_EQ(root_without_trailing_separators("/"), "");
#ifndef _WIN32
    EXPECT_EQ(root_without_trailing_separators("/p\\"), "/p\\");  // a backslash is part of a POSIX name
#endif
}

// Each run of the program in a fresh folder.
class CliProcess : public testing::Test {
protected:
    TempDir dir;
};

#ifndef _WIN32
// tarnwick-cli run in "start" of `dir` with `args` (shell words) and `input`: its exit status, output and errors.
static std::string run_cli(const TempDir& dir, const std::string& args, const std::string& input = "")
{
    std::filesystem::create_directories(dir.at("start"));
    write_bytes(dir.at("stdin.txt"), input);
    const std::string command = "cd '" + dir.at("start") + "' && XDG_CONFIG_HOME='" + dir.at("config") + "' '" +
                                TARNWICK_CLI_PATH "' " + args + " <'" + dir.at("stdin.txt") + "' >'" + dir.at("out") +
                                "' 2>'" + dir.at("err") + "'";
    const int raw = std::system(command.c_str());
    return std::to_string(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1) + " " + read_bytes(dir.at("out")) + read_bytes(dir.at("err"));
}

TEST_F(CliProcess, ExitStatuses)
{
    write_bytes(dir.at("Poser/any.txt"), "");
    write_bytes(dir.at("lib/a.cr2"), "x\n");
    const std::string a = " '" + dir.at("lib/a.cr2") + "'", log = dir.at("start/__result_of_run.txt");
    EXPECT_EQ(run_cli(dir, "").find("2 usage: tarnwick-cli"), 0u);
    EXPECT_EQ(run_cli(dir, "--root /x" + a + " --frobnicate"),
              "2 tarnwick-cli: unknown option --frobnicate (see tarnwick-cli --help)\n");
    EXPECT_EQ(run_cli(dir, "--root '" + dir.at("no") + "'" + a),
              "2 tarnwick-cli: the Poser root " + dir.at("no") + " is not a folder\n");
    EXPECT_EQ(run_cli(dir, "--answers '" + dir.at("no") + "' --root '" + dir.at("Poser") + "'" + a),
              "2 tarnwick-cli: can't read the answers file " + dir.at("no") + "\n");
    EXPECT_EQ(run_cli(dir, "--help").find("0 usage: tarnwick-cli"), 0u);
    EXPECT_EQ(run_cli(dir, "--version"), "0 tarnwick-cli 1.1.0\n");
    EXPECT_EQ(run_cli(dir, "--report" + a), "2 tarnwick-cli: no Poser root: give --root DIR or --library-prefs FILE, "
                                            "or save a root with a repair run first\n");
    // the root asked on standard input: a cancel ends with status 1 and handles nothing
    EXPECT_EQ(run_cli(dir, a, "no\ncancel\n"), "1 Exiting: I need this information to be able to run.\n");
    EXPECT_FALSE(exists(log) || exists(dir.at("config")));
    // a file chosen instead names the root, which is saved
    EXPECT_EQ(run_cli(dir, "--menu 257" + a, "no\n" + dir.at("Poser/any.txt") + "\nno\n"), "0 ");
    EXPECT_EQ(read_bytes(dir.at("config/tarnwick/poserdirname.ini")), "[poserinfo]\nposeraddr=" + dir.at("Poser") + "\n");
    EXPECT_EQ(read_bytes(log), "no alterations\r\n");
    // unattended, a repair abandoned fails the run without any warning
    write_bytes(dir.at("lib/b.cr2"), "figureResFile :gone.obj\n");
    EXPECT_EQ(run_cli(dir, "--root '" + dir.at("Poser") + "' '" + dir.at("lib/b.cr2") + "'", "cancel\nno\n"), "3 ");
    std::filesystem::remove(log);
    // a dry run ends with 0 when all is well, and with 3 when its only trouble is a document it cannot read
    const std::string dry = "--modern --dry-run --root '" + dir.at("Poser") + "' '";
    const std::string tally = ", corrected: 0, abandoned: 0, references replaced: 0, left as they are: 0\n";
    EXPECT_EQ(run_cli(dir, dry + dir.at("lib/a.cr2") + "'"), "0 files checked: 1" + tally);
    write_bytes(dir.at("lib/e.crz"), std::string("\x1f\x8b\x08\0\0\0\0\0\0\x03garbage", 17));
    EXPECT_EQ(run_cli(dir, dry + dir.at("lib/e.crz") + "'"), "3 files checked: 0" + tally + "I can't read this file: " + dir.at("lib/e.crz") + "\n");
    // exit ends the program before the arguments after it
    EXPECT_EQ(run_cli(dir, "--transcript '" + dir.at("t.txt") + "' --menu 258" + a, "yes\n"), "0 ");
    EXPECT_EQ(read_bytes(dir.at("t.txt")),
              "question\tnone\tIs this the root address of your Poser setup?\t" + dir.at("Poser") + "\tyes\n");
    EXPECT_FALSE(exists(log));
}

TEST_F(CliProcess, RepairsTheSampleInstallation)
{
    const std::string sample = TARNWICK_SAMPLE_DIR "/Poser/Runtime/Libraries", lib = dir.at("sample/Runtime/Libraries");
    for (const char* copy : {"sample", "auto"}) {
        std::filesystem::copy(TARNWICK_SAMPLE_DIR "/Poser", dir.at(copy), std::filesystem::copy_options::recursive);
    }
    const Files before = files_below(dir.at("auto"));
    write_bytes(dir.at("picks.txt"), dir.at("sample/Runtime/Geometries/tarnwick/man/man_hires.obj") + "\n");
    std::string out = run_cli(dir, "--root '" + dir.at("sample") + "/' --yes --answers '" + dir.at("picks.txt") +
                                       "' --transcript '" + dir.at("t.txt") + "' '" + lib + "'");
    std::string expected = read_bytes(sample + "/Character/tarnwick/Man.cr2");
    expected.replace(expected.find(":man:man_v1.obj"), 15, ":man:man_hires.obj");
    expected.replace(expected.find("min -180   "), 11, "min -180");
    EXPECT_EQ(read_bytes(lib + "/Character/tarnwick/Man.cr2"), expected);
    for (const std::string same : {"/Character/tarnwick/Man (fine).cr2", "/.thumbnails/Man.cr2"}) {
        EXPECT_EQ(read_bytes(lib + same), read_bytes(sample + same));
    }
    EXPECT_EQ(read_bytes(lib + "/Character/tarnwick/Man_zz00.cr2"), read_bytes(sample + "/Character/tarnwick/Man.cr2"));
    EXPECT_EQ(read_bytes(lib + "/Hair/tarnwick/bob.hr2"),
              "{\r\nversion\r\n\t{\r\n\tnumber 4.01\r\n\t}\r\nfigureResFile :Runtime:Geometries:hair:bob.obj\r\n"
              "prop bob\r\n\t{\r\n\tname bob\r\n\t}\r\n}\r\n");
    // the log, shown on standard output too: five files corrected, one pick for three pointers
    std::string log = read_bytes(dir.at("start/__result_of_run.txt"));
    Lines lines = poser_lines(log);
    EXPECT_EQ(lines.size(), 16u);
    const std::string v1 = "      pointer to " + dir.at("sample/Runtime/Geometries/tarnwick/man/man_v1.obj") + " replaced by";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), v1), 3);
    log.erase(std::remove(log.begin(), log.end(), '\r'), log.end());
    // unattended, the folder named like a Poser file is warned about on standard error too, and fails the run
    EXPECT_EQ(out, "3 " + log + "I can't open this file: " + lib + "/Pose/tarnwick/poses.cr2\n");
    const std::string t = read_bytes(dir.at("t.txt"));
    EXPECT_TRUE(t.find("open\tmain\t") != std::string::npos && t.find("open\tmain\t") == t.rfind("open\tmain\t"));
    EXPECT_NE(t.find("warning\tnone\tI can't open this file\t" + lib + "/Pose/tarnwick/poses.cr2\n"), std::string::npos);

    // With --auto the compressed prop and the quoted pointer are repaired by the meshes' names.
    const std::string props = dir.at("auto/Runtime/Libraries/Props/tarnwick/");
    write_bytes(dir.at("picks.txt"), dir.at("auto/Runtime/Geometries/tarnwick/man/man_hires.obj") + "\n");
    out = run_cli(dir, "--auto --root '" + dir.at("auto") + "' --yes --answers '" + dir.at("picks.txt") + "' '" +
                           dir.at("auto") + "'");
    expect_pieces(read_gzip(props + "ball moved.ppz"), {"\tobjFileGeom 0 0 :Runtime:Geometries:props:ball.obj\r\n"});
    // The old versions are kept in the run folder, out of the library.
    EXPECT_FALSE(exists(props + "ball moved_zz00.ppz"));
    const std::string run = std::filesystem::directory_iterator(dir.at("auto/tarnwick-runs"))->path().string();
    expect_pieces(read_bytes(dir.at("start/__result_of_run.txt")), {"old versions of the files changed are kept in\r\n     " + run});
    EXPECT_EQ(read_bytes(run + "/Runtime/Libraries/Props/tarnwick/ball moved.ppz"),
              read_bytes(sample + "/Props/tarnwick/ball moved.ppz"));
    expect_pieces(read_bytes(dir.at("auto/Runtime/Libraries/Hair/tarnwick/bob quoted.hr2")),
                  {"\r\nfigureResFile \":Runtime:Geometries:hair:bob.obj\"\r\n"});
    lines = poser_lines(read_bytes(dir.at("start/__result_of_run.txt")));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "      (found by name)"), 3);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "      (found by its Runtime path)"), 1);
    // The material saved on a classic Mac keeps its line ends.
    std::string mac = read_bytes(sample + "/Materials/tarnwick/skin from a Mac.mt5");
    mac.replace(mac.find("Macintosh HD:Applications:Poser 6:"), 34, ":");
    EXPECT_EQ(read_bytes(dir.at("auto/Runtime/Libraries/Materials/tarnwick/skin from a Mac.mt5")), mac);

    // The run undone gives back every file as it was; a second undo is refused.
    const std::string undone = run_cli(dir, "--undo --root '" + dir.at("auto") + "'");
    EXPECT_EQ(undone.substr(undone.rfind('\n', undone.size() - 2) + 1), "9 files restored, 0 left alone\n");
    EXPECT_EQ(undone.find("0 undoing the run of "), 0u);
    EXPECT_NE(undone.find(" below " + dir.at("auto") + ": 9 files changed, old versions in " + run + "\n"), std::string::npos);
    EXPECT_EQ(files_below(run), (Files{{run + "/manifest.json", read_bytes(run + "/manifest.json")}}));
    EXPECT_EQ(run_cli(dir, "--undo --root '" + dir.at("auto") + "'"), "2 tarnwick-cli: no run to undo below the roots\n");
    EXPECT_EQ(run_cli(dir, "--undo '" + run + "'").find("2 tarnwick-cli: the run " + run + " was undone already ("), 0u);
    EXPECT_EQ(outside_runs(files_below(dir.at("auto"))), before);
}

// Roots given relative to the current folder, with "..", or as the top folder hold from anywhere; Poser's own
// LibraryPrefs.xml in wine's prefix is found on request; --modern's log ends with its summary.
TEST_F(CliProcess, RootsMadeAbsoluteTakeAbsolutePicksAndLibraryPrefsAreFoundInTheWinePrefix)
{
    write_bytes(dir.at("tree/Runtime/Geometries/a.obj"), "");
    write_bytes(dir.at("tree/lib/x.cr2"), "figureResFile :Runtime:Geometries:gone.obj\n");
    write_bytes(dir.at("picks.txt"), dir.at("tree/Runtime/Geometries/a.obj") + "\n");
    run_cli(dir, "--modern --root ../start/../tree --yes --answers '" + dir.at("picks.txt") + "' ../tree/lib");
    EXPECT_EQ(read_bytes(dir.at("tree/lib/x.cr2")), "figureResFile :Runtime:Geometries:a.obj\n");
    EXPECT_TRUE(exists(dir.at("tree/tarnwick-runs")));  // files named from the current folder too
    expect_pieces(read_bytes(dir.at("start/__result_of_run.txt")), {"pointer to :Runtime:Geometries:gone.obj replaced"});
    write_bytes(dir.at("plain/y.cr2"), "version 4\n");  // nothing to look for below the whole disk
    EXPECT_NE(run_cli(dir, "--report --json --root / ../plain").find("\"roots\": [\n    \"/\"\n  ]"), std::string::npos);
    ::setenv("WINEPREFIX", dir.at("wine").c_str(), 1);
    EXPECT_EQ(run_cli(dir, "--report --library-prefs auto tree/lib").substr(0, 2), "2 ");
    write_bytes(dir.at("wine/drive_c/users/me/AppData/Roaming/Poser Pro/11/LibraryPrefs.xml"),
                "<ContentFolder folder=\"" + dir.at("tree") + "\"/>");
    EXPECT_EQ(run_cli(dir, "--report --library-prefs auto ../tree/lib"), "0 nothing to report: 1 reference in 1 Poser file, all found\n");
    ::unsetenv("WINEPREFIX");
    write_bytes(dir.at("tree/lib/x.cr2"), "figureResFile :Runtime:Geometries:gone.obj\n");
    run_cli(dir, "--modern --root '" + dir.at("tree") + "' --yes ../tree/lib", dir.at("tree/Runtime/Geometries/a.obj") + "\n");
    const std::string log = read_bytes(dir.at("start/__result_of_run.txt"));
    EXPECT_EQ(log.substr(log.rfind("files checked")), "files checked: 1, corrected: 1, abandoned: 0, references replaced: 1, left as they are: 0\r\n");
}

// What only the extended modes do: a missing path is a usage error, a reference left as it is fails an unattended
// run, a run that changes nothing keeps no run folder, a root reached through a link or named by its Runtime folder
// keeps its old versions in the run folder, and a folder named like a document is walked.
TEST_F(CliProcess, ExtendedRunsTellTheTruthAboutWhatTheyDid)
{
    write_bytes(dir.at("lib/Runtime/Geometries/a.obj"), "");
    write_bytes(dir.at("lib/Runtime/Libraries/poses.cr2/in.cr2"), "figureResFile Runtime:Geometries:a.obj\n");
    write_bytes(dir.at("lib/Runtime/Libraries/tex.mt5"), "textureMap :Runtime:Textures:gone.jpg\n");
    const std::string root = " --root '" + dir.at("lib") + "' ";
    EXPECT_EQ(run_cli(dir, "--auto" + root + "'" + dir.at("nope") + "'"), "2 tarnwick-cli: no such file or folder: " + dir.at("nope") + "\n");
    EXPECT_EQ(run_cli(dir, "--report --json" + root), "2 tarnwick-cli: no PATH given (see tarnwick-cli --help)\n");
    EXPECT_EQ(run_cli(dir, "--modern --library-prefs nope.xml" + root + "'" + dir.at("lib") + "'"),
              "2 tarnwick-cli: can't read the library preferences nope.xml\n");
    EXPECT_EQ(run_cli(dir, "--modern --transcript '" + dir.at("nope/t.txt") + "'" + root + "'" + dir.at("lib") + "'"),
              "2 tarnwick-cli: can't write the transcript file " + dir.at("nope/t.txt") + "\n");
    // The texture is left as it is, said on standard error; the document inside the folder named like one is repaired.
    const std::string libraries = dir.at("lib/Runtime/Libraries");
    EXPECT_EQ(run_cli(dir, "--auto" + root + "'" + libraries + "'", "cancel\n"),
              "3 left as it is: :Runtime:Textures:gone.jpg in " + libraries + "/tex.mt5\n");
    EXPECT_EQ(read_bytes(libraries + "/poses.cr2/in.cr2"), "figureResFile :Runtime:Geometries:a.obj\n");
    const std::string runs = dir.at("lib/tarnwick-runs");
    ASSERT_EQ(std::distance(fs::directory_iterator(runs), fs::directory_iterator()), 1);
    // Nothing left to change: no run folder, and the undo still finds the run that changed files.
    EXPECT_EQ(run_cli(dir, "--auto" + root + "'" + libraries + "/poses.cr2'", "no\n"), "0 ");
    EXPECT_EQ(std::distance(fs::directory_iterator(runs), fs::directory_iterator()), 1);
    EXPECT_EQ(run_cli(dir, "--undo" + root).substr(0, 2), "0 ");
    EXPECT_EQ(read_bytes(libraries + "/poses.cr2/in.cr2"), "figureResFile Runtime:Geometries:a.obj\n");
    // A root given by its Runtime folder, the documents named through a link: the old versions in the run folder.
    fs::remove_all(runs);
    fs::create_directory_symlink(dir.at("lib"), dir.at("link"));
    EXPECT_EQ(run_cli(dir, "--modern --root '" + dir.at("lib/Runtime") + "' '" + dir.at("link/Runtime/Libraries/poses.cr2") + "'", "no\n"),
              "0 tarnwick-cli: " + dir.at("lib/Runtime") + " is a Runtime folder: its parent " + dir.at("lib") +
                  " is used as the content root\n");
    EXPECT_EQ(read_bytes(libraries + "/poses.cr2/in.cr2"), "figureResFile :Runtime:Geometries:a.obj\n");
    EXPECT_FALSE(exists(libraries + "/poses.cr2/in_zz00.cr2"));
    EXPECT_EQ(std::distance(fs::directory_iterator(runs), fs::directory_iterator()), 1);
    // A file changed since is left alone, said on standard error too when nobody reads the output.
    write_bytes(libraries + "/poses.cr2/in.cr2", "changed by hand\n");
    const std::string undone = run_cli(dir, "--undo" + root);
    EXPECT_EQ(undone.substr(0, 2), "3 ");
    EXPECT_NE(undone.find("\nleft alone: " + libraries + "/poses.cr2/in.cr2: changed since the run\n"), std::string::npos);
    EXPECT_NE(run_cli(dir, "--help").find("(logged \"(found by its Runtime path)\")"), std::string::npos);
}

// The sample's scene collected into a zip and a folder, twice the same bytes; a missing texture named, a compressed
// document with an absolute path compressed again; the zip a product with nothing to report, read by other readers,
// and unpacked into an empty folder a library with nothing to report either.
TEST_F(CliProcess, CollectsAScene)
{
    const std::string root = " --root '" TARNWICK_SAMPLE_DIR "/Poser' ", scene = "'" TARNWICK_SAMPLE_DIR "/Poser/Runtime/Libraries/Scenes/tarnwick/man on a chair.pz3'";
    EXPECT_EQ(run_cli(dir, "--collect a.zip" + root + scene), "0 8 files collected into a.zip, 1 reference renamed\n");
    EXPECT_EQ(run_cli(dir, "--collect b.zip" + root + scene).substr(0, 2), "0 ");
    EXPECT_EQ(read_bytes(dir.at("start/a.zip")), read_bytes(dir.at("start/b.zip")));
    EXPECT_EQ(run_cli(dir, "--collect folder" + root + scene).substr(0, 2), "0 ");
    EXPECT_EQ(files_below(dir.at("start/folder")).size(), 9u);
    EXPECT_EQ(run_cli(dir, "--report a.zip"), "0 nothing to report: 7 references in 2 Poser files, all found\n");
    // Nothing is collected over what exists, into a folder that does not, or from a document that is not there.
    const std::pair<std::string, std::string> refused[] = {
        {"a.zip" + root + scene, "a.zip: the zip exists already"},
        {"folder" + root + scene, "folder: it exists already, and is no empty folder"},
        {"none/d.zip" + root + scene, "none/d.zip: the folder " + dir.at("start/none") + " does not exist"},
        {"d.zip" + root + "none.pz3", "d.zip: no such file: none.pz3"},
    };
    for (const auto& [args, why] : refused) {
        EXPECT_EQ(run_cli(dir, "--collect " + args), "2 tarnwick-cli: nothing collected into " + why + "\n");
    }
    write_gzip(dir.at("lib/x.crz"), "textureMap :Runtime:Textures:gone.jpg\nfigureResFile " + dir.at("lib/m.obj") + "\n");
    write_bytes(dir.at("lib/m.obj"), "v\n");
    std::error_code no_link;  // a thumbnail that is a link out of every root is left out, and counted
    write_bytes(dir.at("home/notes.txt"), "mine");
    std::filesystem::create_symlink(dir.at("home/notes.txt"), dir.at("lib/x.png"), no_link);
    EXPECT_EQ(run_cli(dir, "--collect c" + root + dir.at("lib/x.crz")),
              "3 from outside the roots: Runtime/Libraries/Character/x.crz from " + dir.at("lib/x.crz") +
                  "\nfrom outside the roots: Runtime/Geometries/collected/m.obj from " + dir.at("lib/m.obj") +
                  "\nmissing image :Runtime:Textures:gone.jpg in " + dir.at("lib/x.crz") + " line 1\n" +
                  (no_link ? "" : "left out " + dir.at("lib/x.png") + ": a link leading out of the library, not followed\n") +
                  "2 files collected into c (2 from outside the roots), 1 reference renamed; 1 reference missing, 0 documents "
                  "unreadable" + (no_link ? "" : ", 1 file left out") + ", named in collect.txt\n");
    // The listing in the collection names no folder of the user's.
    EXPECT_EQ(read_bytes(dir.at("start/c/collect.txt")),
              std::string("tarnwick collect: 2 files collected, 1 reference missing, 0 documents unreadable\nRuntime/Libraries/Character/x.crz "
              "from outside the roots: x.crz (1 reference renamed)\nRuntime/Geometries/collected/m.obj from outside the roots: "
              "m.obj\nmissing image :Runtime:Textures:gone.jpg in Runtime/Libraries/Character/x.crz line 1\n") +
                  (no_link ? "" : "left out x.png: a link leading out of the library, not followed\n"));
    EXPECT_EQ(read_gzip(dir.at("start/c/Runtime/Libraries/Character/x.crz")),
              "textureMap :Runtime:Textures:gone.jpg\nfigureResFile :Runtime:Geometries:collected:m.obj\n");
    if (std::system("command -v unzip >/dev/null && command -v python3 >/dev/null") != 0) {
        GTEST_SKIP() << "unzip or python3 is not installed";
    }
    const std::string check = "cd '" + dir.at("start") + "' && unzip -tq a.zip >/dev/null && mkdir un && cd un && unzip -q ../a.zip && "
                              "python3 -c 'import zipfile; assert zipfile.ZipFile(\"../a.zip\").testzip() is None'";
    ASSERT_EQ(std::system(check.c_str()), 0);
    EXPECT_EQ(run_cli(dir, "--report --root un un"), "0 nothing to report: 7 references in 2 Poser files, all found\n");
}

// The sample's textures moved: the dry run first, which changes nothing, then the move, each reference in whatever
// notation following; then --undo gives every file back.
TEST_F(CliProcess, MovesAFolderWithWhatUsesItAndUndoesTheMove)
{
    fs::copy(TARNWICK_SAMPLE_DIR "/Poser", dir.at("Poser"), fs::copy_options::recursive);
    const Files before = files_below(dir.at("Poser"));
    const std::string root = "--root '" + dir.at("Poser") + "' ", from = dir.at("Poser/Runtime/Textures/tarnwick"),
                      to = dir.at("Poser/Runtime/Textures/Skins of tarnwick"), args = root + "'" + from + "' '" + to + "'";
    const std::string summary = " 3 files from " + from + " to " + to + "; 6 references rewritten in 3 documents\n";
    const std::string shown = run_cli(dir, "--move --dry-run " + args);
    EXPECT_EQ(files_below(dir.at("Poser")), before);
    EXPECT_EQ(shown.substr(0, 2) + shown.substr(shown.size() - summary.size() - 10), "0 would move" + summary);
    EXPECT_NE(shown.find("\n-\ttextureMap \"Macintosh HD:Applications:Poser 6:Runtime:Textures:tarnwick:skin.jpg\"\r\n"
                         "+\ttextureMap \":Runtime:Textures:Skins of tarnwick:skin.jpg\"\r\n"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("changed since it was read"), std::string::npos) << shown;
    const std::string moved = run_cli(dir, "--move " + args);
    EXPECT_EQ(moved.substr(0, 2) + moved.substr(moved.size() - summary.size() - 5), "0 moved" + summary) << moved;
    EXPECT_EQ(run_cli(dir, "--move " + args).find("2 tarnwick-cli: no such file or folder: "), 0u);
    EXPECT_EQ(run_cli(dir, "--undo " + root).substr(0, 2), "0 ");
    EXPECT_EQ(outside_runs(files_below(dir.at("Poser"))), before);
}

// A dry run shows what the run would write, as a diff that patch and git apply apply from the root, whatever the names
// hold and however the root was given, and changes nothing on the disk.
TEST_F(CliProcess, ADryRunShowsTheRealRunsChangesAndChangesNothing)
{
    write_files(dir, {"lib/Runtime/Geometries/a.obj", "lib/Runtime/Textures/t/skin.jpg"}, "");
    const std::string body = "{\nfigureResFile Runtime:Geometries:a.obj\n\ttextureMap :Runtime:Textures:old:skin.jpg\n"
                             "\tbumpMap :Runtime:Textures:gone.jpg\n}\n";
    auto with_ends = [&](const std::string& end) { return joined(poser_lines(body), [](const std::string& line) { return line; }, end); };
    // Changes on the first and the last line (which has no line end), seven and eight lines apart, and a line too
    // long for any reference among the lines around them.
    const std::string obj = "objFile 1 Runtime:Geometries:a.obj\n", seven = repeated("line\n", 7);
    const std::string edges = "figureResFile Runtime:Geometries:a.obj\n" + repeated("line\n", 6) + obj + seven + obj + "line\n" +
                              std::string(3 << 20, 'x') + "\n" + seven + "figureResFile Runtime:Geometries:a.obj";
    const std::string lib = dir.at("lib/Runtime/Libraries"), spaced = "Reality Start Scene - P9-P10.pz3";
    write_files(dir, {"lib/Runtime/Libraries/lf.cr2", "lib/Runtime/Libraries/" + spaced}, body);
    write_bytes(lib + "/crlf.cr2", with_ends("\r\n"));
    write_bytes(lib + "/cr.cr2", with_ends("\r"));
    write_bytes(lib + "/mixed.cr2", "x\r\n" + body + "y\rz");
    write_gzip(lib + "/packed.crz", body);
    write_bytes(lib + "/fine.cr2", "figureResFile :Runtime:Geometries:a.obj\n");
    write_bytes(lib + "/edges.cr2", edges);
    const Files before = files_below(dir.at("lib"));
    // The root relative to the folder the run starts in.
    const std::string args = "--auto --root ../lib ../lib/Runtime/Libraries";
    const std::string shown = run_cli(dir, "--dry-run " + args);
    EXPECT_EQ(files_below(dir.at("lib")), before);
    EXPECT_FALSE(exists(dir.at("lib/tarnwick-runs")) || exists(dir.at("start/__result_of_run.txt")));
    EXPECT_EQ(shown.substr(0, 2), "3 ");
    for (const std::string name : {"lf.cr2", "crlf.cr2", "cr.cr2", "mixed.cr2", "packed.crz", spaced.c_str()}) {
        expect_pieces(shown, {"--- a/Runtime/Libraries/" + name + "\t\n+++ b/Runtime/Libraries/" + name + "\t\n",
                              "left as it is: :Runtime:Textures:gone.jpg in ../lib/Runtime/Libraries/" + name + "\n"});
    }
    expect_pieces(shown, {"\n-\ttextureMap :Runtime:Textures:old:skin.jpg\r\n+\ttextureMap :Runtime:Textures:t:skin.jpg\r\n",
                          "\nfiles checked: 8, corrected: 7, abandoned: 0, references replaced: 16, left as they are: 6\n"});
    EXPECT_EQ(shown.find("fine.cr2"), std::string::npos);
    // patch -p1 and git apply from the root turn files of LF or CR LF lines into what the real run writes, exactly.
    write_bytes(dir.at("diff"), shown.substr(2, shown.find("left as it is:") - 2));
    run_cli(dir, "--auto --yes " + args);
    for (const std::string tool : {"patch -s -p1 --no-backup-if-mismatch", "git apply"}) {
        if (std::system((tool.substr(0, tool.find(' ')) + " --version >/dev/null 2>&1").c_str()) != 0) {
            std::printf("skipped: %s is not installed\n", tool.c_str());
            continue;
        }
        fs::remove_all(dir.at("patched"));
        fs::copy(dir.at("lib"), dir.at("patched"), fs::copy_options::recursive);
        fs::remove_all(dir.at("patched/tarnwick-runs"));
        std::system(("cd '" + dir.at("patched") + "' && " + tool + " <'" + dir.at("diff") + "' >/dev/null 2>&1").c_str());
        for (const std::string name : {"lf.cr2", "crlf.cr2", spaced.c_str(), "edges.cr2"}) {
            EXPECT_EQ(read_bytes(dir.at("patched/Runtime/Libraries/") + name), read_bytes(lib + "/" + name)) << tool << " " << name;
        }
    }
}
#else
// Polish, Greek and Japanese names in the wide command line, start folder and pointer; log and transcript in UTF-8.
TEST_F(CliProcess, AnyFileName)
{
    const std::string root = dir.at("Poser Ελληνικά"), ball = dir.at("Łódź/Łukasz ball.pp2");
    const std::string log = dir.at("Łódź/__result_of_run.txt");
    write_bytes(root + "\\geom\\日本語.obj", "");
    write_bytes(ball, "objFileGeom 0 0 :geom:日本語.obj\n");
    const std::string command = "cd /d \"" + dir.at("Łódź") + "\" && \"" TARNWICK_CLI_PATH "\" --root \"" + root +
                                "\" --yes --transcript \"" + dir.at("記録.txt") + "\" \"" + ball + "\" >\"" + dir.at("out") + "\" 2>&1";
    EXPECT_EQ(_wsystem(to_wide(command).c_str()), 0);
    EXPECT_EQ(read_bytes(log), "no alterations\r\n");
    EXPECT_EQ(read_bytes(dir.at("記録.txt")),
              "title\t" + ball + "\nquestion\tnone\tdo you want to see my log for this run?\t" + log + "\tyes\n");
}
#endif

// tarnwick-cli run in "start" of `dir` with `args`, each quoted for the system's shell, and nothing to read: its exit
// status, then its output, then its errors.
static std::string run_quoted(const TempDir& dir, const Lines& args)
{
#ifdef _WIN32
    std::filesystem::create_directories(fs_path(dir.at("start")));
    const std::string command = "cd /d \"" + dir.at("start") + "\" && \"" TARNWICK_CLI_PATH "\" " +
                                joined(args, [](const std::string& a) { return "\"" + a + "\""; }, " ");
    const int status = _wsystem(to_wide(command + "<NUL >\"" + dir.at("out") + "\" 2>\"" + dir.at("err") + "\"").c_str());
    std::string said = std::to_string(status) + " " + read_bytes(dir.at("out")) + read_bytes(dir.at("err"));
#else
    std::string said = run_cli(dir, joined(args, [](const std::string& a) { return "'" + a + "'"; }, " "));
#endif
    // The console's lines end as the system's do (CR LF on Windows): compared here as LF.
    said.erase(std::remove(said.begin(), said.end(), '\r'), said.end());
    return said;
}

// A product installed through the program and taken back: a zip refused with nothing written, a dry run that writes
// nothing, the install over a file it replaces (its Runtime one folder down, Mac leftovers skipped, a texture missing),
// listed among the runs, and undone byte for byte.
TEST_F(CliProcess, InstallsAProductAndTakesItBack)
{
    const std::string root = dir.at("Poser"), mesh = dir.at("Poser/Runtime/Geometries/p/a.obj");
    write_bytes(mesh, "old mesh\n");
    write_bytes(dir.at("start/p.zip"), made_zip({{"P/Runtime/Geometries/p/a.obj", "v 0 0 0\n"},
                                                 {"P/Runtime/Libraries/Character/p/p.cr2",
                                                  "figureResFile :Runtime:Geometries:p:a.obj\ntextureMap :Runtime:Textures:p:gone.jpg\n"},
                                                 {"__MACOSX/P/._p.cr2", "mac"}}));
    write_bytes(dir.at("start/bad.zip"), made_zip({{"Runtime/a.obj", ""}, {"Runtime/../../evil.obj", ""}}));
    const Files before = files_below(root);
    EXPECT_EQ(run_quoted(dir, {"--install", "--root", root, "none.zip"}), "2 tarnwick-cli: no such zip: none.zip\n");
    EXPECT_EQ(run_quoted(dir, {"--install", "p.zip"}),
              "2 tarnwick-cli: no content folder to install into: give --root DIR, or save a Poser root with a repair run first\n");
    EXPECT_EQ(run_quoted(dir, {"--install", "--root", root, "bad.zip"}),
              "2 refused: bad.zip: Runtime/../../evil.obj: unsafe name: the name holds a '..' component, which leads out of "
              "the install folder\ntarnwick-cli: nothing was installed into " + root + "\n");
    const std::string shown = run_quoted(dir, {"--install", "--dry-run", "--root", root, "p.zip"});
    EXPECT_EQ(shown.find("3 p.zip: P/: the Runtime folder lies one folder down: unpacked from this folder\nreplaced: " + mesh +
                         "\nnew: " + dir.at("Poser/Runtime/Libraries/Character/p/p.cr2") + "\nskipped: p.zip: __MACOSX/P/._p.cr2: "
                         "left by an archiver or a file browser, not content\nwould install 2 files from p.zip into " + root +
                         ": 1 new, 1 replaced, 0 already there, 1 skipped\n"), 0u) << shown;
    EXPECT_EQ(files_below(root), before);
    EXPECT_FALSE(exists(dir.at("Poser/tarnwick-runs")));
    const std::string installed = run_quoted(dir, {"--install", "--root", root, "p.zip"});
    expect_pieces(installed, {"\ninstalled 2 files from p.zip into " + root + ": 1 new, 1 replaced, 0 already there, 1 skipped\n"
                              "the old versions of the files replaced and the record of the install are kept in " + root + native("/tarnwick-runs/"),
                              "\nmissing image :Runtime:Textures:p:gone.jpg in "});
    EXPECT_EQ(installed.substr(0, 2), "3 ");
    EXPECT_EQ(read_bytes(mesh), "v 0 0 0\n");
    EXPECT_NE(run_quoted(dir, {"--runs", "--root", root}).find("  install of p.zip: 2 files written  "), std::string::npos);
    EXPECT_EQ(run_quoted(dir, {"--undo", "--root", root}).substr(0, 2), "0 ");
    EXPECT_EQ(files_below(dir.at("Poser/Runtime")), (Files{{mesh, "old mesh\n"}}));
}
