#include "engine/backup_name.h"

#include "tests/test_support.h"

#include <gtest/gtest.h>

namespace {

TEST(BackupName, LengthennameNeedsAFourCharacterExtension)
{
    struct Sample {
        std::string in;
        int result;
        std::string out;
    };
    const std::vector<Sample> samples = {
        {"D:\\p\\man.cr2", 1, "D:\\p\\man_zz03.cr2"},
        {"a.cr2", 1, "a_zz03.cr2"},
        {".cr2", 0, ".cr2"},
        {"man.cr22", 0, "man.cr22"},
        {"makefile", 0, "makefile"},
    };
    for (const Sample& s : samples) {
        std::string f = s.in;
        EXPECT_EQ(lengthenname(f, "_zz03"), s.result) << s.in;
        EXPECT_EQ(f, s.out) << s.in;
    }
}

TEST(BackupName, FirstFreeNameSkipsTakenOnes)
{
    TempDir dir;
    const std::string orig = dir.at("man.cr2");
    write_bytes(orig, "x");
    EXPECT_EQ(next_free_backup_name(orig), dir.at("man_zz00.cr2"));
    write_bytes(dir.at("man_zz00.cr2"), "");
    write_bytes(dir.at("man_zz02.cr2"), "");
    EXPECT_EQ(next_free_backup_name(orig), dir.at("man_zz01.cr2"));
    // a folder under the name is taken as well: nothing may be written over it
    write_bytes(dir.at("man_zz01.cr2/inside"), "");
    EXPECT_EQ(next_free_backup_name(orig), dir.at("man_zz03.cr2"));
}

TEST(BackupName, AllHundredTakenOrNoExtensionGivesNone)
{
    TempDir dir;
    const std::string orig = dir.at("f.hr2");
    write_bytes(orig, "x");
    for (int k = 0; k < 100; ++k) {
        write_bytes(dir.at("f_zz" + std::string(1, char('0' + k / 10)) + char('0' + k % 10) + ".hr2"), "");
    }
    EXPECT_EQ(next_free_backup_name(orig), "");
    const std::string plain = dir.at("poser_file");
    write_bytes(plain, "x");
    EXPECT_EQ(next_free_backup_name(plain), "");
}

}  // namespace
