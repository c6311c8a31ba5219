// Text streams with the same bytes on every platform. Poser text, as the repair has always
// read it, drops every carriage return and ends at Ctrl-Z; written text turns each line feed
// into carriage return and line feed. The library rules read and write the bytes as they are
// stored instead. Every other byte, NUL included, passes unchanged.
#pragma once

#include "engine/fsys/fsys.h"

#include <memory>
#include <string>
#include <string_view>

// Whether a stream goes through gzip: a reader may look for the gzip magic at the start of
// the file and then decompress; a writer may compress what it writes.
enum class Gzip { never, if_magic, always };

// How a reader hands out the data. `poser_text`: every carriage return is dropped and a Ctrl-Z
// ends the data, so lines end at line feeds only. `as_stored`: every byte as it is, and a
// line ends at a line feed, a carriage return and line feed, or a carriage return alone (the
// line ends of files saved on a classic Mac).
enum class ReadMode { poser_text, as_stored };

// What a reader does with the rest of a line cut at its limit: skips it, or hands it out in
// further pieces, so that a copy keeps every byte while no line decides the memory it takes.
enum class LongLines { skip_rest, hand_out_rest };

class Inflater;
class Deflater;

class TextReader {
public:
    TextReader();
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;
    ~TextReader();

    // Opens a readable regular file of `fs`; false for anything else. With Gzip::if_magic a
    // file whose first two bytes are the gzip magic is decompressed as it is read.
    bool open(fsys::FileSystem& fs, const std::string& path, Gzip gzip = Gzip::never,
              fsys::Listed listed = fsys::Listed::unknown, ReadMode mode = ReadMode::poser_text);
    // True when the open file is being decompressed.
    bool compressed() const { return m_inflater != nullptr; }
    // Lines longer than `max_bytes` are handed out cut to that length, and line_was_cut()
    // tells so; the rest of such a line is skipped, or handed out in pieces of what is at hand
    // (the last one with its line end), each also telling line_was_cut(), so memory stays
    // bounded. 0: no limit. Only next_lines hands out the rest.
    void limit_line_length(std::size_t max_bytes, LongLines rest = LongLines::skip_rest)
    {
        m_max_line = max_bytes;
        m_hand_out_rest = rest == LongLines::hand_out_rest;
    }
    bool line_was_cut() const { return m_line_cut; }
    // True for a piece of a long line after its first.
    bool continues_long_line() const { return m_continued; }
    // Bytes taken from the file so far (before decompression).
    unsigned long long bytes_read() const { return m_bytes_read; }
    // The size of the open file, before decompression; -1 when it cannot be known.
    long long file_size() { return m_fs != nullptr && m_file.is_open() ? m_fs->file_size(m_file) : -1; }
    // A file that decompresses to more than `max_bytes` fails to read there, and
    // inflated_too_much() tells so. 0: no limit. Set after open, for that file alone.
    void limit_inflated_bytes(unsigned long long max_bytes) { m_max_inflated = max_bytes; }
    bool inflated_too_much() const { return m_inflated_too_much; }
    // The next line, without its line feed, valid until the next call. A last line
    // without a line feed is delivered too. False at the end of the data or on a read
    // error; failed() tells which.
    bool next_line(std::string_view& line);
    // The next run of whole lines, each with its line end, or the last line when it has none.
    // Reading poser text, a carriage return may still stand right before a line feed, nowhere
    // else; reading as stored, a run never ends between the two bytes of a carriage return
    // and line feed. A line cut by limit_line_length comes alone, without its line end, and
    // line_was_cut() tells so. Valid until the next call; do not mix with next_line on one file,
    // and read as stored with this call only.
    bool next_lines(std::string_view& lines);
    // The next bytes of the data, as many as are at hand, whatever lines they hold. Do not mix
    // with the line calls on one file.
    bool next_bytes(std::string_view& bytes);
    // Where `at`, a byte of the piece last handed out, lies in the data (decompressed, as
    // stored): what a plan of edits counts in.
    unsigned long long offset_of(const char* at) const { return m_base + static_cast<unsigned long long>(at - m_buf.get()); }
    bool failed() const { return m_failed; }
    // Closes the file; the reader keeps its buffer for the next file it opens.
    void close();
    // Hands out again, from its start and as it was read, the data of the file last opened,
    // when that was `path`, it was read to its end without a failure and all of it came in
    // one block, which is still here (the file may be closed since); false otherwise, and the
    // file must be opened again.
    bool reread(const std::string& path);

private:
    enum class Piece { line, run_of_lines };
    bool next_piece(std::string_view& out, Piece piece);
    bool fill();
    long long read_raw(char* buf, std::size_t size);
    long long read_data(char* buf, std::size_t size);
    bool skip_rest_of_long_line(std::string_view& line);
    bool rest_of_long_line(std::string_view& piece);
    const char* last_line_end(const char* data, std::size_t size) const;

