// The library report's reading of references, roots and whole trees.
#include "engine/base/poser_documents.h"
#include "engine/library/content_paths.h"
#include "engine/library/library_prefs.h"
#include "engine/report/library_report.h"
#include "engine/text/references.h"
#include "tests/test_support.h"

#include <numeric>

TEST(References, KeywordsQuotesMarkersAndBuiltins)
{
    // Each line with what it refers to: "kind target", "kind builtin target", or "" for none.
    const std::pair<std::string, std::string> cases[] = {
        {"figureResFile :Runtime:Geometries:a.obj", "geometry :Runtime:Geometries:a.obj"},
        {"\tfigureResFile \":Runtime:Geometries:A b:A-lo-1.2.obj\"", "geometry :Runtime:Geometries:A b:A-lo-1.2.obj"},
        {"objFileGeom 0 0 :Runtime:Geometries:props:ground.obz", "geometry :Runtime:Geometries:props:ground.obz"},
        {"objFile GetStringRes(1024,2)", "geometry builtin GetStringRes(1024,2)"}, {"  geomResource 0", "geometry builtin 0"},
        {"textureMap NO_MAP", "image builtin NO_MAP"}, {"textureMap", "image builtin "}, {"figureResFile", "geometry builtin "},
        {"bumpMap \"C:\\tex\\b.jpg\"", "image C:\\tex\\b.jpg"},
        {"\t\tfile \":Runtime:Textures:x.jpg\"", "image :Runtime:Textures:x.jpg"},
        {"morphBinaryFile :Runtime:libraries:X:Y All Morphs.pmd", "morph :Runtime:libraries:X:Y All Morphs.pmd"},
        {"injectPMDFileMorphs \":Runtime:libraries:x.pmd\"", "morph :Runtime:libraries:x.pmd"},
        {"readScript \":Runtime:Python:a.py\"", "script :Runtime:Python:a.py"},
        // other lines are geometry by their ending, the path after the marker or in quotes
        {"prop 0 0 :Runtime:Geometries:ball.OBJ", "geometry :Runtime:Geometries:ball.OBJ"},
        {"\tobjFile 2002 :Runtime:Props:Top2.obj", "geometry :Runtime:Props:Top2.obj"},
        {"\tname GetStringRes:Top2.obj", ""}, {"objFile GetStringRes:Top2.obj", "geometry builtin GetStringRes:Top2.obj"},
        {"morphPmdFile \":Runtime:libraries:x.pmd\" 1", "morph :Runtime:libraries:x.pmd"},
        // a script named from no root lies beside its document
        {"runPythonScript \"Shaders\\a.py\"", "script beside Shaders\\a.py"}, {"runPythonScript x.py", "script beside x.py"},
        {"runPythonScript \"Macintosh HD:Python:x.py\"", "script Macintosh HD:Python:x.py"},
        {"runPythonScript \"runtime\\Python\\x.py\"", "script runtime\\Python\\x.py"}, {"runPythonScript /V/x.py", "script /V/x.py"},
        {"other \"x y :z.obZ\"", "geometry x y :z.obZ"},
        {"FigureResFile a/b.obj", "geometry FigureResFile a/b.obj"},
        {"textureMapX :a.jpg", ""}, {"name :a.obj\"", ""}, {"x.ob", ""},
        // a quote never closed runs to the line's end; what follows a closing one is no path
        {"textureMap \"C:\\my tex\\a.jpg", "image C:\\my tex\\a.jpg"}, {"textureMap \":a.jpg\" 1 2", "image :a.jpg"},
        {"textureMap \"\"", "image builtin "}, {"bumpMap \":a b.jpg\"\t", "image :a b.jpg"},
    };
    for (const auto& [line, expected] : cases) {
        FileReference r;
        const bool found = find_file_reference(line, r);
        const std::string builtin = r.builtin ? " builtin " : r.beside_document ? " beside " : " ";
        EXPECT_EQ(found ? std::string(kind_name(r.kind)) + builtin + std::string(r.target) : "", expected);
    }
}

