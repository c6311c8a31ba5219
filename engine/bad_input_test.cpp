// Poser files and references that no well-behaved installation holds: binary or odd text,
// things that are not regular files, files and folders the program may not use, hostile
// paths and a Poser root that is not a folder. Each gets a warning or is skipped; none may
// crash, hang, or change a file that needs no change.
#include "engine/engine_state.h"
#include "engine/folder_walk.h"
#include "engine/fsys.h"
#include "engine/poserfile.h"
#include "engine/refline.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

const std::string k_cannot_open = "I can't open this file";

// Every regular file below `folder`, by its path relative to it, with its bytes.
std::map<std::string, std::string> tree_snapshot(const std::string& folder)
{
    std::map<std::string, std::string> s;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_regular_file(ec)) {
            s[fs::relative(it->path(), folder, ec).string()] = read_bytes(it->path().string());
        }
    }
    return s;
}

// The bytes of a literal, NULs included.
template <std::size_t N>
std::string bytes_of(const char (&literal)[N])
{
    return std::string(literal, N - 1);
}

bool contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

#ifndef _WIN32
// Ends the test program should a call block: a hang shows as a failure, not a stuck run.
class HangGuard {
public:
    explicit HangGuard(unsigned seconds) { ::alarm(seconds); }
    ~HangGuard() { ::alarm(0); }
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;
};
#endif

class BadInput : public PoserFolderTest {
protected:
    std::string chooser_for(const std::string& missing, const std::string& answer) const
    {
        std::string folder = missing;
        dellocalname(folder);
        return "open\tmain\tfind the correct .OBJ file\t" + missing + "\t" + folder + "\tOBJ mesh geometry files\t" +
               answer;
    }
};

// Bytes that the line rules turn into something other than what the file looked like.
struct OddFile {
    const char* what;
    std::string bytes;
};

std::string binary_bytes()
{
    std::string bytes;
    unsigned state = 12345;
    for (int k = 0; k < 200000; ++k) {
        state = state * 1103515245u + 12345u;
        bytes += static_cast<char>((state >> 16) & 0xff);
    }
    return bytes;
}

TEST_F(BadInput, OddContentThatNeedsNoRepairIsLeftAlone)
{
    const std::vector<OddFile> files = {
        {"empty", ""},
        {"all NUL", std::string(100000, '\0')},
        {"binary", binary_bytes()},
        {"binary ending in a found reference", binary_bytes() + "\n\x01\xff figureResFile :geom:ball.obj\n"},
        {"Ctrl-Z before a broken reference", "figureResFile :geom:ball.obj\r\n\x1a\r\nfigureResFile :geom:gone.obj\r\n"},
        {"CR-only line ends", "{\rfigureResFile :geom:gone.obj\rprop 0 0 geom:ball.obj\r}\r"},
        {"one line of 8 MB", std::string(8 << 20, 'x')},
        {"8 MB line with a found reference", std::string(8 << 20, 'y') + " :geom:ball.obj"},
        {"NUL bytes around a found reference", bytes_of("\0\0{\n\0 :geom:ball.obj\n\0")},
    };
    for (const OddFile& f : files) {
        SCOPED_TRACE(f.what);
        write_bytes(man, f.bytes);
        ScriptedSession s;
        readposerfile(man, s.wn);
        EXPECT_EQ(read_bytes(man), f.bytes);
        EXPECT_EQ(folder_names(dir.at("Poser/chars")), (std::vector<std::string>{"man.cr2"}));
        EXPECT_EQ(s.transcript(), (std::vector<std::string>{"title\t" + man}));
    }
}

