// The check of product zips: each hostile or careless zip gives exactly its problems, writes
// nothing anywhere, and is checked in bounded memory however far its entries would inflate.
#include "engine/zip/package_check.h"
#include "engine/zip/zip_entries.h"
#include "tests/zip_maker.h"

#include <gtest/gtest.h>

namespace {

const std::string k_zip = std::string(1, fsys::k_sep) + "PRODUCT.zip";
const std::string k_doc = "Runtime/Libraries/Character/Figure.cr2";

struct Case {
    const char* what;
    std::string zip;
    std::vector<std::string> problems;  // "kind entry"
    std::string message = "";           // a part of the first problem's message
};

TEST(PackageCheck, HostileAndFaultyZipsAndWhatTheDirectoryAloneShows)
{
    MadeEntry honest_bomb = entry("Runtime/Textures/zeros.jpg", "");
    honest_bomb.packed = raw_deflate(std::string(1, '\0'), std::uint64_t(200) << 20);  // 200 KiB
    honest_bomb.claimed_size = std::int64_t(200) << 20;
    MadeEntry lying_bomb = honest_bomb;
    lying_bomb.claimed_size = 1000;
    MadeEntry short_entry = entry("Runtime/Textures/short.png", std::string(100, 'a'));
    short_entry.claimed_size = 5000;
    MadeEntry marked = entry("Runtime/Libraries/Caf\xc3\xa9.cr2");
    marked.utf8_mark = true;
    MadeEntry bad_crc = entry(k_doc, "version 4\n");
    bad_crc.packed = raw_deflate("version 5\n");
    const std::string clean = zip_of({"Runtime/", k_doc, "Runtime/Geometries/Figure/figure.obj"});
    std::string mislabelled = zip_of({k_doc});
    mislabelled[30] = 'X';  // the local header names another file than the directory does
    std::string overlapping = zip_of({k_doc, "Runtime/b.cr2"});
    const std::size_t second = overlapping.find("PK\x01\x02", overlapping.find("PK\x01\x02") + 4);
    overlapping[second + 42] = 10;  // the second entry begins inside the first
    overlapping[second + 43] = overlapping[second + 44] = overlapping[second + 45] = 0;
    const std::string deep = "Runtime/" + repeated("a/", 30000);
    // A compressed document of two members inflating past its bound only in the second.
    std::string numbers;
    for (int k = 0; numbers.size() < (300 << 10); ++k) {
        numbers += std::to_string(k * k) + ' ';
    }
    const MadeEntry late_bomb("Runtime/Libraries/Props/b.ppz", gzip_text(numbers) + gzip_text(std::string(32 << 20, '\0')));
    const Case cases[] = {
        {"a clean product", clean, {}},
        {"a UTF-8 name with its mark", made_zip({entry(k_doc), marked}), {}},
        {"a name 30,000 folders deep", zip_of({k_doc, deep + "x.cr2"}), {"path_too_long " + deep + "x.cr2"}, "260"},
        {"one folder too deep", zip_of({"Product/", "Product/Runtime/", "Product/" + k_doc}),
         {"runtime_too_deep Product/"}, "unpack this zip one folder up"},
        {"no Runtime", zip_of({"Libraries/Character/Figure.cr2"}), {"no_runtime "}, "no Runtime folder"},
        {"a file named Runtime", zip_of({"Runtime", "ReadMe.txt"}), {"no_runtime "}},
        {"no entries", made_zip({}), {"no_runtime "}},
        {"'..'", zip_of({k_doc, "Runtime/../../evil.cr2"}), {"unsafe_name Runtime/../../evil.cr2"}, "'..'"},
        {"absolute", zip_of({k_doc, "/etc/evil.cr2"}), {"unsafe_name /etc/evil.cr2"}, "top folder"},
        {"backslashes", zip_of({k_doc, "Runtime\\Libraries\\a.cr2"}), {"unsafe_name Runtime\\Libraries\\a.cr2"}, "backslash"},
        {"a drive", zip_of({k_doc, "C:/Runtime/a.cr2"}), {"unsafe_name C:/Runtime/a.cr2"}, "drive letter"},
        {"an empty component", zip_of({k_doc, "Runtime//a.cr2"}), {"unsafe_name Runtime//a.cr2"}, "empty folder name"},
        {"a symbolic link", made_zip({entry(k_doc), link_entry("Runtime/Libraries/link.cr2", "../../../../etc/passwd")}),
         {"link Runtime/Libraries/link.cr2"}, "symbolic link"},
        {"Latin-1 without the mark", zip_of({k_doc, "Runtime/Caf\xe9.cr2"}), {"unmarked_non_ascii Runtime/Caf\xe9.cr2"}, "UTF-8 mark"},
        {"UTF-8 without the mark", zip_of({k_doc, "Runtime/Caf\xc3\xa9.cr2"}), {"unmarked_non_ascii Runtime/Caf\xc3\xa9.cr2"}},
        {"case twins", zip_of({k_doc, "Runtime/Libraries/character/figure.CR2"}),
         {"case_twins Runtime/Libraries/character/figure.CR2"}, "only in letter case"},
        {"a file stored twice (a folder may be)", zip_of({"Runtime/", k_doc, k_doc, "Runtime/"}), {"duplicate_name " + k_doc}},
        {"a file that is also a folder", zip_of({"Runtime/x", "Runtime/x/y.cr2"}), {"file_and_folder Runtime/x"}},
        {"leftovers", zip_of({k_doc, "__MACOSX/Runtime/._Figure.cr2", "__MACOSX/Runtime/x", "Runtime/.DS_Store", "Runtime/Thumbs.db"}),
         {"archiver_junk __MACOSX/", "archiver_junk Runtime/.DS_Store", "archiver_junk Runtime/Thumbs.db"}},
        {"backups", zip_of({k_doc, "Runtime/Libraries/Character/Figure_zz01.cr2", "Runtime/tarnwick-runs/1/a.cr2"}),
         {"backup Runtime/Libraries/Character/Figure_zz01.cr2", "backup Runtime/tarnwick-runs/"}},
        {"truncated", clean.substr(0, clean.size() / 2), {"unreadable_zip "}, "not a zip archive"},
        {"not a zip", "version { number 4.01 }\n", {"unreadable_zip "}, "not a zip archive"},
        {"a local header naming another file", mislabelled, {"unreadable_zip "}, "inconsistent"},
        {"entries that overlap", overlapping, {"unreadable_zip "}, "its entries overlap"},
        {"a bomb", made_zip({entry(k_doc), honest_bomb}), {"unreadable_entry Runtime/Textures/zeros.jpg"}, "zip bomb"},
        {"a bomb lying about its size", made_zip({entry(k_doc), lying_bomb}),
         {"unreadable_entry Runtime/Textures/zeros.jpg"}, "more bytes than its directory record says"},
        {"shorter than it says", made_zip({entry(k_doc), short_entry}), {"unreadable_entry Runtime/Textures/short.png"}, "ends after"},
        {"a bad checksum", made_zip({bad_crc}), {"unreadable_entry " + k_doc}, "checksum"},
        {"a document inflating too far", made_zip({entry(k_doc), late_bomb}), {"unreadable_entry " + late_bomb.name}, "gzip bomb"},
    };
    for (const Case& c : cases) {
        fsys::MemoryFileSystem disk;
        disk.add_file(k_zip, c.zip);
        ChangesSeen changes(disk);
        PeakMemory memory;
        std::vector<std::string> got;
        for (const zipfs::PackageProblem& p : zipfs::check_package(disk, k_zip)) {
            got.push_back(std::string(zipfs::problem_kind_name(p.kind)) + " " + p.entry);
            EXPECT_EQ(p.message.find('\n'), std::string::npos) << c.what;
            if (got.size() == 1) {
                EXPECT_NE(p.message.find(c.message), std::string::npos) << c.what << ": " << p.message;
            }
        }
        EXPECT_EQ(got, c.problems) << c.what;
        EXPECT_EQ(changes.list, std::vector<std::string>()) << c.what;
        // Inflating 200 MiB, or a name 30,000 folders deep, never holds more than a few MiB at once.
        EXPECT_LT(memory.above_start(), 32 << 20) << c.what;
        // The directory alone shows a bomb that says its size; one that lies, or a bad checksum, needs the contents read.
        const std::string what = c.what;
        if (what == "a bomb" || what == "a bomb lying about its size" || what == "a bad checksum") {
            EXPECT_EQ(zipfs::check_package(disk, k_zip, zipfs::CheckDepth::directory).size(), what == "a bomb" ? 1u : 0u) << what;
        }
    }
}

TEST(PackageCheck, NameFaultsAndBounds)
{
    using zipfs::NameFault;
    const std::pair<std::string, NameFault> samples[] = {
        {"Runtime/..a/b..", NameFault::none},    {"/", NameFault::empty},
        {{"a\0b", 3}, NameFault::nul},           {"a.cr2:stream", NameFault::drive_letter},
        {"Runtime/./a", NameFault::dot},         {"Runtime//", NameFault::empty_component},
    };
    for (const auto& [name, fault] : samples) {
        EXPECT_EQ(zipfs::name_fault(name), fault) << name;
    }
    // Windows counts UTF-16 units: the drive, the NUL, two for each character beyond the basic plane, one for others.
    EXPECT_EQ(zipfs::installed_path_length("a/\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf\xc3\xa9"), 4u + 2 + 2 + 2 + 1);
    EXPECT_EQ(zipfs::inflate_bound(1000), 8u << 20);
    EXPECT_EQ(zipfs::inflate_bound(1 << 20), 100u << 20);
    EXPECT_EQ(zipfs::inflate_bound(~std::uint64_t(0)), std::uint64_t(4) << 30);
}

}  // namespace
