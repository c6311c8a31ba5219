// The report of product zips: what breaks their install, what they need from the roots, hostile
// and faulty zips read without writing anything and in bounded memory.
#include "engine/report/product_report.h"

#include "engine/base/ascii.h"
#include "engine/zip/zip_writer.h"
#include "tests/zip_maker.h"

#include <gtest/gtest.h>

namespace {

const std::string k_zip = native("/x/P.zip");
const std::string k_figure = "Runtime/Libraries/Character/Fig.cr2";

MadeEntry figure(const std::string& folder = "")
{
    return MadeEntry(folder + k_figure, "figureResFile :Runtime:Geometries:Base:base.obj\ntextureMap :Runtime:Textures:fig.jpg\n");
}

// The figure and its texture below `folder`, and `more`, in the order the zip takes them.
std::string product(std::vector<MadeEntry> more, const std::string& folder = "")
{
    more.push_back(figure(folder));
    more.emplace_back(folder + "Runtime/Textures/fig.jpg", "jpg", false);
    return made_zip(more);
}

// A zip past 65,535 entries, which only Zip64 records can count.
std::string zip64_product()
{
    fsys::MemoryFileSystem disk;
    disk.add_file(native("/f.cr2"), figure().data);
    zipfs::ZipWriter writer(disk, native("/z.zip"));
    std::string reason;
    for (int k = 0; k < 65536; ++k) {
        writer.add_bytes("Runtime/Textures/t" + std::to_string(k) + ".png", "", 0, reason);
    }
    writer.add_file(k_figure, native("/f.cr2"), 0, reason);
    writer.add_bytes("Runtime/Textures/fig.jpg", "jpg", 0, reason);
    writer.finish(reason);
    return disk.bytes(native("/z.zip"));
}

// What the report says of a product: package problems, what is needed from the roots and from
// where, and how many references are missing and documents unreadable.
std::string summary(const LibraryReport& r)
{
    const auto problem = [](const ReportPackageProblem& p) { return zipfs::problem_kind_name(p.problem.kind) + (" " + p.problem.entry); };
    const auto needed = [&r](const ReportProblem& p) { return "needs " + p.target + " from " + std::string(r.from(p.root)); };
    return joined(r.package, problem, ", ") + joined(r.dependencies, needed, ", ") + "broken " + std::to_string(r.broken_count()) + ", unreadable " +
           std::to_string(r.unreadable.size());
}

TEST(ProductReport, HostileAndFaultyZips)
{
    MadeEntry bomb(k_figure, "");
    bomb.packed = raw_deflate(std::string(1, '\0'), std::uint64_t(200) << 20);
    bomb.claimed_size = 1000;
    const std::string clean = product({});
    const std::string needs = "needs :Runtime:Geometries:Base:base.obj from root, ", fine = needs + "broken 0, unreadable 0";
    // A compressed figure of a few kilobytes repeating one reference past the bound of its entry's size.
    const std::string use = "textureMap :Runtime:Textures:fig.jpg\n";
    const std::string uses = repeated(use, (9 << 20) / use.size() + 1);
    const std::string crz = "Runtime/Libraries/Character/Fig.crz";
    const std::pair<std::string, std::string> cases[] = {
        {clean, fine},
        {product({}, "Product/"), "runtime_too_deep Product/, " + fine},
        {zip64_product(), fine},
        {product({}, "Content/Poser/"), "no_runtime , " + needs + "broken 1, unreadable 0"},
        {product({MadeEntry("../evil.cr2", "x")}), "unsafe_name ../evil.cr2, " + fine},
        {product({link_entry("Runtime/l.cr2", "/etc")}), "link Runtime/l.cr2, " + fine},
        {product({MadeEntry("Runtime/Textures/FIG.JPG", "x")}), "case_twins Runtime/Textures/fig.jpg, " + fine},
        {product({MadeEntry("Runtime/.DS_Store", "x")}), "archiver_junk Runtime/.DS_Store, " + fine},
        {product({MadeEntry("Runtime/Libraries/Character/Fig_zz01.cr2", "x")}), "backup Runtime/Libraries/Character/Fig_zz01.cr2, " + fine},
        {product({MadeEntry("Runtime/Caf\xe9.txt", "x")}), "unmarked_non_ascii Runtime/Caf\xe9.txt, " + fine},
        {product({MadeEntry("Runtime/Libraries/Props/net.pp2", "figureResFile \\\\server\\share\\x.obj\n")}),
         "network_reference Runtime/Libraries/Props/net.pp2, " + needs + "broken 1, unreadable 0"},
        {made_zip({bomb}), "unreadable_entry " + k_figure + ", broken 0, unreadable 1"},
        {product({MadeEntry(crz, gzip_text(uses))}), "unreadable_entry " + crz + ", " + needs + "broken 0, unreadable 1"},
        {clean.substr(0, clean.size() - 10), "unreadable_zip , broken 0, unreadable 0"},
    };
    for (const auto& [zip, expected] : cases) {
        fsys::MemoryFileSystem disk;
        disk.add_file(native("/poser/Runtime/Geometries/Base/base.obj"), "v\n");
        disk.add_file(k_zip, zip);
        const auto before = disk.tree(native("/"));
        ChangesSeen changes(disk);
        PeakMemory memory;
        EXPECT_EQ(summary(build_product_report(disk, {k_zip}, {native("/poser")}, 4)), expected);
        EXPECT_EQ(changes.list, std::vector<std::string>()) << expected;
        EXPECT_EQ(disk.tree(native("/")), before) << expected;
        for (const std::string& path : disk.paths_asked()) {
            EXPECT_EQ(path.find("server"), std::string::npos) << path;  // a share is never asked about
        }
        // The bomb inflates 200 MiB twice in a few MiB; the directory of 65,536 entries, read by each reader, takes most.
        EXPECT_LT(memory.above_start(), 48 << 20) << expected;
    }
}

// What a product needs from the roots is needed however it is found there: by its path, by its letter case alone (a
// base figure's folder named "geometries", as real content has it), or by name.
TEST(ProductReport, WhereEachTargetWasFound)
{
    fsys::MemoryFileSystem disk;
    disk.add_file(native("/poser/Runtime/geometries/Base/base.obj"), "v\n");
    disk.add_file(native("/poser/Runtime/Textures/moved/fig.jpg"), "jpg");
    disk.add_file(k_zip, made_zip({figure()}));
    const LibraryReport r = build_product_report(disk, {k_zip}, {native("/poser")}, 2);
    EXPECT_EQ(r.roots, (std::vector<std::string>{k_zip, native("/poser")}));
    EXPECT_EQ(summary(r), "needs :Runtime:Geometries:Base:base.obj from root, needs :Runtime:Textures:fig.jpg from root, broken 1, "
                          "unreadable 0");
    EXPECT_EQ(lower_ascii(r.dependencies[0].candidates.at(0)), native("/poser/runtime/geometries/base/base.obj"));
    EXPECT_EQ(r.dependencies[0].uses.at(0).file, k_zip + native("/" + k_figure));
    EXPECT_EQ(std::string(status_name(r.dependencies[1].status)) + " from " + std::string(r.from(r.dependencies[1].root)),
              "moved from root");
}

}  // namespace
