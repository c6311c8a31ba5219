#include "engine/run_stop.h"
#include "tests/test_support.h"

#include <atomic>
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

namespace {

using namespace std::chrono_literals;

struct Case {
    const char* name;
    int interrupt;  // a signal, or a console event on Windows
    int status;
};

#ifdef _WIN32
const std::vector<Case> k_cases = {{"Ctrl-C", CTRL_C_EVENT, 130}};
const std::string k_line_end = "\r\n";
using Cli = PROCESS_INFORMATION;

// tarnwick-cli in `dir`, its prompts waiting on a pipe that the test never writes to.
Cli start_cli(const TempDir& dir, const std::vector<std::string>& args)
{
    // A console of its own, since Ctrl-C reaches every program on a console.
    FreeConsole();
    AllocConsole();
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE input = nullptr, unused = nullptr;
    CreatePipe(&input, &unused, &inherited, 0);
    HANDLE err = CreateFileA(dir.at("stderr.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = input;
    si.hStdOutput = si.hStdError = err;
    std::string command = "tarnwick-cli";
    for (const std::string& arg : args) {
        command += " \"" + arg + "\"";
    }
    Cli cli{};
    EXPECT_TRUE(CreateProcessA(TARNWICK_CLI_PATH, command.data(), nullptr, nullptr, TRUE, 0, nullptr, dir.path().c_str(), &si, &cli));
    CloseHandle(err);
    return cli;
}

bool send_interrupt(const Cli&, int event)
{
    SetConsoleCtrlHandler(nullptr, TRUE);
    return GenerateConsoleCtrlEvent(static_cast<DWORD>(event), 0) != 0;
}

int exit_status(const Cli& cli)
{
    DWORD code = 0;
    if (WaitForSingleObject(cli.hProcess, 20000) != WAIT_OBJECT_0) {
        TerminateProcess(cli.hProcess, 1);
        return -1;
    }
    GetExitCodeProcess(cli.hProcess, &code);
    return static_cast<int>(code);
}
#else
const std::vector<Case> k_cases = {{"SIGINT", SIGINT, 130}, {"SIGTERM", SIGTERM, 143}, {"SIGHUP", SIGHUP, 129}};
const std::string k_line_end = "\n";
using Cli = pid_t;

// tarnwick-cli in `dir`, its prompts waiting on a pipe that the test never writes to.
Cli start_cli(const TempDir& dir, std::vector<std::string> args)
{
    args.insert(args.begin(), TARNWICK_CLI_PATH);
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const std::string err = dir.at("stderr.txt");
    static int input[2] = {-1, -1};  // the writing end stays open for good
    EXPECT_EQ(input[0] < 0 ? pipe2(input, O_CLOEXEC) : 0, 0);
    pid_t pid = fork();
    if (pid == 0) {
        // As a program started from a shell: the test's own signal settings are not the user's.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int s : {SIGINT, SIGTERM, SIGHUP}) {
            signal(s, SIG_DFL);
        }
        int out = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (dup2(input[0], 0) == 0 && dup2(out, 1) == 1 && dup2(out, 2) == 2 && chdir(dir.path().c_str()) == 0) {
            execv(argv[0], argv.data());
        }
        _exit(127);
    }
    return pid;
}

bool send_interrupt(Cli cli, int signal)
{
    return kill(cli, signal) == 0;
}

int exit_status(Cli cli)
{
    int raw = 0;
    for (int tries = 0; waitpid(cli, &raw, WNOHANG) == 0; ++tries) {
        if (tries == 2000) {
            kill(cli, SIGKILL);
            waitpid(cli, &raw, 0);
        }
        std::this_thread::sleep_for(10ms);
    }
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}
#endif

TEST(Interrupt, WhileTheChooserWaitsLeavesTheSceneAsItWas)
{
    for (const Case& c : k_cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string scene = dir.at("Poser/lib/two men.pz3");
        const std::string backup = dir.at("Poser/lib/two men_zz00.pz3");
        const std::string text = "{\r\nfigureResFile :geom:gone.obj\r\n}\r\n";
        write_bytes(scene, text);
        Cli cli = start_cli(dir, {"--root", dir.at("Poser"), "--yes", scene});
        // The chooser follows the creation of the copy at once.
        for (int tries = 0; tries < 2000 && !exists(backup); ++tries) {
            std::this_thread::sleep_for(10ms);
        }
        std::this_thread::sleep_for(200ms);
        if (!send_interrupt(cli, c.interrupt)) {
            exit_status(cli);
            GTEST_SKIP() << "no console control event can be sent here";
        }
        EXPECT_EQ(exit_status(cli), c.status);
        EXPECT_EQ(folder_names(dir.at("Poser/lib")), std::vector<std::string>{"two men.pz3"});
        EXPECT_EQ(read_bytes(scene), text);
        const std::string log = dir.at("__result_of_run.txt");
        EXPECT_EQ(read_bytes(log), "file " + scene + " being corrected: old version is on\r\n     " + backup +
                                       "\r\n      RUN ABANDONED\r\n");
        EXPECT_EQ(read_bytes(dir.at("stderr.txt")),
                  "interrupted: nothing more was changed; the run log is " + log + k_line_end);
    }
}

TEST(Interrupt, AnExitThatCannotWaitNeverFallsBetweenTheRenames)
{
    {
        run_stop::RenamesInProgress renaming;
        EXPECT_FALSE(run_stop::claim_exit());
    }
    EXPECT_TRUE(run_stop::claim_exit());
    std::atomic<bool> renamed{false};
    std::thread repair([&renamed] {
        run_stop::RenamesInProgress renaming;
        renamed = true;
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(renamed);
    run_stop::clear();
    repair.join();
    EXPECT_TRUE(renamed);
}

}  // namespace
