// Repairs stopped at every moment where the program could die: before each change it makes
// to the disk (each block of the corrected copy, its flush, its close, each of the three
// renames) and after the last one. Whatever the moment, the Poser file's old text must
// survive whole under its own name, the backup name or the swap name, and a later run that
// meets a leftover swap file must change nothing, while one that does not repairs the file.
#include "engine/engine_state.h"
#include "engine/folder_walk.h"
#include "engine/fsys.h"
#include "engine/poserfile.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using Snapshot = std::map<std::string, std::string>;  // entry name -> its bytes

Snapshot snapshot(const std::string& folder)
{
    Snapshot s;
    for (const std::string& name : folder_names(folder)) {
        s[name] = read_bytes(folder + fsys::k_sep + name);
    }
    return s;
}

std::string describe(const Snapshot& s)
{
    std::string text;
    for (const auto& [name, bytes] : s) {
        text += "\n  " + name + " (" + std::to_string(bytes.size()) + " bytes)";
    }
    return text;
}

// One change to the disk, as the fault hook sees it.
struct Step {
    fsys::Op op;
    std::string path;
};

std::string op_name(fsys::Op op)
{
    switch (op) {
    case fsys::Op::write: return "write";
    case fsys::Op::sync: return "sync";
    case fsys::Op::close: return "close";
    case fsys::Op::rename: return "rename";
    case fsys::Op::remove: return "remove";
    }
    return "?";
}

class CrashSafety : public PoserFolderTest {
protected:
    void SetUp() override
    {
        PoserFolderTest::SetUp();
        chars = dir.at("Poser/chars");
        swap = dir.at("Poser/chars/MIAOW_EE_EE_SAID_THE_CAT.txt");
        make_texts();
    }

    // A file large enough for the corrected copy to reach the disk in several blocks, with
    // one broken pointer (the user picks man2.obj) and one in prefix notation, mixed line
    // ends, trailing blanks and a last line without a line end.
    void make_texts()
    {
        auto add = [&](const std::string& line, const std::string& end, const std::string& corrected_line) {
            old_text += line + end;
            corrected += corrected_line + "\r\n";
        };
        add("{", "\r\n", "{");
        add("figureResFile :geom:man.obj  ", "\n", "figureResFile :geom:man2.obj");
        add("prop 0 0 geom:ball.obj", "\r\n", "prop 0 0 :geom:ball.obj");
        for (int k = 0; k < 30000; ++k) {
            std::string n = std::to_string(k);
            add("\tchannel " + n + " value 0.250000 \t", k % 3 == 0 ? "\n" : "\r\n", "\tchannel " + n + " value 0.250000");
        }
        add("}", "", "}");
    }

    void start_over()
    {
        for (const std::string& name : folder_names(chars)) {
            fsys::remove_file(chars + fsys::k_sep + name);
        }
        write_bytes(man, old_text);
    }

    // The repair whose every step is stopped: the user picks man2.obj for the broken pointer.
    void repair(ScriptedSession& s) { readposerfile(man, s.wn); }
    std::vector<std::string> answers() const { return {dir.at("Poser/geom/man2.obj")}; }

    // Every change a whole repair makes, in order, the closing of the run log included.
    std::vector<Step> steps_of_a_whole_repair()
    {
        start_over();
        std::vector<Step> steps;
        open_log();
        fsys::set_fault_hook([&](fsys::Op op, const std::string& path) {
            steps.push_back({op, path});
            return false;
        });
        ScriptedSession s(answers());
        repair(s);
        LOG.reset();
        fsys::set_fault_hook(nullptr);
        EXPECT_EQ(read_bytes(man), corrected);
        EXPECT_EQ(read_bytes(backup), old_text);
        return steps;
    }

    // What must hold wherever the repair stopped: the old text whole under one of the three
    // names; the file's own name holds the old or the whole corrected text, or is empty
    // only while the swap file holds the old text; no other file appears.
    void expect_old_text_survives(const std::string& when)
    {
        Snapshot s = snapshot(chars);
        SCOPED_TRACE(when + ", folder holds:" + describe(s));
        const bool in_man = s.count("man.cr2") && s["man.cr2"] == old_text;
        const bool in_backup = s.count("man_zz00.cr2") && s["man_zz00.cr2"] == old_text;
        const bool in_swap = s.count(k_swap_file_name) && s[k_swap_file_name] == old_text;
        EXPECT_TRUE(in_man || in_backup || in_swap);
        if (s.count("man.cr2")) {
            EXPECT_TRUE(s["man.cr2"] == old_text || s["man.cr2"] == corrected);
        } else {
            EXPECT_TRUE(in_swap);
        }
        for (const auto& [name, bytes] : s) {
            EXPECT_TRUE(name == "man.cr2" || name == "man_zz00.cr2" || name == k_swap_file_name) << name;
        }
    }

