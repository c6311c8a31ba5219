// Installs as runs: listed with their product, named in the window's question and taken back by --undo, and an
// install's manifest that arrives damaged or planted refused whole, with nothing changed.
#include "app/install_command.h"
#include "app/install_manifest.h"
#include "app/run_folders.h"
#include "app/undo.h"
#include "app/undo_command.h"
#include "engine/library/content_paths.h"
#include "tests/test_support.h"
#include "tests/zip_maker.h"

namespace {

const std::time_t k_now = std::time(nullptr);
const std::time_t k_later = k_now + 3600;

// A product installed into a content folder on a disk in memory: a file replaced (an empty one), one new.
struct InstalledProduct {
    InstalledProduct()
    {
        disk.add_file(mesh, "");
        disk.add_file(zip, made_zip({MadeEntry("Runtime/Geometries/a.obj", "new"), MadeEntry("Runtime/Textures/t.jpg", "jpg")}));
        before = disk.files_below(root);
        run = install_product(disk, plan_product(disk, {zip}, root), "9.9", run_stamp(k_now)).run_folder;
        installed = content();
    }
    Files content() const { return outside_runs(disk.files_below(root)); }
    fsys::MemoryFileSystem disk;
    std::string root = native("/Poser"), zip = native("/p.zip"), mesh = native("/Poser/Runtime/Geometries/a.obj");
    std::string run;
    Files before, installed;
};

}  // namespace

TEST(InstallRuns, ListedThenNamedAndTakenBackFromTheWindowsMenu)
{
    InstalledProduct p;
    ASSERT_FALSE(p.run.empty());
    EXPECT_EQ(p.disk.bytes(p.mesh), "new");
    const RunList list = find_runs(p.disk, {p.root}, k_later);
    ASSERT_EQ(list.runs.size(), 1u);
    EXPECT_TRUE(list.runs[0].product == "p.zip" && list.runs[0].files == 2);
    // The manifest keeps each installed file's stamp; the undo trusts, unread, a file whose stamp is still the one kept:
    // here one given other bytes of its size, its new stamp written into the manifest, is taken back.
    const std::string manifest = p.run + fsys::k_sep + "manifest.json";
    nlohmann::json doc = nlohmann::json::parse(p.disk.bytes(manifest));
    const auto stamp_of = [&p](const nlohmann::json& f) {
        fsys::FileStamp now;
        EXPECT_TRUE(p.disk.stamp(p.root + fsys::k_sep + native(f["path"].get<std::string>()), now));
        return nlohmann::json{{"size", now.size}, {"changed", now.changed}, {"id", now.id}};
    };
    for (nlohmann::json& f : doc["files"]) {
        EXPECT_EQ(f["stamp"], stamp_of(f));
        p.disk.add_file(p.root + fsys::k_sep + native(f["path"].get<std::string>()), f["path"] == "Runtime/Textures/t.jpg" ? "JPG" : "new");
        f["stamp"] = stamp_of(f);
    }
    // A record without its product list is still listed, with no product named.
    nlohmann::json bare = doc;
    bare.erase("product");
    p.disk.add_file(manifest, bare.dump());
    EXPECT_EQ(find_runs(p.disk, {p.root}, k_later).runs.at(0).product, "");
    p.disk.add_file(manifest, doc.dump());
    ScriptedSession s({"yes"});
    undo_last_run(p.disk, {p.root}, s.wn, k_later);
    EXPECT_EQ(p.content(), p.before);
    EXPECT_EQ(p.disk.tree(p.run).size(), 1u);  // its record alone: the old versions' folders, emptied, gone
    ASSERT_EQ(s.transcript().size(), 2u);
    EXPECT_EQ(s.transcript()[0].find("question\tnone\tundo the last run?\tthe install of p.zip of "), 0u);
    // The run folder named by its own name: on Windows the runs' list spells the folders above it otherwise.
    expect_pieces(s.transcript()[0], {": 2 files written, old versions in\\n", p.run.substr(p.run.rfind(fsys::k_sep))});
    EXPECT_EQ(s.transcript()[1], "information\tnone\tundo the last run\t2 files restored, 0 left alone");
    EXPECT_TRUE(last_run(find_runs(p.disk, {p.root}, k_later)).empty());
    // A product of empty files alone is installed as a run; installed again, it writes nothing and makes no run.
    p.disk.add_file(p.zip, made_zip({MadeEntry("Runtime/Textures/e.jpg", "")}));
    for (const bool first : {true, false}) {
        EXPECT_EQ(install_product(p.disk, plan_product(p.disk, {p.zip}, p.root), "9.9", run_stamp(k_now)).run_folder.empty(), !first);
    }
}

