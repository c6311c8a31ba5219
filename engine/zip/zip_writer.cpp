#include "engine/zip/zip_writer.h"

#include "engine/base/ascii.h"
#include "engine/base/path_style.h"
#include "engine/base/poser_documents.h"
#include "engine/base/text_encoding.h"
#include "engine/zip/zip_archive.h"
#include "engine/zip/zip_entries.h"

#include <algorithm>
#include <cerrno>
#include <map>

namespace zipfs {

namespace {

// Regular files readable by everyone, as unzip then makes them; the same on every system, so
// that a zip collected on Windows has the bytes of one collected on Linux.
constexpr zip_uint32_t k_file_attributes = 0100644u << 16;

// The deflate level zip tools take by default. libzip's own default is the best compression,
// which takes about twice as long for a few per cent less.
constexpr zip_uint32_t k_deflate_level = 6;

// Extensions whose data is compressed already; deflate would only spend time on them.
// .mz5 is the compressed material file, which the list of documents counts among the plain ones.
constexpr std::string_view k_stored[] = {".mz5", ".obz", ".jpg", ".jpeg", ".png", ".zip", ".gz"};

// The DOS date and time of `t` in local time, as zip tools write and read them: two-second
// steps, from 1980 to 2107 (times outside are held at the ends).
void dos_time_of(std::time_t t, zip_uint16_t& time, zip_uint16_t& date)
{
    std::tm tm{};
#ifdef _WIN32
    const bool known = localtime_s(&tm, &t) == 0;
#else
    const bool known = localtime_r(&t, &tm) != nullptr;
#endif
    if (!known || tm.tm_year < 80) {
        tm = std::tm{};
        tm.tm_year = 80;
        tm.tm_mday = 1;
    } else if (tm.tm_year > 207) {
        tm = std::tm{};
        tm.tm_year = 207;
        tm.tm_mon = 11;
        tm.tm_mday = 31;
        tm.tm_hour = 23;
        tm.tm_min = 59;
        tm.tm_sec = 58;
    }
    time = static_cast<zip_uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    date = static_cast<zip_uint16_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
}

// The zip as libzip writes it: a temporary file beside the final one, created anew.
struct TargetFile {
    fsys::FileSystem& fs;
    std::string final_path;
    std::string temp_path;  // "" until created
    fsys::RawFile file;
    long long position = 0;
    long long end = 0;
    zip_error_t error;
};

zip_int64_t fail(zip_error_t& error, int zip_code, int system_code = 0)
{
    zip_error_set(&error, zip_code, system_code);
    return -1;
}

zip_int64_t begin_write(TargetFile& t)
{
    for (int k = 0; k < 100; ++k) {
        const std::string candidate = t.final_path + ".partial" + (k == 0 ? std::string() : std::to_string(k));
        if (t.fs.open_for_writing(candidate, fsys::Create::exclusive, t.file)) {
            t.temp_path = candidate;
            t.position = t.end = 0;
            return 0;
        }
    }
    return fail(t.error, ZIP_ER_TMPOPEN, EIO);
}

zip_int64_t write_some(TargetFile& t, const void* data, zip_uint64_t length)
{
    if (!t.fs.write_all(t.file, static_cast<const char*>(data), static_cast<std::size_t>(length))) {
        return fail(t.error, ZIP_ER_WRITE, EIO);
    }
    t.position += static_cast<long long>(length);
    t.end = std::max(t.end, t.position);
    return static_cast<zip_int64_t>(length);
}

zip_int64_t seek_write(TargetFile& t, void* data, zip_uint64_t length)
{
    const zip_int64_t to = zip_source_seek_compute_offset(static_cast<zip_uint64_t>(t.position),
                                                          static_cast<zip_uint64_t>(t.end), data, length, &t.error);
    if (to < 0) {
        return -1;
    }
    if (!t.fs.seek_to(t.file, to)) {
        return fail(t.error, ZIP_ER_SEEK, EIO);
    }
    t.position = to;
    return 0;
}

void discard_temp(TargetFile& t)
{
    if (t.file.is_open()) {
        t.fs.close_file(t.file);
    }
    if (!t.temp_path.empty()) {
        t.fs.remove_file(t.temp_path);
        t.temp_path.clear();
    }
}

zip_int64_t commit_write(TargetFile& t)
{
    const bool synced = t.fs.sync_to_disk(t.file);
    if (!t.fs.close_file(t.file) || !synced) {
        return fail(t.error, ZIP_ER_WRITE, EIO);
    }
    return 0;
}

zip_int64_t target_callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command)
{
    TargetFile& t = *static_cast<TargetFile*>(state);
    switch (command) {
    case ZIP_SOURCE_STAT:
        // A new zip: libzip takes this answer for "no such file yet".
        return fail(t.error, ZIP_ER_READ, ENOENT);
    case ZIP_SOURCE_BEGIN_WRITE:
        return begin_write(t);
    case ZIP_SOURCE_WRITE:
        return write_some(t, data, length);
    case ZIP_SOURCE_SEEK_WRITE:
        return seek_write(t, data, length);
    case ZIP_SOURCE_TELL_WRITE:
        return t.position;
    case ZIP_SOURCE_COMMIT_WRITE:
        return commit_write(t);
    case ZIP_SOURCE_ROLLBACK_WRITE:
    case ZIP_SOURCE_REMOVE:
        discard_temp(t);
        return 0;
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&t.error, data, length);
    case ZIP_SOURCE_FREE:
        return 0;  // the writer owns the target and removes what is left of it
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL,
                                              ZIP_SOURCE_SUPPORTS, ZIP_SOURCE_BEGIN_WRITE, ZIP_SOURCE_COMMIT_WRITE,
                                              ZIP_SOURCE_ROLLBACK_WRITE, ZIP_SOURCE_WRITE, ZIP_SOURCE_SEEK_WRITE,
                                              ZIP_SOURCE_TELL_WRITE, ZIP_SOURCE_REMOVE, -1);
    default:
        return fail(t.error, ZIP_ER_OPNOTSUPP);
    }
}

