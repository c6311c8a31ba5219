#include "app/prompts-console.h"

#include "tests/test_support.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace {

// A console whose typed answers are `typed` and whose screen is read back afterwards.
class Console {
public:
    explicit Console(const std::string& typed) : m_in(std::tmpfile()), m_out(std::tmpfile()), prompts(m_in, m_out)
    {
        std::fwrite(typed.data(), 1, typed.size(), m_in);
        std::rewind(m_in);
    }
    ~Console()
    {
        std::fclose(m_in);
        std::fclose(m_out);
    }
    std::string screen()
    {
        std::fflush(m_out);
        std::rewind(m_out);
        std::string text;
        for (int c; (c = std::fgetc(m_out)) != EOF;) {
            text += static_cast<char>(c);
        }
        return text;
    }

private:
    std::FILE* m_in;
    std::FILE* m_out;

public:
    ConsolePrompts prompts;
};

TEST(ConsolePrompts, MessagesShowCaptionThenBody)
{
    Console c("");
    c.prompts.warning(Owner::none, "/p/a.cr2", "I can't open this file");
    c.prompts.information(Owner::none, "For information, read the file.", "");
    EXPECT_EQ(c.screen(), "I can't open this file: /p/a.cr2\nFor information, read the file.\n");
}

TEST(ConsolePrompts, QuestionsWaitForYOrN)
{
    Console c("maybe\ny\nn\n");
    EXPECT_TRUE(c.prompts.question(Owner::none, "/lib", "shall I continue?"));
    EXPECT_FALSE(c.prompts.question(Owner::none, "/lib", "shall I continue?"));
    // the end of input answers No
    EXPECT_FALSE(c.prompts.question(Owner::none, "/lib", "shall I continue?"));
    EXPECT_EQ(c.screen().substr(0, 42), "shall I continue?\n  /lib\n[y/n] [y/n] shall");
}

TEST(ConsolePrompts, ChooserInsistsOnAnExistingFileAndAnEmptyLineCancels)
{
    TempDir dir;
    write_bytes(dir.at("m.obj"), "");
    Console c(dir.at("nope.obj") + "\n" + dir.path() + "\n" + dir.at("m.obj") + "\n\n");
    std::string f = "/old.obj";
    EXPECT_EQ(c.prompts.GetFileName(Owner::main, f, "/geom", "find the correct .OBJ file", filterOBJ, ChooserMode::open), 1);
    EXPECT_EQ(f, dir.at("m.obj"));
    EXPECT_EQ(c.prompts.GetFileName(Owner::main, f, "/geom", "t", filterOBJ, ChooserMode::open), 0);
    EXPECT_EQ(f, dir.at("m.obj"));
    std::string screen = c.screen();
    EXPECT_EQ(screen.find("find the correct .OBJ file\n  initial file:   /old.obj\n  initial folder: /geom\n"), 0u);
    EXPECT_NE(screen.find("there is no such file: " + dir.at("nope.obj")), std::string::npos);
    EXPECT_NE(screen.find("there is no such file: " + dir.path() + "\n"), std::string::npos);
}

TEST(ConsolePrompts, TitleIsOneStatusLineOverwritten)
{
    Console c("");
    c.prompts.SetTitle("/lib/long_name.cr2");
    c.prompts.SetTitle("/lib/a.cr2");
    c.prompts.warning(Owner::none, "b", "c");
    EXPECT_EQ(c.screen(), "\r/lib/long_name.cr2\r/lib/a.cr2        \r/lib/a.cr2\nc: b\n");
}

}  // namespace
