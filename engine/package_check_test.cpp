// The check of product zips: each hostile or careless zip gives exactly its problems, writes
// nothing anywhere, and is checked in bounded memory however far its entries would inflate.
#include "engine/package_check.h"
#include "engine/zip_entries.h"
#include "tests/zip_maker.h"
#include "tests/zip_test_disk.h"

#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using zipfs::CheckDepth;

namespace {

const std::string k_zip = std::string(1, fsys::k_sep) + "PRODUCT.zip";

// The memory the process holds now, where the system says it; 0 elsewhere.
long long resident_bytes()
{
#ifdef __linux__
    long long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
#else
    return 0;
#endif
}

struct Checked {
    std::vector<std::string> problems;  // "kind entry"
    std::vector<std::string> messages;
    std::vector<std::string> changes;
    long long peak_growth = 0;
};

Checked check(const std::string& zip, CheckDepth depth = CheckDepth::contents)
{
    ZipTestDisk disk;
    disk.add_file(k_zip, zip);
    const long long base = resident_bytes();
    long long peak = base;
    disk.on_read([&] { peak = std::max(peak, resident_bytes()); });
    Checked out;
    for (const zipfs::PackageProblem& p : zipfs::check_package(disk, k_zip, depth)) {
        out.problems.push_back(std::string(zipfs::problem_kind_name(p.kind)) + " " + p.entry);
        out.messages.push_back(p.message);
    }
    out.peak_growth = std::max(peak, resident_bytes()) - base;
    out.changes = disk.changes();
    return out;
}

std::string zip_of(const std::vector<std::string>& names)
{
    return made_zip(text_entries(names));
}

MadeEntry entry(std::string name, std::string data = "x\n")
{
    return MadeEntry(std::move(name), std::move(data));
}

const std::string k_doc = "Runtime/Libraries/Character/Figure.cr2";

struct Case {
    const char* what;
    std::string zip;
    std::vector<std::string> problems;
    std::string first_message = "";  // a part of the first problem's message
};

std::vector<Case> hostile_zips()
{
    static const std::string bomb = deflated_zeros(std::uint64_t(200) << 20);  // 200 KiB on disk
    MadeEntry honest_bomb = entry("Runtime/Textures/zeros.jpg", "");
    honest_bomb.compressed = bomb;
    honest_bomb.claimed_size = std::int64_t(200) << 20;
    MadeEntry lying_bomb = honest_bomb;
    lying_bomb.claimed_size = 1000;
    MadeEntry short_entry = entry("Runtime/Textures/short.png", std::string(100, 'a'));
    short_entry.claimed_size = 5000;
    MadeEntry link = entry("Runtime/Libraries/link.cr2", "../../../../etc/passwd");
    link.unix_mode = 0120777;
    MadeEntry marked = entry("Runtime/Libraries/Caf\xc3\xa9.cr2");
    marked.utf8_mark = true;
    MadeEntry bad_crc = entry(k_doc, "version 4\n");
    bad_crc.compressed = raw_deflate("version 5\n");
    const std::string clean = zip_of({"Runtime/", k_doc, "Runtime/Geometries/Figure/figure.obj"});
    std::string mislabelled = zip_of({k_doc});
    mislabelled[30] = 'X';  // the local header names another file than the directory does
    std::string deep = "Runtime/";
    for (int k = 0; k < 30000; ++k) {
        deep += "a/";
    }
    return {
        {"a clean product", clean, {}},
        {"a name 30,000 folders deep", zip_of({k_doc, deep + "x.cr2"}), {}},
        {"a product with the UTF-8 mark on a non-ASCII name", made_zip({entry(k_doc), marked}), {}},
        {"one folder too deep", zip_of({"Product/", "Product/Runtime/", "Product/" + k_doc}),
         {"runtime_too_deep Product/"}, "unpack this zip one folder up"},
        {"no Runtime at all", zip_of({"Libraries/Character/Figure.cr2"}), {"no_runtime "}, "no Runtime folder"},
        {"an empty zip", made_zip({}), {"no_runtime "}},
        {"a '..' component", zip_of({k_doc, "Runtime/../../evil.cr2"}), {"unsafe_name Runtime/../../evil.cr2"}, "'..'"},
        {"an absolute name", zip_of({k_doc, "/etc/evil.cr2"}), {"unsafe_name /etc/evil.cr2"}, "top folder"},
        {"backslashes", zip_of({k_doc, "Runtime\\Libraries\\a.cr2"}), {"unsafe_name Runtime\\Libraries\\a.cr2"}, "backslash"},
        {"a drive letter", zip_of({k_doc, "C:/Runtime/a.cr2"}), {"unsafe_name C:/Runtime/a.cr2"}, "drive letter"},
        {"an empty component", zip_of({k_doc, "Runtime//a.cr2"}), {"unsafe_name Runtime//a.cr2"}, "empty folder name"},
        {"a symbolic link", made_zip({entry(k_doc), link}), {"link Runtime/Libraries/link.cr2"}, "symbolic link"},
        {"a Latin-1 name without the UTF-8 mark", zip_of({k_doc, "Runtime/Libraries/Caf\xe9.cr2"}),
         {"unmarked_non_ascii Runtime/Libraries/Caf\xe9.cr2"}, "without the UTF-8 mark"},
        {"a UTF-8 name without the mark", zip_of({k_doc, "Runtime/Libraries/Caf\xc3\xa9.cr2"}),
         {"unmarked_non_ascii Runtime/Libraries/Caf\xc3\xa9.cr2"}},
        {"case twins", zip_of({k_doc, "Runtime/Libraries/character/figure.CR2"}),
         {"case_twins Runtime/Libraries/character/figure.CR2"}, "only in letter case"},
        {"a name stored twice", zip_of({k_doc, k_doc}), {"duplicate_name " + k_doc}},
        {"a file that is also a folder", zip_of({"Runtime/x", "Runtime/x/y.cr2"}), {"file_and_folder Runtime/x"}},
        {"Mac and Windows leftovers", zip_of({k_doc, "__MACOSX/Runtime/._Figure.cr2", "__MACOSX/Runtime/x", "Runtime/.DS_Store", "Runtime/Thumbs.db"}),
         {"archiver_junk __MACOSX/", "archiver_junk Runtime/.DS_Store", "archiver_junk Runtime/Thumbs.db"}},
        {"backups", zip_of({k_doc, "Runtime/Libraries/Character/Figure_zz01.cr2", "Runtime/tarnwick-runs/1/a.cr2"}),
         {"backup Runtime/Libraries/Character/Figure_zz01.cr2", "backup Runtime/tarnwick-runs/"}},
        {"a truncated zip", clean.substr(0, clean.size() / 2), {"unreadable_zip "}, "not a zip archive"},
        {"no zip at all", "version { number 4.01 }\n", {"unreadable_zip "}, "not a zip archive"},
        {"a local header that names another file", mislabelled, {"unreadable_zip "}, "inconsistent"},
        {"a bomb that says its size", made_zip({entry(k_doc), honest_bomb}), {"unreadable_entry Runtime/Textures/zeros.jpg"}, "zip bomb"},
        {"a bomb that lies about its size", made_zip({entry(k_doc), lying_bomb}),
         {"unreadable_entry Runtime/Textures/zeros.jpg"}, "more bytes than its directory record says"},
        {"an entry shorter than it says", made_zip({entry(k_doc), short_entry}), {"unreadable_entry Runtime/Textures/short.png"}, "ends after"},
        {"data that fails its checksum", made_zip({bad_crc}), {"unreadable_entry " + k_doc}, "checksum"},
    };
}

TEST(PackageCheck, HostileAndFaultyZips)
{
    for (const Case& c : hostile_zips()) {
        const Checked got = check(c.zip);
        EXPECT_EQ(got.problems, c.problems) << c.what;
        if (!c.first_message.empty() && !got.messages.empty()) {
            EXPECT_NE(got.messages[0].find(c.first_message), std::string::npos) << c.what << ": " << got.messages[0];
        }
        for (const std::string& message : got.messages) {
            EXPECT_EQ(message.find('\n'), std::string::npos) << c.what;
        }
        EXPECT_EQ(got.changes, std::vector<std::string>()) << c.what;
        // Inflating 200 MiB, or listing any of these, never holds more than a few MiB at once.
        EXPECT_LT(got.peak_growth, 32 << 20) << c.what;
    }
}

TEST(PackageCheck, TheDirectoryAloneShowsAHonestBombButNotALyingOne)
{
    const std::vector<Case> cases = hostile_zips();
    for (const Case& c : cases) {
        const std::string what = c.what;
        if (what == "a bomb that says its size") {
            EXPECT_EQ(check(c.zip, CheckDepth::directory).problems, c.problems);
        }
        if (what == "a bomb that lies about its size" || what == "data that fails its checksum") {
            EXPECT_EQ(check(c.zip, CheckDepth::directory).problems, std::vector<std::string>()) << what;
        }
    }
}

TEST(PackageCheck, AZipThatCannotBeOpenedIsOneProblem)
{
    ZipTestDisk disk;
    const std::vector<zipfs::PackageProblem> problems = zipfs::check_package(disk, k_zip);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].kind, zipfs::ProblemKind::unreadable_zip);
    EXPECT_EQ(problems[0].message, "the zip cannot be read: the file cannot be opened for reading");
}

