#include "engine/fsys/memory_fs.h"
#include "engine/library/disk_cache.h"
#include "tests/files.h"

#include <algorithm>
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

// A small library in the current folder L of a disk with either rules.
void add_library(MemoryFileSystem& d)
{
    d.add_file("a.cr2", "A");
    d.add_file("ro.cr2", "R");
    d.set_read_only("ro.cr2", true);
    d.add_file("held.cr2", "H");
    d.hold_open("held.cr2", true);
    d.add_folder(native("F/sub"));
    d.add_folder("E");
    d.set_read_only("E", true);
    d.add_link("fl", "F");
    d.add_link("dl", "none");
    d.add_link("to_file", "a.cr2");
}

bool identity(MemoryFileSystem& d, const std::string& path)
{
    FolderId id;
    return d.folder_identity(native(path), id);
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
        {"read-only folder removed", [](Disk& d) { return d.remove_folder("E"); }, true, false},
        {"read-only folder gains entries", [](Disk& d) { return d.make_folder(native("E/n")); }, false, true},
        {"held read", [](Disk& d) { return d.is_readable_file("held.cr2"); }, true, true},
        {"held removed", [](Disk& d) { return d.remove_file("held.cr2"); }, true, false},
        {"held renamed", [](Disk& d) { return d.rename_noreplace("held.cr2", "h.cr2"); }, true, false},
        {"held replaced", [](Disk& d) { return d.rename_replace("a.cr2", "held.cr2"); }, true, false},
        {"held written", [](Disk& d) { return writable(d, "held.cr2"); }, true, false},
        {"read by us, renamed", [](Disk& d) {
             RawFile f;
             return d.open_for_reading("a.cr2", f) && d.rename_noreplace("a.cr2", "b.cr2");
         }, true, false},
        {"folder link followed", [](Disk& d) { return d.is_folder("fl"); }, true, true},
        {"folder link kind", [](Disk& d) { return d.name_kind("fl") == fsys::NameKind::link; }, true, true},
        {"folder link identity", [](Disk& d) { return identity(d, "fl"); }, true, false},
        {"identity through a link", [](Disk& d) { return identity(d, "fl/sub"); }, true, true},
        {"link removed as a file", [](Disk& d) { return d.remove_file("fl"); }, true, false},
        {"link removed as a folder", [](Disk& d) { return d.remove_folder("fl"); }, false, true},
        {"link to a file", [](Disk& d) { return d.is_readable_file("to_file"); }, true, false},
        {"link to a file opened", [](Disk& d) {
             RawFile f;
             return d.open_for_reading("to_file", f) && d.close_file(f);
         }, true, false},
        {"dangling link exists", [](Disk& d) { return d.entry_exists("dl"); }, true, true},
        {"folder made through a link", [](Disk& d) { return d.make_folder(native("dl/")); }, false, false},
        {"folder moved through a link", [](Disk& d) { return d.rename_noreplace(native("fl/"), "G"); }, false, false},
        {"name below a file", [](Disk& d) { return d.entry_exists(native("a.cr2/x")); }, true, false},
        {"file named as a folder", [](Disk& d) { return d.is_readable_file(native("a.cr2/")); }, false, false},
    };
    for (const Case& c : cases) {
        for (DiskRules rules : {DiskRules::posix, DiskRules::windows}) {
            MemoryFileSystem d(rules, native("/L"));
            add_library(d);
            EXPECT_EQ(c.op(d), rules == DiskRules::posix ? c.posix : c.windows) << c.what << rules_name(rules);
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
        {DiskRules::windows, "up\\x.cr2", "C:/L/up/x.cr2", "C:/L/F/sub/x.cr2"},
        {DiskRules::windows, "con", "C:/L/con", ""},
    };
    for (const Case& c : cases) {
        MemoryFileSystem d(c.rules, native("/L"));
        d.add_file("a.cr2", "");
        d.add_file(native("F/sub/x.cr2"), "");
        d.add_link("up", native("F/sub"));
        d.add_link(native("/abs"), native("/L/F"));
        const std::string path = c.rules == DiskRules::posix ? native(c.path) : c.path;
        EXPECT_EQ(d.absolute_path(path), native(c.absolute)) << c.path << rules_name(c.rules);
        EXPECT_EQ(d.resolved_path(path), native(c.resolved)) << c.path << rules_name(c.rules);
    }
}

TEST(MemoryDisk, CurrentFolderAndLetterCaseAsFirstWritten)
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
}

TEST(MemoryDisk, RenamesThatMustNotReplace)
{
    MemoryFileSystem d(DiskRules::posix, native("/L"));
    d.add_file(native("A/x.cr2"), "1");
    d.add_file(native("A/B/y.cr2"), "2");
    d.add_folder("C");
    d.add_link("dl", "none");
    d.add_file("f", "3");
    const Lines before = d.tree(native("/L"));
    for (const char* to : {"C", "dl", "f", "A/B", "missing/A", "A/B/A"}) {
        EXPECT_FALSE(d.rename_noreplace("A", native(to))) << to;
    }
    EXPECT_FALSE(d.rename_noreplace("f", "f"));
    EXPECT_FALSE(d.rename_replace("f", "C"));  // a folder is never replaced
    EXPECT_FALSE(d.rename_replace("A", "f"));  // nor does a folder replace a file
    EXPECT_EQ(d.tree(native("/L")), before);
    EXPECT_TRUE(d.rename_noreplace("A", native("C/A2")));
    EXPECT_TRUE(d.rename_replace("f", "dl"));
    EXPECT_EQ(d.tree(native("/L")), (Lines{native("/L/C/"), native("/L/C/A2/"), native("/L/C/A2/B/"),
                                           native("/L/C/A2/B/y.cr2"), native("/L/C/A2/x.cr2"), native("/L/dl")}));
    EXPECT_EQ(d.bytes("dl"), "3");
}

