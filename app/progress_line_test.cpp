// Long commands show their progress on standard error only when it is a terminal: one line,
// overwritten in place, and cleared before the closing lines so that they start clean.
#include "app/collect_command.h"
#include "app/install_command.h"
#include "app/move_command.h"

#include "tests/test_support.h"
#include "tests/zip_maker.h"

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

// What `command` writes to standard error when that is a pseudo-terminal (ending with `status`), read back once it is done
// (the commands here write far less than a terminal holds), up to a mark written last.
static std::string on_terminal(const std::function<int(std::FILE*)>& command, int status = 0)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    std::FILE* err = master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 ? std::fopen(ptsname(master), "w") : nullptr;
    if (err == nullptr) {
        close(master);
        return "<no terminal>";
    }
    EXPECT_EQ(command(err), status);
    std::fputs("<end>", err);
    std::fflush(err);
    std::string text;
    char buffer[4096];
    for (ssize_t n; text.find("<end>") == std::string::npos && (n = read(master, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    std::fclose(err);
    close(master);
    return text.substr(0, text.find("<end>"));
}

// Each shows its first step at once and its last, and nothing of them is left once it ends.
TEST(ProgressLine, CollectMoveAndInstallOnATerminal)
{
    fsys::MemoryFileSystem disk(fsys::DiskRules::posix);
    disk.add_file("/lib/Runtime/Textures/Old/skin.jpg", "skin");
    disk.add_file("/lib/Runtime/Libraries/a.mt5", "textureMap :Runtime:Textures:Old:skin.jpg\nbumpMap :Runtime:Textures:gone.jpg\n");
    disk.add_file("/lib/Runtime/Libraries/b.mt5", "textureMap :Runtime:Textures:Old:skin.jpg\n");
    if (on_terminal([](std::FILE*) { return 0; }) == "<no terminal>") {
        GTEST_SKIP() << "no pseudo-terminal here";
    }
    std::FILE* out = std::tmpfile();
    const std::string moved = on_terminal([&](std::FILE* err) {
        return run_move(disk, MoveCommandRequest{"/lib/Runtime/Textures/Old", "/lib/Runtime/Textures/New", {"/lib"}, ""}, "9.9", out, err);
    });
    // The shorter line blanks out the end of the longer one before it, and the clearing all of it.
    EXPECT_TRUE(moved.ends_with(" \r\r2 of 2 documents rewritten \r1 of 1 files moved         \r" + std::string(28, ' ') + "\r")) << moved;
    const std::string collected = on_terminal([&](std::FILE* err) {
        return run_collect(disk, CollectRequest{{"/lib"}, "", "/a.zip", {"/lib/Runtime/Libraries/a.mt5"}}, err);
    }, k_collect_incomplete);
    EXPECT_EQ(collected.find("\r1 of 1 documents read "), 0u) << collected;
    EXPECT_TRUE(collected.ends_with(" \rmissing image :Runtime:Textures:gone.jpg in /lib/Runtime/Libraries/a.mt5 line 2\r\n2 files collected "
                                    "into /a.zip, 0 references renamed; 1 reference missing, 0 documents unreadable, named in collect.txt\r\n"))
        << collected;
    disk.add_file("/p.zip", zip_of({"Runtime/Textures/p.jpg"}));
    disk.add_file("/q.zip", zip_of({"Runtime/Textures/q.jpg"}));
    const std::string checked = on_terminal([&](std::FILE* err) {
        return run_install(disk, InstallRequest{{"/lib"}, "", {"/p.zip", "/q.zip"}, true}, "9.9", out, err);
    });
    EXPECT_EQ(checked, "\rchecking p.zip and the others \r" + std::string(31, ' ') + "\r") << checked;
    std::fclose(out);
}
#endif