// One file of the scene as libzip reads it while it writes the zip: opened only then, so that
// thousands of entries never hold thousands of files open.
struct SourceFile {
    fsys::FileSystem& fs;
    std::string path;
    std::time_t mtime;
    std::string* failure;  // the writer's reason, told which file failed
    fsys::RawFile file;
    zip_error_t error;
};

zip_int64_t source_fail(SourceFile& s, const char* what)
{
    *s.failure = std::string("the file cannot be ") + what + ": " + s.path;
    return fail(s.error, ZIP_ER_READ, EIO);
}

zip_int64_t stat_source(SourceFile& s, void* data, zip_uint64_t length)
{
    zip_stat_t* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &s.error);
    fsys::RawFile f;
    const bool opened = st != nullptr && s.fs.open_for_reading(s.path, f);
    const long long size = opened ? s.fs.file_size(f) : -1;
    if (opened) {
        s.fs.close_file(f);
    }
    if (size < 0) {
        return st == nullptr ? -1 : source_fail(s, "opened");
    }
    zip_stat_init(st);
    st->size = static_cast<zip_uint64_t>(size);
    st->mtime = s.mtime;
    st->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
    return sizeof(zip_stat_t);
}

zip_int64_t read_source(SourceFile& s, char* data, zip_uint64_t length)
{
    zip_uint64_t got = 0;
    while (got < length) {
        const long long n = s.fs.read_some(s.file, data + got, static_cast<std::size_t>(length - got));
        if (n < 0) {
            return source_fail(s, "read");
        }
        if (n == 0) {
            break;
        }
        got += static_cast<zip_uint64_t>(n);
    }
    return static_cast<zip_int64_t>(got);
}

zip_int64_t source_callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command)
{
    SourceFile& s = *static_cast<SourceFile*>(state);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        return s.fs.open_for_reading(s.path, s.file) ? 0 : source_fail(s, "opened");
    case ZIP_SOURCE_READ:
        return read_source(s, static_cast<char*>(data), length);
    case ZIP_SOURCE_CLOSE:
        s.fs.close_file(s.file);
        return 0;
    case ZIP_SOURCE_STAT:
        return stat_source(s, data, length);
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&s.error, data, length);
    case ZIP_SOURCE_FREE:
        if (s.file.is_open()) {
            s.fs.close_file(s.file);
        }
        delete &s;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SUPPORTS, -1);
    default:
        return fail(s.error, ZIP_ER_OPNOTSUPP);
    }
}

bool set_dos_time(zip_t* archive, zip_uint64_t index, std::time_t mtime,
                  std::map<std::time_t, std::pair<zip_uint16_t, zip_uint16_t>>& known)
{
    auto [it, added] = known.try_emplace(mtime);
    if (added) {
        dos_time_of(mtime, it->second.first, it->second.second);
    }
    return zip_file_set_dostime(archive, index, it->second.first, it->second.second, 0) == 0;
}

void progress_callback(zip_t*, double done, void* writer)
{
    *static_cast<double*>(writer) = done;
}

}  // namespace

bool is_stored_as_is(std::string_view name)
{
    return is_compressed_poser_document(name) ||
           std::any_of(std::begin(k_stored), std::end(k_stored),
                       [&](std::string_view ext) { return ends_with_ignoring_case(name, ext); });
}

ZipWriter::ZipWriter(fsys::FileSystem& fs, std::string zip_path) : m_fs(fs), m_zip_path(std::move(zip_path)) {}

ZipWriter::~ZipWriter() = default;

