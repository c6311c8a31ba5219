// Zips made byte by byte for the tests, so that a test can make any zip a hostile or careless archiver would: names
// with any bytes and marks, links, sizes that lie, bombs. Written with zlib alone, never with the code under test.
#pragma once

#include "engine/fsys/memory_fs.h"
#include "tests/files.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include <zlib.h>

struct MadeEntry {
    MadeEntry(std::string entry_name, std::string entry_data, bool deflated = true)
        : name(std::move(entry_name)), data(std::move(entry_data)), deflate(deflated)
    {
    }
    std::string name;
    std::string data;  // the uncompressed bytes
    bool deflate = true;
    bool utf8_mark = false;            // bit 11 of the flags
    std::uint32_t unix_mode = 0100644;  // made on Unix, with this mode
    std::int64_t claimed_size = -1;    // the size the headers claim, when it lies
    std::string packed;                // when not empty, stored as the data instead
};

// An entry of a small text file, for a zip that only needs its name.
inline MadeEntry entry(std::string name, std::string data = "x\n")
{
    return MadeEntry(std::move(name), std::move(data));
}

// An entry made as a symbolic link to `target`.
inline MadeEntry link_entry(std::string name, std::string target)
{
    MadeEntry e(std::move(name), std::move(target));
    e.unix_mode = 0120777;
    return e;
}

// `data` as raw deflate data (with zlib's `window_bits`, gzip data); with `repeat_to`, its first byte repeated to that
// many bytes, made in pieces, so that a bomb stays small on disk and in memory while it is made.
inline std::string raw_deflate(const std::string& data, std::uint64_t repeat_to = 0, int window_bits = -15)
{
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, window_bits, 9, Z_DEFAULT_STRATEGY);
    const std::string piece = repeat_to == 0 ? data : std::string(1 << 16, data[0]);
    std::uint64_t left = repeat_to == 0 ? data.size() : repeat_to;
    std::string out;
    char buf[1 << 16];
    for (int flush = Z_NO_FLUSH; flush != Z_FINISH;) {
        const auto n = static_cast<uInt>(std::min<std::uint64_t>(left, piece.size()));
        left -= n;
        flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
        z.avail_in = n;
        do {
            z.next_out = reinterpret_cast<Bytef*>(buf);
            z.avail_out = sizeof buf;
            deflate(&z, flush);
            out.append(buf, sizeof buf - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    return out;
}

// `text` gzip-compressed, as a compressed Poser document stores it.
inline std::string gzip_text(const std::string& text)
{
    return raw_deflate(text, 0, 16 + MAX_WBITS);
}

// `value` in `bytes` bytes, least significant first.
inline void put(std::string& out, std::uint64_t value, int bytes)
{
    for (int k = 0; k < bytes; ++k) {
        out += static_cast<char>((value >> (8 * k)) & 0xff);
    }
}

// One header of `e`, local (with `offset` < 0) or central, for the data `packed`.
inline std::string zip_header(const MadeEntry& e, const std::string& packed, std::uint32_t crc, std::int64_t offset)
{
    std::string h;
    const bool central = offset >= 0;
    put(h, central ? 0x02014b50 : 0x04034b50, 4);
    if (central) {
        put(h, (3 << 8) | 20, 2);  // made on Unix
    }
    put(h, 20, 2);
    put(h, e.utf8_mark ? 0x800 : 0, 2);
    put(h, e.deflate ? 8 : 0, 2);
    put(h, (45u << 25) | (1 << 21) | (1 << 16), 4);  // 2025-01-01 00:00
    put(h, crc, 4);
    put(h, static_cast<std::uint32_t>(packed.size()), 4);
    put(h, static_cast<std::uint32_t>(e.claimed_size >= 0 ? std::uint64_t(e.claimed_size) : e.data.size()), 4);
    put(h, static_cast<std::uint32_t>(e.name.size()), 2);
    put(h, 0, 2);
    if (central) {
        put(h, 0, 6);  // comment, disk, internal attributes
        put(h, e.unix_mode << 16, 4);
        put(h, static_cast<std::uint32_t>(offset), 4);
    }
    return h + e.name;
}

// A whole zip of the entries, in their order.
inline std::string made_zip(const std::vector<MadeEntry>& entries)
{
    std::string body, directory, end;
    for (const MadeEntry& e : entries) {
        const std::string packed = !e.packed.empty() ? e.packed : e.deflate ? raw_deflate(e.data) : e.data;
        const auto crc = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())));
        directory += zip_header(e, packed, crc, static_cast<std::int64_t>(body.size()));
        body += zip_header(e, packed, crc, -1) + packed;
    }
    put(end, 0x06054b50, 4);
    put(end, 0, 4);
    put(end, static_cast<std::uint32_t>(entries.size() * 0x10001), 4);  // on this disk, in all
    put(end, static_cast<std::uint32_t>(directory.size()), 4);
    put(end, static_cast<std::uint32_t>(body.size()), 4);
    put(end, 0, 2);
    return body + directory + end;
}

// Entries of a product as an archiver lays it out: folders, and small text files.
inline std::string zip_of(const std::vector<std::string>& names)
{
    std::vector<MadeEntry> entries;
    for (const std::string& name : names) {
        const bool folder = name.back() == '/';
        entries.emplace_back(name, folder ? std::string() : "version { number 4.01 }\n" + name + "\n", !folder);
        entries.back().unix_mode = folder ? 040755 : 0100644;
    }
    return made_zip(entries);
}

// Every change `disk` is asked for from now on, as "op path" (closing a file changes nothing).
struct ChangesSeen {
    explicit ChangesSeen(fsys::MemoryFileSystem& disk)
    {
        disk.fail_when([this](fsys::Op op, const std::string& path) {
            static const char* const names[] = {"write", "sync", "close", "rename", "remove", "make_folder"};
            std::lock_guard<std::mutex> lock(mutex);
            if (op != fsys::Op::close && (list.empty() || list.back() != names[int(op)] + (" " + path))) {
                list.push_back(names[int(op)] + (" " + path));
            }
            return false;
        });
    }
    std::mutex mutex;
    std::vector<std::string> list;
};

// AddressSanitizer's quarantine keeps what is freed, so no bound on memory holds under it, whether the build asked for
// it through its option or by compiler flags alone (GCC says so by __SANITIZE_ADDRESS__, clang by its feature test).
#if defined(TARNWICK_SANITIZED) || defined(__SANITIZE_ADDRESS__)
#define TARNWICK_MEMORY_UNBOUNDED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARNWICK_MEMORY_UNBOUNDED 1
#endif
#endif

// The most memory the process holds while this lives, above what it held at the start: sampled every millisecond where
// the system tells it cheaply (Linux), 0 elsewhere and in the sanitized build, whose quarantine keeps freed memory.
struct PeakMemory {
    static long long resident()
    {
        long long pages = 0, resident = 0;
#if defined(__linux__) && !defined(TARNWICK_MEMORY_UNBOUNDED)
        std::ifstream("/proc/self/statm") >> pages >> resident;
#endif
        return resident * 4096;
    }
    ~PeakMemory() { above_start(); }
    long long above_start()
    {
        done = true;
        if (sampler.joinable()) {
            sampler.join();
        }
        return std::max(peak.load(), resident()) - base;
    }
    const long long base = resident();
    std::atomic<long long> peak{base};
    std::atomic<bool> done{false};
    std::thread sampler{[this] {
        for (; !done; std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
            peak = std::max(peak.load(), resident());
        }
    }};
};
