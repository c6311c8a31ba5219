// The check and repair of one Poser file: byte-exact corrected files, backups and log lines, bad input that never crashes,
// hangs or changes a file needing no change, a disk failing at any step of a repair, and the extended rules.
#include "engine/repair/poserfile.h"

#include "engine/fsys/memory_fs.h"
#include "engine/repair/backup_name.h"
#include "engine/repair/folder_walk.h"
#include "engine/repair/library_rules.h"
#include "engine/text/refline.h"
#include "tests/test_support.h"

#include <random>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using namespace std::string_literals;

// A Poser root with the meshes geom/man2.obj and geom/ball.obj, and chars/man.cr2 to check.
class PoserFile : public testing::Test {
protected:
    void SetUp() override
    {
#ifndef _WIN32
        ::alarm(120);  // should a call block, the test program ends: a failure, not a hang
#endif
        start_over("");
    }
    void TearDown() override { reset_engine(run, ""); }

    std::string obj(const std::string& name) const { return dir.at("Poser/geom/" + name); }
    // The folders as a fresh test has them, the file holding `text`.
    void start_over(const std::string& text)
    {
        reset_engine(run, dir.at("Poser"));
        fs::remove_all(dir.at("Poser/chars"));
        fs::remove_all(dir.at("Poser/tarnwick-runs"));
        if (compressed) {
            use_library_rules(run, LibraryOptions{false, {dir.at("Poser")}}).set_journal(journal);
            write_gzip(man, text);
        } else {
            write_bytes(man, text);
        }
        write_files(dir, {"Poser/geom/man2.obj", "Poser/geom/ball.obj"}, "");
        open_log(run, log_dir.at("__result_of_run.txt"));
    }
    std::string log_text() { return closed_log(run, log_dir.at("__result_of_run.txt")); }
    // The files the repair left, in the file's folder and the run folder.
    Files left_files()
    {
        Files left = files_below(dir.at("Poser/chars"), compressed);
        if (exists(dir.at("Poser/tarnwick-runs"))) {
            left.merge(files_below(dir.at("Poser/tarnwick-runs"), compressed));
        }
        return left;
    }
    // Repairs the file holding `text` (beside a swap file left over when `leftover_swap`), the disk failing where `hook`
    // says and a missing mesh answered with man2.obj: the last line the user saw.
    std::string repaired_failing(const std::string& text, const FailingFileSystem::FailWhen& hook, bool leftover_swap = false)
    {
        start_over(text);
        if (leftover_swap) {
            write_bytes(dir.at("Poser/chars/") + k_swap_file_name, "left over");
        }
        disk.fail_when(hook);
        const std::string said = seen_repairing(run, man, {obj("man2.obj")}).back();
        run.LOG.reset();
        disk.fail_when(nullptr);
        return said;
    }
    // Walks the folder chars, which holds `files` alone, the disk failing where `hook` says, a missing mesh answered
    // with man2.obj and each question yes, shown or answered unseen: what the user saw.
    Lines walked(const Files& files, const FailingFileSystem::FailWhen& hook, bool unseen)
    {
        start_over("");
        fs::remove(man);
        for (const auto& [path, text] : files) {
            write_bytes(path, text);
        }
        disk.fail_when(hook);
        ScriptedSession s({obj("man2.obj"), "yes", "yes"});
        searchdir(run, dir.at("Poser/chars"), unseen ? static_cast<Prompts&>(s.yes) : s.wn);
        disk.fail_when(nullptr);
        return s.transcript();
    }
    // A disk failing nowhere, each step it takes written in `steps` as "OP PATH", OP the operation's number.
    static FailingFileSystem::FailWhen recording(Lines& steps)
    {
        return [&steps](fsys::Op op, const std::string& path) {
            steps.push_back(std::to_string(static_cast<int>(op)) + " " + path);
            return false;
        };
    }

    TempDir dir, log_dir;
    FailingFileSystem disk;
    ::Run run{disk};
    bool compressed = false;
    RunJournal* journal = nullptr;
    std::string man = dir.at("Poser/chars/man.cr2"), backup = dir.at("Poser/chars/man_zz00.cr2");
};

