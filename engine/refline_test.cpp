#include "engine/refline.h"

#include <gtest/gtest.h>

namespace {

struct RefSample {
    std::string line;
    MarkerKind kind;
    std::size_t path_start;
};

TEST(RefLine, TrimmingDropsOneLineFeedThenBlanksAndTabs)
{
    EXPECT_EQ(trim_line("figureResFile :a.obj \t \n"), "figureResFile :a.obj");
    EXPECT_EQ(trim_line("x\n\n"), "x\n");
    EXPECT_EQ(trim_line(" \t"), "");
    EXPECT_EQ(trim_line(""), "");
    EXPECT_EQ(trim_line(std::string("a\0 ", 3)), std::string("a\0", 2));
}

TEST(RefLine, ReferenceLinesEndInObjInAnyCase)
{
    EXPECT_TRUE(is_reference_line(".obj"));
    EXPECT_TRUE(is_reference_line("x :a.OBJ"));
    EXPECT_TRUE(is_reference_line("x :a.oBj"));
    EXPECT_FALSE(is_reference_line("obj"));
    EXPECT_FALSE(is_reference_line("x :a.obj\""));
    EXPECT_FALSE(is_reference_line("x :a.objx"));
    EXPECT_FALSE(is_reference_line(""));
}

TEST(RefLine, MarkerThatEndsFurthestRightWins)
{
    const std::vector<RefSample> samples = {
        {"figureResFile :parts:man:man.obj", MarkerKind::colon, 15},
        {"prop 0 0 :parts:ball.obj", MarkerKind::colon, 10},
        {"prop 0 0 parts:ball.obj", MarkerKind::prefix, 9},
        {"figureResFile parts\\man.obj", MarkerKind::prefix, 14},
        {"objFileGeom\t:a.obj", MarkerKind::colon, 13},
        {"ball.obj", MarkerKind::none, 0},
        // a folder name ending in a blank: only what follows is the Poser path
        {"figureResFile :my parts :ball.obj", MarkerKind::colon, 25},
        // capital F is no marker
        {"FigureResFile parts:man.obj", MarkerKind::none, 0},
        // a marker must stand wholly inside the line
        {"0 0 a.obj", MarkerKind::prefix, 4},
        {" :a.obj", MarkerKind::colon, 2},
        {":a.obj", MarkerKind::none, 0},
        {"igureResFile a.obj", MarkerKind::none, 0},
    };
    for (const RefSample& s : samples) {
        Marker m = find_marker(s.line);
        EXPECT_EQ(m.kind, s.kind) << s.line;
        EXPECT_EQ(m.path_start, s.path_start) << s.line;
    }
}

TEST(RefLine, DiskPathsAndWrittenPathsOnWindows)
{
    std::string disk;
    build_disk_path("D:\\Poser", "parts:man:man.obj", PathStyle::windows, disk);
    EXPECT_EQ(disk, "D:\\Poser\\parts\\man\\man.obj");
    EXPECT_EQ(written_poser_path(disk, 8, PathStyle::windows), ":parts:man:man.obj");
    build_disk_path("D:\\Poser", "parts\\man.obj", PathStyle::windows, disk);
    EXPECT_EQ(disk, "D:\\Poser\\parts\\man.obj");
    EXPECT_EQ(written_poser_path(disk, 8, PathStyle::windows), ":parts:man.obj");
    // forward slashes are no separator on Windows and stay
    build_disk_path("c:", "a/b:c.obj", PathStyle::windows, disk);
    EXPECT_EQ(disk, "c:\\a/b\\c.obj");
    EXPECT_EQ(written_poser_path(disk, 2, PathStyle::windows), ":a/b:c.obj");
}

TEST(RefLine, DiskPathsAndWrittenPathsOnPosix)
{
    std::string disk;
    build_disk_path("/home/u/Poser", "parts:man:man.obj", PathStyle::posix, disk);
    EXPECT_EQ(disk, "/home/u/Poser/parts/man/man.obj");
    EXPECT_EQ(written_poser_path(disk, 13, PathStyle::posix), ":parts:man:man.obj");
    build_disk_path("/p", "parts\\sub:man.obj", PathStyle::posix, disk);
    EXPECT_EQ(disk, "/p/parts/sub/man.obj");
    EXPECT_EQ(written_poser_path(disk, 2, PathStyle::posix), ":parts:sub:man.obj");
    // the root folder "/" is held as the empty root
    build_disk_path("", "a:b.obj", PathStyle::posix, disk);
    EXPECT_EQ(disk, "/a/b.obj");
    EXPECT_EQ(written_poser_path(disk, 0, PathStyle::posix), ":a:b.obj");
    EXPECT_EQ(written_poser_path("/x", 5, PathStyle::posix), "");
}

TEST(RefLine, InsideRoot)
{
    EXPECT_TRUE(is_inside_root("D:\\Poser\\a.obj", "D:\\Poser", PathStyle::windows));
    EXPECT_TRUE(is_inside_root("d:\\POSER\\a.obj", "D:\\Poser", PathStyle::windows));
    EXPECT_FALSE(is_inside_root("D:\\Poser2\\a.obj", "D:\\Poser", PathStyle::windows));
    EXPECT_FALSE(is_inside_root("D:\\Poser", "D:\\Poser", PathStyle::windows));
    EXPECT_TRUE(is_inside_root("/p/a.obj", "/p", PathStyle::posix));
    EXPECT_FALSE(is_inside_root("/P/a.obj", "/p", PathStyle::posix));
    EXPECT_FALSE(is_inside_root("/pa.obj", "/p", PathStyle::posix));
    EXPECT_TRUE(is_inside_root("/a.obj", "", PathStyle::posix));
}

TEST(RefLine, DellocalnameCutsAtTheLastSeparator)
{
    struct Cut {
        std::string in;
        PathStyle style;
        int result;
        std::string out;
    };
    const std::vector<Cut> cuts = {
        {"D:\\man.cr2", PathStyle::windows, 2, "D:"},
        {"man.cr2", PathStyle::windows, 0, "man.cr2"},
        {"\\man.cr2", PathStyle::windows, 0, "\\man.cr2"},
        {"D:\\Poser\\geom\\man.obj", PathStyle::windows, 13, "D:\\Poser\\geom"},
        {"D:/a/b", PathStyle::windows, 0, "D:/a/b"},
        {"/home/u/x.txt", PathStyle::posix, 7, "/home/u"},
        {"/x.txt", PathStyle::posix, 0, "/x.txt"},
        {"a\\b", PathStyle::posix, 0, "a\\b"},
    };
    for (const Cut& c : cuts) {
        std::string f = c.in;
        EXPECT_EQ(dellocalname(f, c.style), c.result) << c.in;
        EXPECT_EQ(f, c.out) << c.in;
    }
}

TEST(RefLine, CaseIgnoredForAsciiLettersOnly)
{
    EXPECT_TRUE(equals_ignoring_case("ABC.obj", "abc.OBJ"));
    EXPECT_FALSE(equals_ignoring_case("\xC4", "\xE4"));
    EXPECT_FALSE(equals_ignoring_case("[", "{"));
    EXPECT_FALSE(equals_ignoring_case("a", "ab"));
}

}  // namespace
