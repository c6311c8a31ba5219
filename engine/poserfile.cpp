#include "engine/poserfile.h"

#include "engine/backup_name.h"
#include "engine/correction.h"
#include "engine/engine_state.h"
#include "engine/existence.h"
#include "engine/fsys.h"
#include "engine/library_repair.h"
#include "engine/line_scan.h"
#include "engine/refline.h"
#include "engine/run_journal.h"
#include "engine/run_stop.h"
#include "engine/textio.h"
#include "engine/unfinished_copy.h"

namespace {

DocumentCheck check_references(const std::string& orig, Prompts& wn, fsys::Listed listed)
{
    DocumentCheck result;
    TextReader in;
    if (!in.open(orig, Gzip::never, listed, ReadMode::poser_text)) {
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
            build_disk_path(posername, trimmed.substr(m.path_start), k_native_style, disk_path);
            if (reference_exists(disk_path, wn)) {
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
bool exchange_names(const std::string& orig, const std::string& cor)
{
    const std::string w = swap_file_path(orig);
    if (!fsys::rename_noreplace(orig, w)) {
        fsys::remove_file(cor);
        return false;
    }
    if (!fsys::rename_noreplace(cor, orig)) {
        if (fsys::rename_noreplace(w, orig)) {
            fsys::remove_file(cor);
        }
        return false;
    }
    if (!fsys::rename_noreplace(w, cor)) {
        // `orig` holds the corrected text, which can be made again; the old text is in
        // the swap file and must come back under the file's own name.
        if (fsys::remove_file(orig)) {
            fsys::rename_noreplace(w, orig);
        }
        return false;
    }
    return true;
}

}  // namespace

namespace {

// The name the old text of `orig` is kept under: in the run folder where the run keeps one,
// else the next free backup name beside it.
std::string backup_name_for(const std::string& orig, RunJournal* journal)
{
    std::string cor = journal != nullptr ? journal->backup_for(orig) : std::string();
    return cor.empty() ? next_free_backup_name(orig) : cor;
}

// Records the change about to be made, with both texts' digests; false when it cannot be
// recorded, and then the file must stay as it was.
bool record_change(const std::string& orig, const std::string& cor, std::vector<Replacement>& made, RunJournal& journal)
{
    FileChange change{orig, cor, {}, {}, std::move(made)};
    return fsys::digest_file(orig, change.before) && fsys::digest_file(cor, change.after) && journal.record(change);
}

}  // namespace

void readposerfile(const std::string& orig, Prompts& wn, fsys::Listed listed)
{
    LibraryRules* rules = library_rules();
    const DocumentCheck check = rules != nullptr ? check_by_library_rules(orig, *rules, wn, listed)
                                                 : check_references(orig, wn, listed);
    run_tally.checked += check.readable ? 1 : 0;
    if (!check.readable || !check.needs_repair || run_stop::requested()) {
        return;
    }
    RunJournal* journal = rules != nullptr ? rules->journal() : nullptr;
    const std::string cor = backup_name_for(orig, journal);
    if (cor.empty()) {
        return;
    }
    write_log("file ");
    write_log(orig);
    write_log(" being corrected: old version is on\n     ");
    write_log(cor);
    write_log("\n");
    bool cor_created = false;
    std::vector<Replacement> made;
    int v = rules != nullptr ? correct_by_library_rules(orig, cor, *rules, wn, fsys::Create::exclusive, cor_created, &made)
                             : correct_into(orig, cor, wn, fsys::Create::exclusive, cor_created);
    forget_existence();
    if (rules != nullptr) {
        rules->resolver().forget_folder(cor);
    }
    // A stop asked for before the renames leaves the file as it was; once they have begun
    // they are carried to their end.
    if (v == 1 && run_stop::requested()) {
        v = 0;
    }
    if (v == 1 && journal != nullptr && !record_change(orig, cor, made, *journal)) {
        wn.warning(Owner::none, orig, "I can't keep a record of the change to this file");
        v = 0;
    }
    if (v == 1) {
        run_stop::RenamesInProgress renaming;
        unfinished_copy::forget();
        // Before the renames, so that the file under its own name is never left unprotected.
        // A file system that keeps no protection refuses, and the repair goes on.
        fsys::give_protection(orig, cor);
        if (exchange_names(orig, cor)) {
            ++run_tally.corrected;
            return;
        }
    }
    if (v == 1) {
        wn.warning(Owner::none, orig, "I can't rename this file");
    } else if (cor_created) {
        unfinished_copy::remove(cor);
    }
    // Every reference the file needed was left as it is: no repair failed.
    if (v == k_nothing_changed) {
        write_log("      nothing changed: the file stays as it was\n");
        return;
    }
    ++abandoned_repairs;
    write_log("      RUN ABANDONED\n");
    ++run_tally.abandoned;
}
