// A product zip read as a folder: walked, listed and read like the disk, never changed, by several threads at once; and
// the disk and its zips as one file system. Under wine, the Windows build reads UTF-8 names back through Windows paths.
#include "engine/zip/mounted_fs.h"
#include "tests/zip_maker.h"

#include <gtest/gtest.h>
#include <thread>

using fsys::NameKind;

namespace {

const std::string k_zip = native("/x/PRODUCT.zip");
const std::string k_doc = k_zip + native("/Runtime/Libraries/Character/Figure.cr2");
const std::string k_obj = k_zip + native("/Runtime/Geometries/Figure/figure.obj");
const std::string k_figure = "version { number 4.01 }\nfigure\n";
const std::string k_mesh(300000, 'v');  // stored, and longer than one read
const std::string k_utf8 = "Runtime/Libraries/Caf\xc3\xa9/\xc3\x9cn\xc3\xaf \xe6\x97\xa5\xe6\x9c\xac.cr2";

struct Mounted {
    fsys::MemoryFileSystem disk;
    std::unique_ptr<zipfs::ZipFileSystem> zip;
    explicit Mounted(std::vector<MadeEntry> entries = {})
    {
        if (entries.empty()) {
            for (const char* name : {"Runtime/", "Runtime/Libraries/", "../outside.cr2", "Runtime\\x.cr2"}) {
                entries.emplace_back(name, "x");
            }
            entries.emplace_back("Runtime/Libraries/Character/Figure.cr2", k_figure);
            entries.emplace_back("Runtime/Geometries/Figure/figure.obj", k_mesh, false);
            entries.push_back(link_entry("Runtime/Libraries/link.cr2", "/etc/passwd"));
            entries.emplace_back(k_utf8, k_figure);
            entries.back().utf8_mark = true;
        }
        disk.add_file(k_zip, made_zip(entries));
        std::string reason;
        zip = zipfs::ZipFileSystem::open(disk, k_zip, k_zip, reason);
        EXPECT_NE(zip, nullptr) << reason;
    }
};

TEST(ZipFileSystem, WalksFoldersAndReadsEntriesFromSeveralThreadsAtOnce)
{
    Mounted m;
    const std::pair<std::string, std::vector<std::string>> listings[] = {
        {k_zip, {"Runtime/"}},
        {k_zip + native("/Runtime"), {"Geometries/", "Libraries/"}},
        {k_zip + native("/Runtime/Libraries"), {"Caf\xc3\xa9/", "Character/"}},
        {k_doc, {"<cannot list>"}},
    };
    for (const auto& [path, names] : listings) {
        EXPECT_EQ(listing(*m.zip, path), names) << path;
    }
    EXPECT_EQ(read_all(*m.zip, k_zip + native("/" + k_utf8)), k_figure);
    fsys::RawFile f;
    ASSERT_TRUE(m.zip->open_for_reading(k_doc, f));
    EXPECT_EQ(m.zip->file_size(f), static_cast<long long>(k_figure.size()));
    char buf[64];
    ASSERT_TRUE(m.zip->seek_to(f, 10));  // inflated data is read up to the place
    ASSERT_EQ(m.zip->read_some(f, buf, 6), 6);
    EXPECT_EQ(std::string(buf, 6), k_figure.substr(10, 6));
    ASSERT_TRUE(m.zip->seek_to(f, 2));  // back: inflated again from the start; never past the end
    ASSERT_EQ(m.zip->read_some(f, buf, 6), 6);
    EXPECT_TRUE(std::string(buf, 6) == k_figure.substr(2, 6) && !m.zip->seek_to(f, k_figure.size() + 1));
    ASSERT_TRUE(m.zip->seek_to_start(f));
    EXPECT_EQ(m.zip->read_some(f, buf, sizeof buf), static_cast<long long>(k_figure.size()));
    EXPECT_EQ(m.zip->read_failure(f), "");
    EXPECT_TRUE(m.zip->close_file(f));
    std::atomic<int> wrong{0};
    std::vector<std::jthread> readers;
    for (int t = 0; t < 6; ++t) {
        readers.emplace_back([&] {
            for (int round = 0; round < 20; ++round) {
                wrong += read_all(*m.zip, k_doc) != k_figure || read_all(*m.zip, k_obj) != k_mesh;
            }
        });
    }
    readers.clear();  // each joined
    EXPECT_EQ(wrong, 0);
    EXPECT_LE(m.zip->open_handles(), 6u);  // one archive handle per reader at most, kept for the next
    m.disk.add_file(k_zip, m.disk.bytes(k_zip).substr(0, 10));
    EXPECT_TRUE(m.zip->open_for_reading(k_doc, f) && m.zip->read_some(f, buf, sizeof buf) == -1);
    EXPECT_EQ(m.zip->read_failure(f), "the zip archive ends before the data its directory names (cut short, or changed while read)");
}

TEST(ZipFileSystem, NamesAndKinds)
{
    Mounted m;
    ChangesSeen changes(m.disk);
    const std::pair<std::string, NameKind> samples[] = {
        {k_zip, NameKind::folder},
        {k_zip + native("/Runtime/Geometries/Figure"), NameKind::folder},  // only implied by a name
        {k_obj, NameKind::file},
        {k_zip + native("/runtime/Geometries/Figure/figure.obj"), NameKind::none},  // letter case as stored
        {k_zip + native("/Runtime/Libraries/link.cr2"), NameKind::none},           // a link
        {k_zip + native("/../outside.cr2"), NameKind::none},
        {k_zip + native("/Runtime/x.cr2"), NameKind::none},
        {k_zip + native("/Runtime//Geometries"), NameKind::none},
        {k_zip + "x", NameKind::none},
        {native("/x"), NameKind::none},
    };
    for (const auto& [path, kind] : samples) {
        EXPECT_EQ(m.zip->name_kind(path), kind) << path;
        EXPECT_EQ(m.zip->is_folder(path), kind == NameKind::folder) << path;
        EXPECT_EQ(m.zip->is_readable_file(path), kind == NameKind::file) << path;
        EXPECT_EQ(m.zip->entry_exists(path), kind != NameKind::none) << path;
        EXPECT_EQ(m.zip->absolute_path(path).empty(), path == k_zip + "x" || path == native("/x")) << path;
        EXPECT_EQ(m.zip->resolved_path(path).empty(), kind == NameKind::none) << path;
        fsys::FolderId id;
        fsys::RawFile opened;
        EXPECT_EQ(m.zip->folder_identity(path, id), kind == NameKind::folder) << path;
        EXPECT_EQ(m.zip->open_for_reading(path, opened) && m.zip->close_file(opened), kind == NameKind::file) << path;
    }
    fsys::FolderId top, runtime;
    ASSERT_TRUE(m.zip->folder_identity(k_zip, top) && m.zip->folder_identity(k_zip + native("/Runtime"), runtime));
    EXPECT_NE(top, runtime);
    // Nothing in a zip changes.
    fsys::RawFile f;
    EXPECT_FALSE(m.zip->open_for_writing(k_zip + native("/Runtime/new.cr2"), fsys::Create::exclusive, f));
    EXPECT_FALSE(m.zip->remove_file(k_doc) || m.zip->rename_noreplace(k_doc, k_doc + "2") || m.zip->make_folder(k_doc + "2"));
    EXPECT_FALSE(m.zip->rename_replace(k_doc, k_obj) || m.zip->remove_folder(k_zip) || m.zip->give_protection(k_doc, k_obj) ||
                 m.zip->write_all(f, "x", 1) || m.zip->sync_to_disk(f) || m.zip->close_file(f));
    EXPECT_EQ(changes.list, std::vector<std::string>());
    EXPECT_EQ(m.zip->modified_time(k_doc), m.zip->modified_time(k_obj));  // 2025-01-01, as the maker dates entries
    EXPECT_NE(m.zip->modified_time(k_doc), -1);
    EXPECT_EQ(m.zip->modified_time(k_zip), -1);
}

TEST(ZipFileSystem, AnEntryThatCannotBeInflatedReadsAsAnErrorWithItsReasonAndAZipThatCannotBeReadIsNotMounted)
{
    MadeEntry bomb("Runtime/bomb.cr2", "");
    bomb.packed = raw_deflate(std::string(1, '\0'), std::uint64_t(64) << 20);
    bomb.claimed_size = std::int64_t(64) << 20;
    MadeEntry liar = bomb;
    liar.name = "Runtime/liar.cr2";
    liar.claimed_size = 10;
    Mounted m({bomb, liar});
    const std::pair<std::string, std::string> samples[] = {
        {"/Runtime/bomb.cr2", "it would inflate to 67108864 bytes from " + std::to_string(bomb.packed.size()) +
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
        EXPECT_TRUE(m.zip->file_size(f) == -1 && !m.zip->seek_to(f, 0)) << name;  // no size nor place once failed
        m.zip->close_file(f);
        EXPECT_TRUE(m.zip->file_size(f) == -1 && !m.zip->seek_to(f, 0));  // nor once closed
    }
    m.disk.add_file(k_zip, "PK\x03\x04 not really");
    std::string reason;
    EXPECT_EQ(zipfs::ZipFileSystem::open(m.disk, k_zip, k_zip, reason), nullptr);
    EXPECT_EQ(reason, "it is not a zip archive (no end of its central directory was found)");
    EXPECT_EQ(zipfs::ZipFileSystem::open(m.disk, native("/x/none.zip"), k_zip, reason), nullptr);
    EXPECT_EQ(reason, "the file cannot be opened for reading");
    m.disk.add_file(native("/x/empty.zip"), "");  // an archive of nothing, as other readers take it
    const auto empty = zipfs::ZipFileSystem::open(m.disk, native("/x/empty.zip"), k_zip, reason);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(listing(*empty, k_zip), std::vector<std::string>());
}

TEST(MountedFileSystem, RoutesPathsToTheDiskOrTheZip)
{
    Mounted m;
    const std::string on_disk = native("/x/Runtime/Libraries/Character/Other.cr2");
    m.disk.add_file(on_disk, "other\n");
    ChangesSeen changes(m.disk);
    zipfs::MountedFileSystem all(m.disk);
    zipfs::ZipFileSystem* zip = m.zip.get();
    all.mount(std::move(m.zip));
    EXPECT_EQ(all.zip_at(k_doc), zip);
    EXPECT_EQ(all.zip_at(k_zip), zip);
    EXPECT_EQ(all.zip_at(on_disk), nullptr);
    EXPECT_EQ(all.name_kind(k_zip), NameKind::folder);
    EXPECT_EQ(listing(all, k_zip), std::vector<std::string>{"Runtime/"});
    // Files open on both sides at once keep to their own side.
    fsys::RawFile a, b;
    EXPECT_FALSE(all.open_for_reading(native("/x/none.cr2"), a) || all.open_for_reading(k_zip + native("/none.cr2"), a));
    ASSERT_TRUE(all.open_for_reading(k_doc, a) && all.open_for_reading(on_disk, b));
    EXPECT_EQ(all.file_size(a), static_cast<long long>(k_figure.size()));
    EXPECT_EQ(all.file_size(b), 6);
    EXPECT_EQ(all.read_failure(a) + all.read_failure(b), "");
    EXPECT_TRUE(all.close_file(a) && all.close_file(b));
    EXPECT_EQ(read_all(all, k_doc), k_figure);
    EXPECT_EQ(read_all(all, on_disk), "other\n");
    EXPECT_FALSE(all.rename_noreplace(on_disk, k_zip + native("/Runtime/Other.cr2")) ||
                 all.rename_replace(on_disk, k_zip + native("/Runtime/Other.cr2")) || all.rename_replace(k_doc, on_disk));
    EXPECT_EQ(changes.list, std::vector<std::string>());
    EXPECT_EQ(all.modified_time(on_disk), fsys::MemoryFileSystem::k_setup_time);
    // A file is written on the disk's side only.
    EXPECT_FALSE(all.open_for_writing(k_zip + native("/new.txt"), fsys::Create::exclusive, a));
    ASSERT_TRUE(all.open_for_writing(native("/x/new.txt"), fsys::Create::exclusive, a));
    EXPECT_TRUE(all.write_all(a, "new", 3) && all.close_file(a));
    EXPECT_EQ(read_all(m.disk, native("/x/new.txt")), "new");
    // A file's protection passes to another on the same side alone.
    m.disk.set_read_only(on_disk, true);
    EXPECT_FALSE(all.give_protection(k_doc, native("/x/new.txt")) || m.disk.is_read_only(native("/x/new.txt")));
    EXPECT_TRUE(all.give_protection(on_disk, native("/x/new.txt")) && m.disk.is_read_only(native("/x/new.txt")));
}

}  // namespace
