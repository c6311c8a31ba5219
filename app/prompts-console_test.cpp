#include "app/prompts-console.h"

#include "tests/test_support.h"

#include <cstdio>

namespace {

// Types `typed` into the console that `use` talks to, and returns what the screen shows.
template <typename Use>
std::string console(const std::string& typed, Use use)
{
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    std::fwrite(typed.data(), 1, typed.size(), in);
    std::rewind(in);
    ConsolePrompts prompts(in, out);
    use(prompts);
    std::rewind(out);
    std::string screen;
    for (int c; (c = std::fgetc(out)) != EOF;) {
        screen += static_cast<char>(c);
    }
    std::fclose(in);
    std::fclose(out);
    return screen;
}

TEST(ConsolePrompts, MessagesQuestionsAndTheStatusLine)
{
    EXPECT_EQ(console("maybe\ny\nn\n", [](Prompts& p) {
                  p.SetTitle("/lib/long_name.cr2");
                  p.SetTitle("/lib/a.cr2");
                  p.SetTitle("/lib/b.cr2");
                  p.warning(Owner::none, "/p/a.cr2", "I can't open this file");
                  p.information(Owner::none, "read the file.", "");
                  EXPECT_TRUE(p.question(Owner::none, "/lib", "go on?"));
                  EXPECT_FALSE(p.question(Owner::none, "/lib", "go on?"));
                  EXPECT_FALSE(p.question(Owner::none, "/lib", "go on?"));  // the end of input answers No
              }),
              "\r/lib/long_name.cr2\r/lib/a.cr2        \r/lib/a.cr2\r/lib/b.cr2\nI can't open this file: /p/a.cr2\n"
              "read the file.\ngo on?\n  /lib\n[y/n] [y/n] go on?\n  /lib\n[y/n] go on?\n  /lib\n[y/n] \n");
}

TEST(ConsolePrompts, TheChooserInsistsOnAnExistingFileAndAnEmptyLineCancels)
{
    TempDir dir;
    write_bytes(dir.at("m.obj"), "");
    std::string f = "/old.obj";
    const std::string screen = console(dir.at("nope.obj") + "\n" + dir.path() + "\n" + dir.at("m.obj") + "\n\n", [&](Prompts& p) {
        EXPECT_EQ(p.GetFileName(Owner::main, f, "/geom", "find the correct .OBJ file", filterOBJ, ChooserMode::open), 1);
        EXPECT_EQ(p.GetFileName(Owner::main, f, "/geom", "t", filterOBJ, ChooserMode::open), 0);
    });
    EXPECT_EQ(f, dir.at("m.obj"));
    EXPECT_EQ(screen, "find the correct .OBJ file\n  initial file:   /old.obj\n  initial folder: /geom\n"
                      "  (OBJ mesh geometry files: *.OBJ)\npath (empty line to cancel):   there is no such file: " +
                          dir.at("nope.obj") + "\npath (empty line to cancel):   there is no such file: " + dir.path() +
                          "\npath (empty line to cancel): t\n  initial file:   " + dir.at("m.obj") +
                          "\n  initial folder: /geom\n  (OBJ mesh geometry files: *.OBJ)\npath (empty line to cancel): ");
}

}  // namespace
