// The disk as it will be once a file or folder has moved, for a resolver to find references
// on before anything moves: nothing at or below the old place, and at and below the new place
// what lies at and below the old one now; the folders above the new place that are still to
// be made show as folders. Only what a resolver asks is answered (listings, whether a file can
// be read, where a path really leads); the view changes nothing and opens nothing.
#pragma once

#include "engine/fsys/fsys.h"

#include <string>
#include <vector>

class MovedView : public fsys::FileSystem {
public:
    // `from` moves to `to`: both absolute, spelt as the roots are; `to` does not exist yet, or is
    // `from` itself with letters in another case. `disk` must outlive the view.
    MovedView(fsys::FileSystem& disk, std::string from, std::string to);

    bool is_readable_file(const std::string& path) override;
    bool list_folder_entries(const std::string& path, std::vector<fsys::FolderEntry>& entries) override;
    std::string resolved_path(const std::string& path) override;
    std::string absolute_path(const std::string& path) override { return m_disk.absolute_path(path); }
    std::string current_folder() override { return m_disk.current_folder(); }
    PathStyle path_style() const override { return m_disk.path_style(); }

    // Nothing else is asked of a view: it reads no file and changes nothing.
    bool open_for_reading(const std::string&, fsys::RawFile&, fsys::Listed) override { return false; }
    bool open_for_writing(const std::string&, fsys::Create, fsys::RawFile&) override { return false; }
    long long read_some(fsys::RawFile&, char*, std::size_t) override { return -1; }
    bool write_all(fsys::RawFile&, const char*, std::size_t) override { return false; }
    bool seek_to(fsys::RawFile&, long long) override { return false; }
    long long file_size(fsys::RawFile&) override { return -1; }
    bool sync_to_disk(fsys::RawFile&) override { return false; }
    bool close_file(fsys::RawFile&) override { return false; }
    bool entry_exists(const std::string& path) override { return is_readable_file(path); }
    fsys::NameKind name_kind(const std::string& path) override;
    bool is_folder(const std::string&) override { return false; }
    long long modified_time(const std::string&) override { return -1; }
    bool folder_identity(const std::string&, fsys::FolderId&) override { return false; }
    bool rename_noreplace(const std::string&, const std::string&) override { return false; }
    bool rename_replace(const std::string&, const std::string&) override { return false; }
    bool remove_file(const std::string&) override { return false; }
    bool make_folder(const std::string&) override { return false; }
    bool remove_folder(const std::string&) override { return false; }
    bool give_protection(const std::string&, const std::string&) override { return false; }

private:
    // Where `path` lies on the disk today: below `from` for a path below `to`; "" for a path
    // at or below `from`, which the move empties.
    std::string on_disk(const std::string& path) const;

    fsys::FileSystem& m_disk;
    std::string m_from;
    std::string m_to;
    std::string m_from_real;  // `from` with every link followed
    std::string m_to_real;    // `to` below the real place of its nearest folder that exists
};
