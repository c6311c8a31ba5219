// Repairs undone: from the run folders' manifests, and from a default run's log; run folders,
// manifests and logs planted or damaged by what arrives with content never turned against the user.
#include "app/run_folders.h"
#include "app/runs.h"
#include "app/undo.h"
#include "app/undo_command.h"

#include "engine/library/content_paths.h"
#include "engine/repair/folder_walk.h"
#include "engine/repair/poserfile.h"
#include "tests/test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

// A moment after the runs below, made at 2026-12-07 10:10:10 in local time.
const std::time_t k_later = local_time("2026-12-07 12:00:00");

// An extended repair of `root`'s library on `disk` with run folders of the time `stamp`; its run folder.
std::string repair_library(fsys::FileSystem& disk, const std::string& root, const std::string& stamp, Lines answers,
                           std::string* log = nullptr)
{
    ::Run run(disk);
    run.posername = root;
    run.log_capture = log;
    LibraryRules& rules = use_library_rules(run, LibraryOptions{true, {root}, {}});
    RunFolders folders(run, RunSettings{"9.9", true, {root}}, stamp);
    rules.set_journal(&folders);
    run.start();
    ScriptedPrompts answerer(std::move(answers), disk);
    searchdir(run, child_path(root, "Runtime"), answerer);
    return child_path(child_path(root, k_runs_folder_name), stamp);
}

// What an undo gave back, and why it refused.
struct Undone : testing::Test {
    UndoOutcome outcome;
    std::string error;
};

}  // namespace

class Undo : public Undone {
protected:
    void SetUp() override
    {
        write_bytes(dir.at("root/Runtime/Geometries/a.obj"), "");
        write_bytes(plain, "{\nfigureResFile :Runtime:Geometries:gone.obj\r\n}");
        write_gzip(packed, "objFileGeom 0 0 :Runtime:Geometries:old:a.obj\n");
        write_bytes(dir.at("root/Runtime/Libraries/fine.cr2"), "figureResFile :Runtime:Geometries:a.obj\n");
        before = files_below(dir.at("root/Runtime"));
    }
    std::string repair() { return repair_library(disk, dir.at("root"), "20261207-101010", {dir.at("root/Runtime/Geometries/a.obj")}, &log); }

    TempDir dir;
    FailingFileSystem disk;
    std::string plain = dir.at("root/Runtime/Libraries/a.cr2"), packed = dir.at("root/Runtime/Libraries/sub/b.crz"), log;
    Files before;
};

TEST_F(Undo, ARepairUndoneGivesBackEveryFileByteForByteOnce)
{
    const std::string run = repair();
    EXPECT_EQ(read_bytes(plain), "{\nfigureResFile :Runtime:Geometries:a.obj\r\n}");
    EXPECT_EQ(read_bytes(run + "/Runtime/Libraries/a.cr2"), before[plain]);
    const RunList list = find_runs(disk, {dir.at("root")}, k_later);
    ASSERT_EQ(list.runs.size(), 1u);
    EXPECT_TRUE(list.runs[0].files == 2 && list.runs[0].replacements == 2 && list.runs[0].undone.empty());
    EXPECT_NE(read_bytes(run + "/manifest.json").find("\"options\":{\"modern\":true,"), std::string::npos);
    EXPECT_EQ(log.find("kept beside"), std::string::npos) << log;  // every old version is in the run folder

    ASSERT_TRUE(undo_run(disk, run + "/manifest.json", k_later, outcome, error)) << error;
    EXPECT_EQ(outcome.restored.size(), 2u);
    EXPECT_EQ(files_below(dir.at("root/Runtime")), before);
    EXPECT_EQ(files_below(run).size(), 1u);  // the manifest alone, marked undone
    EXPECT_FALSE(find_runs(disk, {dir.at("root")}, k_later).runs[0].undone.empty());
    EXPECT_TRUE(last_run(find_runs(disk, {dir.at("root")}, k_later)).empty());
    EXPECT_FALSE(undo_run(disk, run, k_later, outcome, error));
    EXPECT_NE(error.find("was undone already"), std::string::npos);
}