TEST(PackageCheck, NameFaults)
{
    const std::pair<std::string, zipfs::NameFault> samples[] = {
        {"Runtime/a.cr2", zipfs::NameFault::none},
        {"Runtime/", zipfs::NameFault::none},
        {"Runtime/..a/b..", zipfs::NameFault::none},
        {"", zipfs::NameFault::empty},
        {"/", zipfs::NameFault::empty},
        {std::string("Runtime/a\0b", 11), zipfs::NameFault::nul},
        {"/Runtime", zipfs::NameFault::absolute},
        {"Runtime\\a", zipfs::NameFault::backslash},
        {"C:Runtime", zipfs::NameFault::drive_letter},
        {"Runtime/a.cr2:stream", zipfs::NameFault::drive_letter},
        {"..", zipfs::NameFault::parent},
        {"Runtime/../a", zipfs::NameFault::parent},
        {"Runtime/./a", zipfs::NameFault::dot},
        {"Runtime//a", zipfs::NameFault::empty_component},
        {"Runtime//", zipfs::NameFault::empty_component},
    };
    for (const auto& [name, fault] : samples) {
        EXPECT_EQ(zipfs::name_fault(name), fault) << name;
    }
}

TEST(PackageCheck, InflateBound)
{
    EXPECT_EQ(zipfs::inflate_bound(0), 8u << 20);
    EXPECT_EQ(zipfs::inflate_bound(1000), 8u << 20);
    EXPECT_EQ(zipfs::inflate_bound(1 << 20), 100u << 20);
    EXPECT_EQ(zipfs::inflate_bound(std::uint64_t(1) << 30), std::uint64_t(4) << 30);
    EXPECT_EQ(zipfs::inflate_bound(~std::uint64_t(0)), std::uint64_t(4) << 30);
}

}  // namespace