TEST(LibraryPrefs, RegisteredFoldersOnEachSystem)
{
    const std::string xml =
        "<LibraryPrefs><ContentFolder folder=\"Z:\\home\\u\\Poser\\Runtime\\Libraries\\\"/>\n"
        "<ContentFolder  folder='C:\\Program Files\\Poser &amp; more&odd;&#x4E2D;'>\n<ContentFolder name=\"x\"/>"
        "<ContentFolder folder=\"Z:\\srv\\Extra &#x41;\" /></LibraryPrefs>";
    const RegisteredFolders posix = parse_library_prefs(xml, PathStyle::posix);
    EXPECT_EQ(posix.roots, (Lines{"/home/u/Poser", "/srv/Extra A"}));
    EXPECT_EQ(posix.unreachable, (Lines{"C:\\Program Files\\Poser & more&odd;&#x4E2D;"}));
    const RegisteredFolders windows = parse_library_prefs(xml, PathStyle::windows);
    EXPECT_EQ(windows.roots, (Lines{"Z:\\home\\u\\Poser", "C:\\Program Files\\Poser & more&odd;&#x4E2D;", "Z:\\srv\\Extra A"}));
    EXPECT_TRUE(windows.unreachable.empty());
    // An attribute starts a word after any blank, a line end included, and is found by its whole name.
    const std::string spaced = "<ContentFolder\rfolder=\"Z:\\a\"/><ContentFolder\tfolder = 'Z:\\b'/><ContentFolder\nfolder=\"Z:\\c\"/>"
                               "<ContentFolder myfolder=\"Z:\\no\" folder=\"Z:\\d\"/><ContentFolder folders=\"Z:\\no\"/>"
                               "<ContentFolder folder=\"Z:\\xRuntime\\Libraries\"/>"  // no libraries folder: kept whole
                               "<ContentFolder folder=Z:\\no folder=\"Z:\\e\"/><ContentFolder folder=\"Z:\\no/><ContentFolder folder>";
    EXPECT_EQ(parse_library_prefs(spaced, PathStyle::posix).roots, (Lines{"/a", "/b", "/c", "/d", "/xRuntime/Libraries", "/e"}));
}

TEST(AbsoluteReference, ADriveAShareOrAnExistingSlashPathAndAPathMadeAbsoluteWithoutDotsOrDoubledSeparators)
{
    const std::string here = std::filesystem::current_path().string(), s(1, fsys::k_sep);
    EXPECT_EQ(fsys::disk().absolute_path("."), here);
    EXPECT_EQ(fsys::disk().absolute_path("a" + s + "." + s + "b" + s + s + "c" + s), here + s + "a" + s + "b" + s + "c");
    EXPECT_EQ(fsys::disk().absolute_path(here + s + "x" + s), here + s + "x");
    TempDir dir;
    write_bytes(dir.at("f.cr2"), "");
    const Lines paths = {"C:\\a", "z:/a", "C:a", "1:/a", "\\\\srv\\a", "//srv/a", "\\a", ":C:\\a", "/", "", "\\\\", "//", "C:\\", "\\/"};
    EXPECT_EQ(joined(paths, [](const std::string& t) { return is_absolute_reference(fsys::disk(), t) ? "1" : "0"; }, ""), "11001100001111");
    // Written on another machine: from a drive, a share, the top or a Mac volume, Runtime below its first folder.
    const Lines elsewhere = {"C:\\P\\Runtime\\a", "/P/Runtime/a", "HD:P:Runtime:a", ":P:Runtime:a", "P/Runtime/a", "/Runtime/a", "HD:P:a", ""};
    EXPECT_EQ(joined(elsewhere, [](const std::string& t) { return is_written_elsewhere(t) ? "1" : "0"; }, ""), "11100000");
#ifndef _WIN32
    EXPECT_TRUE(is_absolute_reference(fsys::disk(), dir.at("f.cr2")) && !is_absolute_reference(fsys::disk(), dir.at("g.cr2")));
    // Another machine's path is never looked up here, even where the current folder holds a file of that name.
    fsys::MemoryFileSystem mem;
    mem.add_file("/lib/a.cr2", "figureResFile HD:P:Runtime:a.obj\n");
    mem.add_file("/HD:P:Runtime:a.obj", "");
    EXPECT_EQ(build_library_report(mem, {"/lib"}, {"/lib"}, 1).count(RefStatus::missing), 1);
#endif
}

