#include "cli/cli.h"

#include "app/collect_command.h"
#include "app/console_text.h"
#include "app/content_roots.h"
#include "app/dry_run.h"
#include "app/install_command.h"
#include "app/move_command.h"
#include "app/poser_root.h"
#include "app/prompts-console.h"
#include "app/prompts-scripted.h"
#include "app/report_command.h"
#include "app/report_output.h"
#include "app/run_folders.h"
#include "app/runs.h"
#include "app/settings.h"
#include "app/transcript.h"
#include "app/unattended_warnings.h"
#include "app/undo_command.h"
#include "cli/interrupt.h"
#include "engine/base/run_stop.h"
#include "engine/fsys/fsys.h"
#include "engine/fsys/textio.h"
#include "engine/repair/folder_walk.h"
#include "engine/repair/library_rules.h"
#include "engine/repair/rules.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <utility>

#ifndef TARNWICK_VERSION
#define TARNWICK_VERSION "unknown"
#endif

namespace {

// An unattended run that warned about a file or abandoned a repair.
constexpr int k_status_not_all_well = 3;

constexpr const char* k_usage =
    "usage: tarnwick-cli [OPTIONS] [PATH | --menu N]...\n"
    "       tarnwick-cli --report [--root DIR]... [--library-prefs FILE] [--json] [--html FILE] PATH...\n"
    "       tarnwick-cli --collect OUT [--root DIR]... [--library-prefs FILE] DOCUMENT...\n"
    "       tarnwick-cli --move SRC DST [--root DIR]... [--library-prefs FILE] [--dry-run]\n"
    "       tarnwick-cli --install [--dry-run] [--root DIR]... [--library-prefs FILE] PRODUCT.zip...\n"
    "\n"
    "Checks the geometry pointers of Poser files (.cr2 .pp2 .hr2 .pz3) and repairs broken ones.\n"
    "Each PATH is handled as if dropped on the tarnwick window: a folder is checked with all its\n"
    "subfolders, a Poser file on its own. --menu N carries out a menu command: 256 check a file,\n"
    "259 check a folder, 257 help, 258 exit. The run log is __result_of_run.txt in the current\n"
    "folder.\n"
    "\n"
    "options:\n"
    "  --root DIR         the Poser installation's root folder (nothing is asked or saved)\n"
    "  --answers FILE     answer the prompts from FILE, one line each: \"yes\" (or anything else for\n"
    "                     No) for a question, a path or \"cancel\" for a file chooser\n"
    "  --yes              answer every question Yes; the answers then serve the choosers alone\n"
    "  --transcript FILE  append every prompt and title change to FILE, one line each\n"
    "  --modern           also check compressed and every other kind of Poser document, quoted and\n"
    "                     .obz pointers, pointers whose letter case differs from the disk (found, as\n"
    "                     Poser on Windows finds them), several roots; skip backups of files beside\n"
    "                     them; propose a file of the same name in the chooser\n"
    "  --auto             as --modern, and take without asking a missing file's only namesake\n"
    "                     under the roots (logged \"(found by name)\") or the file at its path from\n"
    "                     its Runtime folder on under a root (logged \"(found by its Runtime path)\")\n"
    "  --dry-run          with --modern or --auto: change nothing (no file, run folder, log or\n"
    "                     setting), open no chooser, and print the changes the run would make as\n"
    "                     a unified diff that patch -p1 applies from the root, then each reference\n"
    "                     it would leave as it is, then the summary; exit status 0 when nothing\n"
    "                     would change or stay broken, 3 otherwise\n"
    "  --library-prefs FILE  with --modern or --report: add the content folders that a Poser\n"
    "                     LibraryPrefs.xml registers, after the --root folders; \"auto\" takes the\n"
    "                     newest one Poser keeps (%APPDATA%\\Poser*\\*\\, or under wine's prefix\n"
    "                     drive_c/users/*/AppData/Roaming/Poser*/*/ elsewhere)\n"
    "\n"
    "report (read-only: changes nothing, asks nothing, writes no log):\n"
    "  --report           check every file reference (geometry, images, morphs, scripts) of every\n"
    "                     Poser document in the PATHs; exit status 0 when all are found, 3 when\n"
    "                     some are moved, missing or refused (a path out of the roots, a\n"
    "                     network path, a device) or a document cannot be read, 2 for bad\n"
    "                     arguments or roots. Without --root and --library-prefs the saved Poser\n"
    "                     root is used (on Windows with the content folders of the newest\n"
    "                     LibraryPrefs.xml Poser keeps)\n"
    "  --root DIR         a content root, in order of preference (repeatable with --report and\n"
    "                     --modern)\n"
    "  --json             write the report as one JSON document; bytes of file names that are not\n"
    "                     UTF-8 are replaced by U+FFFD\n"
    "  --html FILE        also write the report as one self-contained HTML page\n"
    "  A PATH that is a product zip (.zip) is read without unpacking it: each reference is looked\n"
    "  for inside the zip first (as if unpacked into a content folder), then under the roots; the\n"
    "  report says what the product needs from the roots, what nobody has, and what breaks an\n"
    "  install (\"package\" problems: no Runtime folder, unsafe names, links, letter-case twins,\n"
    "  archiver leftovers, backups, names without the UTF-8 mark, bombs), each making the\n"
    "  exit status 3\n"
    "\n"
    "collect (changes no file it reads):\n"
    "  --collect OUT      copy each DOCUMENT (a scene, a figure...) with every file it uses, and\n"
    "                     the files those use in turn, and each document's thumbnail, into OUT:\n"
    "                     one zip when OUT ends in .zip, else a new or empty folder. Files keep\n"
    "                     their path from the root that holds them; the copied documents name\n"
    "                     them in colon notation (:Runtime:...), so that the result, unpacked\n"
    "                     into any content folder, loads. OUT holds collect.txt, the list of\n"
    "                     what was collected and what is missing. A file outside the roots is\n"
    "                     taken only when it is what its reference names, a file reached through\n"
    "                     a link only when it lies inside a root. Exit status 0 when everything\n"
    "                     was found, 3 when something is missing, refused or left out, 2 for bad\n"
    "                     arguments, 1 when the result cannot be written (then nothing is left)\n"
    "\n"
    "move (every reference follows; undone by --undo):\n"
    "  --move SRC DST     move the file or folder SRC, below a root, to DST, below a root (nothing\n"
    "                     there yet, or an empty folder; the folders above it are made), and\n"
    "                     rewrite every reference of every Poser document below the roots that\n"
    "                     finds a file of SRC today to find it at its new place, in colon\n"
    "                     notation from the root that holds it; every other byte stays. One\n"
    "                     rename on one file system, else copies flushed and compared before the\n"
    "                     old files go. The old versions of the documents changed and the record\n"
    "                     of the move go into a run folder, for --undo. Exit status 0 when done,\n"
    "                     3 when a document could not be read or changed (named; the rest done),\n"
    "                     2 when the move is refused (nothing changed), 1 when it failed and was\n"
    "                     taken back. With --dry-run: the files that would move and a unified diff\n"
    "                     of every document that would change; nothing changes\n"
    "\n"
    "install (checks each zip whole before anything is written):\n"
    "  --install          unpack the product zips into the first --root (else the saved Poser root):\n"
    "                     a Runtime folder at the top of a zip goes into it, one a folder down is\n"
    "                     unpacked from that folder; a folder in another letter case takes the\n"
    "                     files; archiver leftovers and old copies are skipped. A zip with a name\n"
    "                     that is unsafe or cannot be made here, a link, letter-case twins or an\n"
    "                     entry that cannot be unpacked is refused (exit status 2, nothing\n"
    "                     written). A file replaced is kept in <root>/tarnwick-runs/<when>/, and\n"
    "                     --undo takes the install back. Then says what the product needs from\n"
    "                     the roots and what nobody has; exit status 0, or 3 when something is\n"
    "                     missing or a file was skipped, 1 when a file could not be written (what\n"
    "                     was written is taken back)\n"
    "  --dry-run          with --install: list each file, where it would go and whether it is new,\n"
    "                     replaced or already there, and write nothing\n"
    "\n"
    "undo (the old versions an extended run or an install changed are kept in\n"
    "<root>/tarnwick-runs/<when>/):\n"
    "  --undo [RUN]       take back the last extended run, move or install below the roots (or RUN:\n"
    "                     a run folder or its manifest.json): each file changed gets its old version\n"
    "                     back, each file installed is removed; a file changed since the run is\n"
    "                     left alone and named (exit status 3)\n"
    "  --runs             list the runs below the roots: when, files changed, references replaced,\n"
    "                     or the product installed\n"
    "  --forget RUN       delete a run folder and the old versions in it (asks first, unless --yes)\n"
    "  --undo-log LOG     give back the old version of every file the run log LOG names as\n"
    "                     corrected; the corrected text is kept under the next free backup name\n"
    "  --help             show this text\n"
    "  --version          show the version\n"
    "\n"
    "Without --answers, prompts are asked on the terminal, or answered from standard input when\n"
    "it is not a terminal. Answered from --answers or from standard input, every warning is also\n"
    "printed on standard error (\"I can't open this file: PATH\"), as is every reference an\n"
    "extended run leaves as it is, and the exit status is 3 when a file was warned about, its\n"
    "repair abandoned or a reference left as it is, 0 when all went well (130, 143 or 129 after\n"
    "an interrupt).\n";

// A run that nobody watches: its prompts are answered from a file or a pipe.
bool is_unattended(const CliOptions& options)
{
    return !options.answers.empty() || !is_terminal(stdin);
}

bool option_value(const std::vector<std::string>& args, std::size_t& k, const std::string& name, std::string& value,
                  std::string& error)
{
    const std::string& arg = args[k];
    if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 && arg[name.size()] == '=') {
        value = arg.substr(name.size() + 1);
        return true;
    }
    if (k + 1 >= args.size()) {
        error = "option " + name + " needs a value";
        return false;
    }
    value = args[++k];
    return true;
}

