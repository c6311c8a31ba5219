#include "app/poser_root.h"

#include "app/settings.h"
#include "engine/engine_state.h"
#include "tests/test_support.h"

#include <cstdlib>

namespace {

#ifndef _WIN32
const std::string k_question = "question\tnone\tIs this the root address of your Poser setup?\t";

// The settings live in a private configuration folder for each test.
class PoserRoot : public testing::Test {
protected:
    void SetUp() override
    {
        reset_engine("");
        ::setenv("XDG_CONFIG_HOME", dir.at("config").c_str(), 1);
        ::setenv("HOME", dir.at("home/").c_str(), 1);
    }
    void TearDown() override { ::unsetenv("XDG_CONFIG_HOME"); }
    std::string ini() const { return dir.at("config/tarnwick/poserdirname.ini"); }

    TempDir dir;
};

TEST_F(PoserRoot, TheHomeFolderProposedAChosenFileNamingItsFolderSavedAndProposedNext)
{
    write_bytes(dir.at("Poser/x.txt"), "");
    ScriptedSession s({"no", dir.at("Poser/x.txt"), "yes"});
    EXPECT_EQ(set_poser_root(s.wn), 1);
    EXPECT_EQ(posername, dir.at("Poser"));
    EXPECT_EQ(read_bytes(ini()), "[poserinfo]\nposeraddr=" + dir.at("Poser") + "\n");
    EXPECT_EQ(set_poser_root(s.wn), 1);
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{
                                  k_question + dir.at("home") + "\tno",
                                  "open\tmain\tfind any file in your Poser installation's root folder\t" + dir.at("home") +
                                      "/*.*\t" + dir.at("home") + "\tall files\t" + dir.at("Poser/x.txt"),
                                  "information\tnone\tYou say that your Poser installation is at\t" + dir.at("Poser"),
                                  k_question + dir.at("Poser") + "\tyes",
                              }));
}

// Chooses `path` whatever it is, as a dialog may return a file directly in "/".
class Chooses : public ScriptedPrompts {
public:
    explicit Chooses(std::string path) : ScriptedPrompts(std::vector<std::string>{}), m_path(std::move(path)) {}

protected:
    int choose_file(Owner, std::string& f, std::string_view, std::string_view, const FileFilter&, ChooserMode) override
    {
        f = m_path;
        return !m_path.empty();
    }

private:
    std::string m_path;
};

TEST_F(PoserRoot, NoRootEndsTheProgramAndSavesNothing)
{
    for (const std::string& chosen : {std::string(), std::string("/x.txt")}) {
        Chooses answers(chosen);
        TranscriptPrompts wn(answers);
        EXPECT_EQ(set_poser_root(wn), 0);
        EXPECT_EQ(wn.lines().back(), chosen.empty() ? "warning\tmain\tExiting\tI need this information to be able to run."
                                                    : "warning\tmain\tThis is not a valid file name. Exiting\t/x.txt");
    }
    EXPECT_FALSE(exists(ini()));
}

TEST_F(PoserRoot, SavingKeepsTheOtherSettings)
{
    write_bytes(ini(), "; kept\n[other]\nposeraddr=elsewhere\n[PoserInfo]\nsize=3\nPoserAddr = /old\n\n[last]\nk=v\n");
    EXPECT_EQ(read_setting(k_settings_section, k_root_key), "/old");
    ASSERT_TRUE(write_setting(k_settings_section, k_root_key, "/new root"));
    EXPECT_EQ(read_bytes(ini()), "; kept\n[other]\nposeraddr=elsewhere\n[PoserInfo]\nsize=3\nposeraddr=/new root\n\n[last]\nk=v\n");
    write_bytes(ini(), "[other]\nk=v\n");
    ASSERT_TRUE(write_setting(k_settings_section, k_root_key, "/r"));
    EXPECT_EQ(read_bytes(ini()), "[other]\nk=v\n[poserinfo]\nposeraddr=/r\n");
}
#endif

}  // namespace
