// A move carried out with its run folders on a disk in memory that fails at every step, on one
// volume and across two: the library as it was, or as it was once --undo has finished; a whole move
// undone byte for byte; a record naming a root where the run left nothing refused.
#include "app/move_command.h"
#include "app/undo.h"
#include "app/undo_command.h"

#include "tests/test_support.h"

#include <atomic>
#include <nlohmann/json.hpp>

namespace {

// A disk in memory that flushes a file system whole, as Linux does: the move then writes each batch's copies on
// several threads and flushes them at once. It logs, at each flush, the changes the manifests hold and the documents
// outside the run folders that name the new place, and fails a flush when `fails` says so.
struct WholeFlushDisk : fsys::MemoryFileSystem {
    using MemoryFileSystem::MemoryFileSystem;
    bool can_sync_file_system() const override { return whole; }
    bool sync_file_system(const std::string& path) override
    {
        std::size_t recorded = 0, changed = 0;
        for (const auto& [file, bytes] : files_below(std::string(1, fsys::k_sep))) {
            for (std::size_t at = 0; (at = bytes.find("\"backup\":", at + 1)) != std::string::npos; ++recorded) {
            }
            changed += file.find("tarnwick-runs") == std::string::npos && bytes.find(":New:") != std::string::npos;
        }
        log += std::to_string(recorded) + " recorded, " + std::to_string(changed) + " changed; ";
        return !(fails && fails(fsys::Op::sync, path)) && MemoryFileSystem::sync_file_system(path);
    }
    // As a disk that fills up: the first `half_records` writes of changes to a manifest write half and fail.
    bool write_all(fsys::RawFile& f, const char* data, std::size_t size) override
    {
        const bool half = f.path.find("manifest") != std::string::npos &&
                          std::string_view(data, size).find("\"backup\"") != std::string::npos && half_records-- > 0;
        return MemoryFileSystem::write_all(f, data, half ? size / 2 : size) && !half;
    }
    int half_records = 0;
    bool whole = false;
    FailWhen fails;
    std::string log;
};

struct Library {
    explicit Library(fsys::DiskRules rules) : disk(rules), two(rules == fsys::DiskRules::windows ? "D:" : "")
    {
        const std::string one = rules == fsys::DiskRules::windows ? "C:" : "";
        roots = {one + native("/lib"), two + native("/two")};
        disk.add_file(roots[0] + native("/Runtime/Textures/Old/skin.jpg"), "skin");
        disk.add_file(roots[0] + native("/Runtime/Textures/Old/sub/bump.jpg"), "bump");
        disk.add_file(roots[0] + native("/Runtime/Textures/Old/skin.mt5"), "textureMap :Runtime:Textures:Old:skin.jpg\r\n");
        disk.add_file(roots[0] + native("/Runtime/Libraries/a.mt5"), "textureMap Runtime:Textures:Old:sub:bump.jpg\n");
        disk.add_file(roots[1] + native("/Runtime/Libraries/b.pz3"), "\tbumpMap \":Runtime:Textures:Old:skin.jpg\"\n");
        before = content();
    }
    // Every file of the roots but the run folders, with its bytes.
    Files content() const
    {
        Files files;
        for (const std::string& root : roots) {
            files.merge(outside_runs(disk.files_below(root)));
        }
        return files;
    }
    MovePlan plan()
    {
        MovePlan p;
        std::string reason;
        EXPECT_TRUE(plan_move(disk, MoveRequest{roots[0] + native("/Runtime/Textures/Old"), target, roots}, p, reason)) << reason;
        return p;
    }
    int command(UndoAction action)
    {
        std::FILE* o = std::tmpfile();
        std::FILE* e = std::tmpfile();
        const int status = run_undo_command(disk, UndoRequest{action, "", roots, "", false}, nullptr, o, e, true);
        said = file_text(o);
        file_text(e);
        return status;
    }

