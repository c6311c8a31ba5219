// The file layer under Windows rules: drive roots, devices, letter case, renames that never replace.
#include "engine/fsys/fsys.h"

#include "engine/base/text_encoding.h"
#include "engine/library/content_paths.h"
#include "engine/library/name_index.h"
#include "tests/test_support.h"

#include <cstring>
#include <windows.h>
#include <winioctl.h>

TEST(FsysWindows, FilesFoldersListingsAndABareDrive)
{
    TempDir dir;
    const std::string a = dir.at("f/a.cr2"), drive = dir.path().substr(0, 2);  // drive "C:"
    write_bytes(a, "A");
    write_bytes(dir.at("f/b.cr2"), "B");
    write_bytes(dir.at("f/.hidden/x.cr2"), "");
    // Names that differ in letter case only are the same name; neither is replaced.
    EXPECT_FALSE(fsys::disk().rename_noreplace(a, dir.at("f/b.cr2")) || fsys::disk().rename_noreplace(a, dir.at("F/B.CR2")));
    EXPECT_EQ(read_bytes(dir.at("f/b.cr2")), "B");
    EXPECT_TRUE(fsys::disk().is_readable_file(dir.at("F/A.CR2")) && fsys::disk().entry_exists(dir.at("F/A.CR2")));
    for (const std::string& path : {dir.path(), drive + "\\", std::string("NUL"), std::string("CON"), a + "\\x.obj"}) {
        EXPECT_FALSE(fsys::disk().is_readable_file(path)) << path;
    }
    for (const std::string& path : {drive + "\\", drive, dir.at("F"), dir.at("f") + "\\"}) {
        EXPECT_TRUE(fsys::disk().is_folder(path)) << path;
    }
    EXPECT_FALSE(fsys::disk().is_folder(a) || fsys::disk().is_folder("NUL") || fsys::disk().entry_exists(dir.at("none/a_zz00.cr2")));

    std::vector<fsys::FolderEntry> entries;
    for (const std::string& path : {dir.at("f"), dir.at("f") + "\\"}) {
        ASSERT_TRUE(fsys::disk().list_folder_entries(path, entries)) << path;
        std::sort(entries.begin(), entries.end(), [](auto& x, auto& y) { return x.name < y.name; });
        EXPECT_EQ(joined(entries, [](const fsys::FolderEntry& e) {
            return e.name + (e.type == fsys::EntryType::folder ? "/" : e.type == fsys::EntryType::file ? "" : "?");
        }, " "), ".hidden/ a.cr2 b.cr2 ") << path;
    }
    fsys::FolderId f, other;
    for (const std::string& path : {a, dir.at("none"), dir.at("*")}) {
        EXPECT_FALSE(fsys::disk().list_folder_entries(path, entries) || fsys::disk().folder_identity(path, other)) << path;
    }
    ASSERT_TRUE(fsys::disk().folder_identity(dir.at("f"), f) && fsys::disk().folder_identity(dir.at("f/.hidden/../../F"), other));
    EXPECT_EQ(f, other);
    // A bare drive is its top folder for listing and identity, whatever the current folder.
    const std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.at("f"));
    EXPECT_TRUE(fsys::disk().list_folder_entries(drive, entries) && fsys::disk().folder_identity(drive, other));
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(std::ranges::any_of(entries, [](auto& e) { return _stricmp(e.name.c_str(), "windows") == 0; }));
    EXPECT_TRUE(fsys::disk().folder_identity(drive + "\\", f) && other == f);
}

// Names between UTF-8 and the wide calls: every letter kept, bytes an older program wrote read in the ANSI code page.
TEST(FsysWindows, NamesInAnyScript)
{
    ASSERT_EQ(GetACP(), 1252u) << "the cases below are written for the code page of wine's default prefix";
    // Each name as the program holds it, and as Windows has it.
    const std::pair<std::string, std::wstring> cases[] = {
        {"Łódź", L"\u0141\u00f3d\u017a"},
        {"Ελληνικά", L"\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac"},
        {"日本語", L"\u65e5\u672c\u8a9e"},
        {"caf\xe9 Łódź", L"caf\u00e9 \u0141\u00f3d\u017a"},
        {"🎭", L"\U0001f3ad"},
    };
    TempDir dir;
    for (const auto& [name, wide] : cases) {
        EXPECT_EQ(to_wide(name), wide) << name;
        EXPECT_EQ(to_wide(to_utf8(wide)), wide) << name;
        const std::string folder = dir.at(name), file = folder + "\\" + name + ".cr2";
        ASSERT_TRUE(CreateDirectoryW(to_wide(folder).c_str(), nullptr)) << name;
        fsys::RawFile f;
        ASSERT_TRUE(fsys::disk().open_for_writing(file, fsys::Create::exclusive, f) && fsys::disk().close_file(f));
        EXPECT_TRUE(fsys::disk().is_folder(folder) && fsys::disk().entry_exists(file) && fsys::disk().is_readable_file(file));
        std::vector<fsys::FolderEntry> entries;
        ASSERT_TRUE(fsys::disk().list_folder_entries(folder, entries) && entries.size() == 1);
        EXPECT_EQ(entries[0].name, utf8_text(name) + ".cr2");
        EXPECT_EQ(fsys::disk().absolute_path(dir.at("x/../") + name), utf8_text(folder));
    }
    // Found by name whichever way the reference holds it.
    NameIndex index;
    index.build(fsys::disk(), {dir.path()}, {"caf\xe9 Łódź.cr2"});
    for (const char* reference : {":geom:CAF\xe9 Łódź.cr2", ":geom:café Łódź.cr2"}) {
        const std::vector<Candidate> found = index.namesakes(reference);
        EXPECT_TRUE(found.size() == 1 && found[0].path == dir.at("café Łódź/café Łódź.cr2")) << reference;
    }
}