bool is_option(const std::string& arg, const std::string& name)
{
    return arg == name || arg.compare(0, name.size() + 1, name + "=") == 0;
}

// The options whose value is kept as given: the option's name and where its value goes, or
// a null place when `arg` is none of them.
std::pair<const char*, std::string*> text_option(const std::string& arg, CliOptions& o)
{
    const std::pair<const char*, std::string*> options[] = {
        {"--html", &o.html},         {"--library-prefs", &o.library_prefs}, {"--answers", &o.answers},
        {"--transcript", &o.transcript}, {"--undo-log", &o.undo_log},     {"--forget", &o.forget},
        {"--collect", &o.collect}};
    for (const auto& option : options) {
        if (is_option(arg, option.first)) {
            return option;
        }
    }
    return {nullptr, nullptr};
}

bool parse_menu_number(const std::string& text, int& number)
{
    if (text.empty() || text.size() > 9) {
        return false;
    }
    number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        number = number * 10 + (c - '0');
    }
    return true;
}

// The log as it is; on a terminal with the control characters of its paths made visible.
void print_log(const std::string& path)
{
    TextReader in;
    if (!in.open(fsys::disk(), path)) {
        write_text(stderr, "tarnwick-cli: can't read the log " + visible(path) + "\n");
        return;
    }
    const bool terminal = is_terminal(stdout);
    std::string_view line;
    while (in.next_line(line)) {
        const std::string shown = terminal ? visible(line) : std::string(line);
        write_text(stdout, shown + "\n");
    }
    std::fflush(stdout);
}