TEST_F(PoserFile, CheckedAndRepairedByteForByte)
{
    enum Outcome { U, R, A };  // the file untouched, repaired, or its repair abandoned
    write_bytes(dir.at("outside/there.obj"), "not below the root");
#ifndef _WIN32
    ASSERT_EQ(::mkfifo(obj("pipe.obj").c_str(), 0666), 0);
    fs::create_symlink("/dev/zero", obj("zero.obj"));
#endif
    const std::string huge(6 << 20, 'h');
    const std::string gone = replaced_lines(obj("gone.obj"), obj("man2.obj"));
    const std::string g = "geom:gone.obj", up = "..:..:..:..:..:..:..:etc:gone.obj";
    struct Case {
        std::string before;
        Outcome outcome;
        std::string after = {};  // the corrected text
        Lines asked = {};        // the Poser paths of the missing meshes, one chooser each
        Lines answers = {};      // a mesh in geom/ or "cancel" for each chooser
        std::string log = {};    // after the lines of the file being corrected
    };
    std::vector<Case> cases = {
        // (the fuzz seeds hold more files that need nothing)
        {"geom:ball.obj\n", U},  // no marker, but the whole line names a mesh
        {"figureResFile :..:outside:there.obj\n", U},
        {"version\r\n{\r\nfigureResFile :geom:man.obj\r\n  tail  \r\n}", R,
         "version\r\n{\r\nfigureResFile :geom:man2.obj\r\n  tail\r\n}\r\n", {"geom:man.obj"}, {"man2.obj"},
         replaced_lines(obj("man.obj"), obj("man2.obj"))},
        {"prop 0 0 geom:ball.obj\n" + std::string(700, 'p') + " \t\nfigureResFile geom\\man2.obj", R,
         "prop 0 0 :geom:ball.obj\r\n" + std::string(700, 'p') + "\r\nfigureResFile :geom:man2.obj\r\n"},
        {"a :geom:gone.obj\nb :geom:gone.obj\nc :geom:GONE.obj\n", R,
         "a :geom:man2.obj\r\nb :geom:man2.obj\r\nc :geom:ball.obj\r\n", {g, "geom:GONE.obj"}, {"man2.obj", "ball.obj"},
         gone + gone + replaced_lines(obj("GONE.obj"), obj("ball.obj"))},
        {"figureResFile :geom:gone.obj\r\n\x1a tail\r\n", R, "figureResFile :geom:man2.obj\r\n", {g}, {"man2.obj"}, gone},
        {huge + "\t \nfigureResFile :geom:gone.obj", R, huge + "\r\nfigureResFile :geom:man2.obj\r\n", {g}, {"man2.obj"}, gone},
        {"\x01\xfe\t\np\0q :geom:gone.obj\n"s, R, "\x01\xfe\r\np\0q :geom:man2.obj\r\n"s, {g}, {"man2.obj"}, gone},
        {"0 0 " + up + "\n", R, "0 0 :geom:man2.obj\r\n", {up}, {"man2.obj"},
         replaced_lines(dir.at("Poser/../../../../../../../etc/gone.obj"), obj("man2.obj"))},
        {"figureResFile :geom:man.obj\n", A, "", {"geom:man.obj"}, {"cancel"}},
        {"a :geom:gone.obj\nb :geom:g2.obj\nc :geom:g3.obj\n", A, "", {g, "geom:g2.obj"}, {"man2.obj", "cancel"}, gone},
        {"ball.obj\na :geom:gone.obj\n", A, "", {g}, {"man2.obj"}, gone},  // the pass goes on past a line without marker
        {std::string(4 << 20, 'z') + ".obj\n", A},
    };
    // Hostile references count as missing, and nothing else is touched.
    for (const std::string& path : {std::string(5000, 'a') + ".obj", up, "geom:<a>|\"b?*c.obj"s, "geom:\x01\x7f\x1b.obj"s,
                                    "geom:ball.obj\0.obj"s, "geom\0:ball.obj"s, "geom:pipe.obj"s, "geom:zero.obj"s}) {
        cases.push_back({"figureResFile :" + path + "\n", A, "", {path}, {"cancel"}});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before.substr(0, 60));
        start_over(c.before);
        Lines answers, seen = {"title\t" + man};
        std::string missing;
        for (std::size_t k = 0; k < c.asked.size(); ++k) {
            answers.push_back(c.answers[k] == "cancel" ? "cancel" : obj(c.answers[k]));
            build_disk_path(run.posername, c.asked[k], k_native_style, missing);
            seen.push_back(chooser_line(missing, answers.back()));
        }
        const Files before = files_below(dir.path());
        EXPECT_EQ(seen_repairing(run, man, answers), seen);
        EXPECT_EQ(run.nL, std::count_if(answers.begin(), answers.end(), [](const std::string& a) { return a != "cancel"; }));
        const std::string abandoned = c.outcome == A ? "      RUN ABANDONED\r\n" : "";
        EXPECT_EQ(log_text(), c.outcome == U ? "" : correcting_lines(man, backup) + c.log + abandoned);
        if (c.outcome == R) {
            EXPECT_TRUE(read_bytes(man) == c.after);
            EXPECT_TRUE(read_bytes(backup) == c.before);
            fsys::disk().remove_file(backup);
            write_bytes(man, c.before);
        }
        EXPECT_TRUE(files_below(dir.path()) == before);
    }
}

