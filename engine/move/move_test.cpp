// Moving content on a disk in memory with both platforms' rules: every reference that finds a moved file follows it
// byte for byte, whatever its notation, line ends or compression; what finds another file, or still finds its own, is
// left as it is; each refusal changes nothing; files changing volume are copied, flushed, compared, put back at any step.
#include "engine/base/run_stop.h"
#include "engine/fsys/memory_fs.h"
#include "engine/fsys/textio.h"
#include "engine/move/move_apply.h"
#include "engine/move/moved_view.h"
#include "engine/move/tree_move.h"
#include "tests/zip_maker.h"

#include <gtest/gtest.h>
#include <map>

namespace {

using Rules = fsys::DiskRules;

// The old versions beside their documents, as NAME.old.
struct BesideJournal : RunJournal {
    std::string backup_for(const std::string& file) override { return file + ".old"; }
    bool record(const FileChange& change) override { return change.before.size > 0; }
};

// How each document names the files of Runtime/Textures/Old.
struct Forms {
    std::string skin = ":Runtime:Textures:Old:skin.jpg";
    std::string bump_windows = "C:\\Poser\\Runtime\\Textures\\Old\\bump.jpg";
    std::string skin_mac = "Macintosh HD:Poser:Runtime:Textures:Old:skin.jpg";
    std::string bump = "Runtime:Textures:Old:bump.jpg";
};

std::map<std::string, std::string> documents(const Forms& f)
{
    return {{"Libraries/a.mt5", "textureMap " + f.skin + "\n\tbumpMap \"" + f.bump_windows + "\"\r\n\treflectionMap " + f.skin_mac +
                                    "\r\ttransparencyMap :Runtime:Textures:Old:same.jpg\nfigureResFile :Runtime:Geometries:x.obj  \n"},
            {"Libraries/b.cr2", "figureResFile :Runtime:Geometries:x.obj\r\n\ttextureMap \"" + f.bump + "\"\r\n"},
            {"Libraries/c.mz5", "textureMap " + f.skin + "\r\tbumpMap " + f.bump + "\r"},
            {"Textures/Old/skin.mt5", "textureMap " + f.skin + "\nrunPythonScript \"helper.py\"\n"}};
}

struct Library {
    explicit Library(Rules r) : rules(r), disk(r, path("/"))
    {
        for (const auto& [name, bytes] : documents(Forms{})) {
            disk.add_file(lib("Runtime/" + name), name.ends_with("z5") ? gzip_text(bytes) : bytes);  // a compressed kind stored so
        }
        for (const char* name : {"skin.jpg", "bump.jpg", "same.jpg", "helper.py"}) {
            disk.add_file(lib(std::string("Runtime/Textures/Old/") + name), name);
        }
        disk.add_file(path("/early/Runtime/Textures/Old/same.jpg"), "early");
        disk.add_file(lib("Runtime/Geometries/x.obj"), "");
        disk.add_folder(path("/third/Runtime"));
        roots = {path("/early"), path("/lib"), path("/third")};
    }
    std::string path(const std::string& p) const { return (rules == Rules::windows ? "C:" : "") + native(p); }
    std::string lib(const std::string& p) const { return path("/lib/" + p); }
    std::string text(const std::string& at)
    {
        std::string t;
        return read_text_as_stored(disk, at, t) ? t : "<missing>";
    }
    std::string move(const std::string& from, const std::string& to)
    {
        std::string reason;
        if (!plan_move(disk, MoveRequest{from, to, roots}, plan, reason)) {
            return reason;
        }
        BesideJournal journal;
        const MoveOutcome outcome = carry_out_move(disk, plan, journal);
        return outcome.moved && outcome.failed.empty() ? "" : "failed: " + outcome.reason;
    }
    // The references the report finds, by their path or elsewhere, and those it would repair.
    std::string found(const std::vector<std::string>& paths)
    {
        const LibraryReport r = build_library_report(disk, paths, roots, 2);
        return std::to_string(r.total - r.builtin - r.count(RefStatus::missing)) + " found, " +
               std::to_string(r.problems.size()) + " to repair";
    }