struct PromptStack {
    std::FILE* answers_file = nullptr;
    std::unique_ptr<Prompts> answerer;
    std::unique_ptr<InterruptiblePrompts> interruptible;
    std::unique_ptr<Prompts> yes;
    std::unique_ptr<UnattendedWarnings> unattended;  // for answers from a file or a pipe
    std::unique_ptr<TranscriptPrompts> transcript;
    // The prompts the runs talk to: the last layer built.
    Prompts* top = nullptr;

    ~PromptStack()
    {
        transcript.reset();
        if (answers_file != nullptr) {
            std::fclose(answers_file);
        }
    }
};

// The extended rules, with the Poser root first among the content roots. Unattended, every
// reference left as it is is said on standard error and counted in `left`.
bool use_extended_rules(Session& session, const CliOptions& options, long long& left, std::string& error,
                        DryRunPrinter* dry_run = nullptr)
{
    std::vector<std::string> given = options.roots;
    if (given.empty()) {
        given.push_back(session.run.posername.empty() ? std::string(1, fsys::k_sep) : session.run.posername);
    }
    std::vector<std::string> roots;
    std::vector<std::string> notes;
    std::string prefs = options.library_prefs;
    const bool gathered =
        resolve_library_prefs(prefs, error) && gather_content_roots(session.run.fs(), given, prefs, roots, error, notes);
    for (const std::string& note : notes) {
        write_text(stderr, "tarnwick-cli: " + visible(note) + "\n");
    }
    if (!gathered) {
        return false;
    }
    session.run.posername = roots.front();
    LibraryOptions library{options.automatic, roots, {}, notes};
    if (is_unattended(options) || options.dry_run) {
        library.on_left = [&left, dry = options.dry_run](const std::string& document, std::string_view target) {
            ++left;
            if (!dry) {
                write_text(stderr, "left as it is: " + visible(target) + " in " + visible(document) + "\n");
            }
        };
    }
    auto rules = std::make_unique<LibraryRules>(std::move(library));
    // The old versions go to run folders, for --undo; a dry run keeps none.
    if (dry_run != nullptr) {
        dry_run->set_roots(roots);
        rules->set_dry_run(dry_run);
    } else {
        session.journal = std::make_unique<RunFolders>(
            session.run, RunSettings{TARNWICK_VERSION, options.automatic, roots}, run_stamp(std::time(nullptr)));
        rules->set_journal(session.journal.get());
    }
    session.run.use_rules(std::move(rules));
    return true;
}