TEST_F(PoserFile, BackupNamesAndTheCurrentFolder)
{
    auto longer = [](std::string f) { return std::to_string(lengthenname(f, "_zz03")) + " " + f; };
    EXPECT_EQ(longer("a.cr2") + ", " + longer(".cr2") + ", " + longer("man.cr22"), "1 a_zz03.cr2, 0 .cr2, 0 man.cr22");
    start_over("prop 0 0 geom:ball.obj\n");
    write_bytes(backup, "older");
    write_bytes(dir.at("Poser/chars/man_zz01.cr2/a folder, which is taken too"), "");
    write_bytes(dir.at("Poser/chars/man_zz03.cr2"), "older still");
    const fs::path before = fs::current_path();
    fs::current_path(dir.at("Poser/chars"));
    seen_repairing(run, "man.cr2");  // the swap file too lies in the current folder
    fs::current_path(before);
    EXPECT_EQ(read_bytes(man), "prop 0 0 :geom:ball.obj\r\n");
    EXPECT_EQ(read_bytes(dir.at("Poser/chars/man_zz02.cr2")), "prop 0 0 geom:ball.obj\n");
    EXPECT_EQ(files_below(dir.at("Poser/chars")).size(), 5u);
    for (int k = 4; k < 100; ++k) {
        write_bytes(dir.at("Poser/chars/man_zz" + std::to_string(k / 10) + std::to_string(k % 10) + ".cr2"), "");
    }
    EXPECT_EQ(next_free_backup_name(fsys::disk(), man), "");
    EXPECT_FALSE(fsys::disk().rename_noreplace(man, dir.at("free.cr2") + '\0' + "x"));  // a NUL would cut the name short
#ifndef _WIN32
    // Without an exclusive rename: never over an existing name, and the old name gone after.
    const std::string zz03 = dir.at("Poser/chars/man_zz03.cr2");
    EXPECT_FALSE(fsys::rename_by_link(zz03, backup));
    EXPECT_TRUE(fsys::rename_by_link(zz03, dir.at("l.cr2")) && !exists(zz03));
    EXPECT_EQ(read_bytes(backup) + read_bytes(dir.at("l.cr2")), "olderolder still");
    // A link the system refuses (a folder here; any file on FAT): checked, then renamed.
    EXPECT_TRUE(fsys::rename_by_link(dir.at("Poser/chars/man_zz01.cr2"), dir.at("f")) &&
                exists(dir.at("f/a folder, which is taken too")));
    // Names that are not there: no exchange (a failure, not a lack of support), no flush.
    EXPECT_EQ(fsys::disk().exchange(dir.at("none"), dir.at("l.cr2")), fsys::Exchange::failed);
    EXPECT_FALSE(fsys::disk().sync_file_system(dir.at("none/x")));
#endif
    write_bytes(dir.at("poser_file"), "");  // no extension, so no backup name
    EXPECT_EQ(next_free_backup_name(fsys::disk(), dir.at("poser_file")), "");
}

// A read-only file is repaired where its folder allows, and keeps its protection (the backup its own; on Windows the
// read-only mark), also when the copy must be removed again after the first or the last rename failed.
TEST_F(PoserFile, TheCorrectedFileKeepsTheProtectionOfTheOldOne)
{
    for (int failing_rename : {0, 1, 3}) {
        start_over("prop 0 0 geom:ball.obj\n");
        fs::permissions(man, fs::perms::owner_read | fs::perms::group_read);
        const fs::perms mode = fs::status(man).permissions();
        int renames = 0;
        disk.fail_when([&](fsys::Op op, const std::string&) { return op == fsys::Op::rename && ++renames == failing_rename; });
        seen_repairing(run, man);
        EXPECT_EQ(read_bytes(man), failing_rename == 0 ? "prop 0 0 :geom:ball.obj\r\n" : "prop 0 0 geom:ball.obj\n");
        EXPECT_EQ(fs::status(man).permissions(), mode);
        EXPECT_EQ(fs::status(backup).permissions(), failing_rename == 0 ? mode : fs::perms::unknown);
        std::error_code not_there;  // so that the folder can go
        fs::permissions(man, fs::perms::owner_all);
        fs::permissions(backup, fs::perms::owner_all, not_there);
    }
}

