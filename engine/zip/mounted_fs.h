// One FileSystem over the disk and the zips mounted on it: every path at or below a mount point
// goes to the zip mounted there (the deepest when mounts nest), every other path to the disk,
// so that one resolver can hold roots inside and outside a product zip at once.
#pragma once

#include "engine/zip/zip_fs.h"

#include <memory>
#include <string>
#include <vector>

namespace zipfs {

class MountedFileSystem : public fsys::FileSystem {
public:
    // `base` (the disk) must outlive this.
    explicit MountedFileSystem(fsys::FileSystem& base);
    ~MountedFileSystem() override;

    // Answers for the paths at and below zip->mount_point() from now on.
    void mount(std::unique_ptr<ZipFileSystem> zip);
    // The zip that answers for `path`, or null when the disk does.
    ZipFileSystem* zip_at(const std::string& path);
    // Why the last read of `f` failed, when a zip answers for it; "" otherwise.
    std::string read_failure(const fsys::RawFile& f);

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
    bool is_special_file(const std::string& path) override;
    PathStyle path_style() const override { return m_base.path_style(); }
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
    fsys::FileSystem& route(const std::string& path);
    // An open file belongs to the file system that opened it: its path says which.
    fsys::FileSystem& route(const fsys::RawFile& f) { return route(f.path); }
    // True when both paths are answered by the same file system.
    bool same_side(const std::string& a, const std::string& b);

    fsys::FileSystem& m_base;
    std::vector<std::unique_ptr<ZipFileSystem>> m_zips;
};

}  // namespace zipfs
