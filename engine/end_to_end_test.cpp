// A small Poser installation repaired by a folder walk, checked byte for byte.
#include "engine/correction.h"
#include "engine/engine_state.h"
#include "engine/folder_walk.h"
#include "engine/fsys.h"
#include "tests/test_support.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

TEST(EndToEnd, WalkRepairsBrokenAndPrefixReferences)
{
    TempDir dir;
    const std::string root = dir.at("Poser");
    reset_engine(root);
    write_bytes(dir.at("Poser/Runtime/Geometries/man/man.obj"), "");
    write_bytes(dir.at("Poser/Runtime/Geometries/man/man2.obj"), "");
    write_bytes(dir.at("Poser/Runtime/Geometries/ball.obj"), "");
    const std::string chars = dir.at("Poser/Runtime/Libraries/Character");
    const std::string props = dir.at("Poser/Runtime/Libraries/Props");
    const std::string man_text = "{\r\nversion\r\n\t{\r\n\tnumber 4.01  \r\n\t}\r\n"
                                 "figureResFile :Runtime:Geometries:man:old.obj\r\n"
                                 "actor hip:1\r\n\t{\r\n\tobjFileGeom 0 0 :Runtime:Geometries:man:old.obj\r\n\t}\r\n}";
    const std::string ball_text = "prop ball\r\n\t{\r\n\tobjFileGeom 0 0 Runtime:Geometries:ball.obj\r\n\t}\r\n";
    const std::string fine_text = "figureResFile :Runtime:Geometries:man:man.obj\r\n";
    write_bytes(chars + fsys::k_sep + "man.cr2", man_text);
    write_bytes(props + fsys::k_sep + "ball.pp2", ball_text);
    write_bytes(props + fsys::k_sep + "fine.pp2", fine_text);
    auto log = std::make_unique<TextWriter>();
    ASSERT_TRUE(log->open(dir.at("__result_of_run.txt")));
    LOG = std::move(log);

    // questions answered Yes whenever they come; the one pick serves the chooser
    ScriptedPrompts picks(std::vector<std::string>{dir.at("Poser/Runtime/Geometries/man/man2.obj")});
    YesToQuestions wn(picks);
    EXPECT_EQ(searchdir(dir.at("Poser/Runtime/Libraries"), wn), 1);
    LOG.reset();

    EXPECT_EQ(read_bytes(chars + fsys::k_sep + "man.cr2"),
              "{\r\nversion\r\n\t{\r\n\tnumber 4.01\r\n\t}\r\n"
              "figureResFile :Runtime:Geometries:man:man2.obj\r\n"
              "actor hip:1\r\n\t{\r\n\tobjFileGeom 0 0 :Runtime:Geometries:man:man2.obj\r\n\t}\r\n}\r\n");
    EXPECT_EQ(read_bytes(chars + fsys::k_sep + "man_zz00.cr2"), man_text);
    EXPECT_EQ(read_bytes(props + fsys::k_sep + "ball.pp2"),
              "prop ball\r\n\t{\r\n\tobjFileGeom 0 0 :Runtime:Geometries:ball.obj\r\n\t}\r\n");
    EXPECT_EQ(read_bytes(props + fsys::k_sep + "ball_zz00.pp2"), ball_text);
    EXPECT_EQ(read_bytes(props + fsys::k_sep + "fine.pp2"), fine_text);
    EXPECT_FALSE(exists(props + fsys::k_sep + "fine_zz00.pp2"));

    const std::string man_log = "file " + chars + fsys::k_sep + "man.cr2 being corrected: old version is on\r\n     " +
                                chars + fsys::k_sep + "man_zz00.cr2\r\n";
    const std::string pair = "      pointer to " + dir.at("Poser/Runtime/Geometries/man/old.obj") +
                             " replaced by\r\n      pointer to " + dir.at("Poser/Runtime/Geometries/man/man2.obj") + "\r\n";
    const std::string ball_log = "file " + props + fsys::k_sep + "ball.pp2 being corrected: old version is on\r\n     " +
                                 props + fsys::k_sep + "ball_zz00.pp2\r\n";
    std::vector<std::string> order;
    fsys::list_folder(dir.at("Poser/Runtime/Libraries"), order);
    const bool chars_first = std::find(order.begin(), order.end(), "Character") <
                             std::find(order.begin(), order.end(), "Props");
    const std::string man_part = man_log + pair + pair;
    EXPECT_EQ(read_bytes(dir.at("__result_of_run.txt")), chars_first ? man_part + ball_log : ball_log + man_part);
    EXPECT_EQ(nL, 1);
}

}  // namespace
