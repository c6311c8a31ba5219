#include "engine/correction.h"

#include "engine/engine_state.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

namespace {

class Correction : public testing::Test {
protected:
    void SetUp() override
    {
        root = dir.at("Poser");
        reset_engine(root);
        write_bytes(dir.at("Poser/geom/ok.obj"), "v 0 0 0\n");
        write_bytes(dir.at("Poser/geom/new.obj"), "");
        write_bytes(dir.at("Poser/geom/new2.obj"), "");
        orig = dir.at("Poser/chars/man.cr2");
        cor = dir.at("Poser/chars/man_zz00.cr2");
    }
    void TearDown() override { reset_engine(""); }

    std::string obj(const std::string& name) const { return dir.at("Poser/geom/" + name); }

    TempDir dir;
    std::string root;
    std::string orig;
    std::string cor;
};

TEST_F(Correction, RewritesEveryReferenceInBlankColonNotation)
{
    write_bytes(orig, "{\r\nfigureResFile :geom:ok.obj  \t\r\nprop 0 0 geom\\ok.obj\r\n"
                      "objFileGeom\t:geom:caps.OBJ\r\n  name\t \r\n}");
    write_bytes(obj("caps.OBJ"), "");
    ScriptedSession s;
    ASSERT_EQ(correctposerfile(orig, cor, s.wn), 1);
    EXPECT_EQ(read_bytes(cor), "{\r\nfigureResFile :geom:ok.obj\r\nprop 0 0 :geom:ok.obj\r\n"
                               "objFileGeom\t:geom:caps.OBJ\r\n  name\r\n}\r\n");
    EXPECT_TRUE(s.transcript().empty());
}

TEST_F(Correction, AskedOnceForAFileAndRememberedForLaterLines)
{
    write_bytes(orig, "a :geom:gone.obj\nb :geom:gone.obj\nc :geom:GONE.obj\n");
    auto log = std::make_unique<TextWriter>();
    ASSERT_TRUE(log->open(dir.at("log.txt")));
    LOG = std::move(log);
    ScriptedSession s({obj("new.obj"), obj("new2.obj")});
    ASSERT_EQ(correctposerfile(orig, cor, s.wn), 1);
    LOG.reset();
    EXPECT_EQ(read_bytes(cor), "a :geom:new.obj\r\nb :geom:new.obj\r\nc :geom:new2.obj\r\n");
    const std::string open_gone = "open\tmain\tfind the correct .OBJ file\t" + obj("gone.obj") + "\t" +
                                  dir.at("Poser/geom") + "\tOBJ mesh geometry files\t";
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{
                                  open_gone + obj("new.obj"),
                                  "open\tmain\tfind the correct .OBJ file\t" + obj("GONE.obj") + "\t" +
                                      dir.at("Poser/geom") + "\tOBJ mesh geometry files\t" + obj("new2.obj"),
                              }));
    const std::string pair1 = "      pointer to " + obj("gone.obj") + " replaced by\r\n      pointer to " + obj("new.obj") + "\r\n";
    const std::string pair2 = "      pointer to " + obj("GONE.obj") + " replaced by\r\n      pointer to " + obj("new2.obj") + "\r\n";
    EXPECT_EQ(read_bytes(dir.at("log.txt")), pair1 + pair1 + pair2);
    ASSERT_EQ(nL, 2);
    EXPECT_EQ(repllist[0].old_path, obj("gone.obj"));
    EXPECT_EQ(repllist[0].new_path, obj("new.obj"));

    // a later file is corrected from the list without a prompt, even once the pick is gone
    ASSERT_TRUE(fsys::remove_file(obj("new.obj")));
    const std::string other = dir.at("Poser/chars/other.pp2");
    write_bytes(other, "x :geom:gone.obj");
    ScriptedSession later;
    ASSERT_EQ(correctposerfile(other, dir.at("out.pp2"), later.wn), 1);
    EXPECT_EQ(read_bytes(dir.at("out.pp2")), "x :geom:new.obj\r\n");
    EXPECT_TRUE(later.transcript().empty());
}