TEST_F(BadInput, OddContentIsRepairedWithTheOldTextKeptWhole)
{
    const std::string huge(6 << 20, 'h');
    struct Case {
        const char* what;
        std::string bytes;
        std::string corrected;
    };
    const std::vector<Case> cases = {
        // the data ends at Ctrl-Z; what follows survives in the backup only
        {"Ctrl-Z after a broken reference", "figureResFile :geom:gone.obj\r\n\x1a tail\r\n",
         "figureResFile :geom:man2.obj\r\n"},
        {"multi-megabyte line beside a broken reference", huge + "\t \nfigureResFile :geom:gone.obj",
         huge + "\r\nfigureResFile :geom:man2.obj\r\n"},
        {"NUL bytes kept in the prefix", bytes_of("p\0q :geom:gone.obj\n"), bytes_of("p\0q :geom:man2.obj\r\n")},
        {"binary line before a broken reference", "\x01\x02\xfe\xff\t\n :geom:gone.obj\n", "\x01\x02\xfe\xff\r\n :geom:man2.obj\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reset_engine(dir.at("Poser"));
        fsys::remove_file(backup);
        write_bytes(man, c.bytes);
        ScriptedSession s({obj("man2.obj")});
        readposerfile(man, s.wn);
        EXPECT_EQ(read_bytes(man), c.corrected);
        EXPECT_EQ(read_bytes(backup), c.bytes);
        EXPECT_EQ(s.transcript().back(), chooser_for(obj("gone.obj"), obj("man2.obj")));
    }
}

TEST_F(BadInput, AHugeReferenceWithoutMarkerIsAbandoned)
{
    const std::string bytes = std::string(4 << 20, 'z') + ".obj\n";
    write_bytes(man, bytes);
    open_log();
    ScriptedSession s;
    readposerfile(man, s.wn);
    EXPECT_EQ(read_bytes(man), bytes);
    EXPECT_EQ(folder_names(dir.at("Poser/chars")), (std::vector<std::string>{"man.cr2"}));
    EXPECT_EQ(log_text(), "file " + man + " being corrected: old version is on\r\n     " + backup +
                              "\r\n      RUN ABANDONED\r\n");
}

TEST_F(BadInput, NamesThatAreNoRegularFileCannotBeOpened)
{
    // Entries of the folder that a walk meets too, and names that only a caller can give.
    std::vector<std::string> entries = {dir.at("Poser/chars/poses.cr2")};
    std::vector<std::string> names = {dir.at("Poser/chars/missing.cr2"), ""};
    fs::create_directories(entries[0]);
#ifndef _WIN32
    HangGuard guard(20);
    const std::string fifo = dir.at("Poser/chars/pipe.cr2");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    entries.push_back(fifo);
    for (const char* device : {"/dev/null", "/dev/zero"}) {
        names.push_back(device);
        const std::string link = dir.at("Poser/chars/") + (device + 5) + ".pz3";
        fs::create_symlink(device, link);
        entries.push_back(link);
    }
#else
    // Device names, which Windows finds in every folder and with any extension.
    for (const char* device : {"NUL", "CON", "\\\\.\\NUL"}) {
        names.push_back(device);
    }
    names.push_back(dir.at("Poser/chars/con.cr2"));
    names.push_back(dir.at("Poser/chars/nul.pz3"));
#endif
    names.insert(names.end(), entries.begin(), entries.end());
    std::vector<std::string> expected;
    ScriptedSession s;
    for (const std::string& name : names) {
        readposerfile(name, s.wn);
        expected.push_back("warning\tnone\t" + k_cannot_open + "\t" + name);
    }
    EXPECT_EQ(s.transcript(), expected);
    // The walk meets the entries and goes on past each of them.
    ScriptedSession walk;
    searchdir(dir.at("Poser/chars"), walk.wn);
    for (const std::string& entry : entries) {
        EXPECT_TRUE(contains(walk.transcript(), "warning\tnone\t" + k_cannot_open + "\t" + entry)) << entry;
    }
}

#ifndef _WIN32
TEST_F(BadInput, AReferenceToAPipeOrDeviceCountsAsMissingWithoutBlocking)
{
    HangGuard guard(20);
    const std::string fifo = obj("pipe.obj");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    fs::create_symlink("/dev/zero", obj("zero.obj"));
    for (const std::string& name : {std::string("pipe.obj"), std::string("zero.obj")}) {
        SCOPED_TRACE(name);
        reset_engine(dir.at("Poser"));
        const std::string text = "figureResFile :geom:" + name + "\n";
        write_bytes(man, text);
        ScriptedSession s({"cancel"});
        readposerfile(man, s.wn);
        EXPECT_EQ(read_bytes(man), text);
        EXPECT_EQ(s.transcript().back(), chooser_for(obj(name), "cancel"));
    }
}

// Opens fine but every read fails, as a failing disk would: on Linux the memory file of the
// reading process itself, whose first page is never mapped.
TEST_F(BadInput, AReadErrorLeavesTheFileAlone)
{
    if (!fsys::is_readable_file("/proc/self/mem")) {
        GTEST_SKIP() << "no /proc/self/mem to produce a read error with";
    }
    fs::create_directories(dir.at("Poser/chars"));
    fs::create_symlink("/proc/self/mem", man);
    ScriptedSession s;
    readposerfile(man, s.wn);
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{"title\t" + man, "warning\tnone\tI can't read this file\t" + man}));
    EXPECT_EQ(folder_names(dir.at("Poser/chars")), (std::vector<std::string>{"man.cr2"}));
}