TEST_F(Undo, AFileChangedSinceIsLeftAloneAndAMissingOneRestored)
{
    const std::string run = repair();
    write_bytes(plain, "changed by hand\n");
    fs::remove(packed);
    ASSERT_TRUE(undo_run(disk, run, k_later, outcome, error)) << error;
    EXPECT_EQ(outcome.left, (std::vector<std::pair<std::string, std::string>>{{plain, "changed since the run"}}));
    EXPECT_EQ(read_bytes(plain), "changed by hand\n");
    EXPECT_EQ(read_bytes(run + "/Runtime/Libraries/a.cr2"), before[plain]);
    EXPECT_EQ(read_bytes(packed), before[packed]);
}

#ifndef _WIN32  // Windows gives every name in Unicode
// A name that is not UTF-8 cannot be in the manifest: its old version is kept beside it, the run holds the others.
TEST_F(Undo, ANameThatIsNotUtf8KeepsItsOldVersionBesideIt)
{
    const std::string odd = dir.at("root/Runtime/Libraries/caf\xe9.cr2");
    write_bytes(odd, "figureResFile Runtime:Geometries:a.obj\n");
    repair();
    EXPECT_EQ(read_bytes(odd), "figureResFile :Runtime:Geometries:a.obj\n");
    EXPECT_EQ(read_bytes(dir.at("root/Runtime/Libraries/caf\xe9_zz00.cr2")), "figureResFile Runtime:Geometries:a.obj\n");
    EXPECT_NE(log.find("\nsome old versions are kept beside their files: the run folder cannot hold them\n"), std::string::npos) << log;
    const RunList list = find_runs(disk, {dir.at("root")}, k_later);
    ASSERT_EQ(list.runs.size(), 1u);
    EXPECT_EQ(list.runs[0].files, 2);
}
#endif

// A folder of the run folder that cannot be made sends the old versions of its files beside them,
// as the default repair keeps them, said once in the log; the others stay in the run folder.
TEST_F(Undo, AFolderTheRunFolderCannotMakeKeepsOldVersionsBesideTheirFiles)
{
    disk.fail_when([](fsys::Op op, const std::string& path) {
        return op == fsys::Op::make_folder && path.find(k_runs_folder_name) != std::string::npos &&
               path.find("sub") != std::string::npos;
    });
    const std::string run = repair();
    disk.fail_when(nullptr);
    EXPECT_TRUE(std::filesystem::exists(fs_path(dir.at("root/Runtime/Libraries/sub/b_zz00.crz"))));
    EXPECT_EQ(read_bytes(run + "/Runtime/Libraries/a.cr2"), "{\nfigureResFile :Runtime:Geometries:gone.obj\r\n}");
    EXPECT_FALSE(std::filesystem::exists(fs_path(run + "/Runtime/Libraries/sub")));
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
        disk.fail_when([&](fsys::Op, const std::string&) { return seen++ >= k; });
        undo_run(disk, run, k_later, outcome, error);
        disk.fail_when(nullptr);
        const Files all = files_below(dir.at("root"));
        for (const std::string& file : {plain, packed}) {
            const std::string kept = run + file.substr(dir.at("root").size());
            EXPECT_TRUE(all.count(file) && (all.at(file) == before[file] || (all.count(kept) && all.at(kept) == before[file])));
        }
        if (seen <= k) {
            break;  // every step taken
        }
        if (undo_run(disk, run, k_later, outcome, error)) {
            EXPECT_EQ(files_below(dir.at("root/Runtime")), before);
        }
    }
}

