// The file layer under Windows rules: drive roots, devices, letter case, renames that never replace.
#include "engine/fsys.h"

#include "tests/test_support.h"

#include <windows.h>

TEST(FsysWindows, FilesFoldersListingsAndABareDrive)
{
    TempDir dir;
    const std::string a = dir.at("f/a.cr2"), drive = dir.path().substr(0, 2);  // drive "C:"
    write_bytes(a, "A");
    write_bytes(dir.at("f/b.cr2"), "B");
    write_bytes(dir.at("f/.hidden/x.cr2"), "");
    // Names that differ in letter case only are the same name; neither is replaced.
    EXPECT_FALSE(fsys::rename_noreplace(a, dir.at("f/b.cr2")) || fsys::rename_noreplace(a, dir.at("F/B.CR2")));
    EXPECT_EQ(read_bytes(dir.at("f/b.cr2")), "B");
    EXPECT_TRUE(fsys::is_readable_file(dir.at("F/A.CR2")) && fsys::entry_exists(dir.at("F/A.CR2")));
    for (const std::string& path : {dir.path(), drive + "\\", std::string("NUL"), std::string("CON"), a + "\\x.obj"}) {
        EXPECT_FALSE(fsys::is_readable_file(path)) << path;
    }
    for (const std::string& path : {drive + "\\", drive, dir.at("F"), dir.at("f") + "\\"}) {
        EXPECT_TRUE(fsys::is_folder(path)) << path;
    }
    EXPECT_FALSE(fsys::is_folder(a) || fsys::is_folder("NUL") || fsys::entry_exists(dir.at("none/a_zz00.cr2")));

    std::vector<fsys::FolderEntry> entries;
    for (const std::string& path : {dir.at("f"), dir.at("f") + "\\"}) {
        ASSERT_TRUE(fsys::list_folder_entries(path, entries)) << path;
        std::string listed;
        std::sort(entries.begin(), entries.end(), [](auto& x, auto& y) { return x.name < y.name; });
        for (const fsys::FolderEntry& e : entries) {
            listed += e.name + (e.type == fsys::EntryType::folder ? "/ " : e.type == fsys::EntryType::file ? " " : "? ");
        }
        EXPECT_EQ(listed, ".hidden/ a.cr2 b.cr2 ") << path;
    }
    fsys::FolderId f, other;
    for (const std::string& path : {a, dir.at("none"), dir.at("*")}) {
        EXPECT_FALSE(fsys::list_folder_entries(path, entries) || fsys::folder_identity(path, other)) << path;
    }
    ASSERT_TRUE(fsys::folder_identity(dir.at("f"), f) && fsys::folder_identity(dir.at("f/.hidden/../../F"), other));
    EXPECT_EQ(f, other);
    // A bare drive is its top folder for listing and identity, whatever the current folder.
    const std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.at("f"));
    EXPECT_TRUE(fsys::list_folder_entries(drive, entries) && fsys::folder_identity(drive, other));
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(std::find_if(entries.begin(), entries.end(), [](auto& e) { return _stricmp(e.name.c_str(), "windows") == 0; }) !=
                entries.end());
    EXPECT_TRUE(fsys::folder_identity(drive + "\\", f) && other == f);
}
