// The Poser root on Windows: the profile functions keep "poserdirname.ini" in the Windows
// folder, and a root chosen in a drive's top folder is the bare drive.
#include "app/poser_root.h"

#include "app/settings.h"
#include "engine/engine_state.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

const std::string k_root_question = "Is this the root address of your Poser setup?";
const std::string k_root_title = "find any file in your Poser installation's root folder";

std::string windows_folder_file(const char* name)
{
    char folder[MAX_PATH] = {};
    GetWindowsDirectoryA(folder, MAX_PATH);
    return std::string(folder) + "\\" + name;
}

// Each test starts without a settings file; whatever was there is put back afterwards.
class PoserRootWindows : public testing::Test {
protected:
    void SetUp() override
    {
        reset_engine("");
        saved = read_bytes(ini);
        DeleteFileA(ini.c_str());
    }
    void TearDown() override
    {
        DeleteFileA(ini.c_str());
        if (saved != "<missing>") {
            write_bytes(ini, saved);
        }
        reset_engine("");
    }

    const std::string ini = windows_folder_file(k_settings_file);
    std::string saved;
    TempDir dir;
};

TEST_F(PoserRootWindows, NothingStoredAndYesTakesDriveC)
{
    ScriptedSession s({"yes"});
    EXPECT_EQ(set_poser_root(s.wn), 1);
    EXPECT_EQ(posername, "c:");
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{"question\tnone\t" + k_root_question + "\tc:\tyes"}));
    EXPECT_FALSE(exists(ini));
}

TEST_F(PoserRootWindows, AChosenFileNamesItsFolderWhichTheWindowsFolderKeeps)
{
    write_bytes(dir.at("Poser/x.txt"), "");
    ScriptedSession s({"no", dir.at("Poser/x.txt")});
    EXPECT_EQ(set_poser_root(s.wn), 1);
    EXPECT_EQ(posername, dir.at("Poser"));
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{
                                  "question\tnone\t" + k_root_question + "\tc:\tno",
                                  "open\tmain\t" + k_root_title + "\tc:\\*.*\tc:\tall files\t" + dir.at("Poser/x.txt"),
                                  "information\tnone\tYou say that your Poser installation is at\t" + dir.at("Poser"),
                              }));
    EXPECT_EQ(read_bytes(ini), "[poserinfo]\r\nposeraddr=" + dir.at("Poser") + "\r\n");

    posername.clear();
    ScriptedSession next({"yes"});
    EXPECT_EQ(set_poser_root(next.wn), 1);
    EXPECT_EQ(posername, dir.at("Poser"));
}

TEST_F(PoserRootWindows, AFileInADrivesTopFolderNamesTheBareDrive)
{
    char drive_root[MAX_PATH] = {};
    GetWindowsDirectoryA(drive_root, MAX_PATH);
    const std::string drive(drive_root, 2);  // "C:"
    const std::string top_file = drive + "\\tarnwick-root-test.txt";
    write_bytes(top_file, "");
    ScriptedSession s({"no", top_file});
    EXPECT_EQ(set_poser_root(s.wn), 1);
    DeleteFileA(top_file.c_str());
    EXPECT_EQ(posername, drive);
    EXPECT_EQ(read_setting(k_settings_section, k_root_key), drive);
}

TEST_F(PoserRootWindows, CancelEndsTheProgramAndKeepsTheStoredRoot)
{
    ASSERT_TRUE(write_setting(k_settings_section, k_root_key, "D:\\Poser 4"));
    ScriptedSession s({"no", "cancel"});
    EXPECT_EQ(set_poser_root(s.wn), 0);
    EXPECT_EQ(s.transcript().front(), "question\tnone\t" + k_root_question + "\tD:\\Poser 4\tno");
    EXPECT_EQ(s.transcript().back(), "warning\tmain\tExiting\tI need this information to be able to run.");
    EXPECT_EQ(read_setting(k_settings_section, k_root_key), "D:\\Poser 4");
}

TEST_F(PoserRootWindows, ProfileRulesOfTheSettingsFile)
{
    // Section and key are found in any letter case; other sections and keys are kept.
    write_bytes(ini, "[other]\r\nposeraddr=elsewhere\r\n[PoserInfo]\r\nPoserAddr=E:\\old\r\nsize=3\r\n");
    EXPECT_EQ(read_setting(k_settings_section, k_root_key), "E:\\old");
    ASSERT_TRUE(write_setting(k_settings_section, k_root_key, "E:\\new root"));
    EXPECT_EQ(read_setting(k_settings_section, k_root_key), "E:\\new root");
    EXPECT_EQ(read_setting("other", k_root_key), "elsewhere");
    EXPECT_EQ(read_setting(k_settings_section, "size"), "3");
    EXPECT_EQ(read_setting(k_settings_section, "missing"), "");
    EXPECT_EQ(read_setting("missing", k_root_key), "");

    // A stored value arrives cut at 255 characters.
    const std::string long_value = "F:\\" + std::string(297, 'p');
    ASSERT_TRUE(write_setting(k_settings_section, k_root_key, long_value));
    EXPECT_EQ(read_setting(k_settings_section, k_root_key), long_value.substr(0, 255));
}

}  // namespace
