// The repair with the extended rules: compressed documents, quoted and .obz pointers,
// letter case, several roots and replacements found by name.
#include "engine/correction.h"
#include "engine/engine_state.h"
#include "engine/folder_walk.h"
#include "engine/pointer_rules.h"
#include "engine/poserfile.h"
#include "tests/test_support.h"

class ExtendedRepair : public testing::Test {
protected:
    void SetUp() override
    {
        reset_engine(dir.at("one"));
        extended_rules = ExtendedRules{true, false, {dir.at("one"), dir.at("two")}};
        for (const char* file : {"one/Runtime/Geometries/man/man.obj", "one/Runtime/Geometries/props/ball.OBZ",
                                 "two/Runtime/Geometries/hair/bob.obj", "one/a/chair.obz", "two/b/chair.obz"}) {
            write_bytes(dir.at(file), "");
        }
        open_log(dir.at("log.txt"));
    }
    void TearDown() override { reset_engine(""); }

    // Checks (and repairs) `relative`, answering the prompts from `answers`.
    std::vector<std::string> repair(const std::string& relative, std::vector<std::string> answers = {})
    {
        ScriptedSession s(std::move(answers));
        readposerfile(dir.at(relative), s.wn);
        return s.transcript();
    }
    std::string log_text() { return closed_log(dir.at("log.txt")); }
    std::string pair(const std::string& old_path, const std::string& new_path) const
    {
        return replaced_lines(dir.at(old_path), dir.at(new_path));
    }
    // The chooser offering `initial`, answered with `answer` (a file below the test folder, or "cancel").
    std::string chooser(const std::string& initial, const std::string& answer) const
    {
        return chooser_line(dir.at(initial), answer == "cancel" ? answer : dir.at(answer));
    }

    TempDir dir;
};

TEST_F(ExtendedRepair, CompressedQuotedObzAndLetterCase)
{
    const std::string text = "{\r\n\tfigureResFile \":Runtime:Geometries:my folder :gone.obj\"\r\n"
                             "\tobjFileGeom 0 0 Runtime:Geometries:props:ball.OBZ\r\n"
                             "\tfigureResFile :runtime:geometries:MAN:man.obj\r\n}";
    write_gzip(dir.at("one/chars/man.crz"), text);
    const std::string old_bytes = read_bytes(dir.at("one/chars/man.crz"));
    const auto seen = repair("one/chars/man.crz", {dir.at("one/Runtime/Geometries/man/man.obj")});
    EXPECT_EQ(read_gzip(dir.at("one/chars/man.crz")),
              "{\r\n\tfigureResFile \":Runtime:Geometries:man:man.obj\"\r\n"
              "\tobjFileGeom 0 0 :Runtime:Geometries:props:ball.OBZ\r\n"
              "\tfigureResFile :runtime:geometries:MAN:man.obj\r\n}\r\n");
    EXPECT_EQ(read_bytes(dir.at("one/chars/man_zz00.crz")), old_bytes);
    EXPECT_EQ(seen.back(), chooser("one/Runtime/Geometries/my folder /gone.obj", "one/Runtime/Geometries/man/man.obj"));
    EXPECT_EQ(log_text(), correcting_lines(dir.at("one/chars/man.crz"), dir.at("one/chars/man_zz00.crz")) +
                              pair("one/Runtime/Geometries/my folder /gone.obj", "one/Runtime/Geometries/man/man.obj"));

    // Letter case alone is no reason to rewrite, and a corrupt compressed file is left alone.
    write_bytes(dir.at("one/chars/case.cr2"), "figureResFile :runtime:geometries:MAN:man.obj\n");
    write_bytes(dir.at("one/chars/bad.crz"), "\x1f\x8b\x08 broken");
    EXPECT_EQ(repair("one/chars/case.cr2").size(), 1u);
    EXPECT_EQ(repair("one/chars/bad.crz").back(), "warning\tnone\tI can't read this file\t" + dir.at("one/chars/bad.crz"));
    EXPECT_FALSE(exists(dir.at("one/chars/case_zz00.cr2")) || exists(dir.at("one/chars/bad_zz00.crz")));
}

TEST_F(ExtendedRepair, PicksUnderAnyRootAndReplacementsFoundByName)
{
    write_bytes(dir.at("one/chars/a.cr2"), "figureResFile :Runtime:Geometries:gone:hair.obj\n"
                                           "figureResFile :Runtime:Geometries:old:bob.obj\n"
                                           "objFileGeom 0 0 :x:chair.obz\n"
                                           "objFileGeom 0 0 :x:nothing.obj\n");
    // Without --auto a single namesake is proposed, not taken.
    auto seen = repair("one/chars/a.cr2", {dir.at("two/Runtime/Geometries/hair/bob.obj"), "cancel"});
    EXPECT_EQ(seen.back(), chooser("two/Runtime/Geometries/hair/bob.obj", "cancel"));
    EXPECT_EQ(read_bytes(dir.at("one/chars/a.cr2")).substr(0, 14), "figureResFile ");

    release_repllist();
    extended_rules.automatic = true;
    seen = repair("one/chars/a.cr2", {dir.at("two/Runtime/Geometries/hair/bob.obj"), dir.at("two/b/chair.obz"),
                                      dir.at("one/Runtime/Geometries/man/man.obj")});
    EXPECT_EQ(read_bytes(dir.at("one/chars/a.cr2")), "figureResFile :Runtime:Geometries:hair:bob.obj\r\n"
                                                     "figureResFile :Runtime:Geometries:hair:bob.obj\r\n"
                                                     "objFileGeom 0 0 :b:chair.obz\r\n"
                                                     "objFileGeom 0 0 :Runtime:Geometries:man:man.obj\r\n");
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "title\t" + dir.at("one/chars/a.cr2"),
                        chooser("one/Runtime/Geometries/gone/hair.obj", "two/Runtime/Geometries/hair/bob.obj"),
                        "information\tnone\tfound by name\t" + dir.at("one/Runtime/Geometries/old/bob.obj") + " -> " +
                            dir.at("two/Runtime/Geometries/hair/bob.obj"),
                        chooser("one/a/chair.obz", "two/b/chair.obz"),
                        chooser("one/x/nothing.obj", "one/Runtime/Geometries/man/man.obj"),
                    }));
    const std::string log = log_text();
    EXPECT_NE(log.find(pair("one/Runtime/Geometries/old/bob.obj", "two/Runtime/Geometries/hair/bob.obj") +
                       "      (found by name)\r\n" + pair("one/x/chair.obz", "two/b/chair.obz")),
              std::string::npos)
        << log;
}

TEST_F(ExtendedRepair, WalkChecksEveryDocumentButNoBackupOfAFileBeside)
{
    for (const char* file : {"lib/a.cr2", "lib/a_zz00.cr2", "lib/b_zz00.cr2", "lib/c.mc6", "lib/._a.cr2",
                             "lib/__MACOSX/m.cr2", "lib/notes.txt"}) {
        write_bytes(dir.at(file), "nothing to repair\n");
    }
    ScriptedSession s({"yes"});
    searchdir(dir.at("lib"), s.wn);
    std::vector<std::string> titles = s.transcript();
    titles.pop_back();
    std::sort(titles.begin(), titles.end());
    EXPECT_EQ(titles, (std::vector<std::string>{"title\t" + dir.at("lib/a.cr2"), "title\t" + dir.at("lib/b_zz00.cr2"),
                                                "title\t" + dir.at("lib/c.mc6")}));
}
