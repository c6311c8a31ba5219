// The extended repair on a tree shaped like real content: every reference kind, lines ended
// every way, paths saved on other machines, and the report agreeing with the result.
#include "engine/fsys/memory_fs.h"
#include "engine/repair/library_repair.h"
#include "engine/repair/poserfile.h"
#include "engine/report/library_report.h"
#include "tests/test_support.h"

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
    std::string text;
    for (const auto& [line, end] : k_scene) {
        text += line + (cr_only && !end.empty() ? std::string("\r") : end);
    }
    return text;
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
        for (const char* file : {"main/Runtime/Geometries/props/top2.obj", "main/Runtime/Textures/skin/skin.jpg",
                                 "main/Runtime/libraries/Character/x/morphs.pmd", "main/Runtime/Python/poses/pose.py",
                                 "main/Runtime/Geometries/other/y.obj", "main/Runtime/Textures/w.tif",
                                 "extra/Runtime/Geometries/mac/y.obj"}) {
            write_bytes(dir.at(file), "");
        }
        roots = {dir.at("main"), dir.at("extra")};
        std::filesystem::create_directories(dir.at("log"));
    }
    void TearDown() override { reset_engine(run, ""); }
    // Repairs `text` as scene.pz3 below the main root, answering the prompts from `answers`.
    Lines repair(const std::string& text, bool automatic, Lines answers = {})
    {
        reset_engine(run, roots.front());
        use_library_rules(run, LibraryOptions{automatic, roots, {}});
        std::filesystem::remove_all(std::filesystem::path(doc).parent_path());
        write_bytes(doc, text);
        open_log(run, dir.at("log/__result_of_run.txt"));
        ScriptedSession s(std::move(answers));
        ::repair(run, doc, s.wn);
        log = closed_log(run, dir.at("log/__result_of_run.txt"));
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

// A planned copy is made only from a document still there and under a name still free; otherwise a warning, and
// nothing made or changed.
TEST(PlannedCopy, MadeOnlyFromADocumentStillThereUnderAFreeName)
{
    fsys::MemoryFileSystem disk(fsys::DiskRules::windows, "C:\\");
    const std::string doc = "C:\\l\\a.cr2", copy = "C:\\l\\a_zz01.cr2";
    ScriptedSession s;
    bool created = true;
    EXPECT_FALSE(write_planned_copy(disk, doc, disk, copy, {}, s.wn, fsys::Create::exclusive, created));
    EXPECT_FALSE(created || disk.entry_exists(copy));
    disk.add_file(doc, "figureResFile :a.obj\n");
    disk.add_file(copy, "taken");
    EXPECT_FALSE(write_planned_copy(disk, doc, disk, copy, {}, s.wn, fsys::Create::exclusive, created));
    EXPECT_FALSE(created);
    EXPECT_EQ(s.transcript().size(), 2u);
    const std::string other = "C:\\l\\b.cr2";
    EXPECT_TRUE(write_planned_copy(disk, doc, disk, other, {{14, 6, ":b.obj"}}, s.wn, fsys::Create::exclusive, created));
    std::string text;
    EXPECT_TRUE(disk.read_whole_file(copy, text) && text == "taken");
    text.clear();
    EXPECT_TRUE(disk.read_whole_file(other, text) && text == "figureResFile :b.obj\n");
    EXPECT_EQ(s.transcript().size(), 2u);
}
