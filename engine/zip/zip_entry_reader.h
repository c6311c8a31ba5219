// Reads one entry of an open zip, inflating it piece by piece as it is asked for: memory stays
// the size of libzip's inflate state whatever the entry holds. An entry is trusted no further
// than its directory record: one that holds more or fewer bytes than the record says, whose
// checksum fails, or that would inflate past inflate_bound() is an error with a reason.
#pragma once

#include "engine/zip/zip_entries.h"

#include <cstddef>
#include <string>

namespace zipfs {

class EntryReader {
public:
    EntryReader() = default;
    ~EntryReader();
    EntryReader(const EntryReader&) = delete;
    EntryReader& operator=(const EntryReader&) = delete;

    // Starts reading `entry` of `archive` (which must outlive the reader) from its first byte;
    // false, with reason(), when it cannot be read at all: encrypted, an unknown method, or a
    // claimed size past the bound.
    bool open(zip_t* archive, const ZipEntry& entry);
    // Bytes read into `buf`, 0 at the end of the entry, -1 on an error (then reason() says why,
    // and every later read fails too).
    long long read_some(char* buf, std::size_t size);
    // Moves to `offset` bytes from the entry's start: inflated data cannot be jumped into, so
    // this reads up to it, from the start again when it lies behind.
    bool seek_to(std::uint64_t offset);
    std::uint64_t position() const { return m_position; }
    const std::string& reason() const { return m_reason; }
    void close();

private:
    bool fail(std::string reason);
    bool restart();

    zip_t* m_archive = nullptr;
    zip_file_t* m_file = nullptr;
    ZipEntry m_entry;
    std::uint64_t m_position = 0;
    std::string m_reason;
};

}  // namespace zipfs
