// The Poser root on Windows: "poserdirname.ini" in the user's application data, the old one
// in the Windows folder still read, and a root chosen in a drive's top folder is the drive.
#include "app/poser_root.h"

#include "app/settings.h"
#include "engine/engine_state.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

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
        write_bytes(dir.at("Poser/x.txt"), "");
    }
    void TearDown() override
    {
        DeleteFileA(old_ini.c_str());
        if (saved != "<missing>") {
            write_bytes(old_ini, saved);
        }
        reset_engine("");
    }
    // The root dialogue with the answers `lines`: the first and the last thing the user saw.
    std::string first_and_last(std::vector<std::string> lines)
    {
        ScriptedSession s(std::move(lines));
        EXPECT_EQ(set_poser_root(s.wn), 1);
        return s.transcript().front() + "\n" + s.transcript().back();
    }

    TempDir dir;
    const std::string drive = dir.path().substr(0, 2);  // "C:"
    const std::string ini = dir.at("appdata/tarnwick/poserdirname.ini");
    const std::string old_ini = [] {
        char folder[MAX_PATH] = {};
        GetWindowsDirectoryA(folder, MAX_PATH);
        return std::string(folder) + "\\poserdirname.ini";
    }();
    const std::string saved = read_bytes(old_ini);
    const std::string question = "question\tnone\tIs this the root address of your Poser setup?\t";
    const std::string chosen = "information\tnone\tYou say that your Poser installation is at\t";
};

TEST_F(PoserRootWindows, TheRootIsSavedInApplicationDataAndTheOldFileStillRead)
{
    EXPECT_EQ(first_and_last({"yes"}), question + "c:\tyes\n" + question + "c:\tyes");
    EXPECT_FALSE(exists(ini));
    write_bytes(old_ini, "[poserinfo]\r\nposeraddr=E:\\old\r\n");
    EXPECT_EQ(first_and_last({"no", dir.at("Poser/x.txt")}), question + "E:\\old\tno\n" + chosen + dir.at("Poser"));
    EXPECT_EQ(read_bytes(ini), "[poserinfo]\r\nposeraddr=" + dir.at("Poser") + "\r\n");
    EXPECT_EQ(first_and_last({"yes"}), question + dir.at("Poser") + "\tyes\n" + question + dir.at("Poser") + "\tyes");
    // A stored value arrives cut at 255 characters.
    const std::string long_value = "F:\\" + std::string(297, 'p');
    ASSERT_TRUE(write_setting(k_settings_section, k_root_key, long_value));
    EXPECT_EQ(read_setting(k_settings_section, k_root_key), long_value.substr(0, 255));

    // No folder can be made where a file stands: the failed save is reported, and the root
    // is used all the same.
    write_bytes(dir.at("blocked"), "");
    SetEnvironmentVariableA("APPDATA", dir.at("blocked").c_str());
    EXPECT_EQ(first_and_last({"no", dir.at("Poser/x.txt")}),
              question + "E:\\old\tno\nwarning\tnone\tI can't write this file\t" +
                  dir.at("blocked/tarnwick/poserdirname.ini"));
    EXPECT_EQ(posername, dir.at("Poser"));
}

TEST_F(PoserRootWindows, ARootEndsInNoSeparatorAndADrivesTopFolderIsTheBareDrive)
{
    const std::pair<std::string, std::string> stored[] = {
        {"Z:\\Poser\\", "Z:\\Poser"}, {"C:/Poser/", "C:/Poser"}, {"D:\\", "D:"}, {"D:\\P 4\\\\", "D:\\P 4"}};
    for (const auto& [value, root] : stored) {
        write_bytes(ini, "[poserinfo]\r\nposeraddr=" + value + "\r\n");
        EXPECT_EQ(first_and_last({"yes"}), question + root + "\tyes\n" + question + root + "\tyes");
        EXPECT_EQ(posername, root);
    }
    const std::string top_file = drive + "\\tarnwick-root-test.txt";
    write_bytes(top_file, "");
    EXPECT_EQ(first_and_last({"no", top_file}), question + "D:\\P 4\tno\n" + chosen + drive);
    DeleteFileA(top_file.c_str());
    EXPECT_EQ(read_setting(k_settings_section, k_root_key), drive);
}

}  // namespace
