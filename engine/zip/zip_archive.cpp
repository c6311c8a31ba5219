#include "engine/zip/zip_archive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace zipfs {

namespace {

// libzip reads a deflated entry 8 KiB at a time, and each header on its own: one read of the
// disk serves many of them. A read at least this long goes to the disk directly.
constexpr std::size_t k_read_ahead = 64 * 1024;

// The archive's file as libzip reads it: one open file of the FileSystem, kept open from the
// archive's opening to its closing, the position libzip believes it has, and the bytes read
// ahead of it.
struct ArchiveFile {
    fsys::FileSystem& fs;
    fsys::RawFile file;
    long long size = -1;
    long long position = 0;
    zip_error_t error;
    std::vector<char> ahead;      // the file's bytes from ahead_start on
    long long ahead_start = 0;
    long long file_position = 0;  // where the open file stands
};

zip_int64_t fail(ArchiveFile& a, int zip_code, int system_code = 0)
{
    zip_error_set(&a.error, zip_code, system_code);
    return -1;
}

// Reads from the file at libzip's position into `data`: bytes read, 0 at the end, -1 on an error.
long long read_file(ArchiveFile& a, char* data, std::size_t wanted)
{
    if (a.file_position != a.position && !a.fs.seek_to(a.file, a.position)) {
        return -1;
    }
    a.file_position = a.position;
    const long long n = a.fs.read_some(a.file, data, wanted);
    a.file_position += std::max(n, 0LL);
    return n;
}

// Fills `data` as far as the file goes: libzip takes a short read for the end of the file.
zip_int64_t read_into(ArchiveFile& a, char* data, zip_uint64_t wanted)
{
    zip_uint64_t got = 0;
    while (got < wanted) {
        const long long ahead_end = a.ahead_start + static_cast<long long>(a.ahead.size());
        if (a.position >= a.ahead_start && a.position < ahead_end) {
            const auto take = std::min<zip_uint64_t>(wanted - got, static_cast<zip_uint64_t>(ahead_end - a.position));
            std::memcpy(data + got, a.ahead.data() + (a.position - a.ahead_start), take);
            got += take;
            a.position += static_cast<long long>(take);
            continue;
        }
        const bool direct = wanted - got >= k_read_ahead;
        if (!direct) {
            a.ahead.resize(k_read_ahead);
            a.ahead_start = a.position;
        }
        const long long n = direct ? read_file(a, data + got, static_cast<std::size_t>(wanted - got))
                                   : read_file(a, a.ahead.data(), a.ahead.size());
        if (!direct) {
            a.ahead.resize(static_cast<std::size_t>(std::max(n, 0LL)));
        }
        if (n < 0) {
            return fail(a, ZIP_ER_READ, EIO);
        }
        if (n == 0) {
            break;
        }
        if (direct) {
            got += static_cast<zip_uint64_t>(n);
            a.position += n;
        }
    }
    return static_cast<zip_int64_t>(got);
}

zip_int64_t seek(ArchiveFile& a, void* data, zip_uint64_t length)
{
    const zip_int64_t to = zip_source_seek_compute_offset(static_cast<zip_uint64_t>(a.position),
                                                          static_cast<zip_uint64_t>(a.size), data, length, &a.error);
    if (to < 0) {
        return -1;
    }
    // The open file moves when it is next read from.
    a.position = to;
    return 0;
}

zip_int64_t stat_into(ArchiveFile& a, void* data, zip_uint64_t length)
{
    zip_stat_t* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &a.error);
    if (st == nullptr) {
        return -1;
    }
    zip_stat_init(st);
    st->size = static_cast<zip_uint64_t>(a.size);
    st->valid |= ZIP_STAT_SIZE;
    return sizeof(zip_stat_t);
}

zip_int64_t archive_file_callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command)
{
    ArchiveFile& a = *static_cast<ArchiveFile*>(state);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        a.position = a.file_position = 0;
        a.ahead.clear();
        return a.fs.seek_to_start(a.file) ? 0 : fail(a, ZIP_ER_SEEK, EIO);
    case ZIP_SOURCE_READ:
        return read_into(a, static_cast<char*>(data), length);
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_SEEK:
        return seek(a, data, length);
    case ZIP_SOURCE_TELL:
        return a.position;
    case ZIP_SOURCE_STAT:
        return stat_into(a, data, length);
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&a.error, data, length);
    case ZIP_SOURCE_FREE:
        a.fs.close_file(a.file);
        delete &a;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_SEEK,
                                              ZIP_SOURCE_TELL, ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              ZIP_SOURCE_SUPPORTS, -1);
    default:
        return fail(a, ZIP_ER_OPNOTSUPP);
    }
}

