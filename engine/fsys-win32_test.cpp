// The file layer under the Windows rules: drive roots, devices, letters without case, and a
// rename that must never replace an existing file.
#include "engine/fsys.h"

#include "tests/test_support.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <windows.h>

namespace {

std::string drive_root()
{
    char folder[MAX_PATH] = {};
    GetWindowsDirectoryA(folder, MAX_PATH);
    return std::string(folder, 3);  // "C:\"
}

bool lists(const std::vector<std::string>& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

TEST(FsysWindows, RenameNeverReplacesAnExistingName)
{
    TempDir dir;
    const std::string a = dir.at("a.cr2");
    const std::string b = dir.at("b.cr2");
    write_bytes(a, "A");
    write_bytes(b, "B");
    EXPECT_FALSE(fsys::rename_noreplace(a, b));
    // Names that differ in letter case only are the same name.
    EXPECT_FALSE(fsys::rename_noreplace(a, dir.at("B.CR2")));
    EXPECT_EQ(read_bytes(a), "A");
    EXPECT_EQ(read_bytes(b), "B");

    EXPECT_TRUE(fsys::rename_noreplace(a, dir.at("c.cr2")));
    EXPECT_FALSE(exists(a));
    EXPECT_EQ(read_bytes(dir.at("c.cr2")), "A");
}

TEST(FsysWindows, OnlyRegularDiskFilesOpenForReading)
{
    TempDir dir;
    write_bytes(dir.at("man.cr2"), "x");
    EXPECT_TRUE(fsys::is_readable_file(dir.at("man.cr2")));
    EXPECT_TRUE(fsys::is_readable_file(dir.at("MAN.CR2")));
    for (const std::string& path : {dir.path(), dir.at("missing.obj"), drive_root(), std::string("NUL"),
                                    std::string("CON"), std::string("\\\\.\\NUL"), dir.at("man.cr2\\x.obj")}) {
        EXPECT_FALSE(fsys::is_readable_file(path)) << path;
    }
    fsys::RawFile f;
    EXPECT_FALSE(fsys::open_for_writing(dir.at("man.cr2"), fsys::Create::exclusive, f));
    EXPECT_FALSE(fsys::open_for_writing(dir.path(), fsys::Create::truncate, f));
    EXPECT_EQ(read_bytes(dir.at("man.cr2")), "x");
}

TEST(FsysWindows, FoldersAndEntries)
{
    TempDir dir;
    write_bytes(dir.at("sub/man.cr2"), "x");
    const std::pair<std::string, bool> folders[] = {
        {drive_root(), true},
        {drive_root().substr(0, 2), true},
        {dir.path(), true},
        {dir.at("SUB"), true},
        {dir.at("sub") + "\\", true},
        {dir.at("sub/man.cr2"), false},
        {dir.at("none"), false},
        {"NUL", false},
    };
    for (const auto& [path, is_folder] : folders) {
        EXPECT_EQ(fsys::is_folder(path), is_folder) << path;
    }
    EXPECT_TRUE(fsys::entry_exists(dir.at("sub")));
    EXPECT_TRUE(fsys::entry_exists(dir.at("SUB/MAN.cr2")));
    EXPECT_FALSE(fsys::entry_exists(dir.at("sub/man_zz00.cr2")));
    EXPECT_FALSE(fsys::entry_exists(dir.at("none/man_zz00.cr2")));
}

TEST(FsysWindows, FolderIdentityIgnoresSpelling)
{
    TempDir dir;
    write_bytes(dir.at("a/x.txt"), "");
    write_bytes(dir.at("b/x.txt"), "");
    fsys::FolderId a;
    fsys::FolderId a_again;
    fsys::FolderId b;
    ASSERT_TRUE(fsys::folder_identity(dir.at("a"), a));
    ASSERT_TRUE(fsys::folder_identity(dir.at("b/../A"), a_again));
    ASSERT_TRUE(fsys::folder_identity(dir.at("b"), b));
    EXPECT_EQ(a, a_again);
    EXPECT_FALSE(a == b);
    EXPECT_FALSE(fsys::folder_identity(dir.at("a/x.txt"), a));
    EXPECT_FALSE(fsys::folder_identity(dir.at("none"), a));
}

TEST(FsysWindows, ListingsYieldEveryName)
{
    TempDir dir;
    write_bytes(dir.at("f/Man.CR2"), "");
    write_bytes(dir.at("f/.hidden/x.cr2"), "");
    std::vector<std::string> names;
    for (const std::string& path : {dir.at("f"), dir.at("f") + "\\"}) {
        ASSERT_TRUE(fsys::list_folder(path, names)) << path;
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{".", "..", ".hidden", "Man.CR2"})) << path;
    }
    EXPECT_TRUE(fsys::list_folder(drive_root(), names));
    EXPECT_TRUE(lists(names, "windows") || lists(names, "Windows"));
    // A bare drive lists the drive's top folder, the folder whose entries the walk names.
    EXPECT_TRUE(fsys::list_folder(drive_root().substr(0, 2), names));
    EXPECT_TRUE(lists(names, "windows") || lists(names, "Windows"));

    EXPECT_FALSE(fsys::list_folder(dir.at("f/Man.CR2"), names));
    EXPECT_FALSE(fsys::list_folder(dir.at("none"), names));
    // A wildcard would list the entries of other folders under this one's name.
    EXPECT_FALSE(fsys::list_folder(dir.at("*"), names));
}

}  // namespace
