// Text streams with the same bytes on every platform: reading drops every carriage return
// and ends at Ctrl-Z; writing turns each line feed into carriage return and line feed.
// Every other byte, NUL included, passes unchanged.
#pragma once

#include "engine/fsys.h"

#include <memory>
#include <string>
#include <string_view>

class TextReader {
public:
    TextReader() = default;
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;
    ~TextReader();

    // Opens a readable regular file; false for anything else.
    bool open(const std::string& path);
    // The next line, without its line feed, valid until the next call. A last line
    // without a line feed is delivered too. False at the end of the data or on a read
    // error; failed() tells which.
    bool next_line(std::string_view& line);
    bool failed() const { return m_failed; }
    void close();

private:
    bool fill();

    fsys::RawFile m_file;
    std::unique_ptr<char[]> m_buf;
    std::size_t m_capacity = 0;
    std::size_t m_begin = 0;  // first byte not yet handed out
    std::size_t m_end = 0;    // end of the filtered data in m_buf; a carriage return left
                              // in it stands directly in front of a line feed
    std::size_t m_scanned = 0;  // bytes from m_begin already known to hold no line feed
    bool m_eof = false;
    bool m_failed = false;
};

class TextWriter {
public:
    TextWriter() = default;
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;
    ~TextWriter();

    bool open(const std::string& path, fsys::Create mode = fsys::Create::truncate);
    bool is_open() const { return m_file.is_open(); }
    const std::string& path() const { return m_file.path; }
    // Writes text, each line feed as carriage return and line feed. Once a write has
    // failed every later one fails too, so one check at the end is enough.
    bool write(std::string_view text);
    bool write_line(std::string_view text_without_line_feed);
    // Writes out what is buffered and goes back to the start of the file; later writes
    // overwrite what is there.
    bool rewind();
    // Writes out what is buffered and flushes it to the disk.
    bool sync();
    // Writes out what is buffered and closes; false when anything written was lost.
    bool close();
    bool failed() const { return m_failed; }

private:
    bool flush();
    void put(const char* data, std::size_t size);

    fsys::RawFile m_file;
    std::unique_ptr<char[]> m_buf;
    std::size_t m_used = 0;
    bool m_failed = false;
};
