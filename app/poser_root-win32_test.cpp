// The Poser root on Windows: saved in application data, the old Windows-folder file still read.
#include "app/poser_root.h"

#include "app/settings.h"
#include "engine/base/text_encoding.h"
#include "tests/test_support.h"

#include <windows.h>

TEST(PoserRootWindows, SavedInApplicationDataOldFileStillReadNoTrailingSeparator)
{
    TempDir dir;
    ::Run run;
    CreateDirectoryA(dir.at("appdata").c_str(), nullptr);
    SetEnvironmentVariableA("APPDATA", dir.at("appdata").c_str());
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string old_ini = std::string(windows) + "\\poserdirname.ini", ini = dir.at("appdata/tarnwick/poserdirname.ini");
    const std::string drive = dir.path().substr(0, 2);  // "C:"
    write_bytes(dir.at("Poser/x.txt"), "");
    write_bytes(drive + "\\tarnwick-root-test.txt", "");
    // The first and the last thing the user sees in the root dialogue answered by `lines`.
    auto dialogue = [&run](std::vector<std::string> lines) {
        ScriptedSession s(std::move(lines));
        EXPECT_EQ(set_poser_root(run, s.wn), 1);
        const std::string &question = s.transcript().front(), &last = s.transcript().back();
        return question.substr(question.find("setup?\t") + 7) + "|" + last.substr(last.rfind('\t') + 1);
    };

    DeleteFileA(old_ini.c_str());
    EXPECT_EQ(dialogue({"yes"}), "c:\tyes|yes");
    EXPECT_FALSE(exists(ini));
    write_bytes(old_ini, "[poserinfo]\r\nposeraddr=E:\\old\\/\r\n");
    EXPECT_EQ(dialogue({"no", dir.at("Poser/x.txt")}), "E:\\old\tno|" + dir.at("Poser"));
    EXPECT_EQ(read_bytes(ini), "[poserinfo]\r\nposeraddr=" + dir.at("Poser") + "\r\n");
    EXPECT_EQ(dialogue({"yes"}), dir.at("Poser") + "\tyes|yes");
    ASSERT_TRUE(write_setting(k_settings_section, k_root_key, "D:\\"));
    EXPECT_EQ(dialogue({"no", drive + "\\tarnwick-root-test.txt"}), "D:\tno|" + drive);

    // No folder where a file stands: the failed save is reported, the root used all the same.
    SetEnvironmentVariableA("APPDATA", dir.at("Poser/x.txt").c_str());
    EXPECT_EQ(dialogue({"no", dir.at("Poser/x.txt")}),
              "E:\\old\tno|" + dir.at("Poser/x.txt/tarnwick/poserdirname.ini"));
    EXPECT_EQ(run.posername, dir.at("Poser"));
    DeleteFileA((drive + "\\tarnwick-root-test.txt").c_str());
    DeleteFileA(old_ini.c_str());
    reset_engine(run, "");
}

// A root whose letters the ANSI code page lacks turns the settings file into UTF-16, which the
// profile functions keep; a root it can hold leaves the file as older versions read it.
TEST(PoserRootWindows, AnyLetterInTheSavedRoot)
{
    TempDir dir;
    CreateDirectoryW(to_wide(dir.at("Łukasz")).c_str(), nullptr);  // a user's application data
    SetEnvironmentVariableW(L"APPDATA", to_wide(dir.at("Łukasz")).c_str());
    const std::string ini = dir.at("Łukasz/tarnwick/poserdirname.ini");
    ASSERT_TRUE(write_setting(k_settings_section, k_root_key, "E:\\café") && write_setting("other", "kept", "yes"));
    EXPECT_EQ(read_bytes(ini), "[poserinfo]\r\nposeraddr=E:\\caf\xe9\r\n[other]\r\nkept=yes\r\n");
    ASSERT_TRUE(write_setting(k_settings_section, k_root_key, "E:\\Łódź Ελληνικά 日本語"));
    const std::string utf16 = read_bytes(ini);
    EXPECT_EQ(to_utf8(std::wstring_view(reinterpret_cast<const wchar_t*>(utf16.data()), utf16.size() / 2)),
              "\ufeff[poserinfo]\r\nposeraddr=E:\\Łódź Ελληνικά 日本語\r\n[other]\r\nkept=yes\r\n");
}
