// The extended repair on a tree shaped like real content: every reference kind, lines ended
// every way, paths saved on other machines, and the report agreeing with the result.
#include "engine/fsys/memory_fs.h"
#include "engine/repair/library_repair.h"
#include "engine/repair/poserfile.h"
#include "engine/report/library_report.h"
#include "tests/changing_disk.h"
#include "tests/test_support.h"

#include <set>

namespace {

// A scene's lines, each with the line end it is stored with; the last has none.
const std::pair<std::string, std::string> k_scene[] = {
    {"{", "\r\n"},
    {"alternateGeom", "\n"},
    {"\t{", "\n"},
    {"\tname GetStringRes:top2.obj", "\n"},
    {"\tobjFile 2002 :Runtime:Geometries:props:top2.obj \t", "\r"},
    {"\t}", "\r\n"},
    {"textureMap \":Runtime:Textures:old:skin.jpg\"", "\n"},
    {"\t\tfile :Runtime:Textures:old:skin.jpg ", "\n"},
    {"morphPmdFile \":Runtime:libraries:gone:morphs.pmd\"", "\r\n"},
    {"runPythonScript \":Runtime:Python:old:pose.py\"", "\n"},
    {"objFileGeom 0 0 /Volumes/Content/Poser Pro 2014 Content/Runtime/Geometries/mac/y.obj", "\n"},
    {"bumpMap \"C:\\Program Files\\Poser 4\\Runtime\\Textures\\w.tif\"", "\n"},
    {"textureMap NO_MAP", "\n"},
    {"\x1a\x01 control bytes", "\n"},
    {"", "\n"},
    {"}", ""},
};

// The scene with every line end as stored, or with a carriage return alone for each.
std::string scene(bool cr_only)
{
    const auto stored = [cr_only](const auto& line) { return line.first + (cr_only && !line.second.empty() ? "\r" : line.second); };
    return joined(k_scene, stored, "");
}

// The scene as the repair must leave it: nothing but the paths changed.
std::string repaired(std::string text)
{
    const std::pair<std::string, std::string> paths[] = {
        {":Runtime:Textures:old:skin.jpg", ":Runtime:Textures:skin:skin.jpg"},
        {":Runtime:Textures:old:skin.jpg", ":Runtime:Textures:skin:skin.jpg"},
        {":Runtime:libraries:gone:morphs.pmd", ":Runtime:libraries:Character:x:morphs.pmd"},
        {":Runtime:Python:old:pose.py", ":Runtime:Python:poses:pose.py"},
        {"/Volumes/Content/Poser Pro 2014 Content/Runtime/Geometries/mac/y.obj", ":Runtime:Geometries:mac:y.obj"},
        {"C:\\Program Files\\Poser 4\\Runtime\\Textures\\w.tif", ":Runtime:Textures:w.tif"},
    };
    for (const auto& [from, to] : paths) {
        text.replace(text.find(from), from.size(), to);
    }
    return text;
}

// The transcript field `k` (counted from 0) of every chooser.
Lines chooser_fields(const Lines& transcript, std::size_t k)
{
    Lines fields;
    for (const std::string& line : transcript) {
        if (line.rfind("open\t", 0) == 0) {
            std::size_t at = 0;
            for (std::size_t n = 0; n < k; ++n) {
                at = line.find('\t', at) + 1;
            }
            fields.push_back(line.substr(at, line.find('\t', at) - at));
        }
    }
    return fields;
}

}  // namespace

class LibraryRepair : public ::testing::Test {
protected:
    void SetUp() override
    {
        write_files(dir, {"main/Runtime/Geometries/props/top2.obj", "main/Runtime/Textures/skin/skin.jpg",
                          "main/Runtime/libraries/Character/x/morphs.pmd", "main/Runtime/Python/poses/pose.py",
                          "main/Runtime/Geometries/other/y.obj", "main/Runtime/Textures/w.tif", "extra/Runtime/Geometries/mac/y.obj"},
                    "");
        roots = {dir.at("main"), dir.at("extra")};
    }
    void TearDown() override { reset_engine(run, ""); }
    // Repairs `text` as scene.pz3 below the main root, answering the prompts from `answers`.
    Lines repair(const std::string& text, bool automatic, Lines answers = {})
    {
        reset_engine(run, roots.front());
        use_library_rules(run, LibraryOptions{automatic, roots, {}});
        std::filesystem::remove_all(std::filesystem::path(doc).parent_path());
        write_bytes(doc, text);
        open_log(run, dir.at("__result_of_run.txt"));
        ScriptedSession s(std::move(answers));
        ::repair(run, doc, s.wn);
        log = closed_log(run, dir.at("__result_of_run.txt"));
        return s.transcript();
    }