TEST(MemoryDisk, LoopsAndDanglingLinks)
{
    MemoryFileSystem d(DiskRules::posix, native("/L"));
    d.add_folder(native("F/sub"));
    d.add_link(native("F/sub/back"), "..");
    d.add_link("x", "y");
    d.add_link("y", "x");
    FolderId top, again, sub;
    ASSERT_TRUE(d.folder_identity("F", top) && d.folder_identity(native("F/sub"), sub));
    ASSERT_TRUE(d.folder_identity(native("F/sub/back/sub/back"), again));
    EXPECT_EQ(again, top);
    EXPECT_FALSE(sub == top);
    EXPECT_TRUE(d.entry_exists("x") && d.entry_exists(native("x/z")));  // ELOOP: not known to be free
    EXPECT_FALSE(d.is_folder("x") || d.is_readable_file("x"));
    EXPECT_EQ(d.resolved_path("x"), "");
    EXPECT_EQ(d.name_kind("x"), fsys::NameKind::link);
    EXPECT_TRUE(d.remove_file("x"));
    EXPECT_EQ(d.name_kind("x"), fsys::NameKind::none);
    d.set_current_folder(native("F/sub/back/sub"));
    EXPECT_EQ(d.current_folder(), native("/L/F/sub"));
    MemoryFileSystem w(DiskRules::windows, native("/L"));
    w.add_folder(native("F/sub"));
    w.add_link(native("F/sub/back"), "..");
    EXPECT_FALSE(w.folder_identity(native("F/sub/back"), again));
    EXPECT_TRUE(w.is_folder(native("F/sub/back/sub/back")));
}

// A link is followed for the stamp of the file it leads to (where links to files are followed); a file named as a
// folder (a separator or "." after its name) is no file, by either system's rules.
TEST(MemoryDisk, StampsThroughLinksAndFilesNamedAsFolders)
{
    for (const DiskRules rules : {DiskRules::posix, DiskRules::windows}) {
        MemoryFileSystem d(rules, native("/L"));
        d.add_file(native("F/a.txt"), "abc");
        d.add_link(native("F/b.txt"), "a.txt");
        fsys::FileStamp a, b;
        EXPECT_TRUE(d.stamp(native("F/a.txt"), a) && a.size == 3);
        EXPECT_TRUE(rules == DiskRules::windows || (d.stamp(native("F/b.txt"), b) && a == b));
        for (const char* folder_like : {"F/a.txt/", "F/a.txt/.", "F/a.txt/./"}) {
            fsys::RawFile f;
            EXPECT_FALSE(d.open_for_reading(native(folder_like), f)) << folder_like;
            EXPECT_FALSE(d.is_readable_file(native(folder_like))) << folder_like;
        }
        EXPECT_TRUE(d.is_readable_file(native("F/./a.txt")));
    }
}

TEST(MemoryDisk, LockedFolderKeepsItsEntries)
{
    for (DiskRules rules : {DiskRules::posix, DiskRules::windows}) {
        MemoryFileSystem d(rules, native("/L"));
        d.add_file(native("K/a.cr2"), "A");
        d.add_folder(native("K/s"));
        d.add_file("x", "X");
        d.set_folder_locked("K", true);
        const Lines before = d.tree(native("/L"));
        EXPECT_FALSE(writable(d, "K/new"));
        EXPECT_FALSE(d.rename_noreplace(native("K/a.cr2"), "b") || d.rename_replace("x", native("K/a.cr2")));
        EXPECT_FALSE(d.remove_file(native("K/a.cr2")) || d.remove_folder(native("K/s")));
        EXPECT_FALSE(d.make_folder(native("K/n")));
        EXPECT_EQ(d.tree(native("/L")), before) << rules_name(rules);
        EXPECT_TRUE(writable(d, "K/a.cr2"));  // its files stay writable
        d.set_folder_locked("K", false);
        EXPECT_TRUE(d.remove_folder(native("K/s"))) << rules_name(rules);
    }
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
    d.add_file("t", "xyz");
    d.add_link("tl", "t");
    d.add_link("dl", "gone");
    EXPECT_TRUE(writable(d, "tl"));  // truncated through the link
    EXPECT_EQ(d.bytes("t"), "");
    EXPECT_FALSE(writable(d, "dl", Create::exclusive));
    EXPECT_FALSE(writable(d, "t", Create::exclusive));
    EXPECT_TRUE(writable(d, "dl"));  // O_CREAT makes the file a dangling link names
    EXPECT_EQ(d.bytes("gone"), "");
}

TEST(MemoryDisk, SharedOperationsWorkOnIt)
{
    MemoryFileSystem d(DiskRules::windows);
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
    EXPECT_EQ(memory.tree(""), (Lines{native("/F/"), native("/a")}));
    EXPECT_EQ(memory.absolute_path("a\0b"s), "");
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
