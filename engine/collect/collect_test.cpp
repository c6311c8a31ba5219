// Collecting a scene on a disk in memory: where each file goes, how the documents' references
// are renamed, the same zip twice, and nothing left behind by a collect that fails.
#include "engine/base/run_stop.h"
#include "engine/collect/collect_write.h"
#include "engine/zip/zip_fs.h"
#include "tests/changing_disk.h"
#include "tests/zip_maker.h"

#include <gtest/gtest.h>
#include <map>

namespace {

const std::string k_scene = "figureResFile :Runtime:Geometries:man:man.obj\r\n\ttextureMap \"skin.jpg\"\r\n"
                            "\tbumpMap " + absolute("/ext/bump.jpg") + "\r\n\treflectionMap \"" + absolute("/ext2/bump.jpg") +
                            "\"\r\n\ttransparencyMap :Runtime:Textures:gone.jpg\r\n"
                            "readScript \":Runtime:Libraries:Pose:p.pz2\"\r\n";

// "" once `plan` is written to `out` (a listing of one line), its progress ending at all of its bytes; else the reason.
std::string written(fsys::MemoryFileSystem& disk, CollectPlan& plan, const std::string& out)
{
    std::string reason;
    unsigned long long last = 0, all = 0;
    const CollectProgress progress = [&](unsigned long long done, unsigned long long total) { last = done, all = total; };
    const bool ok = write_collection(disk, plan, [](const CollectPlan&) { return std::string("listing\n"); }, out, progress, reason);
    EXPECT_TRUE(!ok || (last == all && all > 0)) << last << " of " << all << " written to " << out;
    return ok ? "" : reason;
}

struct Library {
    fsys::MemoryFileSystem disk;
    CollectPlan plan;
    Library()
    {
        const std::pair<std::string, std::string> files[] = {
            {"/lib/Runtime/Libraries/Scenes/s.pz3", k_scene},
            {"/lib/Runtime/Libraries/Scenes/s.png", "thumbnail"},
            {"/lib/Runtime/Geometries/man/man.obj", "v 0 0 0\n"},
            {"/lib/Runtime/Textures/skin.jpg", "skin"},
            {"/ext/bump.jpg", "bump"},
            {"/ext2/bump.jpg", "other bump"},
            {"/lib/Runtime/Libraries/Pose/p.pz2", "readScript Runtime:Python:a.py\n"},
            {"/lib/Runtime/Python/a.py", "print(1)\n"},
            {"/ext/fig.cr2", "figureResFile :Runtime:Geometries:man:man.obj\n"},
            {"/ext/FIG.jpg", "thumbnail named in other letters"},
        };
        for (const auto& [path, bytes] : files) {
            disk.add_file(native(path), bytes);
        }
        disk.add_folder(native("/out"));
        plan = plan_collection(disk, {native("/lib/Runtime/Libraries/Scenes/s.pz3"), native("/ext/fig.cr2")}, {native("/lib")});
    }
    std::string write(const std::string& out) { return written(disk, plan, native(out)); }
};

TEST(Collect, EachFileAtItsPlaceInAFolderOrTheSameZipTwiceAndNothingLeftWhenItFails)
{
    Library lib;
    ASSERT_EQ(lib.write("/out/scene"), "");
    const std::string scene = "figureResFile :Runtime:Geometries:man:man.obj\r\n\ttextureMap \":Runtime:Textures:skin.jpg\"\r\n"
                              "\tbumpMap :Runtime:Textures:collected:bump.jpg\r\n\treflectionMap \":Runtime:Textures:collected:"
                              "bump-2.jpg\"\r\n\ttransparencyMap :Runtime:Textures:gone.jpg\r\n"
                              "readScript \":Runtime:Libraries:Pose:p.pz2\"\r\n";
    const auto at = [&](const std::string& name) { return lib.disk.absolute_path(native("/out/scene/" + name)); };
    const std::map<std::string, std::string> expected = {
        {at("collect.txt"), "listing\n"},
        {at("Runtime/Libraries/Scenes/s.pz3"), scene},
        {at("Runtime/Libraries/Scenes/s.png"), "thumbnail"},
        {at("Runtime/Geometries/man/man.obj"), "v 0 0 0\n"},
        {at("Runtime/Textures/skin.jpg"), "skin"},
        {at("Runtime/Textures/collected/bump.jpg"), "bump"},
        {at("Runtime/Textures/collected/bump-2.jpg"), "other bump"},
        {at("Runtime/Libraries/Pose/p.pz2"), "readScript :Runtime:Python:a.py\n"},
        {at("Runtime/Python/a.py"), "print(1)\n"},
        {at("Runtime/Libraries/Character/fig.cr2"), "figureResFile :Runtime:Geometries:man:man.obj\n"},
        {at("Runtime/Libraries/Character/fig.jpg"), "thumbnail named in other letters"},
    };
    EXPECT_EQ(lib.disk.files_below(native("/out/scene")), expected);
    ASSERT_EQ(lib.plan.missing.size(), 1u);
    EXPECT_EQ(lib.plan.missing[0].target + " line " + std::to_string(lib.plan.missing[0].line), ":Runtime:Textures:gone.jpg line 5");
    EXPECT_EQ(lib.disk.bytes(native("/lib/Runtime/Libraries/Scenes/s.pz3")), k_scene);  // the library as it was
    EXPECT_EQ(lib.write("/out/scene"), "it exists already, and is no empty folder");
    // The same library into a zip, twice the same bytes, and nothing left when it fails.
    ASSERT_EQ(lib.write("/out/a.zip"), "");
    ASSERT_EQ(lib.write("/out/b.zip"), "");
    EXPECT_EQ(lib.disk.bytes(native("/out/a.zip")), lib.disk.bytes(native("/out/b.zip")));
    EXPECT_EQ(lib.write("/out/a.zip"), "a file of that name exists already");
    std::string reason;
    auto zip = zipfs::ZipFileSystem::open(lib.disk, native("/out/a.zip"), native("/out/a.zip"), reason);
    ASSERT_NE(zip, nullptr) << reason;
    const std::string text = read_all(*zip, native("/out/a.zip/Runtime/Libraries/Scenes/s.pz3"));
    EXPECT_NE(text.find("bumpMap :Runtime:Textures:collected:bump.jpg\r\n"), std::string::npos);
    EXPECT_EQ(zip->modified_time(native("/out/a.zip/Runtime/Textures/skin.jpg")), fsys::MemoryFileSystem::k_setup_time);
    const auto before = lib.disk.tree(native("/out"));
    // The zip fails at its first document rewritten, a folder at its last file, its listing, or a folder in it.
    const struct {
        const char* out;
        const char* failing;
        fsys::Op op;
    } failures[] = {{"/out/c.zip", "c.zip.", fsys::Op::write}, {"/out/d", "a.py", fsys::Op::write},
                    {"/out/f", "collect.txt", fsys::Op::write}, {"/out/g", "Textures", fsys::Op::make_folder}};
    for (const auto& f : failures) {
        lib.disk.fail_when([failing = std::string(f.failing), failed = f.op](fsys::Op op, const std::string& p) {
            return op == failed && p.find(failing) != std::string::npos;
        });
        EXPECT_NE(lib.write(f.out), "") << f.out;
        EXPECT_EQ(lib.disk.tree(native("/out")), before) << f.out;
    }
    lib.disk.fail_when([](fsys::Op op, const std::string& p) { return op == fsys::Op::make_folder && p.find("unmade") != std::string::npos; });
    EXPECT_EQ(lib.write("/out/unmade.zip"), "no folder can be made beside the zip for the documents rewritten");
    EXPECT_EQ(lib.write("/out/unmade"), "the folder cannot be made");
    lib.disk.fail_when(nullptr);
    run_stop::request();
    EXPECT_TRUE(plan_collection(lib.disk, {native("/ext/fig.cr2")}, {native("/lib")}).stopped);
    EXPECT_EQ(lib.write("/out/e.zip"), "stopped");
    EXPECT_EQ(lib.write("/out/e"), "stopped");
    run_stop::clear();
    EXPECT_EQ(lib.disk.tree(native("/out")), before);
}

// A file no root holds goes by its type. Two files never share a name in the collection, nor names that differ only in
// letter case (Windows takes them for one): the later ones are numbered. One file named by two references keeps one.
TEST(Collect, AFileNoRootHoldsGoesByItsTypeNamesDifferingOnlyInLetterCaseAreNumberedOneFileNamedOnce)
{
    const auto folder = [](const std::string& name) { return folder_outside_roots(name, RefKind::geometry).substr(8); };
    const Lines names = {"a.pz3", "a.CRZ", "a.pp2", "a.hr2", "a.p2z", "a.mc6", "a.fc2", "a.hdz", "a.lt2", "a.cm2", "a.obj"};
    EXPECT_EQ(joined(names, folder, " "), "Libraries/Scenes Libraries/Character Libraries/Props Libraries/Hair Libraries/Pose Libraries/Materials "
                       "Libraries/Face Libraries/Hand Libraries/Light Libraries/Camera Geometries/collected ");
    EXPECT_EQ(folder_outside_roots("a.pmd", RefKind::morph) + " " + folder_outside_roots("a.py", RefKind::script),
              "Runtime/Libraries/Character/collected Runtime/Python/collected");
    fsys::MemoryFileSystem disk;
    const std::string a = absolute("/ext/a/Bump.jpg"), b = absolute("/ext/b/bump.JPG"), c = absolute("/ext/c/BUMP.jpg");
    const std::string d = absolute("/ext/d/.jpg"), e = absolute("/ext/e/.jpg");  // a name all extension, or none
    disk.add_file(native("/lib/Runtime/Libraries/Scenes/s.pz3"), "bumpMap " + a + "\r\nbumpMap " + b + "\r\nbumpMap " + c +
                                                                     "\r\ntextureMap " + a + "\r\nbumpMap " + d + "\r\nbumpMap " + e + "\r\n");
    for (const std::string& path : {a, b, c, d, e}) {
        disk.add_file(path, path);
    }
    const CollectPlan plan = plan_collection(disk, {native("/lib/Runtime/Libraries/Scenes/s.pz3")}, {native("/lib")});
    EXPECT_EQ(joined(plan.files, [](const CollectedFile& f) { return f.name; }, " "),
              "Runtime/Libraries/Scenes/s.pz3 Runtime/Textures/collected/Bump.jpg Runtime/Textures/collected/bump-2.JPG "
              "Runtime/Textures/collected/BUMP-3.jpg Runtime/Textures/collected/.jpg Runtime/Textures/collected/.jpg-2 ");
}

// Only what the user means to share: a file from outside the roots only when it is what its
// reference names, and a link (the texture, the thumbnail, the document given) only to a file
// inside a root; each other one named with its reason, and no source named by the user's folders.
TEST(Collect, OnlyWhatTheUserMeansToShare)
{
    fsys::MemoryFileSystem disk;
    const std::string slash = fsys::k_sep == '\\' ? "C:/ext/slash.jpg" : "/ext/slash.jpg";  // a '/' where Windows has '\\'
    disk.add_file(native("/lib/Runtime/Libraries/Scenes/s.pz3"),
                  "textureMap " + absolute("/home/u/.ssh/id_rsa") + "\nbumpMap " + absolute("/ext/bump.jpg") + "\nbumpMap " +
                      slash + "\nreadScript " + absolute("/ext/pose.pz2") + "\ntextureMap //srv/P/Runtime/Textures/net.jpg\n"
                      "textureMap :Runtime:Textures:pw.jpg\n");
    for (const char* file : {"/home/u/.ssh/id_rsa", "/ext/bump.jpg", "/ext/slash.jpg", "/ext/pose.pz2", "/home/u/me.png",
                             "/lib/Runtime/Textures/net.jpg"}) {
        disk.add_file(native(file), "bytes");
    }
    std::string expected = "s.pz3 from Runtime/Libraries/Scenes/s.pz3, bump.jpg from outside bump.jpg, slash.jpg from outside "
                           "slash.jpg, pose.pz2 from outside pose.pz2, " + absolute("/home/u/.ssh/id_rsa") +
                           ": from outside the roots, and not one of the image files, //srv/P/Runtime/Textures/net.jpg: , ";
#ifndef _WIN32
    disk.add_link("/lib/Runtime/Textures/pw.jpg", "/home/u/.ssh/id_rsa");
    disk.add_link("/lib/Runtime/Libraries/Scenes/s.png", "/home/u/me.png");
    disk.add_link("/lib/Runtime/Libraries/Scenes/given.pz3", "/home/u/me.png");
    expected += ":Runtime:Textures:pw.jpg: a link leading out of the library, not followed, /lib/Runtime/Libraries/Scenes/"
                "given.pz3: a link leading out of the library, not followed, /lib/Runtime/Libraries/Scenes/s.png: a link "
                "leading out of the library, not followed, ";
    const std::vector<std::string> given{"/lib/Runtime/Libraries/Scenes/s.pz3", "/lib/Runtime/Libraries/Scenes/given.pz3"};
    // A control character in a name, which no zip tool takes, is an underscore in the collection; a blank stays.
    disk.add_file("/lib/Runtime/Libraries/Props/p.pp2", "textureMap \":Runtime:Textures:a\x1b[1m b.jpg\"\n");
    disk.add_file("/lib/Runtime/Textures/a\x1b[1m b.jpg", "x");
    disk.add_folder("/out");
    CollectPlan controls = plan_collection(disk, {"/lib/Runtime/Libraries/Props/p.pp2"}, {"/lib"});
    ASSERT_EQ(controls.files.size(), 2u);
    EXPECT_EQ(controls.files[1].name, "Runtime/Textures/a_[1m b.jpg");
    EXPECT_EQ(written(disk, controls, "/out/x.zip"), "");
#else
    expected += ":Runtime:Textures:pw.jpg: , ";  // missing: no link to a file here
    const std::vector<std::string> given{native("/lib/Runtime/Libraries/Scenes/s.pz3")};
#endif
    const CollectPlan plan = plan_collection(disk, given, {native("/lib")});
    const auto file = [](const CollectedFile& f) {
        return f.name.substr(f.name.rfind('/') + 1) + " from " + (f.outside_roots ? "outside " : "") + f.from;
    };
    const auto missing = [](const MissingReference& m) { return m.target + ": " + m.left_out; };
    const auto left_out = [](const UnreadableFile& u) { return u.path + ": " + u.reason; };
    EXPECT_EQ(joined(plan.files, file, ", ") + joined(plan.missing, missing, ", ") + joined(plan.left_out, left_out, ", "), expected);
    CollectPlan unsafe;  // a name that would leave the folder is refused there as the zip refuses it
    unsafe.files.emplace_back();
    unsafe.files[0].source = native("/ext/bump.jpg");
    unsafe.files[0].name = "Runtime/../../x.jpg";
    EXPECT_NE(written(disk, unsafe, native("/out/c")), "");
    EXPECT_FALSE(disk.entry_exists(native("/out/x.jpg")) || disk.entry_exists(native("/x.jpg")));
}

// Another program saves the scene at any step of its collect: the collection holds the scene of one version with its
// references renamed, or leaves it out and names it, and is otherwise whole.
TEST(Collect, ASceneSavedMeanwhileIsNeverAMix)
{
    const std::string scene = absolute("/lib/Runtime/Libraries/Scenes/s.pz3"), out = absolute("/out/c");
    const std::string old_text = "figureResFile :Runtime:Geometries:man:man.obj\n\ttextureMap \"skin.jpg\"\n";
    const std::string new_text = "# saved meanwhile\n" + old_text;
    CollectPlan plan;
    const auto setup = [&](fsys::MemoryFileSystem& disk, const std::string& text) {
        disk.add_file(scene, text);
        disk.add_file(absolute("/lib/Runtime/Geometries/man/man.obj"), "v 0 0 0\n");
        disk.add_file(absolute("/lib/Runtime/Textures/skin.jpg"), "skin");
    };
    const auto work = [&](fsys::MemoryFileSystem& disk) {
        plan = plan_collection(disk, {scene}, {absolute("/lib")});
        EXPECT_EQ(written(disk, plan, out), "");
    };
    const std::string collected = absolute("/out/c/Runtime/Libraries/Scenes/s.pz3");
    const auto collect = [&](const std::string& text) { return left_by(setup, text, work, [&](auto& d) { return d.bytes(collected); }); };
    const std::string from_old = collect(old_text), from_new = collect(new_text);
    ASSERT_NE(from_old.find("\":Runtime:Textures:skin.jpg\""), std::string::npos);
    int left_out = 0;
    const int steps = at_every_step(setup, old_text, scene, new_text, work, [&](fsys::MemoryFileSystem& disk, bool) {
        const std::string got = disk.bytes(collected);
        EXPECT_TRUE(got == from_old || got == from_new || (got == "<missing>" && plan.unreadable.size() == 1)) << got;
        left_out += got == "<missing>" ? 1 : 0;
        EXPECT_EQ(disk.bytes(absolute("/out/c/Runtime/Textures/skin.jpg")), "skin");
    });
    EXPECT_GT(steps, 10);
    EXPECT_GT(left_out, 0);
}

// A second interrupt while a collect is written waits for it, and a stop asked for at any step of the writing leaves the
// result whole or absent; a zip whose folder does not exist is said so.
TEST(Collect, StoppedAtAnyStepOfItsWritingItIsWholeOrAbsent)
{
    for (const char* out : {"/out/s.zip", "/out/s"}) {
        for (int step = 0;; ++step) {
            Library lib;
            const auto before = lib.disk.tree(absolute("/"));
            int seen = 0;
            lib.disk.before_each_step([&](const std::string&) {
                if (seen++ == step) {
                    run_stop::request();
                    EXPECT_FALSE(run_stop::claim_exit()) << out << " at step " << step;
                }
            });
            const std::string reason = lib.write(out);
            lib.disk.before_each_step(nullptr);
            run_stop::clear();
            if (seen <= step) {
                break;  // every step taken unstopped
            }
            // Stopped once the result was made whole, it stays.
            EXPECT_TRUE(reason == "stopped" || (reason.empty() && lib.disk.entry_exists(absolute(out)))) << out << " at " << step;
            if (reason == "stopped") {
                EXPECT_EQ(lib.disk.tree(absolute("/")), before) << out << " at step " << step;
            }
        }
    }
    EXPECT_EQ(Library().write("/nowhere/s.zip"), "the folder " + native("/nowhere") + " does not exist");
}

}  // namespace