    TempDir dir;
    ::Run run;
    std::vector<std::string> roots;
    std::string doc = dir.at("main/Runtime/Libraries/scene/scene.pz3"), log;
};

TEST_F(LibraryRepair, EveryKindRepairedByNameOrRuntimePathChangingNothingButPaths)
{
    for (bool cr_only : {false, true}) {
        SCOPED_TRACE(cr_only ? "CR only" : "mixed line ends");
        repair(scene(cr_only), true);
        EXPECT_EQ(read_bytes(doc), repaired(scene(cr_only)));
        EXPECT_EQ(read_bytes(dir.at("main/Runtime/Libraries/scene/scene_zz00.pz3")), scene(cr_only));
        Lines lines = poser_lines(log);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "      (found by its Runtime path)"), 2);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "      (found by name)"), 3);
        EXPECT_NE(log.find(replaced_lines("/Volumes/Content/Poser Pro 2014 Content/Runtime/Geometries/mac/y.obj",
                                          dir.at("extra/Runtime/Geometries/mac/y.obj"))),
                  std::string::npos);

        // The report then finds every reference, and leaves the backup unread.
        const LibraryReport r = build_library_report(fsys::disk(), {dir.at("main/Runtime/Libraries")}, roots, 2);
        EXPECT_EQ(r.files_read, 1);
        EXPECT_EQ(r.backups_skipped, 1);
        EXPECT_EQ(r.count(RefStatus::moved) + r.count(RefStatus::missing), 0);
        EXPECT_EQ(r.total, 8);
    }
}

TEST_F(LibraryRepair, PicksAskedWithTheKindsCaptionAndTheBestCandidateProposed)
{
    const Lines picks = {dir.at("main/Runtime/Textures/skin/skin.jpg"), dir.at("main/Runtime/libraries/Character/x/morphs.pmd"),
                         dir.at("main/Runtime/Python/poses/pose.py"), dir.at("extra/Runtime/Geometries/mac/y.obj"),
                         dir.at("main/Runtime/Textures/w.tif")};
    const Lines seen = repair(scene(false), false, picks);
    EXPECT_EQ(read_bytes(doc), repaired(scene(false)));
    EXPECT_EQ(chooser_fields(seen, 2), (Lines{"find the correct image file for skin.jpg", "find the correct morph file for morphs.pmd",
                                             "find the correct Poser script for pose.py", "find the correct .OBJ file for y.obj",
                                             "find the correct image file for w.tif"}));
    EXPECT_EQ(chooser_fields(seen, 3), picks);
    EXPECT_EQ(chooser_fields(seen, 5), (Lines{"image files", "morph files", "Poser scripts and poses",
                                             "OBJ mesh geometry files", "image files"}));

    // Every reference needing repair left as it is: the file stays as it was, and no repair failed.
    repair("textureMap :Runtime:Textures:none.jpg\n", false, {"cancel"});
    EXPECT_EQ(read_bytes(doc), "textureMap :Runtime:Textures:none.jpg\n");
    EXPECT_FALSE(exists(dir.at("main/Runtime/Libraries/scene/scene_zz00.pz3")));
    EXPECT_EQ(log, "file " + doc + ": nothing changed\r\n      left as it is: :Runtime:Textures:none.jpg\r\n");

    // A root reached through a link takes a pick named by the folder the link leads to.
#ifndef _WIN32
    std::filesystem::create_directory_symlink(dir.at("main"), dir.at("link"));
    roots = {dir.at("link"), dir.at("extra")};
    doc = dir.at("link/Runtime/Libraries/scene/scene.pz3");
    repair("textureMap :Runtime:Textures:gone.jpg\n", false, {dir.at("main/Runtime/Textures/w.tif")});
    EXPECT_EQ(read_bytes(doc), "textureMap :Runtime:Textures:w.tif\n");
#endif
}


