// A signal while a chooser waits leaves the scene as it was; an exit never falls between the renames of a repair.
#include "cli/interrupt.h"
#include "engine/repair/poserfile.h"
#include "engine/repair/unfinished_copy.h"
#include "tests/test_support.h"

#include <chrono>
#include <thread>
#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace std::chrono_literals;

constexpr int k_unsent = -2;  // the interrupt cannot be sent here

// Each platform starts tarnwick-cli in `dir`, waiting for answers on a pipe nobody writes to, and gives its exit status
// after the interrupt (beside the status it must be), on POSIX as a shell tells the signal that ended it; there a
// signal ignored from the start (nohup) comes first.
#ifdef _WIN32
static const std::pair<int, int> k_interrupts[] = {{CTRL_C_EVENT, 130}};
static const std::string k_line_end = "\r\n";

static HANDLE start_cli(const std::string& dir, const std::string& root, const std::string& scene, int)
{
    FreeConsole();  // a console of its own, since Ctrl-C reaches every program on a console
    AllocConsole();
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE unused = nullptr;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    CreatePipe(&si.hStdInput, &unused, &inherited, 0);
    si.hStdError = CreateFileA((dir + "\\stderr.txt").c_str(), GENERIC_WRITE, 0, &inherited, CREATE_ALWAYS, 0, nullptr);
    std::string command = "tarnwick-cli --root \"" + root + "\" --yes \"" + scene + "\"";
    PROCESS_INFORMATION pi{};
    CreateProcessA(TARNWICK_CLI_PATH, command.data(), nullptr, nullptr, TRUE, 0, nullptr, dir.c_str(), &si, &pi);
    CloseHandle(si.hStdError);
    return pi.hProcess;
}

static int status_after(HANDLE cli, int event)
{
    SetConsoleCtrlHandler(nullptr, TRUE);
    const bool sent = GenerateConsoleCtrlEvent(static_cast<DWORD>(event), 0);
    DWORD code = 0;
    if (!sent || WaitForSingleObject(cli, 20000) != WAIT_OBJECT_0 || !GetExitCodeProcess(cli, &code)) {
        TerminateProcess(cli, 1);
        return sent ? -1 : k_unsent;
    }
    return static_cast<int>(code);
}
#else
static const std::pair<int, int> k_interrupts[] = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}};
static const std::string k_line_end = "\n";

static int ignored_beside(int signal) { return signal == SIGHUP ? SIGINT : SIGHUP; }

static pid_t start_cli(const std::string& dir, const std::string& root, const std::string& scene, int interrupt)
{
    static int input[2] = {-1, -1};
    EXPECT_EQ(input[0] < 0 ? pipe(input) : 0, 0);
    const std::string err = dir + "/stderr.txt";
    pid_t pid = fork();
    if (pid == 0) {
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGALRM}) {
            signal(s, SIG_DFL);  // as when started from a shell, whatever the test's own settings
        }
        signal(ignored_beside(interrupt), SIG_IGN);
        alarm(20);  // a program that never ends fails the test instead of hanging it
        int out = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (dup2(input[0], 0) == 0 && dup2(out, 2) == 2 && chdir(dir.c_str()) == 0) {
            execl(TARNWICK_CLI_PATH, "tarnwick-cli", "--root", root.c_str(), "--yes", scene.c_str(), nullptr);
        }
        _exit(127);
    }
    return pid;
}

static int status_after(pid_t cli, int signal)
{
    int raw = 0;
    kill(cli, ignored_beside(signal));
    std::this_thread::sleep_for(100ms);
    kill(cli, signal);
    waitpid(cli, &raw, 0);
    return WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : -1;
}
#endif

TEST(Interrupt, WhileTheChooserWaitsLeavesTheSceneAsItWas)
{
    for (const auto& [interrupt, status] : k_interrupts) {
        SCOPED_TRACE(status);
        TempDir dir;
        const std::string scene = dir.at("Poser/lib/two men.pz3"), backup = dir.at("Poser/lib/two men_zz00.pz3");
        const std::string text = "{\r\nfigureResFile :geom:gone.obj\r\n}\r\n";
        write_bytes(scene, text);
        write_bytes(dir.at("start \x7f/stderr.txt"), "");
        auto cli = start_cli(dir.at("start \x7f"), dir.at("Poser"), scene, interrupt);
        // The chooser follows the creation of the copy at once.
        for (int tries = 0; tries < 2000 && !exists(backup); ++tries) {
            std::this_thread::sleep_for(10ms);
        }
        std::this_thread::sleep_for(200ms);
        const int ended = status_after(cli, interrupt);
        if (ended == k_unsent) {
            GTEST_SKIP() << "no console control event can be sent here";
        }
        EXPECT_EQ(ended, status);
        EXPECT_FALSE(exists(backup) || exists(dir.at("Poser/lib/MIAOW_EE_EE_SAID_THE_CAT.txt")));
        EXPECT_EQ(read_bytes(scene), text);
        EXPECT_EQ(read_bytes(dir.at("start \x7f/__result_of_run.txt")),
                  correcting_lines(scene, backup) + "      RUN ABANDONED\r\n");
        // The log's folder comes from the disk: its control characters are shown, not sent.
        EXPECT_EQ(read_bytes(dir.at("start \x7f/stderr.txt")), "interrupted: nothing more was changed; the run log is " +
                                                                   dir.at("start \\x7f/__result_of_run.txt") + k_line_end);
    }
}

