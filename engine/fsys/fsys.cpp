#include "engine/fsys/fsys.h"

#include "engine/base/run_stop.h"

#include <algorithm>
#include <memory>

namespace fsys {

void FileSystem::sync_together(const std::vector<RawFile*>& files, std::vector<bool>& synced)
{
    synced.assign(files.size(), false);
    for (std::size_t k = 0; k < files.size(); ++k) {
        synced[k] = sync_to_disk(*files[k]);
    }
}

void FileSystem::start_write_and_sync(RawFile& f, Writing write)
{
    if (write(f)) {
        start_sync(f);
    }
}

bool FileSystem::stamp(const std::string& path, FileStamp& stamp)
{
    RawFile f;
    if (!open_for_reading(path, f)) {
        return false;
    }
    stamp = FileStamp{file_size(f), modified_time(path), 0};
    close_file(f);
    return stamp.size >= 0;
}

bool FileSystem::make_folders(const std::string& path)
{
    if (!is_nameable(path) || path.empty()) {
        return false;
    }
    if (is_folder(path)) {
        return true;
    }
    // The top folder ("/" or "C:\\") always exists: the names above it are made first.
    const std::size_t cut = last_separator(path, k_native_style);
    if (cut != std::string::npos && cut > 0 && path[cut - 1] != ':' && !make_folders(path.substr(0, cut))) {
        return false;
    }
    return make_folder(path) || is_folder(path);
}

bool FileSystem::read_whole_file(const std::string& path, std::string& text, std::size_t limit)
{
    RawFile f;
    if (!open_for_reading(path, f)) {
        return false;
    }
    char block[65536];
    long long n = 0;
    while ((n = read_some(f, block, sizeof block)) > 0 && text.size() <= limit) {
        text.append(block, static_cast<std::size_t>(n));
    }
    close_file(f);
    return n == 0 && text.size() <= limit;
}

bool FileSystem::write_file(const std::string& path, std::string_view bytes, Create mode, Sync sync)
{
    RawFile f;
    if (!open_for_writing(path, mode, f)) {
        return false;
    }
    const bool written = write_all(f, bytes.data(), bytes.size()) && (sync == Sync::no || sync_to_disk(f));
    if (close_file(f) && written) {
        return true;
    }
    // Only a file this call made held nothing of anybody's.
    if (mode == Create::exclusive) {
        remove_file(path);
    }
    return false;
}

bool FileSystem::copy_into_new_file(const std::string& from, const std::string& to, RawFile& out, std::string& reason)
{
    RawFile in;
    if (!open_for_reading(from, in)) {
        reason = "the file cannot be opened: " + from;
        return false;
    }
    if (!open_for_writing(to, Create::exclusive, out)) {
        close_file(in);
        reason = "the file cannot be made: " + to;
        return false;
    }
    constexpr std::size_t k_block_bytes = 1 << 20;
    const std::unique_ptr<char[]> block(new char[k_block_bytes]);
    long long n = 0;
    bool written = true;
    // A stop asked for ends a large file's copy too, not only the work between files.
    while (written && !run_stop::requested() && (n = read_some(in, block.get(), k_block_bytes)) > 0) {
        written = write_all(out, block.get(), static_cast<std::size_t>(n));
    }
    close_file(in);
    if (n < 0 || !written || run_stop::requested()) {
        reason = run_stop::requested() ? "stopped" : n < 0 ? "the file cannot be read: " + from : "the file cannot be written: " + to;
        return false;
    }
    return true;
}

bool FileSystem::digest_file(const std::string& path, FileDigest& digest)
{
    RawFile f;
    if (!open_for_reading(path, f)) {
        return false;
    }
    Sha256 hash;
    static thread_local char block[1 << 16];
    long long n = 0;
    bool ok = true;
    digest.size = 0;
    while (ok && (n = read_some(f, block, sizeof block)) > 0) {
        ok = hash.update(block, static_cast<std::size_t>(n));
        digest.size += n;
    }
    close_file(f);
    digest.sha256 = ok && n == 0 ? hash.finish() : std::string();
    return !digest.sha256.empty();
}

std::string hex_digits(const unsigned char* bytes, std::size_t size)
{
    static const char k_hex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t k = 0; k < size; ++k) {
        out += k_hex[bytes[k] >> 4];
        out += k_hex[bytes[k] & 15];
    }
    return out;
}

}  // namespace fsys
