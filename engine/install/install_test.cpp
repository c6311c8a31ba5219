// Installing product zips on a disk in memory with either platform's rules: where each entry goes, what is refused
// with nothing written, and an install failing or stopped at any step leaves the content folder as it was or to undo.
#include "engine/base/run_stop.h"
#include "engine/install/install_files.h"
#include "engine/install/install_names.h"
#include "tests/zip_maker.h"

#include <gtest/gtest.h>

namespace {

using fsys::DiskRules;

// A disk of `rules` with the content folder <top>Poser and the zips in <top>zips.
struct Disk {
    explicit Disk(DiskRules r) : rules(r), disk(r, top()) { disk.add_folder(root()); }
    std::string top() const { return rules == DiskRules::windows ? std::string("C:") + fsys::k_sep : std::string(1, fsys::k_sep); }
    std::string root() const { return top() + "Poser"; }
    std::string at(const std::string& below) const { return root() + fsys::k_sep + native(below); }
    std::string zip(const std::string& name, const std::string& bytes)
    {
        disk.add_file(top() + "zips" + fsys::k_sep + name, bytes);
        return top() + "zips" + fsys::k_sep + name;
    }
    InstallPlan plan(const std::vector<std::string>& zips) { return plan_install(disk, zips, root(), rules); }
    // Every entry below the root but the run folders, and every file's bytes.
    Lines content() const
    {
        Lines seen;
        for (const std::string& e : disk.tree(root())) {
            if (e.find("tarnwick-runs") == std::string::npos) {
                seen.push_back(e + (e.back() == fsys::k_sep ? "" : "=" + disk.bytes(e)));
            }
        }
        return seen;
    }

