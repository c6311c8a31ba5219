// A disk held in memory, behind the same interface as the real one: the tests run the whole
// program on it (links and junctions, Windows letter case and device names, read-only files,
// folders that cannot change, files another program holds open, any operation failing on
// demand) in milliseconds, and a dry run writes its corrected copies to it instead of to the
// library. Paths use the program's own separator (fsys::k_sep); an absolute path starts with
// it, or (Windows rules) with a drive letter, a colon and the separator.
//
// Where the interface leaves a choice, this disk reads paths as follows:
// - Windows rules take '\' and '/' alike as separators, on every build; the paths this disk
//   returns use k_sep. Drive letters come back upper-case.
// - This disk keeps one current folder, not one per drive: "C:" and "C:x" are read from the top
//   folder of C:, as the program's walks read a bare drive. A drive exists once something has
//   been set up on it; the current one is C: to begin with. Network paths (\\server\share)
//   name nothing here.
// - Windows rules drop the trailing dots and spaces of a name, as Win32 does, and cannot look
//   up a name holding a control character or one of <>:"|?* (entry_exists counts it as taken).
// - absolute_path keeps ".." with POSIX rules (a link may stand before it) and takes it away
//   with Windows rules, as GetFullPathNameW does.
// - A device name counts only in a folder that exists; resolved_path gives "" for it.
// - To Windows a junction is a folder: remove_folder takes it away (never what it leads to),
//   remove_file and rename_replace onto it are refused. No rename moves a name to another drive.
// - A setup helper changes nothing where a file stands in the way of its path.
#pragma once

#include "engine/fsys/disk_rules.h"
#include "engine/fsys/fsys.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace fsys {

struct MemoryDisk;


class MemoryFileSystem : public FileSystem {
public:
    // An empty disk whose current folder is `current` (made, with the folders above it).
    explicit MemoryFileSystem(DiskRules rules = k_native_rules, const std::string& current = std::string(1, k_sep));
    ~MemoryFileSystem() override;
    MemoryFileSystem(const MemoryFileSystem&) = delete;
    MemoryFileSystem& operator=(const MemoryFileSystem&) = delete;

    // Setting up (never failed on demand): a file with exactly these bytes, its folders made,
    // changed at k_setup_time unless set_modified_time says otherwise (a file the program
    // writes is changed at the time it writes); a folder; a link at `path` to `target` (as a
    // link holds it: relative to the link's folder, or absolute).
    static constexpr long long k_setup_time = 1704067200;  // 2024-01-01 00:00 UTC
    void add_file(const std::string& path, const std::string& bytes);
    void set_modified_time(const std::string& path, long long seconds);
    void add_folder(const std::string& path);
    void add_link(const std::string& path, const std::string& target);
    // The bytes of the file `path` (links followed), or "<missing>".
    std::string bytes(const std::string& path) const;
    // Every regular file below `folder` (links not followed) with its bytes, by path.
    std::map<std::string, std::string> files_below(const std::string& folder) const;
    // Every entry below `folder`, folders ending in the separator, links as "path -> target".
    // Both give full paths: absolute_path(folder), then the names as stored; a folder before
    // its entries, entries in the order list_folder_entries gives them.
    std::vector<std::string> tree(const std::string& folder) const;

    // Windows: the read-only mark. POSIX: no write permission for anyone.
    // A POSIX folder without write permission is locked (below); a Windows folder with the
    // mark cannot be removed, but its entries can change.
    void set_read_only(const std::string& path, bool read_only);
    // A folder whose entries cannot be added, renamed or removed (not writable, on POSIX; on
    // Windows a folder the user has no rights to change).
    void set_folder_locked(const std::string& path, bool locked);
    // Another program holds the file open: on Windows it can be read but neither renamed,
    // replaced nor removed. POSIX ignores it, as POSIX does.
    // Windows rules also refuse to open it for writing (the usual sharing violation), to rename
    // a folder holding it, and treat a file this disk has open for reading the same way: the
    // program's own layer opens without FILE_SHARE_DELETE. Its writers share deletion, so a file
    // open for writing can go; two writers of one file cannot both have it.
    void hold_open(const std::string& path, bool held);
    // The current folder, for relative paths.
    // Made like add_folder. POSIX rules keep the folder reached, links followed, as getcwd()
    // tells it; Windows rules keep the path as given.
    void set_current_folder(const std::string& path);

    // Asked before each operation that changes the disk; when it returns true the operation
    // fails as if the disk had refused it, changing nothing.
    // `path` is the path as the caller gave it: the file's as opened, a rename's `from`. It is
    // asked outside the disk's lock, so it may look at the disk itself.
    using FailWhen = fsys::FailWhen;
    void fail_when(FailWhen when);
    // Called before each operation of the program on this disk, reads and queries included, with
    // the path it names (an open file's path, a rename's `from`), outside the disk's lock: a test
    // changes a file there at the step it means to, as another program could. Setting up is no step.
    void before_each_step(std::function<void(const std::string& path)> step);
    // Called as a disk ends with files the program opened on it and never closed, each one a
    // handle it lost (a real disk holds them until the program ends); tests fail on it.
    static void when_files_left_open(std::function<void(std::size_t open)> call);
    // Called as the program renames a file it wrote and has not flushed since: after a crash the
    // name could stand for a file whose bytes never reached the disk; tests fail on it.
    static void when_renamed_unflushed(std::function<void(const std::string& from, const std::string& to)> call);
    // How many times each file was flushed to the disk: the syncs that succeeded on files opened
    // under `path` (the same file by its absolute path; letter case ignored with Windows rules).
    int syncs(const std::string& path) const;
    // Every path the program gave this disk, as given, in order: each file opened, each name
    // looked at, listed, made, renamed or removed (the setup helpers above not counted), so
    // that a test can tell that a path never reached the disk at all.
    std::vector<std::string> paths_asked() const;

    bool open_for_reading(const std::string& path, RawFile& f, Listed listed = Listed::unknown) override;
    bool open_for_writing(const std::string& path, Create mode, RawFile& f) override;
    long long read_some(RawFile& f, char* buf, std::size_t size) override;
    bool write_all(RawFile& f, const char* data, std::size_t size) override;
    bool seek_to(RawFile& f, long long offset) override;
    long long file_size(RawFile& f) override;
    bool sync_to_disk(RawFile& f) override;
    // Flushes every file written on this disk; the program asks it only where can_sync_file_system says so.
    bool sync_file_system(const std::string& path) override;
    bool close_file(RawFile& f) override;
    bool is_readable_file(const std::string& path) override;
    bool entry_exists(const std::string& path) override;
    NameKind name_kind(const std::string& path) override;
    bool is_folder(const std::string& path) override;
    // A device name of Windows; nothing else on this disk is special.
    bool is_special_file(const std::string& path) override;
    PathStyle path_style() const override;
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
    bool rename_entry(const std::string& from, const std::string& to, bool replace);
    bool remove_entry(const std::string& path, bool folder);

    // The nodes, the path rules and the lookup (memory_disk.h).
    std::unique_ptr<MemoryDisk> m_disk;
};

}  // namespace fsys
