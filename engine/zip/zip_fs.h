// A product zip seen as a read-only folder, so that the report walks its folders and reads its
// documents with the same walker and reader as a folder on the disk, without unpacking it.
// The zip `/x/PRODUCT.zip` mounted at its own path answers for `/x/PRODUCT.zip/Runtime/...`:
// entries are files and folders, folders also where only the entries' names imply them, and
// every operation that would change anything fails. Names keep their letter case as stored.
// Entries whose names are unsafe (absolute, "..", a drive, a backslash, an empty component),
// too long to unpack on Windows, or that are links are not reachable at all; package_check.h
// reports them.
#pragma once

#include "engine/fsys/fsys.h"
#include "engine/zip/zip_entries.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zipfs {

// True when `path` is `point` or lies below it (on Windows letter case ignored in `point`, and
// '/' taken as a separator too); `below` is then the rest with '/' between names ("" for the
// point itself).
bool is_at_or_below(std::string_view path, std::string_view point, std::string* below = nullptr);

class ZipFileSystem : public fsys::FileSystem {
public:
    // Opens the zip `zip_path` of `base` (which must outlive this) and mounts it at
    // `mount_point` (an absolute path, normally `zip_path` itself); null with `reason` when the
    // zip cannot be read.
    static std::unique_ptr<ZipFileSystem> open(fsys::FileSystem& base, const std::string& zip_path,
                                               const std::string& mount_point, std::string& reason);
    ~ZipFileSystem() override;

    const std::string& mount_point() const { return m_mount_point; }
    // Why the last read of the open file `f` failed: the entry is a bomb, lies about its size,
    // fails its checksum, is encrypted; "" when it has not failed.
    std::string read_failure(const fsys::RawFile& f);
    // How many archive handles are open now (one per entry being read at once, and a few idle).
    std::size_t open_handles();

    bool open_for_reading(const std::string& path, fsys::RawFile& f, fsys::Listed listed = fsys::Listed::unknown) override;
    bool open_for_writing(const std::string& path, fsys::Create mode, fsys::RawFile& f) override;
    long long read_some(fsys::RawFile& f, char* buf, std::size_t size) override;
    bool write_all(fsys::RawFile& f, const char* data, std::size_t size) override;
    bool seek_to(fsys::RawFile& f, long long offset) override;
    long long file_size(fsys::RawFile& f) override;
    bool sync_to_disk(fsys::RawFile& f) override;
    bool close_file(fsys::RawFile& f) override;
    bool is_readable_file(const std::string& path) override;
    bool entry_exists(const std::string& path) override;
    fsys::NameKind name_kind(const std::string& path) override;
    bool is_folder(const std::string& path) override;
    long long modified_time(const std::string& path) override;
    bool folder_identity(const std::string& path, fsys::FolderId& id) override;
    bool list_folder_entries(const std::string& path, std::vector<fsys::FolderEntry>& entries) override;
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
    // A name below the mount point: a file entry, or a folder with its listing. Nodes hold
    // their own name alone, so that the tree takes no more memory than the names themselves,
    // however deep a hostile name goes.
    struct Node {
        bool folder = false;
        std::size_t entry = 0;  // into m_entries, for a file
        std::unordered_map<std::string, std::size_t> children;  // by name, into m_nodes
        std::vector<fsys::FolderEntry> listing;                 // sorted by name
    };
    struct OpenEntry;

    ZipFileSystem(fsys::FileSystem& base, std::string zip_path, std::string mount_point);
    void build_tree();
    // The child folder `name` of the folder m_nodes[parent], made when missing; its index.
    std::size_t child_folder(std::size_t parent, std::string_view name);
    // The node of `path`, or null; `index` its index in m_nodes.
    const Node* find(const std::string& path, std::size_t* index = nullptr) const;
    ZipHandle take_handle();
    void give_back(ZipHandle handle);
    OpenEntry* open_entry(const fsys::RawFile& f);

    fsys::FileSystem& m_base;
    const std::string m_zip_path;
    const std::string m_mount_point;
    const std::uint64_t m_volume;
    std::vector<ZipEntry> m_entries;
    std::vector<Node> m_nodes;  // the mount point's folder first

    // libzip's archive handles are not safe for two threads at once: each entry being read has
    // one of its own, taken from the idle ones or opened anew, and given back when it closes.
    std::mutex m_mutex;
    std::vector<ZipHandle> m_idle;
    std::size_t m_handles = 0;
    std::map<std::intptr_t, std::unique_ptr<OpenEntry>> m_open;
    std::intptr_t m_next_file = 1;
};

}  // namespace zipfs
