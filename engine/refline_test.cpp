#include "engine/refline.h"

#include <gtest/gtest.h>

#include <vector>

constexpr PathStyle W = PathStyle::windows;
constexpr PathStyle P = PathStyle::posix;

// The fuzz corpus holds the line rules against a model; these are the cases it may miss.
TEST(RefLine, TheMarkerThatEndsFurthestRight)
{
    EXPECT_EQ(trim_line("x\n\n"), "x\n");
    const std::vector<std::pair<const char*, std::size_t>> cases = {
        {"figureResFile :my parts :ball.obj", 25}, {"prop 0 0 parts:ball.obj", 9}, {"prop 0 0 :ball.obj", 10},
        {"objFileGeom\t:a.obj", 13}, {"0 0 a.obj", 4}, {" :a.obj", 2}, {"FigureResFile a.obj", 0}, {":a.obj", 0},
    };
    for (const auto& [line, path_start] : cases) {
        EXPECT_TRUE(is_reference_line(line));
        EXPECT_EQ(find_marker(line).path_start, path_start) << line;
    }
    EXPECT_EQ(find_marker("prop 0 0 :a.obj").kind, MarkerKind::colon);
    EXPECT_EQ(find_marker("figureResFile a.obj").kind, MarkerKind::prefix);
}

TEST(RefLine, DiskPathsWrittenPathsTheRootAndCuts)
{
    auto convert = [](const std::string& root, std::string_view poser_path, PathStyle style) {
        std::string disk;
        build_disk_path(root, poser_path, style, disk);
        EXPECT_TRUE(is_inside_root(disk, root, style)) << disk;
        return disk + " " + written_poser_path(disk, root.size(), style);
    };
    EXPECT_EQ(convert("D:\\Poser", "parts:man\\man.obj", W), "D:\\Poser\\parts\\man\\man.obj :parts:man:man.obj");
    EXPECT_EQ(convert("c:", "a/b:c.obj", W), "c:\\a/b\\c.obj :a/b:c.obj");  // '/' is no separator on Windows
    EXPECT_EQ(convert("/p", "parts\\sub:man.obj", P), "/p/parts/sub/man.obj :parts:sub:man.obj");
    EXPECT_EQ(convert("", "a:b.obj", P), "/a/b.obj :a:b.obj");  // the root folder "/" is held as the empty root
    EXPECT_EQ(written_poser_path("/x", 5, P), "");
    EXPECT_TRUE(is_inside_root("d:\\POSER\\a.obj", "D:\\Poser", W));
    EXPECT_FALSE(is_inside_root("D:\\Poser2\\a.obj", "D:\\Poser", W) || is_inside_root("D:\\Poser", "D:\\Poser", W));
    EXPECT_FALSE(is_inside_root("/P/a.obj", "/p", P) || is_inside_root("/pa.obj", "/p", P));
    // letter case is ignored for ASCII letters only
    EXPECT_FALSE(equals_ignoring_case("\xC4", "\xE4") || equals_ignoring_case("[", "{"));
    EXPECT_TRUE(ends_with_ignoring_case("MAN.CR2", ".cr2"));
    EXPECT_FALSE(ends_with_ignoring_case("man.cr2x", ".cr2") || ends_with_ignoring_case("cr2", ".cr2"));
    // dellocalname cuts at the last separator
    auto cut = [](std::string f, PathStyle style) { return std::to_string(dellocalname(f, style)) + " " + f; };
    EXPECT_EQ(cut("D:\\man.cr2", W), "2 D:");
    EXPECT_EQ(cut("D:\\Poser\\geom\\man.obj", W), "13 D:\\Poser\\geom");
    EXPECT_EQ(cut("\\man.cr2", W), "0 \\man.cr2");
    EXPECT_EQ(cut("D:/a/b", W), "0 D:/a/b");
    EXPECT_EQ(cut("/x.txt", P), "0 /x.txt");
    EXPECT_EQ(cut("a\\b", P), "0 a\\b");
}
