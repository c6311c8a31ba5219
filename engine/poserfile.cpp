#include "engine/poserfile.h"

#include "engine/backup_name.h"
#include "engine/correction.h"
#include "engine/engine_state.h"
#include "engine/existence.h"
#include "engine/fsys.h"
#include "engine/line_scan.h"
#include "engine/pointer_rules.h"
#include "engine/refline.h"
#include "engine/run_stop.h"
#include "engine/textio.h"
#include "engine/unfinished_copy.h"

namespace {

struct CheckResult {
    bool readable = false;
    bool needs_repair = false;
};

CheckResult check_references(const std::string& orig, Prompts& wn, fsys::Listed listed)
{
    CheckResult result;
    TextReader in;
    if (!in.open(orig, extended_rules.enabled ? Gzip::if_magic : Gzip::never, listed)) {
        wn.warning(Owner::none, orig, "I can't open this file");
        return result;
    }
    result.readable = true;
    wn.SetTitle(orig);
    long long references = 0;
    long long found = 0;
    bool rewrite = false;
    std::string disk_path;
    std::size_t root_length = 0;
    std::string_view lines;
    while (in.next_lines(lines)) {
        line_scan::for_each_candidate(lines, extended_rules.enabled, [&](std::string_view line) {
            // The one carriage return a run may still hold stands before the line feed.
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            std::string_view trimmed = trim_line(line);
            GeometryPointer p;
            if (!find_pointer(trimmed, p)) {
                return;
            }
            rewrite = rewrite || p.marker.kind == MarkerKind::prefix;
            ++references;
            if (locate_pointer(trimmed.substr(p.marker.path_start, p.path_end - p.marker.path_start), wn, disk_path,
                               root_length)) {
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

// The swap file lies in the backup's folder, so that every rename stays inside one folder;
// a bare name lies in the current folder, a name right under the top folder in the top one.
std::string swap_file_path(const std::string& cor)
{
    std::size_t cut = cor.rfind(fsys::k_sep);
    std::string w = cut == std::string::npos ? std::string() : cor.substr(0, cut + 1);
    w += k_swap_file_name;
    return w;
}

// Gives `orig` the corrected text from `cor` and `cor` the old text, through the swap file.
// When a step fails, the steps done are undone so that `orig` keeps its old text, and the
// corrected copy is deleted. Renames never replace an existing file.
bool exchange_names(const std::string& orig, const std::string& cor)
{
    const std::string w = swap_file_path(cor);
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

void readposerfile(const std::string& orig, Prompts& wn, fsys::Listed listed)
{
    CheckResult check = check_references(orig, wn, listed);
    if (!check.readable || !check.needs_repair || run_stop::requested()) {
        return;
    }
    const std::string cor = next_free_backup_name(orig);
    if (cor.empty()) {
        return;
    }
    write_log("file ");
    write_log(orig);
    write_log(" being corrected: old version is on\n     ");
    write_log(cor);
    write_log("\n");
    bool cor_created = false;
    int v = correct_into(orig, cor, wn, fsys::Create::exclusive, cor_created);
    forget_existence();
    // A stop asked for before the renames leaves the file as it was; once they have begun
    // they are carried to their end.
    if (v == 1 && run_stop::requested()) {
        v = 0;
    }
    if (v == 1) {
        run_stop::RenamesInProgress renaming;
        unfinished_copy::forget();
        // Before the renames, so that the file under its own name is never left unprotected.
        // A file system that keeps no protection refuses, and the repair goes on.
        fsys::give_protection(orig, cor);
        if (exchange_names(orig, cor)) {
            return;
        }
    }
    if (v == 1) {
        wn.warning(Owner::none, orig, "I can't rename this file");
    } else if (cor_created) {
        unfinished_copy::remove(cor);
    }
    ++abandoned_repairs;
    write_log("      RUN ABANDONED\n");
}
