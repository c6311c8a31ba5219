// The real disk on POSIX: plain descriptors, no C stdio, so that the text rules and the error
// checks are ours and the same on every platform.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include "engine/fsys/flush_workers.h"
#include "engine/fsys/fsys.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits.h>
#include <string_view>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif
#include <unistd.h>

namespace fsys {
namespace {

int fd_of(const RawFile& f)
{
    return static_cast<int>(f.handle);
}

// True for a file that a file system of the kernel makes up as it is read (Linux's /proc,
// /sys and their kin): its size says nothing, and reading it tells the process's secrets.
bool is_made_up_by_the_system(const std::string& path)
{
#ifdef __linux__
    // The f_type of each, as <linux/magic.h> gives them: proc, sysfs, debugfs, securityfs,
    // tracefs, cgroup, cgroup2, configfs, efivarfs, bpf, devpts, fusectl, pstore.
    static constexpr unsigned long k_system_types[] = {0x9fa0,     0x62656572, 0x64626720, 0x73636673, 0x74726163,
                                                       0x27e0eb,   0x63677270, 0x62656570, 0xde5e81e4, 0xcafe4a11,
                                                       0x1cd1,     0x65735543, 0x6165676c};
    struct statfs fs;
    if (::statfs(path.c_str(), &fs) != 0) {
        return false;
    }
    for (unsigned long type : k_system_types) {
        if (static_cast<unsigned long>(fs.f_type) == type) {
            return true;
        }
    }
#else
    (void)path;
#endif
    return false;
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

class PosixFileSystem : public FileSystem {
public:
    bool open_for_reading(const std::string& path, RawFile& f, Listed listed) override;
    bool open_for_writing(const std::string& path, Create mode, RawFile& f) override;
    long long read_some(RawFile& f, char* buf, std::size_t size) override;
    bool write_all(RawFile& f, const char* data, std::size_t size) override;
    bool seek_to(RawFile& f, long long offset) override;
    long long file_size(RawFile& f) override;
    bool sync_to_disk(RawFile& f) override;
    void start_sync(RawFile& f) override { m_flushers.start(f); }
    void start_write_and_sync(RawFile& f, Writing write) override { m_flushers.start(f, std::move(write)); }
    void sync_together(const std::vector<RawFile*>& files, std::vector<bool>& synced) override
    {
        m_flushers.sync(files, synced);
    }
#ifdef __linux__
    bool can_sync_file_system() const override { return true; }
    bool sync_file_system(const std::string& path) override;
#endif
    bool close_file(RawFile& f) override;
    bool is_readable_file(const std::string& path) override;
    bool entry_exists(const std::string& path) override;
    NameKind name_kind(const std::string& path) override;
    bool is_folder(const std::string& path) override;
    bool is_special_file(const std::string& path) override;
    long long modified_time(const std::string& path) override;
    bool stamp(const std::string& path, FileStamp& stamp) override;
    bool folder_identity(const std::string& path, FolderId& id) override;
    bool list_folder_entries(const std::string& path, std::vector<FolderEntry>& entries) override;
    bool rename_noreplace(const std::string& from, const std::string& to) override;
    bool rename_replace(const std::string& from, const std::string& to) override;
    Exchange exchange(const std::string& a, const std::string& b) override;
    bool remove_file(const std::string& path) override;
    bool make_folder(const std::string& path) override;
    bool remove_folder(const std::string& path) override;
    bool give_protection(const std::string& from, const std::string& to) override;
    bool is_read_only(const std::string& path) override;
    std::string current_folder() override;
    std::string absolute_path(const std::string& path) override;
    std::string resolved_path(const std::string& path) override;

private:
    FlushWorkers m_flushers{[this](RawFile& f) { return sync_to_disk(f); }};
};

}  // namespace

bool PosixFileSystem::open_for_reading(const std::string& path, RawFile& f, Listed listed)
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

bool PosixFileSystem::open_for_writing(const std::string& path, Create mode, RawFile& f)
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

long long PosixFileSystem::read_some(RawFile& f, char* buf, std::size_t size)
{
    for (;;) {
        ssize_t n = ::read(fd_of(f), buf, size);
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}

bool PosixFileSystem::write_all(RawFile& f, const char* data, std::size_t size)
{
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

bool PosixFileSystem::seek_to(RawFile& f, long long offset)
{
    return ::lseek(fd_of(f), static_cast<off_t>(offset), SEEK_SET) == offset;
}

long long PosixFileSystem::file_size(RawFile& f)
{
    struct stat st;
    return ::fstat(fd_of(f), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

bool PosixFileSystem::sync_to_disk(RawFile& f)
{
#ifdef __APPLE__
    if (::fcntl(fd_of(f), F_FULLFSYNC) == 0) {
        return true;
    }
#endif
    return ::fsync(fd_of(f)) == 0;
}

#ifdef __linux__
bool PosixFileSystem::sync_file_system(const std::string& path)
{
    const int fd = is_nameable(path) ? ::open(path.c_str(), O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) {
        return false;
    }
    const bool synced = ::syncfs(fd) == 0;
    ::close(fd);
    return synced;
}
#endif

bool PosixFileSystem::close_file(RawFile& f)
{
    if (!f.is_open()) {
        return true;
    }
    int rc = ::close(fd_of(f));
    f.handle = -1;
    return rc == 0;
}

bool PosixFileSystem::is_readable_file(const std::string& path)
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

bool PosixFileSystem::entry_exists(const std::string& path)
{
    if (!is_nameable(path)) {
        return false;
    }
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

NameKind PosixFileSystem::name_kind(const std::string& path)
{
    struct stat st;
    if (!is_nameable(path) || ::lstat(path.c_str(), &st) != 0) {
        return NameKind::none;
    }
    return S_ISLNK(st.st_mode) ? NameKind::link
           : S_ISDIR(st.st_mode) ? NameKind::folder
           : S_ISREG(st.st_mode) ? NameKind::file
                                 : NameKind::other;
}

long long PosixFileSystem::modified_time(const std::string& path)
{
    struct stat st;
    return is_nameable(path) && ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_mtime) : -1;
}

bool PosixFileSystem::stamp(const std::string& path, FileStamp& stamp)
{
    struct stat st;
    if (!is_nameable(path) || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    // The status change too: a tool that puts the old modification time back changes it.
#if defined(__APPLE__)
    const struct timespec& m = st.st_mtimespec;
    const struct timespec& c = st.st_ctimespec;
#else
    const struct timespec& m = st.st_mtim;
    const struct timespec& c = st.st_ctim;
#endif
    const long long changed = static_cast<long long>(std::max(m.tv_sec, c.tv_sec)) * 1000000000LL +
                              (m.tv_sec > c.tv_sec ? m.tv_nsec : c.tv_nsec);
    stamp = FileStamp{static_cast<long long>(st.st_size), changed,
                      static_cast<std::uint64_t>(st.st_ino) ^ (static_cast<std::uint64_t>(st.st_dev) << 48)};
    return true;
}

Exchange PosixFileSystem::exchange(const std::string& a, const std::string& b)
{
    if (!is_nameable(a) || !is_nameable(b)) {
        return Exchange::failed;
    }
#if defined(__linux__)
    if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) {
        return Exchange::done;
    }
    return errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ? Exchange::unsupported : Exchange::failed;
#elif defined(__APPLE__)
    if (::renamex_np(a.c_str(), b.c_str(), RENAME_SWAP) == 0) {
        return Exchange::done;
    }
    return errno == ENOTSUP ? Exchange::unsupported : Exchange::failed;
#else
    return Exchange::unsupported;
#endif
}

bool PosixFileSystem::rename_noreplace(const std::string& from, const std::string& to)
{
    if (!is_nameable(from) || !is_nameable(to)) {
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
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0 || errno != ENOENT) {
        return false;
    }
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool PosixFileSystem::remove_file(const std::string& path)
{
    if (!is_nameable(path)) {
        return false;
    }
    return ::unlink(path.c_str()) == 0;
}

bool PosixFileSystem::rename_replace(const std::string& from, const std::string& to)
{
    return is_nameable(from) && is_nameable(to) && std::rename(from.c_str(), to.c_str()) == 0;
}

bool PosixFileSystem::make_folder(const std::string& path)
{
    return is_nameable(path) && ::mkdir(path.c_str(), 0777) == 0;
}

bool PosixFileSystem::remove_folder(const std::string& path)
{
    return is_nameable(path) && ::rmdir(path.c_str()) == 0;
}

bool remove_file_at_once(const char* path)
{
    return ::unlink(path) == 0;
}

// The permission bits alone: a set-user-ID bit must not pass to a file of another owner.
bool PosixFileSystem::give_protection(const std::string& from, const std::string& to)
{
    struct stat st;
    struct stat now;
    if (!is_nameable(from) || !is_nameable(to) || ::stat(from.c_str(), &st) != 0) {
        return false;
    }
    // A copy made with the same bits is left as it is: a change would write its inode again.
    if (::stat(to.c_str(), &now) == 0 && (now.st_mode & 0777) == (st.st_mode & 0777)) {
        return true;
    }
    return ::chmod(to.c_str(), st.st_mode & 0777) == 0;
}

bool PosixFileSystem::is_read_only(const std::string& path)
{
    struct stat st;
    return is_nameable(path) && ::stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
}

bool PosixFileSystem::is_folder(const std::string& path)
{
    if (!is_nameable(path)) {
        return false;
    }
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PosixFileSystem::is_special_file(const std::string& path)
{
    struct stat st;
    if (!is_nameable(path) || ::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        return false;
    }
    return !S_ISREG(st.st_mode) || is_made_up_by_the_system(path);
}

std::string PosixFileSystem::current_folder()
{
    char* cwd = ::getcwd(nullptr, 0);
    if (cwd == nullptr) {
        return std::string();
    }
    std::string folder(cwd);
    std::free(cwd);
    return folder;
}

std::string PosixFileSystem::absolute_path(const std::string& path)
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

std::string PosixFileSystem::resolved_path(const std::string& path)
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

bool PosixFileSystem::folder_identity(const std::string& path, FolderId& id)
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

bool PosixFileSystem::list_folder_entries(const std::string& path, std::vector<FolderEntry>& entries)
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

FileSystem& disk()
{
    // Holds nothing but the threads that flush a batch: every call goes to the system.
    static PosixFileSystem the_disk;
    return the_disk;
}

std::FILE* open_stream(const std::string& path, const char* mode)
{
    return is_nameable(path) ? std::fopen(path.c_str(), mode) : nullptr;
}

}  // namespace fsys