// The archive's file opened on `fs`, for libzip; null with `reason` when it cannot be opened.
zip_source_t* open_archive_source(fsys::FileSystem& fs, const std::string& path, std::string& reason)
{
    auto* a = new ArchiveFile{fs, {}, -1, 0, {}, {}, 0, 0};
    zip_error_init(&a->error);
    if (!fs.open_for_reading(path, a->file) || (a->size = fs.file_size(a->file)) < 0) {
        reason = "the file cannot be opened for reading";
        fs.close_file(a->file);
        delete a;
        return nullptr;
    }
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_function_create(archive_file_callback, a, &error);
    if (source == nullptr) {
        reason = error_words(&error);
        fs.close_file(a->file);
        delete a;
    }
    zip_error_fini(&error);
    return source;
}

// True when the last 64 KiB of the file, where an end of central directory lies, hold one's signature.
bool has_end_record(fsys::FileSystem& fs, const std::string& path)
{
    constexpr long long k_tail = 65535 + 22;
    fsys::RawFile f;
    if (!fs.open_for_reading(path, f)) {
        return false;
    }
    const long long size = fs.file_size(f);
    std::string tail(static_cast<std::size_t>(std::clamp(size, 0LL, k_tail)), '\0');
    std::size_t got = 0;
    if (fs.seek_to(f, size - static_cast<long long>(tail.size()))) {
        for (long long n = 0; got < tail.size() && (n = fs.read_some(f, tail.data() + got, tail.size() - got)) > 0;) {
            got += static_cast<std::size_t>(n);
        }
    }
    fs.close_file(f);
    return tail.substr(0, got).find("PK\x05\x06") != std::string::npos;
}

}  // namespace

ZipHandle open_zip(fsys::FileSystem& fs, const std::string& path, Checks checks, std::string& reason)
{
    zip_source_t* source = open_archive_source(fs, path, reason);
    if (source == nullptr) {
        return nullptr;
    }
    zip_error_t error;
    zip_error_init(&error);
    const int flags = ZIP_RDONLY | (checks == Checks::headers ? ZIP_CHECKCONS : 0);
    zip_t* archive = zip_open_from_source(source, flags, &error);
    if (archive == nullptr) {
        reason = error_words(&error);
        // libzip says so too of an end record whose directory it cannot take: entries that
        // overlap each other or the directory, as a bomb's do, or lie outside the file.
        if (zip_error_code_zip(&error) == ZIP_ER_NOZIP && has_end_record(fs, path)) {
            reason = "its central directory cannot be read: its entries overlap or lie outside the zip (damaged, or made "
                     "to mislead)";
        }
        // An archive that did not open leaves its source to the caller.
        zip_source_free(source);
    }
    zip_error_fini(&error);
    return ZipHandle(archive);
}

std::string error_words(zip_error_t* error)
{
    switch (zip_error_code_zip(error)) {
    case ZIP_ER_NOZIP:
        return "it is not a zip archive (no end of its central directory was found)";
    case ZIP_ER_INCONS:
        return "the zip archive is inconsistent (damaged, truncated or made to mislead)";
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
        return "the zip archive could not be read";
    case ZIP_ER_EOF:
        return "the zip archive ends before the data its directory names (cut short, or changed while read)";
    case ZIP_ER_CRC:
        return "the data does not match its checksum";
    case ZIP_ER_COMPNOTSUPP:
        return "an entry is compressed with a method other than deflate";
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_NOPASSWD:
        return "an entry is encrypted";
    case ZIP_ER_WRITE:
    case ZIP_ER_CLOSE:
        return "the disk refused to take the zip's data";
    case ZIP_ER_TMPOPEN:
        return "no temporary file could be made beside the zip";
    case ZIP_ER_MEMORY:
        return "the zip archive needs more memory than there is";
    default:
        return std::string("libzip: ") + zip_error_strerror(error);
    }
}

std::string archive_error_words(zip_t* archive)
{
    return error_words(zip_get_error(archive));
}

}  // namespace zipfs
