// The Poser root on Windows: "poserdirname.ini" in the user's application data, the old one
// in the Windows folder still read, and a root chosen in a drive's top folder is the drive.
#include "app/poser_root.h"

#include "app/settings.h"
#include "engine/engine_state.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

const std::string k_root_question = "question\tnone\tIs this the root address of your Poser setup?\t";

std::string windows_folder()
{
    char folder[MAX_PATH] = {};
    GetWindowsDirectoryA(folder, MAX_PATH);
    return folder;
}

// Each test has application data of its own and no old settings file; whatever was there
// is put back afterwards.
class PoserRootWindows : public testing::Test {
protected:
    void SetUp() override
    {
        reset_engine("");
        CreateDirectoryA(dir.at("appdata").c_str(), nullptr);
        SetEnvironmentVariableA("APPDATA", dir.at("appdata").c_str());
        DeleteFileA(old_ini.c_str());
    }
    void TearDown() override
    {
        DeleteFileA(old_ini.c_str());
        if (saved != "<missing>") {
            write_bytes(old_ini, saved);
        }
        reset_engine("");
    }
    // Sets the root with the answers `lines`; returns what the user saw.
    std::vector<std::string> root_dialogue(std::vector<std::string> lines, int expected_result = 1)
    {
        ScriptedSession s(std::move(lines));
        EXPECT_EQ(set_poser_root(s.wn), expected_result);
        return s.transcript();
    }

    TempDir dir;
    const std::string ini = dir.at("appdata/tarnwick/poserdirname.ini");
    const std::string old_ini = windows_folder() + "\\poserdirname.ini";
    const std::string saved = read_bytes(old_ini);
};

TEST_F(PoserRootWindows, TheRootIsSavedInApplicationDataAndTheOldFileStillRead)
{
    EXPECT_EQ(root_dialogue({"yes"}), (std::vector<std::string>{k_root_question + "c:\tyes"}));
    EXPECT_FALSE(exists(ini));

    write_bytes(old_ini, "[poserinfo]\r\nposeraddr=E:\\old\r\n");
    write_bytes(dir.at("Poser/x.txt"), "");
    EXPECT_EQ(root_dialogue({"no", dir.at("Poser/x.txt")}),
              (std::vector<std::string>{
                  k_root_question + "E:\\old\tno",
                  "open\tmain\tfind any file in your Poser installation's root folder\tE:\\old\\*.*\tE:\\old\tall files\t" +
                      dir.at("Poser/x.txt"),
                  "information\tnone\tYou say that your Poser installation is at\t" + dir.at("Poser"),
              }));
    EXPECT_EQ(read_bytes(ini), "[poserinfo]\r\nposeraddr=" + dir.at("Poser") + "\r\n");
    EXPECT_EQ(root_dialogue({"yes"}).front(), k_root_question + dir.at("Poser") + "\tyes");

    // Cancelling ends the program and keeps what was stored.
    EXPECT_EQ(root_dialogue({"no", "cancel"}, 0).back(), "warning\tmain\tExiting\tI need this information to be able to run.");
    EXPECT_EQ(read_setting(k_settings_section, k_root_key), dir.at("Poser"));

    // Section and key are found in any letter case, other sections and keys are kept, and a
    // stored value arrives cut at 255 characters.
    write_bytes(ini, "[other]\r\nposeraddr=elsewhere\r\n[PoserInfo]\r\nPoserAddr=E:\\x\r\nsize=3\r\n");
    EXPECT_EQ(read_setting(k_settings_section, k_root_key), "E:\\x");
    const std::string long_value = "F:\\" + std::string(297, 'p');
    ASSERT_TRUE(write_setting(k_settings_section, k_root_key, long_value));
    EXPECT_EQ(read_setting(k_settings_section, k_root_key), long_value.substr(0, 255));
    EXPECT_EQ(read_setting("other", k_root_key), "elsewhere");
    EXPECT_EQ(read_setting(k_settings_section, "size"), "3");
}

TEST_F(PoserRootWindows, ARootEndsInNoSeparatorAndAFailedSaveIsReported)
{
    const std::pair<std::string, std::string> stored[] = {
        {"Z:\\Poser\\", "Z:\\Poser"}, {"C:/Poser/", "C:/Poser"}, {"D:\\", "D:"}, {"D:\\P 4\\\\", "D:\\P 4"}};
    for (const auto& [value, root] : stored) {
        write_bytes(ini, "[poserinfo]\r\nposeraddr=" + value + "\r\n");
        EXPECT_EQ(root_dialogue({"yes"}).front(), k_root_question + root + "\tyes");
        EXPECT_EQ(posername, root);
    }

    // A file in a drive's top folder names the bare drive.
    const std::string top_file = windows_folder().substr(0, 2) + "\\tarnwick-root-test.txt";
    write_bytes(top_file, "");
    root_dialogue({"no", top_file});
    DeleteFileA(top_file.c_str());
    EXPECT_EQ(posername, windows_folder().substr(0, 2));

    // No folder can be made where a file stands: the root is used all the same.
    write_bytes(dir.at("blocked"), "");
    SetEnvironmentVariableA("APPDATA", dir.at("blocked").c_str());
    write_bytes(dir.at("Poser/x.txt"), "");
    EXPECT_EQ(root_dialogue({"no", dir.at("Poser/x.txt")}).back(),
              "warning\tnone\tI can't write this file\t" + dir.at("blocked/tarnwick/poserdirname.ini"));
    EXPECT_EQ(posername, dir.at("Poser"));
}

}  // namespace