// Each problem on one line, paths below the test folder shown from "~" with '/'.
static std::vector<std::string> rendered(const LibraryReport& r, const std::string& top)
{
    std::vector<std::string> lines;
    for (const ReportProblem& p : r.problems) {
        const auto use = [](const ReportUse& u) { return " " + u.file + ":" + std::to_string(u.line); };
        std::string line = std::string(status_name(p.status)) + " " + std::string(kind_name(p.kind)) + " " + p.target + " |" +
                           joined(p.candidates, [](const std::string& c) { return " " + c; }, "") + " |" + joined(p.uses, use, "");
        for (std::size_t at; (at = line.find(top)) != std::string::npos;) {
            line.replace(at, top.size(), "~");
        }
        std::replace(line.begin(), line.end(), fsys::k_sep, '/');
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST(LibraryReport, EveryStatusKindAndKindOfFile)
{
    TempDir dir;
    write_files(dir, {"one/Runtime/Geometries/man/man.obj", "two/Runtime/Geometries/hair/bob.obj", "one/Runtime/Textures/skin/skin.jpg",
                      "one/Runtime/Geometries/props/Ball.obj", "one/Runtime/Geometries/else/where/chair.obz", "two/stuff/chair.OBZ",
                      "one/Runtime/Geometries/under/old/chair.obz", "abs/s.py", "lib/sub/h.py"}, "");
    write_bytes(dir.at("lib/a.cr2"), "{\r\nfigureResFile :Runtime:Geometries:man:man.obj\r\n"
                                     "\tfigureResFile \":Runtime:Geometries:hair:bob.obj\"\r\n"
                                     "\tobjFileGeom 0 0 \\Runtime\\Geometries\\props\\ball.obj\r\n"
                                     "\ttextureMap \"skin/skin.jpg\"\r\n\tbumpMap NO_MAP\r\n"
                                     "\tmorphBinaryFile :Runtime:libraries:Character:X:Y All Morphs.pmd\r\n"
                                     "\treadScript \"" + dir.at("abs/s.py") + "\"\r\n"
                                     "\tprop 0 0 :Runtime:Geometries:old:chair.obz \t\r\n"
                                     "\ttextureMap :Runtime:Textures:skin:\r\n"  // a folder
                                     "objFile :Runtime:Geometries:gone.obj");
    write_gzip(dir.at("lib/b.crz"), "version\n{\nfigureResFile :Runtime:Geometries:gone.obj\n}\n");
    // two gzip members, the second longer than a read block, and a plain extension
    write_gzip(dir.at("lib/sub/c.pp2"), "figureResFile :Runtime:Geometries:man:man.obj\n");
    const std::string filler = repeated("\t\tk 0 0.25\n", 60000);
    write_gzip(dir.at("lib/sub/c.pp2"), filler + "textureMap :Runtime:Textures:skin:gone.jpg\n", true);
    const std::string c_line = std::to_string(2 + std::count(filler.begin(), filler.end(), '\n'));
    write_gzip(dir.at("lib/d.hrz"), std::string(5000, 'x') + "\nfigureResFile :gone.obj\n");
    write_bytes(dir.at("lib/d.hrz"), read_bytes(dir.at("lib/d.hrz")).substr(0, 20));
    write_bytes(dir.at("lib/e.pz3"), "\x1f\x8b not gzip at all\nfigureResFile :gone.obj\n");
    // in two folders' documents: a script from a Runtime folder named without a separator before it, and h.py from beside them
    write_bytes(dir.at("lib/p.pz2"), "readScript Runtime\\Python\\poseWorks\\caf\xc3\xa9-1.pz2\nrunPythonScript h.py\n");
    write_bytes(dir.at("lib/sub/p.pz2"), "runPythonScript \"Runtime\\Python\\poseWorks\\caf\xc3\xa9-1.pz2\"\nrunPythonScript h.py\n");
    // a line too long to be a path, and the line after it
    write_bytes(dir.at("lib/long.cm2"), std::string(3 << 20, 'x') + ".obj\nreadScript :missing.py\ntextureMap :\n");
#ifndef _WIN32
    // a link to a document outside is read like it; a share path names nothing, though "//" reaches what "/" does
    write_bytes(dir.at("abs/linked.pz2"), "readScript :linked.py\nreadScript /" + dir.at("abs/s.py") + "\n");
    std::filesystem::create_symlink(dir.at("abs/linked.pz2"), dir.at("lib/sub/linked.pz2"));
    std::filesystem::create_directory_symlink(dir.at("abs"), dir.at("two/gone.obj"));  // a folder is no mesh found
#endif
    write_files(dir, {"lib/._a.cr2", "lib/__MACOSX/m.cr2", "lib/.hidden/h.cr2", "lib/notes.txt", "lib/a_zz00.cr2", "lib/b_zz03.crz",
                      "lib/tarnwick-runs/20261207-101010/a.cr2"}, "figureResFile :skipped.obj\n");

    const LibraryReport r = build_library_report(fsys::disk(), {dir.at("lib")}, {dir.at("one"), dir.at("two")}, 2);
    EXPECT_EQ(r.files_read, 6 + exists(dir.at("lib/sub/linked.pz2")));  // the link, where there is one
    EXPECT_EQ(r.files_compressed, 2);
    EXPECT_EQ(r.backups_skipped, 2);
    // A backup is NAME_zzNN.ext beside NAME.ext, and nothing like it.
    for (const char* name : {"a_zz0x.cr2", "a_zzx0.cr2", "a_zy00.cr2", "a_yz00.cr2", "a-zz00.cr2", "a_zz00_cr2", "b_zz00.cr2", "zz00.cr2"}) {
        EXPECT_FALSE(is_backup_beside(name, {"a.cr2", "a_cr2", "b.crz"})) << name;
    }
    EXPECT_TRUE(is_backup_beside("a_zz99.cr2", {"a.cr2"}));
    ASSERT_EQ(r.unreadable.size(), 2u);
    EXPECT_EQ(r.unreadable[0].path, dir.at("lib/d.hrz"));
    EXPECT_EQ(r.unreadable[1].reason, "corrupt or truncated gzip data");
    EXPECT_EQ(r.total, 19 + 2 * (r.files_read - 6));
    EXPECT_EQ(r.builtin, 1);
    std::vector<std::string> expected = {
        "absolute script ~/abs/s.py | | ~/lib/a.cr2:8",
        "missing geometry :Runtime:Geometries:gone.obj | | ~/lib/a.cr2:11 ~/lib/b.crz:3",
        "missing image :Runtime:Textures:skin: | | ~/lib/a.cr2:10", "missing image : | | ~/lib/long.cm2:3",  // no name at all
        "missing image :Runtime:Textures:skin:gone.jpg | | ~/lib/sub/c.pp2:" + c_line,
        "missing morph :Runtime:libraries:Character:X:Y All Morphs.pmd | | ~/lib/a.cr2:7",
        "missing script :missing.py | | ~/lib/long.cm2:2", "missing script h.py | | ~/lib/p.pz2:2",
        std::string("missing script Runtime") + (fsys::k_sep == '/' ? "\\Python\\poseWorks\\" : "/Python/poseWorks/") +
            "caf\xc3\xa9-1.pz2 | | ~/lib/p.pz2:1 ~/lib/sub/p.pz2:1",  // rendered with '/' for the system's separator
        // the candidate that shares the most of the reference's path first, whatever its folders' names and depth
        "moved geometry :Runtime:Geometries:old:chair.obz | ~/one/Runtime/Geometries/under/old/chair.obz "
        "~/one/Runtime/Geometries/else/where/chair.obz ~/two/stuff/chair.OBZ | ~/lib/a.cr2:9",
    };
#ifndef _WIN32
    expected.push_back("missing script :linked.py | | ~/lib/sub/linked.pz2:1");
    expected.push_back("refused script /~/abs/s.py | | ~/lib/sub/linked.pz2:2");  // "//tmp/...": a share to Windows
    // Only a file system that tells letter case apart misses this one by its path.
    expected.push_back("case geometry \\Runtime\\Geometries\\props\\ball.obj | ~/one/Runtime/Geometries/props/Ball.obj"
                       " | ~/lib/a.cr2:4");
#endif
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(rendered(r, dir.path()), expected);
    EXPECT_TRUE(std::is_sorted(r.problems.begin(), r.problems.end(), [](auto& a, auto& b) { return a.target < b.target; }));
    const long long problem_uses = std::accumulate(r.problems.begin(), r.problems.end(), 0LL,
                                                   [](long long n, const ReportProblem& p) { return n + p.use_count; });
    EXPECT_EQ(r.count(RefStatus::ok), r.total - r.builtin - problem_uses);
    EXPECT_EQ(r.counts[static_cast<int>(RefStatus::missing)][static_cast<int>(RefKind::geometry)], 2);
    EXPECT_TRUE(r.broken());
}