TEST_F(Undo, ADefaultRunUndoneFromItsLogKeepsTheCorrectedText)
{
    ::Run run;
    reset_engine(run, dir.at("root"));
    open_log(run, dir.at("__result_of_run.txt"));
    write_bytes(dir.at("root/gone.cr2"), "figureResFile :Runtime:Geometries:none.obj\n");
    seen_repairing(run, plain, {dir.at("root/Runtime/Geometries/a.obj")});
    seen_repairing(run, dir.at("root/gone.cr2"), {"cancel"});  // abandoned: nothing to undo
    run.LOG.reset();
    const std::string corrected = read_bytes(plain);
    ASSERT_TRUE(undo_from_log(disk, dir.at("__result_of_run.txt"), {dir.at("root")}, outcome, error)) << error;
    EXPECT_EQ(outcome.restored, Lines{plain + " (its corrected text kept on " + dir.at("root/Runtime/Libraries/a_zz01.cr2") + ")"});
    EXPECT_EQ(read_bytes(plain), before[plain]);
    EXPECT_EQ(read_bytes(dir.at("root/Runtime/Libraries/a_zz01.cr2")), corrected);
    EXPECT_FALSE(exists(dir.at("root/Runtime/Libraries/a_zz00.cr2")));
    EXPECT_FALSE(undo_from_log(disk, dir.at("no log.txt"), {}, outcome, error));
    EXPECT_EQ(error, "can't read the log " + dir.at("no log.txt"));
}

// The window names the run, says at once when nothing is left, and goes back one run at a time.
TEST_F(Undo, TheLastRunNamedInAQuestionThenUndoneOneRunAtATime)
{
    repair();
    const std::string later = dir.at("root/Runtime/Libraries/later.cr2");
    write_bytes(later, "figureResFile :Runtime:Geometries:gone2.obj\n");
    repair_library(disk, dir.at("root"), "20261207-111111", {dir.at("root/Runtime/Geometries/a.obj")});
    ScriptedSession s({"no", "yes", "yes"});
    undo_last_run(disk, {dir.at("root")}, s.wn, k_later);
    undo_last_run(disk, {dir.at("root")}, s.wn, k_later);
    EXPECT_EQ(read_bytes(later), "figureResFile :Runtime:Geometries:gone2.obj\n");
    EXPECT_NE(read_bytes(plain), before[plain]);
    undo_last_run(disk, {dir.at("root")}, s.wn, k_later);
    fs::remove(later);
    EXPECT_EQ(files_below(dir.at("root/Runtime")), before);
    undo_last_run(disk, {dir.at("root")}, s.wn, k_later);
    const Lines& t = s.transcript();
    ASSERT_EQ(t.size(), 6u);
    const std::string asked = "question\tnone\tundo the last run?\tthe run of ";
    EXPECT_EQ(t[0].find(asked + "2026-12-07 11:11:11 below " + dir.at("root") + ": 1 file changed"), 0u);
    EXPECT_EQ(t[3].find(asked + "2026-12-07 11:11:11 was undone already.\\nthe run of 2026-12-07 10:10:10 below " + dir.at("root") +
                        ": 2 files"),
              0u);
    EXPECT_EQ(t[5], "information\tnone\tundo the last run\tthe run of 2026-12-07 10:10:10 was undone already, "
                    "and no other run is left to undo below the roots");
}

#ifndef _WIN32
// A library below `root` on `m` whose `documents` name a gone mesh, repaired by picking the one there; its run folder.
static std::string repaired(fsys::MemoryFileSystem& m, const std::string& root, const Lines& documents = {"Runtime/Libraries/a.cr2"})
{
    m.add_file(child_path(root, "Runtime/Geometries/a.obj"), "");
    for (const std::string& document : documents) {
        m.add_file(child_path(root, document), "figureResFile :Runtime:Geometries:gone.obj\n");
    }
    return repair_library(m, root, "20261207-101010", {child_path(root, "Runtime/Geometries/a.obj")});
}

// The console's undo command for `request` with `typed` on its input: its exit status, then its output, then its errors.
static std::string undo_command(fsys::FileSystem& fs, const UndoRequest& request, const std::string& typed = "")
{
    std::FILE *in = std::tmpfile(), *out = std::tmpfile(), *err = std::tmpfile();
    std::fputs(typed.c_str(), in);
    std::rewind(in);
    const int status = run_undo_command(fs, request, in, out, err, true);
    std::fclose(in);
    return std::to_string(status) + " " + file_text(out) + file_text(err);
}

