#include "app/poser_root.h"

#include "app/settings.h"
#include "tests/test_support.h"

#include <cstdlib>

#ifndef _WIN32
// The settings live in a private configuration folder for each test.
class PoserRoot : public testing::Test {
protected:
    void SetUp() override
    {
        reset_engine(run, "");
        ::setenv("XDG_CONFIG_HOME", dir.at("config").c_str(), 1);
        ::setenv("HOME", dir.at("home/").c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("XDG_CONFIG_HOME");
        ::setenv("HOME", home.c_str(), 1);  // else a later program (Chromium) makes the removed one anew
    }

    const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "/";
    TempDir dir;
    ::Run run;
    const std::string ini = dir.at("config/tarnwick/poserdirname.ini");
    const std::string question = "question\tnone\tIs this the root address of your Poser setup?\t";
};

TEST_F(PoserRoot, AChosenFileNamesTheRootWhichIsSavedAndProposedNextTime)
{
    write_bytes(dir.at("Poser/x.txt"), "");
    ScriptedSession s({"no", "cancel", "no", dir.at("Poser/x.txt"), "yes"});
    EXPECT_EQ(set_poser_root(run, s.wn), 0);
    EXPECT_EQ(s.transcript().back(), "warning\tmain\tExiting\tI need this information to be able to run.");
    EXPECT_FALSE(exists(ini));
    EXPECT_EQ(set_poser_root(run, s.wn), 1);
    EXPECT_EQ(run.posername, dir.at("Poser"));
    EXPECT_EQ(read_bytes(ini), "[poserinfo]\nposeraddr=" + dir.at("Poser") + "\n");
    EXPECT_EQ(set_poser_root(run, s.wn), 1);
    EXPECT_EQ(Lines(s.transcript().begin() + 3, s.transcript().end()),
              (Lines{question + dir.at("home") + "\tno",
                     "open\tmain\tfind any file in your Poser installation's root folder\t" + dir.at("home") + "/*.*\t" +
                         dir.at("home") + "\tall files\t" + dir.at("Poser/x.txt"),
                     "information\tnone\tYou say that your Poser installation is at\t" + dir.at("Poser"),
                     question + dir.at("Poser") + "\tyes"}));
}

TEST_F(PoserRoot, TopFolderFileEndsTheProgramSavingKeepsOtherSettingsStoredRootsEndInNoSeparator)
{
    // A file chosen directly in "/" names no root.
    fsys::MemoryFileSystem top;
    top.add_file("/x.txt", "");
    ScriptedSession chosen({"no", "/x.txt"}, top);
    EXPECT_EQ(set_poser_root(run, chosen.wn), 0);
    EXPECT_EQ(chosen.transcript().back(), "warning\tmain\tThis is not a valid file name. Exiting\t/x.txt");
    EXPECT_FALSE(exists(ini));
    const std::string before = "; kept\n[other]\nposeraddr=elsewhere\n[PoserInfo]\nsize=3\n", after = "\n\n[last]\nk=v\n";
    write_bytes(ini, before + "PoserAddr = /old" + after);
    EXPECT_EQ(read_setting(k_settings_section, k_root_key), "/old");
    ASSERT_TRUE(write_setting(k_settings_section, k_root_key, "/new root"));
    EXPECT_EQ(read_bytes(ini), before + "poseraddr=/new root" + after);
    write_bytes(ini, "[other]\nk=v\n[PoserInfo]\n[last]\n");
    ASSERT_TRUE(write_setting(k_settings_section, k_root_key, "/r"));
    EXPECT_EQ(read_bytes(ini), "[other]\nk=v\n[PoserInfo]\nposeraddr=/r\n[last]\n");
    // The root's line in its section, as the Windows profile functions find it.
    const std::string long_value(300, 'v');
    const std::pair<std::string, std::string> rows[] = {
        {"[poserinfo]\n[]\nposeraddr=/b\n[PoserInfo]\nposeraddr=/a\n", "/a"},
        {" \t[ PoserInfo ]\t\r\n\t poseraddr \t= \t/c d \t\r\n", "/c d"},
        {"[poserinfo]\nposeraddr\n[poserinfox]\nposeraddr=/e\n[poserinfo?\nposeraddr=/f", ""},
        {"[poserinfo]\r\nother=1\r\n\r\nposeraddr=" + long_value, long_value.substr(0, 255)},
    };
    for (const auto& [text, root] : rows) {
        write_bytes(ini, text);
        EXPECT_EQ(read_setting(k_settings_section, k_root_key), root) << text;
    }
    // A stored root ends in no separator.
    for (const auto& [value, root] : {std::pair{"/p//", "/p"}, std::pair{"/", "/"}}) {
        write_bytes(ini, "[poserinfo]\nposeraddr=" + std::string(value) + "\n");
        ScriptedSession s({"yes"});
        EXPECT_EQ(set_poser_root(run, s.wn), 1);
        EXPECT_EQ(run.posername, root);
    }
    // Without a configuration folder named (unset or empty) the settings live below the user's home.
    for (const char* xdg : {static_cast<const char*>(nullptr), ""}) {
        xdg != nullptr ? ::setenv("XDG_CONFIG_HOME", xdg, 1) : ::unsetenv("XDG_CONFIG_HOME");
        ASSERT_TRUE(write_setting("s", "k", "v"));
        EXPECT_EQ(settings_file_path(), dir.at("home/.config/tarnwick/poserdirname.ini"));
        EXPECT_EQ(read_setting("s", "k"), "v");
    }
}
#endif