TEST_F(PoserFile, PicksOutsideTheRootAreRefusedAndAFullListServesTheLineAtHandOnly)
{
    start_over("a :geom:g1.obj\nb :geom:g1.obj\n");
    write_bytes(dir.at("outside.obj"), "");
    run.create_repllist();
    EXPECT_EQ(run.remembered_replacement(""), nullptr);  // the slots not yet filled hold no choice
    for (run.nL = 0; run.nL < k_repl_capacity; ++run.nL) {
        (*run.repllist)[run.nL] = {"old" + std::to_string(run.nL), "new"};
    }
    ScriptedSession s({dir.at("outside.obj"), obj("man2.obj"), obj("ball.obj")});
    readposerfile(run, man, s.wn);
    EXPECT_EQ(s.transcript()[2], "warning\tnone\tthis file is not in your Poser installation\t" + dir.at("outside.obj"));
    EXPECT_EQ(s.transcript().size(), 5u);
    EXPECT_EQ(run.nL, k_repl_capacity);
    EXPECT_EQ(read_bytes(man), "a :geom:man2.obj\r\nb :geom:ball.obj\r\n");
    EXPECT_EQ(correctposerfile(run, man, dir.at("no/such/folder/x.cr2"), s.wn), 0);
    EXPECT_EQ(s.transcript().back(), "warning\tnone\tI can't open this file\t" + dir.at("no/such/folder/x.cr2"));
    disk.fail_when([](fsys::Op op, const std::string&) { return op == fsys::Op::sync; });
    EXPECT_EQ(correctposerfile(run, man, dir.at("x.cr2"), s.wn), 0);  // a copy not on the disk is no copy
    disk.fail_when(nullptr);
    EXPECT_EQ(s.transcript().back(), "warning\tnone\tI can't write this file\t" + dir.at("x.cr2"));
}

TEST_F(PoserFile, WhetherAMeshExistsIsAskedAgainOnceAPromptWasShown)
{
    ScriptedSession s;
    run.cache.keep_while_no_prompt(s.wn);
    EXPECT_TRUE(run.cache.is_readable(obj("ball.obj")));
    EXPECT_FALSE(run.cache.is_readable(dir.at("Poser/geom") + fsys::k_sep));  // a folder named as a file
    fs::remove(obj("ball.obj"));  // the user may change the disk while a prompt is open
    s.wn.information(Owner::none, "", "");
    run.cache.keep_while_no_prompt(s.wn);
    EXPECT_FALSE(run.cache.is_readable(obj("ball.obj")));
    write_bytes(obj("ball.obj"), "");
    ScriptedSession other;  // another session's prompts, as many shown: it may have changed the disk too
    other.wn.information(Owner::none, "", "");
    run.cache.keep_while_no_prompt(other.wn);
    EXPECT_TRUE(run.cache.is_readable(obj("ball.obj")));
}

TEST_F(PoserFile, NamesThatAreNoReadableRegularFileAreWarnedAbout)
{
    Lines names = {dir.at("Poser/chars/missing.cr2"), "", dir.at("Poser/chars")};
#ifndef _WIN32
    ASSERT_EQ(::mkfifo(dir.at("Poser/chars/pipe.cr2").c_str(), 0666), 0);
    fs::create_symlink("/dev/zero", dir.at("Poser/chars/zero.pz3"));
    names.insert(names.end(), {"/dev/null", "/dev/zero", dir.at("Poser/chars/pipe.cr2"), dir.at("Poser/chars/zero.pz3")});
#else
    // Device names, which Windows finds in every folder and with any extension.
    names.insert(names.end(), {"NUL", "CON", "\\\\.\\NUL", dir.at("Poser/chars/con.cr2"), dir.at("Poser/chars/nul.pz3")});
#endif
    ScriptedSession s;
    Lines expected;
    for (const std::string& name : names) {
        // also when a listing took it for a plain file a moment ago
        for (fsys::Listed listed : {fsys::Listed::unknown, fsys::Listed::plain_file}) {
            readposerfile(run, name, s.wn, listed);
            expected.push_back("warning\tnone\tI can't open this file\t" + name);
        }
    }
    EXPECT_EQ(s.transcript(), expected);
#ifndef _WIN32
    // Opens fine but every read fails, as on a failing disk: the process's own memory, whose first page is unmapped.
    fs::remove(man);
    fs::create_symlink("/proc/self/mem", man);
    EXPECT_EQ(seen_repairing(run, man), (Lines{"title\t" + man, "warning\tnone\tI can't read this file\t" + man}));
#endif
}

