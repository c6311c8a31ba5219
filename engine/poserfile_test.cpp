#include "engine/poserfile.h"

#include "engine/correction.h"
#include "engine/engine_state.h"
#include "tests/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

class PoserFile : public PoserFolderTest {
protected:
    void SetUp() override
    {
        PoserFolderTest::SetUp();
        open_log();
    }

    std::string correcting_lines(const std::string& cor) const
    {
        return "file " + man + " being corrected: old version is on\r\n     " + cor + "\r\n";
    }
};

TEST_F(PoserFile, RepairsABrokenPointerAndKeepsTheOldText)
{
    const std::string old_text = "version\r\n{\r\nfigureResFile :geom:man.obj\r\n  tail  \r\n}";
    write_bytes(man, old_text);
    ScriptedSession s({obj("man2.obj")});
    readposerfile(man, s.wn);
    EXPECT_EQ(read_bytes(man), "version\r\n{\r\nfigureResFile :geom:man2.obj\r\n  tail\r\n}\r\n");
    EXPECT_EQ(read_bytes(backup), old_text);
    EXPECT_FALSE(exists(dir.at("Poser/chars/MIAOW_EE_EE_SAID_THE_CAT.txt")));
    EXPECT_EQ(log_text(), correcting_lines(backup) + "      pointer to " + obj("man.obj") +
                              " replaced by\r\n      pointer to " + obj("man2.obj") + "\r\n");
    EXPECT_EQ(s.transcript().front(), "title\t" + man);
}

TEST_F(PoserFile, CancelledRepairLeavesTheFileAsItWas)
{
    write_bytes(man, "figureResFile :geom:man.obj\n");
    ScriptedSession s({"cancel"});
    readposerfile(man, s.wn);
    EXPECT_EQ(read_bytes(man), "figureResFile :geom:man.obj\n");
    EXPECT_FALSE(exists(backup));
    EXPECT_EQ(log_text(), correcting_lines(backup) + "      RUN ABANDONED\r\n");
}

TEST_F(PoserFile, FilesNeedingNoRepairAreNotTouched)
{
    const std::vector<std::string> texts = {
        "no references at all\n",
        "figureResFile :geom:ball.obj\nobjFileGeom\t:geom:man2.obj  \r\n",
        // no marker, but the whole line names an existing file below the root
        "geom:ball.obj\n",
    };
    for (const std::string& text : texts) {
        write_bytes(man, text);
        ScriptedSession s;
        readposerfile(man, s.wn);
        EXPECT_EQ(read_bytes(man), text);
        EXPECT_EQ(s.transcript(), (std::vector<std::string>{"title\t" + man}));
    }
    EXPECT_EQ(folder_names(dir.at("Poser/chars")), (std::vector<std::string>{"man.cr2"}));
    EXPECT_EQ(log_text(), "");
}

TEST_F(PoserFile, PrefixNotationIsRewrittenWithoutAnyPrompt)
{
    std::string long_line(700, 'p');
    const std::string old_text = "prop 0 0 geom:ball.obj\n" + long_line + " \t\n" + "figureResFile geom\\man2.obj";
    write_bytes(man, old_text);
    write_bytes(dir.at("Poser/chars/man_zz00.cr2"), "older");
    write_bytes(dir.at("Poser/chars/man_zz02.cr2"), "older still");
    ScriptedSession s;
    readposerfile(man, s.wn);
    const std::string cor = dir.at("Poser/chars/man_zz01.cr2");
    EXPECT_EQ(read_bytes(man), "prop 0 0 :geom:ball.obj\r\n" + long_line + "\r\nfigureResFile :geom:man2.obj\r\n");
    EXPECT_EQ(read_bytes(cor), old_text);
    EXPECT_EQ(read_bytes(backup), "older");
    EXPECT_EQ(log_text(), correcting_lines(cor));
    EXPECT_EQ(s.transcript().size(), 1u);
}

