#include "engine/refline.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr PathStyle W = PathStyle::windows;
constexpr PathStyle P = PathStyle::posix;

TEST(RefLine, TrimmedLinesEndingInObjAndTheirMarkers)
{
    EXPECT_EQ(trim_line("figureResFile :a.obj \t \n"), "figureResFile :a.obj");
    EXPECT_EQ(trim_line("x\n\n"), "x\n");
    EXPECT_EQ(trim_line(" \t"), "");
    EXPECT_EQ(trim_line(std::string("a\0 ", 3)), std::string("a\0", 2));
    for (const char* no : {"obj", "x :a.obj\"", "x :a.objx", "x :a_obj", ""}) {
        EXPECT_FALSE(is_reference_line(no)) << no;
    }
    struct Case {
        const char* line;
        MarkerKind kind;
        std::size_t path_start;
    };
    const std::vector<Case> cases = {
        {"figureResFile :parts:man.obj", MarkerKind::colon, 15},
        {"prop 0 0 parts:ball.OBJ", MarkerKind::prefix, 9},
        {"prop 0 0 :ball.oBj", MarkerKind::colon, 10},
        {"figureResFile parts\\man.obj", MarkerKind::prefix, 14},
        {"objFileGeom\t:a.obj", MarkerKind::colon, 13},
        // a folder name ending in a blank: only what follows is the Poser path
        {"figureResFile :my parts :ball.obj", MarkerKind::colon, 25},
        {"FigureResFile parts:man.obj", MarkerKind::none, 0},
        // a marker must stand wholly inside the line
        {"0 0 a.obj", MarkerKind::prefix, 4},
        {" :a.obj", MarkerKind::colon, 2},
        {":a.obj", MarkerKind::none, 0},
        {"igureResFile a.obj", MarkerKind::none, 0},
        {".obj", MarkerKind::none, 0},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(is_reference_line(c.line)) << c.line;
        Marker m = find_marker(c.line);
        EXPECT_EQ(m.kind, c.kind) << c.line;
        EXPECT_EQ(m.path_start, c.path_start) << c.line;
    }
}

TEST(RefLine, DiskPathsAndTheWrittenPoserPaths)
{
    struct Case {
        std::string root, poser_path;
        PathStyle style;
        std::string disk, written;
    };
    const std::vector<Case> cases = {
        {"D:\\Poser", "parts:man:man.obj", W, "D:\\Poser\\parts\\man\\man.obj", ":parts:man:man.obj"},
        {"D:\\Poser", "parts\\man.obj", W, "D:\\Poser\\parts\\man.obj", ":parts:man.obj"},
        // forward slashes are no separator on Windows and stay
        {"c:", "a/b:c.obj", W, "c:\\a/b\\c.obj", ":a/b:c.obj"},
        {"/p", "parts\\sub:man.obj", P, "/p/parts/sub/man.obj", ":parts:sub:man.obj"},
        // the root folder "/" is held as the empty root
        {"", "a:b.obj", P, "/a/b.obj", ":a:b.obj"},
    };
    for (const Case& c : cases) {
        std::string disk;
        build_disk_path(c.root, c.poser_path, c.style, disk);
        EXPECT_EQ(disk, c.disk);
        EXPECT_EQ(written_poser_path(disk, c.root.size(), c.style), c.written);
        EXPECT_TRUE(is_inside_root(disk, c.root, c.style)) << disk;
    }
    EXPECT_EQ(written_poser_path("/x", 5, P), "");
    EXPECT_TRUE(is_inside_root("d:\\POSER\\a.obj", "D:\\Poser", W));
    EXPECT_FALSE(is_inside_root("D:\\Poser2\\a.obj", "D:\\Poser", W));
    EXPECT_FALSE(is_inside_root("D:\\Poser", "D:\\Poser", W));
    EXPECT_FALSE(is_inside_root("/P/a.obj", "/p", P));
    EXPECT_FALSE(is_inside_root("/pa.obj", "/p", P));
}

TEST(RefLine, CaseIsIgnoredForAsciiLettersOnly)
{
    EXPECT_TRUE(equals_ignoring_case("ABC.obj", "abc.OBJ"));
    EXPECT_FALSE(equals_ignoring_case("\xC4", "\xE4"));
    EXPECT_FALSE(equals_ignoring_case("[", "{"));
    EXPECT_FALSE(equals_ignoring_case("a", "ab"));
    EXPECT_TRUE(ends_with_ignoring_case("MAN.CR2", ".cr2"));
    EXPECT_FALSE(ends_with_ignoring_case("man.cr2x", ".cr2"));
    EXPECT_FALSE(ends_with_ignoring_case("cr2", ".cr2"));
}

TEST(RefLine, DellocalnameCutsAtTheLastSeparator)
{
    auto cut = [](std::string f, PathStyle style) { return std::to_string(dellocalname(f, style)) + " " + f; };
    EXPECT_EQ(cut("D:\\man.cr2", W), "2 D:");
    EXPECT_EQ(cut("D:\\Poser\\geom\\man.obj", W), "13 D:\\Poser\\geom");
    EXPECT_EQ(cut("man.cr2", W), "0 man.cr2");
    EXPECT_EQ(cut("\\man.cr2", W), "0 \\man.cr2");
    EXPECT_EQ(cut("D:/a/b", W), "0 D:/a/b");
    EXPECT_EQ(cut("/home/u/x.txt", P), "7 /home/u");
    EXPECT_EQ(cut("/x.txt", P), "0 /x.txt");
    EXPECT_EQ(cut("a\\b", P), "0 a\\b");
}

}  // namespace
