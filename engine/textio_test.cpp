#include "engine/textio.h"

#include "tests/test_support.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace {

std::size_t largest_array = 0;  // the largest array allocated with new[]

}  // namespace

void* operator new[](std::size_t size)
{
    largest_array = std::max(largest_array, size);
    if (void* p = std::malloc(size)) {
        return p;
    }
    throw std::bad_alloc();
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

// What reading must give for any bytes: the data ends at Ctrl-Z, every carriage return is
// dropped, lines end at line feeds, and a last line without one counts when not empty.
std::vector<std::string> expected_lines(const std::string& bytes)
{
    std::vector<std::string> lines(1);
    for (char c : bytes.substr(0, bytes.find('\x1a'))) {
        if (c == '\n') {
            lines.emplace_back();
        } else if (c != '\r') {
            lines.back() += c;
        }
    }
    if (lines.back().empty()) {
        lines.pop_back();
    }
    return lines;
}

std::vector<std::string> read_lines(const std::string& path)
{
    TextReader in;
    EXPECT_TRUE(in.open(path));
    std::vector<std::string> lines;
    for (std::string_view line; in.next_line(line);) {
        lines.emplace_back(line);
    }
    EXPECT_FALSE(in.failed());
    return lines;
}

TEST(TextReader, LinesWithoutCarriageReturnsUpToCtrlZ)
{
    TempDir dir;
    const std::string p = dir.at("a.cr2");
    const std::size_t block = 256 * 1024;
    std::string crlf_lines;
    std::string lone_crs;
    while (crlf_lines.size() < 3 * block) {
        crlf_lines += "\t\tk  0  0\r\n";
        lone_crs += "ab\r";
    }
    const std::vector<std::string> samples = {
        "one\r\ntw\ro\r\r\nlast", "a\nb\x1a" "c\nd\n", std::string("n\0l\n\n", 5), "\r\r\r", "",
        // lines longer than any buffer
        "short\n" + std::string(3 * 1024 * 1024 + 17, 'x') + "\r\n" + lone_crs + "\nend",
        // a CR LF pair split by the end of the first block; a lone CR as its last byte and after it
        crlf_lines.substr(0, block - 1) + "\r\n" + crlf_lines,
        crlf_lines.substr(0, block - 1) + "\rx\r\n" + crlf_lines,
        crlf_lines.substr(0, block) + "\rx\ry\r\n" + crlf_lines,
        crlf_lines + "a\rb\r\r\nc\r" + crlf_lines + "end\r",
        // nothing after Ctrl-Z is read, however much follows
        crlf_lines + "\x1a" + "after Ctrl-Z\r\n" + crlf_lines,
    };
    for (const std::string& bytes : samples) {
        write_bytes(p, bytes);
        EXPECT_TRUE(read_lines(p) == expected_lines(bytes)) << "sample of " << bytes.size() << " bytes";
    }
    // memory follows the longest line, not the size of the file
    largest_array = 0;
    write_bytes(p, crlf_lines + crlf_lines);
    read_lines(p);
    EXPECT_LE(largest_array, block);
    TextReader in;
    EXPECT_FALSE(in.open(dir.path()));
    EXPECT_FALSE(in.open(dir.at("missing.cr2")));
}

TEST(TextWriter, CarriageReturnLineFeedAfterARewindAndEveryFailureReported)
{
    TempDir dir;
    const std::string p = dir.at("log.txt");
    const std::string written("file a\r\n  b\0cdef\r\nend\r\n", 23);
    TextWriter out;
    ASSERT_TRUE(out.open(p));
    out.write("no alterations\n");
    ASSERT_TRUE(out.rewind());
    out.write(std::string("file a\n  b\0cdef\n", 16));
    out.write_line("end");
    ASSERT_TRUE(out.close());
    EXPECT_EQ(read_bytes(p), written);
    // exclusive creation never touches an existing file
    EXPECT_FALSE(out.open(p, fsys::Create::exclusive));
    EXPECT_EQ(read_bytes(p), written);
    fsys::set_fault_hook([](fsys::Op op, const std::string&) { return op == fsys::Op::write; });
    ASSERT_TRUE(out.open(dir.at("x.cr2")));
    out.write(std::string(600 * 1024, 'a'));
    EXPECT_FALSE(out.close());
    fsys::set_fault_hook(nullptr);
}

}  // namespace
