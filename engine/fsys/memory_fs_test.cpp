#include "engine/fsys/memory_fs.h"
#include "engine/library/disk_cache.h"
#include "tests/files.h"

#include <functional>
#include <gtest/gtest.h>
#include <thread>
#include <tuple>

using fsys::Create;
using fsys::DiskRules;
using fsys::FolderId;
using fsys::MemoryFileSystem;
using fsys::Op;
using fsys::RawFile;

namespace {

const char* rules_name(DiskRules rules)
{
    return rules == DiskRules::posix ? " (posix)" : " (windows)";
}

// A small library in the current folder L of a disk with either rules; K is locked.
void add_library(MemoryFileSystem& d)
{
    d.add_file("a.cr2", "A");
    d.add_file("ro.cr2", "R");
    d.set_read_only("ro.cr2", true);
    d.add_file("held.cr2", "H");
    d.hold_open("held.cr2", true);
    d.add_file(native("F/sub/x.obj"), "X");
    d.add_folder("C");
    d.add_folder("E");
    d.set_read_only("E", true);
    d.add_file(native("K/a.cr2"), "A");
    for (const auto& [link, target] : {std::pair{"fl", "F"}, {"dl", "none"}, {"to_file", "a.cr2"}, {"F/sub/back", ".."}, {"x", "y"},
                                       {"y", "x"}, {"K/link", "a.cr2"}}) {
        d.add_link(native(link), target);
    }
    d.add_folder(native("K/s"));
    d.set_folder_locked("K", true);
}

bool identity(MemoryFileSystem& d, const std::string& path)
{
    FolderId id;
    return d.folder_identity(native(path), id);
}

bool readable(MemoryFileSystem& d, const std::string& path)
{
    RawFile f;
    return d.open_for_reading(native(path), f) && d.close_file(f);
}

bool writable(MemoryFileSystem& d, const std::string& path, Create mode = Create::truncate)
{
    RawFile f;
    return d.open_for_writing(native(path), mode, f) && d.close_file(f);
}

}  // namespace