// Run folders, manifests and logs that arrive with content: each refused with a clear message, and nothing outside the
// root changed, on a disk in memory with either platform's rules and on the real disk.
using HostileRuns = Undone;
struct Hostile {
    std::string name;
    std::function<void(fsys::MemoryFileSystem&, const std::string& run)> plant;
    std::string refused;  // what undo_run and forget_run say
};

TEST_F(HostileRuns, PlantedLinksFutureRunsAndDamagedManifestsAreRefused)
{
    const std::string r = std::string(1, fsys::k_sep) + "lib", victim = child_path(r, "../victim");
    auto manifest_edit = [](const std::string& from, const std::string& to) {
        return [=](fsys::MemoryFileSystem& m, const std::string& run) {
            std::string text = m.bytes(child_path(run, "manifest.json"));
            text.replace(text.find(from), from.size(), to);
            m.add_file(child_path(run, "manifest.json"), text);
        };
    };
    const std::vector<Hostile> table = {
        {"run folder a link", [](fsys::MemoryFileSystem& m, const std::string& run) { m.add_link(run + "-2", run); }, "is a link"},
        {"a link below the run folder", [](fsys::MemoryFileSystem& m, const std::string& run) {
             m.add_file("/victim/Libraries/a.cr2", "victim's");
             m.remove_file(run + "/Runtime/Libraries/a.cr2");
             m.remove_folder(run + "/Runtime/Libraries");
             m.add_link(run + "/Runtime/Libraries", "/victim/Libraries");
         }, "is a link"},
        {"wrong types", manifest_edit("\"program\":\"tarnwick\"", "\"program\":1"), "is corrupt"},
        {"another program's", manifest_edit("\"program\":\"tarnwick\"", "\"program\":\"tarnwiki\""), "not a manifest of tarnwick"},
        {"started not its folder's", manifest_edit("\"started\":\"20261207-101010\"", "\"started\":\"20261207-101011\""),
         "is corrupt"},
        {"digest of the wrong type", manifest_edit("\"size\":", "\"size\":\"x\",\"y\":"), "is corrupt"},
        {"files no list", manifest_edit("\"files\":[", "\"files\":0,\"x\":["), "not a manifest of tarnwick"},
        {"a newer format", manifest_edit("\"format\":1", "\"format\":99"), "was written by a newer tarnwick"},
        {"undone no time", manifest_edit("\"undone\":null", "\"undone\":1"), "its undo time is no time"},
        {"a kind unknown", manifest_edit("\"format\":1", "\"format\":1,\"kind\":\"x\""), "no kind this tarnwick knows"},
        {"no manifest", [](fsys::MemoryFileSystem& m, const std::string& run) { m.remove_file(child_path(run, "manifest.json")); },
         "no run folder with a manifest"},
        {"a manifest that is a folder", [](fsys::MemoryFileSystem& m, const std::string& run) {
             m.remove_file(child_path(run, "manifest.json"));
             m.add_folder(child_path(run, "manifest.json"));
         }, "is no plain file"},
        {"truncated", [](fsys::MemoryFileSystem& m, const std::string& run) {
             m.add_file(child_path(run, "manifest.json"), m.bytes(child_path(run, "manifest.json")).substr(0, 120));
         }, "is corrupt"},
        {"outside its root", manifest_edit("\"path\":\"Runtime", "\"path\":\"../victim/Runtime"), "outside its root"},
        {"in the run folders", manifest_edit("\"path\":\"Runtime", "\"path\":\"tarnwick-runs/x/Runtime"), "outside its root"},
        {"recorded for another root", manifest_edit("\"root\":\"", "\"root\":\"C:\\\\Users\\\\vendor\\\\Poser"),
         "was recorded for another root: C:\\Users\\vendor\\Poser"},
        {"an old version outside its run folder", manifest_edit("\"backup\":\"Runtime", "\"backup\":\"../../../victim/Runtime"),
         "names an old version outside its run folder: ../../../victim/Runtime"},
    };
    for (fsys::DiskRules rules : {fsys::DiskRules::posix, fsys::DiskRules::windows}) {
        for (const Hostile& h : table) {
            if (rules == fsys::DiskRules::windows && h.name == "run folder a link") {
                continue;  // a junction to a folder is listed as one: the same case as below
            }
            SCOPED_TRACE(h.name);
            fsys::MemoryFileSystem m(rules);
            m.add_file("/victim/Runtime/Libraries/a.cr2", "victim's");
            const std::string run = repaired(m, r);
            h.plant(m, run);
            const auto outside = m.files_below("/victim");
            const std::string target = h.name == "run folder a link" ? run + "-2" : run;
            error.clear();
            EXPECT_FALSE(undo_run(m, target, k_later, outcome, error));
            EXPECT_NE(error.find(h.refused), std::string::npos) << error;
            EXPECT_FALSE(forget_run(m, target, k_later, error) && h.name == "run folder a link");
            // A run folder that cannot be deleted whole is refused before anything in it is deleted.
            EXPECT_TRUE(h.name != "a link below the run folder" || m.entry_exists(child_path(run, "manifest.json")));
            EXPECT_EQ(m.files_below("/victim"), outside);
            const RunList list = find_runs(m, {r}, k_later);
            EXPECT_TRUE(list.runs.size() <= 1u && (h.name != "run folder a link" || !list.refused.empty()));
        }
    }
}

