// The zip of a collected scene: the same entries give the same bytes, other readers read it,
// large counts take Zip64, and a collect that fails leaves nothing behind.
#include "engine/zip/package_check.h"
#include "engine/zip/zip_fs.h"
#include "engine/zip/zip_writer.h"
#include "tests/files.h"
#include "tests/zip_maker.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

const std::string k_out = native("/out/Scene.zip");
const std::time_t k_time = 1700000000;  // 2023-11-14
const std::time_t k_late = k_time + 2650000000;  // in November 2107, the last year a zip can hold
const std::string k_scene = "version { number 4.01 }\nfigure\n{\n}\n";

struct Scene {
    fsys::MemoryFileSystem disk;
    Scene()
    {
        disk.add_folder(native("/out"));
        disk.add_file(native("/lib/Runtime/Libraries/Character/Figure.crz"), std::string(5000, 'c'));
        disk.add_file(native("/lib/Runtime/Textures/skin.jpg"), std::string(7000, 'j'));
        disk.add_file(native("/lib/Runtime/Geometries/figure.obj"), std::string(20000, 'v'));
    }
    std::size_t file_count() { return disk.files_below(native("/")).size(); }
    // The scene's files in the order given, and the scene itself.
    bool collect(const std::vector<std::string>& order, std::string& reason)
    {
        zipfs::ZipWriter writer(disk, k_out);
        for (const std::string& name : order) {
            if (name == "Scene.pz3") {
                EXPECT_TRUE(writer.add_bytes("Runtime/Libraries/Scenes/Scene.pz3", k_scene, k_late, reason));
            } else if (!writer.add_file(name, native("/lib/" + name), k_time + 60, reason)) {
                return false;
            }
        }
        return writer.finish(reason);
    }
};

const std::vector<std::string> k_files = {"Runtime/Textures/skin.jpg", "Scene.pz3", "Runtime/Geometries/figure.obj",
                                          "Runtime/Libraries/Character/Figure.crz"};

// Each entry of the zip: name, method, size, time (libzip's own reading, not the layer's).
std::vector<std::string> entries_of(const std::string& bytes)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    std::vector<std::string> out;
    for (zip_int64_t k = 0; archive != nullptr && k < zip_get_num_entries(archive, 0); ++k) {
        zip_stat_t st;
        zip_stat_index(archive, static_cast<zip_uint64_t>(k), 0, &st);
        out.push_back(std::string(st.name) + (st.comp_method == ZIP_CM_STORE ? " stored " : " deflated ") +
                      std::to_string(st.size) + " " + std::to_string(st.mtime - k_time));
    }
    archive != nullptr ? zip_discard(archive) : zip_source_free(source);
    return out;
}

// A scene to collect, a writer of the zip for entries added by hand, and the reason a step of the writer gives for failing.
class ZipWriter : public testing::Test {
protected:
    Scene scene;
    zipfs::ZipWriter writer{scene.disk, k_out};
    std::string reason;
};

TEST_F(ZipWriter, TheSameEntriesGiveTheSameBytesCompressedDataStored)
{
    Scene second;
    ChangesSeen changes(scene.disk);
    ASSERT_TRUE(scene.collect(k_files, reason)) << reason;
    ASSERT_TRUE(second.collect({k_files.rbegin(), k_files.rend()}, reason)) << reason;
    const std::string bytes = scene.disk.bytes(k_out);
    EXPECT_EQ(bytes, second.disk.bytes(k_out));
    EXPECT_EQ(entries_of(bytes), (std::vector<std::string>{
                                     "Runtime/Geometries/figure.obj deflated 20000 60",
                                     "Runtime/Libraries/Character/Figure.crz stored 5000 60",
                                     "Runtime/Libraries/Scenes/Scene.pz3 deflated " + std::to_string(k_scene.size()) + " " +
                                         std::to_string(k_late - k_time),
                                     "Runtime/Textures/skin.jpg stored 7000 60",
                                 }));
    // Written under a temporary name, renamed at the end.
    const std::string partial = k_out + ".partial";
    EXPECT_EQ(changes.list, (std::vector<std::string>{"write " + partial, "sync " + partial, "rename " + partial}));
    EXPECT_EQ(zipfs::check_package(scene.disk, k_out).size(), 0u);
    const std::pair<const char*, bool> samples[] = {
        {"a.crz", true}, {"a.PZZ", true}, {"a.p2z", true}, {"a.mz5", true}, {"a.obz", true}, {"a.jpeg", true},
        {"a.png", true}, {"a.zip", true}, {"a.gz", true},  {"a.cr2", false}, {"a.obj", false}, {"a.tif", false},
        {"a.py", false}, {"crz", false},
    };
    for (const auto& [name, stored] : samples) {
        EXPECT_EQ(zipfs::is_stored_as_is(name), stored) << name;
    }
}

TEST_F(ZipWriter, NamesAreCheckedAsTheyAreAdded)
{
    ASSERT_TRUE(writer.add_bytes("Runtime/Libraries/a.cr2", "a", k_time, reason));
    ASSERT_TRUE(writer.add_bytes("Runtime/Libraries/a b~.cr2", "a", k_time, reason));
    const std::pair<std::string, std::vector<std::string>> refused[] = {
        {"the entry name holds a control character, which zip tools refuse", {"Runtime/a\tb.cr2", "Runtime/a\x7f.cr2"}},
        {"an entry of that name (in some letter case) is in the zip already", {"Runtime/Libraries/A.CR2"}},
        {"the name holds a '..' component, which leads out of the install folder", {"Runtime/../a.cr2"}},
        // After the first two, forms our own install would read in code page 437: overlong, a surrogate, past U+10FFFF.
        {"the entry name is not UTF-8", {"Runtime/Caf\xe9.cr2", "Runtime/\xc3", "Runtime/\xc0\xaf.cr2", "Runtime/\xe0\x80\xaf.cr2",
                                         "Runtime/\xed\xa0\x80.cr2", "Runtime/\xf4\x90\x80\x80.cr2"}},
        {"the entry name ends in a folder separator", {"Runtime/Folder/"}},
    };
    for (const auto& [why, names] : refused) {
        for (const std::string& name : names) {
            EXPECT_FALSE(writer.add_bytes(name, "b", k_time, reason)) << name;
            EXPECT_EQ(reason, why) << name;
        }
    }
    zipfs::ZipWriter empty(scene.disk, k_out);
    EXPECT_FALSE(empty.finish(reason));
    EXPECT_EQ(reason, "there is nothing to put in the zip");
}