TEST_F(Correction, CancelStopsAtOnceButKeepsEarlierPicks)
{
    write_bytes(orig, "a :geom:g1.obj\nb :geom:g2.obj\nc :geom:g3.obj\n");
    ScriptedSession s({obj("new.obj"), "cancel", obj("new2.obj")});
    EXPECT_EQ(correctposerfile(orig, cor, s.wn), 0);
    EXPECT_EQ(s.transcript().size(), 2u);
    EXPECT_EQ(nL, 1);
    EXPECT_EQ(read_bytes(cor), "a :geom:new.obj\r\n");
}

TEST_F(Correction, LineWithoutMarkerFailsThePassButItGoesOn)
{
    write_bytes(orig, "ball.obj\na :geom:g1.obj\nend\n");
    ScriptedSession s({obj("new.obj")});
    EXPECT_EQ(correctposerfile(orig, cor, s.wn), 0);
    EXPECT_EQ(s.transcript().size(), 1u);
    EXPECT_EQ(read_bytes(cor), "a :geom:new.obj\r\nend\r\n");
}

TEST_F(Correction, PickOutsideTheRootIsRefusedAndAskedAgain)
{
    write_bytes(orig, "a :geom:g1.obj\n");
    const std::string outside = dir.at("elsewhere.obj");
    write_bytes(outside, "");
    ScriptedSession s({outside, obj("new.obj")});
    ASSERT_EQ(correctposerfile(orig, cor, s.wn), 1);
    ASSERT_EQ(s.transcript().size(), 3u);
    EXPECT_EQ(s.transcript()[1], "warning\tnone\tthis file is not in your Poser installation\t" + outside);
    EXPECT_EQ(s.transcript()[2].substr(s.transcript()[2].rfind('\t') + 1), obj("new.obj"));
    EXPECT_EQ(read_bytes(cor), "a :geom:new.obj\r\n");
}

TEST_F(Correction, FullListServesTheLineAtHandOnly)
{
    create_repllist();
    for (int k = 0; k < k_repl_capacity; ++k) {
        repllist[k].old_path = "old" + std::to_string(k);
        repllist[k].new_path = "new" + std::to_string(k);
    }
    nL = k_repl_capacity;
    write_bytes(orig, "a :geom:g1.obj\nb :geom:g1.obj\n");
    ScriptedSession s({obj("new.obj"), obj("new2.obj")});
    ASSERT_EQ(correctposerfile(orig, cor, s.wn), 1);
    EXPECT_EQ(s.transcript().size(), 2u);
    EXPECT_EQ(nL, k_repl_capacity);
    EXPECT_EQ(read_bytes(cor), "a :geom:new.obj\r\nb :geom:new2.obj\r\n");
}

TEST_F(Correction, MissingFilesAreWarnedAbout)
{
    ScriptedSession s;
    EXPECT_EQ(correctposerfile(dir.at("nope.cr2"), cor, s.wn), 0);
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{"warning\tnone\tI can't open this file\t" + dir.at("nope.cr2")}));
    write_bytes(orig, "x\n");
    ScriptedSession s2;
    EXPECT_EQ(correctposerfile(orig, dir.at("no/such/folder/x.cr2"), s2.wn), 0);
    EXPECT_EQ(s2.transcript(),
              (std::vector<std::string>{"warning\tnone\tI can't open this file\t" + dir.at("no/such/folder/x.cr2")}));
}

TEST_F(Correction, AFailedWriteOrFlushFailsThePass)
{
    write_bytes(orig, "a :geom:ok.obj\n");
    for (fsys::Op failing : {fsys::Op::write, fsys::Op::sync, fsys::Op::close}) {
        fsys::set_fault_hook([&](fsys::Op op, const std::string& path) { return op == failing && path == cor; });
        ScriptedSession s;
        EXPECT_EQ(correctposerfile(orig, cor, s.wn), 0);
        EXPECT_EQ(s.transcript(), (std::vector<std::string>{"warning\tnone\tI can't write this file\t" + cor}));
        fsys::set_fault_hook(nullptr);
    }
}

}  // namespace