// A repair whose disk fails at one of its changes (each block of the corrected copy, its flush and close, each of the
// three renames), or stops at one as if the machine died there. The old text survives whole under the file's own name,
// the backup name or the swap name; the next run past a leftover swap file changes nothing, and otherwise repairs.
TEST_F(PoserFile, AFailingDiskAtEveryStepOfARepairKeepsTheOldText)
{
    const auto every_step_keeps_the_old_text = [&] {
        std::string old_text = "{\r\nfigureResFile :geom:man.obj  \nprop 0 0 geom:ball.obj\r\n";
        std::string corrected = "{\r\nfigureResFile :geom:man2.obj\r\nprop 0 0 :geom:ball.obj\r\n";
        for (int k = 0; k < 30000; ++k) {
            const std::string line = "\tchannel " + std::to_string(k) + " value 0.250000";
            old_text += line + (k % 3 == 0 ? " \t\n" : "\r\n");
            corrected += line + "\r\n";
        }
        old_text += "}";
        corrected += "}\r\n";
        if (compressed) {  // the library rules change nothing but the paths
            corrected = old_text;
            corrected.replace(corrected.find("man.obj"), 7, "man2.obj");
            corrected.replace(corrected.find("geom:ball"), 0, ":");
        }
        Lines steps;  // the repair of a disk that never fails: the last of the runs below checks what it leaves
        repaired_failing(old_text, recording(steps));
        EXPECT_GE(std::count(steps.begin(), steps.end(), "0 " + backup), compressed ? 1 : 3);  // blocks of the copy
        EXPECT_EQ(std::count_if(steps.begin(), steps.end(), [](const std::string& s) { return s[0] == '3'; }), 3);
        const std::string swap = dir.at("Poser/chars/") + k_swap_file_name;
        int swap_files_met = 0;
        // The copy's steps end with its close; a run folder's record then only reads both texts.
        const std::size_t copy_closed = static_cast<std::size_t>(std::find(steps.begin(), steps.end(), "2 " + backup) - steps.begin());
        for (std::size_t k = 0; k <= steps.size(); ++k) {
            SCOPED_TRACE(k < steps.size() ? "step " + steps[k] : "after the last step");
            std::size_t seen = 0;
            std::string said = repaired_failing(old_text, [&](fsys::Op, const std::string&) { return seen++ == k; });
            // a failure to write the copy or to rename ends the repair; one of the log or the file read does not
            if (k < steps.size() && (steps[k][0] == '3' || (steps[k].substr(2) == backup && k <= copy_closed))) {
                EXPECT_TRUE(left_files() == (Files{{man, old_text}}));
                EXPECT_TRUE(said == "warning\tnone\tI can't write this file\t" + backup ||
                            said == "warning\tnone\tI can't rename this file\t" + man) << said;
            } else {
                EXPECT_TRUE(left_files() == (Files{{man, corrected}, {backup, old_text}}));
            }
            seen = 0;
            said = repaired_failing(old_text, [&](fsys::Op, const std::string&) { return seen++ >= k; });
            Files left = left_files();
            auto holds = [&](const std::string& name, const std::string& text) { return left.count(name) && left[name] == text; };
            EXPECT_TRUE(holds(man, old_text) || holds(backup, old_text) || holds(swap, old_text));
            EXPECT_TRUE(holds(man, old_text) || holds(man, corrected) || holds(swap, old_text));
            for (const auto& entry : left) {
                EXPECT_TRUE(entry.first == man || entry.first == backup || entry.first == swap) << entry.first;
            }
            reset_engine(run, dir.at("Poser"));
            if (left.count(swap)) {
                write_bytes(dir.at("Poser/chars/other.pp2"), "prop 0 0 geom:ball.obj\n");
                left = left_files();
                ScriptedSession next;
                searchdir(run, dir.at("Poser/chars"), next.wn);
                EXPECT_TRUE(left_files() == left);
                const std::string refused = "warning\tnone\tI can't rename this file\t" + dir.at("Poser/chars/other.pp2");
                EXPECT_EQ(std::count(next.transcript().begin(), next.transcript().end(), refused), 1);
                ++swap_files_met;
            }
        }
        EXPECT_GT(swap_files_met, 0);
    };
    every_step_keeps_the_old_text();
    compressed = true;  // a compressed document, repaired with the extended rules
    man = dir.at("Poser/chars/man.crz");
    backup = dir.at("Poser/chars/man_zz00.crz");
    every_step_keeps_the_old_text();
    // The old version kept in a run folder instead, as an extended run keeps it.
    struct RunFolder : RunJournal {
        std::string folder, at;
        std::string backup_for(const std::string&) override { return fsys::disk().make_folders(folder) ? at : ""; }
        bool record(const FileChange& c) override { return c.before.size > 0 && c.after.size > 0; }
    } run_folder;
    run_folder.folder = dir.at("Poser/tarnwick-runs/1/chars");
    run_folder.at = backup = dir.at("Poser/tarnwick-runs/1/chars/man.crz");
    journal = &run_folder;
    every_step_keeps_the_old_text();
}

// Where the system exchanges two names in one step, the repair needs no swap file: a failure of that step leaves the
// old text under the file's own name, and a swap file left over still stops the repair.
TEST_F(PoserFile, AnExchangeInOneStepNeedsNoSwapFile)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no exchange of two names in one step";
#endif
    disk.allow_exchange(true);
    const std::string old_text = "prop 0 0 geom:ball.obj\n", swap = dir.at("Poser/chars/") + k_swap_file_name;
    const std::string refused = "warning\tnone\tI can't rename this file\t" + man;
    int renames = 0;
    repaired_failing(old_text, [&](fsys::Op op, const std::string&) { return op == fsys::Op::rename && ++renames < 0; });
    EXPECT_TRUE(left_files() == (Files{{man, "prop 0 0 :geom:ball.obj\r\n"}, {backup, old_text}}));
    EXPECT_EQ(renames, 1);
    EXPECT_EQ(repaired_failing(old_text, [](fsys::Op op, const std::string&) { return op == fsys::Op::rename; }), refused);
    EXPECT_TRUE(left_files() == (Files{{man, old_text}}));
    EXPECT_EQ(repaired_failing(old_text, nullptr, true), refused);
    EXPECT_TRUE(left_files() == (Files{{man, old_text}, {swap, "left over"}}));
}

