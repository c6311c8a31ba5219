#include "engine/correction.h"

#include "engine/engine_state.h"
#include "engine/existence.h"
#include "engine/pointer_rules.h"
#include "engine/refline.h"
#include "engine/run_stop.h"
#include "engine/textio.h"
#include "engine/unfinished_copy.h"

std::unique_ptr<ReplList> repllist;
int nL = 0;

namespace {

constexpr std::string_view k_chooser_title = "find the correct .OBJ file";

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

// Asks for the file to use instead of the missing `oldobj`, proposing `proposal` when there
// is one, until the user picks one inside a root (a pointer can only name files below it) or
// cancels.
bool choose_replacement(const std::string& oldobj, const std::string* proposal, std::string& objfile, Prompts& wn)
{
    const FileFilter& filter = extended_rules.enabled ? filterOBJZ : filterOBJ;
    for (;;) {
        objfile = proposal != nullptr ? *proposal : oldobj;
        std::string id = objfile;
        dellocalname(id);
        if (wn.GetFileName(Owner::main, objfile, id, k_chooser_title, filter, ChooserMode::open) == 0) {
            return false;
        }
        if (extended_rules.enabled) {
            objfile = fsys::absolute_path(objfile);  // the roots are absolute
        }
        if (root_of_pick(objfile) != nullptr) {
            return true;
        }
        wn.warning(Owner::none, objfile, "this file is not in your Poser installation");
    }
}

// The file a missing pointer gets: the one remembered for `oldobj`, the only file of its name
// under the roots (when asked to take it without asking), or the user's pick. False on cancel.
bool replacement_for(const std::string& oldobj, std::string_view poser_path, std::string& objfile, bool& by_name,
                     Prompts& wn)
{
    by_name = false;
    if (const std::string* known = remembered_replacement(oldobj)) {
        objfile = *known;
        return true;
    }
    std::vector<std::string> candidates;
    if (extended_rules.enabled) {
        candidates = files_by_name(poser_path);
    }
    if (extended_rules.automatic && candidates.size() == 1) {
        objfile = candidates.front();
        by_name = true;
        wn.information(Owner::none, oldobj + " -> " + objfile, "found by name");
    } else if (!choose_replacement(oldobj, candidates.empty() ? nullptr : &candidates.front(), objfile, wn)) {
        return false;
    }
    remember_replacement(oldobj, objfile);
    return true;
}

// How many leading characters of `objfile` the written Poser path drops: the root holding it.
std::size_t root_length_of(const std::string& objfile)
{
    const std::string* root = extended_rules.enabled ? root_of_pick(objfile) : nullptr;
    return root != nullptr ? root->size() : posername.size();
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
    if (!in.open(orig, extended_rules.enabled ? Gzip::if_magic : Gzip::never)) {
        wn.warning(Owner::none, orig, "I can't open this file");
        return 0;
    }
    // A compressed document gets a compressed corrected copy.
    TextWriter out;
    if (!unfinished_copy::create(out, cor, mode, in.compressed() ? Gzip::always : Gzip::never)) {
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
        GeometryPointer p;
        if (!find_pointer(trimmed, p)) {
            if (!out.write_line(trimmed)) {
                break;
            }
            continue;
        }
        if (p.marker.kind == MarkerKind::none) {
            v = 0;
            continue;
        }
        const std::string_view poser_path = trimmed.substr(p.marker.path_start, p.path_end - p.marker.path_start);
        std::size_t root_length = 0;
        bool by_name = false;
        const bool found = locate_pointer(poser_path, wn, objfile, root_length);
        oldobj = objfile;
        if (!found) {
            if (!replacement_for(oldobj, poser_path, objfile, by_name, wn)) {
                return 0;
            }
            root_length = root_length_of(objfile);
        }
        out.write(kept_prefix(trimmed, p.marker));
        out.write(written_poser_path(objfile, root_length, k_native_style));
        out.write_line(p.quoted ? "\"" : "");
        if (out.failed()) {
            break;
        }
        if (!equals_ignoring_case(objfile, oldobj)) {
            log_replacement(oldobj, objfile);
            if (by_name) {
                write_log("      (found by name)\n");
            }
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