bool build_prompts(const CliOptions& options, PromptStack& stack, std::string& error)
{
    if (!options.answers.empty()) {
        stack.answers_file = fsys::open_stream(options.answers, "rb");
        if (stack.answers_file == nullptr) {
            error = "can't read the answers file " + options.answers;
            return false;
        }
        stack.answerer = std::make_unique<ScriptedPrompts>(ScriptedPrompts::lines_from(stack.answers_file));
    } else if (!is_terminal(stdin)) {
        stack.answerer = std::make_unique<ScriptedPrompts>(ScriptedPrompts::lines_from(stdin));
    } else {
        stack.answerer = std::make_unique<ConsolePrompts>(stdin, stderr);
    }
    stack.interruptible = std::make_unique<InterruptiblePrompts>(*stack.answerer);
    Prompts* inner = stack.interruptible.get();
    if (options.yes) {
        stack.yes = std::make_unique<YesToQuestions>(*inner);
        inner = stack.yes.get();
    }
    if (!options.answers.empty() || !is_terminal(stdin)) {
        stack.unattended = std::make_unique<UnattendedWarnings>(*inner, stderr);
        inner = stack.unattended.get();
    }
    stack.top = inner;
    // Only when asked for: a transcript also keeps its lines, one per file checked.
    if (!options.transcript.empty()) {
        stack.transcript = std::make_unique<TranscriptPrompts>(*inner);
        stack.top = stack.transcript.get();
        if (!stack.transcript->append_to(options.transcript)) {
            error = "can't write the transcript file " + options.transcript;
            return false;
        }
    }
    return true;
}