    WholeFlushDisk disk;
    std::string two;
    std::vector<std::string> roots;
    std::string target = two + native("/two/Runtime/New");
    Files before;
    std::string said;  // what the last command wrote out
};

TEST(MoveCommand, AFailureAtEveryStepLeavesTheLibraryAsItWasOrAsItWasOnceUndone)
{
    for (const bool whole : {false, true}) {
        for (const fsys::DiskRules rules : {fsys::DiskRules::posix, fsys::DiskRules::windows}) {
            for (int k = 0;; ++k) {
                SCOPED_TRACE(std::to_string(k) + (rules == fsys::DiskRules::posix ? " posix" : " windows") + (whole ? ", flushed whole" : ""));
                Library l(rules);
                l.disk.whole = whole;
                const MovePlan plan = l.plan();
                std::atomic<int> seen = 0;  // the copies are written on several threads
                const fsys::FailWhen fails = [&](fsys::Op, const std::string&) { return seen++ >= k; };
                l.disk.fail_when(fails);
                l.disk.fails = fails;
                const MoveRunResult result = move_with_run_folders(l.disk, plan, l.roots, "9.9", std::time(nullptr));
                l.disk.fail_when(nullptr);
                if (result.status == k_move_done) {
                    EXPECT_EQ(l.disk.bytes(l.target + native("/sub/bump.jpg")), "bump");
                    EXPECT_EQ(l.disk.bytes(l.roots[1] + native("/Runtime/Libraries/b.pz3")), "\tbumpMap \":Runtime:New:skin.jpg\"\n");
                    EXPECT_EQ(l.disk.bytes(l.target + native("/skin.mt5")), "textureMap :Runtime:New:skin.jpg\r\n");
                } else {
                    EXPECT_NE(result.status, k_move_incomplete);
                    EXPECT_EQ(move_summary(plan, result), "nothing moved: " + result.error);
                }
                if (l.content() != l.before || result.status == k_move_done) {
                    EXPECT_EQ(l.command(UndoAction::undo), 0);
                }
                EXPECT_EQ(l.content(), l.before);
                if (seen <= k) {
                    break;  // every step taken
                }
            }
        }
    }
}

// Hundreds of documents go in batches, a batch's copies and records on the disk before the first of its documents
// changes. A flush or a record that fails leaves its batch as it was, a stop the batches after it and every file in
// its place, and --undo or the move's own taking back the rest.
TEST(MoveCommand, DocumentsInBatchesEachFlushedAndRecordedBeforeTheyChange)
{
    struct Case {
        int failed_flush;  // 1, 2 ...; 0 for none
        bool stop;         // asked for at that flush instead
        int half_records;
        int status;
        long long changed;
        std::string flushes;
    };
    const Case cases[] = {
        {0, false, 0, k_move_done, 300, "256 recorded, 0 changed; 300 recorded, 256 changed; "},
        {1, false, 0, k_move_incomplete, 44, "256 recorded, 0 changed; 300 recorded, 0 changed; "},
        {1, true, 0, k_move_failed, 256, "256 recorded, 0 changed; "},
        {0, false, 1, k_move_incomplete, 44, "44 recorded, 0 changed; "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flushes);
        Library l(fsys::DiskRules::posix);
        for (int k = 0; k < 297; ++k) {
            l.disk.add_file(l.roots[0] + native("/Runtime/Libraries/m" + std::to_string(k) + ".mt5"), "textureMap :Runtime:Textures:Old:skin.jpg\n");
        }
        l.before = l.content();
        l.disk.whole = true;
        l.disk.half_records = c.half_records;
        int flushes = 0;
        l.disk.fails = [&](fsys::Op, const std::string&) {
            if (++flushes == c.failed_flush && c.stop) {
                run_stop::request();
            }
            return flushes == c.failed_flush && !c.stop;
        };
        const MoveRunResult result = move_with_run_folders(l.disk, l.plan(), l.roots, "9.9", std::time(nullptr));
        run_stop::clear();
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.outcome.documents_changed, c.changed);
        EXPECT_EQ(l.disk.log, c.flushes);
        if (result.status != k_move_failed) {
            EXPECT_EQ(l.command(UndoAction::undo), 0);
        }
        EXPECT_EQ(l.content(), l.before);
    }
}

