#include "engine/poserfile.h"

#include "engine/backup_name.h"
#include "engine/correction.h"
#include "engine/line_scan.h"
#include "engine/refline.h"
#include "engine/run.h"
#include "engine/run_stop.h"
#include "engine/textio.h"
#include "engine/unfinished_copy.h"

namespace {

struct DocumentCheck {
    bool readable = false;
    bool needs_repair = false;
};

DocumentCheck check_references(Run& run, const std::string& orig, Prompts& wn, fsys::Listed listed)
{
    DocumentCheck result;
    TextReader in;
    if (!in.open(run.fs(), orig, Gzip::never, listed, ReadMode::poser_text)) {
        wn.warning(Owner::none, orig, "I can't open this file");
        return result;
    }
    result.readable = true;
    wn.SetTitle(orig);
    long long references = 0;
    long long found = 0;
    bool rewrite = false;
    std::string disk_path;
    std::string_view lines;
    run.cache.keep_while_no_prompt(wn);
    while (in.next_lines(lines)) {
        line_scan::for_each_candidate(lines, [&](std::string_view line) {
            // The one carriage return a run may still hold stands before the line feed.
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            std::string_view trimmed = trim_line(line);
            if (!is_reference_line(trimmed)) {
                return;
            }
            const Marker m = find_marker(trimmed);
            rewrite = rewrite || m.kind == MarkerKind::prefix;
            ++references;
            build_disk_path(run.posername, trimmed.substr(m.path_start), k_native_style, disk_path);
            if (run.cache.is_readable(disk_path)) {
                ++found;
            }
        });
    }
    // A file that could not be read to its end is left alone: its repair would drop the rest.
    if (in.failed()) {
        wn.warning(Owner::none, orig, "I can't read this file");
        return result;
    }
    result.needs_repair = rewrite || found != references;
    return result;
}

// The swap file lies beside the file, so that a leftover one stops the next run in that
// folder, wherever the backup is kept; a bare name lies in the current folder, a name right
// under the top folder in the top one.
std::string swap_file_path(const std::string& orig)
{
    std::size_t cut = orig.rfind(fsys::k_sep);
    std::string w = cut == std::string::npos ? std::string() : orig.substr(0, cut + 1);
    w += k_swap_file_name;
    return w;
}

// Gives `orig` the corrected text from `cor` and `cor` the old text, through the swap file.
// When a step fails, the steps done are undone so that `orig` keeps its old text, and the
// corrected copy is deleted. Renames never replace an existing file.
bool exchange_names(fsys::FileSystem& fs, const std::string& orig, const std::string& cor)
{
    const std::string w = swap_file_path(orig);
    if (!fs.rename_noreplace(orig, w)) {
        fs.remove_file(cor);
        return false;
    }
    if (!fs.rename_noreplace(cor, orig)) {
        if (fs.rename_noreplace(w, orig)) {
            fs.remove_file(cor);
        }
        return false;
    }
    if (!fs.rename_noreplace(w, cor)) {
        // `orig` holds the corrected text, which can be made again; the old text is in
        // the swap file and must come back under the file's own name.
        if (fs.remove_file(orig)) {
            fs.rename_noreplace(w, orig);
        }
        return false;
    }
    return true;
}

}  // namespace

bool give_corrected_text(fsys::FileSystem& fs, const std::string& orig, const std::string& cor, Prompts& wn)
{
    {
        run_stop::RenamesInProgress renaming;
        unfinished_copy::forget();
        // Before the renames, so that the file under its own name is never left unprotected.
        // A file system that keeps no protection refuses, and the repair goes on.
        fs.give_protection(orig, cor);
        if (exchange_names(fs, orig, cor)) {
            return true;
        }
    }
    wn.warning(Owner::none, orig, "I can't rename this file");
    return false;
}

void readposerfile(Run& run, const std::string& orig, Prompts& wn, fsys::Listed listed)
{
    const DocumentCheck check = check_references(run, orig, wn, listed);
    run.tally.checked += check.readable ? 1 : 0;
    if (!check.readable || !check.needs_repair || run_stop::requested()) {
        return;
    }
    const std::string cor = next_free_backup_name(run.fs(), orig);
    if (cor.empty()) {
        return;
    }
    run.write_log("file " + orig + " being corrected: old version is on\n     " + cor + "\n");
    bool cor_created = false;
    int v = correct_into(run, orig, cor, wn, fsys::Create::exclusive, cor_created);
    run.cache.clear();
    // A stop asked for before the renames leaves the file as it was; once they have begun
    // they are carried to their end.
    if (v == 1 && run_stop::requested()) {
        v = 0;
    }
    if (v == 1 && give_corrected_text(run.fs(), orig, cor, wn)) {
        ++run.tally.corrected;
        return;
    }
    if (v != 1 && cor_created) {
        unfinished_copy::remove(run.fs(), cor);
    }
    ++run.abandoned_repairs;
    run.write_log("      RUN ABANDONED\n");
    ++run.tally.abandoned;
}
