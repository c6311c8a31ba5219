// The correction pass: a copy of a Poser file in which every geometry reference is written
// in blank-colon notation, and each missing geometry file is replaced by one the user
// picks. The picks are remembered in the replacement list for all later files and runs.
#pragma once

#include "engine/prompts.h"
#include "engine/fsys.h"

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One remembered pick: the disk path of a missing geometry file and the file chosen for it.
struct ReplEntry {
    std::string old_path;
    std::string new_path;
};

inline constexpr int k_repl_capacity = 1000;

// The replacement list: absent (null) until a run creates it; entries 0 .. nL - 1 are in use,
// only ever appended. Once full, further picks serve the line at hand only.
using ReplList = std::array<ReplEntry, k_repl_capacity>;
extern std::unique_ptr<ReplList> repllist;
extern int nL;

// Creates the list, empty, when it is absent.
void create_repllist();
// Discards the list and every pick in it.
void release_repllist();

// Writes the corrected copy of `orig` to `cor` (created or emptied), flushed to the disk.
// Returns 1 when the copy is complete; 0 when it failed or the user cancelled a chooser.
int correctposerfile(const std::string& orig, const std::string& cor, Prompts& wn);

// As correctposerfile, creating `cor` as `mode` says; `cor_created` tells whether `cor` was
// created, so that a caller who cleans up never deletes a file the pass did not make.
int correct_into(const std::string& orig, const std::string& cor, Prompts& wn, fsys::Create mode, bool& cor_created);

// The pick remembered for the missing `oldobj`, or nullptr.
const std::string* remembered_replacement(const std::string& oldobj);
// Remembers a pick while the list has room.
void remember_replacement(const std::string& oldobj, const std::string& objfile);

// Asks with the chooser titled `title` for the file to use instead of a missing one, offering
// `proposal`, until the user picks a file inside one of `roots` (links followed) or cancels.
// Returns that root's index, with the pick spelt below it in `pick`; npos on cancel.
std::size_t ask_for_replacement(const std::string& proposal, std::string_view title, const FileFilter& filter,
                                const std::vector<std::string>& roots, std::string& pick, Prompts& wn);

// The two log lines of one replaced pointer.
void log_replacement(const std::string& oldobj, const std::string& objfile);