    fsys::FileSystem* m_fs = nullptr;
    fsys::RawFile m_file;
    std::unique_ptr<Inflater> m_inflater;
    std::string m_pending;  // bytes read to look for the gzip magic, not yet handed on
    unsigned long long m_bytes_read = 0;
    unsigned long long m_inflated = 0;
    unsigned long long m_max_inflated = 0;
    bool m_inflated_too_much = false;
    std::size_t m_max_line = 0;
    bool m_line_cut = false;
    bool m_skipping = false;  // dropping the rest of a line that was cut
    bool m_hand_out_rest = false;
    bool m_in_long_line = false;  // handing out the rest of a line that was cut
    bool m_continued = false;
    std::unique_ptr<char[]> m_buf;
    std::size_t m_capacity = 0;
    std::size_t m_begin = 0;  // first byte not yet handed out
    std::size_t m_end = 0;    // end of the filtered data in m_buf; a carriage return left
                              // in it stands directly in front of a line feed
    std::size_t m_scanned = 0;  // bytes from m_begin already known to hold no line feed
    unsigned long long m_base = 0;  // where m_buf's first byte lies in the data
    bool m_eof = false;
    bool m_failed = false;
    bool m_as_stored = false;
    // The whole data of the file m_path came in the first block and lies in m_buf up to m_whole_end.
    bool m_whole = false;
    std::size_t m_whole_end = 0;
    std::string m_path;
};

class TextWriter {
public:
    TextWriter();
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;
    ~TextWriter();

    // Creates a file of `fs`. With Gzip::always what is written is compressed; such a writer
    // cannot rewind.
    bool open(fsys::FileSystem& fs, const std::string& path, fsys::Create mode = fsys::Create::truncate,
              Gzip gzip = Gzip::never);
    // Opens a writer whose text stays in memory, to be written out later, perhaps by another
    // thread: take_text hands it over.
    void open_in_memory();
    // The text written since open_in_memory, line ends converted as for a file; the writer is
    // closed.
    std::string take_text();
    bool is_open() const { return m_file.is_open(); }
    const std::string& path() const { return m_file.path; }
    // Writes text, each line feed as carriage return and line feed. Once a write has
    // failed every later one fails too, so one check at the end is enough.
    bool write(std::string_view text);
    bool write_line(std::string_view text_without_line_feed);
    // write_line for a text that holds no line feed, as a line from TextReader::next_line:
    // the line and its end go straight into the buffer.
    bool write_plain_line(std::string_view line);
    // Writes the bytes exactly as they are, line feeds included.
    bool write_as_stored(std::string_view bytes);
    // Hands what is buffered to the system (not yet to the disk): it stays in the file
    // however abruptly the program ends.
    bool flush();
    // Writes out what is buffered and goes back to the start of the file; later writes
    // overwrite what is there.
    bool rewind();
    // Writes out what is buffered, ends the compression, and hands the open file to `file`,
    // which then flushes and closes it; false when anything written was lost. The writer keeps
    // its buffer for the next file it opens: a folder's copies wait for their flush together,
    // and one buffer serves them all.
    bool hand_over(fsys::RawFile& file);
    fsys::RawFile& file() { return m_file; }
    // Writes out what is buffered and flushes it to the disk.
    bool sync();
    // Writes out what is buffered and closes; false when anything written was lost.
    bool close();
    bool failed() const { return m_failed; }
    // zlib counts its input in 32 bits: a longer piece goes to it in slices of at most this
    // many bytes (a gibibyte unless a test asks for less, to see the slicing on a short line).
    void slice_compression_input(std::size_t max_bytes) { m_slice_bytes = max_bytes; }

private:
    bool write_out(const char* data, std::size_t size);
    bool finish_compression();
    void put(const char* data, std::size_t size);

    fsys::FileSystem* m_fs = nullptr;
    fsys::RawFile m_file;
    std::unique_ptr<Deflater> m_deflater;
    std::unique_ptr<char[]> m_buf;
    std::size_t m_slice_bytes = std::size_t{1} << 30;
    std::size_t m_used = 0;
    bool m_failed = false;
    std::string m_text;  // what a writer without a disk (open_in_memory) has written out of its buffer
};

// Appends the data of the file `path` as stored (decompressed when it is gzip) to `text`; false
// when it cannot be read whole.
bool read_text_as_stored(fsys::FileSystem& fs, const std::string& path, std::string& text);
