#include "engine/zip/mounted_fs.h"

namespace zipfs {

MountedFileSystem::MountedFileSystem(fsys::FileSystem& base) : m_base(base) {}

MountedFileSystem::~MountedFileSystem() = default;

void MountedFileSystem::mount(std::unique_ptr<ZipFileSystem> zip)
{
    m_zips.push_back(std::move(zip));
}

ZipFileSystem* MountedFileSystem::zip_at(const std::string& path)
{
    ZipFileSystem* deepest = nullptr;
    for (const auto& zip : m_zips) {
        if (is_at_or_below(path, zip->mount_point()) &&
            (deepest == nullptr || zip->mount_point().size() > deepest->mount_point().size())) {
            deepest = zip.get();
        }
    }
    return deepest;
}

fsys::FileSystem& MountedFileSystem::route(const std::string& path)
{
    ZipFileSystem* zip = zip_at(path);
    return zip != nullptr ? static_cast<fsys::FileSystem&>(*zip) : m_base;
}

bool MountedFileSystem::same_side(const std::string& a, const std::string& b)
{
    return &route(a) == &route(b);
}

std::string MountedFileSystem::read_failure(const fsys::RawFile& f)
{
    ZipFileSystem* zip = zip_at(f.path);
    return zip != nullptr ? zip->read_failure(f) : std::string();
}

bool MountedFileSystem::open_for_reading(const std::string& path, fsys::RawFile& f, fsys::Listed listed)
{
    if (!route(path).open_for_reading(path, f, listed)) {
        return false;
    }
    // Whatever the answering side kept as the name, the path routes the file's later calls.
    f.path = path;
    return true;
}

bool MountedFileSystem::open_for_writing(const std::string& path, fsys::Create mode, fsys::RawFile& f)
{
    if (!route(path).open_for_writing(path, mode, f)) {
        return false;
    }
    f.path = path;
    return true;
}

long long MountedFileSystem::read_some(fsys::RawFile& f, char* buf, std::size_t size)
{
    return route(f).read_some(f, buf, size);
}

bool MountedFileSystem::write_all(fsys::RawFile& f, const char* data, std::size_t size)
{
    return route(f).write_all(f, data, size);
}

bool MountedFileSystem::seek_to(fsys::RawFile& f, long long offset)
{
    return route(f).seek_to(f, offset);
}

long long MountedFileSystem::file_size(fsys::RawFile& f)
{
    return route(f).file_size(f);
}

bool MountedFileSystem::sync_to_disk(fsys::RawFile& f)
{
    return route(f).sync_to_disk(f);
}

bool MountedFileSystem::close_file(fsys::RawFile& f)
{
    return route(f).close_file(f);
}

bool MountedFileSystem::is_readable_file(const std::string& path)
{
    return route(path).is_readable_file(path);
}

bool MountedFileSystem::entry_exists(const std::string& path)
{
    return route(path).entry_exists(path);
}

fsys::NameKind MountedFileSystem::name_kind(const std::string& path)
{
    return route(path).name_kind(path);
}

bool MountedFileSystem::is_folder(const std::string& path)
{
    return route(path).is_folder(path);
}

bool MountedFileSystem::is_special_file(const std::string& path)
{
    return route(path).is_special_file(path);
}

long long MountedFileSystem::modified_time(const std::string& path)
{
    return route(path).modified_time(path);
}

bool MountedFileSystem::folder_identity(const std::string& path, fsys::FolderId& id)
{
    return route(path).folder_identity(path, id);
}

bool MountedFileSystem::list_folder_entries(const std::string& path, std::vector<fsys::FolderEntry>& entries)
{
    return route(path).list_folder_entries(path, entries);
}

// A rename never crosses from the disk into a zip or out of it.
bool MountedFileSystem::rename_noreplace(const std::string& from, const std::string& to)
{
    return same_side(from, to) && route(from).rename_noreplace(from, to);
}

bool MountedFileSystem::rename_replace(const std::string& from, const std::string& to)
{
    return same_side(from, to) && route(from).rename_replace(from, to);
}

bool MountedFileSystem::remove_file(const std::string& path)
{
    return route(path).remove_file(path);
}

bool MountedFileSystem::make_folder(const std::string& path)
{
    return route(path).make_folder(path);
}

bool MountedFileSystem::remove_folder(const std::string& path)
{
    return route(path).remove_folder(path);
}

bool MountedFileSystem::give_protection(const std::string& from, const std::string& to)
{
    return same_side(from, to) && route(from).give_protection(from, to);
}

std::string MountedFileSystem::current_folder()
{
    return m_base.current_folder();
}

// Making a path absolute looks at the current folder and the text alone, which is the disk's.
std::string MountedFileSystem::absolute_path(const std::string& path)
{
    return m_base.absolute_path(path);
}

std::string MountedFileSystem::resolved_path(const std::string& path)
{
    return route(path).resolved_path(path);
}

}  // namespace zipfs