// Another program saves a document at any step of its repair (a user saving in Poser while a chooser is open): both
// repairs write the corrected text of one version only, the one they read, never lose the text saved, and put the
// corrected text of the older version in its place only when it was saved during the last few steps, in the renames.
TEST(RepairWhileSaved, NeverAMixOfTwoVersions)
{
    const std::string root = absolute("/lib"), doc = absolute("/lib/Runtime/Libraries/Props/ball.pp2");
    const std::string pick = absolute("/lib/Runtime/Geometries/new/ball2.obj");
    const std::string old_text = "prop ball\n{\nobjFileGeom 0 0 :Runtime:Geometries:gone:ball.obj\n}\n";
    const std::string new_text = "# my own note, added while the chooser was open\n" + old_text;
    const auto setup = [&](fsys::MemoryFileSystem& disk, const std::string& text) {
        disk.add_file(doc, text);
        disk.add_file(pick, "");
    };
    // Repairs the document by either rule set, `pick` chosen for its mesh: what the user saw, and the repairs abandoned.
    const auto repair_doc = [&](fsys::MemoryFileSystem& disk, bool extended) {
        ::Run run(disk);
        reset_engine(run, root);
        if (extended) {
            use_library_rules(run, LibraryOptions{false, {root}, {}});
        }
        ScriptedSession s({pick}, disk);
        ::repair(run, doc, s.wn);
        const long long abandoned = run.tally.abandoned;
        reset_engine(run, "");
        return std::pair(s.transcript(), abandoned);
    };
    for (bool extended : {false, true}) {
        SCOPED_TRACE(extended ? "extended" : "default");
        long long abandoned = 0;
        const auto work = [&](fsys::MemoryFileSystem& disk) { abandoned += repair_doc(disk, extended).second; };
        const auto repaired = [&](const std::string& text) { return left_by(setup, text, work, [&](auto& d) { return d.bytes(doc); }); };
        const std::set<std::string> allowed{old_text, new_text, repaired(old_text), repaired(new_text)};
        ASSERT_EQ(allowed.size(), 4u);
        int saved_then_repaired = 0, saved_over = 0;
        const int steps = at_every_step(setup, old_text, doc, new_text, work, [&](fsys::MemoryFileSystem& disk, bool changed) {
            std::set<std::string> texts;
            for (const auto& [path, bytes] : disk.files_below(root)) {
                EXPECT_TRUE(path == pick || allowed.count(bytes) == 1) << path << ":\n" << bytes;
                texts.insert(bytes);
            }
            EXPECT_TRUE(!changed || texts.count(new_text) == 1);
            saved_then_repaired += disk.bytes(doc) == repaired(new_text) ? 1 : 0;
            saved_over += changed && disk.bytes(doc) == repaired(old_text) ? 1 : 0;
        });
        EXPECT_GT(steps, 20);
        EXPECT_LE(saved_over, 3);
        // The extended repair reads a document saved meanwhile again, and gives it up at one step at most.
        EXPECT_GT(saved_then_repaired, extended ? 1 : 0);
        EXPECT_TRUE(!extended || abandoned <= 1) << abandoned;
    }
    // Saved again each time it is read, the extended repair leaves it as it is and says so.
    fsys::MemoryFileSystem disk;
    setup(disk, old_text);
    std::string saved = "0" + old_text;
    disk.before_each_step([&](const std::string& path) {
        if (path == doc) {
            saved[0] = static_cast<char>('0' + (saved[0] - '0' + 1) % 10);
            disk.add_file(doc, saved);
        }
    });
    const auto [seen, abandoned] = repair_doc(disk, true);
    disk.before_each_step(nullptr);
    EXPECT_EQ(disk.bytes(doc), saved);
    EXPECT_EQ(seen.back(), "warning\tnone\tthis file changed while I was correcting it\t" + doc);
    EXPECT_EQ(abandoned, 1);
}