TEST_F(ZipWriter, AFailedCollectLeavesNothing)
{
    const std::pair<std::string, std::vector<fsys::Op>> failures[] = {
        {"the zip cannot be written: the disk refused to take the zip's data", {fsys::Op::write, fsys::Op::sync, fsys::Op::close}},
        {"the finished zip cannot be given its name", {fsys::Op::rename}},
    };
    for (const auto& [why, ops] : failures) {
        for (const fsys::Op failing : ops) {
            SCOPED_TRACE(static_cast<int>(failing));
            Scene failing_disk;
            failing_disk.disk.fail_when([&](fsys::Op op, const std::string& path) { return op == failing && path == k_out + ".partial"; });
            std::string said;
            EXPECT_FALSE(failing_disk.collect(k_files, said));
            EXPECT_EQ(said, why);
            EXPECT_EQ(failing_disk.file_count(), 3u);  // the scene's files alone
        }
    }
    EXPECT_FALSE(scene.collect({"Scene.pz3", "Runtime/Textures/gone.png"}, reason));
    EXPECT_EQ(reason, "the file cannot be opened: " + native("/lib/Runtime/Textures/gone.png"));
    EXPECT_EQ(scene.file_count(), 3u);
    // A file under the zip's name is never written over.
    Scene taken;
    taken.disk.add_file(k_out, "mine");
    ChangesSeen changes(taken.disk);
    EXPECT_FALSE(taken.collect(k_files, reason));
    EXPECT_EQ(reason, "a file of that name exists already");
    EXPECT_EQ(taken.disk.bytes(k_out), "mine");
    EXPECT_EQ(changes.list, std::vector<std::string>());
}

TEST_F(ZipWriter, MoreThan65535EntriesTakeZip64)
{
    // Stored entries (.png): 70,000 deflate streams, each set up anew, cost the sanitized build minutes.
    const int count = 70000;
    for (int k = 0; k < count; ++k) {
        ASSERT_TRUE(writer.add_bytes("Runtime/Textures/t" + std::to_string(k) + ".png", std::to_string(k), k_time, reason));
    }
    ASSERT_TRUE(writer.finish(reason)) << reason;
    const std::string bytes = scene.disk.bytes(k_out);
    EXPECT_NE(bytes.find(std::string("PK\x06\x06", 4)), std::string::npos);  // the Zip64 end of directory
    EXPECT_EQ(entries_of(bytes).size(), static_cast<std::size_t>(count));
    auto zip = zipfs::ZipFileSystem::open(scene.disk, k_out, k_out, reason);
    ASSERT_NE(zip, nullptr) << reason;
    EXPECT_EQ(listing(*zip, k_out + native("/Runtime/Textures")).size(), static_cast<std::size_t>(count));
    EXPECT_EQ(read_all(*zip, k_out + native("/Runtime/Textures/t69999.png")), "69999");
    EXPECT_EQ(zipfs::check_package(scene.disk, k_out).size(), 0u);
}

#ifndef _WIN32
// Other readers take the zip: Info-ZIP's unzip tests every entry, Python's zipfile sees the
// names, their UTF-8 mark, the methods and the files' modes. Skipped where the tools are not installed.
TEST_F(ZipWriter, OtherReadersReadIt)
{
    if (std::system("command -v unzip >/dev/null 2>&1 && command -v python3 >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "unzip or python3 is not installed";
    }
    ASSERT_TRUE(writer.add_bytes("Runtime/Libraries/Caf\xc3\xa9/Sc\xc3\xa8ne.pz3", k_scene, k_time, reason));
    ASSERT_TRUE(writer.add_file("Runtime/Textures/skin.jpg", "/lib/Runtime/Textures/skin.jpg", k_time, reason));
    ASSERT_TRUE(writer.finish(reason)) << reason;
    TempDir dir;
    const std::string zip = dir.at("Scene.zip");
    write_bytes(zip, scene.disk.bytes(k_out));
    EXPECT_EQ(std::system(("unzip -tq '" + zip + "' >/dev/null").c_str()), 0);
    const std::string listing = dir.at("listing.txt");
    write_bytes(dir.at("list.py"), "import sys, zipfile\n"
                                   "z = zipfile.ZipFile(sys.argv[1])\n"
                                   "assert z.testzip() is None\n"
                                   "for i in z.infolist():\n"
                                   "    print(i.filename, i.flag_bits & 0x800, i.compress_type, i.file_size, oct(i.external_attr >> 16))\n");
    ASSERT_EQ(std::system(("python3 '" + dir.at("list.py") + "' '" + zip + "' > '" + listing + "'").c_str()), 0);
    EXPECT_EQ(read_bytes(listing), "Runtime/Libraries/Caf\xc3\xa9/Sc\xc3\xa8ne.pz3 2048 8 " + std::to_string(k_scene.size()) +
                                       " 0o100644\nRuntime/Textures/skin.jpg 0 0 7000 0o100644\n");  // plain files, readable by all
}
#endif

}  // namespace