    DiskRules rules;
    fsys::MemoryFileSystem disk;
};

// What a plan says, one line each: "new PATH", "folder PATH", "refused ENTRY: REASON", "skipped
// ENTRY", "junk ENTRY", "blocked ENTRY", "note ENTRY: REASON".
Lines described(const InstallPlan& plan)
{
    Lines lines;
    for (const PlannedFile& f : plan.files) {
        lines.push_back(std::string(action_words(f.action)) + " " + f.path);
    }
    for (const std::string& f : plan.folders) {
        lines.push_back("folder " + f);
    }
    for (const auto& [word, notes] : {std::pair{"refused ", &plan.refusals}, {"blocked ", &plan.blocked},
                                     {"skipped ", &plan.skipped}, {"junk ", &plan.junk}, {"note ", &plan.notes}}) {
        for (const EntryNote& n : *notes) {
            lines.push_back(word + n.entry + (*word == 'r' || *word == 'n' ? ": " + n.reason : ""));
        }
    }
    return lines;
}

struct PlanCase {
    const char* what;
    DiskRules rules;
    Lines zips;  // the bytes of each
    std::vector<std::pair<std::string, std::string>> on_disk;  // path below the root, bytes ("/" ends a folder)
    Lines expected;
};

TEST(InstallPlan, EachEntryPlacedSkippedOrRefusedWithNothingWritten)
{
    MadeEntry marked = entry("Runtime/Textures/\xc3\xa9t\xc3\xa9.jpg");
    marked.utf8_mark = true;
    const std::string deep = "Runtime/Textures/" + repeated("folder/", 35);  // 262 bytes, past 259
    const std::string deeper = "Runtime/" + repeated(std::string(200, 'b') + "/", 21) + "x.obj";
    using enum DiskRules;
    const PlanCase cases[] = {
        {"Runtime at the top", posix, {zip_of({"Runtime/Geometries/a.obj", "ReadMe.txt"})}, {},
         {"new Runtime/Geometries/a.obj", "new ReadMe.txt", "folder Runtime", "folder Runtime/Geometries"}},
        {"one folder down, beside a read-me; a path of 259 letters, as long as Windows programs open", windows,
         {zip_of({"CON/Runtime/Textures/a.jpg", "CON/b.txt", "c.txt", "CON/Runtime/" + std::string(236, 'f') + "/x.obj"})}, {},
         {"new Runtime/Textures/a.jpg", "new b.txt", "new Runtime/" + std::string(236, 'f') + "/x.obj", "folder Runtime",
          "folder Runtime/Textures", "folder Runtime/" + std::string(236, 'f'), "skipped c.txt",
          "note CON/: the Runtime folder lies one folder down: unpacked from this folder"}},
        {"folders in another letter case, on the disk and in the zip", posix,
         {zip_of({"Runtime/textures/a.jpg", "Runtime/TEXTURES/new/b.jpg", "Runtime/Textures/New/c.jpg"})},
         {{"runtime/Textures/", ""}},
         {"new runtime/Textures/a.jpg", "new runtime/Textures/new/b.jpg", "new runtime/Textures/new/c.jpg",
          "folder runtime/Textures/new"}},
        {"replaced, already there, a file in another letter case", windows,
         {made_zip({entry("Runtime/a.obj", "new bytes"), entry("Runtime/b.obj", "same"), entry("Runtime/C.obj", "c")})},
         {{"Runtime/a.obj", "old"}, {"Runtime/b.obj", "same"}, {"Runtime/c.obj", "older"}},
         {"replaced Runtime/a.obj", "already there Runtime/b.obj", "replaced Runtime/c.obj"}},
        {"junk and old copies", posix,
         {zip_of({"Runtime/a.cr2", "Runtime/a_zz01.cr2", "__MACOSX/Runtime/._a.cr2", "Runtime/.DS_Store", "Runtime/Thumbs.db",
                 "Runtime/._b.jpg", "Runtime/tarnwick-runs/1/x.cr2"})},
         {},
         {"new Runtime/a.cr2", "folder Runtime", "skipped Runtime/a_zz01.cr2", "skipped Runtime/tarnwick-runs/1/x.cr2",
          "junk __MACOSX/Runtime/._a.cr2", "junk Runtime/.DS_Store", "junk Runtime/Thumbs.db", "junk Runtime/._b.jpg"}},
        {"names in UTF-8 marked or not, and in code page 437", posix,
         {made_zip({marked, entry("Runtime/Textures/caf\xc3\xa9.jpg"), entry("Runtime/Textures/\x80t\x80.png"), entry("Runtime/\x81.png")})},
         {},
         {"new Runtime/Textures/\xc3\xa9t\xc3\xa9.jpg", "new Runtime/Textures/caf\xc3\xa9.jpg", "new Runtime/Textures/\xc3\x87t\xc3\x87.png",
          "new Runtime/\xc3\xbc.png",
          "folder Runtime", "folder Runtime/Textures",
          "note Runtime/Textures/\x80t\x80.png: a name neither marked nor written as UTF-8: read in code page 437, as the zip format says"}},
        {"unsafe names, a link, case twins", posix,
         {made_zip({entry("Runtime/../../x.obj"), entry("/etc/x.obj"), link_entry("Runtime/Textures/l.jpg", "/etc/passwd"),
                   entry("Runtime/A.obj"), entry("Runtime/a.obj")})},
         {},
         {"refused Runtime/../../x.obj: unsafe name: the name holds a '..' component, which leads out of the install folder",
          "refused /etc/x.obj: unsafe name: the name begins at the top folder ('/')",
          "refused Runtime/Textures/l.jpg: the entry is a symbolic link: unpacked, it could point anywhere",
          "refused Runtime/a.obj: the name differs from another only in letter case: on Windows one overwrites the other"}},
        {"no Runtime, and two folders holding one", posix, {zip_of({"Textures/a.jpg"}), zip_of({"A/Runtime/x", "B/Runtime/y"})}, {},
         {"refused : the zip has no Runtime folder at its top, nor one folder down: Poser will not find its content",
          "refused : a Runtime folder lies one folder down in 2 folders: which one holds the product cannot be told"}},
        {"names Windows cannot make", windows,
         {zip_of({"Runtime/CON.obj", "Runtime/a./b.obj", "Runtime/b /c.obj", "Runtime/a<b.obj", "Runtime/t\tab.obj", deep + "x.obj",
                 "Runtime/.../.../x.obj", "Runtime/x/. ./y.obj"})},
         {},
         {"refused Runtime/CON.obj: the name is a device's on Windows (CON, PRN, AUX, NUL, COM or LPT and a digit)",
          "refused Runtime/a./b.obj: the name ends in a dot or a blank, which Windows drops",
          "refused Runtime/b /c.obj: the name ends in a dot or a blank, which Windows drops",
          "refused Runtime/a<b.obj: the name holds one of <>:\"|?*, which Windows refuses",
          "refused Runtime/t\tab.obj: the name holds a control character",
          "refused " + deep + "x.obj: installed, its path would be longer than Windows programs such as Poser can open (259 letters)",
          "refused Runtime/.../.../x.obj: unsafe name: the path climbs out of its content root, not looked up",
          "refused Runtime/x/. ./y.obj: unsafe name: a name of dots and blanks alone, which Windows reads as '..'"}},
        {"the same names on POSIX", posix,
         {zip_of({"Runtime/CON.obj", "Runtime/a<b.obj", "Runtime/t\tab.obj", deep + "x.obj", "Runtime/.../x.obj"})}, {},
         {"refused Runtime/t\tab.obj: the name holds a control character"}},
        {"a path longer than POSIX opens", posix, {zip_of({deeper})}, {},
         {"refused " + deeper + ": installed, its path would be longer than the system can open (4095 bytes)"}},
        {"what lies in the way on the disk", posix, {zip_of({"Runtime/a/x.obj", "Runtime/b", "Runtime/l/y.obj"})},
         {{"Runtime/a", "file"}, {"Runtime/b/", ""}, {"Runtime/l", "->"}},
         {"refused Runtime/a/x.obj: a file lies in the content folder where the product has a folder",
          "refused Runtime/b: a folder lies in the content folder where the product has a file",
          "refused Runtime/l/y.obj: a link lies in the content folder where the product has a folder: the install would write "
          "wherever it leads"}},
        {"two zips of one product", windows,
         {zip_of({"Runtime/a.obj", "ReadMe.txt", "Runtime/x"}), zip_of({"Runtime/b.obj", "ReadMe.txt", "Runtime/X/y.obj", "Runtime/a.OBJ"})},
         {},
         {"refused Runtime/X/y.obj: the name is a folder's and also a file's of the product (letter case ignored)",
          "refused Runtime/a.OBJ: another zip of the product holds a file of this name with other bytes"}},
        {"a file marked read-only, one whose old version would lie too deep by one letter, one not", windows,
         {zip_of({"Runtime/a.obj", "Runtime/" + std::string(200, 'd') + "/x.obj", "Runtime/" + std::string(199, 'e') + "/x.obj"})},
         {{"Runtime/a.obj", "read-only"}, {"Runtime/" + std::string(200, 'd') + "/x.obj", "mine"}, {"Runtime/" + std::string(199, 'e') + "/x.obj", "mine"}},
         {"blocked Runtime/a.obj", "blocked Runtime/" + std::string(200, 'd') + "/x.obj"}},
        {"a name of the run folders", posix, {zip_of({"Runtime/a.obj", "Tarnwick-Runs"})}, {},
         {"refused Tarnwick-Runs: the name is that of the folder of tarnwick's runs"}},
    };
    for (const PlanCase& c : cases) {
        Disk d(c.rules);
        for (const auto& [path, bytes] : c.on_disk) {
            if (path.back() == '/') {
                d.disk.add_folder(d.at(path));
            } else if (bytes == "->") {
                d.disk.add_link(d.at(path), d.top());
            } else {
                d.disk.add_file(d.at(path), bytes);
                d.disk.set_read_only(d.at(path), bytes == "read-only");
            }
        }
        std::vector<std::string> zips;
        for (const std::string& bytes : c.zips) {
            zips.push_back(d.zip(std::to_string(zips.size()) + ".zip", bytes));
        }
        ChangesSeen changes(d.disk);
        const InstallPlan plan = d.plan(zips);
        EXPECT_EQ(described(plan), c.expected) << c.what;
        EXPECT_EQ(plan.can_install(), c.expected.front().rfind("refused", 0) != 0 && c.expected.front().rfind("blocked", 0) != 0)
            << c.what;
        EXPECT_EQ(changes.list, Lines{}) << c.what;
    }
}

// Each record is kept by writing it to the disk, a step that can fail; the last record kept is what an undo reads.
struct KeptOnDisk : InstallJournal {
    explicit KeptOnDisk(fsys::FileSystem& d) : disk(d) {}
    bool keep(const InstallRecord& record) override
    {
        const std::string path = record.run_folder + fsys::k_sep + "record";
        const bool kept = disk.write_file(path + ".new", "r", fsys::Create::truncate, fsys::Sync::yes) && disk.rename_replace(path + ".new", path);
        last = kept ? record : last;
        return kept;
    }
    fsys::FileSystem& disk;
    InstallRecord last;
};

struct Installed {
    InstallEnd end = InstallEnd::failed;
    InstallRecord record;
    InstallRecord kept;
    TakenBack taken_back;
    std::string reason;
    std::pair<unsigned long long, unsigned long long> progress;  // as last shown: done, of all
};

Installed install(Disk& d, const InstallPlan& plan, unsigned threads = 1)
{
    const std::string run = d.root() + fsys::k_sep + "tarnwick-runs" + fsys::k_sep + "20261207-101010";
    d.disk.make_folders(run);
    KeptOnDisk journal(d.disk);
    Installed out;
    const InstallProgress shown = [&](unsigned long long done, unsigned long long all) { out.progress = {done, all}; };
    out.end = install_planned(d.disk, plan, run, journal, threads, "later", shown, out.record, out.taken_back, out.reason);
    out.kept = journal.last;
    return out;
}

// A product over a folder that holds some of it: a file replaced, one already there, one the
// user changes after the install, new folders inside an existing one in another letter case.
struct Product {
    explicit Product(DiskRules rules) : d(rules)
    {
        d.disk.add_file(d.at("Runtime/Geometries/a.obj"), "old a");
        d.disk.add_file(d.at("Runtime/Geometries/b.obj"), "b");
        d.disk.add_file(d.at("Runtime/Textures/mine.jpg"), "mine");
        zip = d.zip("p.zip", made_zip({entry("runtime/geometries/a.obj", "new a"), entry("runtime/geometries/b.obj", "b"),
                                        entry("runtime/textures/skin/skin.jpg", std::string(300000, 's')),
                                        entry("runtime/libraries/character/p/p.cr2", "figure"), entry("ReadMe.txt", "read")}));
        before = d.content();
    }
    Disk d;
    std::string zip;
    Lines before;
};

TEST(Install, InstalledThenTakenBackGivesTheFolderBackByteForByte)
{
    for (const DiskRules rules : {DiskRules::posix, DiskRules::windows}) {
        Product p(rules);
        // A stop while the plan compares the files it would replace ends it with nothing planned.
        p.d.disk.before_each_step([&](const std::string& path) {
            if (path == p.d.at("Runtime/Geometries/a.obj")) {
                run_stop::request();
            }
        });
        const InstallPlan stopped = p.d.plan({p.zip});
        p.d.disk.before_each_step(nullptr);
        run_stop::clear();
        EXPECT_TRUE(stopped.stopped && stopped.files.empty());
        const InstallPlan plan = p.d.plan({p.zip});
        ASSERT_TRUE(plan.can_install());
        const Installed done = install(p.d, plan, 3);
        ASSERT_EQ(done.end, InstallEnd::installed) << done.reason;
        EXPECT_EQ(p.d.disk.bytes(p.d.at("Runtime/Geometries/a.obj")), "new a");
        EXPECT_EQ(p.d.disk.bytes(p.d.at("Runtime/Textures/skin/skin.jpg")), std::string(300000, 's'));
        EXPECT_EQ(p.d.disk.bytes(p.d.at("Runtime/libraries/character/p/p.cr2")), "figure");
        EXPECT_EQ(p.d.disk.bytes(done.record.run_folder + fsys::k_sep + native("old/Runtime/Geometries/a.obj")), "old a");
        EXPECT_FALSE(p.d.disk.entry_exists(done.record.run_folder + fsys::k_sep + "new"));
        EXPECT_TRUE(done.kept.finished && done.kept.files.size() == 4u);
        EXPECT_EQ(done.progress, std::make_pair(300015ull, 300015ull));  // the bytes written; b.obj was there already
        // Each file unpacked was on the disk before it moved in (this disk flushes file by file), and its stamp is kept
        // as it stood once the file moved in.
        InstallRecord record = done.kept;
        for (const InstalledFile& f : record.files) {
            EXPECT_EQ(p.d.disk.syncs(done.record.run_folder + fsys::k_sep + native(f.staged)), 1) << f.path;
            fsys::FileStamp now;
            EXPECT_TRUE(p.d.disk.stamp(p.d.at(f.path), now) && now == f.stamp) << f.path;
        }
        // A file whose stamp is the one kept is taken back on it alone, never read again ...
        const std::string figure = p.d.at("Runtime/libraries/character/p/p.cr2");
        p.d.disk.add_file(figure, "FIGURE");
        auto stamped = std::find_if(record.files.begin(), record.files.end(),
                                    [](const InstalledFile& f) { return f.path.find("p.cr2") != std::string::npos; });
        ASSERT_TRUE(stamped != record.files.end() && p.d.disk.stamp(figure, stamped->stamp));
        // ... and one changed by the user, to the same size, survives the taking back, named.
        p.d.disk.add_file(p.d.at("ReadMe.txt"), "READ");
        TakenBack back;
        take_back(p.d.disk, record, "then", back);
        EXPECT_EQ(back.left, (std::vector<std::pair<std::string, std::string>>{{p.d.at("ReadMe.txt"), "changed since the install"}}));
        EXPECT_FALSE(p.d.disk.entry_exists(figure));
        EXPECT_TRUE(record.undone.empty());
        // Written again with the bytes the install wrote, its stamp another, it is known by them.
        p.d.disk.add_file(p.d.at("ReadMe.txt"), "read");
        take_back(p.d.disk, record, "then", back);
        EXPECT_EQ(record.undone, "then");
        EXPECT_EQ(p.d.content(), p.before);
        // A file the user writes over as it moves in is known by its bytes, not by the stamp it had then.
        Product q(rules);
        const std::string over = q.d.at("Runtime/libraries/character/p/p.cr2");
        q.d.disk.before_each_step([&](const std::string& path) {
            if (path == over && q.d.disk.bytes(over) == "figure") {
                q.d.disk.add_file(over, "the user's figure");
            }
        });
        Installed written_over = install(q.d, plan);
        take_back(q.d.disk, written_over.kept, "then", written_over.taken_back);
        q.d.disk.before_each_step(nullptr);
        EXPECT_EQ(written_over.taken_back.left, (std::vector<std::pair<std::string, std::string>>{{over, "changed since the install"}}));
    }
}

// Every step of an install fails in turn, alone (the install takes itself back) and with every
// later step too, as when the machine dies there (the record kept last takes it back later).
TEST(Install, AFailureOrAStopAtEveryStepLeavesTheFolderAsBeforeOrToBeTakenBack)
{
    for (const DiskRules rules : {DiskRules::posix, DiskRules::windows}) {
        const InstallPlan plan = Product(rules).d.plan({Product(rules).zip});
        for (int mode = 0; mode < 3; ++mode) {  // alone, from there on, a stop there
            for (std::size_t k = 0;; ++k) {
                SCOPED_TRACE(std::to_string(int(rules)) + " mode " + std::to_string(mode) + " step " + std::to_string(k));
                Product p(rules);
                std::size_t seen = 0;
                p.d.disk.fail_when([&](fsys::Op, const std::string&) {
                    const bool at = seen++ == k;
                    if (at && mode == 2) {
                        run_stop::request();
                    }
                    return mode == 0 ? at : mode == 1 && seen > k;
                });
                Installed done = install(p.d, plan);
                p.d.disk.fail_when(nullptr);
                run_stop::clear();
                if (seen <= k) {
                    EXPECT_EQ(done.end, InstallEnd::installed);
                    break;  // every step taken
                }
                if (done.end == InstallEnd::installed) {
                    EXPECT_EQ(p.d.disk.bytes(p.d.at("Runtime/Geometries/a.obj")), "new a");
                    continue;  // a step whose failure only the record's last note or tidying saw
                }
                if (mode != 1) {
                    EXPECT_EQ(p.d.content(), p.before);
                    EXPECT_TRUE(done.taken_back.left.empty());
                }
                TakenBack back;
                take_back(p.d.disk, done.kept, "then", back);
                EXPECT_TRUE(back.left.empty());
                EXPECT_EQ(p.d.content(), p.before);
            }
        }
    }
}

TEST(InstallNames, UnmakeableNamesAndUtf8)
{
    const std::pair<std::string, bool> samples[] = {
        {"a.obj", true}, {"nul.txt", false}, {"COM9", false}, {"com0", false}, {"LPT10", true}, {"conout$.txt", false}, {"aux .x", false},
        {std::string(255, 'a'), true}, {std::string(256, 'a'), false}, {"\xc3\xa9", true}, {"\xc3", false},
        {"\xe0\x80\x80", false}, {"\xed\xa0\x80", false}, {"\xf4\x90\x80\x80", false}, {"\xf0\x9f\x98\x80", true},
        {"a?", false}, {"a\x7f", false},
    };
    for (const auto& [name, makeable] : samples) {
        EXPECT_EQ(unmakeable_reason(name, DiskRules::windows) == nullptr, makeable) << name;
    }
    // 128 letters of four bytes each are 256 units of UTF-16, and 512 bytes.
    const std::string emoji = repeated("\xf0\x9f\x98\x80", 127);
    EXPECT_EQ(unmakeable_reason(emoji, DiskRules::windows), nullptr);
    EXPECT_NE(unmakeable_reason(emoji + "\xf0\x9f\x98\x80", DiskRules::windows), nullptr);
    EXPECT_NE(unmakeable_reason(emoji, DiskRules::posix), nullptr);
}

}  // namespace
