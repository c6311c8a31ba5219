// POSIX side of the file layer: plain descriptors, no C stdio, so that the text rules and
// the error checks are ours and the same on every platform.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include "engine/fsys.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fsys {
namespace {

int fd_of(const RawFile& f)
{
    return static_cast<int>(f.handle);
}

// A descriptor on a readable regular file, still non-blocking, or -1. Folders, pipes and
// devices are refused without being waited for, and without being opened unless a listing
// has just typed the name as a plain file (then only a change since makes them one).
int open_regular_file(const std::string& path, Listed listed)
{
    struct stat st;
    if (listed != Listed::plain_file && (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))) {
        return -1;
    }
    // O_NONBLOCK: should the name turn into a pipe since it was last seen, opening it
    // must still not wait for a writer.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

bool open_for_reading(const std::string& path, RawFile& f, Listed listed)
{
    if (!is_nameable(path)) {
        return false;
    }
    int fd = open_regular_file(path, listed);
    if (fd < 0) {
        return false;
    }
    // O_NONBLOCK stays: it changes nothing for a regular file, and each call saved counts
    // over a library of thousands of files.
    f.handle = fd;
    f.path = path;
    return true;
}

bool open_for_writing(const std::string& path, Create mode, RawFile& f)
{
    if (!is_nameable(path)) {
        return false;
    }
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (mode == Create::exclusive ? O_EXCL : O_TRUNC);
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
        return false;
    }
    f.handle = fd;
    f.path = path;
    return true;
}

long long read_some(RawFile& f, char* buf, std::size_t size)
{
    for (;;) {
        ssize_t n = ::read(fd_of(f), buf, size);
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}

bool write_all(RawFile& f, const char* data, std::size_t size)
{
    if (fault_injected(Op::write, f.path)) {
        return false;
    }
    while (size > 0) {
        ssize_t n = ::write(fd_of(f), data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool seek_to_start(RawFile& f)
{
    return ::lseek(fd_of(f), 0, SEEK_SET) == 0;
}

bool sync_to_disk(RawFile& f)
{
    if (fault_injected(Op::sync, f.path)) {
        return false;
    }
#ifdef __APPLE__
    if (::fcntl(fd_of(f), F_FULLFSYNC) == 0) {
        return true;
    }
#endif
    return ::fsync(fd_of(f)) == 0;
}

bool close_file(RawFile& f)
{
    if (!f.is_open()) {
        return true;
    }
    bool injected = fault_injected(Op::close, f.path);
    int rc = ::close(fd_of(f));
    f.handle = -1;
    return rc == 0 && !injected;
}

bool is_readable_file(const std::string& path)
{
    if (!is_nameable(path)) {
        return false;
    }
    // Nothing is read, so the descriptor needs neither blocking reads nor read-ahead advice.
    int fd = open_regular_file(path, Listed::unknown);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

bool entry_exists(const std::string& path)
{
    if (!is_nameable(path)) {
        return false;
    }
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

bool rename_noreplace(const std::string& from, const std::string& to)
{
    if (!is_nameable(from) || !is_nameable(to)) {
        return false;
    }
    if (fault_injected(Op::rename, from)) {
        return false;
    }
#if defined(__linux__)
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        return false;
    }
#elif defined(__APPLE__)
    if (::renamex_np(from.c_str(), to.c_str(), RENAME_EXCL) == 0) {
        return true;
    }
    if (errno != ENOTSUP) {
        return false;
    }
#endif
    return rename_by_link(from, to);
}

// rename() replaces an existing target silently; a hard link fails instead, so link and
// unlink is the fallback where the kernel or file system lacks an exclusive rename.
bool rename_by_link(const std::string& from, const std::string& to)
{
    if (::link(from.c_str(), to.c_str()) == 0) {
        if (::unlink(from.c_str()) == 0) {
            return true;
        }
        ::unlink(to.c_str());
        return false;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) {
        return false;
    }
    // A file system without hard links (FAT, some network shares): check, then rename.
    if (entry_exists(to)) {
        return false;
    }
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool remove_file(const std::string& path)
{
    if (!is_nameable(path)) {
        return false;
    }
    if (fault_injected(Op::remove, path)) {
        return false;
    }
    return ::unlink(path.c_str()) == 0;
}

bool remove_file_at_once(const char* path)
{
    return ::unlink(path) == 0;
}

// The permission bits alone: a set-user-ID bit must not pass to a file of another owner.
bool give_protection(const std::string& from, const std::string& to)
{
    struct stat st;
    return is_nameable(from) && is_nameable(to) && ::stat(from.c_str(), &st) == 0 &&
           ::chmod(to.c_str(), st.st_mode & 0777) == 0;
}

bool is_folder(const std::string& path)
{
    if (!is_nameable(path)) {
        return false;
    }
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string current_folder()
{
    char* cwd = ::getcwd(nullptr, 0);
    if (cwd == nullptr) {
        return std::string();
    }
    std::string folder(cwd);
    std::free(cwd);
    return folder;
}

std::string absolute_path(const std::string& path)
{
    std::string joined = path;
    if (path.empty() || path[0] != '/') {
        const std::string cwd = current_folder();
        if (cwd.empty()) {
            return std::string();
        }
        joined = cwd + "/" + path;
    }
    std::string out;
    std::size_t k = 0;
    while (k < joined.size()) {
        std::size_t end = joined.find('/', k);
        end = end == std::string::npos ? joined.size() : end;
        std::string_view part(joined.data() + k, end - k);
        if (!part.empty() && part != ".") {
            out += '/';
            out.append(part);
        }
        k = end + 1;
    }
    return out.empty() ? std::string("/") : out;
}

std::string resolved_path(const std::string& path)
{
    if (!is_nameable(path)) {
        return std::string();
    }
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        return std::string();
    }
    std::string out(resolved);
    std::free(resolved);
    return out;
}

std::FILE* open_stream(const std::string& path, const char* mode)
{
    return is_nameable(path) ? std::fopen(path.c_str(), mode) : nullptr;
}

bool folder_identity(const std::string& path, FolderId& id)
{
    if (!is_nameable(path)) {
        return false;
    }
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return false;
    }
    id.volume = static_cast<std::uint64_t>(st.st_dev);
    id.index = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

bool list_folder_entries(const std::string& path, std::vector<FolderEntry>& entries)
{
    if (!is_nameable(path)) {
        return false;
    }
    DIR* d = ::opendir(path.c_str());
    if (d == nullptr) {
        return false;
    }
    entries.clear();
    while (struct dirent* e = ::readdir(d)) {
        const std::string_view name(e->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        EntryType type = EntryType::other;
#ifdef DT_DIR
        type = e->d_type == DT_REG ? EntryType::file : e->d_type == DT_DIR ? EntryType::folder : EntryType::other;
#endif
        entries.push_back(FolderEntry{std::string(name), type});
    }
    ::closedir(d);
    return true;
}

}  // namespace fsys
