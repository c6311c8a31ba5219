// A product zip read as a folder: walked, listed and read like the disk, never changed, and read
// by several threads at once; and the disk and its zips as one file system.
#include "engine/mounted_fs.h"
#include "engine/zip_fs.h"
#include "tests/zip_maker.h"
#include "tests/zip_test_disk.h"

#include <gtest/gtest.h>
#include <thread>

using fsys::EntryType;
using fsys::NameKind;

namespace {

// A native path from '/' between names: "/x/P.zip" or "\x\P.zip".
std::string native(std::string path)
{
    std::replace(path.begin(), path.end(), '/', fsys::k_sep);
    return path;
}

const std::string k_zip = native("/x/PRODUCT.zip");
const std::string k_figure = "version { number 4.01 }\nfigure\n";
const std::string k_mesh(300000, 'v');  // stored, and longer than one read
const std::string k_utf8_name = "Runtime/Libraries/Caf\xc3\xa9/\xc3\x9cn\xc3\xaf \xe6\x97\xa5\xe6\x9c\xac.cr2";

std::string product_zip()
{
    std::vector<MadeEntry> entries = text_entries({"Runtime/", "Runtime/Libraries/", "../outside.cr2", "Runtime\\x.cr2"});
    entries.emplace_back("Runtime/Libraries/Character/Figure.cr2", k_figure);
    entries.emplace_back("Runtime/Geometries/Figure/figure.obj", k_mesh, false);
    entries.emplace_back("Runtime/Libraries/link.cr2", "/etc/passwd");
    entries.back().unix_mode = 0120777;
    entries.emplace_back(k_utf8_name, k_figure);
    entries.back().utf8_mark = true;
    return made_zip(entries);
}

struct Mounted {
    ZipTestDisk disk;
    std::unique_ptr<zipfs::ZipFileSystem> zip;
    explicit Mounted(const std::string& bytes = product_zip())
    {
        disk.add_file(k_zip, bytes);
        std::string reason;
        zip = zipfs::ZipFileSystem::open(disk, k_zip, k_zip, reason);
        EXPECT_NE(zip, nullptr) << reason;
    }
};

std::vector<std::string> listing(fsys::FileSystem& fs, const std::string& path)
{
    std::vector<fsys::FolderEntry> entries;
    std::vector<std::string> out;
    if (!fs.list_folder_entries(path, entries)) {
        return {"<cannot list>"};
    }
    for (const fsys::FolderEntry& e : entries) {
        out.push_back(e.name + (e.type == EntryType::folder ? "/" : ""));
    }
    return out;
}

std::string read_all(fsys::FileSystem& fs, const std::string& path)
{
    std::string text;
    return fs.read_whole_file(path, text) ? text : "<unreadable>";
}

TEST(ZipFileSystem, WalksFoldersAndReadsEntries)
{
    Mounted m;
    zipfs::ZipFileSystem& zip = *m.zip;
    EXPECT_EQ(listing(zip, k_zip), std::vector<std::string>{"Runtime/"});
    EXPECT_EQ(listing(zip, k_zip + native("/Runtime")), (std::vector<std::string>{"Geometries/", "Libraries/"}));
    EXPECT_EQ(listing(zip, k_zip + native("/Runtime/Libraries")),
              (std::vector<std::string>{"Caf\xc3\xa9/", "Character/"}));
    EXPECT_EQ(listing(zip, k_zip + native("/Runtime/Libraries/Character/Figure.cr2")), std::vector<std::string>{"<cannot list>"});
    EXPECT_EQ(read_all(zip, k_zip + native("/Runtime/Libraries/Character/Figure.cr2")), k_figure);
    EXPECT_EQ(read_all(zip, k_zip + native("/Runtime/Geometries/Figure/figure.obj")), k_mesh);
    EXPECT_EQ(read_all(zip, k_zip + native("/") + native(k_utf8_name)), k_figure);
    fsys::FileDigest digest;
    ASSERT_TRUE(zip.digest_file(k_zip + native("/Runtime/Geometries/Figure/figure.obj"), digest));
    EXPECT_EQ(digest.size, static_cast<long long>(k_mesh.size()));
}

TEST(ZipFileSystem, NamesAndKinds)
{
    Mounted m;
    zipfs::ZipFileSystem& zip = *m.zip;
    const std::pair<std::string, NameKind> samples[] = {
        {k_zip, NameKind::folder},
        {k_zip + native("/Runtime"), NameKind::folder},
        {k_zip + native("/Runtime/Geometries/Figure"), NameKind::folder},  // only implied by a name
        {k_zip + native("/Runtime/Geometries/Figure/figure.obj"), NameKind::file},
        {k_zip + native("/runtime/Geometries/Figure/figure.obj"), NameKind::none},  // letter case as stored
        {k_zip + native("/Runtime/Libraries/link.cr2"), NameKind::none},           // a link
        {k_zip + native("/../outside.cr2"), NameKind::none},
        {native("/x/outside.cr2"), NameKind::none},
        {k_zip + native("/Runtime/x.cr2"), NameKind::none},
        {k_zip + native("/Runtime//Geometries"), NameKind::none},
        {k_zip + "x", NameKind::none},
        {native("/x"), NameKind::none},
    };
    for (const auto& [path, kind] : samples) {
        EXPECT_EQ(zip.name_kind(path), kind) << path;
        EXPECT_EQ(zip.entry_exists(path), kind != NameKind::none) << path;
        EXPECT_EQ(zip.is_folder(path), kind == NameKind::folder) << path;
        EXPECT_EQ(zip.is_readable_file(path), kind == NameKind::file) << path;
        EXPECT_EQ(zip.resolved_path(path).empty(), kind == NameKind::none) << path;
    }
    fsys::FolderId top, runtime, again;
    ASSERT_TRUE(zip.folder_identity(k_zip, top));
    ASSERT_TRUE(zip.folder_identity(k_zip + native("/Runtime"), runtime));
    ASSERT_TRUE(zip.folder_identity(k_zip + native("/Runtime"), again));
    EXPECT_NE(top, runtime);
    EXPECT_EQ(runtime, again);
}

TEST(ZipFileSystem, EveryChangeFailsAndNothingIsWritten)
{
    Mounted m;
    zipfs::ZipFileSystem& zip = *m.zip;
    const std::string doc = k_zip + native("/Runtime/Libraries/Character/Figure.cr2");
    fsys::RawFile f;
    EXPECT_FALSE(zip.open_for_writing(k_zip + native("/Runtime/new.cr2"), fsys::Create::exclusive, f));
    EXPECT_FALSE(zip.remove_file(doc));
    EXPECT_FALSE(zip.rename_noreplace(doc, doc + "2"));
    EXPECT_FALSE(zip.rename_replace(doc, doc + "2"));
    EXPECT_FALSE(zip.make_folder(k_zip + native("/Runtime/New")));
    EXPECT_FALSE(zip.remove_folder(k_zip + native("/Runtime")));
    EXPECT_FALSE(zip.give_protection(doc, doc));
    ASSERT_TRUE(zip.open_for_reading(doc, f));
    EXPECT_FALSE(zip.write_all(f, "x", 1));
    EXPECT_FALSE(zip.sync_to_disk(f));
    EXPECT_TRUE(zip.close_file(f));
    EXPECT_EQ(read_all(zip, doc), k_figure);
    EXPECT_EQ(m.disk.changes(), std::vector<std::string>());
}

TEST(ZipFileSystem, SeeksWithinAnInflatedEntry)
{
    Mounted m;
    zipfs::ZipFileSystem& zip = *m.zip;
    fsys::RawFile f;
    ASSERT_TRUE(zip.open_for_reading(k_zip + native("/Runtime/Libraries/Character/Figure.cr2"), f));
    EXPECT_EQ(zip.file_size(f), static_cast<long long>(k_figure.size()));
    char buf[64];
    ASSERT_TRUE(zip.seek_to(f, 10));
    ASSERT_EQ(zip.read_some(f, buf, 6), 6);
    EXPECT_EQ(std::string(buf, 6), k_figure.substr(10, 6));
    ASSERT_TRUE(zip.seek_to_start(f));
    ASSERT_EQ(zip.read_some(f, buf, sizeof buf), static_cast<long long>(k_figure.size()));
    EXPECT_EQ(zip.read_some(f, buf, sizeof buf), 0);
    EXPECT_FALSE(zip.seek_to(f, static_cast<long long>(k_figure.size()) + 1));
    EXPECT_EQ(zip.read_failure(f), "");
    EXPECT_TRUE(zip.close_file(f));
}

TEST(ZipFileSystem, AnEntryThatCannotBeInflatedReadsAsAnErrorWithItsReason)
{
    MadeEntry bomb("Runtime/bomb.cr2", "");
    bomb.compressed = deflated_zeros(std::uint64_t(64) << 20);
    bomb.claimed_size = std::int64_t(64) << 20;
    MadeEntry liar = bomb;
    liar.name = "Runtime/liar.cr2";
    liar.claimed_size = 10;
    Mounted m(made_zip({bomb, liar}));
    const std::pair<std::string, std::string> samples[] = {
        {"/Runtime/bomb.cr2", "it would inflate to 67108864 bytes from " + std::to_string(bomb.compressed.size()) +
                                  ", past the bound of 8388608 (a zip bomb)"},
        {"/Runtime/liar.cr2", "it holds more bytes than its directory record says (10)"},
    };
    for (const auto& [name, reason] : samples) {
        fsys::RawFile f;
        ASSERT_TRUE(m.zip->open_for_reading(k_zip + native(name), f)) << name;
        char buf[4096];
        long long n = 0;
        while ((n = m.zip->read_some(f, buf, sizeof buf)) > 0) {
        }
        EXPECT_EQ(n, -1) << name;
        EXPECT_EQ(m.zip->read_failure(f), reason);
        EXPECT_EQ(m.zip->read_some(f, buf, sizeof buf), -1) << name;
        m.zip->close_file(f);
    }
}

TEST(ZipFileSystem, SeveralThreadsReadAtOnce)
{
    Mounted m;
    zipfs::ZipFileSystem& zip = *m.zip;
    const std::pair<std::string, std::string> files[] = {
        {k_zip + native("/Runtime/Libraries/Character/Figure.cr2"), k_figure},
        {k_zip + native("/Runtime/Geometries/Figure/figure.obj"), k_mesh},
    };
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 6; ++t) {
        readers.emplace_back([&] {
            for (int round = 0; round < 20; ++round) {
                for (const auto& [path, bytes] : files) {
                    wrong += read_all(zip, path) != bytes;
                }
            }
        });
    }
    for (std::thread& t : readers) {
        t.join();
    }
    EXPECT_EQ(wrong, 0);
    // Handles are opened for readers at once, and no more are kept than readers ran.
    EXPECT_LE(zip.open_handles(), 6u);
    EXPECT_EQ(m.disk.open_files(), static_cast<int>(zip.open_handles()));
}