// A run dated after now, planted to shadow the user's, is no run: the user's own is undone. A run named with roots to
// undo it below is undone only when it lies below one; a file the manifest names twice is one file given back.
TEST_F(HostileRuns, APlantedFutureRunIsPassedOverANamedRunOutsideTheRootsIsRefusedAndAFileNamedTwiceCountsOnce)
{
    fsys::MemoryFileSystem m;
    const std::string r = "/lib", run = repaired(m, r);
    const std::string planted = "/lib/tarnwick-runs/99991231-235959";
    std::string manifest = m.bytes(run + "/manifest.json");
    manifest.replace(manifest.find("20261207-101010"), 15, "99991231-235959");
    // Nor is a folder named by no time at all, whatever its manifest says.
    Lines refused;
    for (const char* name : {"20261200-101010", "20261207-101010-", "20261207-101010-x", "20261207-10101x", "20261207-106010",
                             "20261207-246010", "20261207_101010", "2026120x-101010", "20261307-101010", "99991231-235959"}) {
        m.add_file("/lib/tarnwick-runs/" + std::string(name) + "/manifest.json", manifest);
        m.add_file("/lib/tarnwick-runs/" + std::string(name) + "/Runtime/Libraries/a.cr2", "planted\n");
        refused.push_back("refused: /lib/tarnwick-runs/" + std::string(name) + " is not named by the time of a run so far");
    }
    const RunList list = find_runs(m, {r}, k_later);
    ASSERT_EQ(list.runs.size(), 1u);
    EXPECT_EQ(list.refused, refused);
    ASSERT_EQ(last_run(list).size(), 1u);
    EXPECT_TRUE(undo_run(m, last_run(list)[0]->folder, k_later, outcome, error)) << error;
    EXPECT_EQ(m.bytes("/lib/Runtime/Libraries/a.cr2"), "figureResFile :Runtime:Geometries:gone.obj\n");
    EXPECT_FALSE(undo_run(m, planted, k_later, outcome, error));

    const std::string other = repaired(m, "/other");
    const std::string corrected = m.bytes("/other/Runtime/Libraries/a.cr2");
    EXPECT_EQ(undo_command(m, UndoRequest{UndoAction::undo, other, {"/lib"}, "", false}),
              "2 tarnwick-cli: the run " + other + " lies below none of the roots\n");
    EXPECT_EQ(m.bytes("/other/Runtime/Libraries/a.cr2"), corrected);
    manifest = m.bytes(other + "/manifest.json");
    const std::size_t entry = manifest.find("{\"path\"");
    const std::string file = manifest.substr(entry, manifest.rfind(']') - entry);
    manifest.insert(entry, file + ",");
    m.add_file(other + "/manifest.json", manifest);
    EXPECT_EQ(undo_command(m, UndoRequest{UndoAction::undo, other, {"/other"}, "", false}),
              "0 undoing the run of 2026-12-07 10:10:10 below /other: 1 file changed, old versions in " + other +
                  "\nrestored /other/Runtime/Libraries/a.cr2\n1 file restored, 0 left alone\n");
    // Forgetting a run asks first, and only "yes" deletes it, with the folders of the old versions it keeps.
    const std::string kept = repaired(m, "/kept");
    for (const char* answer : {"no\n", "", "yes\n"}) {
        EXPECT_EQ(undo_command(m, UndoRequest{UndoAction::forget, kept, {}, "", false}, answer),
                  (*answer == 'y' ? "0" : "1") + (" delete the old versions kept in " + kept + "? (yes/no) "));
        EXPECT_EQ(m.entry_exists(kept), *answer != 'y') << answer;
    }
}

