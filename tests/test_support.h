// What the tests share: the files of tests/files.h, the disks they run on (the real one failing on demand, and one in
// memory with either platform's rules), prompts answered from a list whose transcript the tests compare, the engine as
// a fresh program has it, and the run log.
#pragma once

#include "app/prompts-scripted.h"
#include "app/runs.h"
#include "app/transcript.h"
#include "engine/base/run_stop.h"
#include "engine/fsys/memory_fs.h"
#include "engine/repair/correction.h"
#include "engine/repair/library_rules.h"
#include "engine/repair/run.h"
#include "tests/failing_fs.h"
#include "tests/files.h"

#include <cstdio>
#include <ctime>
#include <gtest/gtest.h>
#include <iomanip>
#include <map>
#include <sstream>

using Files = std::map<std::string, std::string>;  // path -> bytes

// A file the program opens on a disk in memory and never closes fails the test that made the disk.
inline const bool k_files_left_open_fail =
    (fsys::MemoryFileSystem::when_files_left_open([](std::size_t open) { ADD_FAILURE() << "files left open: " << open; }), true);
// So does a file it renames there after writing it and before flushing it.
inline const bool k_renamed_unflushed_fail = (fsys::MemoryFileSystem::when_renamed_unflushed(
    [](const std::string& from, const std::string& to) { ADD_FAILURE() << "renamed before it was flushed: " << from << " to " << to; }), true);

inline bool exists(const std::string& path) { return fsys::disk().entry_exists(path); }

// Every regular file below `folder` with its bytes, decompressed when `compressed`.
inline Files files_below(const std::string& folder, bool compressed = false)
{
    Files files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(fs_path(folder))) {
        if (entry.is_regular_file()) {
            const std::string path = utf8_path(entry.path());
            files[path] = compressed ? read_gzip(path) : read_bytes(path);
        }
    }
    return files;
}

// `files` but those in the run folders.
inline Files outside_runs(Files files)
{
    std::erase_if(files, [](const auto& f) { return f.first.find("tarnwick-runs") != std::string::npos; });
    return files;
}

// Each of `pieces` is somewhere in `text`.
inline void expect_pieces(const std::string& text, const Lines& pieces)
{
    for (const std::string& piece : pieces) {
        EXPECT_NE(text.find(piece), std::string::npos) << piece;
    }
}

// `when`, "YYYY-MM-DD hh:mm:ss", in local time.
inline std::time_t local_time(const char* when)
{
    std::tm t{};
    std::istringstream(when) >> std::get_time(&t, "%Y-%m-%d %H:%M:%S");
    t.tm_isdst = -1;
    return std::mktime(&t);
}

// Everything written to the temporary file `f`, which is closed.
inline std::string file_text(std::FILE* f)
{
    std::string text(static_cast<std::size_t>(std::ftell(f)), '\0');
    std::rewind(f);
    text.resize(std::fread(text.data(), 1, text.size(), f));
    std::fclose(f);
    return text;
}

// Scripted answers with a transcript: what the user saw, line by line; the files chosen are looked for on `fs`.
struct ScriptedSession {
    explicit ScriptedSession(Lines lines = {}, fsys::FileSystem& fs = fsys::disk()) : answers(std::move(lines), fs), wn(answers) {}
    const Lines& transcript() const { return wn.lines(); }

    ScriptedPrompts answers;
    TranscriptPrompts wn;
    YesToQuestions yes{wn};  // the same with every question answered yes unseen, as --yes answers them
};

// A dry run's output, not looked at.
struct UnheardDryRun : DryRunSink {
    Shown would_change(const PlannedDocument&) override { return Shown::shown; }
    void would_leave(const std::string&, std::string_view) override {}
};

// The engine's state as a fresh program has it: `root` the Poser root, no log, no stop, the default rules.
inline void reset_engine(Run& run, const std::string& root)
{
    run.use_rules(nullptr);
    run.tally = RunTally{};
    run.posername = root;
    run.LOG.reset();
    run.release_repllist();
    run.cache.clear();
    run_stop::clear();
}

// Checks and repairs `path` by the rules in force, as a walk does.
inline void repair(Run& run, const std::string& path, Prompts& wn)
{
    run.rules().repair(run, path, wn, fsys::Listed::unknown);
}

// What the user saw while `path` was checked and repaired by the rules in force, the choosers answered from `answers`
// and the files chosen looked for on `fs`.
inline Lines seen_repairing(Run& run, const std::string& path, Lines answers = {}, fsys::FileSystem& fs = fsys::disk())
{
    ScriptedSession s(std::move(answers), fs);
    repair(run, path, s.wn);
    return s.transcript();
}

// The library rules put in force on `run`.
inline LibraryRules& use_library_rules(Run& run, LibraryOptions options)
{
    auto rules = std::make_unique<LibraryRules>(std::move(options));
    LibraryRules& made = *rules;
    run.use_rules(std::move(rules));
    return made;
}

// The engine as a fresh program has it with `root` its Poser root, and with `extended` the library rules of that root
// alone (choosing by themselves when `automatic`), told of each change by `dry` when it is a dry run.
inline void start_engine(Run& run, const std::string& root, bool extended, bool automatic = false, DryRunSink* dry = nullptr)
{
    reset_engine(run, root);
    if (extended) {
        use_library_rules(run, LibraryOptions{automatic, {root}, {}}).set_dry_run(dry);
    }
}

// The run log written to `path` from now on; what it holds once closed.
inline void open_log(Run& run, const std::string& path)
{
    run.LOG = std::make_unique<TextWriter>();
    ASSERT_TRUE(run.LOG->open(run.fs(), path));
}
inline std::string closed_log(Run& run, const std::string& path)
{
    run.LOG.reset();
    return read_bytes(path);
}

inline std::string correcting_lines(const std::string& corrected, const std::string& backup)
{
    return "file " + corrected + " being corrected: old version is on\r\n     " + backup + "\r\n";
}

inline std::string replaced_lines(const std::string& old_obj, const std::string& new_obj)
{
    return "      pointer to " + old_obj + " replaced by\r\n      pointer to " + new_obj + "\r\n";
}

// The transcript line of the chooser asking for the missing `missing`, answered `answer`: a mesh's, or the chooser
// for `what` offering the files of `kind`.
inline std::string chooser_line(const std::string& missing, const std::string& answer, const std::string& what = ".OBJ file",
                                const std::string& kind = "OBJ mesh geometry files")
{
    const std::string folder = missing.substr(0, missing.find_last_of("/\\"));
    return "open\tmain\tfind the correct " + what + "\t" + missing + "\t" + folder + "\t" + kind + "\t" + answer;
}

// The transcript line of the question closing the walk of `folder`, answered `answer`.
inline std::string continue_line(const std::string& folder, const std::string& answer)
{
    return "question\tnone\tsearchdir finished for this folder: shall I continue?\t" + folder + "\t" + answer;
}

// A session of the program in a fresh folder: runs start in "start" with an empty log there, the Poser root holds
// the mesh geom/new.obj, and each log a run offers to show is kept in `shown_logs`.
class SessionTest : public testing::Test {
protected:
    void SetUp() override
    {
        reset_engine(run, dir.at("Poser"));
        session.rootdir = dir.at("start");
        write_bytes(log, "");
        write_bytes(dir.at("Poser/geom/new.obj"), "");
        session.log_viewer = [this](const std::string& path) { shown_logs.push_back(path); };
    }
    void TearDown() override { reset_engine(run, ""); }

    TempDir dir;
    Session session;
    ::Run& run = session.run;
    const std::string log = dir.at("start/__result_of_run.txt");
    Lines shown_logs;
};
