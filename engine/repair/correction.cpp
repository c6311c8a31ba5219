#include "engine/repair/correction.h"

#include "engine/base/run_stop.h"
#include "engine/base/text_encoding.h"
#include "engine/fsys/textio.h"
#include "engine/library/content_paths.h"
#include "engine/library/path_boundary.h"
#include "engine/repair/run.h"
#include "engine/repair/unfinished_copy.h"

namespace {

constexpr std::string_view k_chooser_title = "find the correct .OBJ file";

// The file a missing pointer gets: the one remembered for `oldobj`, or the user's pick. False
// on cancel.
bool replacement_for(Run& run, const std::string& oldobj, std::string& objfile, Prompts& wn)
{
    if (const std::string* known = run.remembered_replacement(oldobj)) {
        objfile = *known;
        return true;
    }
    // The root folder "/" is held as the empty root.
    const std::vector<std::string> roots{run.posername.empty() ? std::string(1, fsys::k_sep) : run.posername};
    if (ask_for_replacement(run.fs(), oldobj, k_chooser_title, filterOBJ, roots, objfile, wn) == std::string_view::npos) {
        return false;
    }
    run.remember_replacement(oldobj, objfile);
    return true;
}

}  // namespace

Edit reference_line_edit(std::string_view trimmed, const Marker& m, std::string written)
{
    const std::size_t kept = m.kind == MarkerKind::colon ? m.path_start - 1 : m.path_start;
    return Edit{kept, trimmed.size() - kept, std::move(written)};
}

std::size_t ask_for_replacement(fsys::FileSystem& fs, const std::string& proposal, std::string_view title,
                                const FileFilter& filter, const std::vector<std::string>& roots, std::string& pick,
                                Prompts& wn, std::string initdir)
{
    if (initdir.empty()) {
        initdir = proposal;
        dellocalname(initdir);
    }
    for (;;) {
        pick = proposal;
        if (wn.GetFileName(Owner::main, pick, initdir, title, filter, ChooserMode::open) == 0) {
            return std::string_view::npos;
        }
        // A path typed at a terminal may be relative; a pointer can only name files below a root.
        pick = fs.absolute_path(pick);
        const std::size_t root = place_under_root(fs, pick, roots);
        if (root != std::string_view::npos) {
            return root;
        }
        wn.warning(Owner::none, pick, "this file is not in your Poser installation");
    }
}

std::string replacement_lines(const std::string& oldobj, const std::string& objfile)
{
    return "      pointer to " + oldobj + " replaced by\n      pointer to " + objfile + "\n";
}

int start_correction(Run& run, const std::string& orig, const std::string& cor, Prompts& wn, fsys::Create mode,
                     bool& cor_created, TextReader& in, TextWriter& out)
{
    cor_created = false;
    // The check has just read a file of one block to its end: its text is still at hand.
    if (!in.reread(orig) && !in.open(run.fs(), orig, Gzip::never, fsys::Listed::unknown, ReadMode::poser_text)) {
        wn.warning(Owner::none, orig, "I can't open this file");
        return 0;
    }
    if (!unfinished_copy::create(out, run.fs(), cor, mode, Gzip::never)) {
        wn.warning(Owner::none, cor, "I can't open this file");
        return 0;
    }
    cor_created = true;
    return write_corrected_lines(run, orig, wn, in, out);
}

int write_corrected_lines(Run& run, const std::string& orig, Prompts& wn, TextReader& in, TextWriter& out)
{
    run.create_repllist();  // the picks are remembered from here on
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
            if (!out.write_plain_line(trimmed)) {
                break;
            }
            continue;
        }
        const Marker m = find_marker(trimmed);
        if (m.kind == MarkerKind::none) {
            v = 0;
            continue;
        }
        const std::string_view poser_path = trimmed.substr(m.path_start);
        build_disk_path(run.posername, poser_path, k_native_style, objfile);
        oldobj = objfile;
        run.cache.keep_while_no_prompt(wn);
        // A pointer to a device is never looked up: Windows finds CON or NUL in every folder.
        const bool found = refusal_of_text(poser_path, run.fs().path_style()) == Refusal::none && run.cache.is_readable(objfile);
        if (!found && !replacement_for(run, oldobj, objfile, wn)) {
            return 0;
        }
        // A replacement is a name the system gave: the file gets it in the code page older versions wrote.
        const std::string written = written_poser_path(objfile, run.posername.size(), k_native_style);
        const Edit edit = reference_line_edit(trimmed, m, found ? written : poser_file_text(written));
        if (!out.write_line(apply_edits(trimmed, {edit}))) {
            break;
        }
        if (!equals_ignoring_case(objfile, oldobj)) {
            run.write_log(replacement_lines(oldobj, objfile));
            ++run.tally.replaced;
        }
    }
    if (in.failed()) {
        wn.warning(Owner::none, orig, "I can't read this file");
        return 0;
    }
    // A line without a marker: the copy will be thrown away.
    return v;
}

int correct_into(Run& run, const std::string& orig, const std::string& cor, Prompts& wn, fsys::Create mode,
                 bool& cor_created)
{
    TextReader in;
    TextWriter out;
    if (start_correction(run, orig, cor, wn, mode, cor_created, in, out) == 0) {
        return 0;
    }
    // The copy is about to replace the Poser file: it must be whole and on the disk first. The
    // close tells every failure before it, the flush's included, and closes the file all the same.
    out.sync();
    if (!out.close()) {
        wn.warning(Owner::none, cor, "I can't write this file");
        return 0;
    }
    return 1;
}

int correctposerfile(Run& run, const std::string& orig, const std::string& cor, Prompts& wn)
{
    bool cor_created;  // the copy is always made anew here: nothing to undo for the caller
    return correct_into(run, orig, cor, wn, fsys::Create::truncate, cor_created);
}