// Runs `body` where file permissions apply. An ordinary user runs it here; root, for whom
// they do not, runs it in a child process that has become the unprivileged user "nobody".
// False when that is impossible; the child's failures are reported by the child.
bool run_without_privileges(const std::function<void()>& body, bool& child_failed)
{
    child_failed = false;
    if (::geteuid() != 0) {
        body();
        return true;
    }
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == -1) {
        return false;
    }
    if (pid == 0) {
        const gid_t nobody_group = 65534;
        const uid_t nobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobody_group) != 0 || ::setuid(nobody) != 0) {
            ::_exit(77);
        }
        body();
        std::fflush(nullptr);
        ::_exit(testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
        return false;
    }
    child_failed = !WIFEXITED(status) || WEXITSTATUS(status) != 0;
    return true;
}

TEST_F(BadInput, AnUnreadableFileIsWarnedAboutAndLeftAlone)
{
    const std::string text = "figureResFile :geom:gone.obj\n";
    write_bytes(man, text);
    ASSERT_EQ(::chmod(man.c_str(), 0), 0);
    bool child_failed = false;
    bool ran = run_without_privileges(
        [&] {
            ScriptedSession s;
            readposerfile(man, s.wn);
            EXPECT_EQ(s.transcript(), (std::vector<std::string>{"warning\tnone\t" + k_cannot_open + "\t" + man}));
        },
        child_failed);
    if (!ran) {
        GTEST_SKIP() << "running as root and unable to become an unprivileged user, so permissions do not apply";
    }
    EXPECT_FALSE(child_failed);
    ASSERT_EQ(::chmod(man.c_str(), 0644), 0);
    EXPECT_EQ(read_bytes(man), text);
    EXPECT_EQ(folder_names(dir.at("Poser/chars")), (std::vector<std::string>{"man.cr2"}));
}

TEST_F(BadInput, AReadOnlyFolderGetsNoCopyAndTheFileStays)
{
    const std::string text = "prop 0 0 geom:ball.obj\n";
    write_bytes(man, text);
    // The run log is opened before the switch of user, as a run opens it in the start folder.
    open_log();
    ASSERT_EQ(::chmod(dir.at("Poser/chars").c_str(), 0555), 0);
    bool child_failed = false;
    bool ran = run_without_privileges(
        [&] {
            ScriptedSession s;
            readposerfile(man, s.wn);
            EXPECT_EQ(s.transcript(), (std::vector<std::string>{"title\t" + man,
                                                                "warning\tnone\t" + k_cannot_open + "\t" + backup}));
            LOG.reset();
        },
        child_failed);
    if (!ran) {
        GTEST_SKIP() << "running as root and unable to become an unprivileged user, so permissions do not apply";
    }
    EXPECT_FALSE(child_failed);
    EXPECT_EQ(read_bytes(man), text);
    EXPECT_EQ(folder_names(dir.at("Poser/chars")), (std::vector<std::string>{"man.cr2"}));
    EXPECT_EQ(log_text(), "file " + man + " being corrected: old version is on\r\n     " + backup +
                              "\r\n      RUN ABANDONED\r\n");
}
#endif

