#include "engine/fsys/textio.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>
#include <zlib.h>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TARNWICK_HAS_SSE2 1
#endif

namespace {

constexpr std::size_t k_block_bytes = 256 * 1024;
constexpr std::size_t k_zlib_chunk_bytes = 64 * 1024;
constexpr char k_ctrl_z = 26;
constexpr char k_gzip_magic[] = {'\x1f', '\x8b'};

std::unique_ptr<char[]> new_block()
{
    return std::unique_ptr<char[]>(new char[k_block_bytes]);
}

bool is_line_end(char c)
{
    return c == '\n' || c == '\r';
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

// zlib's inflate over the bytes of the file; gzip members may follow one another.
class Inflater {
public:
    Inflater() : m_in(new char[k_zlib_chunk_bytes]) { m_ok = inflateInit2(&m_z, 16 + MAX_WBITS) == Z_OK; }
    ~Inflater() { inflateEnd(&m_z); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Decompressed bytes, 0 at the end of the last member, -1 for data that is corrupt or cut off.
    template <typename ReadRaw>
    long long read(char* buf, std::size_t size, ReadRaw&& read_raw)
    {
        while (m_ok && !m_done) {
            if (m_z.avail_in == 0 && !m_input_ended && !refill(read_raw)) {
                return -1;
            }
            if (m_member_ended) {
                if (m_z.avail_in == 0) {
                    m_done = m_input_ended;
                    continue;
                }
                // Zero bytes after a whole member are padding, as archivers and copy tools
                // leave it: they end the data, as gzip itself reads them, when nothing else follows.
                if (*m_z.next_in == 0) {
                    m_done = true;
                    m_ok = only_zeros_follow(read_raw);
                    continue;
                }
                m_member_ended = false;
                inflateReset(&m_z);
            }
            m_z.next_out = reinterpret_cast<Bytef*>(buf);
            m_z.avail_out = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
            const uInt before = m_z.avail_out;
            int rc = inflate(&m_z, Z_NO_FLUSH);
            const long long produced = before - m_z.avail_out;
            if (rc == Z_STREAM_END) {
                m_member_ended = true;
            } else if (rc != Z_OK && !(rc == Z_BUF_ERROR && !m_input_ended)) {
                return -1;  // corrupt, or the input ended inside a member
            }
            if (produced > 0) {
                return produced;
            }
        }
        return m_ok ? 0 : -1;
    }

private:
    template <typename ReadRaw>
    bool only_zeros_follow(ReadRaw&& read_raw)
    {
        for (;;) {
            const Bytef* begin = m_z.next_in;
            const Bytef* end = begin + m_z.avail_in;
            if (std::find_if(begin, end, [](Bytef b) { return b != 0; }) != end) {
                return false;
            }
            m_z.avail_in = 0;
            if (m_input_ended) {
                return true;
            }
            if (!refill(read_raw)) {
                return false;
            }
        }
    }

    template <typename ReadRaw>
    bool refill(ReadRaw&& read_raw)
    {
        long long n = read_raw(m_in.get(), k_zlib_chunk_bytes);
        if (n < 0) {
            return false;
        }
        m_input_ended = n == 0;
        m_z.next_in = reinterpret_cast<Bytef*>(m_in.get());
        m_z.avail_in = static_cast<uInt>(n);
        return true;
    }

    z_stream m_z{};
    std::unique_ptr<char[]> m_in;
    bool m_ok = false;
    bool m_input_ended = false;
    bool m_member_ended = false;
    bool m_done = false;
};

// zlib's deflate at its default level, written out in gzip format. Poser writes its files at
// the best compression, but on Poser text that is five times slower for files barely 1%
// smaller, and any level reads back the same.
class Deflater {
public:
    explicit Deflater(std::size_t slice_bytes) : m_out(new char[k_zlib_chunk_bytes]), m_slice_bytes(slice_bytes)
    {
        m_ok = deflateInit2(&m_z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~Deflater() { deflateEnd(&m_z); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Compresses `data` (with `finish`, ends the stream), handing each compressed chunk to `out`.
    template <typename Out>
    bool compress(const char* data, std::size_t size, bool finish, Out&& out)
    {
        if (!m_ok || m_finished) {
            return false;
        }
        // zlib counts its input in 32 bits: a larger piece goes in slices.
        do {
            const std::size_t slice = std::min<std::size_t>(size, m_slice_bytes);
            m_z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
            m_z.avail_in = static_cast<uInt>(slice);
            data += slice;
            size -= slice;
            if (!deflate_input(finish && size == 0, out)) {
                return false;
            }
        } while (size > 0);
        m_finished = finish;
        return true;
    }
    bool finished() const { return m_finished; }

private:
    // Compresses all of zlib's input (with `finish`, ends the stream).
    template <typename Out>
    bool deflate_input(bool finish, Out&& out)
    {
        for (;;) {
            m_z.next_out = reinterpret_cast<Bytef*>(m_out.get());
            m_z.avail_out = static_cast<uInt>(k_zlib_chunk_bytes);
            int rc = deflate(&m_z, finish ? Z_FINISH : Z_NO_FLUSH);
            if (rc == Z_STREAM_ERROR) {
                return false;
            }
            const std::size_t produced = k_zlib_chunk_bytes - m_z.avail_out;
            if (produced > 0 && !out(m_out.get(), produced)) {
                return false;
            }
            if (finish ? rc == Z_STREAM_END : m_z.avail_in == 0 && m_z.avail_out != 0) {
                return true;
            }
        }
    }

    z_stream m_z{};
    std::unique_ptr<char[]> m_out;
    std::size_t m_slice_bytes;
    bool m_ok = false;
    bool m_finished = false;
};

TextReader::TextReader() = default;

TextReader::~TextReader()
{
    close();
}

bool TextReader::open(fsys::FileSystem& fs, const std::string& path, Gzip gzip, fsys::Listed listed, ReadMode mode)
{
    close();
    m_fs = &fs;
    m_begin = m_end = m_scanned = 0;
    m_base = 0;
    m_eof = m_failed = m_line_cut = m_skipping = m_whole = m_in_long_line = m_continued = false;
    m_as_stored = mode == ReadMode::as_stored;
    m_bytes_read = m_inflated = m_max_inflated = 0;
    m_inflated_too_much = false;
    m_path = path;
    if (!fs.open_for_reading(path, m_file, listed)) {
        return false;
    }
    // A library holds thousands of files: a reader that goes on to the next one keeps its
    // block, which the system would otherwise hand out again as fresh pages to be zeroed.
    if (!m_buf) {
        m_buf = new_block();
        m_capacity = k_block_bytes;
    }
    if (gzip == Gzip::never) {
        return true;
    }
    // The first two bytes decide; they are handed on again as the start of the data.
    char head[2];
    std::size_t got = 0;
    while (got < 2) {
        long long n = fs.read_some(m_file, head + got, 2 - got);
        if (n <= 0) {
            m_failed = n < 0;
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    m_bytes_read = got;
    m_pending.assign(head, got);
    if (got == 2 && std::memcmp(head, k_gzip_magic, 2) == 0) {
        m_inflater = std::make_unique<Inflater>();
    }
    return true;
}

void TextReader::close()
{
    m_inflater.reset();
    m_pending.clear();
    if (m_fs != nullptr) {
        m_fs->close_file(m_file);
    }
    // A block grown for one long line goes; the usual one stays for the next file.
    if (m_capacity != k_block_bytes) {
        m_buf.reset();
        m_capacity = 0;
    }
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
    const bool first = m_base == 0 && m_end == 0;
    // A first block with room behind it stays where it is, so that it can be handed out again.
    if (m_begin != 0 && !(m_whole && m_capacity - m_end >= k_block_bytes / 2)) {
        std::memmove(m_buf.get(), m_buf.get() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_base += m_begin;
        m_begin = 0;
        m_whole = false;
    }
    if (m_capacity - m_end < k_block_bytes / 2) {
        m_whole = false;
        // One line longer than the buffer: grow, so that memory follows the longest line.
        std::unique_ptr<char[]> bigger(new char[m_capacity * 2]);
        std::memcpy(bigger.get(), m_buf.get(), m_end);
        m_buf = std::move(bigger);
        m_capacity *= 2;
    }
    long long n = m_failed ? -1 : read_data(m_buf.get() + m_end, m_capacity - m_end);
    if (n <= 0) {
        m_eof = true;
        m_failed = n < 0;
        return false;
    }
    char* fresh = m_buf.get() + m_end;
    std::size_t size = static_cast<std::size_t>(n);
    if (m_as_stored) {
        m_end += size;
    } else {
        if (char* z = static_cast<char*>(std::memchr(fresh, k_ctrl_z, size))) {
            size = static_cast<std::size_t>(z - fresh);
            m_eof = true;
        }
        m_end += carriage_returns_only_end_lines(fresh, size) ? size : drop_carriage_returns(fresh, size);
    }
    m_whole = first;
    m_whole_end = m_end;
    return true;
}

bool TextReader::reread(const std::string& path)
{
    if (!m_whole || !m_eof || m_failed || path != m_path) {
        return false;
    }
    close();  // keeps the block: a whole first block is never a grown one
    m_end = m_whole_end;
    m_base = 0;
    m_line_cut = m_skipping = m_in_long_line = m_continued = false;
    return true;
}

long long TextReader::read_raw(char* buf, std::size_t size)
{
    if (!m_pending.empty()) {
        std::size_t n = std::min(size, m_pending.size());
        std::memcpy(buf, m_pending.data(), n);
        m_pending.erase(0, n);
        return static_cast<long long>(n);
    }
    long long n = m_fs->read_some(m_file, buf, size);
    if (n > 0) {
        m_bytes_read += static_cast<unsigned long long>(n);
    }
    return n;
}

long long TextReader::read_data(char* buf, std::size_t size)
{
    if (!m_inflater) {
        return read_raw(buf, size);
    }
    const long long n = m_inflater->read(buf, size, [this](char* b, std::size_t k) { return read_raw(b, k); });
    m_inflated += n > 0 ? static_cast<unsigned long long>(n) : 0;
    if (m_max_inflated != 0 && m_inflated > m_max_inflated) {
        m_inflated_too_much = true;
        return -1;
    }
    return n;
}

// The last line end in [data, data + size), or nullptr. Reading as stored, that may be a
// carriage return, but not the last byte read so far: a line feed may follow it in the next
// block, and the two end one line.
const char* TextReader::last_line_end(const char* data, std::size_t size) const
{
    for (std::size_t k = size; k > 0; --k) {
        const char c = data[k - 1];
        if (c == '\n' || (m_as_stored && c == '\r' && (k < size || m_eof))) {
            return data + k - 1;
        }
    }
    return nullptr;
}

// Drops what is left of a line that was handed out cut; false at the end of the data.
bool TextReader::skip_rest_of_long_line(std::string_view& line)
{
    while (m_skipping) {
        const char* start = m_buf.get() + m_begin;
        const char* end = m_buf.get() + m_end;
        const char* stop = m_as_stored ? std::find_if(start, end, is_line_end)
                                       : std::find(start, end, '\n');
        // A carriage return and line feed end one line: the line feed may still be unread.
        if (stop + 1 == end && *stop == '\r' && !m_eof) {
            fill();
            continue;
        }
        if (stop != end) {
            m_begin += static_cast<std::size_t>(stop - start) + 1;
            if (*stop == '\r' && m_begin < m_end && m_buf[m_begin] == '\n') {
                ++m_begin;
            }
            m_skipping = false;
            return true;
        }
        m_begin = m_end;
        if (!fill()) {
            m_skipping = false;
            line = std::string_view();
            return false;
        }
    }
    return true;
}

// The next piece of a line that was cut, up to its line end (included) or as much as is at
// hand; false at the end of the data.
bool TextReader::rest_of_long_line(std::string_view& piece)
{
    for (;;) {
        const char* start = m_buf.get() + m_begin;
        const char* end = m_buf.get() + m_end;
        const char* stop = m_as_stored ? std::find_if(start, end, is_line_end) : std::find(start, end, '\n');
        // A carriage return and line feed end one line: the line feed may still be unread.
        const bool waits = stop + 1 == end && *stop == '\r' && !m_eof;
        std::size_t n = static_cast<std::size_t>((stop == end || waits ? stop : stop + 1) - start);
        if (stop != end && !waits) {
            n += *stop == '\r' && start + n < end && start[n] == '\n' ? 1 : 0;
            m_in_long_line = false;
        }
        if (n > 0) {
            piece = std::string_view(start, n);
            m_begin += n;
            m_line_cut = m_continued = true;
            return true;
        }
        if (!fill()) {
            m_in_long_line = false;
            return false;
        }
    }
}

bool TextReader::next_lines(std::string_view& lines)
{
    return next_piece(lines, Piece::run_of_lines);
}

bool TextReader::next_bytes(std::string_view& bytes)
{
    if (m_begin == m_end && !fill()) {
        return false;
    }
    bytes = std::string_view(m_buf.get() + m_begin, m_end - m_begin);
    m_begin = m_end;
    return true;
}

bool TextReader::next_line(std::string_view& line)
{
    return next_piece(line, Piece::line);
}

bool TextReader::next_piece(std::string_view& out, Piece piece)
{
    m_line_cut = m_continued = false;
    if (!m_buf || !skip_rest_of_long_line(out)) {
        return false;  // a reader closed with its grown block gone hands out nothing
    }
    if (m_in_long_line) {
        return rest_of_long_line(out);
    }
    for (;;) {
        const char* start = m_buf.get() + m_begin;
        const std::size_t size = m_end - m_begin;
        const char* lf = piece == Piece::line ? static_cast<const char*>(std::memchr(start + m_scanned, '\n', size - m_scanned))
                                               : last_line_end(start + m_scanned, size - m_scanned);
        if (lf != nullptr) {
            std::size_t len = static_cast<std::size_t>(lf - start);
            m_begin += len + 1;
            m_scanned = 0;
            // A run keeps its line feeds; a line loses its own, and the only carriage return the
            // buffer can still hold, one right before it.
            if (piece == Piece::run_of_lines) {
                ++len;
            } else if (len > 0 && start[len - 1] == '\r') {
                --len;
            }
            out = std::string_view(start, len);
            return true;
        }
        // A carriage return held back as the last byte is looked at again once more has come.
        m_scanned = m_as_stored && size > 0 && start[size - 1] == '\r' ? size - 1 : size;
        const bool cut = m_max_line != 0 && size > m_max_line;
        if (!cut && !fill()) {
            if (m_failed || m_end == m_begin) {
                return false;
            }
        } else if (!cut) {
            continue;
        }
        out = std::string_view(m_buf.get() + m_begin, cut ? m_max_line : m_end - m_begin);
        m_scanned = 0;
        m_line_cut = cut;
        // The rest of a cut line is handed out after it, when asked for, or skipped.
        m_in_long_line = cut && m_hand_out_rest && piece == Piece::run_of_lines;
        m_skipping = cut && !m_in_long_line;
        m_begin = m_in_long_line ? m_begin + m_max_line : m_end;
        return true;
    }
}

TextWriter::TextWriter() = default;

TextWriter::~TextWriter()
{
    close();
}

bool TextWriter::open(fsys::FileSystem& fs, const std::string& path, fsys::Create mode, Gzip gzip)
{
    close();
    m_fs = &fs;
    m_failed = false;
    m_used = 0;
    m_deflater.reset();
    if (!fs.open_for_writing(path, mode, m_file)) {
        return false;
    }
    if (!m_buf) {
        m_buf = new_block();
    }
    if (gzip == Gzip::always) {
        m_deflater = std::make_unique<Deflater>(m_slice_bytes);
    }
    return true;
}

void TextWriter::open_in_memory()
{
    close();
    m_fs = nullptr;
    m_failed = false;
    m_used = 0;
    m_deflater.reset();
    m_text.clear();
    if (!m_buf) {
        m_buf = new_block();
    }
}

std::string TextWriter::take_text()
{
    flush();
    return std::exchange(m_text, std::string());
}

bool TextWriter::write_out(const char* data, std::size_t size)
{
    if (m_fs == nullptr) {
        m_text.append(data, size);
        return true;
    }
    if (!m_deflater) {
        return m_fs->write_all(m_file, data, size);
    }
    return m_deflater->compress(data, size, false, [this](const char* d, std::size_t n) {
        return m_fs->write_all(m_file, d, n);
    });
}

// Ends the compressed stream; nothing can be written after it.
bool TextWriter::finish_compression()
{
    if (m_deflater && !m_deflater->finished() && !m_failed) {
        m_failed = !m_deflater->compress(nullptr, 0, true, [this](const char* d, std::size_t n) {
            return m_fs->write_all(m_file, d, n);
        });
    }
    return !m_failed;
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
        m_failed = m_failed || !write_out(data, size);
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

bool TextWriter::write_as_stored(std::string_view bytes)
{
    put(bytes.data(), bytes.size());
    return !m_failed;
}

bool TextWriter::write_line(std::string_view text)
{
    if (write(text)) {
        put("\r\n", 2);
    }
    return !m_failed;
}

bool TextWriter::write_plain_line(std::string_view line)
{
    if (!m_buf || m_failed || m_used + line.size() + 2 > k_block_bytes) {
        return write_line(line);
    }
    char* at = m_buf.get() + m_used;
    std::memcpy(at, line.data(), line.size());
    at[line.size()] = '\r';
    at[line.size() + 1] = '\n';
    m_used += line.size() + 2;
    return true;
}

bool TextWriter::flush()
{
    if (!m_failed && m_used > 0) {
        m_failed = !write_out(m_buf.get(), m_used);
    }
    m_used = 0;
    return !m_failed;
}

bool TextWriter::rewind()
{
    return !m_deflater && m_fs != nullptr && flush() && m_fs->seek_to_start(m_file);
}

bool TextWriter::hand_over(fsys::RawFile& file)
{
    flush();
    finish_compression();
    m_deflater.reset();
    file = std::exchange(m_file, fsys::RawFile{});
    return !m_failed;
}

bool TextWriter::sync()
{
    if (flush() && finish_compression() && !m_fs->sync_to_disk(m_file)) {
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
    finish_compression();
    m_deflater.reset();
    if (!m_fs->close_file(m_file)) {
        m_failed = true;
    }
    return !m_failed;
}

bool read_text_as_stored(fsys::FileSystem& fs, const std::string& path, std::string& text)
{
    TextReader in;
    if (!in.open(fs, path, Gzip::if_magic, fsys::Listed::unknown, ReadMode::as_stored)) {
        return false;
    }
    std::string_view bytes;
    while (in.next_bytes(bytes)) {
        text.append(bytes);
    }
    return !in.failed();
}
