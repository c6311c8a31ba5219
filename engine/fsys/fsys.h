// The file system as the program sees it: one small interface with the same meaning on every
// platform. fsys-posix.cpp and fsys-win32.cpp put the real disk behind it, memory_fs.cpp a disk
// held in memory that follows either platform's rules and can fail any operation on demand.
// Everything above this header is portable, and every reader and writer of a library goes
// through one FileSystem, so that a test can hand the whole program a disk of its own.
// Paths are UTF-8 text on every platform (engine/base/text_encoding.h).
#pragma once

#include "engine/base/path_style.h"
#include "engine/fsys/raw_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace fsys {

#ifdef _WIN32
inline constexpr char k_sep = '\\';
#else
inline constexpr char k_sep = '/';
#endif

// The system reads a name only up to a NUL byte, so a path holding one would name some
// other file: every operation refuses it, and no file can exist under it.
inline bool is_nameable(const std::string& path)
{
    return path.find('\0') == std::string::npos;
}

// What a folder listing already told about a name.
enum class Listed { unknown, plain_file };

enum class Create { truncate, exclusive };

// Whether a file written whole is flushed to the disk before it is closed.
enum class Sync { no, yes };

// What a listing says an entry is, where the system says it without a query of its own:
// `other` for a link (a junction or other reparse point on Windows), or whatever the caller
// must ask about.
enum class EntryType { file, folder, other };
struct FolderEntry {
    std::string name;
    EntryType type = EntryType::other;
};

// What a name is, a link not followed: a link to a folder is a link, not a folder.
enum class NameKind { none, file, folder, link, other };

// Identity of a folder, so that a walk can tell whether it is already inside it.
struct FolderId {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FolderId&) const = default;
};

struct FileDigest {
    long long size = -1;
    std::string sha256;  // lower-case hex
    bool operator==(const FileDigest&) const = default;
};

// What tells one version of a file from another without reading it: its size, when its data
// last changed as finely as the system tells it, and its identity on its volume. A file written
// again, or another file put in its place, gets another stamp.
struct FileStamp {
    long long size = -1;
    long long changed = 0;  // the time of its last change, in the system's own finest steps
    std::uint64_t id = 0;
    bool operator==(const FileStamp&) const = default;
};

// The operations that change a disk, for a disk that fails them on demand.
enum class Op { write, sync, close, rename, remove, make_folder };