    Rules rules;
    fsys::MemoryFileSystem disk;
    std::vector<std::string> roots;
    MovePlan plan;  // the last move's
};

TEST(Move, EveryReferenceToAMovedFileFollowsItAndNothingElseChanges)
{
    struct Case {
        const char* what;
        Rules rules;
        std::string to, written;  // where Old goes and the new text of its folder; a path to a .jpg takes skin.jpg alone
    };
    const Case cases[] = {
        {"a folder", Rules::posix, "/lib/Runtime/Textures/New", ":Runtime:Textures:New:"},
        {"a file, its folders made", Rules::windows, "/lib/Runtime/Textures/Skins/Face/s.jpg", ":Runtime:Textures:Skins:Face:s.jpg"},
        {"to another root", Rules::posix, "/third/Runtime/T2", ":Runtime:T2:"},
        {"onto an empty folder, whose place it takes", Rules::posix, "/third/Runtime", ":Runtime:"},
        {"into folders named in other letter case", Rules::windows, "/lib/runtime/textures/New", ":Runtime:Textures:New:"},
        {"the same, on POSIX", Rules::posix, "/lib/runtime/textures/New", ":runtime:textures:New:"},
        {"its letter case alone", Rules::windows, "/lib/Runtime/Textures/old", ":Runtime:Textures:old:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool file = c.to.ends_with(".jpg");
        const std::string old = "/lib/Runtime/Textures/Old", from = file ? old + "/skin.jpg" : old;
        Library l(c.rules);
        EXPECT_EQ(l.found({l.path("/lib")}), "11 found, 2 to repair");
        ASSERT_EQ(l.move(l.path(from), l.path(c.to)), "");
        Forms after;
        after.skin = after.skin_mac = file ? c.written : c.written + "skin.jpg";
        if (!file) {
            after.bump = after.bump_windows = c.written + "bump.jpg";
        }
        for (auto [name, text] : documents(after)) {
            const std::string at = name.rfind("Textures/Old/", 0) == 0 ? l.path((file ? old : c.to) + "/skin.mt5") : l.lib("Runtime/" + name);
            EXPECT_EQ(l.text(at), text) << at;
        }
        EXPECT_EQ(l.disk.bytes(l.lib("Runtime/Libraries/c.mz5")).substr(0, 2), "\x1f\x8b");
        EXPECT_EQ(l.disk.bytes(l.path(c.to) + (file ? "" : native("/skin.jpg"))), "skin.jpg");
        EXPECT_EQ(l.disk.name_kind(l.path(from)) == fsys::NameKind::none, c.rules == Rules::posix || c.written.find(":old:") == std::string::npos);
        EXPECT_EQ(l.plan.references, file ? 4 : 7);
        // The report finds every reference it found before, at the files' new places, and the references
        // saved on another machine that moved are mended on the way.
        EXPECT_EQ(l.found({l.path("/lib"), l.path("/third")}), file ? "11 found, 1 to repair" : "11 found, 0 to repair");
    }
}

TEST(Move, EachRefusalChangesNothing)
{
    const std::string old = "/lib/Runtime/Textures/Old";
    struct Case {
        std::string from, to, reason;
    };
    const Case cases[] = {
        {"/lib/gone", "/lib/New", "no such file or folder: "},
        {"/lib", "/third/New", "is a content root itself"},
        {"/elsewhere/x.jpg", "/lib/New", "lies below none of the roots"},
        {"/lib/tarnwick-runs/x", "/lib/New", "lies in the run folders"},
        {"/lib/Runtime/Link", "/lib/New", "is a link or no plain file or folder"},
        {"/lib/Runtime/Geometries", "/lib/New", "is a link or no plain file, which is not moved"},
        {old, "/lib/Runtime/Geometries/x.obj", "exists already, and is no empty folder"},
        {old, "/lib/Runtime/Geometries/x.obj/New", "cannot be made: /lib/Runtime/Geometries/x.obj is no folder"},
        {old, "/lib/Runtime/Textures", "exists already"},
        {old, old + "/Sub/New", "lies inside"},
        {old, "/lib/tarnwick-runs/New", "lies in the run folders"},
        {old, "/elsewhere/New", "lies below none of the roots"},
        {old, "/lib/Runtime/Out/New", "lies below none of the roots"},
        {old, "/lib/Runtime/a:b/New", "a Poser document cannot name"},
        {old, old, "is where it lies already"},
        {old, "/third", "is a content root itself"},
        {old, "/lib/Runtime/Textures/Shadow", "would find /lib/Runtime/Textures/Shadow/skin.jpg instead of /third/"},
        {old, "/lib/Runtime/Textures/Taken", "could not name /lib/Runtime/Textures/Taken/skin.jpg once moved"},
    };
    Library l(Rules::posix);
    l.disk.add_file(l.path("/elsewhere/x.jpg"), "");
    l.disk.add_folder(l.lib("tarnwick-runs/x"));
    l.disk.add_link(l.lib("Runtime/Link"), "Textures");
    l.disk.add_link(l.lib("Runtime/Out"), l.path("/elsewhere"));
    l.disk.add_link(l.lib("Runtime/Geometries/x-link.obj"), "x.obj");
    l.disk.add_file(l.path("/third/Runtime/Textures/Shadow/skin.jpg"), "");
    l.disk.add_file(l.lib("Runtime/Libraries/d.cr2"), "textureMap :Runtime:Textures:Shadow:skin.jpg\n");
    l.disk.add_file(l.path("/early/Runtime/Textures/Taken/skin.jpg"), "");
    const auto before = l.disk.tree(l.path("/"));
    for (const auto& c : cases) {
        const std::string reason = l.move(l.path(c.from), l.path(c.to));
        EXPECT_NE(reason.find(native(c.reason)), std::string::npos) << c.from << " to " << c.to << ": " << reason;
        EXPECT_EQ(l.disk.tree(l.path("/")), before);
    }
    // A folder holding a root never moves, nor anything once a stop is asked for.
    l.roots.push_back(l.lib("Runtime/Textures/Old"));
    EXPECT_NE(l.move(l.lib("Runtime/Textures"), l.lib("Runtime/T2")).find("holds the content root"), std::string::npos);
    l.roots.pop_back();
    run_stop::request();
    EXPECT_TRUE(l.move(l.lib("Runtime/Textures/Old"), l.lib("Runtime/T2")) == "stopped" && l.plan.stopped);
    run_stop::clear();
    EXPECT_EQ(l.disk.tree(l.path("/")), before);
    // A document changed since it was read is left as it is and named; the rest moves.
    std::string reason;
    ASSERT_TRUE(plan_move(l.disk, MoveRequest{l.lib("Runtime/Geometries/x.obj"), l.lib("Runtime/x.obj"), l.roots}, l.plan, reason));
    const std::string changed = "figureResFile :Runtime:Geometrie:x.obj\n";
    l.disk.add_file(l.lib("Runtime/Libraries/b.cr2"), changed);
    BesideJournal journal;
    const MoveOutcome outcome = carry_out_move(l.disk, l.plan, journal);
    ASSERT_EQ(outcome.failed.size(), 1u);
    EXPECT_EQ(outcome.failed[0].path + ": " + outcome.failed[0].reason, l.lib("Runtime/Libraries/b.cr2") + ": it changed since it was read");
    EXPECT_TRUE(outcome.moved && l.disk.bytes(l.lib("Runtime/Libraries/b.cr2")) == changed);
    EXPECT_NE(l.text(l.lib("Runtime/Libraries/a.mt5")).find("\nfigureResFile :Runtime:x.obj  \n"), std::string::npos);
    // So is a compressed document whose new version cannot be closed: its bytes are known only then.
    const std::string c = l.lib("Runtime/Libraries/c.mz5"), c_bytes = l.disk.bytes(c);
    ASSERT_TRUE(plan_move(l.disk, MoveRequest{l.lib("Runtime/Textures/Old"), l.lib("Runtime/Textures/New"), l.roots}, l.plan, reason));
    l.disk.fail_when([&](fsys::Op op, const std::string& at) { return op == fsys::Op::close && at == c + ".old"; });
    ASSERT_TRUE(l.disk.remove_file(l.lib("Runtime/Libraries/a.mt5")));  // gone since the plan read it
    const MoveOutcome unclosed = carry_out_move(l.disk, l.plan, journal);
    l.disk.fail_when(nullptr);
    // With those whose old versions' names the last move took.
    const std::string failed = joined(unclosed.failed, [](const UnreadableFile& f) { return f.path + ": " + f.reason; }, "\n");
    EXPECT_NE(failed.find(c + ": its new version cannot be written: " + c + ".old\n"), std::string::npos) << failed;
    EXPECT_NE(failed.find(l.lib("Runtime/Libraries/a.mt5") + ": it cannot be opened\n"), std::string::npos) << failed;
    EXPECT_TRUE(unclosed.moved && l.disk.bytes(c) == c_bytes && l.disk.name_kind(c + ".old") == fsys::NameKind::none);
    // The files stay where they are when an empty folder in their place cannot be taken away, or a folder on their
    // way cannot be made (the documents already rewritten are the run's undo to take back).
    const std::pair<std::string, std::string> unmade[] = {{"/third/Runtime", "the empty folder /third/Runtime cannot be replaced"},
                                                          {old + "2/New", "the folder /lib/Runtime/Textures/Old2 cannot be made"}};
    for (const auto& [to, said] : unmade) {
        Library fresh(Rules::posix);
        fresh.disk.fail_when([](fsys::Op op, const std::string&) { return op == fsys::Op::remove || op == fsys::Op::make_folder; });
        EXPECT_EQ(fresh.move(fresh.path(old), fresh.path(to)), "failed: " + native(said));
        EXPECT_EQ(fresh.disk.bytes(fresh.path(old + "/skin.jpg")), "skin.jpg");
    }
}

// The plan reads the disk as the move will leave it: the old name gone from its folder, its files at the new one; and it
// reads what moves even where no walk of a root goes.
TEST(Move, ThePlanSeesTheDiskAsTheMoveLeavesIt)
{
    Library l(Rules::posix);
    MovedView view(l.disk, l.lib("Runtime/Textures/Old"), l.lib("Runtime/Textures/New"));
    EXPECT_EQ(listing(view, l.lib("Runtime/Textures")), Lines{"New/"});
    EXPECT_EQ(listing(view, l.lib("Runtime/Textures/New")), (Lines{"bump.jpg", "helper.py", "same.jpg", "skin.jpg", "skin.mt5"}));
    EXPECT_EQ(listing(view, l.lib("Runtime/Textures/Old")), Lines{"<cannot list>"});
    EXPECT_TRUE(view.is_readable_file(l.lib("Runtime/Textures/New/skin.jpg")) && !view.is_readable_file(l.lib("Runtime/Textures/New/none.jpg")));
    // A name in other letters is the new folder only where the system ignores letter case.
    EXPECT_EQ(listing(view, l.lib("Runtime/Textures/NEW")) == listing(view, l.lib("Runtime/Textures/New")), k_native_style == PathStyle::windows);
    EXPECT_EQ(listing(view, l.lib("Runtime")), (Lines{"Geometries/", "Libraries/", "Textures/"}));
    l.disk.add_file(l.lib("Runtime/.Old/a.mt5"), "textureMap :Runtime:.Old:t.jpg\n");
    l.disk.add_file(l.lib("Runtime/.Old/t.jpg"), "");
    ASSERT_EQ(l.move(l.lib("Runtime/.Old"), l.lib("Runtime/New")), "");
    EXPECT_EQ(l.text(l.lib("Runtime/New/a.mt5")), "textureMap :Runtime:New:t.jpg\n");
}

// Across volumes every file is copied, flushed and compared before the sources go; a failure at any
// step is put right by moving back, which never writes over a file.
TEST(Move, FilesChangeVolumeByFlushedCopiesAndComeBackFromAnyStep)
{
    fsys::MemoryFileSystem disk(Rules::windows);
    const std::string from = "C:" + native("/lib/Old"), to = "D:" + native("/lib/New"), other = "D:" + native("/lib/Other");
    const std::string a = std::string(1 << 20, 'a') + "z";  // more than a block read at once
    disk.add_file(from + native("/a.jpg"), a);
    disk.add_file(from + native("/sub/b.jpg"), "b");
    disk.add_folder("D:" + native("/lib"));
    const auto before = disk.files_below("C:" + native("/"));
    std::string reason;
    std::vector<std::pair<std::string, std::string>> left;  // what each move back leaves where it is
    for (const bool stop : {false, true}) {  // a failure at step k, or a stop there
        for (int k = 0;; ++k) {
            SCOPED_TRACE(std::to_string(k) + (stop ? ", stopped" : ", failed"));
            int seen = 0;
            const int synced = disk.syncs(to + native("/a.jpg.tarnwick-copy"));
            disk.fail_when([&](fsys::Op, const std::string&) {
                const bool at = seen++ == k;
                if (at && stop) {
                    run_stop::request();
                }
                return at && !stop;
            });
            const bool moved = move_tree(disk, from, to, 2, nullptr, reason);
            disk.fail_when(nullptr);
            run_stop::clear();
            EXPECT_TRUE(moved || !stop || reason == "stopped") << reason;
            if (moved) {
                EXPECT_EQ(disk.bytes(to + native("/sub/b.jpg")) + disk.bytes(to + native("/a.jpg")), "b" + a);
                EXPECT_EQ(disk.syncs(to + native("/a.jpg.tarnwick-copy")), synced + 1);  // flushed before it took its name
                EXPECT_EQ(disk.name_kind(from), fsys::NameKind::none);
            }
            EXPECT_TRUE(move_back(disk, from, to, left));
            EXPECT_EQ(disk.files_below("C:" + native("/")), before);
            EXPECT_EQ(disk.name_kind(to), fsys::NameKind::none);
            if (seen <= k) {
                break;  // every step taken
            }
        }
    }
    // A file put at an old place since is never written over.
    ASSERT_TRUE(move_tree(disk, from, to, 2, nullptr, reason));
    disk.add_file(from + native("/a.jpg"), "new");
    EXPECT_FALSE(move_back(disk, from, to, left));
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].first + ": " + left[0].second, to + native("/a.jpg") + ": its old place " + from + native("/a.jpg") + " holds other bytes");
    EXPECT_EQ(disk.bytes(from + native("/sub/b.jpg")), "b");
    // A file changed once its copy is written is no copy of it: the move fails, and the change stays.
    disk.before_each_step([&](const std::string&) {
        if (disk.bytes(other + native("/sub/b.jpg.tarnwick-copy")) == "b") {
            disk.add_file(from + native("/sub/b.jpg"), "B");
        }
    });
    EXPECT_FALSE(move_tree(disk, from, other, 2, nullptr, reason));
    disk.before_each_step(nullptr);
    EXPECT_EQ(disk.bytes(from + native("/sub/b.jpg")) + ", " + reason,
              "B, the copy " + other + native("/sub/b.jpg") + " cannot be made whole");
    // More files than are copied at once; a link, never copied; a name in other letters moved back.
    const std::string many = "C:" + native("/Many"), twin = "C:" + native("/lib/new"), link = "C:" + native("/link");
    for (int k = 0; k < 70; ++k) {
        disk.add_file(many + fsys::k_sep + std::to_string(k), "m");
    }
    ASSERT_TRUE(move_tree(disk, many, "D:" + native("/Many"), 70, nullptr, reason)) << reason;
    EXPECT_EQ(disk.files_below("D:" + native("/Many")).size(), 70u);
    disk.add_link(link, many);
    EXPECT_FALSE(move_tree(disk, link, "D:" + native("/link"), 0, nullptr, reason));
    EXPECT_EQ(reason, link + " is no plain file or folder");
    disk.add_file(twin + native("/c.jpg"), "c");
    ASSERT_TRUE(move_tree(disk, twin, "C:" + native("/lib/NEW"), 1, nullptr, reason) && move_back(disk, twin, "C:" + native("/lib/NEW"), left));
    EXPECT_EQ(disk.resolved_path("C:" + native("/lib/NEW")), twin);
}

}  // namespace
