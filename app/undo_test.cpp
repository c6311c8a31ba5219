// Repairs undone: from the run folders' manifests, and from a default run's log.
#include "app/run_folders.h"
#include "app/undo.h"
#include "app/undo_command.h"

#include "engine/folder_walk.h"
#include "engine/poserfile.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

class Undo : public testing::Test {
protected:
    void SetUp() override
    {
        write_bytes(dir.at("root/Runtime/Geometries/a.obj"), "");
        write_bytes(plain, "{\nfigureResFile :Runtime:Geometries:gone.obj\r\n}");
        write_gzip(packed, "objFileGeom 0 0 :Runtime:Geometries:old:a.obj\n");
        write_bytes(dir.at("root/Runtime/Libraries/fine.cr2"), "figureResFile :Runtime:Geometries:a.obj\n");
        before = files_below(dir.at("root/Runtime"));
    }
    void TearDown() override { reset_engine(""); }
    // An extended repair of the library with run folders; the run folder it made.
    std::string repair()
    {
        reset_engine(dir.at("root"));
        use_library_rules(LibraryOptions{true, {dir.at("root")}});
        RunFolders folders(RunSettings{"9.9", true, {dir.at("root")}}, "20261207-101010");
        library_rules()->set_journal(&folders);
        ScriptedSession s({dir.at("root/Runtime/Geometries/a.obj")});
        searchdir(dir.at("root/Runtime/Libraries"), s.wn);
        return dir.at("root/tarnwick-runs/20261207-101010");
    }
    // The manifest of `run` with `from` replaced by `to`.
    void edit_manifest(const std::string& run, const std::string& from, const std::string& to)
    {
        std::string text = read_bytes(run + "/manifest.json");
        text.replace(text.find(from), from.size(), to);
        write_bytes(run + "/manifest.json", text);
    }

    TempDir dir;
    std::string plain = dir.at("root/Runtime/Libraries/a.cr2"), packed = dir.at("root/Runtime/Libraries/sub/b.crz");
    Files before;
};

TEST_F(Undo, ARepairUndoneGivesBackEveryFileByteForByteOnce)
{
    const std::string run = repair();
    EXPECT_EQ(read_bytes(plain), "{\nfigureResFile :Runtime:Geometries:a.obj\r\n}");
    EXPECT_EQ(read_bytes(run + "/Runtime/Libraries/a.cr2"), before[plain]);
    const std::vector<RunFolderInfo> runs = find_runs({dir.at("root")});
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].files == 2 && runs[0].replacements == 2 && runs[0].undone.empty());

    UndoOutcome outcome;
    std::string error;
    ASSERT_TRUE(undo_run(run + "/manifest.json", outcome, error)) << error;
    EXPECT_EQ(outcome.restored.size(), 2u);
    EXPECT_EQ(files_below(dir.at("root/Runtime")), before);
    EXPECT_EQ(files_below(run).size(), 1u);  // the manifest alone, marked undone
    EXPECT_FALSE(find_runs({dir.at("root")})[0].undone.empty());
    EXPECT_FALSE(undo_run(run, outcome, error));
    EXPECT_NE(error.find("was undone already"), std::string::npos);
}

TEST_F(Undo, AFileChangedSinceIsLeftAloneAndAMissingOneRestored)
{
    const std::string run = repair();
    write_bytes(plain, "changed by hand\n");
    fs::remove(packed);
    UndoOutcome outcome;
    std::string error;
    ASSERT_TRUE(undo_run(run, outcome, error)) << error;
    ASSERT_EQ(outcome.left.size(), 1u);
    EXPECT_EQ(outcome.left[0], std::make_pair(plain, std::string("changed since the run")));
    EXPECT_EQ(read_bytes(plain), "changed by hand\n");
    EXPECT_EQ(read_bytes(run + "/Runtime/Libraries/a.cr2"), before[plain]);
    EXPECT_EQ(read_bytes(packed), before[packed]);
}