// A file that cannot be given back (held open by Poser, a folder not writable) is left; a second undo finishes the run.
TEST_F(HostileRuns, APartialUndoIsFinishedByASecondOne)
{
    fsys::MemoryFileSystem m;
    const std::string r = "/lib", run = repaired(m, r, {"Runtime/Libraries/a.cr2", "Runtime/Libraries/sub/b.cr2"});
    // --runs says how far each run was undone.
    const auto listed = [&m, &r] { return undo_command(m, UndoRequest{UndoAction::runs, "", {r}, "", false}); };
    const std::string line = "0 20261207-101010  2 files changed, 2 references replaced";  // exit status 0, then the run
    EXPECT_EQ(listed(), line + "  " + run + "\n");
    m.set_folder_locked("/lib/Runtime/Libraries/sub", true);
    UndoOutcome first;
    ASSERT_TRUE(undo_run(m, run, k_later, first, error)) << error;
    EXPECT_EQ(first.restored.size(), 1u);
    EXPECT_EQ(first.left.size(), 1u);
    EXPECT_EQ(last_run(find_runs(m, {r}, k_later)).size(), 1u);  // still to be finished
    EXPECT_EQ(listed(), line + ", 1 undone  " + run + "\n");
    m.set_folder_locked("/lib/Runtime/Libraries/sub", false);
    UndoOutcome second;
    ASSERT_TRUE(undo_run(m, run, k_later, second, error)) << error;
    EXPECT_EQ(second.restored, Lines{"/lib/Runtime/Libraries/sub/b.cr2"});
    EXPECT_EQ(m.bytes("/lib/Runtime/Libraries/sub/b.cr2"), "figureResFile :Runtime:Geometries:gone.obj\n");
    EXPECT_EQ(listed(), line + ", undone " + run_stamp(k_later) + "  " + run + "\n");
    EXPECT_FALSE(undo_run(m, run, k_later, second, error));
    EXPECT_NE(error.find("was undone already"), std::string::npos);
    // An undo that cannot note in the manifest what it gave back says so.
    const std::string unnoted = repaired(m, "/unnoted");
    m.fail_when([](fsys::Op op, const std::string& at) { return op == fsys::Op::rename && at.ends_with("manifest.json.new"); });
    EXPECT_FALSE(undo_run(m, unnoted, k_later, second, error));
    EXPECT_EQ(error, "can't note in " + unnoted + "/manifest.json what was undone");
    m.fail_when(nullptr);
}

