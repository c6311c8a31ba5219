#include "engine/repair/library_rules.h"

#include "engine/base/log_text.h"
#include "engine/base/poser_documents.h"
#include "engine/base/prompts.h"
#include "engine/base/run_stop.h"
#include "engine/fsys/textio.h"
#include "engine/library/content_paths.h"
#include "engine/repair/backup_name.h"
#include "engine/repair/folder_walk.h"
#include "engine/repair/library_repair.h"
#include "engine/repair/poserfile.h"
#include "engine/repair/run.h"
#include "engine/repair/unfinished_copy.h"

namespace {

// A document that changes while it is corrected is scanned again, so many times at the most.
constexpr int k_most_readings = 3;

// A dry run shows what the run would write, read from the document as a real run reads it;
// false when the document has changed since the scan, and nothing was shown.
bool show_planned(Run& run, const std::string& orig, const DocumentScan& scan, const DocumentPlan& plan, DryRunSink& sink,
                  Prompts& wn)
{
    switch (sink.would_change(PlannedDocument{run.fs(), orig, scan.seen, plan.rewrites})) {
    case Shown::changed:
        return false;
    case Shown::unreadable:
        wn.warning(Owner::none, orig, "I can't read this file");
        break;
    case Shown::changed_while_shown:
        wn.warning(Owner::none, orig, "this file changed while its changes were shown");
        break;
    case Shown::shown:
        ++run.tally.corrected;
        run.tally.replaced += plan.rewritten;
        break;
    }
    return true;
}

// A document another program kept changing: left as it is, and named.
void left_as_changed(Run& run, const std::string& orig, Prompts& wn)
{
    wn.warning(Owner::none, orig, "this file changed while I was correcting it");
    ++run.abandoned_repairs;
    ++run.tally.abandoned;
    run.write_log("file " + log_text(orig) + " could not be corrected: it changed while it was read\n      RUN ABANDONED\n");
}

}  // namespace

LibraryRules::LibraryRules(LibraryOptions options) : m_memory(std::move(options)), m_policy(library_walk_policy()) {}

LibraryRules::~LibraryRules() = default;

void LibraryRules::start(Run& run)
{
    m_memory.start(run.cache);
}

const FileFilter& LibraryRules::document_filter() const
{
    static const FileFilter every_document{"Poser documents", poser_document_patterns()};
    return every_document;
}

std::string LibraryRules::summary(const RunTally& tally) const
{
    std::string text;
    for (const std::string& note : options().notes) {
        text += note + "\n";
    }
    if (tally.stopped) {
        text = "stopped before its end: " + std::to_string(tally.checked) + " of " +
               (tally.total > 0 ? std::to_string(tally.total) : std::string("more")) + " files checked\n";
    }
    return text + "files checked: " + std::to_string(tally.checked) + ", corrected: " + std::to_string(tally.corrected) +
           ", abandoned: " + std::to_string(tally.abandoned) + ", references replaced: " + std::to_string(tally.replaced) +
           ", left as they are: " + std::to_string(tally.left);
}

int LibraryRules::walk(Run& run, const std::string& dirname, Prompts& wn)
{
    return walk_counted_first(run, dirname, wn);
}

void LibraryRules::repair(Run& run, const std::string& orig, Prompts& wn, fsys::Listed listed)
{
    for (int reading = 1;; ++reading) {
        const DocumentScan scan = scan_document(run, m_memory, orig, wn, listed);
        // A stop asked for meanwhile leaves the file as it was, and it counts as not checked.
        if (!scan.readable || run_stop::requested()) {
            run.tally.checked -= reading > 1 ? 1 : 0;
            return;
        }
        run.tally.checked += reading == 1 ? 1 : 0;
        if (!scan.changed) {
            if (scan.needed.empty()) {
                return;
            }
            const DocumentPlan plan = plan_document(run, m_memory, orig, scan, wn);
            if (plan.stopped) {
                --run.tally.checked;  // the document stays as it was, and the run says where it stopped
                return;
            }
            // What was planned on a document saved meanwhile is planned again on its new text, the
            // answers already given reused.
            if (carry_out(run, orig, scan, plan, wn)) {
                tell_left(run, m_memory, orig, plan);
                return;
            }
        }
        if (reading == k_most_readings) {
            left_as_changed(run, orig, wn);
            return;
        }
    }
}

bool LibraryRules::carry_out(Run& run, const std::string& orig, const DocumentScan& scan,
                             const DocumentPlan& plan, Prompts& wn)
{
    if (m_memory.dry_run() != nullptr) {
        return plan.rewrites.empty() || show_planned(run, orig, scan, plan, *m_memory.dry_run(), wn);
    }
    // Only a file that changes is named as corrected, and only then is its old version kept.
    if (plan.rewrites.empty()) {
        if (!plan.log.empty()) {
            run.write_log("file " + log_text(orig) + ": nothing changed\n" + plan.log);
        }
        return true;
    }
    return write_corrected(run, orig, scan, plan, wn);
}

bool LibraryRules::write_corrected(Run& run, const std::string& orig, const DocumentScan& scan,
                                   const DocumentPlan& plan, Prompts& wn)
{
    std::string cor = m_journal != nullptr ? m_journal->backup_for(orig) : std::string();
    if (cor.empty()) {
        cor = next_free_backup_name(run.fs(), orig);
    }
    bool cor_created = false;
    CopyMade made = cor.empty() ? CopyMade::failed
                                : write_planned_copy(run.fs(), orig, scan.seen, plan.rewrites, run.fs(), cor, wn,
                                                     fsys::Create::exclusive, cor_created);
    run.cache.forget_folder_of(orig);
    run.cache.forget_folder_of(cor);
    // The last look before the names are exchanged: the copy replaces only the text it was made from.
    if (made == CopyMade::made && !still_as_seen(run.fs(), orig, scan.seen)) {
        made = CopyMade::changed;
    }
    if (made == CopyMade::made && m_journal != nullptr && !record_change(run.fs(), orig, cor, plan.replacements, *m_journal)) {
        wn.warning(Owner::none, orig, "I can't keep a record of the change to this file");
        made = CopyMade::failed;
    }
    if (made != CopyMade::made && cor_created) {
        unfinished_copy::remove(run.fs(), cor);
    }
    if (made == CopyMade::changed) {
        return false;
    }
    if (made == CopyMade::made && give_corrected_text(run.fs(), orig, cor, wn)) {
        ++run.tally.corrected;
        run.tally.replaced += plan.rewritten;
        run.write_log("file " + log_text(orig) + " being corrected: old version is on\n     " + log_text(cor) + "\n" + plan.log);
        return true;
    }
    ++run.abandoned_repairs;
    ++run.tally.abandoned;
    run.write_log("file " + log_text(orig) + " could not be corrected\n" + plan.log + "      RUN ABANDONED\n");
    return true;
}
