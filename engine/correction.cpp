#include "engine/correction.h"

#include "engine/engine_state.h"
#include "engine/existence.h"
#include "engine/refline.h"
#include "engine/run_stop.h"
#include "engine/textio.h"

std::unique_ptr<ReplEntry[]> repllist;
int nL = 0;

namespace {

constexpr std::string_view k_chooser_title = "find the correct .OBJ file";

const std::string* remembered_replacement(const std::string& oldobj)
{
    for (int l = 0; repllist && l < nL; ++l) {
        if (repllist[l].old_path == oldobj) {
            return &repllist[l].new_path;
        }
    }
    return nullptr;
}

void remember_replacement(const std::string& oldobj, const std::string& objfile)
{
    if (repllist && nL < k_repl_capacity) {
        repllist[nL].old_path = oldobj;
        repllist[nL].new_path = objfile;
        ++nL;
    }
}

// Asks for the file to use instead of the missing `oldobj` until the user picks one inside
// the Poser root (a pointer can only name files below it) or cancels.
bool choose_replacement(const std::string& oldobj, std::string& objfile, Prompts& wn)
{
    for (;;) {
        objfile = oldobj;
        std::string id = objfile;
        dellocalname(id);
        if (wn.GetFileName(Owner::main, objfile, id, k_chooser_title, filterOBJ, ChooserMode::open) == 0) {
            return false;
        }
        if (is_inside_root(objfile, posername, k_native_style)) {
            return true;
        }
        wn.warning(Owner::none, objfile, "this file is not in your Poser installation");
    }
}

// Where a rewritten line keeps the original text: a colon marker loses its colon (the
// written path brings its own), a prefix marker stays whole.
std::string_view kept_prefix(std::string_view trimmed, const Marker& m)
{
    return trimmed.substr(0, m.kind == MarkerKind::colon ? m.path_start - 1 : m.path_start);
}

void log_replacement(const std::string& oldobj, const std::string& objfile)
{
    write_log("      pointer to ");
    write_log(oldobj);
    write_log(" replaced by\n      pointer to ");
    write_log(objfile);
    write_log("\n");
}

}  // namespace

void create_repllist()
{
    if (!repllist) {
        repllist = std::make_unique<ReplEntry[]>(k_repl_capacity);
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
    if (!in.open(orig)) {
        wn.warning(Owner::none, orig, "I can't open this file");
        return 0;
    }
    TextWriter out;
    if (!out.open(cor, mode)) {
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
        Marker m = find_marker(trimmed);
        if (m.kind == MarkerKind::none) {
            v = 0;
            continue;
        }
        build_disk_path(posername, trimmed.substr(m.path_start), k_native_style, objfile);
        oldobj = objfile;
        if (!reference_exists(objfile, wn)) {
            if (const std::string* known = remembered_replacement(oldobj)) {
                objfile = *known;
            } else if (choose_replacement(oldobj, objfile, wn)) {
                remember_replacement(oldobj, objfile);
            } else {
                return 0;
            }
        }
        out.write(kept_prefix(trimmed, m));
        out.write_line(written_poser_path(objfile, posername.size(), k_native_style));
        if (out.failed()) {
            break;
        }
        if (!equals_ignoring_case(objfile, oldobj)) {
            log_replacement(oldobj, objfile);
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
    bool cor_created = false;
    return correct_into(orig, cor, wn, fsys::Create::truncate, cor_created);
}