// Each block of a log and what comes of it: given back (""), left with its reason, or read as no repair ("-"). A log
// names what it likes: only a file below a root whose old version is its own backup beside it is given back.
TEST_F(HostileRuns, EachBlockOfALogIsReadAsARunWritesItAndNamesWithLineBreaksWriteNoLinesOfTheirOwn)
{
    const std::string not_named = "the log does not name its old version as a run does";
    const std::pair<std::string, std::string> rows[] = {
        {correcting_lines("/lib/a.cr2", "/lib/a_zz00.cr2"), ""},
        {"file /lib/b.cr2 being corrected: old version is on\r\n    /lib/b_zz00.cr2\r\n", not_named},
        {"file /lib/c.cr2 being corrected: old version is on\r\n      /lib/c_zz00.cr2\r\n", not_named},
        {"file /lib/d.cr2 being corrected: old version is on\r\n\r\n", "-"},
        {correcting_lines("/lib/e.cr2", "/lib/e_zz00.cr2") + "      RUN ABANDONED\r\n", "-"},
        {correcting_lines("/lib/f.cr2", "/lib/f_zz00.cr2") + "      nothing changed in it\r\n", "-"},
        {correcting_lines("/lib/g.cr2", "/lib/g_zz00.cr2") + "file /lib/g.cr2 read\r\n      RUN ABANDONED\r\n", ""},
        {correcting_lines("/lib/h.cr2", "/lib/h_zz01.cr2"), "its old version /lib/h_zz01.cr2 is gone"},
        {correcting_lines("/lib/i.cr2", "/lib/i_zz00.cr2"), "its old version /lib/i_zz00.cr2 is no plain file"},
        {correcting_lines("/lib/j.cr2", "/lib/j_zz00.cr2"), "it is no plain file"},
        {correcting_lines("/lib/k.cr2", "/lib/k.cr2"), "its old version /lib/k.cr2 is not its backup beside it"},
        {correcting_lines("/lib/l.cr2", "/lib/l_zzAB.cr2"), "its old version /lib/l_zzAB.cr2 is not its backup beside it"},
        {correcting_lines("/other/n.cr2", "/other/n_zz00.cr2"), "it lies outside the roots and the log's folder"},
        {correcting_lines("/home/notes.cr2", "/home/evil.cr2"), "its old version /home/evil.cr2 is not its backup beside it"},
        {correcting_lines("/lib/p.cr2", "/lib/evil.cr2"), "its old version /lib/evil.cr2 is not its backup beside it"},
        {correcting_lines("/lib/q.cr2", "/lib/q_zz00.cr2"), "its old version /lib/q_zz00.cr2 is a link, which may lead anywhere"},
        {correcting_lines("/lib/o\\x01.cr2", "/lib/o\\x01_zz00.cr2"),
         "its name holds a control character, which the log shows as \\xNN: it cannot be read back whole"},
    };
    fsys::MemoryFileSystem m;
    for (const auto& [text, left] : rows) {
        const std::string stem = text.substr(5, text.find(".cr2") - 5);
        m.add_file(stem + ".cr2", "corrected");
        m.add_file(stem + "_zz00.cr2", "old");
    }
    m.remove_file("/lib/i_zz00.cr2");
    m.add_folder("/lib/i_zz00.cr2");
    m.remove_file("/lib/j.cr2");
    m.add_folder("/lib/j.cr2");
    m.add_file("/home/evil.cr2", "planted");
    m.add_file("/lib/evil.cr2", "planted");
    m.remove_file("/lib/q_zz00.cr2");
    m.add_file("/home/mine.txt", "the user's");
    m.add_link("/lib/q_zz00.cr2", "/home/mine.txt");
    m.add_file("/logs/log.txt", "      RUN ABANDONED\r\n" + joined(rows, [](const auto& row) { return row.first; }, ""));  // head cut off
    ASSERT_TRUE(undo_from_log(m, "/logs/log.txt", {"/lib"}, outcome, error)) << error;
    std::map<std::string, std::string> left(outcome.left.begin(), outcome.left.end());
    EXPECT_EQ(left.size(), outcome.left.size());  // each file left once
    for (const auto& [text, why] : rows) {
        const std::string file = text.substr(5, text.find(".cr2") - 1);
        EXPECT_EQ(m.bytes(file) == "old" ? "" : left.count(file) != 0 ? left[file] : "-", why) << file;
        EXPECT_TRUE(m.bytes(file) == "old" || m.bytes(file) == "corrected" || !m.is_readable_file(file)) << file;
    }
    EXPECT_EQ(m.bytes("/home/mine.txt"), "the user's");
    // A file that holds bytes no text holds is no log.
    m.add_file("/logs/image.jpg", std::string("\xff\xd8\0\0JFIF", 8));
    EXPECT_FALSE(undo_from_log(m, "/logs/image.jpg", {"/lib"}, outcome, error));
    EXPECT_EQ(error, "the log /logs/image.jpg holds binary data: it is no run log");
    // Names with line breaks and escapes: the repair's log holds each as one line, and an undo from
    // that log obeys no line a name wrote, leaving such a file alone and named.
    outcome = UndoOutcome{};
    m.add_file("/P/geom/x.obj", "");
    m.add_file("/P/lib/b.cr2", "the user's");
    m.add_file("/P/lib/b_zz00.cr2", "planted");
    const std::string forged = "/P/lib/c\nfile /P/lib/b.cr2 being corrected: old version is on\n     /P/lib/b_zz00.cr2\nd.cr2";
    const std::string escaped = "/P/lib/a\x1b]0;pwned\x07.cr2";
    for (const std::string& name : {forged, escaped}) {
        m.add_file(name, "prop 0 0 geom:x.obj\n");
    }
    Session session(m);
    session.run.posername = "/P";
    session.rootdir = "/logs";
    ScriptedSession s({"yes", "no"});
    handle_drop(session, {"/P/lib"}, s.wn);
    const std::string log = m.bytes("/logs/__result_of_run.txt");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 4);  // two lines for each file corrected
    EXPECT_NE(log.find("/P/lib/a\\x1b]0;pwned\\x07.cr2 being corrected"), std::string::npos);
    ASSERT_TRUE(undo_from_log(m, "/logs/__result_of_run.txt", {"/P"}, outcome, error)) << error;
    EXPECT_EQ(m.bytes("/P/lib/b.cr2"), "the user's");
    EXPECT_TRUE(outcome.restored.empty());
    ASSERT_EQ(outcome.left.size(), 2u);
    EXPECT_EQ(outcome.left[0].second, "its name holds a control character, which the log shows as \\xNN: it cannot be read back whole");
}

