// The console program: the Windows program's runs, prompts, log and files, driven by its
// command line.
#pragma once

#include "app/content_roots.h"

#include <string>
#include <vector>

// One thing to do, in command-line order: a path (handled as if dropped on the window) or
// a menu command.
struct CliAction {
    bool is_menu = false;
    int menu = 0;
    std::string path;
};

struct CliOptions {
    bool help = false;
    bool version = false;
    bool yes = false;
    bool has_root = false;
    std::string root;                // the first --root
    std::vector<std::string> roots;  // every --root, in order
    std::string library_prefs;
    bool report = false;
    bool json = false;
    std::string html;
    std::string collect;  // --collect OUT
    bool move = false;    // --move SRC DST: the two paths
    bool install = false;  // --install: the paths are product zips
    bool modern = false;  // --modern, or --auto which implies it
    bool dry_run = false;
    bool automatic = false;
    bool undo = false;  // --undo [RUN]
    bool runs = false;
    std::string undo_log;
    std::string forget;
    std::string answers;
    std::string transcript;
    std::vector<CliAction> actions;
};

// Reads the arguments; false with a one-line reason in `error` for a usage error.
bool parse_cli(const std::vector<std::string>& args, CliOptions& options, std::string& error);

// Runs the program; returns its exit status.
int run_cli(int argc, char** argv);