bool ZipWriter::accept_name(const std::string& name, std::string& reason)
{
    if (!is_utf8(name)) {
        reason = "the entry name is not UTF-8";
        return false;
    }
    if (std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
        reason = "the entry name holds a control character, which zip tools refuse";
        return false;
    }
    const NameFault fault = name_fault(name);
    if (fault != NameFault::none || name.back() == '/') {
        reason = fault != NameFault::none ? fault_words(fault) : "the entry name ends in a folder separator";
        return false;
    }
    // Two names that differ in letter case alone would overwrite each other on Windows.
    if (!m_lower_names.insert(lower_ascii(name)).second) {
        reason = "an entry of that name (in some letter case) is in the zip already";
        return false;
    }
    return true;
}

bool ZipWriter::add_file(const std::string& name, const std::string& path, std::time_t mtime, std::string& reason)
{
    if (!accept_name(name, reason)) {
        return false;
    }
    m_entries.push_back({name, path, std::string(), mtime});
    return true;
}

bool ZipWriter::add_bytes(const std::string& name, std::string bytes, std::time_t mtime, std::string& reason)
{
    if (!accept_name(name, reason)) {
        return false;
    }
    m_entries.push_back({name, std::string(), std::move(bytes), mtime});
    return true;
}

bool ZipWriter::add_entries(zip_t* archive, std::string& reason)
{
    // The system's local time is slow to ask under some systems (wine takes a millisecond), and
    // a scene's files share few times: each time is turned into DOS time once.
    std::map<std::time_t, std::pair<zip_uint16_t, zip_uint16_t>> dos_times;
    for (const Entry& e : m_entries) {
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* source = nullptr;
        if (e.path.empty()) {
            source = zip_source_buffer_create(e.bytes.data(), e.bytes.size(), 0, &error);
        } else {
            auto* file = new SourceFile{m_fs, e.path, e.mtime, &m_failure, {}, {}};
            zip_error_init(&file->error);
            if ((source = zip_source_function_create(source_callback, file, &error)) == nullptr) {
                delete file;
            }
        }
        const zip_int64_t index = source == nullptr ? -1 : zip_file_add(archive, e.name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            reason = source == nullptr ? error_words(&error) : archive_error_words(archive);
            zip_source_free(source);
            zip_error_fini(&error);
            return false;
        }
        zip_error_fini(&error);
        const auto k = static_cast<zip_uint64_t>(index);
        const bool stored = is_stored_as_is(e.name);
        if (zip_set_file_compression(archive, k, stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, stored ? 0 : k_deflate_level) != 0 ||
            !set_dos_time(archive, k, e.mtime, dos_times) ||
            zip_file_set_external_attributes(archive, k, 0, ZIP_OPSYS_UNIX, k_file_attributes) != 0) {
            reason = archive_error_words(archive);
            return false;
        }
    }
    return true;
}

bool ZipWriter::finish(std::string& reason)
{
    if (m_entries.empty()) {
        reason = "there is nothing to put in the zip";
        return false;
    }
    if (m_fs.entry_exists(m_zip_path)) {
        reason = "a file of that name exists already";
        return false;
    }
    std::sort(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    std::string temp_path;
    if (!write_zip(temp_path, reason)) {
        return false;
    }
    if (!m_fs.rename_noreplace(temp_path, m_zip_path)) {
        reason = "the finished zip cannot be given its name";
        m_fs.remove_file(temp_path);
        return false;
    }
    return true;
}

bool ZipWriter::write_zip(std::string& temp_path, std::string& reason)
{
    TargetFile target{m_fs, m_zip_path, std::string(), {}, 0, 0, {}};
    zip_error_init(&target.error);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_function_create(target_callback, &target, &error);
    zip_t* archive = source == nullptr ? nullptr : zip_open_from_source(source, ZIP_CREATE | ZIP_EXCL, &error);
    m_failure.clear();
    if (archive != nullptr && m_progress) {
        // libzip asks whether to go on after each piece it copies, and tells its progress in steps.
        zip_register_progress_callback_with_state(archive, 0.001, progress_callback, nullptr, &m_done);
        zip_register_cancel_callback_with_state(archive, [](zip_t*, void* state) {
            ZipWriter& writer = *static_cast<ZipWriter*>(state);
            if (writer.m_progress(writer.m_done)) {
                return 0;
            }
            writer.m_failure = "stopped";
            return 1;
        }, nullptr, this);
    }
    bool written = archive != nullptr && add_entries(archive, reason);
    if (archive == nullptr) {
        reason = error_words(&error);
        zip_source_free(source);
    } else if (written && zip_close(archive) != 0) {
        // A file that could not be read says which; the disk's refusal says itself.
        reason = m_failure.empty() ? "the zip cannot be written: " + archive_error_words(archive) : m_failure;
        written = false;
    }
    if (archive != nullptr && !written) {
        zip_discard(archive);
    }
    zip_error_fini(&error);
    zip_error_fini(&target.error);
    if (!written) {
        discard_temp(target);
        return false;
    }
    temp_path = target.temp_path;
    return true;
}

}  // namespace zipfs
