#include "engine/text/refline.h"

#include <bit>
#include <gtest/gtest.h>

// The scan builds with every compiler the build allows, so with none of GCC's builtins.
#pragma GCC poison __builtin_ctz
#include "engine/text/line_scan.h"

constexpr PathStyle W = PathStyle::windows;
constexpr PathStyle P = PathStyle::posix;

// The fuzz corpus holds the line rules against a model, the markers among them; these are
// the cases it cannot reach: other roots, letter case, and paths with no separator to cut at.
TEST(RefLine, TrimmingDiskPathsWrittenPathsTheRootAndCuts)
{
    EXPECT_EQ(trim_line("x\n\n"), "x\n");  // one line feed only
    auto convert = [](const std::string& root, std::string_view poser_path, PathStyle style) {
        std::string disk;
        build_disk_path(root, poser_path, style, disk);
        EXPECT_TRUE(is_inside_root(disk, root, style)) << disk;
        return disk + " " + written_poser_path(disk, root.size(), style);
    };
    EXPECT_EQ(convert("c:", "a/b:c.obj", W), "c:\\a/b\\c.obj :a/b:c.obj");  // '/' is no separator on Windows
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
    EXPECT_EQ(cut("D:\\man.cr2", W) + " | " + cut("\\man.cr2", W) + " | " + cut("D:/a/b", W), "2 D: | 0 \\man.cr2 | 0 D:/a/b");
    EXPECT_EQ(cut("/x.txt", P) + " | " + cut("a\\b", P), "0 /x.txt | 0 a\\b");
}

// The scan tests 16 and 64 bytes at a time: each candidate line is found wherever it falls in them, and comes once.
TEST(LineScan, EveryCandidateLineOnceWhereverItFallsInABlock)
{
    for (std::size_t pad = 0; pad < 80; ++pad) {
        const std::string text = std::string(pad, 'a') + "\n:x.obj\nJ\n" + std::string(100 - pad, 'b') +
                                 "\n\"q.OBZ\" \t\r\nnoj zz\nj.objx";
        std::string seen;
        line_scan::for_each_candidate(text, [&](std::string_view line) { (seen += line) += '|'; });
        EXPECT_EQ(seen, ":x.obj|J|") << pad;
    }
}