namespace {

// Makes `link` a junction to the folder `target`, as mklink /J does; false when the system refuses.
bool make_junction(const std::string& link, const std::string& target)
{
    if (!CreateDirectoryW(to_wide(link).c_str(), nullptr)) {
        return false;
    }
    HANDLE h = CreateFileW(to_wide(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    // The mount-point reparse buffer: the substitute name (\??\C:\...) and an empty print name.
    const std::wstring substitute = L"\\??\\" + to_wide(target);
    const USHORT bytes = static_cast<USHORT>(substitute.size() * sizeof(wchar_t));
    std::vector<char> buffer(8 + 8 + bytes + 2 * sizeof(wchar_t), 0);
    auto put16 = [&](std::size_t at, USHORT v) { std::memcpy(buffer.data() + at, &v, sizeof v); };
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    std::memcpy(buffer.data(), &tag, sizeof tag);
    put16(4, static_cast<USHORT>(buffer.size() - 8));  // the data's length
    put16(8, 0);                                        // the substitute name's offset
    put16(10, bytes);                                   // and length
    put16(12, static_cast<USHORT>(bytes + sizeof(wchar_t)));  // the print name's offset
    put16(14, 0);
    std::memcpy(buffer.data() + 16, substitute.data(), bytes);
    DWORD done = 0;
    const BOOL ok = DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, 0,
                                    &done, nullptr);
    CloseHandle(h);
    return ok != 0;
}

}  // namespace

// A junction inside a root that leads out of it: its files are not below the root, a pick through it is refused, and
// a walk does not enter it. Under wine, which makes no junction of its own, the build prepares a POSIX link that wine
// shows as a reparse point (TARNWICK_FOLDER_LINK_TREE).
TEST(FsysWindows, AJunctionInsideTheRootLeadsOutOfIt)
{
    TempDir dir;
    const char* prepared = std::getenv("TARNWICK_FOLDER_LINK_TREE");
    const std::string tree = prepared != nullptr ? prepared : dir.path();
    if (prepared == nullptr) {
        write_bytes(dir.at("outside/x.obj"), "");
        write_bytes(dir.at("root/Runtime/Geometries/a.obj"), "");
        if (!make_junction(dir.at("root/Runtime/way"), dir.at("outside"))) {
            GTEST_SKIP() << "this system makes no junction";
        }
    }
    ASSERT_TRUE(fsys::disk().is_readable_file(tree + "\\root\\Runtime\\way\\x.obj"));
    EXPECT_EQ(fsys::disk().name_kind(tree + "\\root\\Runtime\\way"), fsys::NameKind::link);
    const std::string resolved = fsys::disk().resolved_path(tree + "\\root\\Runtime\\way\\x.obj");
    EXPECT_TRUE(_stricmp(resolved.c_str(), fsys::disk().resolved_path(tree + "\\outside\\x.obj").c_str()) == 0) << resolved;
    std::string pick = tree + "\\root\\Runtime\\way\\x.obj";
    const std::vector<std::string> roots{tree + "\\root"};
    EXPECT_EQ(place_under_root(fsys::disk(), pick, roots), std::string::npos);
    fsys::FolderId id;
    EXPECT_FALSE(fsys::disk().folder_identity(tree + "\\root\\Runtime\\way", id));
    Lines notes;  // a walk names it once, and does not follow it
    walk_folders(fsys::disk(), tree + "\\root", library_walk_policy(), [](const std::string&, const FolderContents&) {},
                 WalkScope{roots, [&](const std::string& link, const std::string&) { notes.push_back(link); }});
    EXPECT_EQ(notes, Lines{tree + "\\root\\Runtime\\way"});
}