// The repair with the extended rules: compressed files, quoted and .obz pointers, letter case, two roots, picks by name.
class ExtendedRepair : public PoserFile {
protected:
    void SetUp() override
    {
        PoserFile::SetUp();
        run.posername = dir.at("one");
        use_library_rules(run, LibraryOptions{false, {dir.at("one"), dir.at("two")}, {}});
        write_files(dir, {"one/Runtime/Geometries/man/man.obj", "one/Runtime/Geometries/props/ball.OBZ",
                          "two/Runtime/Geometries/hair/bob.obj", "one/a/chair.obz", "two/b/chair.obz"}, "");
    }
    // The chooser offering `initial`, answered with `answer` (a file below the test folder, or "cancel"); its caption
    // names the missing file, which `initial` names too unless it is a candidate.
    std::string chooser(const std::string& initial, const std::string& answer, std::string missing = "") const
    {
        std::string line = chooser_line(dir.at(initial), answer == "cancel" ? answer : dir.at(answer));
        missing = missing.empty() ? initial.substr(initial.rfind('/') + 1) : missing;
        return line.insert(line.find(".OBJ file") + 9, " for " + missing);
    }
};

TEST_F(ExtendedRepair, CompressedQuotedObzAndLetterCase)
{
    const std::string text = "{\r\n\tfigureResFile \":Runtime:Geometries:my folder :gone.obj\"\r\n"
                             "\tobjFileGeom 0 0 Runtime:Geometries:props:ball.OBZ\r\n"
                             "\tfigureResFile :runtime:geometries:MAN:man.obj\r\n}";
    write_gzip(dir.at("one/chars/man.crz"), text);
    const std::string old_bytes = read_bytes(dir.at("one/chars/man.crz"));
    const auto seen = seen_repairing(run, dir.at("one/chars/man.crz"), {dir.at("one/Runtime/Geometries/man/man.obj")});
    EXPECT_EQ(read_gzip(dir.at("one/chars/man.crz")), "{\r\n\tfigureResFile \":Runtime:Geometries:man:man.obj\"\r\n"
              "\tobjFileGeom 0 0 :Runtime:Geometries:props:ball.OBZ\r\n"
              "\tfigureResFile :runtime:geometries:MAN:man.obj\r\n}");
    EXPECT_EQ(read_bytes(dir.at("one/chars/man_zz00.crz")), old_bytes);
    EXPECT_EQ(seen.back(), chooser("one/Runtime/Geometries/my folder /gone.obj", "one/Runtime/Geometries/man/man.obj", "gone.obj"));
    // The log names the path as the document held it.
    EXPECT_EQ(log_text(), correcting_lines(dir.at("one/chars/man.crz"), dir.at("one/chars/man_zz00.crz")) +
                              replaced_lines(":Runtime:Geometries:my folder :gone.obj", dir.at("one/Runtime/Geometries/man/man.obj")));

    // Letter case alone is no reason to rewrite, and a corrupt compressed file is left alone.
    write_bytes(dir.at("one/chars/case.cr2"), "figureResFile :runtime:geometries:MAN:man.obj\n");
    write_bytes(dir.at("one/chars/bad.crz"), "\x1f\x8b\x08 broken");
    EXPECT_EQ(seen_repairing(run, dir.at("one/chars/case.cr2")).size(), 1u);
    EXPECT_EQ(seen_repairing(run, dir.at("one/chars/bad.crz")).back(), "warning\tnone\tI can't read this file\t" + dir.at("one/chars/bad.crz"));
    EXPECT_FALSE(exists(dir.at("one/chars/case_zz00.cr2")) || exists(dir.at("one/chars/bad_zz00.crz")));
}

