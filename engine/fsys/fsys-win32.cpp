// The real disk on Windows: the wide-character Win32 file functions directly, no C stdio, so
// that the text rules and the error checks are ours and the same on every platform, and so
// that any name Windows allows can be reached, whatever the ANSI code page.
#include "engine/fsys/flush_workers.h"
#include "engine/fsys/fsys.h"

#include "engine/base/text_encoding.h"

#include <windows.h>

namespace fsys {
namespace {

HANDLE handle_of(const RawFile& f)
{
    return reinterpret_cast<HANDLE>(f.handle);
}

void take(RawFile& f, HANDLE h, const std::string& path)
{
    f.handle = reinterpret_cast<std::intptr_t>(h);
    f.path = path;
}

// A disk file, not a folder, a pipe or a device such as CON or COM1 that a Poser file
// name could be mistaken for.
bool is_regular_disk_file(HANDLE h)
{
    if (GetFileType(h) != FILE_TYPE_DISK) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileInformationByHandle(h, &info) != 0 && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The folder that `folder` names for a walk. A bare drive ("C:") is the drive's top folder,
// whose entries the walk lists, not the current folder of that drive as Windows reads it.
std::string walked_folder(const std::string& folder)
{
    if (is_bare_drive(folder)) {
        return folder + '\\';
    }
    return folder;
}

// A final path as Windows gives it (\\?\C:\x, \\?\UNC\server\share\x) in the form the program
// spells paths (C:\x, \\server\share\x).
std::wstring without_final_path_prefix(const std::wstring& path)
{
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        return L"\\" + path.substr(7);
    }
    if (path.rfind(L"\\\\?\\", 0) == 0) {
        return path.substr(4);
    }
    return path;
}

// The pattern that lists every entry of the folder a walk names `folder`.
std::string listing_pattern(const std::string& folder)
{
    std::string pattern = walked_folder(folder);
    if (pattern.empty() || (pattern.back() != '\\' && pattern.back() != '/')) {
        pattern += '\\';
    }
    pattern += '*';
    return pattern;
}

class Win32FileSystem : public FileSystem {
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
    bool close_file(RawFile& f) override;
    bool is_readable_file(const std::string& path) override;
    bool entry_exists(const std::string& path) override;
    NameKind name_kind(const std::string& path) override;
    bool is_folder(const std::string& path) override;
    long long modified_time(const std::string& path) override;
    bool stamp(const std::string& path, FileStamp& stamp) override;
    bool folder_identity(const std::string& path, FolderId& id) override;
    bool list_folder_entries(const std::string& path, std::vector<FolderEntry>& entries) override;
    bool rename_noreplace(const std::string& from, const std::string& to) override;
    bool rename_replace(const std::string& from, const std::string& to) override;
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

// This side always opens first and checks the handle's type after, so what a listing
// told changes nothing.
bool Win32FileSystem::open_for_reading(const std::string& path, RawFile& f, Listed)
{
    if (!is_nameable(path)) {
        return false;
    }
    // Other programs may read and write the file meanwhile, as with the C library's "r".
    // Without FILE_FLAG_BACKUP_SEMANTICS a folder cannot be opened at all.
    HANDLE h = CreateFileW(to_wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    if (!is_regular_disk_file(h)) {
        CloseHandle(h);
        return false;
    }
    take(f, h, path);
    return true;
}

bool Win32FileSystem::open_for_writing(const std::string& path, Create mode, RawFile& f)
{
    if (!is_nameable(path)) {
        return false;
    }
    DWORD disposition = mode == Create::exclusive ? CREATE_NEW : CREATE_ALWAYS;
    // FILE_SHARE_DELETE: an exit that cannot wait may delete an unfinished copy while it is
    // open; it goes when the handle closes.
    HANDLE h = CreateFileW(to_wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return false;
    }
    take(f, h, path);
    return true;
}

long long Win32FileSystem::read_some(RawFile& f, char* buf, std::size_t size)
{
    DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD got = 0;
    if (!ReadFile(handle_of(f), buf, want, &got, nullptr)) {
        return -1;
    }
    return got;
}

bool Win32FileSystem::write_all(RawFile& f, const char* data, std::size_t size)
{
    while (size > 0) {
        DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD done = 0;
        if (!WriteFile(handle_of(f), data, want, &done, nullptr) || done == 0) {
            return false;
        }
        data += done;
        size -= done;
    }
    return true;
}

bool Win32FileSystem::seek_to(RawFile& f, long long offset)
{
    LARGE_INTEGER at{};
    at.QuadPart = offset;
    return SetFilePointerEx(handle_of(f), at, nullptr, FILE_BEGIN) != 0;
}

long long Win32FileSystem::file_size(RawFile& f)
{
    LARGE_INTEGER size{};
    return GetFileSizeEx(handle_of(f), &size) != 0 ? static_cast<long long>(size.QuadPart) : -1;
}

bool Win32FileSystem::sync_to_disk(RawFile& f)
{
    // A closed file's handle would be the process's own, which is no file to flush.
    return f.is_open() && FlushFileBuffers(handle_of(f)) != 0;
}

bool Win32FileSystem::close_file(RawFile& f)
{
    if (!f.is_open()) {
        return true;
    }
    BOOL ok = CloseHandle(handle_of(f));
    f.handle = -1;
    return ok != 0;
}

bool Win32FileSystem::is_readable_file(const std::string& path)
{
    if (!is_nameable(path)) {
        return false;
    }
    RawFile f;
    if (!open_for_reading(path, f, Listed::unknown)) {
        return false;
    }
    CloseHandle(handle_of(f));
    return true;
}

bool Win32FileSystem::entry_exists(const std::string& path)
{
    if (!is_nameable(path)) {
        return false;
    }
    if (GetFileAttributesW(to_wide(path).c_str()) != INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    // Only a clear "not there" counts as free: a name that cannot be queried (access
    // denied, a drive not ready, an invalid name) may still be somebody's file.
    DWORD err = GetLastError();
    return err != ERROR_FILE_NOT_FOUND && err != ERROR_PATH_NOT_FOUND;
}

bool Win32FileSystem::rename_noreplace(const std::string& from, const std::string& to)
{
    if (!is_nameable(from) || !is_nameable(to)) {
        return false;
    }
    // Without MOVEFILE_REPLACE_EXISTING the move fails when `to` exists, and without
    // MOVEFILE_COPY_ALLOWED it never turns into a copy across drives.
    return MoveFileExW(to_wide(from).c_str(), to_wide(to).c_str(), 0) != 0;
}

bool Win32FileSystem::remove_file(const std::string& path)
{
    if (!is_nameable(path)) {
        return false;
    }
    if (DeleteFileW(to_wide(path).c_str())) {
        return true;
    }
    // A corrected copy given the read-only mark of the file it replaces is still the
    // program's own to remove.
    const DWORD a = GetFileAttributesW(to_wide(path).c_str());
    const DWORD writable = a & ~FILE_ATTRIBUTE_READONLY;
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) != 0 &&
           SetFileAttributesW(to_wide(path).c_str(), writable != 0 ? writable : FILE_ATTRIBUTE_NORMAL) &&
           DeleteFileW(to_wide(path).c_str()) != 0;
}

NameKind Win32FileSystem::name_kind(const std::string& path)
{
    if (!is_nameable(path)) {
        return NameKind::none;
    }
    const DWORD a = GetFileAttributesW(to_wide(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) {
        return NameKind::none;
    }
    // A junction, a symbolic link or any other reparse point is a link: never entered or
    // deleted through.
    return (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? NameKind::link
           : (a & FILE_ATTRIBUTE_DIRECTORY) != 0   ? NameKind::folder
                                                   : NameKind::file;
}

bool Win32FileSystem::rename_replace(const std::string& from, const std::string& to)
{
    return is_nameable(from) && is_nameable(to) &&
           MoveFileExW(to_wide(from).c_str(), to_wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool Win32FileSystem::make_folder(const std::string& path)
{
    return is_nameable(path) && CreateDirectoryW(to_wide(path).c_str(), nullptr) != 0;
}

bool Win32FileSystem::remove_folder(const std::string& path)
{
    return is_nameable(path) && RemoveDirectoryW(to_wide(path).c_str()) != 0;
}

bool remove_file_at_once(const char* path)
{
    return DeleteFileW(to_wide(path).c_str()) != 0;
}

bool Win32FileSystem::is_read_only(const std::string& path)
{
    const DWORD marks = is_nameable(path) ? GetFileAttributesW(to_wide(path).c_str()) : INVALID_FILE_ATTRIBUTES;
    return marks != INVALID_FILE_ATTRIBUTES && (marks & FILE_ATTRIBUTE_READONLY) != 0;
}

bool Win32FileSystem::give_protection(const std::string& from, const std::string& to)
{
    if (!is_nameable(from) || !is_nameable(to)) {
        return false;
    }
    const DWORD marks = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const DWORD old_file = GetFileAttributesW(to_wide(from).c_str());
    const DWORD copy = GetFileAttributesW(to_wide(to).c_str());
    if (old_file == INVALID_FILE_ATTRIBUTES || copy == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    const DWORD given = (copy & ~(marks | FILE_ATTRIBUTE_NORMAL)) | (old_file & marks);
    return SetFileAttributesW(to_wide(to).c_str(), given != 0 ? given : FILE_ATTRIBUTE_NORMAL) != 0;
}

bool Win32FileSystem::is_folder(const std::string& path)
{
    if (!is_nameable(path)) {
        return false;
    }
    DWORD attributes = GetFileAttributesW(to_wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

long long Win32FileSystem::modified_time(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!is_nameable(path) || GetFileAttributesExW(to_wide(path).c_str(), GetFileExInfoStandard, &data) == 0) {
        return -1;
    }
    // 100-nanosecond steps since 1601, the Windows epoch, 11,644,473,600 seconds before 1970's.
    const unsigned long long steps =
        (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return static_cast<long long>(steps / 10000000ULL) - 11644473600LL;
}

bool Win32FileSystem::stamp(const std::string& path, FileStamp& stamp)
{
    if (!is_nameable(path)) {
        return false;
    }
    // No access asked: the stamp of a file another program holds open is still known.
    HANDLE h = CreateFileW(to_wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(h, &info) != 0 && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    CloseHandle(h);
    if (!ok) {
        return false;
    }
    const auto joined = [](DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; };
    stamp = FileStamp{static_cast<long long>(joined(info.nFileSizeHigh, info.nFileSizeLow)),
                      static_cast<long long>(joined(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime)),
                      joined(info.nFileIndexHigh, info.nFileIndexLow) ^ (static_cast<std::uint64_t>(info.dwVolumeSerialNumber) << 40)};
    return true;
}

std::string Win32FileSystem::current_folder()
{
    DWORD needed = GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(needed, L'\0');
    DWORD n = GetCurrentDirectoryW(needed, folder.data());
    folder.resize(n < needed ? n : 0);
    return to_utf8(folder);
}

std::string Win32FileSystem::absolute_path(const std::string& path)
{
    // GetFullPathNameW also drops "." components and doubled separators, as Windows reads them.
    const std::wstring name = to_wide(path);
    DWORD needed = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return std::string();
    }
    std::wstring full(needed, L'\0');
    DWORD n = GetFullPathNameW(name.c_str(), needed, full.data(), nullptr);
    full.resize(n < needed ? n : 0);
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) {
        full.pop_back();
    }
    return to_utf8(full);
}

std::string Win32FileSystem::resolved_path(const std::string& path)
{
    if (!is_nameable(path)) {
        return std::string();
    }
    // The path Windows itself reaches through every junction and link on the way, so that a
    // junction inside a root cannot make a file outside it pass for one below it.
    HANDLE h = CreateFileW(to_wide(walked_folder(path)).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return std::string();
    }
    std::wstring final_path(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(h, final_path.data(), static_cast<DWORD>(final_path.size()), FILE_NAME_NORMALIZED);
    if (n >= final_path.size()) {
        final_path.resize(n + 1);
        n = GetFinalPathNameByHandleW(h, final_path.data(), static_cast<DWORD>(final_path.size()), FILE_NAME_NORMALIZED);
    }
    CloseHandle(h);
    if (n == 0 || n >= final_path.size()) {
        return std::string();
    }
    final_path.resize(n);
    return to_utf8(without_final_path_prefix(final_path));
}

bool Win32FileSystem::folder_identity(const std::string& path, FolderId& id)
{
    // The name's own attributes first: a handle opened on a link does not always tell (wine
    // opens what a POSIX link leads to).
    if (!is_nameable(path) || name_kind(path) == NameKind::link) {
        return false;
    }
    // FILE_FLAG_OPEN_REPARSE_POINT: the attributes below are those of the entry itself, so
    // a junction or a folder link is seen as such and never followed.
    // The folder the walk lists under this name, so that the loop check compares like with like.
    const std::string folder = walked_folder(path);
    HANDLE h = CreateFileW(to_wide(folder).c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (!ok || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return false;
    }
    id.volume = info.dwVolumeSerialNumber;
    id.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool Win32FileSystem::list_folder_entries(const std::string& path, std::vector<FolderEntry>& entries)
{
    // A folder name never holds wildcards; a path that does would list other folders'
    // entries under this one's name.
    if (!is_nameable(path) || path.find_first_of("*?") != std::string::npos) {
        return false;
    }
    WIN32_FIND_DATAW entry;
    HANDLE h = FindFirstFileW(to_wide(listing_pattern(path)).c_str(), &entry);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    entries.clear();
    do {
        const std::string name = to_utf8(entry.cFileName);
        if (name == "." || name == "..") {
            continue;
        }
        const DWORD a = entry.dwFileAttributes;
        // A reparse point (a junction, a link) is for the caller to look at.
        EntryType type = (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? EntryType::other
                         : (a & FILE_ATTRIBUTE_DIRECTORY) != 0  ? EntryType::folder
                                                                : EntryType::file;
        entries.push_back(FolderEntry{name, type});
    } while (FindNextFileW(h, &entry));
    // A listing cut short by an error is not the folder's content.
    bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(h);
    return complete;
}

FileSystem& disk()
{
    // Holds nothing but the threads that flush a batch: every call goes to the system.
    static Win32FileSystem the_disk;
    return the_disk;
}

std::FILE* open_stream(const std::string& path, const char* mode)
{
    return is_nameable(path) ? _wfopen(to_wide(path).c_str(), to_wide(mode).c_str()) : nullptr;
}

}  // namespace fsys
