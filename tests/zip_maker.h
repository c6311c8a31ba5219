// Zips made byte by byte for the tests, so that a test can make any zip a hostile or careless
// archiver would: names with any bytes and any marks, links, sizes that lie, bombs. Written here
// with zlib alone, never with the code under test.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>
#include <zlib.h>

struct MadeEntry {
    MadeEntry(std::string entry_name, std::string entry_data, bool deflated = true)
        : name(std::move(entry_name)), data(std::move(entry_data)), deflate(deflated)
    {
    }
    std::string name;
    std::string data;             // the uncompressed bytes
    bool deflate = true;
    bool utf8_mark = false;       // bit 11 of the flags
    std::uint8_t system = 3;      // 3: Unix, 0: MS-DOS
    std::uint32_t unix_mode = 0100644;
    std::int64_t claimed_size = -1;  // the size the headers claim, when it lies
    std::string compressed;       // when not empty, stored as the data instead (with `claimed_size`)
};

// Deflates `size` zero bytes in pieces, as raw deflate data: a bomb small on disk and in memory.
inline std::string deflated_zeros(std::uint64_t size)
{
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    static const char zeros[1 << 16] = {};
    std::string out;
    char buf[1 << 16];
    for (std::uint64_t left = size;;) {
        const auto piece = static_cast<uInt>(std::min<std::uint64_t>(left, sizeof zeros));
        left -= piece;
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros));
        z.avail_in = piece;
        const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = reinterpret_cast<Bytef*>(buf);
            z.avail_out = sizeof buf;
            deflate(&z, flush);
            out.append(buf, sizeof buf - z.avail_out);
        } while (z.avail_out == 0);
        if (flush == Z_FINISH) {
            break;
        }
    }
    deflateEnd(&z);
    return out;
}

inline std::string raw_deflate(const std::string& data)
{
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

inline void put16(std::string& out, std::uint32_t v)
{
    out += static_cast<char>(v & 0xff);
    out += static_cast<char>((v >> 8) & 0xff);
}

inline void put32(std::string& out, std::uint32_t v)
{
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

// One header, local (with `offset` < 0) or central, of `e` whose data is `packed`.
inline std::string zip_header(const MadeEntry& e, const std::string& packed, std::uint32_t crc, std::int64_t offset)
{
    std::string h;
    const bool central = offset >= 0;
    put32(h, central ? 0x02014b50 : 0x04034b50);
    if (central) {
        put16(h, (std::uint32_t(e.system) << 8) | 20);
    }
    put16(h, 20);
    put16(h, e.utf8_mark ? 0x800 : 0);
    put16(h, e.deflate ? 8 : 0);
    put16(h, 0);            // 00:00:00
    put16(h, (45 << 9) | (1 << 5) | 1);  // 2025-01-01
    put32(h, crc);
    put32(h, static_cast<std::uint32_t>(packed.size()));
    put32(h, static_cast<std::uint32_t>(e.claimed_size >= 0 ? std::uint64_t(e.claimed_size) : e.data.size()));
    put16(h, static_cast<std::uint32_t>(e.name.size()));
    put16(h, 0);
    if (central) {
        put16(h, 0);  // comment
        put16(h, 0);  // disk
        put16(h, 0);  // internal attributes
        put32(h, e.system == 3 ? e.unix_mode << 16 : 0);
        put32(h, static_cast<std::uint32_t>(offset));
    }
    return h + e.name;
}

// A whole zip of the entries, in their order.
inline std::string made_zip(const std::vector<MadeEntry>& entries)
{
    std::string body, directory;
    for (const MadeEntry& e : entries) {
        const std::string packed = !e.compressed.empty() ? e.compressed : e.deflate ? raw_deflate(e.data) : e.data;
        const auto crc = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())));
        directory += zip_header(e, packed, crc, static_cast<std::int64_t>(body.size()));
        body += zip_header(e, packed, crc, -1) + packed;
    }
    std::string end;
    put32(end, 0x06054b50);
    put32(end, 0);
    put16(end, static_cast<std::uint32_t>(entries.size()));
    put16(end, static_cast<std::uint32_t>(entries.size()));
    put32(end, static_cast<std::uint32_t>(directory.size()));
    put32(end, static_cast<std::uint32_t>(body.size()));
    put16(end, 0);
    return body + directory + end;
}

// Entries of a product as an archiver lays it out, each a small text file.
inline std::vector<MadeEntry> text_entries(const std::vector<std::string>& names)
{
    std::vector<MadeEntry> entries;
    for (const std::string& name : names) {
        entries.emplace_back(name, name.back() == '/' ? std::string() : "version { number 4.01 }\n" + name + "\n");
        if (name.back() == '/') {
            entries.back().deflate = false;
            entries.back().unix_mode = 040755;
        }
    }
    return entries;
}