TEST(InstallRuns, AManifestDamagedOrPlantedIsRefusedWholeWithNothingChanged)
{
    struct Planted {
        const char* what;
        std::string from, to;  // in the manifest's text; "" plants a link for the folder of `to` instead
        std::string refused;
    };
    std::vector<Planted> table = {
        {"a path out of the root", "\"path\":\"Runtime/Geometries/a.obj\"", "\"path\":\"../victim.obj\"", "outside its root"},
        {"a path into the run folders", "\"path\":\"Runtime/Textures/t.jpg\"", "\"path\":\"Tarnwick-Runs/t.jpg\"",
         "outside its root"},
        {"a backslash", "\"path\":\"Runtime/Textures/t.jpg\"", "\"path\":\"Runtime/Textures\\\\t.jpg\"", "outside its root"},
        {"a colon", "\"path\":\"Runtime/Textures/t.jpg\"", "\"path\":\"Runtime/Textures/C:t.jpg\"", "outside its root"},
        {"no path", "\"path\":\"Runtime/Textures/t.jpg\"", "\"path\":\"\"", "outside its root"},
        {"a copy outside the unpacked ones", "\"staged\":\"new/1\"", "\"staged\":\"old/../new/1\"", "outside its run folder"},
        {"an old version without its digest", "\"before\":{", "\"before\":null,\"b\":{", "is corrupt"},
        {"a digest of the wrong type", "\"size\":3", "\"size\":\"3\"", "is corrupt"},
        {"a stamp's size below zero", "\"id\":11,\"size\":3", "\"id\":11,\"size\":-3", "is corrupt"},
        {"folders that are no list", "\"folders\":[", "\"folders\":null,\"f\":[", "its folders are no list"},
        {"a newer format", "\"format\":2", "\"format\":3", "newer tarnwick"},
        {"a link for a folder it made", "", "Textures/t.jpg", "is a link"},
        {"a link for a folder on the way", "", "Geometries/a.obj", "is a link"},
    };
    if (k_native_style == PathStyle::windows) {
        table.push_back({"a device's name", "\"path\":\"Runtime/Textures/t.jpg\"", "\"path\":\"Runtime/Textures/COM1.jpg\"", "outside its root"});
        table.push_back({"dots alone", "\"path\":\"Runtime/Textures/t.jpg\"", "\"path\":\"Runtime/.../x/t.jpg\"", "outside its root"});
    }
    for (const Planted& t : table) {
        InstalledProduct p;
        const std::string manifest = child_path(p.run, "manifest.json");
        if (t.from.empty()) {
            const std::string folder = native("/Poser/Runtime/" + t.to.substr(0, t.to.find('/')));
            p.disk.add_file(native("/victim/" + t.to), "jpg");
            p.disk.remove_file(native("/Poser/Runtime/" + t.to));
            p.disk.remove_folder(folder);
            p.disk.add_link(folder, native("/victim/") + t.to.substr(0, t.to.find('/')));
        } else {
            std::string text = p.disk.bytes(manifest);
            ASSERT_NE(text.find(t.from), std::string::npos) << t.what;
            p.disk.add_file(manifest, text.replace(text.find(t.from), t.from.size(), t.to));
        }
        const auto planted = p.disk.files_below(native("/"));
        UndoOutcome outcome;
        std::string error;
        EXPECT_FALSE(undo_run(p.disk, p.run, k_later, outcome, error)) << t.what;
        EXPECT_NE(error.find(t.refused), std::string::npos) << t.what << ": " << error;
        EXPECT_TRUE(error.rfind("refused", 0) == 0 || error.rfind("the manifest ", 0) == 0) << error;
        EXPECT_EQ(p.disk.files_below(native("/")), planted) << t.what;
    }
}

// On the real disk: the flush of what was unpacked failing (the whole file system's where the system flushes it at
// once, and each file's as Windows flushes them) takes the install back before any file moves in; then it installs,
// an empty file among the rest, and is taken back whole.
TEST(InstallRuns, OnTheRealDiskAFailedFlushTakesTheInstallBack)
{
    for (const bool each_file : {false, true}) {
        TempDir dir;
        FailingFileSystem disk;
        disk.flush_each_file(each_file);
        write_bytes(dir.at("Poser/Runtime/Geometries/a.obj"), "old");
        write_bytes(dir.at("p.zip"), made_zip({MadeEntry("Runtime/Geometries/a.obj", "new"), MadeEntry("Runtime/Textures/t.jpg", "jpg"),
                                               MadeEntry("Runtime/Textures/empty.jpg", "")}));
        const Files before = files_below(dir.at("Poser"));
        const InstallPlan plan = plan_product(disk, {dir.at("p.zip")}, dir.at("Poser"));
        disk.fail_when([](fsys::Op op, const std::string& path) {
            return op == fsys::Op::sync && path.find("manifest.json") == std::string::npos;
        });
        const InstallOutcome failed = install_product(disk, plan, "9.9", run_stamp(k_now));
        EXPECT_TRUE(failed.status == k_install_not_written && failed.taken_back.left.empty()) << failed.error;
        EXPECT_NE(failed.error.find("can't write"), std::string::npos) << failed.error;
        EXPECT_EQ(files_below(dir.at("Poser/Runtime")), (Files{{dir.at("Poser/Runtime/Geometries/a.obj"), "old"}}));
        disk.fail_when(nullptr);
        const InstallOutcome done = install_product(disk, plan, "9.9", run_stamp(k_now));
        EXPECT_TRUE(done.status == k_install_done && read_bytes(dir.at("Poser/Runtime/Textures/t.jpg")) == "jpg");
        UndoOutcome outcome;
        std::string error;
        EXPECT_TRUE(undo_run(disk, done.run_folder, k_later, outcome, error)) << error;
        EXPECT_EQ(outside_runs(files_below(dir.at("Poser"))), before);
    }
}