// Options that make no sense together are refused before anything runs.
bool check_combinations(const CliOptions& o, std::string& error)
{
    bool has_menu = false;
    std::size_t paths = 0;
    for (const CliAction& a : o.actions) {
        has_menu = has_menu || a.is_menu;
        paths += a.is_menu ? 0 : 1;
    }
    const int undoing = o.undo + o.runs + !o.undo_log.empty() + !o.forget.empty();
    if (o.move && (undoing > 0 || o.report || o.modern || o.install || !o.collect.empty() || o.yes || has_menu ||
                   !o.answers.empty() || !o.transcript.empty() || paths != 2)) {
        error = "--move takes SRC and DST, with --root, --library-prefs and --dry-run only";
    } else if (undoing > 0 && (undoing > 1 || o.report || o.modern || o.install || has_menu || !o.answers.empty() || !o.transcript.empty() ||
                        o.actions.size() > (o.undo ? 1u : 0u))) {
        error = "--undo, --undo-log, --runs and --forget go alone (with --root, --library-prefs, --yes; --undo with one RUN)";
    } else if (o.report && (o.yes || !o.answers.empty() || !o.transcript.empty() || has_menu || o.modern)) {
        error = "--report takes no --answers, --transcript, --yes, --menu, --modern or --auto";
    } else if (!o.collect.empty() && (o.report || o.yes || !o.answers.empty() || !o.transcript.empty() || has_menu || o.modern)) {
        error = "--collect takes no --report, --answers, --transcript, --yes, --menu, --modern or --auto";
    } else if (o.install && (o.report || !o.collect.empty() || o.yes || !o.answers.empty() || !o.transcript.empty() || has_menu ||
                             o.modern)) {
        error = "--install takes no --report, --collect, --answers, --transcript, --yes, --menu, --modern or --auto";
    } else if (!o.report && (o.json || !o.html.empty())) {
        error = "--json and --html need --report";
    } else if (!o.report && !o.modern && !o.move && !o.install && o.collect.empty() && undoing == 0 &&
               (o.roots.size() > 1 || !o.library_prefs.empty())) {
        error = "several --root and --library-prefs need --modern, --report, --collect, --move, --install or an undo";
    } else if (o.dry_run && !o.move && ((!o.modern && !o.install) || has_menu || !o.answers.empty() || !o.transcript.empty())) {
        error = "--dry-run goes with --modern, --auto, --move or --install and paths, without --menu, --answers or --transcript";
    } else if ((o.report || o.dry_run || o.install || !o.collect.empty()) && paths == 0) {
        error = "no PATH given";
    }
    return error.empty();
}

UndoRequest undo_request(const CliOptions& o)
{
    UndoRequest r{UndoAction::none, "", o.roots, o.library_prefs, o.yes};
    if (o.undo) {
        r.action = UndoAction::undo;
        r.target = o.actions.empty() ? std::string() : o.actions.front().path;
    } else if (o.runs) {
        r.action = UndoAction::runs;
    } else if (!o.undo_log.empty()) {
        r.action = UndoAction::undo_log;
        r.target = o.undo_log;
    } else if (!o.forget.empty()) {
        r.action = UndoAction::forget;
        r.target = o.forget;
    }
    return r;
}

}  // namespace