    // The next run after a stop. When a swap file was left, a folder walk that meets a file
    // needing repair says it cannot rename, and every file stays exactly as it was.
    // Otherwise a file still holding its old text is repaired, its old text kept in a backup.
    void expect_next_run_is_safe(const std::string& when)
    {
        SCOPED_TRACE(when);
        reset_engine(dir.at("Poser"));
        if (!exists(swap)) {
            if (read_bytes(man) == old_text) {
                ScriptedSession s(answers());
                repair(s);
                EXPECT_EQ(read_bytes(man), corrected);
                Snapshot after = snapshot(chars);
                EXPECT_TRUE(std::any_of(after.begin(), after.end(), [&](const auto& entry) {
                    return entry.first.rfind("man_zz", 0) == 0 && entry.second == old_text;
                })) << describe(after);
            }
            return;
        }
        const std::string other = dir.at("Poser/chars/other.pp2");
        write_bytes(other, "prop 0 0 geom:ball.obj\n");
        Snapshot before = snapshot(chars);
        ScriptedSession s;
        searchdir(chars, s.wn);
        EXPECT_EQ(snapshot(chars), before);
        const std::vector<std::string>& seen = s.transcript();
        EXPECT_NE(std::find(seen.begin(), seen.end(), "warning\tnone\tI can't rename this file\t" + other), seen.end());
        ++swap_files_met;
    }

    std::string chars;
    std::string swap;
    std::string old_text;
    std::string corrected;
    int swap_files_met = 0;
};

// The steps must include everything the check below claims to cover.
void expect_every_kind_of_step(const std::vector<Step>& steps, const std::string& backup)
{
    int copy_blocks = 0;
    int renames = 0;
    bool synced = false;
    bool closed = false;
    for (const Step& step : steps) {
        copy_blocks += step.op == fsys::Op::write && step.path == backup;
        renames += step.op == fsys::Op::rename;
        synced = synced || (step.op == fsys::Op::sync && step.path == backup);
        closed = closed || (step.op == fsys::Op::close && step.path == backup);
    }
    EXPECT_GE(copy_blocks, 3);
    EXPECT_TRUE(synced);
    EXPECT_TRUE(closed);
    EXPECT_EQ(renames, 3);
}

std::string step_label(const std::vector<Step>& steps, std::size_t k)
{
    if (k >= steps.size()) {
        return "after the last step";
    }
    return "before step " + std::to_string(k + 1) + " (" + op_name(steps[k].op) + " " + steps[k].path + ")";
}

// Portable: from the chosen step on, the disk refuses every change, as if the machine had
// stopped there; the program runs on and meets nothing but failures.
TEST_F(CrashSafety, DiskStoppingAtEveryStepKeepsTheOldText)
{
    const std::vector<Step> steps = steps_of_a_whole_repair();
    expect_every_kind_of_step(steps, backup);
    for (std::size_t k = 0; k <= steps.size(); ++k) {
        const std::string when = step_label(steps, k);
        start_over();
        reset_engine(dir.at("Poser"));
        open_log();
        std::size_t seen = 0;
        fsys::set_fault_hook([&](fsys::Op, const std::string&) { return seen++ >= k; });
        ScriptedSession s(answers());
        repair(s);
        LOG.reset();
        fsys::set_fault_hook(nullptr);
        expect_old_text_survives(when);
        if (read_bytes(man) != corrected) {
            EXPECT_EQ(s.transcript().back().rfind("warning\tnone\tI can't ", 0), 0u) << when;
        }
        expect_next_run_is_safe(when);
    }
    EXPECT_GT(swap_files_met, 0);
}

#ifndef _WIN32
constexpr int k_died = 41;
constexpr int k_finished = 42;

// A real crash: the repair runs in a child process that dies with _exit, so nothing is
// closed, flushed or undone, just before its change number `k` (or finishes when k is past
// the last one).
TEST_F(CrashSafety, ProcessDyingAtEveryStepKeepsTheOldText)
{
    const std::vector<Step> steps = steps_of_a_whole_repair();
    expect_every_kind_of_step(steps, backup);
    for (std::size_t k = 0; k <= steps.size(); ++k) {
        const std::string when = step_label(steps, k);
        start_over();
        reset_engine(dir.at("Poser"));
        std::fflush(nullptr);
        pid_t pid = ::fork();
        ASSERT_NE(pid, -1);
        if (pid == 0) {
            std::size_t seen = 0;
            fsys::set_fault_hook([&](fsys::Op, const std::string&) {
                if (seen++ == k) {
                    ::_exit(k_died);
                }
                return false;
            });
            open_log();
            ScriptedSession s(answers());
            repair(s);
            LOG.reset();
            ::_exit(k_finished);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << when;
        EXPECT_EQ(WEXITSTATUS(status), k < steps.size() ? k_died : k_finished) << when;
        expect_old_text_survives(when);
        if (k == steps.size()) {
            EXPECT_EQ(read_bytes(man), corrected);
            EXPECT_EQ(read_bytes(backup), old_text);
        }
        expect_next_run_is_safe(when);
    }
    EXPECT_GT(swap_files_met, 0);
}
#endif

}  // namespace
