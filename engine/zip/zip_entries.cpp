#include "engine/zip/zip_entries.h"

#include <algorithm>

namespace zipfs {

namespace {

constexpr std::uint64_t k_inflate_ratio = 100;
constexpr std::uint64_t k_inflate_floor = std::uint64_t(8) << 20;
constexpr std::uint64_t k_inflate_ceiling = std::uint64_t(4) << 30;

// Unix file types in the high 16 bits of the external attributes of an entry made on Unix.
constexpr std::uint32_t k_type_mask = 0170000;
constexpr std::uint32_t k_type_link = 0120000;

bool has_non_ascii(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

bool is_link_entry(zip_t* archive, std::uint64_t index)
{
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0) {
        return false;
    }
    return system == ZIP_OPSYS_UNIX && ((attributes >> 16) & k_type_mask) == k_type_link;
}

bool read_entry(zip_t* archive, std::uint64_t index, ZipEntry& e, std::string& reason)
{
    zip_stat_t st;
    // The raw bytes as stored; the strict reading turns any name not marked UTF-8 into UTF-8
    // from code page 437, so the two differ exactly for non-ASCII names without the mark.
    const char* raw = zip_get_name(archive, index, ZIP_FL_ENC_RAW);
    const char* strict = zip_get_name(archive, index, ZIP_FL_ENC_STRICT);
    if (raw == nullptr || strict == nullptr || zip_stat_index(archive, index, ZIP_FL_ENC_RAW, &st) != 0) {
        reason = archive_error_words(archive);
        return false;
    }
    e.index = index;
    e.name = raw;
    e.cp437_name = strict;
    e.is_folder = !e.name.empty() && e.name.back() == '/';
    e.is_link = is_link_entry(archive, index);
    e.non_ascii_unmarked = has_non_ascii(e.name) && e.name != strict;
    e.size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
    e.compressed_size = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0;
    e.method = (st.valid & ZIP_STAT_COMP_METHOD) ? st.comp_method : 0;
    e.crc = (st.valid & ZIP_STAT_CRC) ? st.crc : 0;
    e.encrypted = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
    e.mtime = (st.valid & ZIP_STAT_MTIME) ? static_cast<long long>(st.mtime) : -1;
    e.fault = name_fault(e.name);
    e.too_long = installed_path_length(e.name) > k_max_installed_path;
    return true;
}

}  // namespace

bool read_entries(zip_t* archive, std::vector<ZipEntry>& entries, std::string& reason)
{
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count < 0) {
        reason = archive_error_words(archive);
        return false;
    }
    entries.clear();
    entries.reserve(static_cast<std::size_t>(count));
    for (zip_int64_t k = 0; k < count; ++k) {
        ZipEntry e;
        if (!read_entry(archive, static_cast<std::uint64_t>(k), e, reason)) {
            return false;
        }
        entries.push_back(std::move(e));
    }
    return true;
}

std::vector<std::string_view> name_components(std::string_view name)
{
    std::vector<std::string_view> parts;
    if (!name.empty() && name.back() == '/') {
        name.remove_suffix(1);
    }
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t slash = std::min(name.find('/', start), name.size());
        parts.push_back(name.substr(start, slash - start));
        start = slash + 1;
    }
    return parts;
}

std::size_t installed_path_length(std::string_view name)
{
    std::size_t units = 3 + 1;  // "C:\\" and the NUL
    for (unsigned char c : name) {
        // A character takes one unit, one beyond the basic plane (four bytes) two; a byte that
        // continues a sequence takes none.
        units += (c & 0xc0) != 0x80 ? 1 : 0;
        units += c >= 0xf0 ? 1 : 0;
    }
    return units;
}

NameFault name_fault(std::string_view name)
{
    if (name.empty() || name == "/") {
        return NameFault::empty;
    }
    if (name.find('\0') != std::string_view::npos) {
        return NameFault::nul;
    }
    if (name.front() == '/') {
        return NameFault::absolute;
    }
    if (name.find('\\') != std::string_view::npos) {
        return NameFault::backslash;
    }
    // "C:x" is a drive on Windows, and "name:stream" an alternate data stream of NTFS.
    if (name.find(':') != std::string_view::npos) {
        return NameFault::drive_letter;
    }
    for (std::string_view part : name_components(name)) {
        if (part.empty()) {
            return NameFault::empty_component;
        }
        if (part == "..") {
            return NameFault::parent;
        }
        if (part == ".") {
            return NameFault::dot;
        }
    }
    return NameFault::none;
}

const char* fault_words(NameFault fault)
{
    switch (fault) {
    case NameFault::none:
        return "the name is safe";
    case NameFault::empty:
        return "the entry has no name";
    case NameFault::absolute:
        return "the name begins at the top folder ('/')";
    case NameFault::drive_letter:
        return "the name holds a colon, which Windows reads as a drive letter or a stream";
    case NameFault::backslash:
        return "the name holds a backslash, which Windows reads as a folder separator";
    case NameFault::parent:
        return "the name holds a '..' component, which leads out of the install folder";
    case NameFault::dot:
        return "the name holds a '.' component";
    case NameFault::empty_component:
        return "the name holds an empty folder name ('//')";
    case NameFault::nul:
        return "the name holds a NUL byte";
    }
    return "the name is unsafe";
}

std::uint64_t inflate_bound(std::uint64_t compressed_size)
{
    const std::uint64_t scaled = compressed_size > k_inflate_ceiling / k_inflate_ratio
                                     ? k_inflate_ceiling
                                     : compressed_size * k_inflate_ratio;
    return std::min(std::max(scaled, k_inflate_floor), k_inflate_ceiling);
}

}  // namespace zipfs