TEST_F(Undo, BadManifestsAreRefusedAndNothingChanges)
{
    const std::pair<std::string, std::string> edits[] = {
        {"\"files\":[", "\"files\":"},                        // corrupt
        {"\"format\":1", "\"format\":2"},                     // from a newer program
        {"\"path\":\"Runtime", "\"path\":\"../../Runtime"},  // outside the root
        {"\"backup\":\"Runtime", "\"backup\":\"/Runtime"},
        {"\"path\":\"Runtime", "\"path\":\"C:\\\\Runtime"},
    };
    for (const auto& [from, to] : edits) {
        SCOPED_TRACE(to);
        fs::remove_all(dir.at("root/tarnwick-runs"));
        SetUp();
        const std::string run = repair();
        const Files repaired = files_below(dir.at("root"));
        edit_manifest(run, from, to);
        UndoOutcome outcome;
        std::string error;
        EXPECT_FALSE(undo_run(run, outcome, error));
        EXPECT_NE(error.find("the manifest " + run), std::string::npos);
        EXPECT_EQ(files_below(dir.at("root")).size(), repaired.size());
        EXPECT_EQ(read_bytes(plain), repaired.at(plain));
    }
}

// An undo stopped at any of its steps leaves each old text under a name, and a second undo finishes it.
TEST_F(Undo, AFailingDiskAtEveryStepOfAnUndoKeepsTheOldText)
{
    for (std::size_t k = 0;; ++k) {
        SCOPED_TRACE(k);
        fs::remove_all(dir.at("root/tarnwick-runs"));
        SetUp();
        const std::string run = repair();
        std::size_t seen = 0;
        fsys::set_fault_hook([&](fsys::Op, const std::string&) { return seen++ >= k; });
        UndoOutcome outcome;
        std::string error;
        undo_run(run, outcome, error);
        fsys::set_fault_hook(nullptr);
        const Files all = files_below(dir.at("root"));
        for (const std::string& file : {plain, packed}) {
            const std::string kept = run + file.substr(dir.at("root").size());
            EXPECT_TRUE(all.count(file) && (all.at(file) == before[file] || (all.count(kept) && all.at(kept) == before[file])));
        }
        if (seen <= k) {
            break;  // every step taken
        }
        if (undo_run(run, outcome, error)) {
            EXPECT_EQ(files_below(dir.at("root/Runtime")), before);
        }
    }
}

TEST_F(Undo, ADefaultRunUndoneFromItsLogKeepsTheCorrectedText)
{
    reset_engine(dir.at("root"));
    open_log(dir.at("__result_of_run.txt"));
    write_bytes(dir.at("root/gone.cr2"), "figureResFile :Runtime:Geometries:none.obj\n");
    ScriptedSession s({dir.at("root/Runtime/Geometries/a.obj"), "cancel"});
    readposerfile(plain, s.wn);
    readposerfile(dir.at("root/gone.cr2"), s.wn);  // abandoned: nothing to undo
    LOG.reset();
    const std::string corrected = read_bytes(plain);
    UndoOutcome outcome;
    std::string error;
    ASSERT_TRUE(undo_from_log(dir.at("__result_of_run.txt"), outcome, error)) << error;
    EXPECT_EQ(outcome.restored, Lines{plain + " (its corrected text kept on " + dir.at("root/Runtime/Libraries/a_zz01.cr2") + ")"});
    EXPECT_EQ(read_bytes(plain), before[plain]);
    EXPECT_EQ(read_bytes(dir.at("root/Runtime/Libraries/a_zz01.cr2")), corrected);
    EXPECT_FALSE(exists(dir.at("root/Runtime/Libraries/a_zz00.cr2")));
}

TEST_F(Undo, TheLastRunNamedInAQuestionThenUndone)
{
    repair();
    ScriptedSession s({"no", "yes"});
    undo_last_run({dir.at("root")}, s.wn);
    EXPECT_NE(read_bytes(plain), before[plain]);
    undo_last_run({dir.at("root")}, s.wn);
    EXPECT_EQ(files_below(dir.at("root/Runtime")), before);
    EXPECT_EQ(s.transcript()[0].find("question\tnone\tundo the last extended run?\tthe run of 2026-12-07 10:10:10: 2 files"), 0u);
    EXPECT_EQ(s.transcript().back(), "information\tnone\tundo the last extended run\t2 files restored, 0 left alone");
}

TEST_F(Undo, AForgottenRunIsGoneAndAMissingLogRefused)
{
    const std::string run = repair();
    std::string error;
    EXPECT_TRUE(forget_run(run, error)) << error;
    EXPECT_FALSE(exists(run));
    EXPECT_FALSE(forget_run(run, error));
    UndoOutcome outcome;
    EXPECT_FALSE(undo_from_log(dir.at("no log.txt"), outcome, error));
    EXPECT_EQ(error, "can't read the log " + dir.at("no log.txt"));
}
