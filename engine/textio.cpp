#include "engine/textio.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TARNWICK_HAS_SSE2 1
#endif

namespace {

constexpr std::size_t k_block_bytes = 256 * 1024;
constexpr char k_ctrl_z = 26;

// A library holds thousands of files and each one read or written takes a block: freed
// blocks are kept for the next file instead of going back to the system, which would hand
// them out again as fresh pages to be zeroed and faulted in.
std::vector<std::unique_ptr<char[]>>& spare_blocks()
{
    thread_local std::vector<std::unique_ptr<char[]>> spares;
    return spares;
}

std::unique_ptr<char[]> take_block()
{
    std::vector<std::unique_ptr<char[]>>& spares = spare_blocks();
    if (spares.empty()) {
        return std::unique_ptr<char[]>(new char[k_block_bytes]);
    }
    std::unique_ptr<char[]> block = std::move(spares.back());
    spares.pop_back();
    return block;
}

// Keeps a block of the usual size for later (a reader and a writer are open at once while
// a file is corrected); a block grown for a long line is freed.
void give_back(std::unique_ptr<char[]>& block, std::size_t capacity)
{
    std::vector<std::unique_ptr<char[]>>& spares = spare_blocks();
    if (block && capacity == k_block_bytes && spares.size() < 2) {
        spares.push_back(std::move(block));
    }
    block.reset();
}

// True when every carriage return in [data, data + size) is directly followed by a line
// feed there. Then the carriage returns need not be squeezed out of the block: the one at
// the end of each line is dropped when the line is handed out. Poser files end their lines
// with CR LF, so this is the usual case, and testing it costs far less than the squeeze.
bool carriage_returns_only_end_lines(const char* data, std::size_t size)
{
    if (size == 0) {
        return true;
    }
    if (data[size - 1] == '\r') {
        return false;
    }
    std::size_t i = 0;
#ifdef TARNWICK_HAS_SSE2
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    __m128i lone = _mm_setzero_si128();
    for (; i + 17 <= size; i += 16) {
        __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 1));
        lone = _mm_or_si128(lone, _mm_andnot_si128(_mm_cmpeq_epi8(next, lf), _mm_cmpeq_epi8(here, cr)));
    }
    if (_mm_movemask_epi8(lone) != 0) {
        return false;
    }
#endif
    const char* end = data + size;
    for (const char* p = data + i; p < end; p += 2) {
        p = static_cast<const char*>(std::memchr(p, '\r', static_cast<std::size_t>(end - p)));
        if (p == nullptr) {
            return true;
        }
        if (p[1] != '\n') {
            return false;
        }
    }
    return true;
}

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
    m_buf = take_block();
    m_capacity = k_block_bytes;
    return true;
}

void TextReader::close()
{
    fsys::close_file(m_file);
    give_back(m_buf, m_capacity);
    m_capacity = 0;
    m_begin = m_end = m_scanned = 0;
}

// Reads one more block behind the unread data, filtered: false when nothing more came.
bool TextReader::fill()
{
    if (m_eof) {
        return false;
    }
    if (!m_buf) {
        return false;
    }
    if (m_begin > 0) {
        std::memmove(m_buf.get(), m_buf.get() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    if (m_capacity - m_end < k_block_bytes / 2) {
        // One line longer than the buffer: grow, so that memory follows the longest line.
        std::unique_ptr<char[]> bigger(new char[m_capacity * 2]);
        std::memcpy(bigger.get(), m_buf.get(), m_end);
        give_back(m_buf, m_capacity);
        m_buf = std::move(bigger);
        m_capacity *= 2;
    }
    long long n = fsys::read_some(m_file, m_buf.get() + m_end, m_capacity - m_end);
    if (n <= 0) {
        m_eof = true;
        m_failed = n < 0;
        return false;
    }
    char* fresh = m_buf.get() + m_end;
    std::size_t size = static_cast<std::size_t>(n);
    if (char* z = static_cast<char*>(std::memchr(fresh, k_ctrl_z, size))) {
        size = static_cast<std::size_t>(z - fresh);
        m_eof = true;
    }
    m_end += carriage_returns_only_end_lines(fresh, size) ? size : drop_carriage_returns(fresh, size);
    return true;
}

bool TextReader::next_line(std::string_view& line)
{
    for (;;) {
        const char* start = m_buf.get() + m_begin;
        std::size_t left = m_end - m_begin - m_scanned;
        if (const void* lf = std::memchr(start + m_scanned, '\n', left)) {
            std::size_t len = static_cast<std::size_t>(static_cast<const char*>(lf) - start);
            m_begin += len + 1;
            m_scanned = 0;
            // The only carriage return the buffer can still hold is one right before a line feed.
            if (len > 0 && start[len - 1] == '\r') {
                --len;
            }
            line = std::string_view(start, len);
            return true;
        }
        m_scanned = m_end - m_begin;
        if (!fill()) {
            if (m_failed || m_end == m_begin) {
                return false;
            }
            line = std::string_view(m_buf.get() + m_begin, m_end - m_begin);
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
    m_used = 0;
    if (!fsys::open_for_writing(path, mode, m_file)) {
        return false;
    }
    m_buf = take_block();
    return true;
}

void TextWriter::put(const char* data, std::size_t size)
{
    if (!m_buf) {
        m_failed = true;
        return;
    }
    if (m_used + size > k_block_bytes && !flush()) {
        return;
    }
    if (size >= k_block_bytes) {
        m_failed = m_failed || !fsys::write_all(m_file, data, size);
        return;
    }
    std::memcpy(m_buf.get() + m_used, data, size);
    m_used += size;
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
    if (write(text)) {
        put("\r\n", 2);
    }
    return !m_failed;
}

bool TextWriter::flush()
{
    if (!m_failed && m_used > 0) {
        m_failed = !fsys::write_all(m_file, m_buf.get(), m_used);
    }
    m_used = 0;
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
    give_back(m_buf, k_block_bytes);
    if (!fsys::close_file(m_file)) {
        m_failed = true;
    }
    return !m_failed;
}