TEST_F(ExtendedRepair, PicksUnderAnyRootAndReplacementsFoundByName)
{
    // The lines after the first, which the first repair leaves as they are.
    const std::string rest = "figureResFile :Runtime:Geometries:old:bob.obj\n"
                             "objFileGeom 0 0 :x:chair.obz\n"
                             "objFileGeom 0 0 :x:nothing.obj\n";
    write_bytes(dir.at("one/chars/a.cr2"), "figureResFile :Runtime:Geometries:gone:hair.obj\n" + rest);
    // Without --auto a single namesake is proposed, not taken; a cancelled file stays as it is, and the rest go on.
    auto seen = seen_repairing(run, dir.at("one/chars/a.cr2"), {dir.at("two/Runtime/Geometries/hair/bob.obj"), "cancel", "cancel"});
    EXPECT_EQ(seen, (Lines{"title\t" + dir.at("one/chars/a.cr2"),
                           chooser("one/Runtime/Geometries/gone/hair.obj", "two/Runtime/Geometries/hair/bob.obj"),
                           chooser("two/Runtime/Geometries/hair/bob.obj", "cancel"), chooser("one/a/chair.obz", "cancel"),
                           chooser("one/x/nothing.obj", "cancel")}));
    EXPECT_EQ(read_bytes(dir.at("one/chars/a.cr2")), "figureResFile :Runtime:Geometries:hair:bob.obj\n" + rest);
    EXPECT_NE(log_text().find("      left as it is: :Runtime:Geometries:old:bob.obj\r\n"), std::string::npos);

    start_over("");
    run.posername = dir.at("one");
    use_library_rules(run, LibraryOptions{true, {dir.at("one"), dir.at("two")}, {}});
    seen = seen_repairing(run, dir.at("one/chars/a.cr2"), {dir.at("two/b/chair.obz"), dir.at("one/Runtime/Geometries/man/man.obj")});
    EXPECT_EQ(read_bytes(dir.at("one/chars/a.cr2")), "figureResFile :Runtime:Geometries:hair:bob.obj\n"
                                                     "figureResFile :Runtime:Geometries:hair:bob.obj\n"
                                                     "objFileGeom 0 0 :b:chair.obz\n"
                                                     "objFileGeom 0 0 :Runtime:Geometries:man:man.obj\n");
    // A file found by name is taken without a box, and logged.
    EXPECT_EQ(seen, (Lines{"title\t" + dir.at("one/chars/a.cr2"), chooser("one/a/chair.obz", "two/b/chair.obz"),
                           chooser("one/x/nothing.obj", "one/Runtime/Geometries/man/man.obj")}));
    EXPECT_NE(log_text().find(replaced_lines(":Runtime:Geometries:old:bob.obj", dir.at("two/Runtime/Geometries/hair/bob.obj")) +
                              "      (found by name)\r\n" + replaced_lines(":x:chair.obz", dir.at("two/b/chair.obz"))),
              std::string::npos);
}

// Where no copy can be made or written, each file is warned about under its copy's name, in
// order, and left as it was: a file asking nothing has its copy made in memory and created and
// written later; one with a missing mesh asks first only when its copy could be created.
TEST_F(PoserFile, ACopyThatCannotBeMadeLeavesItsFileAlone)
{
    const std::string a = dir.at("Poser/chars/a.cr2"), b = dir.at("Poser/chars/b.cr2");
    const std::string a_kept = dir.at("Poser/chars/a_zz00.cr2"), b_kept = dir.at("Poser/chars/b_zz00.cr2");
    const Files files{{a, "prop 0 0 geom:ball.obj\n"}, {b, "figureResFile :geom:gone.obj\n"}, {man, "figureResFile :geom:man2.obj\n"}};
    const auto copy_written = [](fsys::Op op, const std::string& path) { return op == fsys::Op::write && path.find("_zz00") != std::string::npos; };
    for (const bool creating : {true, false}) {
        for (const bool unseen : {false, true}) {
            SCOPED_TRACE(std::string(creating ? "creating" : "writing") + (unseen ? ", answered unseen" : ""));
            disk.refuse_new_files(creating);
            Lines shown = walked(files, copy_written, unseen);
            disk.refuse_new_files(false);
            std::erase_if(shown, [](const std::string& l) { return l.rfind("warning", 0) != 0 && l.rfind("open", 0) != 0; });
            const std::string failed = creating ? "warning\tnone\tI can't open this file\t" : "warning\tnone\tI can't write this file\t";
            Lines expected{failed + a_kept, chooser_line(obj("gone.obj"), obj("man2.obj")), failed + b_kept};
            expected.erase(expected.begin() + 1, expected.begin() + (creating ? 2 : 1));  // no copy created, nothing asked
            EXPECT_EQ(shown, expected);
            const std::string abandoned = "      RUN ABANDONED\r\n";
            const std::string replaced = creating ? "" : replaced_lines(obj("gone.obj"), obj("man2.obj"));
            EXPECT_EQ(log_text(), correcting_lines(a, a_kept) + abandoned + correcting_lines(b, b_kept) + replaced + abandoned);
            EXPECT_EQ(left_files(), files);
            EXPECT_EQ(run.tally.abandoned, 2);
        }
    }
}