TEST(ZipFileSystem, AZipThatCannotBeReadIsNotMounted)
{
    ZipTestDisk disk;
    disk.add_file(k_zip, "PK\x03\x04 not really");
    std::string reason;
    EXPECT_EQ(zipfs::ZipFileSystem::open(disk, k_zip, k_zip, reason), nullptr);
    EXPECT_EQ(reason, "it is not a zip archive (no end of its central directory was found)");
    EXPECT_EQ(zipfs::ZipFileSystem::open(disk, native("/x/none.zip"), k_zip, reason), nullptr);
    EXPECT_EQ(reason, "the file cannot be opened for reading");
}

TEST(MountedFileSystem, RoutesPathsToTheDiskOrTheZip)
{
    Mounted m;
    m.disk.add_file(native("/x/Runtime/Libraries/Character/Other.cr2"), "other\n");
    zipfs::MountedFileSystem all(m.disk);
    zipfs::ZipFileSystem* zip = m.zip.get();
    all.mount(std::move(m.zip));
    const std::string in_zip = k_zip + native("/Runtime/Libraries/Character/Figure.cr2");
    const std::string on_disk = native("/x/Runtime/Libraries/Character/Other.cr2");
    EXPECT_EQ(all.zip_at(in_zip), zip);
    EXPECT_EQ(all.zip_at(k_zip), zip);
    EXPECT_EQ(all.zip_at(on_disk), nullptr);
    EXPECT_EQ(read_all(all, in_zip), k_figure);
    EXPECT_EQ(read_all(all, on_disk), "other\n");
    EXPECT_EQ(listing(all, native("/x")), (std::vector<std::string>{"PRODUCT.zip", "Runtime/"}));
    EXPECT_EQ(listing(all, k_zip), std::vector<std::string>{"Runtime/"});
    EXPECT_EQ(all.name_kind(k_zip), NameKind::folder);
    // Files open on both sides at once keep to their own side.
    fsys::RawFile a, b;
    ASSERT_TRUE(all.open_for_reading(in_zip, a));
    ASSERT_TRUE(all.open_for_reading(on_disk, b));
    EXPECT_EQ(all.file_size(a), static_cast<long long>(k_figure.size()));
    EXPECT_EQ(all.file_size(b), 6);
    EXPECT_TRUE(all.close_file(a));
    EXPECT_TRUE(all.close_file(b));
    EXPECT_FALSE(all.rename_noreplace(on_disk, k_zip + native("/Runtime/Other.cr2")));
    EXPECT_FALSE(all.rename_noreplace(in_zip, native("/x/Figure.cr2")));
    EXPECT_EQ(m.disk.changes(), std::vector<std::string>());
}

}  // namespace
