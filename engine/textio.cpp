#include "engine/textio.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t k_block_bytes = 256 * 1024;
constexpr char k_ctrl_z = 26;

// Drops every carriage return from [data, data + size) in place; returns the new size.
std::size_t drop_carriage_returns(char* data, std::size_t size)
{
    char* cr = static_cast<char*>(std::memchr(data, '\r', size));
    if (cr == nullptr) {
        return size;
    }
    char* out = cr;
    const char* in = cr + 1;
    const char* end = data + size;
    while (in < end) {
        const char* next = static_cast<const char*>(std::memchr(in, '\r', static_cast<std::size_t>(end - in)));
        const char* stop = next != nullptr ? next : end;
        std::size_t run = static_cast<std::size_t>(stop - in);
        std::memmove(out, in, run);
        out += run;
        in = stop + 1;
    }
    return static_cast<std::size_t>(out - data);
}

}  // namespace

TextReader::~TextReader()
{
    close();
}

bool TextReader::open(const std::string& path)
{
    close();
    m_begin = m_end = m_scanned = 0;
    m_eof = m_failed = false;
    if (!fsys::open_for_reading(path, m_file)) {
        return false;
    }
    m_buf.resize(k_block_bytes);
    return true;
}

void TextReader::close()
{
    fsys::close_file(m_file);
}

// Reads one more block behind the unread data, filtered: false when nothing more came.
bool TextReader::fill()
{
    if (m_eof) {
        return false;
    }
    if (m_begin > 0) {
        std::memmove(m_buf.data(), m_buf.data() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    if (m_buf.size() - m_end < k_block_bytes / 2) {
        // One line longer than the buffer: grow, so that memory follows the longest line.
        m_buf.resize(m_buf.size() * 2);
    }
    long long n = fsys::read_some(m_file, m_buf.data() + m_end, m_buf.size() - m_end);
    if (n <= 0) {
        m_eof = true;
        m_failed = n < 0;
        return false;
    }
    char* fresh = m_buf.data() + m_end;
    std::size_t size = static_cast<std::size_t>(n);
    if (char* z = static_cast<char*>(std::memchr(fresh, k_ctrl_z, size))) {
        size = static_cast<std::size_t>(z - fresh);
        m_eof = true;
    }
    m_end += drop_carriage_returns(fresh, size);
    return true;
}

bool TextReader::next_line(std::string_view& line)
{
    for (;;) {
        const char* from = m_buf.data() + m_begin + m_scanned;
        std::size_t left = m_end - m_begin - m_scanned;
        if (const void* lf = std::memchr(from, '\n', left)) {
            std::size_t len = static_cast<std::size_t>(static_cast<const char*>(lf) - (m_buf.data() + m_begin));
            line = std::string_view(m_buf.data() + m_begin, len);
            m_begin += len + 1;
            m_scanned = 0;
            return true;
        }
        m_scanned = m_end - m_begin;
        if (!fill()) {
            if (m_failed || m_end == m_begin) {
                return false;
            }
            line = std::string_view(m_buf.data() + m_begin, m_end - m_begin);
            m_begin = m_end;
            m_scanned = 0;
            return true;
        }
    }
}

TextWriter::~TextWriter()
{
    close();
}

bool TextWriter::open(const std::string& path, fsys::Create mode)
{
    close();
    m_failed = false;
    m_buf.clear();
    m_buf.reserve(k_block_bytes);
    return fsys::open_for_writing(path, mode, m_file);
}

void TextWriter::put(const char* data, std::size_t size)
{
    if (m_buf.size() + size > k_block_bytes && !flush()) {
        return;
    }
    if (size >= k_block_bytes) {
        m_failed = m_failed || !fsys::write_all(m_file, data, size);
        return;
    }
    m_buf.insert(m_buf.end(), data, data + size);
}

bool TextWriter::write(std::string_view text)
{
    while (!m_failed && !text.empty()) {
        const void* lf = std::memchr(text.data(), '\n', text.size());
        std::size_t run = lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - text.data()) : text.size();
        put(text.data(), run);
        if (lf == nullptr) {
            break;
        }
        put("\r\n", 2);
        text.remove_prefix(run + 1);
    }
    return !m_failed;
}

bool TextWriter::write_line(std::string_view text)
{
    write(text);
    return write("\n");
}

bool TextWriter::flush()
{
    if (!m_failed && !m_buf.empty()) {
        m_failed = !fsys::write_all(m_file, m_buf.data(), m_buf.size());
    }
    m_buf.clear();
    return !m_failed;
}

bool TextWriter::rewind()
{
    return flush() && fsys::seek_to_start(m_file);
}

bool TextWriter::sync()
{
    if (flush() && !fsys::sync_to_disk(m_file)) {
        m_failed = true;
    }
    return !m_failed;
}

bool TextWriter::close()
{
    if (!m_file.is_open()) {
        return !m_failed;
    }
    flush();
    if (!fsys::close_file(m_file)) {
        m_failed = true;
    }
    return !m_failed;
}
