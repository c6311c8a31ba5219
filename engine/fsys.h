// The few file-system operations the engine needs, with the same meaning on every platform.
// fsys-posix.cpp and fsys-win32.cpp implement them; everything above this header is portable.
// Paths are UTF-8 text on every platform (engine/text_encoding.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace fsys {

#ifdef _WIN32
inline constexpr char k_sep = '\\';
#else
inline constexpr char k_sep = '/';
#endif

// An open file: a descriptor on POSIX, a HANDLE on Windows; -1 when closed.
struct RawFile {
    std::intptr_t handle = -1;
    std::string path;
    bool is_open() const { return handle != -1; }
};

// The system reads a name only up to a NUL byte, so a path holding one would name some
// other file: every operation below refuses it, and no file can exist under it.
inline bool is_nameable(const std::string& path)
{
    return path.find('\0') == std::string::npos;
}

// What a folder listing already told about a name.
enum class Listed { unknown, plain_file };

// Opens a readable regular file. Folders, named pipes and devices are refused without
// blocking, so the caller sees them as missing or unopenable. A name not known to be a
// plain file is looked at before it is opened, so that opening never wakes a device;
// one that a listing has just typed as a plain file is opened at once, which spares a
// whole look-up of its path on every file of a library.
bool open_for_reading(const std::string& path, RawFile& f, Listed listed = Listed::unknown);

enum class Create { truncate, exclusive };
// Creates (or, with Create::truncate, empties) a file for writing.
bool open_for_writing(const std::string& path, Create mode, RawFile& f);

// Bytes read, 0 at the end of the file, -1 on a read error.
long long read_some(RawFile& f, char* buf, std::size_t size);
bool write_all(RawFile& f, const char* data, std::size_t size);
bool seek_to_start(RawFile& f);
// Flushes the file's data to the disk, so that a power cut cannot leave it empty.
bool sync_to_disk(RawFile& f);
// Closes the file; false when the system reports that written data was lost.
bool close_file(RawFile& f);

// Appends every byte of the file `path` to `text`; false when it cannot be read to its end
// or holds more than `limit` bytes.
bool read_whole_file(const std::string& path, std::string& text, std::size_t limit = std::size_t(-1));

// True when a regular file exists under `path` and can be opened for reading.
bool is_readable_file(const std::string& path);
// True when any directory entry exists under `path` (a file, a folder, a link, even a
// dangling one): such a name must never be written over.
bool entry_exists(const std::string& path);
// Renames, failing without any change when `to` exists already.
bool rename_noreplace(const std::string& from, const std::string& to);
#ifndef _WIN32
// Its fallback where the system has no exclusive rename: a hard link, then the old name
// removed. Callable on its own so that the tests reach it on every system.
bool rename_by_link(const std::string& from, const std::string& to);
#endif
// Removes a file; on Windows also one of ours that was given the read-only mark.
bool remove_file(const std::string& path);
// Removes `path` with the system's own call alone: safe in a signal handler.
bool remove_file_at_once(const char* path);
// Gives `to` the protection of `from`: its permission bits on POSIX; its read-only, hidden
// and system marks on Windows. False when either cannot be queried or changed.
bool give_protection(const std::string& from, const std::string& to);
// True when `path` names an existing folder (links followed).
bool is_folder(const std::string& path);

// The current folder; "" when it cannot be known.
std::string current_folder();

// `path` made absolute from the current folder, without "." components, doubled or
// trailing separators; "" when the current folder cannot be known.
std::string absolute_path(const std::string& path);
// The path of the existing file or folder `path` with every link followed and no "." or ".."
// left; "" when it does not exist.
std::string resolved_path(const std::string& path);

// Identity of a folder, so that a walk can tell whether it is already inside it.
struct FolderId {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FolderId&) const = default;
};
// False when the folder must not be entered by a walk (it cannot be queried, or on
// Windows it is a reparse point such as a junction).
bool folder_identity(const std::string& path, FolderId& id);

// What a listing says an entry is, where the system says it without a query of its own:
// `other` for a link, or whatever the caller must ask about.
enum class EntryType { file, folder, other };
struct FolderEntry {
    std::string name;
    EntryType type = EntryType::other;
};
// The entries of a folder with each one's type, "." and ".." left out, in the order the
// system yields them. False when the folder cannot be listed.
bool list_folder_entries(const std::string& path, std::vector<FolderEntry>& entries);

// A C stream on `path` with the C library's `mode`, for the few files read and written
// through it (answers, transcript); nullptr when it cannot be opened.
std::FILE* open_stream(const std::string& path, const char* mode);

// Test support: a hook asked before each operation that changes the disk; when it returns
// true the operation fails as if the disk had refused it. Unset in the programs.
enum class Op { write, sync, close, rename, remove };
using FaultHook = std::function<bool(Op op, const std::string& path)>;
void set_fault_hook(FaultHook hook);
bool fault_injected(Op op, const std::string& path);

}  // namespace fsys