TEST(MemoryDisk, EachRuleSetAnswersAsItsSystem)
{
    using Disk = MemoryFileSystem;
    struct Case {
        const char* what;
        std::function<bool(Disk&)> op;
        bool posix, windows;
    };
    const Case cases[] = {
        {"letter case ignored", [](Disk& d) { return d.is_readable_file("A.CR2"); }, false, true},
        {"trailing dot dropped", [](Disk& d) { return d.is_readable_file("a.cr2."); }, false, true},
        {"wildcard counts as taken", [](Disk& d) { return d.entry_exists("a*.cr2"); }, false, true},
        {"device exists", [](Disk& d) { return d.entry_exists("con.cr2"); }, false, true},
        {"device not written", [](Disk& d) { return writable(d, "NUL.pz3"); }, true, false},
        {"device not a folder", [](Disk& d) { return d.make_folder("Aux"); }, true, false},
        {"device not read", [](Disk& d) { return d.is_readable_file("com1"); }, false, false},
        {"read-only not written", [](Disk& d) { return writable(d, "ro.cr2"); }, false, false},
        {"read-only renamed", [](Disk& d) { return d.rename_noreplace("ro.cr2", "r.cr2"); }, true, true},
        {"read-only replaced", [](Disk& d) { return d.rename_replace("a.cr2", "ro.cr2"); }, true, false},
        {"read-only removed", [](Disk& d) { return d.remove_file("ro.cr2"); }, true, true},
        {"read-only given",
         [](Disk& d) { return d.give_protection("ro.cr2", "a.cr2") && !writable(d, "a.cr2"); }, true, true},
        {"read-only given through a link", [](Disk& d) { return d.give_protection("ro.cr2", "to_file") && !writable(d, "a.cr2"); }, true, false},
        {"file set up through a dangling link", [](Disk& d) {
             d.add_file("dl", "N");
             return d.is_readable_file("none");
         }, true, true},
        {"read-only folder removed", [](Disk& d) { return d.remove_folder("E"); }, true, false},
        {"read-only folder gains entries", [](Disk& d) { return d.make_folder(native("E/n")); }, false, true},
        {"held read", [](Disk& d) { return d.is_readable_file("held.cr2"); }, true, true},
        {"held removed", [](Disk& d) { return d.remove_file("held.cr2"); }, true, false},
        {"held renamed", [](Disk& d) { return d.rename_noreplace("held.cr2", "h.cr2"); }, true, false},
        {"held replaced", [](Disk& d) { return d.rename_replace("a.cr2", "held.cr2"); }, true, false},
        {"held written", [](Disk& d) { return writable(d, "held.cr2"); }, true, false},
        {"read by us, renamed", [](Disk& d) {
             RawFile f;
             const bool renamed = d.open_for_reading("a.cr2", f) && d.rename_noreplace("a.cr2", "b.cr2");
             return d.close_file(f) && renamed;
         }, true, false},
        {"folder link followed", [](Disk& d) { return d.is_folder("fl"); }, true, true},
        {"folder link kind", [](Disk& d) { return d.name_kind("fl") == fsys::NameKind::link; }, true, true},
        {"folder link identity", [](Disk& d) { return identity(d, "fl"); }, true, false},
        {"identity through a link", [](Disk& d) { return identity(d, "fl/sub"); }, true, true},
        {"link removed as a file", [](Disk& d) { return d.remove_file("fl"); }, true, false},
        {"link removed as a folder", [](Disk& d) { return d.remove_folder("fl"); }, false, true},
        {"link to a file", [](Disk& d) { return d.is_readable_file("to_file"); }, true, false},
        {"link to a file opened", [](Disk& d) { return readable(d, "to_file"); }, true, false},
        {"stamp", [](Disk& d) {
             fsys::FileStamp a;
             return d.stamp("a.cr2", a) && a.size == 1;
         }, true, true},
        {"stamp through a link to a file", [](Disk& d) {  // where links to files are followed
             fsys::FileStamp a, b;
             return d.stamp(native("K/a.cr2"), a) && d.stamp(native("K/link"), b) && a == b;
         }, true, false},
        {"file truncated through a link", [](Disk& d) { return writable(d, "to_file") && d.bytes("a.cr2").empty(); }, true, false},
        {"file made anew where one is", [](Disk& d) { return writable(d, "a.cr2", Create::exclusive); }, false, false},
        {"file made anew through a dangling link", [](Disk& d) { return writable(d, "dl", Create::exclusive); }, false, false},
        {"O_CREAT makes the file a dangling link names", [](Disk& d) { return writable(d, "dl") && d.bytes("none").empty(); }, true, false},
        {"dangling link exists", [](Disk& d) { return d.entry_exists("dl"); }, true, true},
        {"folder made through a link", [](Disk& d) { return d.make_folder(native("dl/")); }, false, false},
        {"folder moved through a link", [](Disk& d) { return d.rename_noreplace(native("fl/"), "G"); }, false, false},
        {"name below a file", [](Disk& d) { return d.entry_exists(native("a.cr2/x")); }, true, false},
        {"file named as a folder", [](Disk& d) {  // a separator or "." after its name
             return d.is_readable_file(native("a.cr2/")) || d.is_readable_file(native("a.cr2/.")) || d.is_readable_file(native("a.cr2/./")) ||
                    readable(d, "a.cr2/") || readable(d, "a.cr2/.") || readable(d, "a.cr2/./");
         }, false, false},
        {"file named through \".\"", [](Disk& d) { return d.is_readable_file(native("K/./a.cr2")); }, true, true},
        {"folder renamed onto an empty folder", [](Disk& d) { return d.rename_noreplace("F", "C"); }, false, false},
        {"folder renamed onto a dangling link", [](Disk& d) { return d.rename_noreplace("F", "dl"); }, false, false},
        {"folder renamed onto a file", [](Disk& d) { return d.rename_noreplace("F", "a.cr2"); }, false, false},
        {"folder renamed onto its own folder", [](Disk& d) { return d.rename_noreplace("F", native("F/sub")); }, false, false},
        {"folder renamed into itself", [](Disk& d) { return d.rename_noreplace("F", native("F/sub/F")); }, false, false},
        {"folder renamed into no folder", [](Disk& d) { return d.rename_noreplace("F", native("missing/F")); }, false, false},
        {"file renamed onto itself", [](Disk& d) { return d.rename_noreplace("a.cr2", "a.cr2"); }, false, true},
        {"folder replaced by a file", [](Disk& d) { return d.rename_replace("a.cr2", "C"); }, false, false},
        {"file replaced by a folder", [](Disk& d) { return d.rename_replace("F", "a.cr2"); }, false, false},
        {"folder renamed with its content", [](Disk& d) {
             return d.rename_noreplace("F", native("C/F2")) && d.bytes(native("C/F2/sub/x.obj")) == "X" && !d.entry_exists("F");
         }, true, true},
        {"dangling link replaced", [](Disk& d) { return d.rename_replace("a.cr2", "dl") && d.bytes("dl") == "A" && !d.entry_exists("a.cr2"); },
         true, false},
        {"loop of links taken (ELOOP: not known to be free)", [](Disk& d) { return d.entry_exists("x") && d.entry_exists(native("x/z")); }, true, true},
        {"loop of links a folder or a file", [](Disk& d) { return d.is_folder("x") || d.is_readable_file("x"); }, false, false},
        {"loop of links resolved", [](Disk& d) { return !d.resolved_path("x").empty(); }, false, false},
        {"loop of links a link", [](Disk& d) { return d.name_kind("x") == fsys::NameKind::link; }, true, true},
        {"loop of links removed", [](Disk& d) { return d.remove_file("x") && d.name_kind("x") == fsys::NameKind::none; }, true, false},
        {"link up identity", [](Disk& d) { return identity(d, "F/sub/back"); }, true, false},
        {"link up the same folder", [](Disk& d) {
             FolderId top, again, sub;
             return d.folder_identity("F", top) && d.folder_identity(native("F/sub"), sub) &&
                    d.folder_identity(native("F/sub/back/sub/back"), again) && again == top && !(sub == top);
         }, true, false},
        {"links up a folder", [](Disk& d) { return d.is_folder(native("F/sub/back/sub/back")); }, true, true},
        {"current folder through links up", [](Disk& d) {
             d.set_current_folder(native("F/sub/back/sub"));
             return d.current_folder() == native("/L/F/sub");
         }, true, false},
        {"locked folder gains a file", [](Disk& d) { return writable(d, "K/new"); }, false, false},
        {"locked folder's file renamed or replaced",
         [](Disk& d) { return d.rename_noreplace(native("K/a.cr2"), "b") || d.rename_replace("a.cr2", native("K/a.cr2")); }, false, false},
        {"locked folder's file or folder removed", [](Disk& d) { return d.remove_file(native("K/a.cr2")) || d.remove_folder(native("K/s")); }, false, false},
        {"locked folder gains a folder", [](Disk& d) { return d.make_folder(native("K/n")); }, false, false},
        {"locked folder's file written", [](Disk& d) { return writable(d, "K/a.cr2"); }, true, true},
        {"unlocked folder's folder removed", [](Disk& d) {
             d.set_folder_locked("K", false);
             return d.remove_folder(native("K/s"));
         }, true, true},
    };
    for (const Case& c : cases) {
        for (DiskRules rules : {DiskRules::posix, DiskRules::windows}) {
            MemoryFileSystem d(rules, native("/L"));
            add_library(d);
            const Lines before = d.tree(native("/L"));
            const bool done = c.op(d);
            EXPECT_EQ(done, rules == DiskRules::posix ? c.posix : c.windows) << c.what << rules_name(rules);
            EXPECT_TRUE(done || d.tree(native("/L")) == before) << c.what << rules_name(rules) << ": refused, yet changed";
        }
    }
}

