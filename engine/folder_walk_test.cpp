#include "engine/folder_walk.h"

#include "engine/engine_state.h"
#include "engine/fsys.h"
#include "tests/test_support.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

const std::string k_folder_question = "searchdir finished for this folder: shall I continue?";

// The subfolder names of `path` in the order the system lists them.
std::vector<std::string> listed(const std::string& path, std::vector<std::string> wanted)
{
    std::vector<std::string> names;
    fsys::list_folder(path, names);
    std::vector<std::string> order;
    for (const std::string& n : names) {
        if (std::find(wanted.begin(), wanted.end(), n) != wanted.end()) {
            order.push_back(n);
        }
    }
    return order;
}

class FolderWalk : public testing::Test {
protected:
    void SetUp() override { reset_engine(dir.at("Poser")); }
    void TearDown() override { reset_engine(""); }

    std::string poser(const std::string& relative)
    {
        write_bytes(dir.at(relative), "nothing to repair\n");
        return dir.at(relative);
    }
    std::string title(const std::string& relative) const { return "title\t" + dir.at(relative); }
    std::string question(const std::string& relative, const std::string& answer) const
    {
        return "question\tnone\t" + k_folder_question + "\t" + dir.at(relative) + "\t" + answer;
    }

    TempDir dir;
};

TEST(PoserFileNames, RecognisedByTheirLastFourCharacters)
{
    for (const char* yes : {"A.CR2", "b.Pz3", "d.hr2", "x.pp2", ".x.pp2", "/a/b/c.cr2"}) {
        EXPECT_EQ(isposerfile(yes), 1) << yes;
    }
    for (const char* no : {"cr2", ".cr2", "a.cr", "x.cr2.bak", "x.obj", ""}) {
        EXPECT_EQ(isposerfile(no), 0) << no;
    }
}

TEST_F(FolderWalk, FilesFirstThenEachSubfolderThenTheQuestion)
{
    poser("T/t.cr2");
    poser("T/A/a.pp2");
    poser("T/B/b.hr2");
    poser("T/.hidden/h.cr2");
    poser("T/.x.pz3");
    write_bytes(dir.at("T/notes.txt"), "");
    std::vector<std::string> order = listed(dir.at("T"), {"A", "B"});
    ASSERT_EQ(order.size(), 2u);
    const std::string first = order[0];
    const std::string second = order[1];
    std::vector<std::string> t_files;
    for (const std::string& n : listed(dir.at("T"), {"t.cr2", ".x.pz3"})) {
        t_files.push_back(title("T/" + n));
    }
    auto file_of = [](const std::string& f) { return f == "A" ? std::string("a.pp2") : std::string("b.hr2"); };

    ScriptedSession s({"yes", "yes", "yes"});
    EXPECT_EQ(searchdir(dir.at("T"), s.wn), 1);
    std::vector<std::string> expected = t_files;
    expected.push_back(title("T/" + first + "/" + file_of(first)));
    expected.push_back(question("T/" + first, "yes"));
    expected.push_back(title("T/" + second + "/" + file_of(second)));
    expected.push_back(question("T/" + second, "yes"));
    expected.push_back(question("T", "yes"));
    EXPECT_EQ(s.transcript(), expected);

    // No at the first subfolder skips the second; the top folder still asks
    ScriptedSession no({"no", "no"});
    EXPECT_EQ(searchdir(dir.at("T"), no.wn), 0);
    expected = t_files;
    expected.push_back(title("T/" + first + "/" + file_of(first)));
    expected.push_back(question("T/" + first, "no"));
    expected.push_back(question("T", "no"));
    EXPECT_EQ(no.transcript(), expected);
}

TEST_F(FolderWalk, AStopTravelsOnlyOneLevelUp)
{
    poser("T/A/A1/x.cr2");
    poser("T/A/A2/y.cr2");
    poser("T/B/z.cr2");
    std::vector<std::string> a_order = listed(dir.at("T/A"), {"A1", "A2"});
    std::vector<std::string> t_order = listed(dir.at("T"), {"A", "B"});
    auto file_in = [](const std::string& f) { return f == "A1" ? "x.cr2" : f == "A2" ? "y.cr2" : "z.cr2"; };

    // No at the first of A's subfolders; Yes at B, whenever it comes
    std::vector<std::string> answers;
    std::vector<std::string> expected;
    for (const std::string& top : t_order) {
        if (top == "A") {
            const std::string& a1 = a_order[0];
            expected.push_back(title("T/A/" + a1 + "/" + file_in(a1)));
            expected.push_back(question("T/A/" + a1, "no"));
            answers.push_back("no");
        } else {
            expected.push_back(title("T/B/z.cr2"));
            expected.push_back(question("T/B", "yes"));
            answers.push_back("yes");
        }
    }
    ScriptedSession s(answers);
    EXPECT_EQ(searchdir(dir.at("T"), s.wn), 1);
    EXPECT_EQ(s.transcript(), expected);
}

TEST_F(FolderWalk, NothingToCheckMeansNoQuestion)
{
    write_bytes(dir.at("E/.dot/a.cr2"), "");
    write_bytes(dir.at("E/readme.txt"), "");
    std::filesystem::create_directories(dir.at("E/empty"));
    ScriptedSession s;
    EXPECT_EQ(searchdir(dir.at("E"), s.wn), 1);
    EXPECT_EQ(searchdir(dir.at("missing"), s.wn), 1);
    EXPECT_TRUE(s.transcript().empty());
}

TEST_F(FolderWalk, AFolderNamedLikeAPoserFileIsCheckedNotEntered)
{
    poser("T/poses.cr2/inside.cr2");
    ScriptedSession s({"yes"});
    searchdir(dir.at("T"), s.wn);
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{
                                  "warning\tnone\tI can't open this file\t" + dir.at("T/poses.cr2"),
                                  question("T", "yes"),
                              }));
}

TEST_F(FolderWalk, BackupsMadeDuringTheWalkAreNotChecked)
{
    write_bytes(dir.at("Poser/geom/ball.obj"), "");
    write_bytes(dir.at("T/a.cr2"), "prop 0 0 geom:ball.obj\n");
    ScriptedSession s({"yes"});
    searchdir(dir.at("T"), s.wn);
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{title("T/a.cr2"), question("T", "yes")}));
    EXPECT_EQ(folder_names(dir.at("T")), (std::vector<std::string>{"a.cr2", "a_zz00.cr2"}));
    // a later walk checks the backup like any other Poser file
    ScriptedSession again({"yes"});
    searchdir(dir.at("T"), again.wn);
    EXPECT_EQ(again.transcript().size(), 3u);
}

#ifndef _WIN32
TEST_F(FolderWalk, LinkLoopsEnd)
{
    poser("T/A/a.cr2");
    std::filesystem::create_directory_symlink("..", dir.at("T/A/up"));
    std::filesystem::create_directory_symlink(".", dir.at("T/A/self"));
    ScriptedSession s({"yes", "yes", "yes", "yes"});
    EXPECT_EQ(searchdir(dir.at("T"), s.wn), 1);
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{title("T/A/a.cr2"), question("T/A", "yes")}));
}

TEST_F(FolderWalk, DeepTreesAreWalked)
{
    std::string rel = "T";
    while (dir.at(rel).size() < 1500) {
        rel += "/deeper_folder_name";
    }
    poser(rel + "/deep.cr2");
    ScriptedSession s({"yes"});
    searchdir(dir.at("T"), s.wn);
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{title(rel + "/deep.cr2"), question(rel, "yes")}));
}
#endif

}  // namespace