// The repairs of a walk finish together: their copies are flushed at once, then each file is given its new text in
// turn, before the next prompt the user sees; a question answered unseen (--yes) does not end the batch, which then
// spans folders. A disk failing at any step, or dying there, leaves each old text whole under its own name, the backup
// name or the swap name; the log and the prompts come in the order one file at a time gives them.
TEST_F(PoserFile, RepairsFinishedTogetherKeepEveryOldText)
{
    const std::string b = dir.at("Poser/chars/one/b.cr2"), c = dir.at("Poser/chars/two/c.hr2");
    const Files files{{dir.at("Poser/chars/one/a.cr2"), "prop 0 0 geom:ball.obj\n"}, {b, "figureResFile :geom:gone.obj\n"},
                      {c, "prop 0 0 geom:man2.obj\n"}};
    auto kept = [](const std::string& path) { return path.substr(0, path.size() - 4) + "_zz00" + path.substr(path.size() - 4); };
    for (const bool unseen : {false, true}) {
        SCOPED_TRACE(unseen ? "questions answered unseen" : "questions shown");
        Lines steps;
        const Lines seen = walked(files, recording(steps), unseen);
        std::string expected_log;
        for (const auto& [path, text] : files) {
            EXPECT_EQ(read_bytes(kept(path)), text);
            expected_log += correcting_lines(path, kept(path)) + (path == b ? replaced_lines(obj("gone.obj"), obj("man2.obj")) : "");
        }
        EXPECT_EQ(log_text(), expected_log);
        EXPECT_EQ(std::count_if(seen.begin(), seen.end(), [](const std::string& l) { return l.rfind("open\t", 0) == 0; }), 1);
        EXPECT_EQ(seen.back(), unseen ? "title\t" + c : continue_line(dir.at("Poser/chars/two"), "yes"));
        // b.cr2 is given its new text before c.hr2's copy is written only when the question between them is seen.
        const auto at = [&](const std::string& step) { return std::find(steps.begin(), steps.end(), step) - steps.begin(); };
        EXPECT_EQ(at("3 " + b) > at("0 " + kept(c)), unseen);
        for (std::size_t k = 0; k < steps.size(); ++k) {
            SCOPED_TRACE("from step " + steps[k]);
            std::size_t taken = 0;
            walked(files, [&](fsys::Op, const std::string&) { return taken++ >= k; }, unseen);
            const Files left = files_below(dir.at("Poser/chars"));
            for (const auto& file : files) {
                const std::string& path = file.first;
                const std::string swap = path.substr(0, path.rfind(fsys::k_sep) + 1) + k_swap_file_name;
                auto holds = [&](const std::string& p) { return left.count(p) != 0 && left.at(p) == file.second; };
                EXPECT_TRUE(holds(path) || holds(kept(path)) || holds(swap)) << path;
            }
        }
    }
}

// The repairs of a walk, finished together, show and log what one file at a time shows and logs, in its order, and
// leave the same files: random trees of files that need a repair, need none, ask for a mesh, cannot be opened, or lie
// beside a swap file left over, walked with every question answered unseen (--yes), so that a batch spans folders.
TEST(RepairBatch, RandomTreesAsOneFileAtATime)
{
    struct OneAtATime : DefaultRules {
        std::unique_ptr<FolderRepairs> folder_repairs(::Run& run, Prompts& wn) override { return Rules::folder_repairs(run, wn); }
    };
    const std::string root = absolute("/P");
    const char* const texts[] = {"figureResFile Runtime:geom:m.obj\n", "figureResFile :Runtime:geom:m.obj\n",
                                 "figureResFile :Runtime:geom:gone.obj\n"};
    for (const unsigned seed : {1u, 2u}) {
        std::mt19937 random(seed);
        for (int tree = 0; tree < 200; ++tree) {
            std::vector<std::pair<std::string, int>> files;  // a file's path, and its text (3: a folder, 4: a swap file)
            for (int k = 0, n = static_cast<int>(random() % 12); k < n; ++k) {
                const std::string folder = "/P/" + std::string(random() % 3, 'd') + "/" + std::string(random() % 2, 'e');
                const int kind = static_cast<int>(random() % 10);
                files.emplace_back(folder + "/f" + std::to_string(k) + ".cr2", kind < 5 ? 0 : std::min(kind - 4, 4));
            }
            const auto walk = [&](bool batched) {
                fsys::MemoryFileSystem disk;
                disk.add_file(absolute("/P/Runtime/geom/m.obj"), "");
                for (const auto& [path, kind] : files) {
                    const std::string at = absolute(path);
                    kind == 3   ? disk.add_folder(at)
                    : kind == 4 ? disk.add_file(at.substr(0, at.rfind(fsys::k_sep) + 1) + k_swap_file_name, "")
                                : disk.add_file(at, texts[kind]);
                }
                ::Run run(disk);
                reset_engine(run, root);
                if (!batched) {
                    run.use_rules(std::make_unique<OneAtATime>());
                }
                open_log(run, absolute("/log.txt"));
                ScriptedSession seen({}, disk);  // what the user sees when the questions are answered unseen: no question
                searchdir(run, root, seen.yes);
                run.LOG.reset();
                return std::pair(seen.transcript(), disk.files_below(absolute("/")));
            };
            EXPECT_EQ(walk(true), walk(false)) << "seed " << seed << ", tree " << tree;
        }
    }
}
