#include "engine/fsys/textio.h"

#include "tests/test_support.h"
#include "tests/zip_maker.h"

#include <cstdlib>
#include <new>

static const std::size_t k_block = 256 * 1024;  // the reader's block
static std::size_t largest_array = 0;  // the largest array allocated with new[] yet
static int arrays = 0;                 // how many were allocated

void* operator new[](std::size_t size)
{
    largest_array = std::max(largest_array, size);
    ++arrays;
    if (void* p = std::malloc(size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

// Every line `in` gives from where it stands.
static Lines lines_read(TextReader& in)
{
    Lines lines;
    for (std::string_view line; in.next_line(line);) {
        lines.emplace_back(line);
    }
    return lines;
}

// The fuzz corpus covers short files; these are the ones longer than the reader's blocks.
TEST(TextReader, LinesWithoutCarriageReturnsUpToCtrlZAcrossBlocksGzipPaddingEndsTheDataALongLineIsCutAtTheLimit)
{
    TempDir dir;
    const std::size_t count = (3 * k_block + 10) / 11;  // lines of 11 bytes enough for three blocks
    const std::string crlf_lines = repeated("\t\tk  0  0\r\n", count), lone_crs = repeated("ab\r", count);
    for (const std::string& bytes : {
             "short\n" + std::string(3 * 1024 * 1024 + 17, 'x') + "\r\n" + lone_crs + "\nend",  // longer than a block
             // a CR LF pair split by the end of the first block; a lone CR as its last byte and after it
             crlf_lines.substr(0, k_block - 1) + "\r\n" + crlf_lines, crlf_lines.substr(0, k_block - 1) + "\rx\r\n" + crlf_lines,
             crlf_lines.substr(0, k_block) + "\rx\ry\r\n" + crlf_lines, crlf_lines + "a\rb\r\r\nc\r" + crlf_lines + "end\r",
             crlf_lines + "\x1a" + "after Ctrl-Z\r\n" + crlf_lines,  // nothing after Ctrl-Z, however much follows
             crlf_lines + crlf_lines, crlf_lines.substr(0, k_block / 2), std::string("a line feed\n\rthen a lone carriage return\nand no other\n"),
             std::string("cr\ronly\r\x1a" "after\n"), std::string("no line feed at the end")}) {
        write_bytes(dir.at("a.cr2"), bytes);
        largest_array = 0;
        TextReader in;
        ASSERT_TRUE(in.open(fsys::disk(), dir.at("a.cr2")));
        const Lines lines = lines_read(in);
        EXPECT_FALSE(in.failed());
        EXPECT_TRUE(lines == poser_lines(bytes)) << "sample of " << bytes.size() << " bytes";
        // A file that came in one block, half of it free, is handed out again from memory, closed or not, and only that file.
        in.close();
        EXPECT_FALSE(in.reread(dir.at("b.cr2")));
        ASSERT_EQ(in.reread(dir.at("a.cr2")), bytes.size() <= k_block / 2);
        EXPECT_TRUE(lines_read(in) == (bytes.size() <= k_block / 2 ? lines : Lines{}));
    }
    EXPECT_LE(largest_array, k_block);  // memory follows the longest line, not the size of the file
    TextReader in;
    EXPECT_TRUE(in.open(fsys::disk(), dir.at("a.cr2")));
    arrays = 0;
    EXPECT_TRUE(in.open(fsys::disk(), dir.at("a.cr2")) && !in.open(fsys::disk(), dir.path()));
    EXPECT_EQ(arrays, 0);  // the block of the last file is kept for the next
    // After a whole gzip member, zero bytes are padding that ends the data; anything else must be one more member.
    const std::string m = gzip_text("a\n"), zeros(200000, '\0');
    for (const std::string& bytes : {m + zeros, m + zeros.substr(0, 2), m + m, m + zeros + "x", m + "x", m + zeros + m}) {
        write_bytes(dir.at("a.crz"), bytes);
        TextReader packed;
        std::string_view line;
        EXPECT_TRUE(packed.open(fsys::disk(), dir.at("a.crz"), Gzip::if_magic) && packed.next_line(line) && line == "a");
        // more than zero bytes after the member: its next line, or a failure
        EXPECT_EQ(packed.next_line(line) || packed.failed(), bytes.find_first_not_of('\0', m.size()) != std::string::npos);
    }
    // A line ends at its CR LF wherever the end of a block splits the pair, and a line past the limit is cut there and
    // skipped up to that end, or up to the end of the data.
    for (const ReadMode mode : {ReadMode::poser_text, ReadMode::as_stored}) {
        for (const std::size_t limit : {std::size_t(0), std::size_t(100)}) {
            for (std::size_t size = 2 * k_block - 6; size <= 2 * k_block + 1; ++size) {
                const std::string x(size, 'x'), y(k_block, 'y');
                write_bytes(dir.at("a.cr2"), "a\n" + x + "\r\nb\r\n" + y);
                TextReader limited;
                ASSERT_TRUE(limited.open(fsys::disk(), dir.at("a.cr2"), Gzip::if_magic, fsys::Listed::unknown, mode));
                limited.limit_line_length(limit);
                const std::size_t cut = limit == 0 ? std::string::npos : limit;
                EXPECT_EQ(lines_read(limited), (Lines{"a", x.substr(0, cut), "b", y.substr(0, cut)})) << size;
            }
        }
    }
}

// A disk whose read fails once `readable` bytes have been read, as at a damaged sector, and reads on after it.
class DamagedDisk : public fsys::MemoryFileSystem {
public:
    using MemoryFileSystem::MemoryFileSystem;
    long long read_some(fsys::RawFile& f, char* buffer, std::size_t size) override
    {
        if (readable == 0) {
            readable = -1;
            return -1;
        }
        const long long n = MemoryFileSystem::read_some(f, buffer, readable > 0 ? std::min(size, std::size_t(readable)) : size);
        readable -= readable > 0 ? n : 0;
        return n;
    }
    long long readable = -1;
};

// A read that fails is never taken for the end of the data, nor read past, wherever it fails: in the two bytes that
// tell a compressed file, in its stream or the zero bytes after it, in a line, or in the rest of a line past the
// limit that is being skipped. What came before is handed out as it is.
TEST(TextReader, AReadErrorIsAFailureNeverTheEndOfTheData)
{
    const std::string x(2 * k_block, 'x'), text = "a\n" + x + "\nb\n";
    DamagedDisk disk(fsys::DiskRules::posix);
    disk.add_file("/a.cr2", text);
    disk.add_file("/a.crz", gzip_text(text));
    disk.add_file("/padded.crz", gzip_text(text) + std::string(100000, '\0'));
    for (const char* path : {"/a.cr2", "/a.crz", "/padded.crz"}) {
        const auto size = static_cast<long long>(disk.bytes(path).size());
        for (const long long readable : {0LL, 1LL, 3LL, size / 2, size - 1}) {
            for (const std::size_t limit : {std::size_t(0), std::size_t(100)}) {
                disk.readable = readable;
                TextReader in;
                Lines lines;
                if (in.open(disk, path, Gzip::if_magic)) {
                    in.limit_line_length(limit);
                    lines = lines_read(in);
                }
                const Lines whole{"a", x.substr(0, limit == 0 ? x.size() : limit), "b"};
                EXPECT_TRUE(in.failed() && lines.size() <= 3 && std::equal(lines.begin(), lines.end(), whole.begin()))
                    << path << " after " << readable << " bytes";
            }
        }
        std::string bytes;
        disk.readable = size / 2;
        EXPECT_FALSE(read_text_as_stored(disk, path, bytes) || read_text_as_stored(disk, "/gone.cr2", bytes));
    }
    // A file read whole in one block, its last read failing, is not handed out again from memory.
    disk.add_file("/short.cr2", "a\nb\n");
    disk.readable = 4;
    TextReader in;
    ASSERT_TRUE(in.open(disk, "/short.cr2", Gzip::never));
    EXPECT_TRUE(lines_read(in) == (Lines{"a", "b"}) && in.failed() && !in.reread("/short.cr2"));
}

// Read as stored with the rest of long lines handed out, the pieces give back every byte; those after the first
// of a long line say so, up to its line end (CR LF whole), and the blocks of short lines around it never do.
TEST(TextReader, TheRestOfALongLineComesInPiecesUpToItsLineEnd)
{
    fsys::MemoryFileSystem disk(fsys::DiskRules::posix);
    for (const std::string end : {"\n", "\r\n", "\r"}) {
        for (std::size_t size = 3 * k_block - 4; size < 3 * k_block + 4; ++size) {  // a CR LF across two blocks among them
            const std::string bytes = repeated("a" + end, k_block) + std::string(size, 'x') + end + "b" + end + "c";
            disk.add_file("/a.cr2", bytes);
            TextReader in;
            ASSERT_TRUE(in.open(disk, "/a.cr2", Gzip::never, fsys::Listed::unknown, ReadMode::as_stored));
            in.limit_line_length(100, LongLines::hand_out_rest);
            std::string all, continued;
            for (std::string_view piece; in.next_lines(piece);) {
                all += piece;
                continued += in.continues_long_line() ? "+" + std::string(piece.substr(piece.size() - 1)) : "";
            }
            EXPECT_EQ(all, bytes);
            EXPECT_TRUE(continued.ends_with("+x+" + end.substr(end.size() - 1)) && continued.find_first_not_of("+x") == continued.size() - 1)
                << continued;
        }
    }
}

// zlib counts in 32 bits, and the writer hands a long line to it in slices: a line longer than a slice goes in whole,
// through the same code as the line of 4 GiB below, which the program's own slices cut.
TEST(TextWriter, CompressesALineLongerThanASliceWhole)
{
    TempDir dir;
    std::string line(5 << 20, 'x');
    for (std::size_t k = 0; k < line.size(); k += 4099) {
        line[k] = static_cast<char>('a' + k % 26);
    }
    TextWriter out;
    out.slice_compression_input(1 << 20);
    ASSERT_TRUE(out.open(fsys::disk(), dir.at("a.crz"), fsys::Create::truncate, Gzip::always));
    EXPECT_TRUE(out.write_line(line) && out.close());
    EXPECT_TRUE(read_gzip(dir.at("a.crz")) == line + "\r\n");
    // A flush ends the compressed stream: what is written after it fails, and the file holds what came before.
    ASSERT_TRUE(out.open(fsys::disk(), dir.at("b.crz"), fsys::Create::truncate, Gzip::always));
    EXPECT_TRUE(out.write_line("a") && out.sync());
    EXPECT_FALSE(out.write_line("b") && out.close());
    EXPECT_EQ(read_gzip(dir.at("b.crz")), "a\r\n");
    EXPECT_FALSE(TextWriter().write_line("never opened"));
}

// A folder's corrected copies: one writer writes each in turn with one buffer and hands it over
// open, and the real disk flushes them together, telling which it could not.
TEST(TextWriter, HandsEachCopyOverOpenOrInMemoryAndTheDiskFlushesThemTogether)
{
    TempDir dir;
    TextWriter out;
    std::vector<fsys::RawFile> copies(7);  // the last one never opened
    const int arrays_before = arrays;
    for (int k = 0; k < 6; ++k) {
        ASSERT_TRUE(out.open(fsys::disk(), dir.at(std::to_string(k) + ".cr2"), fsys::Create::exclusive, k == 5 ? Gzip::always : Gzip::never));
        EXPECT_TRUE(out.write_line("prop " + std::to_string(k)) && out.hand_over(copies[k]));
        EXPECT_TRUE(copies[k].is_open() && !out.is_open());
        EXPECT_EQ(arrays - arrays_before, k < 5 ? 1 : 2) << "one buffer for all, and the compressor's";
    }
    std::vector<fsys::RawFile*> files;
    for (fsys::RawFile& copy : copies) {
        files.push_back(&copy);
    }
    for (int round = 0; round < 2; ++round) {  // the threads of the first batch serve the second
        for (int k = 0; round == 0 && k < 7; k += 2) {
            fsys::disk().start_sync(copies[k]);  // some started as soon as written, the one never opened too
        }
        std::vector<bool> synced;
        fsys::disk().sync_together(files, synced);
        EXPECT_EQ(synced, (std::vector<bool>{true, true, true, true, true, true, false}));
    }
    for (fsys::RawFile& copy : copies) {
        EXPECT_TRUE(fsys::disk().close_file(copy));
    }
    EXPECT_EQ(read_bytes(dir.at("4.cr2")), "prop 4\r\n");
    EXPECT_EQ(read_gzip(dir.at("5.cr2")), "prop 5\r\n");
    // A copy made in memory, then created and written by the flush threads, as a repair leaves a
    // copy that asks nothing: only a copy whole and flushed counts as synced.
    out.open_in_memory();
    const std::string long_line(300 * 1024, 'k');  // more than the writer's buffer
    EXPECT_TRUE(out.write_line("prop a\nb") && out.write_plain_line(long_line) && out.write_plain_line("}"));
    EXPECT_FALSE(out.rewind());
    const std::string text = out.take_text();
    EXPECT_EQ(text, "prop a\r\nb\r\n" + long_line + "\r\n}\r\n");
    EXPECT_EQ(out.take_text(), "");
    std::vector<fsys::RawFile> kept(3);
    files.clear();
    for (int k = 0; k < 3; ++k) {
        // 1 cannot be created; 2 is created but its writing fails.
        const std::string path = dir.at(k == 1 ? "missing/1.cr2" : "kept" + std::to_string(k) + ".cr2");
        fsys::disk().start_write_and_sync(kept[k], [path, &text, k](fsys::RawFile& f) {
            return fsys::disk().open_for_writing(path, fsys::Create::exclusive, f) && k != 2 &&
                   fsys::disk().write_all(f, text.data(), text.size());
        });
        files.push_back(&kept[k]);
    }
    std::vector<bool> synced;
    fsys::disk().sync_together(files, synced);
    EXPECT_EQ(synced, (std::vector<bool>{true, false, false}));
    for (fsys::RawFile& copy : kept) {
        fsys::disk().close_file(copy);
    }
    EXPECT_TRUE(read_bytes(dir.at("kept0.cr2")) == text);
    EXPECT_FALSE(exists(dir.at("missing")));
}

// The size of the file `path` decompressed, read a block at a time: it may hold more than memory does.
static std::size_t gzip_size(const std::string& path)
{
    gzFile f = gzopen(path.c_str(), "rb");
    std::vector<char> block(1 << 20);
    std::size_t got = 0;
    for (int n = 0; (n = gzread(f, block.data(), static_cast<unsigned>(block.size()))) > 0;) {
        got += static_cast<std::size_t>(n);
    }
    gzclose(f);
    return got;
}

// The same with the slices of the program: a line of 4 GiB (slow: under the slow label).
TEST(TextWriterSlow, CompressesALineOfFourGibibytesWhole)
{
    TempDir dir;
    const std::size_t size = (std::size_t{4} << 30) + 3;
    std::unique_ptr<char, decltype(&std::free)> line(static_cast<char*>(std::malloc(size)), &std::free);  // untouched
    if (!line) {
        GTEST_SKIP() << "no 4 GiB of address space here";
    }
    TextWriter out;
    ASSERT_TRUE(out.open(fsys::disk(), dir.at("a.crz"), fsys::Create::truncate, Gzip::always));
    EXPECT_TRUE(out.write_line(std::string_view(line.get(), size)) && out.close());
    EXPECT_EQ(gzip_size(dir.at("a.crz")), size + 2 + static_cast<std::size_t>(std::count(line.get(), line.get() + size, '\n')));
}
