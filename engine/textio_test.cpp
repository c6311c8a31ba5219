#include "engine/textio.h"

#include "tests/test_support.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> read_lines(const std::string& path)
{
    TextReader in;
    EXPECT_TRUE(in.open(path));
    std::vector<std::string> lines;
    std::string_view line;
    while (in.next_line(line)) {
        lines.emplace_back(line);
    }
    EXPECT_FALSE(in.failed());
    return lines;
}

TEST(TextReader, DropsEveryCarriageReturnAndStopsAtCtrlZ)
{
    TempDir dir;
    const std::string p = dir.at("a.cr2");
    write_bytes(p, "one\r\ntw\ro\r\r\nlast");
    EXPECT_EQ(read_lines(p), (std::vector<std::string>{"one", "two", "last"}));
    write_bytes(p, "a\nb\x1a" "c\nd\n");
    EXPECT_EQ(read_lines(p), (std::vector<std::string>{"a", "b"}));
    write_bytes(p, std::string("n\0l\n\n", 5));
    EXPECT_EQ(read_lines(p), (std::vector<std::string>{std::string("n\0l", 3), ""}));
    write_bytes(p, "\r\r\r");
    EXPECT_TRUE(read_lines(p).empty());
    write_bytes(p, "");
    EXPECT_TRUE(read_lines(p).empty());
}

TEST(TextReader, LinesLongerThanAnyBufferArriveWhole)
{
    TempDir dir;
    const std::string p = dir.at("long.pz3");
    std::string big(3 * 1024 * 1024 + 17, 'x');
    std::string crs;
    for (int k = 0; k < 300000; ++k) {
        crs += "ab\r";
    }
    write_bytes(p, "short\n" + big + "\r\n" + crs + "\nend");
    std::vector<std::string> lines = read_lines(p);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], big);
    EXPECT_EQ(lines[2].size(), 600000u);
    EXPECT_EQ(lines[3], "end");
}

// What reading must give for any bytes: every carriage return gone, lines split at line feeds.
std::vector<std::string> expected_lines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::string line;
    for (char c : bytes) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += c;
        }
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    return lines;
}

TEST(TextReader, CarriageReturnsAroundTheEndsOfReadBlocks)
{
    TempDir dir;
    const std::string p = dir.at("blocks.cr2");
    const std::size_t block = 256 * 1024;
    std::string crlf_lines;
    while (crlf_lines.size() < 3 * block) {
        crlf_lines += "\t\tk  0  0\r\n";
    }
    std::vector<std::string> samples;
    // A CR LF pair split by the end of the first block.
    samples.push_back(crlf_lines.substr(0, block - 1) + "\r\n" + crlf_lines);
    // A lone carriage return as the last byte of the first block, and just after it.
    samples.push_back(crlf_lines.substr(0, block - 1) + "\rx\r\n" + crlf_lines);
    samples.push_back(crlf_lines.substr(0, block) + "\rx\ry\r\n" + crlf_lines);
    // Blocks of plain CR LF lines around a block that holds lone carriage returns.
    samples.push_back(crlf_lines + "a\rb\r\r\nc\r" + crlf_lines + "end\r");
    samples.push_back(crlf_lines + "\x1a" + "after Ctrl-Z\r\n");
    for (const std::string& bytes : samples) {
        write_bytes(p, bytes);
        EXPECT_EQ(read_lines(p), expected_lines(bytes.substr(0, bytes.find('\x1a'))));
    }
}

TEST(TextReader, RefusesFoldersAndMissingFiles)
{
    TempDir dir;
    TextReader in;
    EXPECT_FALSE(in.open(dir.path()));
    EXPECT_FALSE(in.open(dir.at("missing.cr2")));
}

TEST(TextWriter, WritesCarriageReturnLineFeedAndRewinds)
{
    TempDir dir;
    const std::string p = dir.at("log.txt");
    TextWriter out;
    ASSERT_TRUE(out.open(p));
    out.write("no alterations\n");
    ASSERT_TRUE(out.rewind());
    out.write(std::string("file a\n  b\0cdef\n", 16));
    ASSERT_TRUE(out.close());
    EXPECT_EQ(read_bytes(p), std::string("file a\r\n  b\0cdef\r\n", 18));
}

TEST(TextWriter, ExclusiveCreationNeverTouchesAnExistingFile)
{
    TempDir dir;
    const std::string p = dir.at("x.cr2");
    write_bytes(p, "keep");
    TextWriter out;
    EXPECT_FALSE(out.open(p, fsys::Create::exclusive));
    EXPECT_EQ(read_bytes(p), "keep");
}

TEST(TextWriter, AFailedWriteIsReportedAtClose)
{
    TempDir dir;
    const std::string p = dir.at("x.cr2");
    fsys::set_fault_hook([](fsys::Op op, const std::string&) { return op == fsys::Op::write; });
    TextWriter out;
    ASSERT_TRUE(out.open(p));
    out.write(std::string(600 * 1024, 'a'));
    EXPECT_FALSE(out.close());
    fsys::set_fault_hook(nullptr);
}

}  // namespace
