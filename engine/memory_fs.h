// A disk held in memory, behind the same interface as the real one: the tests run the whole
// program on it (links and junctions, Windows letter case and device names, read-only files,
// folders that cannot change, files another program holds open, any operation failing on
// demand) in milliseconds, and a dry run writes its corrected copies to it instead of to the
// library. Paths use the program's own separator (fsys::k_sep); an absolute path starts with
// it, or (Windows rules) with a drive letter, a colon and the separator.
#pragma once

#include "engine/fsys.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace fsys {

// Whose rules the disk follows. POSIX: names compared exactly, symbolic links to files and
// folders, permission bits. Windows: letter case ignored (ASCII) but kept as first written,
// device names (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any extension) in every folder,
// read-only files, junctions (links to folders, listed and refused as reparse points), and a
// file held open by another program that cannot be renamed or removed.
enum class DiskRules { posix, windows };
#ifdef _WIN32
inline constexpr DiskRules k_native_rules = DiskRules::windows;
#else
inline constexpr DiskRules k_native_rules = DiskRules::posix;
#endif

class MemoryFileSystem : public FileSystem {
public:
    // An empty disk whose current folder is `current` (made, with the folders above it).
    explicit MemoryFileSystem(DiskRules rules = k_native_rules, const std::string& current = std::string(1, k_sep));
    ~MemoryFileSystem() override;
    MemoryFileSystem(const MemoryFileSystem&) = delete;
    MemoryFileSystem& operator=(const MemoryFileSystem&) = delete;

    // Setting up (never failed on demand): a file with exactly these bytes, its folders made;
    // a folder; a link at `path` to `target` (as a link holds it: relative to the link's
    // folder, or absolute).
    void add_file(const std::string& path, const std::string& bytes);
    void add_folder(const std::string& path);
    void add_link(const std::string& path, const std::string& target);
    // The bytes of the file `path` (links followed), or "<missing>".
    std::string bytes(const std::string& path) const;
    // Every regular file below `folder` (links not followed) with its bytes, by path.
    std::map<std::string, std::string> files_below(const std::string& folder) const;
    // Every entry below `folder`, folders ending in the separator, links as "path -> target".
    std::vector<std::string> tree(const std::string& folder) const;

    // Windows: the read-only mark. POSIX: no write permission for anyone.
    void set_read_only(const std::string& path, bool read_only);
    // A folder whose entries cannot be added, renamed or removed (not writable, on POSIX; on
    // Windows a folder the user has no rights to change).
    void set_folder_locked(const std::string& path, bool locked);
    // Another program holds the file open: on Windows it can be read but neither renamed,
    // replaced nor removed. POSIX ignores it, as POSIX does.
    void hold_open(const std::string& path, bool held);
    // The current folder, for relative paths.
    void set_current_folder(const std::string& path);

    // Asked before each operation that changes the disk; when it returns true the operation
    // fails as if the disk had refused it, changing nothing.
    using FailWhen = std::function<bool(Op op, const std::string& path)>;
    void fail_when(FailWhen when);
    // How many times each file was flushed to the disk.
    int syncs(const std::string& path) const;

    bool open_for_reading(const std::string& path, RawFile& f, Listed listed = Listed::unknown) override;
    bool open_for_writing(const std::string& path, Create mode, RawFile& f) override;
    long long read_some(RawFile& f, char* buf, std::size_t size) override;
    bool write_all(RawFile& f, const char* data, std::size_t size) override;
    bool seek_to(RawFile& f, long long offset) override;
    long long file_size(RawFile& f) override;
    bool sync_to_disk(RawFile& f) override;
    bool close_file(RawFile& f) override;
    bool is_readable_file(const std::string& path) override;
    bool entry_exists(const std::string& path) override;
    NameKind name_kind(const std::string& path) override;
    bool is_folder(const std::string& path) override;
    bool folder_identity(const std::string& path, FolderId& id) override;
    bool list_folder_entries(const std::string& path, std::vector<FolderEntry>& entries) override;
    bool rename_noreplace(const std::string& from, const std::string& to) override;
    bool rename_replace(const std::string& from, const std::string& to) override;
    bool remove_file(const std::string& path) override;
    bool make_folder(const std::string& path) override;
    bool remove_folder(const std::string& path) override;
    bool give_protection(const std::string& from, const std::string& to) override;
    std::string current_folder() override;
    std::string absolute_path(const std::string& path) override;
    std::string resolved_path(const std::string& path) override;

private:
    struct Disk;
    std::unique_ptr<Disk> m_disk;
};

}  // namespace fsys
