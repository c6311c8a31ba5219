// The boundary between a stranger's paths and the disk: hostile paths read by either system's
// rules, and every reader of a library refusing them without ever asking the disk about them.
#include "engine/collect/collect_plan.h"
#include "engine/repair/poserfile.h"
#include "tests/test_support.h"

#include <sys/stat.h>

namespace {

// What the boundary makes of a path: the refusal's name, or the names it lets below the root.
std::string bounded(std::string_view path, PathStyle style)
{
    const BoundedPath b = bounded_path(path, style);
    const std::string names = joined(b.names, [](std::string_view name) { return "/" + std::string(name); }, "");
    return b.refusal == Refusal::none ? names.substr(names.empty() ? 0 : 1) : std::string(refusal_name(b.refusal));
}

TEST(PathBoundary, HostilePathsByEitherSystemsRules)
{
    // A path, then what POSIX rules and Windows rules make of it.
    const std::string cases[][3] = {
        {":Runtime:Geometries:..:Textures:.:a.jpg", "Runtime/Textures/a.jpg", "Runtime/Textures/a.jpg"},
        {":Runtime:..:..:private:notes.obj", "climbs_out", "climbs_out"},
        {":Runtime:...:.. :x.obj", "Runtime/.../.. /x.obj", "climbs_out"},
        {"\\\\server\\share\\x.obj", "network_path", "network_path"},
        {"//", "network_path", "network_path"},  // two separators alone (a share with forward slashes: the document below)
        {"\\\\?\\UNC\\server\\share\\x.obj", "network_path", "network_path"},
        {"\\\\.\\", "device", "device"},  // the namespace of devices itself
        {"\\\\?\\C:\\x.obj", "device", "device"},
        {"\\\\?\\C:x\\y.obj", "device", "device"},  // a separator where a share's name would follow UNC
        {"\\??\\C:\\x.obj", "device", "device"},
        {":Runtime:com1 .x:nul.obj", "Runtime/com1 .x/nul.obj", "device"},
        {":Runtime:console.obj:com10.obj", "Runtime/console.obj/com10.obj", "Runtime/console.obj/com10.obj"},
    };
    for (const auto& [path, posix, windows] : cases) {
        EXPECT_EQ(bounded(path, PathStyle::posix) + " | " + bounded(path, PathStyle::windows), posix + " | " + windows) << path;
    }
}

// A document reaching out of the library every way (a device name only with Windows rules), and a mesh inside.
const std::string k_hostile = "figureResFile :Runtime:..:..:private:notes.obj\n"
                              "textureMap \":Runtime:Textures:..:..:..:private:key.jpg\"\n"
                              "bumpMap \"\\\\server\\share\\b.jpg\"\nreflectionMap //server/share/r.jpg\n"
                              "transparencyMap \"\\\\?\\UNC\\server\\share\\t.jpg\"\nreadScript \"\\\\.\\pipe\\private\"\n"
                              "morphBinaryFile :Runtime:libraries:CON.pmd\nobjFile :Runtime:Geometries:fine.obj\n";

// The report, collect, the extended repair and its dry run read `doc` below `root` on `disk`:
// `refused` references refused with their reason, each left as it is, and nobody asked.
void read_by_every_reader(fsys::FileSystem& disk, const std::string& doc, const std::string& root, long long refused)
{
    const std::vector<std::string> roots{root};
    const LibraryReport r = build_library_report(disk, {doc}, roots, 2);
    EXPECT_EQ(r.count(RefStatus::refused), refused);
    EXPECT_TRUE(r.broken() && r.problems.front().refusal == Refusal::network);  // "//server..." sorts first
    const CollectPlan plan = plan_collection(disk, {doc}, roots);
    EXPECT_EQ(plan.files.size() + plan.missing.size(), 9u);  // the document, then each reference once
    EXPECT_EQ(static_cast<long long>(plan.missing.size()), refused);
    UnheardDryRun unheard;
    for (DryRunSink* dry : {static_cast<DryRunSink*>(nullptr), static_cast<DryRunSink*>(&unheard)}) {
        ::Run run(disk);
        start_engine(run, root, true, true, dry);
        run.LOG = std::make_unique<TextWriter>();
        run.LOG->open_in_memory();
        EXPECT_EQ(seen_repairing(run, doc), Lines{"title\t" + doc});
        EXPECT_EQ(run.tally.left, refused);
        EXPECT_EQ(dry != nullptr, run.LOG->take_text().find("left as it is: \\\\server\\share\\b.jpg (a network path, "
                                                            "not looked up)") == std::string::npos);
    }
}

// No path above the root, no share and (with Windows rules) no device name among those asked about.
void never_asked(const std::vector<std::string>& asked, bool windows)
{
    EXPECT_FALSE(asked.empty());
    for (const std::string& path : asked) {
        const std::string lower = lower_ascii(path);
        EXPECT_TRUE(lower.find("private") == std::string::npos && lower.find("server") == std::string::npos &&
                    !(windows && lower.find("con.") != std::string::npos))
            << "asked about " << path;
    }
}

TEST(PathBoundary, EveryReaderRefusesAndNeverAsksTheDisk)
{
    const std::string doc = native("/lib/Runtime/Libraries/Props/p.pp2"), mesh = native("/lib/Runtime/Libraries/Props/m.pp2");
    for (fsys::DiskRules rules : {fsys::DiskRules::posix, fsys::DiskRules::windows}) {
        const bool windows = rules == fsys::DiskRules::windows;
        SCOPED_TRACE(windows ? "Windows rules" : "POSIX rules");
        fsys::MemoryFileSystem disk(rules);
        disk.add_file(doc, k_hostile);
        disk.add_file(mesh, "objFile :Runtime:Geometries:CON.obj\n");
        for (const char* file : {"/lib/Runtime/Geometries/fine.obj", "/private/notes.obj", "/private/key.jpg",
                                 "/lib/Runtime/libraries/CON.pmd", "/lib/Runtime/Geometries/CON.obj"}) {
            disk.add_file(native(file), "bytes");  // no CON with Windows rules
        }
        read_by_every_reader(disk, doc, native("/lib"), windows ? 7 : 6);
        // The default repair takes a device for a missing mesh without opening it.
        ::Run run(disk);
        reset_engine(run, native("/lib"));
        EXPECT_EQ(seen_repairing(run, mesh, {"cancel"}).size(), windows ? 2u : 1u);
        never_asked(disk.paths_asked(), windows);
    }
}

// The same on the real disk, Windows' own under wine; and there, pipes and files the system makes up.
TEST(PathBoundary, TheRealDiskIsNeverAskedAboutThemAndPipesAndSystemFilesAreRefusedByTheirType)
{
    TempDir dir;
    const std::string doc = dir.at("lib/Runtime/Libraries/Props/p.pp2");
    write_bytes(doc, k_hostile);
    write_files(dir, {"lib/Runtime/Geometries/fine.obj", "private/notes.obj"}, "v\n");
    const bool windows = fsys::k_sep == '\\';
    if (!windows) {
        write_bytes(dir.at("lib/Runtime/libraries/CON.pmd"), "");
    }
    FailingFileSystem disk;
    read_by_every_reader(disk, doc, dir.at("lib"), windows ? 7 : 6);
    never_asked(disk.asked, windows);
#ifndef _WIN32
    // A pipe (also through a link) and a file the system makes up are refused by their type: nothing waits for a
    // writer to the pipe, and nothing of /proc is read or collected.
    write_bytes(doc, "objFile :Runtime:Geometries:pipe.obj\ntextureMap /proc/self/environ\nbumpMap :Runtime:pipe.jpg\n");
    ASSERT_EQ(::mkfifo(dir.at("lib/Runtime/Geometries/pipe.obj").c_str(), 0600), 0);
    std::filesystem::create_symlink(dir.at("lib/Runtime/Geometries/pipe.obj"), dir.at("lib/Runtime/pipe.jpg"));
    const LibraryReport r = build_library_report(fsys::disk(), {dir.at("lib")}, {dir.at("lib")}, 2);
    EXPECT_EQ(r.count(RefStatus::refused), 3);
    EXPECT_TRUE(std::all_of(r.problems.begin(), r.problems.end(), [](auto& p) { return p.refusal == Refusal::special_file; }));
    const CollectPlan plan = plan_collection(fsys::disk(), {doc}, {dir.at("lib")});
    EXPECT_EQ(plan.files.size() * 10 + plan.missing.size(), 13u);
#endif
}

}  // namespace