TEST(MemoryDisk, PathsMadeAbsoluteAndResolved)
{
    struct Case {
        DiskRules rules;
        const char* path;
        const char* absolute;
        const char* resolved;
    };
    const Case cases[] = {
        {DiskRules::posix, "", "/L", "/L"},
        {DiskRules::posix, "F/./sub//", "/L/F/sub", "/L/F/sub"},
        {DiskRules::posix, "/", "/", "/"},
        {DiskRules::posix, "up/..", "/L/up/..", "/L/F"},  // ".." from where the link leads
        {DiskRules::posix, "/abs/sub/../../a.cr2", "/abs/sub/../../a.cr2", "/L/a.cr2"},
        {DiskRules::posix, "A.cr2", "/L/A.cr2", ""},
        {DiskRules::windows, "", "C:/L", "C:/L"},
        {DiskRules::windows, "f\\.\\SUB\\\\", "C:/L/f/SUB", "C:/L/F/sub"},
        {DiskRules::windows, "\\", "C:/", "C:/"},
        {DiskRules::windows, "up\\..", "C:/L", "C:/L"},  // ".." by the text alone
        {DiskRules::windows, "d:x/../y", "D:/y", ""},
        {DiskRules::windows, "c:\\l\\A.CR2", "C:/l/A.CR2", "C:/L/a.cr2"},
        {DiskRules::windows, "up\\x.obj", "C:/L/up/x.obj", "C:/L/F/sub/x.obj"},
        {DiskRules::windows, "con", "C:/L/con", ""},
    };
    for (const Case& c : cases) {
        MemoryFileSystem d(c.rules, native("/L"));
        add_library(d);
        d.add_link("up", native("F/sub"));
        d.add_link(native("/abs"), native("/L/F"));
        const std::string path = c.rules == DiskRules::posix ? native(c.path) : c.path;
        EXPECT_EQ(d.absolute_path(path), native(c.absolute)) << c.path << rules_name(c.rules);
        EXPECT_EQ(d.resolved_path(path), native(c.resolved)) << c.path << rules_name(c.rules);
    }
}