bool parse_cli(const std::vector<std::string>& args, CliOptions& options, std::string& error)
{
    bool only_paths = false;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& arg = args[k];
        std::string value;
        if (only_paths || arg.empty() || arg[0] != '-' || arg == "-") {
            options.actions.push_back(CliAction{false, 0, arg});
        } else if (arg == "--") {
            only_paths = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--yes") {
            options.yes = true;
        } else if (arg == "--report") {
            options.report = true;
        } else if (arg == "--undo") {
            options.undo = true;
        } else if (arg == "--install") {
            options.install = true;
        } else if (arg == "--runs") {
            options.runs = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--modern") {
            options.modern = true;
        } else if (arg == "--move") {
            options.move = true;
        } else if (arg == "--dry-run") {
            options.dry_run = true;
        } else if (arg == "--auto") {
            options.modern = options.automatic = true;
        } else if (const auto [name, place] = text_option(arg, options); place != nullptr) {
            if (!option_value(args, k, name, *place, error)) {
                return false;
            }
        } else if (is_option(arg, "--root")) {
            if (!option_value(args, k, "--root", value, error)) {
                return false;
            }
            if (value.empty()) {
                error = "--root needs a folder";
                return false;
            }
            if (!options.has_root) {
                options.root = value;
            }
            options.roots.push_back(value);
            options.has_root = true;
        } else if (is_option(arg, "--menu")) {
            CliAction action{true, 0, ""};
            if (!option_value(args, k, "--menu", value, error)) {
                return false;
            }
            if (!parse_menu_number(value, action.menu)) {
                error = "--menu needs a command number, not '" + value + "'";
                return false;
            }
            options.actions.push_back(action);
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    return check_combinations(options, error);
}

namespace {

// A path that is not there is a mistake in the command, before any run begins.
bool paths_exist(fsys::FileSystem& fs, const CliOptions& options)
{
    for (const CliAction& action : options.actions) {
        if (!action.is_menu && !fs.entry_exists(action.path)) {
            write_text(stderr, "tarnwick-cli: no such file or folder: " + visible(action.path) + "\n");
            return false;
        }
    }
    return true;
}

// Answers nothing: a dry run never opens a chooser (the reference is left as it is), and its
// warnings go to standard error as an unattended run's do.
class DryRunPrompts : public Prompts {
protected:
    void show_warning(Owner, std::string_view body, std::string_view caption) override
    {
        write_text(stderr, visible(caption) + ": " + visible(body) + "\n");
        ++warnings;
    }
    void show_information(Owner, std::string_view, std::string_view) override {}
    bool ask_question(Owner, std::string_view, std::string_view) override { return false; }
    int choose_file(Owner, std::string&, std::string_view, std::string_view, const FileFilter&, ChooserMode) override
    {
        return 0;
    }
    void set_title(std::string_view) override {}

public:
    long long warnings = 0;
};

// --dry-run: every path planned by the extended rules, nothing written; the diff, the
// references left, and the summary on standard output.
int dry_run(Session& session, const CliOptions& options)
{
    DryRunPrompts wn;
    long long left = 0;
    std::string error;
    if (options.has_root) {
        session.run.posername = root_without_trailing_separators(normalised_root(session.run.fs(), options.root));
    } else {
        session.run.posername = read_setting(k_settings_section, k_root_key);
    }
    DryRunPrinter printer(stdout, is_terminal(stdout));
    if ((!options.has_root && session.run.posername.empty()) || !use_extended_rules(session, options, left, error, &printer)) {
        write_text(stderr, "tarnwick-cli: " + visible(error.empty() ? "a dry run needs --root DIR or a saved root" : error) + "\n");
        return 2;
    }
    session.run.start();
    session.run.create_repllist();
    for (const CliAction& action : options.actions) {
        if (run_stop::requested()) {
            break;
        }
        if (is_dir(session.run.fs(), action.path)) {
            searchdir(session.run, action.path, wn);
        } else {
            session.run.rules().repair(session.run, action.path, wn, fsys::Listed::unknown);
        }
    }
    for (const std::string& line : printer.left()) {
        write_text(stdout, visible(line) + "\n");
    }
    write_text(stdout, session.run.rules().summary(session.run.tally) + "\n");
    std::fflush(stdout);
    if (interrupt::status() != 0) {
        return interrupt::finish(std::string());
    }
    return printer.changed() > 0 || left > 0 || wn.warnings > 0 ? k_status_not_all_well : 0;
}

}  // namespace

int run_cli(int argc, char** argv)
{
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    CliOptions options;
    std::string error;
    if (args.empty()) {
        std::fputs(k_usage, stderr);
        return 2;
    }
    if (!parse_cli(args, options, error)) {
        write_text(stderr, "tarnwick-cli: " + visible(error) + " (see tarnwick-cli --help)\n");
        return 2;
    }
    if (options.help) {
        std::fputs(k_usage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("tarnwick-cli %s\n", TARNWICK_VERSION);
        return 0;
    }
    fsys::FileSystem& fs = fsys::disk();
    if (const UndoRequest undo = undo_request(options); undo.action != UndoAction::none) {
        return run_undo_command(fs, undo, stdin, stdout, stderr, !is_terminal(stdin));
    }
    if (options.actions.empty()) {
        write_text(stderr, "tarnwick-cli: nothing to do: give a PATH or --menu N (see tarnwick-cli --help)\n");
        return 2;
    }
    if (options.install) {
        InstallRequest request{options.roots, options.library_prefs, {}, options.dry_run};
        for (const CliAction& action : options.actions) {
            request.zips.push_back(action.path);
        }
        interrupt::install();
        const int status = run_install(fs, request, TARNWICK_VERSION, stdout, stderr);
        return interrupt::status() != 0 ? interrupt::finish(std::string()) : status;
    }
    if (options.report) {
        ReportRequest request{options.roots, options.library_prefs, options.json, options.html, {}};
        for (const CliAction& action : options.actions) {
            request.paths.push_back(action.path);
        }
        return run_report(fs, request, TARNWICK_VERSION, stdout, stderr);
    }
    if (options.move) {
        const MoveCommandRequest request{options.actions[0].path, options.actions[1].path, options.roots,
                                         options.library_prefs, options.dry_run};
        interrupt::install();
        const int status = run_move(fs, request, TARNWICK_VERSION, stdout, stderr);
        return interrupt::status() != 0 ? interrupt::finish(std::string()) : status;
    }
    if (!options.collect.empty()) {
        CollectRequest request{options.roots, options.library_prefs, options.collect, {}};
        for (const CliAction& action : options.actions) {
            request.documents.push_back(action.path);
        }
        interrupt::install();
        const int status = run_collect(fs, request, stderr);
        return interrupt::status() != 0 ? interrupt::finish(std::string()) : status;
    }
    if (options.has_root && !is_dir(fs, options.root)) {
        // Every pointer would count as broken, and no pick could lie inside the root.
        write_text(stderr, "tarnwick-cli: the Poser root " + visible(options.root) + " is not a folder\n");
        return 2;
    }
    if (options.modern && !paths_exist(fs, options)) {
        return 2;
    }
    interrupt::install();
    Session session(fs);
    session.run.tell = [](const std::string& line) { write_text(stderr, "tarnwick-cli: " + visible(line) + "\n"); };
    if (options.dry_run) {
        return dry_run(session, options);
    }
    PromptStack prompts;
    if (!build_prompts(options, prompts, error)) {
        write_text(stderr, "tarnwick-cli: " + visible(error) + "\n");
        return 2;
    }
    Prompts& wn = *prompts.top;
    set_rootdir_to_current_folder(session);
    session.log_viewer = print_log;
    if (options.has_root) {
        session.run.posername = root_without_trailing_separators(normalised_root(fs, options.root));
    } else if (set_poser_root(session.run, wn) == 0) {
        return interrupt::status() != 0 ? interrupt::finish(session.logname) : 1;
    }
    long long left = 0;
    if (options.modern && !use_extended_rules(session, options, left, error)) {
        write_text(stderr, "tarnwick-cli: " + visible(error) + "\n");
        return 2;
    }
    for (const CliAction& action : options.actions) {
        // A stopped run's log must stay as it is: no later run may begin.
        if (run_stop::requested()) {
            break;
        }
        if (!action.is_menu) {
            handle_drop(session, {action.path}, wn);
        } else if (menu_command(session, action.menu, wn) == AfterCommand::close_main_window) {
            break;
        }
    }
    if (interrupt::status() != 0) {
        return interrupt::finish(session.logname);
    }
    const bool not_all_well =
        prompts.unattended && (prompts.unattended->warnings() > 0 || session.run.abandoned_repairs > 0 || left > 0);
    return not_all_well ? k_status_not_all_well : 0;
}