// How an exchange of two names went.
enum class Exchange { done, failed, unsupported };

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Opens a readable regular file. Folders, named pipes and devices are refused without
    // blocking, so the caller sees them as missing or unopenable. A name not known to be a
    // plain file is looked at before it is opened, so that opening never wakes a device;
    // one that a listing has just typed as a plain file is opened at once.
    virtual bool open_for_reading(const std::string& path, RawFile& f, Listed listed = Listed::unknown) = 0;
    // Creates (or, with Create::truncate, empties) a file for writing.
    virtual bool open_for_writing(const std::string& path, Create mode, RawFile& f) = 0;
    // Bytes read, 0 at the end of the file, -1 on a read error.
    virtual long long read_some(RawFile& f, char* buf, std::size_t size) = 0;
    virtual bool write_all(RawFile& f, const char* data, std::size_t size) = 0;
    // Moves the position of `f` to `offset` bytes from its start.
    virtual bool seek_to(RawFile& f, long long offset) = 0;
    // The size of the open file in bytes, -1 when it cannot be known.
    virtual long long file_size(RawFile& f) = 0;
    // Flushes the file's data to the disk, so that a power cut cannot leave it empty.
    virtual bool sync_to_disk(RawFile& f) = 0;
    // Closes the file; false when the system reports that written data was lost.
    virtual bool close_file(RawFile& f) = 0;

    // True when a regular file exists under `path` and can be opened for reading.
    virtual bool is_readable_file(const std::string& path) = 0;
    // True when any directory entry exists under `path` (a file, a folder, a link, even a
    // dangling one): such a name must never be written over. A name that cannot be queried
    // counts as taken.
    virtual bool entry_exists(const std::string& path) = 0;
    // What `path` names, its last name not followed when it is a link; none when nothing.
    virtual NameKind name_kind(const std::string& path) = 0;
    // True when `path` names an existing folder (links followed).
    virtual bool is_folder(const std::string& path) = 0;
    // True when `path` (links followed) names something that is neither a regular file nor a
    // folder: a pipe, a device, or a file the system makes up as it is read (Linux's /proc and
    // /sys). Decided by its type alone, never opened, so that nothing blocks and nothing is read.
    virtual bool is_special_file(const std::string& path)
    {
        (void)path;
        return false;
    }
    // Whose rules the paths of this disk follow: the system's own, or those a disk in memory
    // was given.
    virtual PathStyle path_style() const { return k_native_style; }
    // When the file `path` (links followed) last changed, in seconds since 1970 UTC; -1 when
    // it cannot be known. A collected zip dates its entries by it, so that it never depends
    // on the time of the run.
    virtual long long modified_time(const std::string& path) = 0;
    // The stamp of the file `path` (links followed); false when it cannot be known. A disk that
    // cannot tell more gives its size and modified_time.
    virtual bool stamp(const std::string& path, FileStamp& stamp);
    // False when the folder must not be entered by a walk: it cannot be queried, or it is
    // reached through a reparse point such as a junction (Windows).
    virtual bool folder_identity(const std::string& path, FolderId& id) = 0;
    // The entries of a folder with each one's type, "." and ".." left out. False when the
    // folder cannot be listed.
    virtual bool list_folder_entries(const std::string& path, std::vector<FolderEntry>& entries) = 0;

    // Renames, failing without any change when `to` exists already.
    virtual bool rename_noreplace(const std::string& from, const std::string& to) = 0;
    // Renames `from` to `to`, replacing whatever file `to` names, in one step.
    virtual bool rename_replace(const std::string& from, const std::string& to) = 0;
    // Gives the file `a` the name `b` and the file `b` the name `a` in one step: at no moment
    // is either name free, and a failure changes nothing. Unsupported where the system or the
    // file system has no such step; then renames must do.
    virtual Exchange exchange(const std::string& a, const std::string& b)
    {
        (void)a;
        (void)b;
        return Exchange::unsupported;
    }
    // Removes a file (or a link itself, never what it points to); on Windows also one of ours
    // that was given the read-only mark.
    virtual bool remove_file(const std::string& path) = 0;
    // Makes the one folder `path`, whose parent exists.
    virtual bool make_folder(const std::string& path) = 0;
    // Removes the empty folder `path`.
    virtual bool remove_folder(const std::string& path) = 0;
    // Gives `to` the protection of `from`: its permission bits on POSIX; its read-only,
    // hidden and system marks on Windows. False when either cannot be queried or changed.
    virtual bool give_protection(const std::string& from, const std::string& to) = 0;
    // True when the file `path` carries the user's mark against changes: no write permission
    // for anyone on POSIX, the read-only mark on Windows. A disk without such marks has none.
    virtual bool is_read_only(const std::string& path)
    {
        (void)path;
        return false;
    }

    // The current folder; "" when it cannot be known.
    virtual std::string current_folder() = 0;
    // `path` made absolute from the current folder, without "." components, doubled or
    // trailing separators; "" when the current folder cannot be known.
    virtual std::string absolute_path(const std::string& path) = 0;
    // The path of the existing file or folder `path` with every link (and on Windows every
    // junction) followed and no "." or ".." left; "" when it does not exist.
    virtual std::string resolved_path(const std::string& path) = 0;

    // Flushes every file of `files` to the disk: `synced[k]` tells whether files[k] was. The
    // real disks flush them all at once, so that the disk serves them together.
    virtual void sync_together(const std::vector<RawFile*>& files, std::vector<bool>& synced);
    // Starts flushing `f` to the disk without waiting for it; sync_together waits. A file
    // started must be passed to sync_together before it is closed. A disk may do nothing here
    // and flush it all in sync_together.
    virtual void start_sync(RawFile&) {}
    // True where sync_file_system flushes at once what every file written on a file system holds.
    virtual bool can_sync_file_system() const { return false; }
    // Flushes every file written on the file system that holds `path` to the disk and waits for
    // it, as sync does: many files written together reach the disk in one go, where a flush of
    // each would wait for the disk once each. False when it failed, or where it cannot be done.
    virtual bool sync_file_system(const std::string& path)
    {
        (void)path;
        return false;
    }
    using Writing = fsys::Writing;  // engine/fsys/raw_file.h
    // Runs `write` and then starts flushing what it wrote, as start_sync does; the real disks
    // do both in their flush threads, while the program goes on with the next files.
    // sync_together waits for both; a file whose writing failed is not flushed and counts as
    // not synced there. A disk without threads writes at once.
    virtual void start_write_and_sync(RawFile& f, Writing write);

    // Built on the operations above, the same on every disk.
    bool seek_to_start(RawFile& f) { return seek_to(f, 0); }
    // Makes `path` and every missing folder above it; true when it exists as a folder after.
    bool make_folders(const std::string& path);
    // Appends every byte of the file `path` to `text`; false when it cannot be read to its
    // end or holds more than `limit` bytes.
    bool read_whole_file(const std::string& path, std::string& text, std::size_t limit = std::size_t(-1));
    // Makes the file `path` (or, with Create::truncate, empties it), writes `bytes` to it,
    // flushes it to the disk with Sync::yes, and closes it. False when a step failed; a file
    // made by Create::exclusive that could not be written whole is removed again.
    bool write_file(const std::string& path, std::string_view bytes, Create mode, Sync sync = Sync::no);
    // The size and SHA-256 of the bytes of the file `path`; false when it cannot be read whole.
    bool digest_file(const std::string& path, FileDigest& digest);
    // Makes the new file `to` (Create::exclusive) with every byte of the file `from`, left open in
    // `out`. False with `reason` ("the file cannot be opened: FROM", "... made: TO", "... read:
    // FROM", "... written: TO", or "stopped" when a stop was asked for) when a step fails; `out`
    // is then open only when `to` was made.
    bool copy_into_new_file(const std::string& from, const std::string& to, RawFile& out, std::string& reason);
};

// The real disk of this machine.
FileSystem& disk();

// The bytes as lower-case hexadecimal digits.
std::string hex_digits(const unsigned char* bytes, std::size_t size);

// SHA-256 of bytes given in pieces: the system's own (OpenSSL, Windows CNG).
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    bool update(const char* data, std::size_t size);
    // The digest in lower-case hex, or "" when hashing failed.
    std::string finish();

private:
    void* m_state = nullptr;
    bool m_ok = false;
};

// Removes `path` with the system's own call alone: safe in a signal handler.
bool remove_file_at_once(const char* path);

#ifndef _WIN32
// The fallback of rename_noreplace where the system has no exclusive rename: a hard link,
// then the old name removed. Callable on its own so that the tests reach it on every system.
bool rename_by_link(const std::string& from, const std::string& to);
#endif

// A C stream on `path` with the C library's `mode`, for the few files the program itself keeps
// (answers, transcript), never a library's; nullptr when it cannot be opened.
std::FILE* open_stream(const std::string& path, const char* mode);

}  // namespace fsys