TEST_F(BadInput, HostileReferencePathsAreMissingAndNothingElseIsTouched)
{
    write_bytes(dir.at("outside/gone.obj"), "not below the root");
    struct Case {
        const char* what;
        std::string poser_path;
    };
    const std::vector<Case> cases = {
        {"very long", std::string(5000, 'a') + ".obj"},
        {"very deep", [] {
             std::string p;
             for (int k = 0; k < 2000; ++k) {
                 p += "d:";
             }
             return p + "x.obj";
         }()},
        {"up and out to a missing file", "..:..:..:..:..:..:..:..:etc:gone.obj"},
        {"characters not allowed in names", "geom:<a>|\"b?*c.obj"},
        {"control characters", "geom:\x01\x7f\x1b.obj"},
        {"a NUL byte after a name that exists", bytes_of("geom:ball.obj\0.obj")},
        {"a NUL byte before a folder that exists", bytes_of("geom\0:ball.obj")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = "figureResFile :" + c.poser_path + "\n";
        std::string missing;
        build_disk_path(posername, c.poser_path, k_native_style, missing);
        // Cancelled: nothing changes anywhere.
        reset_engine(dir.at("Poser"));
        write_bytes(man, text);
        auto before = tree_snapshot(dir.path());
        ScriptedSession cancelled({"cancel"});
        readposerfile(man, cancelled.wn);
        EXPECT_EQ(tree_snapshot(dir.path()), before);
        EXPECT_EQ(cancelled.transcript().back(), chooser_for(missing, "cancel"));
        // Replaced: the corrected line points to the pick, the old text is in the backup.
        ScriptedSession picked({obj("man2.obj")});
        readposerfile(man, picked.wn);
        EXPECT_EQ(read_bytes(man), "figureResFile :geom:man2.obj\r\n");
        EXPECT_EQ(read_bytes(backup), text);
        fsys::remove_file(backup);
        auto after = tree_snapshot(dir.path());
        before.erase(native("Poser/chars/man.cr2"));
        after.erase(native("Poser/chars/man.cr2"));
        EXPECT_EQ(after, before);
    }
}

TEST_F(BadInput, AReferenceUpAndOutOfTheRootToAnExistingFileCountsAsFound)
{
    write_bytes(dir.at("outside/there.obj"), "");
    const std::string text = "figureResFile :..:outside:there.obj\n";
    write_bytes(man, text);
    ScriptedSession s;
    readposerfile(man, s.wn);
    EXPECT_EQ(read_bytes(man), text);
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{"title\t" + man}));
}

TEST_F(BadInput, APoserRootThatIsNoFolderFindsNothingAndAcceptsNoPick)
{
    write_bytes(dir.at("a file"), "");
    for (const std::string& root : {dir.at("nowhere"), dir.at("a file")}) {
        SCOPED_TRACE(root);
        reset_engine(root);
        const std::string untouched = "no references here\n";
        write_bytes(man, untouched);
        ScriptedSession quiet;
        readposerfile(man, quiet.wn);
        EXPECT_EQ(read_bytes(man), untouched);
        EXPECT_EQ(quiet.transcript(), (std::vector<std::string>{"title\t" + man}));

        const std::string text = "figureResFile :geom:ball.obj\n";
        write_bytes(man, text);
        ScriptedSession s({obj("ball.obj")});
        readposerfile(man, s.wn);
        EXPECT_EQ(read_bytes(man), text);
        EXPECT_EQ(folder_names(dir.at("Poser/chars")), (std::vector<std::string>{"man.cr2"}));
        std::string missing;
        build_disk_path(root, "geom:ball.obj", k_native_style, missing);
        EXPECT_EQ(s.transcript(), (std::vector<std::string>{
                                      "title\t" + man,
                                      chooser_for(missing, obj("ball.obj")),
                                      "warning\tnone\tthis file is not in your Poser installation\t" + obj("ball.obj"),
                                      chooser_for(missing, "cancel"),
                                  }));
    }
}

}  // namespace
