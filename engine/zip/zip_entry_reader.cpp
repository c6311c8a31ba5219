#include "engine/zip/zip_entry_reader.h"

#include <algorithm>

namespace zipfs {

EntryReader::~EntryReader()
{
    close();
}

void EntryReader::close()
{
    if (m_file != nullptr) {
        zip_fclose(m_file);
        m_file = nullptr;
    }
}

bool EntryReader::fail(std::string reason)
{
    close();
    m_reason = std::move(reason);
    return false;
}

bool EntryReader::open(zip_t* archive, const ZipEntry& entry)
{
    close();
    m_archive = archive;
    m_entry = entry;
    m_reason.clear();
    if (entry.encrypted) {
        return fail("it is encrypted");
    }
    if (entry.method != ZIP_CM_STORE && entry.method != ZIP_CM_DEFLATE) {
        return fail("it is compressed with method " + std::to_string(entry.method) + ", not deflate");
    }
    const std::uint64_t bound = inflate_bound(entry.compressed_size);
    if (entry.size > bound) {
        return fail("it would inflate to " + std::to_string(entry.size) + " bytes from " +
                    std::to_string(entry.compressed_size) + ", past the bound of " + std::to_string(bound) +
                    " (a zip bomb)");
    }
    return restart();
}

bool EntryReader::restart()
{
    close();
    m_position = 0;
    // The bytes as stored: a name's encoding is no concern of the data.
    m_file = zip_fopen_index(m_archive, m_entry.index, 0);
    if (m_file == nullptr) {
        return fail(archive_error_words(m_archive));
    }
    return true;
}

long long EntryReader::read_some(char* buf, std::size_t size)
{
    if (m_file == nullptr) {
        return -1;
    }
    if (size == 0) {
        return 0;
    }
    // One byte more than the record leaves is asked for, so that an entry holding more than
    // it claims shows at once, and inflating never runs on past the claim.
    const std::uint64_t left = m_entry.size - m_position;
    const std::uint64_t wanted = std::min<std::uint64_t>(size, left + 1);
    const zip_int64_t n = zip_fread(m_file, buf, wanted);
    if (n < 0) {
        fail(error_words(zip_file_get_error(m_file)));
        return -1;
    }
    if (static_cast<std::uint64_t>(n) > left) {
        fail("it holds more bytes than its directory record says (" + std::to_string(m_entry.size) + ")");
        return -1;
    }
    if (n == 0 && left > 0) {
        fail("it ends after " + std::to_string(m_position) + " of the " + std::to_string(m_entry.size) +
             " bytes its directory record says");
        return -1;
    }
    m_position += static_cast<std::uint64_t>(n);
    return n;
}

bool EntryReader::seek_to(std::uint64_t offset)
{
    if (m_file == nullptr || offset > m_entry.size) {
        return false;
    }
    if (offset < m_position && !restart()) {
        return false;
    }
    char skip[16384];
    while (m_position < offset) {
        const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof skip, offset - m_position));
        if (read_some(skip, step) <= 0) {
            return false;
        }
    }
    return true;
}

}  // namespace zipfs
