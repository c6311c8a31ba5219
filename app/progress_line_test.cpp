// Long commands show their progress on standard error only when it is a terminal: one line,
// overwritten in place, and cleared before the closing lines so that they start clean.
#include "app/collect_command.h"
#include "app/move_command.h"
#include "app/report_command.h"

#include "engine/fsys/memory_fs.h"
#include "tests/test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

// A pseudo-terminal for standard error, read once the command is done: the commands here write
// far less than it holds.
class Terminal {
public:
    Terminal() : m_master(posix_openpt(O_RDWR | O_NOCTTY))
    {
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0) {
            err = std::fopen(ptsname(m_master), "w");
        }
    }
    ~Terminal()
    {
        if (err != nullptr) {
            std::fclose(err);
        }
        close(m_master);
    }

    // All the terminal showed, read up to a mark written last.
    std::string shown()
    {
        std::fputs("<end>", err);
        std::fflush(err);
        std::string text;
        char buffer[4096];
        for (ssize_t n; text.find("<end>") == std::string::npos && (n = read(m_master, buffer, sizeof buffer)) > 0;) {
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text.substr(0, text.find("<end>"));
    }

    std::FILE* err = nullptr;

private:
    int m_master;
};

}  // namespace

// Each shows its first step at once, its last step, and nothing of them when it ends: the closing
// lines alone are left on the screen.
TEST(ProgressLine, ReportCollectAndMoveOnATerminal)
{
    fsys::MemoryFileSystem disk(fsys::DiskRules::posix);
    disk.add_file("/lib/Runtime/Textures/Old/skin.jpg", "skin");
    disk.add_file("/lib/Runtime/Libraries/a.mt5", "textureMap :Runtime:Textures:Old:skin.jpg\n");
    disk.add_file("/lib/Runtime/Libraries/b.mt5", "textureMap :Runtime:Textures:Old:skin.jpg\n");
    if (Terminal().err == nullptr) {
        GTEST_SKIP() << "no pseudo-terminal here";
    }
    const auto on_terminal = [](const std::function<int(std::FILE*)>& command) {
        Terminal t;
        EXPECT_EQ(command(t.err), 0);
        return t.shown();
    };
    // A line shown alone, then blanked out whole.
    const auto shown_and_cleared = [](const std::string& line) { return line + "\r" + std::string(line.size(), ' ') + "\r"; };
    std::FILE* out = std::tmpfile();
    const std::string reported = on_terminal([&](std::FILE* err) {
        return run_report(disk, ReportRequest{{"/lib"}, "", false, "", {"/lib"}}, "9.9", out, err);
    });
    EXPECT_EQ(reported.find("\r2 files, 0.0 MB read from disk, "), 0u) << reported;
    EXPECT_EQ(reported, shown_and_cleared(reported.substr(0, reported.find('\r', 1))));
    const std::string moved = on_terminal([&](std::FILE* err) {
        return run_move(disk, MoveCommandRequest{"/lib/Runtime/Textures/Old", "/lib/Runtime/Textures/New", {"/lib"}, ""}, "9.9", out, err);
    });
    // The shorter line blanks out the end of the longer one before it.
    EXPECT_TRUE(moved.ends_with(" \r\r2 of 2 documents rewritten " + shown_and_cleared("\r1 of 1 files moved         "))) << moved;
    const std::string collected = on_terminal([&](std::FILE* err) {
        return run_collect(disk, CollectRequest{{"/lib"}, "", "/a.zip", {"/lib/Runtime/Libraries/a.mt5"}}, err);
    });
    EXPECT_EQ(collected.find("\r1 of 1 documents read "), 0u) << collected;
    EXPECT_TRUE(collected.ends_with(" \r2 files collected into /a.zip, 0 references renamed\r\n")) << collected;
    std::fclose(out);
}
#endif
