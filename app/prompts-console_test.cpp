#include "app/prompts-console.h"

#include "tests/test_support.h"

TEST(ConsolePrompts, MessagesQuestionsChoosersAndTheStatusLine)
{
    // The file chosen lies on the disk the prompts were given.
    fsys::MemoryFileSystem disk;
    const std::string m = absolute("/d/m.obj"), nope = absolute("/d/nope.obj"), folder = absolute("/d");
    disk.add_file(m, "");
    std::string f = "/old.obj";
    // Typed in: paths pasted in quotes, as terminals paste a dropped file.
    const std::string typed = "maybe\ny\n\"" + nope + "\"\n" + folder + "\n'" + m + "' \n\nn\n";
    std::FILE *in = std::tmpfile(), *out = std::tmpfile();
    std::fputs(typed.c_str(), in);
    std::rewind(in);
    ConsolePrompts console(in, out, disk);
    Prompts& p = console;  // as the program talks to it
    for (const char* title : {"/lib/long_name.cr2", "/lib/a.cr2", "/lib/b.cr2"}) {
        p.SetTitle(title);
    }
    p.warning(Owner::none, "/p/a.cr2", "I can't open this file");
    p.information(Owner::none, "read the file.", "");
    EXPECT_TRUE(p.question(Owner::none, "/lib", "go on?"));
    EXPECT_EQ(p.GetFileName(Owner::main, f, "/geom", "find the correct .OBJ file", filterOBJ, ChooserMode::open), 1);
    EXPECT_EQ(p.GetFileName(Owner::main, f, "/geom", "t", filterOBJ, ChooserMode::open), 0);
    EXPECT_FALSE(p.question(Owner::none, "/lib", "go on?"));
    EXPECT_FALSE(p.question(Owner::none, "/lib", "go on?"));  // the end of input answers No
    std::fclose(in);
    const std::string screen = file_text(out);
    EXPECT_EQ(f, m);
    const std::string path = "path (empty line to cancel): ", ask = "go on?\n  /lib\n[y/n] ";
    const auto chooser = [](const std::string& title, const std::string& initial) {
        return title + "\n  initial file:   " + initial + "\n  initial folder: /geom\n  (OBJ mesh geometry files: *.OBJ)\n";
    };
    EXPECT_EQ(screen, "\r/lib/long_name.cr2\r/lib/a.cr2        \r/lib/a.cr2\r/lib/b.cr2\nI can't open this file: /p/a.cr2\nread the file.\n" + ask +
                      "[y/n] " + chooser("find the correct .OBJ file", "/old.obj") + path + "  there is no such file: " + nope + "\n" + path +
                      "  there is no such file: " + folder + "\n" + path + chooser("t", m) + path + ask + ask + "\n");
}