// --runs lists the move, the window names it before undoing it, and a record that names a root where the run
// left no run folder of its own (as a manifest planted with content would) moves nothing.
TEST(MoveCommand, AMoveListedNamedAndItsRecordChecked)
{
    Library l(fsys::DiskRules::posix);
    ASSERT_EQ(l.command(UndoAction::runs), 0);
    EXPECT_EQ(l.said, "no runs below the roots\n");
    ASSERT_EQ(move_with_run_folders(l.disk, l.plan(), l.roots, "9.9", std::time(nullptr)).status, k_move_done);
    ASSERT_EQ(l.command(UndoAction::runs), 0);
    EXPECT_EQ(l.said.find("no runs"), std::string::npos);
    const std::string moved = "3 files moved from " + l.roots[0] + native("/Runtime/Textures/Old") + " to " + l.target;
    expect_pieces(l.said, {"  " + moved + ", 2 references rewritten in 2 documents  " + l.roots[0] + native("/tarnwick-runs/")});
    const RunList runs = find_runs(l.disk, l.roots, std::time(nullptr));
    ASSERT_EQ(runs.runs.size(), 2u);
    const std::string twin = runs.runs[0].move.empty() ? runs.runs[0].folder : runs.runs[1].folder;
    l.disk.remove_file(twin + native("/manifest.json"));
    l.disk.remove_folder(twin);
    EXPECT_EQ(l.command(UndoAction::undo), 2);
    EXPECT_EQ(l.disk.bytes(l.target + native("/skin.jpg")), "skin");

    Library w(fsys::DiskRules::posix);
    w.target = w.roots[0] + native("/Runtime/Textures/Made/New");
    ASSERT_EQ(move_with_run_folders(w.disk, w.plan(), w.roots, "9.9", std::time(nullptr)).status, k_move_done);
    ScriptedSession s({"yes"});
    undo_last_run(w.disk, w.roots, s.wn, std::time(nullptr));
    ASSERT_EQ(s.transcript().size(), 2u);
    expect_pieces(s.transcript()[0], {": 3 files moved from " + w.roots[0] + native("/Runtime/Textures/Old") + " to " + w.target +
                                      ", 3 documents changed, old versions in\\n"});
    EXPECT_EQ(w.content(), w.before);
    for (const RunFolderInfo& run : find_runs(w.disk, w.roots, std::time(nullptr)).runs) {  // each record undone keeps the folder made
        const nlohmann::json doc = nlohmann::json::parse(w.disk.bytes(run.folder + native("/manifest.json")));
        EXPECT_EQ(doc["move"]["made"], nlohmann::json::array({"Runtime/Textures/Made"}));
    }

    // A record naming a place out of its roots ("") or through a link, even one that stays inside its root ("L"), or
    // without a field of its move, in both its run folders alike, is refused, and nothing moves back.
    for (const std::string field : {"", "L", "from_root", "from", "to_root", "to", "files", "made", "to_was_empty_folder"}) {
        Library h(fsys::DiskRules::posix);
        ASSERT_EQ(move_with_run_folders(h.disk, h.plan(), h.roots, "9.9", std::time(nullptr)).status, k_move_done);
        h.disk.add_link(h.roots[1] + native("/L"), h.roots[1] + native("/Runtime"));
        for (const RunFolderInfo& run : find_runs(h.disk, h.roots, std::time(nullptr)).runs) {
            nlohmann::json doc = nlohmann::json::parse(h.disk.bytes(run.folder + native("/manifest.json")));
            if (field.size() < 2) {  // the files' new folder, Runtime/New, named from above its root or through the link
                doc["move"]["to"] = field.empty() ? "../Runtime/New" : "L/New";
            } else {
                doc["move"].erase(field);
            }
            h.disk.add_file(run.folder + native("/manifest.json"), doc.dump());
        }
        const Files after = h.content();
        EXPECT_EQ(h.command(UndoAction::undo), 2) << field;
        EXPECT_EQ(h.content(), after) << field;
    }

    // A document changed after the move keeps its new bytes and is named; the files and the rest come back.
    Library c(fsys::DiskRules::windows);
    ASSERT_EQ(move_with_run_folders(c.disk, c.plan(), c.roots, "9.9", std::time(nullptr)).status, k_move_done);
    const std::string edited = c.roots[1] + native("/Runtime/Libraries/b.pz3");
    c.disk.add_file(edited, "edited since\n");
    EXPECT_EQ(c.command(UndoAction::undo), 3);
    EXPECT_NE(c.said.find("left alone " + edited + ": changed since the run\n"), std::string::npos) << c.said;
    Files expected = c.before;
    expected[edited] = "edited since\n";
    EXPECT_EQ(c.content(), expected);
    // The empty folder whose place the move took is made again; where it cannot be, that is said.
    Library e(fsys::DiskRules::posix);
    e.disk.add_folder(e.target);
    ASSERT_EQ(move_with_run_folders(e.disk, e.plan(), e.roots, "9.9", std::time(nullptr)).status, k_move_done);
    e.disk.fail_when([](fsys::Op op, const std::string&) { return op == fsys::Op::make_folder; });
    EXPECT_EQ(e.command(UndoAction::undo), 3);
    EXPECT_NE(e.said.find("left alone " + e.target + ": the empty folder cannot be made again\n"), std::string::npos) << e.said;
}

}  // namespace

// A document whose new version cannot be written stays as it was and is named apart; the others
// are listed with each reference rewritten, and the move goes on (exit 3).
TEST(MoveCommand, ADocumentThatCannotBeWrittenIsNamedApartFromThoseChanged)
{
    Library l(fsys::DiskRules::posix);
    const std::string stuck = l.roots[0] + native("/Runtime/Libraries/a.mt5");
    // Its new version is written in the run folder, under its own path.
    l.disk.fail_when([](fsys::Op op, const std::string& path) {
        return op == fsys::Op::write && path.find("tarnwick-runs") != std::string::npos && path.find("a.mt5") != std::string::npos;
    });
    std::FILE* o = std::tmpfile();
    std::FILE* e = std::tmpfile();
    const int status = run_move(l.disk, MoveCommandRequest{l.roots[0] + native("/Runtime/Textures/Old"), l.target, l.roots, ""}, "9.9", o, e);
    const std::string out = file_text(o), err = file_text(e);
    EXPECT_EQ(status, k_move_incomplete) << err;
    EXPECT_EQ(out.find("changed " + stuck), std::string::npos) << out;
    expect_pieces(out, {"changed " + l.roots[1] + native("/Runtime/Libraries/b.pz3") + "\n    :Runtime:Textures:Old:skin.jpg -> :Runtime:New:skin.jpg\n",
                        "; 2 references rewritten in 2 documents; 1 document could not be read or changed\n"});
    EXPECT_NE(err.find("not changed " + stuck + ": "), std::string::npos) << err;
    EXPECT_EQ(l.disk.bytes(stuck), "textureMap Runtime:Textures:Old:sub:bump.jpg\n");
}
