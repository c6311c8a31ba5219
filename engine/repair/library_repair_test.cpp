// The extended repair on a tree shaped like real content: every reference kind, lines ended
// every way, paths saved on other machines, and the report agreeing with the result.
#include "engine/repair/library_repair.h"
#include "engine/repair/poserfile.h"
#include "engine/report/library_report.h"
#include "tests/changing_disk.h"
#include "tests/test_support.h"

#include <set>
#include <tuple>

namespace {

// A scene's lines, each with the line end it is stored with (the last has none) and, where the repair changes its path,
// the line it must leave there.
struct SceneLine {
    std::string text, end, repaired = "";  // "" where the line stays
};
const SceneLine k_scene[] = {
    {"{", "\r\n"},
    {"alternateGeom", "\n"},
    {"\t{", "\n"},
    {"\tname GetStringRes:top2.obj", "\n"},
    {"\tobjFile 2002 :Runtime:Geometries:props:top2.obj \t", "\r"},
    {"\t}", "\r\n"},
    {"textureMap \":Runtime:Textures:old:skin.jpg\"", "\n", "textureMap \":Runtime:Textures:skin:skin.jpg\""},
    {"\t\tfile :Runtime:Textures:old:skin.jpg ", "\n", "\t\tfile :Runtime:Textures:skin:skin.jpg "},
    {"morphPmdFile \":Runtime:libraries:gone:morphs.pmd\"", "\r\n", "morphPmdFile \":Runtime:libraries:Character:x:morphs.pmd\""},
    {"runPythonScript \":Runtime:Python:old:pose.py\"", "\n", "runPythonScript \":Runtime:Python:poses:pose.py\""},
    {"objFileGeom 0 0 /Volumes/Content/Poser Pro 2014 Content/Runtime/Geometries/mac/y.obj", "\n", "objFileGeom 0 0 :Runtime:Geometries:mac:y.obj"},
    {"bumpMap \"C:\\Program Files\\Poser 4\\Runtime\\Textures\\w.tif\"", "\n", "bumpMap \":Runtime:Textures:w.tif\""},
    {"textureMap NO_MAP", "\n"},
    {"\x1a\x01 control bytes", "\n"},
    {"", "\n"},
    {"}", ""},
};

// The scene with every line end as stored, or with a carriage return alone for each; with `repaired`, as the repair must
// leave it: nothing but the paths changed.
std::string scene(bool cr_only, bool repaired = false)
{
    const auto stored = [=](const SceneLine& line) {
        return (repaired && !line.repaired.empty() ? line.repaired : line.text) + (cr_only && !line.end.empty() ? "\r" : line.end);
    };
    return joined(k_scene, stored, "");
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
        const Lines seen = seen_repairing(run, doc, std::move(answers));
        log = closed_log(run, dir.at("__result_of_run.txt"));
        return seen;
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
        EXPECT_EQ(read_bytes(doc), scene(cr_only, true));
        EXPECT_EQ(read_bytes(dir.at("main/Runtime/Libraries/scene/scene_zz00.pz3")), scene(cr_only));
        Lines lines = poser_lines(log);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "      (found by its Runtime path)"), 2);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "      (found by name)"), 3);
        expect_pieces(log, {replaced_lines("/Volumes/Content/Poser Pro 2014 Content/Runtime/Geometries/mac/y.obj",
                                           dir.at("extra/Runtime/Geometries/mac/y.obj"))});

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
    // Each pick with its chooser's caption and kind: the pick itself proposed, in its own folder.
    const std::tuple<std::string, std::string, std::string> asked[] = {
        {"main/Runtime/Textures/skin/skin.jpg", "image file for skin.jpg", "image files"},
        {"main/Runtime/libraries/Character/x/morphs.pmd", "morph file for morphs.pmd", "morph files"},
        {"main/Runtime/Python/poses/pose.py", "Poser script for pose.py", "Poser scripts and poses"},
        {"extra/Runtime/Geometries/mac/y.obj", ".OBJ file for y.obj", "OBJ mesh geometry files"},
        {"main/Runtime/Textures/w.tif", "image file for w.tif", "image files"},
    };
    Lines picks, shown = {"title\t" + doc};
    for (const auto& [pick, caption, kind] : asked) {
        picks.push_back(dir.at(pick));
        shown.push_back(chooser_line(picks.back(), picks.back(), caption, kind));
    }
    EXPECT_EQ(repair(scene(false), false, picks), shown);
    EXPECT_EQ(read_bytes(doc), scene(false, true));

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
        start_engine(run, root, extended);
        const Lines seen = seen_repairing(run, doc, {pick}, disk);
        const long long abandoned = run.tally.abandoned;
        reset_engine(run, "");
        return std::pair(seen, abandoned);
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
