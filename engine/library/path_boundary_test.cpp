// The boundary between a stranger's paths and the disk: hostile paths read by either system's
// rules, and every reader of a library refusing them without ever asking the disk about them.
#include "engine/collect/collect_plan.h"
#include "engine/fsys/memory_fs.h"
#include "engine/library/path_boundary.h"
#include "engine/repair/poserfile.h"
#include "engine/report/library_report.h"
#include "tests/test_support.h"

#include <sys/stat.h>

namespace {

// What the boundary makes of a path: the refusal's name, or the names it lets below the root.
std::string bounded(std::string_view path, PathStyle style)
{
    const BoundedPath b = bounded_path(path, style);
    std::string names;
    for (std::string_view name : b.names) {
        names += (names.empty() ? "" : "/") + std::string(name);
    }
    return b.refusal == Refusal::none ? names : std::string(refusal_name(b.refusal));
}

TEST(PathBoundary, HostilePathsByEitherSystemsRules)
{
    // A path, then what POSIX rules and Windows rules make of it.
    const std::string cases[][3] = {
        {":Runtime:Geometries:a.obj", "Runtime/Geometries/a.obj", "Runtime/Geometries/a.obj"},
        {":Runtime:Geometries:..:Textures:.:a.jpg", "Runtime/Textures/a.jpg", "Runtime/Textures/a.jpg"},
        {":Runtime:..:..:private:notes.obj", "climbs_out", "climbs_out"},
        {"..\\x.obj", "climbs_out", "climbs_out"},
        {"a/b/../../../x.obj", "climbs_out", "climbs_out"},
        {":Runtime:...:.. :x.obj", "Runtime/.../.. /x.obj", "climbs_out"},
        {"\\\\server\\share\\x.obj", "network_path", "network_path"},
        {"//server/share/x.obj", "network_path", "network_path"},
        {"\\\\?\\UNC\\server\\share\\x.obj", "network_path", "network_path"},
        {"//./unc/server/x.obj", "network_path", "network_path"},
        {"\\\\.\\PhysicalDrive0", "device", "device"},
        {"\\\\?\\C:\\x.obj", "device", "device"},
        {"\\??\\C:\\x.obj", "device", "device"},
        {"\\\\?", "device", "device"},
        {":Runtime:Geometries:CON", "Runtime/Geometries/CON", "device"},
        {":Runtime:Geometries:nul.obj", "Runtime/Geometries/nul.obj", "device"},
        {":Runtime:com1 .x:a.obj", "Runtime/com1 .x/a.obj", "device"},
        {":Runtime:LPT\xc2\xb9.obj", "Runtime/LPT\xc2\xb9.obj", "device"},
        {":Runtime:Geometries:console.obj:com10.obj", "Runtime/Geometries/console.obj/com10.obj",
         "Runtime/Geometries/console.obj/com10.obj"},
    };
    for (const auto& [path, posix, windows] : cases) {
        EXPECT_EQ(bounded(path, PathStyle::posix), posix) << path;
        EXPECT_EQ(bounded(path, PathStyle::windows), windows) << path;
    }
}

// A document whose references reach out of the library every way, and one that stays inside.
const std::pair<std::string, std::string> k_hostile[] = {
    {"figureResFile :Runtime:..:..:private:notes.obj", "climbs_out"},
    {"textureMap \":Runtime:Textures:..:..:..:private:key.jpg\"", "climbs_out"},
    {"bumpMap \"\\\\server\\share\\b.jpg\"", "network_path"},
    {"reflectionMap //server/share/r.jpg", "network_path"},
    {"transparencyMap \"\\\\?\\UNC\\server\\share\\t.jpg\"", "network_path"},
    {"readScript \"\\\\.\\pipe\\private\"", "device"},
    {"morphBinaryFile :Runtime:libraries:CON.pmd", "device"},  // a device with Windows rules only
};

struct HostileLibrary {
    explicit HostileLibrary(fsys::DiskRules rules) : disk(rules)
    {
        std::string text;
        for (const auto& [line, refusal] : k_hostile) {
            text += line + "\n";
        }
        disk.add_file(native("/lib/Runtime/Libraries/Props/p.pp2"), text + "objFile :Runtime:Geometries:fine.obj\n");
        disk.add_file(native("/lib/Runtime/Geometries/fine.obj"), "v\n");
        disk.add_file(native("/private/notes.obj"), "secret");
        disk.add_file(native("/private/key.jpg"), "secret");
        disk.add_file(native("/lib/Runtime/libraries/CON.pmd"), "morphs");  // nothing with Windows rules
    }
    // The refusals expected, by target, in the document's order.
    Lines expected() const
    {
        Lines out;
        for (const auto& [line, refusal] : k_hostile) {
            if (disk.path_style() == PathStyle::windows || refusal != "device" || line[0] != 'm') {
                out.push_back(refusal);
            }
        }
        return out;
    }
    // True when no path the program gave the disk names what the document reached for.
    bool nothing_hostile_asked() const
    {
        for (const std::string& path : disk.paths_asked()) {
            const std::string lower = lower_ascii(path);
            if (lower.find("private") != std::string::npos || lower.find("server") != std::string::npos ||
                (disk.path_style() == PathStyle::windows && lower.find("con.") != std::string::npos)) {
                ADD_FAILURE() << "asked about " << path;
                return false;
            }
        }
        return true;
    }
    fsys::MemoryFileSystem disk;
    const std::string doc = native("/lib/Runtime/Libraries/Props/p.pp2");
    const std::vector<std::string> roots{native("/lib")};
};

TEST(PathBoundary, EveryReaderRefusesAndNeverAsksTheDisk)
{
    for (fsys::DiskRules rules : {fsys::DiskRules::posix, fsys::DiskRules::windows}) {
        SCOPED_TRACE(rules == fsys::DiskRules::windows ? "Windows rules" : "POSIX rules");
        // The report names each refused reference and its reason, and counts it as broken.
        HostileLibrary report_lib(rules);
        const LibraryReport r = build_library_report(report_lib.disk, {report_lib.doc}, report_lib.roots, 2);
        Lines refused;
        for (const ReportProblem& p : r.problems) {
            refused.push_back(p.status == RefStatus::refused ? std::string(refusal_name(p.refusal)) : p.target);
        }
        std::sort(refused.begin(), refused.end());
        Lines expected = report_lib.expected();
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(refused, expected);
        EXPECT_TRUE(r.broken() && report_lib.nothing_hostile_asked());

        // The extended repair (its dry run too) leaves each as it is, with its reason.
        for (bool dry : {false, true}) {
            HostileLibrary lib(rules);
            ::Run run(lib.disk);
            reset_engine(run, lib.roots.front());
            struct : DryRunSink {
                void would_change(const std::string&, const std::string&, const std::string&) override {}
                void would_leave(const std::string&, std::string_view) override {}
            } sink;
            use_library_rules(run, LibraryOptions{true, lib.roots, {}}).set_dry_run(dry ? &sink : nullptr);
            run.LOG = std::make_unique<TextWriter>();
            run.LOG->open_in_memory();
            ScriptedSession s;
            repair(run, lib.doc, s.wn);
            const std::string log = run.LOG->take_text();
            EXPECT_EQ(run.tally.left, static_cast<long long>(lib.expected().size()));
            EXPECT_EQ(s.transcript(), Lines{"title\t" + lib.doc});
            if (!dry) {
                EXPECT_NE(log.find("left as it is: \\\\server\\share\\b.jpg (a network path, not looked up)"), std::string::npos);
            }
            EXPECT_TRUE(lib.nothing_hostile_asked());
        }

        // The default repair takes a device for a missing mesh without opening it (its pointers
        // stay below the Poser root, ".." as it always read them).
        HostileLibrary fixed(rules);
        fixed.disk.add_file(fixed.doc, "objFile :Runtime:Geometries:CON.obj\n");
        fixed.disk.add_file(native("/lib/Runtime/Geometries/CON.obj"), "v\n");  // a file with POSIX rules alone
        ::Run run(fixed.disk);
        reset_engine(run, fixed.roots.front());
        ScriptedSession s({"cancel"});
        readposerfile(run, fixed.doc, s.wn);
        Lines seen{"title\t" + fixed.doc};
        if (rules == fsys::DiskRules::windows) {
            seen.push_back(chooser_line(native("/lib/Runtime/Geometries/CON.obj"), "cancel"));
        }
        EXPECT_EQ(s.transcript(), seen);
        EXPECT_TRUE(fixed.nothing_hostile_asked());

        // Collect takes none of them, and names each with its reason.
        HostileLibrary collected(rules);
        const CollectPlan plan = plan_collection(collected.disk, {collected.doc}, collected.roots);
        Lines names;
        for (const CollectedFile& f : plan.files) {
            names.push_back(f.name);
        }
        const bool posix = rules == fsys::DiskRules::posix;
        const Lines expected_names = posix ? Lines{"Runtime/Libraries/Props/p.pp2", "Runtime/libraries/CON.pmd",
                                                   "Runtime/Geometries/fine.obj"}
                                           : Lines{"Runtime/Libraries/Props/p.pp2", "Runtime/Geometries/fine.obj"};
        EXPECT_EQ(names, expected_names);
        EXPECT_EQ(plan.missing.size(), collected.expected().size());
        EXPECT_TRUE(collected.nothing_hostile_asked());
    }
}

#ifndef _WIN32
// On a real disk, a pipe and a file the system makes up are refused by their type: nothing
// waits for a writer to the pipe, and nothing of /proc is read or collected.
TEST(PathBoundary, PipesAndSystemFilesRefusedByTheirType)
{
    TempDir dir;
    write_bytes(dir.at("lib/Runtime/Libraries/Props/p.pp2"),
                "objFile :Runtime:Geometries:pipe.obj\ntextureMap /proc/self/environ\nbumpMap :Runtime:Textures:pipe.jpg\n");
    std::filesystem::create_directories(dir.at("lib/Runtime/Geometries"));
    std::filesystem::create_directories(dir.at("lib/Runtime/Textures"));
    ASSERT_EQ(::mkfifo(dir.at("lib/Runtime/Geometries/pipe.obj").c_str(), 0600), 0);
    std::filesystem::create_symlink(dir.at("lib/Runtime/Geometries/pipe.obj"), dir.at("lib/Runtime/Textures/pipe.jpg"));
    const LibraryReport r = build_library_report(fsys::disk(), {dir.at("lib")}, {dir.at("lib")}, 2);
    ASSERT_EQ(r.problems.size(), 3u);
    for (const ReportProblem& p : r.problems) {
        EXPECT_EQ(std::string(status_name(p.status)) + " " + std::string(refusal_name(p.refusal)), "refused special_file")
            << p.target;
    }
    const CollectPlan plan = plan_collection(fsys::disk(), {dir.at("lib/Runtime/Libraries/Props/p.pp2")}, {dir.at("lib")});
    EXPECT_EQ(plan.files.size(), 1u);
    EXPECT_EQ(plan.missing.size(), 3u);
}
#endif

}  // namespace
