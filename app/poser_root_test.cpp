#include "app/poser_root.h"

#include "app/settings.h"
#include "engine/engine_state.h"
#include "tests/test_support.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

const std::string k_root_question = "Is this the root address of your Poser setup?";
const std::string k_root_title = "find any file in your Poser installation's root folder";

#ifndef _WIN32
// The settings live in a private configuration folder for each test.
class PoserRoot : public testing::Test {
protected:
    void SetUp() override
    {
        reset_engine("");
        saved_home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
        ::setenv("XDG_CONFIG_HOME", dir.at("config").c_str(), 1);
        ::setenv("HOME", dir.at("home").c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("XDG_CONFIG_HOME");
        ::setenv("HOME", saved_home.c_str(), 1);
    }
    std::string ini() const { return dir.at("config/tarnwick/poserdirname.ini"); }

    TempDir dir;
    std::string saved_home;
};

TEST_F(PoserRoot, NothingStoredAndYesTakesTheHomeFolder)
{
    ScriptedSession s({"yes"});
    EXPECT_EQ(set_poser_root(s.wn), 1);
    EXPECT_EQ(posername, dir.at("home"));
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{"question\tnone\t" + k_root_question + "\t" + dir.at("home") + "\tyes"}));
    EXPECT_FALSE(exists(ini()));
}

TEST_F(PoserRoot, AChosenFileNamesItsFolderWhichIsSavedAndProposedNextTime)
{
    write_bytes(dir.at("Poser/x.txt"), "");
    ScriptedSession s({"no", dir.at("Poser/x.txt")});
    EXPECT_EQ(set_poser_root(s.wn), 1);
    EXPECT_EQ(posername, dir.at("Poser"));
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{
                                  "question\tnone\t" + k_root_question + "\t" + dir.at("home") + "\tno",
                                  "open\tmain\t" + k_root_title + "\t" + dir.at("home") + "/*.*\t" + dir.at("home") +
                                      "\tall files\t" + dir.at("Poser/x.txt"),
                                  "information\tnone\tYou say that your Poser installation is at\t" + dir.at("Poser"),
                              }));
    EXPECT_EQ(read_setting(k_settings_section, k_root_key), dir.at("Poser"));

    posername.clear();
    ScriptedSession next({"yes"});
    EXPECT_EQ(set_poser_root(next.wn), 1);
    EXPECT_EQ(next.transcript().front(), "question\tnone\t" + k_root_question + "\t" + dir.at("Poser") + "\tyes");
}

TEST_F(PoserRoot, CancelEndsTheProgramAndSavesNothing)
{
    ScriptedSession s({"no", "cancel"});
    EXPECT_EQ(set_poser_root(s.wn), 0);
    EXPECT_EQ(s.transcript().back(), "warning\tmain\tExiting\tI need this information to be able to run.");
    EXPECT_FALSE(exists(ini()));
}

// Chooses `path` whatever it is, as a dialog may return a file directly in "/".
class Chooses : public ScriptedPrompts {
public:
    explicit Chooses(std::string path) : ScriptedPrompts(std::vector<std::string>{}), m_path(std::move(path)) {}

protected:
    int choose_file(Owner, std::string& f, std::string_view, std::string_view, const FileFilter&, ChooserMode) override
    {
        f = m_path;
        return 1;
    }

private:
    std::string m_path;
};

TEST_F(PoserRoot, AFileInTheTopFolderIsRefused)
{
    Chooses answers("/x.txt");
    TranscriptPrompts wn(answers);
    EXPECT_EQ(set_poser_root(wn), 0);
    EXPECT_EQ(wn.lines().back(), "warning\tmain\tThis is not a valid file name. Exiting\t/x.txt");
    EXPECT_FALSE(exists(ini()));
}

TEST_F(PoserRoot, SavingKeepsTheOtherSettings)
{
    write_bytes(ini(), "; kept\n[other]\nposeraddr=elsewhere\n[PoserInfo]\nPoserAddr = /old\nsize=3\n\n[last]\nk=v\n");
    EXPECT_EQ(read_setting(k_settings_section, k_root_key), "/old");
    ASSERT_TRUE(write_setting(k_settings_section, k_root_key, "/new root"));
    EXPECT_EQ(read_bytes(ini()), "; kept\n[other]\nposeraddr=elsewhere\n[PoserInfo]\nposeraddr=/new root\nsize=3\n\n[last]\nk=v\n");
    write_bytes(ini(), "[other]\nk=v\n");
    ASSERT_TRUE(write_setting(k_settings_section, k_root_key, "/r"));
    EXPECT_EQ(read_bytes(ini()), "[other]\nk=v\n[poserinfo]\nposeraddr=/r\n");
    EXPECT_EQ(read_setting(k_settings_section, k_root_key), "/r");
    EXPECT_EQ(read_setting("other", "k"), "v");
}

TEST_F(PoserRoot, AStoredRootEndsInNoSeparator)
{
    const std::pair<std::string, std::string> stored[] = {{"/p//", "/p"}, {"/", "/"}};
    for (const auto& [value, root] : stored) {
        write_bytes(ini(), "[poserinfo]\nposeraddr=" + value + "\n");
        ScriptedSession s({"yes"});
        EXPECT_EQ(set_poser_root(s.wn), 1);
        EXPECT_EQ(posername, root);
    }
}
#endif

}  // namespace
