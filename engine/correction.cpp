#include "engine/correction.h"

#include "engine/content_paths.h"
#include "engine/engine_state.h"
#include "engine/existence.h"
#include "engine/refline.h"
#include "engine/run_stop.h"
#include "engine/text_encoding.h"
#include "engine/textio.h"
#include "engine/unfinished_copy.h"

std::unique_ptr<ReplList> repllist;
int nL = 0;

namespace {

constexpr std::string_view k_chooser_title = "find the correct .OBJ file";

// The file a missing pointer gets: the one remembered for `oldobj`, or the user's pick. False
// on cancel.
bool replacement_for(const std::string& oldobj, std::string& objfile, Prompts& wn)
{
    if (const std::string* known = remembered_replacement(oldobj)) {
        objfile = *known;
        return true;
    }
    // The root folder "/" is held as the empty root.
    const std::vector<std::string> roots{posername.empty() ? std::string(1, fsys::k_sep) : posername};
    if (ask_for_replacement(oldobj, k_chooser_title, filterOBJ, roots, objfile, wn) == std::string_view::npos) {
        return false;
    }
    remember_replacement(oldobj, objfile);
    return true;
}

// Where a rewritten line keeps the original text: a colon marker loses its colon (the
// written path brings its own), a prefix marker stays whole.
std::string_view kept_prefix(std::string_view trimmed, const Marker& m)
{
    return trimmed.substr(0, m.kind == MarkerKind::colon ? m.path_start - 1 : m.path_start);
}

}  // namespace

const std::string* remembered_replacement(const std::string& oldobj)
{
    for (int l = 0; repllist && l < nL; ++l) {
        if ((*repllist)[l].old_path == oldobj) {
            return &(*repllist)[l].new_path;
        }
    }
    return nullptr;
}

void remember_replacement(const std::string& oldobj, const std::string& objfile)
{
    if (repllist && nL < k_repl_capacity) {
        (*repllist)[nL].old_path = oldobj;
        (*repllist)[nL].new_path = objfile;
        ++nL;
    }
}

std::size_t ask_for_replacement(const std::string& proposal, std::string_view title, const FileFilter& filter,
                                const std::vector<std::string>& roots, std::string& pick, Prompts& wn)
{
    for (;;) {
        pick = proposal;
        std::string id = pick;
        dellocalname(id);
        if (wn.GetFileName(Owner::main, pick, id, title, filter, ChooserMode::open) == 0) {
            return std::string_view::npos;
        }
        // A path typed at a terminal may be relative; a pointer can only name files below a root.
        pick = fsys::absolute_path(pick);
        const std::size_t root = place_under_root(pick, roots);
        if (root != std::string_view::npos) {
            return root;
        }
        wn.warning(Owner::none, pick, "this file is not in your Poser installation");
    }
}

void log_replacement(const std::string& oldobj, const std::string& objfile)
{
    write_log("      pointer to ");
    write_log(oldobj);
    write_log(" replaced by\n      pointer to ");
    write_log(objfile);
    write_log("\n");
}

void create_repllist()
{
    if (!repllist) {
        repllist = std::make_unique<ReplList>();
        nL = 0;
    }
}

void release_repllist()
{
    repllist.reset();
    nL = 0;
}

int correct_into(const std::string& orig, const std::string& cor, Prompts& wn, fsys::Create mode, bool& cor_created)
{
    cor_created = false;
    create_repllist();
    TextReader in;
    if (!in.open(orig, Gzip::never, fsys::Listed::unknown, ReadMode::poser_text)) {
        wn.warning(Owner::none, orig, "I can't open this file");
        return 0;
    }
    TextWriter out;
    if (!unfinished_copy::create(out, cor, mode, Gzip::never)) {
        wn.warning(Owner::none, cor, "I can't open this file");
        return 0;
    }
    cor_created = true;
    int v = 1;
    std::string objfile;
    std::string oldobj;
    std::string_view line;
    while (in.next_line(line)) {
        if (run_stop::requested()) {
            return 0;  // as a cancel: the copy is thrown away and the file stays as it was
        }
        std::string_view trimmed = trim_line(line);
        if (!is_reference_line(trimmed)) {
            if (!out.write_line(trimmed)) {
                break;
            }
            continue;
        }
        const Marker m = find_marker(trimmed);
        if (m.kind == MarkerKind::none) {
            v = 0;
            continue;
        }
        build_disk_path(posername, trimmed.substr(m.path_start), k_native_style, objfile);
        oldobj = objfile;
        const bool found = reference_exists(objfile, wn);
        if (!found && !replacement_for(oldobj, objfile, wn)) {
            return 0;
        }
        out.write(kept_prefix(trimmed, m));
        // A replacement is a name the system gave: the file gets it in the code page older versions wrote.
        const std::string written = written_poser_path(objfile, posername.size(), k_native_style);
        if (!out.write_line(found ? written : poser_file_text(written))) {
            break;
        }
        if (!equals_ignoring_case(objfile, oldobj)) {
            log_replacement(oldobj, objfile);
            ++run_tally.replaced;
        }
    }
    if (in.failed()) {
        wn.warning(Owner::none, orig, "I can't read this file");
        return 0;
    }
    if (v == 0) {
        return 0;  // a line without a marker: the copy will be thrown away
    }
    // The copy is about to replace the Poser file: it must be whole and on the disk first.
    if (!out.sync() || !out.close()) {
        wn.warning(Owner::none, cor, "I can't write this file");
        return 0;
    }
    return 1;
}

int correctposerfile(const std::string& orig, const std::string& cor, Prompts& wn)
{
    bool cor_created;  // the copy is always made anew here: nothing to undo for the caller
    return correct_into(orig, cor, wn, fsys::Create::truncate, cor_created);
}