TEST_F(PoserFile, UnopenableFileIsWarnedAboutWithoutTitle)
{
    ScriptedSession s;
    readposerfile(dir.at("Poser/chars"), s.wn);
    readposerfile(man, s.wn);
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{
                                  "warning\tnone\tI can't open this file\t" + dir.at("Poser/chars"),
                                  "warning\tnone\tI can't open this file\t" + man,
                              }));
    EXPECT_EQ(log_text(), "");
}

TEST_F(PoserFile, LeftoverSwapFileStopsTheRepairAndIsKept)
{
    const std::string swap = dir.at("Poser/chars/MIAOW_EE_EE_SAID_THE_CAT.txt");
    write_bytes(swap, "text of an interrupted repair");
    write_bytes(man, "prop 0 0 geom:ball.obj\n");
    ScriptedSession s;
    readposerfile(man, s.wn);
    EXPECT_EQ(read_bytes(man), "prop 0 0 geom:ball.obj\n");
    EXPECT_EQ(read_bytes(swap), "text of an interrupted repair");
    EXPECT_FALSE(exists(backup));
    EXPECT_EQ(s.transcript().back(), "warning\tnone\tI can't rename this file\t" + man);
    EXPECT_EQ(log_text(), correcting_lines(backup) + "      RUN ABANDONED\r\n");
}

TEST_F(PoserFile, AFailedRenameIsUndone)
{
    const std::string old_text = "prop 0 0 geom:ball.obj\n";
    for (int failing = 1; failing <= 3; ++failing) {
        write_bytes(man, old_text);
        int renames = 0;
        fsys::set_fault_hook([&](fsys::Op op, const std::string&) { return op == fsys::Op::rename && ++renames == failing; });
        ScriptedSession s;
        readposerfile(man, s.wn);
        fsys::set_fault_hook(nullptr);
        EXPECT_EQ(read_bytes(man), old_text) << "rename " << failing;
        EXPECT_EQ(folder_names(dir.at("Poser/chars")), (std::vector<std::string>{"man.cr2"})) << "rename " << failing;
        EXPECT_EQ(s.transcript().back(), "warning\tnone\tI can't rename this file\t" + man);
    }
}

TEST_F(PoserFile, AFailedWriteNeverReplacesTheFile)
{
    const std::string old_text = "prop 0 0 geom:ball.obj\nmore\n";
    write_bytes(man, old_text);
    fsys::set_fault_hook([&](fsys::Op op, const std::string& path) { return op == fsys::Op::write && path == backup; });
    ScriptedSession s;
    readposerfile(man, s.wn);
    fsys::set_fault_hook(nullptr);
    EXPECT_EQ(read_bytes(man), old_text);
    EXPECT_FALSE(exists(backup));
    EXPECT_EQ(s.transcript().back(), "warning\tnone\tI can't write this file\t" + backup);
    EXPECT_EQ(log_text(), correcting_lines(backup) + "      RUN ABANDONED\r\n");
}

TEST_F(PoserFile, ABareNameIsRepairedInTheCurrentFolder)
{
    write_bytes(man, "prop 0 0 geom:ball.obj\n");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.at("Poser/chars"));
    ScriptedSession s;
    readposerfile("man.cr2", s.wn);
    std::filesystem::current_path(before);
    EXPECT_EQ(read_bytes(man), "prop 0 0 :geom:ball.obj\r\n");
    EXPECT_EQ(read_bytes(backup), "prop 0 0 geom:ball.obj\n");
    EXPECT_EQ(folder_names(dir.at("Poser/chars")), (std::vector<std::string>{"man.cr2", "man_zz00.cr2"}));
}

TEST_F(PoserFile, FileWithoutExtensionIsNeverRepaired)
{
    const std::string plain = dir.at("Poser/chars/figure");
    write_bytes(plain, "prop 0 0 geom:ball.obj\n");
    ScriptedSession s;
    readposerfile(plain, s.wn);
    EXPECT_EQ(read_bytes(plain), "prop 0 0 geom:ball.obj\n");
    EXPECT_EQ(log_text(), "");
}

}  // namespace
