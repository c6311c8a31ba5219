#include "engine/base/poser_documents.h"
#include "engine/repair/folder_walk.h"
#include "engine/repair/library_rules.h"

#include "tests/test_support.h"

namespace fs = std::filesystem;

class FolderWalk : public testing::Test {
protected:
    void SetUp() override { reset_engine(run, dir.at("Poser")); }
    void TearDown() override { reset_engine(run, ""); }

    // The entries of `folder` among `wanted`, in the order the system lists them.
    Lines listed(const std::string& folder, const Lines& wanted) const
    {
        Lines names = listing(fsys::disk(), dir.at(folder));
        for (std::string& name : names) {
            name = name.substr(0, name.find('/'));  // a folder's without its '/'
        }
        std::erase_if(names, [&](const std::string& n) { return std::find(wanted.begin(), wanted.end(), n) == wanted.end(); });
        return names;
    }

    TempDir dir;
    ::Run run;
};

// Poser files known by their last four characters; files first, then each subfolder, then the question.
TEST_F(FolderWalk, FilesFirstThenEachSubfolderThenTheQuestion)
{
    const Lines names = {"A.CR2", "b.Pz3", "d.hr2", "x.pp2", ".x.pp2", "/a/b/c.cr2", "cr2", ".cr2", "a.cr", "x.cr2.bak", "x.obj", "acr2"};
    EXPECT_EQ(joined(names, [](const std::string& n) { return std::to_string(isposerfile(n)); }, ""), "111111000000");
    write_files(dir, {"T/t.cr2", "T/.x.pz3", "T/A/x.pp2", "T/B/x.pp2", "T/.hidden/h.cr2", "T/poses.cr2/inside.cr2"}, "nothing to repair\n");
    write_bytes(dir.at("T/notes.txt"), "");
    fs::create_directories(dir.at("T/empty"));
    Lines files;
    for (const std::string& name : listed("T", {"t.cr2", ".x.pz3", "poses.cr2"})) {
        // a folder named like a Poser file is checked, not entered
        files.push_back((name == "poses.cr2" ? "warning\tnone\tI can't open this file\t" : "title\t") + dir.at("T/" + name));
    }
    const Lines sub = listed("T", {"A", "B"});
    Lines yes = files, no = files;
    for (const std::string& f : sub) {
        yes.insert(yes.end(), {"title\t" + dir.at("T/" + f + "/x.pp2"), continue_line(dir.at("T/" + f), "yes")});
    }
    no.insert(no.end(), {yes[files.size()], continue_line(dir.at("T/" + sub[0]), "no"), continue_line(dir.at("T"), "no")});
    yes.push_back(continue_line(dir.at("T"), "yes"));
    ScriptedSession s({"yes", "yes", "yes", "no", "no"});
    EXPECT_EQ(searchdir(run, dir.at("T"), s.wn), 1);
    EXPECT_EQ(searchdir(run, dir.at("T"), s.wn), 0);  // No at the first subfolder skips the second
    yes.insert(yes.end(), no.begin(), no.end());
    EXPECT_EQ(s.transcript(), yes);
    ScriptedSession none;
    EXPECT_EQ(searchdir(run, dir.at("T/empty"), none.wn) + searchdir(run, dir.at("missing"), none.wn), 2);
    EXPECT_TRUE(none.transcript().empty());
}

TEST_F(FolderWalk, ANoTravelsOnlyOneLevelUpAndBackupsMadeOnTheWayAreNotChecked)
{
    write_files(dir, {"T/A/A1/x.cr2", "T/A/A2/x.cr2"}, "nothing to repair\n");
    write_bytes(dir.at("Poser/geom/ball.obj"), "");
    write_bytes(dir.at("T/B/x.cr2"), "prop 0 0 geom:ball.obj\n");
    const std::string a1 = "T/A/" + listed("T/A", {"A1", "A2"})[0];
    Lines answers, expected;
    for (const std::string& top : listed("T", {"A", "B"})) {
        const std::string folder = top == "A" ? a1 : "T/B";
        answers.push_back(top == "A" ? "no" : "yes");
        expected.insert(expected.end(), {"title\t" + dir.at(folder + "/x.cr2"), continue_line(dir.at(folder), answers.back())});
    }
    ScriptedSession s(answers);
    EXPECT_EQ(searchdir(run, dir.at("T"), s.wn), 1);
    EXPECT_EQ(s.transcript(), expected);
    EXPECT_TRUE(exists(dir.at("T/B/x_zz00.cr2")));
}

TEST_F(FolderWalk, WithTheExtendedRulesEveryDocumentButNoBackupOfAFileBeside)
{
    // The documents the other modes read: every kind, compressed or not, but no Mac's "._" file beside one.
    const Lines documents = {"a/B.MZ5", "x.p2z", "a\\._b.cr2", "a/._b.cr2", "._b.cr2", "a/.cr2", "a/b.cr", "b.obj"};
    EXPECT_EQ(joined(documents, [](const std::string& n) { return std::to_string(is_poser_document(n)); }, ""), "11000000");
    use_library_rules(run, LibraryOptions{false, {dir.at("T")}});
    write_files(dir, {"T/a.cr2", "T/a_zz00.cr2", "T/b_zz00.cr2", "T/c.mc6", "T/._a.cr2", "T/__MACOSX/m.cr2", "T/notes.txt",
                      "T/tarnwick-runs/20261207-101010/a.cr2", "T/.cr2", "T/_zz00.cr2"}, "nothing to repair\n");
    ScriptedSession s({"yes"});
    searchdir(run, dir.at("T"), s.wn);
    Lines titles = s.transcript();  // no question after any folder
    std::sort(titles.begin(), titles.end());
    EXPECT_EQ(titles, (Lines{"title\t" + dir.at("T/_zz00.cr2"), "title\t" + dir.at("T/a.cr2"), "title\t" + dir.at("T/b_zz00.cr2"),
                             "title\t" + dir.at("T/c.mc6")}));  // "_zz00.cr2" no backup: ".cr2" has none
}

#ifndef _WIN32
TEST_F(FolderWalk, LinkLoopsEndAndDeepTreesAreWalked)
{
    std::string deep = "T/A";
    while (dir.at(deep).size() < 1500) {
        deep += "/deeper_folder_name";
    }
    write_files(dir, {"T/A/a.cr2", deep + "/deep.cr2", "X/x.cr2"}, "nothing to repair\n");
    fs::create_directory_symlink("..", dir.at("T/A/up"));
    fs::create_directory_symlink(".", dir.at("T/A/self"));
    fs::create_directory_symlink(dir.at("X"), dir.at(deep + "/outside"));  // out of the tree and the root: not walked
    ScriptedSession s({"yes", "yes", "yes", "yes"});
    EXPECT_EQ(searchdir(run, dir.at("T"), s.wn), 1);
    EXPECT_EQ(s.transcript(), (Lines{"title\t" + dir.at("T/A/a.cr2"), "title\t" + dir.at(deep + "/deep.cr2"),
                                     continue_line(dir.at(deep), "yes"), continue_line(dir.at("T/A"), "yes")}));
    EXPECT_EQ(listing(fsys::disk(), dir.at("T/A/a.cr2")), Lines{"<cannot list>"});  // a file is no folder to list
}
#endif