TEST(MemoryDisk, CurrentFolderAndLetterCaseAsFirstWrittenAndTheSharedOperationsWork)
{
    MemoryFileSystem d(DiskRules::windows, "\\Runtime");
    d.add_file("Geom\\Ball.OBJ", "1");
    d.add_file("GEOM\\cube.obj", "2");
    d.add_link("j", "Geom");
    EXPECT_TRUE(d.rename_noreplace("geom\\ball.obj", "geom\\BALL.obj"));
    EXPECT_FALSE(d.rename_noreplace("geom\\cube.obj", "NUL") || d.rename_replace("geom\\cube.obj", "Geom\\aux.txt"));  // onto a device
    std::vector<fsys::FolderEntry> entries;
    ASSERT_TRUE(d.list_folder_entries("", entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name + entries[1].name, "Geomj");
    EXPECT_EQ(entries[1].type, fsys::EntryType::other);
    EXPECT_EQ(d.tree("/"), (Lines{native("C:/Runtime/"), native("C:/Runtime/Geom/"), native("C:/Runtime/Geom/BALL.obj"),
                                  native("C:/Runtime/Geom/cube.obj"), native("C:/Runtime/j -> Geom")}));
    d.set_current_folder("j");
    EXPECT_EQ(d.current_folder(), native("C:/Runtime/j"));  // as given, the junction not followed
    EXPECT_EQ(d.bytes("Cube.obj"), "2");
    d.set_current_folder("E:\\");
    EXPECT_EQ(d.absolute_path("x"), native("E:/x"));
    EXPECT_FALSE(d.rename_noreplace("C:\\Runtime\\Geom\\cube.obj", "E:\\cube.obj"));  // no move across drives
    d.add_file("C:\\d\\abc", "abc");
    fsys::FileDigest digest;
    ASSERT_TRUE(d.digest_file("c:/D/ABC", digest));
    EXPECT_EQ(digest.size, 3);
    EXPECT_EQ(digest.sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    std::string text;
    EXPECT_FALSE(d.read_whole_file("C:\\d\\abc", text, 2));
    EXPECT_EQ(read_all(d, "C:\\d\\abc"), "abc");
    EXPECT_TRUE(d.make_folders(native("C:/m/n/o")) && d.is_folder("C:\\M\\N\\O"));
    EXPECT_FALSE(d.make_folders(native("C:/d/abc/x")));
    EXPECT_FALSE(d.make_folders(native("D:/x")));  // no drive D:
    // A copy into a new file: from a file that opens, to a name that is free.
    fsys::RawFile copy;
    std::string reason;
    EXPECT_FALSE(d.copy_into_new_file("C:\\d\\none", "C:\\d\\new", copy, reason) || d.copy_into_new_file("C:\\d\\abc", "C:\\D\\ABC", copy, reason));
    EXPECT_EQ(reason, "the file cannot be made: C:\\D\\ABC");
    EXPECT_TRUE(d.copy_into_new_file("C:\\d\\abc", "C:\\d\\new", copy, reason) && d.close_file(copy) && read_all(d, "C:\\d\\new") == "abc");
    std::vector<std::jthread> readers;
    std::vector<fsys::FileDigest> digests(4);
    for (fsys::FileDigest& each : digests) {
        readers.emplace_back([&] {
            for (int k = 0; k < 50; ++k) {
                d.digest_file("C:\\d\\abc", each);
            }
        });
    }
    readers.clear();  // each joined
    EXPECT_EQ(digests, std::vector<fsys::FileDigest>(4, digest));
}

TEST(MemoryDisk, EveryInjectedFailureChangesNothing)
{
    struct Case {
        Op op;
        const char* path;
        std::function<bool(MemoryFileSystem&, RawFile&)> act;
    };
    const Case cases[] = {
        {Op::write, "w.cr2", [](MemoryFileSystem& d, RawFile& f) { return d.write_all(f, "x", 1); }},
        {Op::sync, "w.cr2", [](MemoryFileSystem& d, RawFile& f) { return d.sync_to_disk(f); }},
        {Op::close, "w.cr2", [](MemoryFileSystem& d, RawFile& f) { return d.close_file(f); }},
        {Op::rename, "a.cr2", [](MemoryFileSystem& d, RawFile&) { return d.rename_noreplace("a.cr2", "b"); }},
        {Op::rename, "a.cr2", [](MemoryFileSystem& d, RawFile&) { return d.rename_replace("a.cr2", "w.cr2"); }},
        {Op::remove, "a.cr2", [](MemoryFileSystem& d, RawFile&) { return d.remove_file("a.cr2"); }},
        {Op::remove, "E", [](MemoryFileSystem& d, RawFile&) { return d.remove_folder("E"); }},
        {Op::make_folder, "N", [](MemoryFileSystem& d, RawFile&) { return d.make_folder("N"); }},
    };
    for (const Case& c : cases) {
        for (bool fail : {true, false}) {
            MemoryFileSystem d;
            d.add_file("a.cr2", "A");
            d.add_folder("E");
            RawFile f;
            ASSERT_TRUE(d.open_for_writing("w.cr2", Create::exclusive, f));
            std::vector<std::pair<Op, std::string>> asked;
            d.fail_when([&](Op op, const std::string& path) {
                asked.emplace_back(op, path);
                return fail && op == c.op;
            });
            const auto before = std::make_tuple(d.tree(native("/")), d.files_below(native("/")), d.syncs("w.cr2"));
            EXPECT_EQ(c.act(d, f), !fail) << c.path;
            const auto after = std::make_tuple(d.tree(native("/")), d.files_below(native("/")), d.syncs("w.cr2"));
            EXPECT_EQ(before == after, fail || c.op == Op::close) << c.path << fail;
            ASSERT_FALSE(asked.empty());
            EXPECT_EQ(asked[0], std::make_pair(c.op, std::string(c.path)));
            EXPECT_EQ(f.is_open(), c.op != Op::close);
            d.close_file(f);
        }
    }
}

TEST(MemoryDisk, ReadWriteSeekAndSize)
{
    MemoryFileSystem d(DiskRules::posix);
    RawFile w, r;
    ASSERT_TRUE(d.open_for_writing("f", Create::exclusive, w));
    EXPECT_TRUE(d.write_all(w, "hello", 5) && d.seek_to(w, 1) && d.write_all(w, "EY", 2));
    EXPECT_TRUE(d.seek_to(w, 7) && d.write_all(w, "!", 1));
    EXPECT_FALSE(d.seek_to(w, -1));
    EXPECT_FALSE(d.seek_to(w, 1LL << 40) && d.write_all(w, "?", 1));
    EXPECT_EQ(d.file_size(w), 8);
    EXPECT_GT(d.modified_time("f"), MemoryFileSystem::k_setup_time);  // written now
    EXPECT_EQ(d.modified_time("f/g"), -1);
    d.set_modified_time("f", 7);
    EXPECT_EQ(d.modified_time("f"), 7);
    char buf[16];
    EXPECT_EQ(d.read_some(w, buf, sizeof buf), -1);  // a file opened for writing is not read
    EXPECT_TRUE(d.close_file(w));
    EXPECT_EQ(d.bytes("f"), std::string("hEYlo\0\0!", 8));
    ASSERT_TRUE(d.open_for_reading("f", r));
    EXPECT_EQ(d.read_some(r, buf, 5), 5);
    EXPECT_EQ(std::string(buf, 5), "hEYlo");
    EXPECT_FALSE(d.write_all(r, "x", 1));  // nor one opened for reading written
    d.add_file("f", "changed");
    EXPECT_EQ(d.read_some(r, buf, sizeof buf), 2);  // the new bytes, from where it was
    EXPECT_TRUE(d.remove_file("f") && !d.is_readable_file("f"));
    EXPECT_TRUE(d.seek_to_start(r));
    EXPECT_EQ(d.read_some(r, buf, sizeof buf), 7);  // still open after its name went
    EXPECT_EQ(d.read_some(r, buf, sizeof buf), 0);
    EXPECT_TRUE(d.close_file(r));
    EXPECT_EQ(d.read_some(r, buf, sizeof buf), -1);
    EXPECT_EQ(d.file_size(r), -1);
}

// A whole buffer written to a file: flushed only when asked, and removed again only when this writing made it.
TEST(MemoryDisk, AWholeBufferWrittenToAFile)
{
    const char* const none = nullptr;  // no file before
    struct Case { const char* before; Create mode; fsys::Sync sync; Op failing; bool written; std::string left; int syncs; };
    const Case cases[] = {
        {none, Create::exclusive, fsys::Sync::yes, Op::rename, true, "new", 1},
        {none, Create::exclusive, fsys::Sync::no, Op::sync, true, "new", 0},
        {none, Create::exclusive, fsys::Sync::no, Op::write, false, "<missing>", 0},
        {none, Create::exclusive, fsys::Sync::yes, Op::sync, false, "<missing>", 0},
        {none, Create::exclusive, fsys::Sync::no, Op::close, false, "<missing>", 0},
        {"old", Create::exclusive, fsys::Sync::no, Op::rename, false, "old", 0},
        {"old", Create::truncate, fsys::Sync::no, Op::rename, true, "new", 0},
        {"old", Create::truncate, fsys::Sync::no, Op::write, false, "", 0},
    };
    for (const Case& c : cases) {
        MemoryFileSystem d(DiskRules::posix);
        if (c.before != nullptr) {
            d.add_file("/f", c.before);
        }
        d.fail_when([&](Op op, const std::string&) { return op == c.failing; });
        EXPECT_EQ(d.write_file("/f", "new", c.mode, c.sync), c.written) << "case " << &c - cases;
        EXPECT_EQ(d.bytes("/f"), c.left) << "case " << &c - cases;
        EXPECT_EQ(d.syncs("/f"), c.syncs) << "case " << &c - cases;
    }
}

// A name ends at a NUL byte for the system: a path holding one would reach a file it does not name.
TEST(MemoryDisk, NulInAPathIsRefusedAsOnTheRealDisk)
{
    using namespace std::string_literals;
    TempDir dir;
    MemoryFileSystem memory(DiskRules::posix);
    std::vector<std::pair<fsys::FileSystem*, std::string>> disks{{&memory, native("/")}};
#ifndef _WIN32
    disks.emplace_back(&fsys::disk(), dir.path() + "/");
#endif
    for (const auto& [d, top] : disks) {
        ASSERT_TRUE(d->write_file(top + "a", "x", Create::exclusive) && d->make_folder(top + "F"));
        const std::string a = top + "a\0b"s, f = top + "F\0"s;
        RawFile r;
        FolderId id;
        fsys::FileStamp stamp;
        std::vector<fsys::FolderEntry> entries;
        EXPECT_FALSE(d->entry_exists(a) || d->is_readable_file(a) || d->is_folder(f) || d->open_for_reading(a, r));
        EXPECT_FALSE(d->open_for_writing(a, Create::truncate, r) || d->remove_file(a) || d->remove_folder(f));
        EXPECT_FALSE(d->rename_noreplace(top + "a", a + "c") || d->rename_replace(a, top + "b") || d->make_folder(f));
        EXPECT_FALSE(d->make_folders(top + "n\0/m"s) || d->make_folders("") || d->give_protection(a, top + "a"));
        EXPECT_FALSE(d->give_protection(top + "a", a) || d->folder_identity(f, id) || d->list_folder_entries(f, entries));
        EXPECT_FALSE(d->stamp(a, stamp) || d->is_read_only(a) || d->is_special_file(a));
        EXPECT_EQ(d->modified_time(a), -1);
        EXPECT_NE(d->exchange(a, top + "a"), fsys::Exchange::done);
        EXPECT_EQ(d->name_kind(a), fsys::NameKind::none);
        EXPECT_EQ(d->resolved_path(a), "");
        EXPECT_EQ(listing(*d, top).size(), 2u);  // nothing made or renamed through a name cut at its NUL
        EXPECT_EQ(listing(*d, top + "F"), Lines{});
        EXPECT_EQ(read_all(*d, top + "a"), "x");
    }
    memory.add_link(native("/l"), "F\0x"s);  // nor a link made to a name cut at its NUL
    EXPECT_EQ(memory.tree(""), (Lines{native("/F/"), native("/a")}));
    EXPECT_EQ(memory.absolute_path("a\0b"s), "");
    EXPECT_TRUE(memory.make_folders(native("/n/:m")) && memory.is_folder(native("/n")));  // a colon, unlike NUL, is a letter
}

// What the disk cache knows goes for the folder the program changed and for nothing else, until everything goes.
TEST(DiskCache, ForgetsOnlyTheFolderTheProgramChanged)
{
    MemoryFileSystem disk;
    disk.add_file(absolute("/geom/man.obj"), "");
    disk.add_file(absolute("/chars/ball.obj"), "");
    DiskCache cache(disk);
    EXPECT_TRUE(cache.is_readable(absolute("/geom/man.obj")) && cache.is_readable(absolute("/chars/ball.obj")));
    EXPECT_TRUE(cache.is_file(absolute("/chars"), "ball.obj"));
    EXPECT_TRUE(disk.remove_file(absolute("/geom/man.obj")) && disk.remove_file(absolute("/chars/ball.obj")));
    cache.forget_folder_of(absolute("/other/b.cr2"));  // nothing known there
    cache.forget_folder_of(absolute("/chars/a.cr2"));
    EXPECT_TRUE(cache.is_readable(absolute("/geom/man.obj")));
    EXPECT_FALSE(cache.is_readable(absolute("/chars/ball.obj")) || cache.is_file(absolute("/chars"), "ball.obj"));
    cache.clear();
    EXPECT_FALSE(cache.is_readable(absolute("/geom/man.obj")));
}