// On the real disk: a planted link as the runs folder sends nothing anywhere, and a link as a run folder is not deleted through.
TEST_F(Undo, LinksOnTheRealDiskAreNeverFollowed)
{
    write_bytes(dir.at("victim/keep.txt"), "the user's");
    write_bytes(dir.at("victim/manifest.json"), "{\"program\":\"tarnwick\",\"format\":1,\"started\":\"20261207-101010\",\"files\":[]}");
    fs::create_directories(dir.at("root/tarnwick-runs"));
    fs::create_directory_symlink(dir.at("victim"), dir.at("root/tarnwick-runs/20261207-101010"));
    EXPECT_FALSE(forget_run(disk, dir.at("root/tarnwick-runs/20261207-101010"), k_later, error));
    EXPECT_NE(error.find("is a link"), std::string::npos);
    EXPECT_EQ(read_bytes(dir.at("victim/keep.txt")), "the user's");
    // A pipe as the manifest is no link, and is read no more than one.
    fs::remove_all(dir.at("root/tarnwick-runs"));
    fs::create_directories(dir.at("root/tarnwick-runs/20261207-101010"));
    ASSERT_EQ(::mkfifo(dir.at("root/tarnwick-runs/20261207-101010/manifest.json").c_str(), 0600), 0);
    EXPECT_FALSE(forget_run(disk, dir.at("root/tarnwick-runs/20261207-101010"), k_later, error));
    EXPECT_EQ(error, "refused: " + dir.at("root/tarnwick-runs/20261207-101010/manifest.json") + " is no plain file or folder");
    fs::remove_all(dir.at("root/tarnwick-runs"));
    fs::create_directory_symlink(dir.at("victim"), dir.at("root/tarnwick-runs"));
    repair();
    EXPECT_EQ(files_below(dir.at("victim")).size(), 2u);  // nothing written where the link points
    EXPECT_EQ(read_bytes(dir.at("root/Runtime/Libraries/a_zz00.cr2")), before[plain]);  // kept beside, as the log says
    EXPECT_NE(log.find(" is no plain folder: old versions are kept beside their files\n"), std::string::npos) << log;
}
#endif
