// The engine's state for the runs of one program: the Poser root, the run log, the replacement
// list, the rules in force with what they learn, the cache of the disk, and what the files of
// the run in hand came to. One object, handed to every step of a run; nothing of it is global.
#pragma once

#include "engine/fsys/fsys.h"
#include "engine/fsys/textio.h"
#include "engine/library/disk_cache.h"

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class Rules;

// One remembered pick: the disk path of a missing file and the file chosen for it.
struct ReplEntry {
    std::string old_path;
    std::string new_path;
};

inline constexpr int k_repl_capacity = 1000;
// Entries 0 .. nL - 1 are in use, only ever appended. Once full, further picks serve the
// reference at hand only.
using ReplList = std::array<ReplEntry, k_repl_capacity>;

// What the files of a run came to, counted as the run goes. "references replaced" counts the
// references whose path a run rewrote (a file put in place of a missing one, or a path put in
// colon notation), each reference line once.
struct RunTally {
    long long checked = 0;
    long long corrected = 0;
    long long abandoned = 0;
    long long replaced = 0;
    long long left = 0;   // references the user left as they were (extended runs)
    long long total = 0;  // the documents a run counted before it began, 0 when it did not
    bool stopped = false; // the run was stopped before its end
};

class Run {
public:
    explicit Run(fsys::FileSystem& fs = fsys::disk());
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    fsys::FileSystem& fs() const { return m_fs; }

    // The Poser installation's root folder, without a trailing separator.
    std::string posername;
    // The run log: open during a run, absent (null) otherwise or when it could not be created.
    std::unique_ptr<TextWriter> LOG;
    // The replacement list: absent until a run creates it, then kept, with every pick in it,
    // for all later runs until it is released.
    std::unique_ptr<ReplList> repllist;
    int nL = 0;
    RunTally tally;
    // Repairs abandoned since the program started, so that an unattended program can tell by
    // its exit status that a file was left as it was.
    long long abandoned_repairs = 0;
    DiskCache cache;
    // While set, the log's lines go here instead: a repair that waits for its flush keeps its
    // lines until it is done, so that the log says what happened in the order it happened.
    std::string* log_capture = nullptr;

    // The rules in force: the repair's own until others are put in force.
    Rules& rules() const { return *m_rules; }
    void use_rules(std::unique_ptr<Rules> rules);
    // A new run begins: its tally starts at nothing and the rules forget what the last run learnt.
    void start();

    // Writes to the run log when it is open; a run without a log goes on without one. Each line
    // reaches the file as it is completed, so that an abrupt end keeps what was done.
    void write_log(std::string_view text);
    // Told of what a run passes over without anybody asking (a link leading out of the library),
    // one line each, besides the log: the console program prints it on standard error.
    std::function<void(const std::string& line)> tell;
    // Says `line` in the log and to `tell`.
    void note(const std::string& line);
    // How many texts have gone to an open run log so far: a run compares it before and after a
    // step to tell whether the step logged anything.
    unsigned long long log_writes() const { return m_log_writes; }

    // Creates the replacement list, empty, when it is absent; discards it with every pick.
    void create_repllist();
    void release_repllist();
    // The pick remembered for the missing `oldobj`, or nullptr.
    const std::string* remembered_replacement(const std::string& oldobj) const;
    // Remembers a pick while the list has room.
    void remember_replacement(const std::string& oldobj, const std::string& objfile);

private:
    fsys::FileSystem& m_fs;
    std::unique_ptr<Rules> m_rules;
    unsigned long long m_log_writes = 0;
};