#ifndef _WIN32
// A second interrupt while the corrected copy is flushed ends the program at once, by the first one's signal: the copy
// goes, so that the backup name never holds the new text, and the log keeps the lines of what was done.
TEST(Interrupt, ASecondOneWhileTheCopyIsFlushedLeavesNoNewTextUnderTheBackupName)
{
    TempDir dir;
    const std::string scene = dir.at("Poser/lib/big.pp2"), backup = dir.at("Poser/lib/big_zz00.pp2");
    write_bytes(scene, "figureResFile :geom:gone.obj\n");
    write_bytes(dir.at("Poser/geom/ball.obj"), "");
    FailingFileSystem disk;
    ::Run run(disk);
    reset_engine(run, dir.at("Poser"));
    open_log(run, dir.at("log.txt"));
    disk.fail_when([](fsys::Op op, const std::string&) {
        if (op == fsys::Op::sync) {
            raise(SIGHUP);
            raise(SIGTERM);
        }
        return false;
    });
    ScriptedSession s({dir.at("Poser/geom/ball.obj")});
    const std::string note = dir.at("note.txt");  // its standard error, byte for byte
    EXPECT_EXIT({ dup2(open(note.c_str(), O_WRONLY | O_CREAT, 0600), 2); interrupt::install(); readposerfile(run, scene, s.wn); },
                testing::KilledBySignal(SIGHUP), "");
    EXPECT_EQ(read_bytes(note), "interrupted again: stopped at once\n");
    reset_engine(run, "");
    EXPECT_EQ(read_bytes(scene), "figureResFile :geom:gone.obj\n");
    EXPECT_FALSE(exists(backup));
    EXPECT_EQ(read_bytes(dir.at("log.txt")),
              correcting_lines(scene, backup) + replaced_lines(dir.at("Poser/geom/gone.obj"), dir.at("Poser/geom/ball.obj")));
}
#endif

// An exit that cannot wait never falls between the renames of a repair; the flush threads create copies at once, and
// such an exit deletes every one of them.
TEST(Interrupt, AnExitThatCannotWaitNeverFallsBetweenTheRenamesAndDeletesTheCopiesOfEveryThread)
{
    {
        run_stop::RenamesInProgress renaming;
        run_stop::RenamesInProgress{};  // a flush thread's, entered and left meanwhile: the first still holds the exit
        EXPECT_FALSE(run_stop::claim_exit());
    }
    EXPECT_TRUE(run_stop::claim_exit());
    std::atomic<bool> renamed{false};
    std::thread repair([&renamed] { run_stop::RenamesInProgress renaming; renamed = true; });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(renamed);  // the repair waits for the exit
    run_stop::clear();
    repair.join();
    EXPECT_TRUE(renamed);
    TempDir dir;
    // Only a copy created anew is deleted: not a file that was there, nor one opened to be written over.
    write_bytes(dir.at("mine"), "x");
    fsys::RawFile taken;
    TextWriter out;
    EXPECT_FALSE(unfinished_copy::create_file(fsys::disk(), dir.at("mine"), taken));
    EXPECT_TRUE(unfinished_copy::create(out, fsys::disk(), dir.at("kept"), fsys::Create::truncate, Gzip::never) && out.close());
    // Nor a file given the name of a copy removed before.
    EXPECT_TRUE(unfinished_copy::create_file(fsys::disk(), dir.at("gone"), taken) && fsys::disk().close_file(taken));
    EXPECT_TRUE(unfinished_copy::remove(fsys::disk(), dir.at("gone")));
    write_bytes(dir.at("gone"), "y");
    std::vector<std::jthread> threads;
    for (int t = 0; t < 16; ++t) {
        threads.emplace_back([&dir, t] {
            for (int k = 0; k < unfinished_copy::k_most_copies / 16; ++k) {
                fsys::RawFile f;
                EXPECT_TRUE(unfinished_copy::create_file(fsys::disk(), dir.at(std::to_string(t) + "-" + std::to_string(k)), f));
                fsys::disk().close_file(f);
            }
        });
    }
    threads.clear();  // each joined
    EXPECT_EQ(files_below(dir.path()).size(), static_cast<std::size_t>(unfinished_copy::k_most_copies) + 3);
    unfinished_copy::remove_now();
    EXPECT_EQ(files_below(dir.path()), (Files{{dir.at("gone"), "y"}, {dir.at("kept"), ""}, {dir.at("mine"), "x"}}));
}
