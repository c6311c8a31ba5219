#include "engine/repair/library_rules.h"

#include "engine/base/poser_documents.h"
#include "engine/base/prompts.h"
#include "engine/base/run_stop.h"
#include "engine/fsys/memory_fs.h"
#include "engine/fsys/textio.h"
#include "engine/library/content_paths.h"
#include "engine/repair/backup_name.h"
#include "engine/repair/library_repair.h"
#include "engine/repair/poserfile.h"
#include "engine/repair/run.h"
#include "engine/repair/unfinished_copy.h"

namespace {

// A dry run writes the corrected copy as a real run would, to a disk in memory, so that what
// it shows is byte for byte what the run would write.
void show_planned(Run& run, const std::string& orig, const DocumentPlan& plan, DryRunSink& sink, Prompts& wn)
{
    fsys::MemoryFileSystem memory;
    const std::string copy = std::string(1, fsys::k_sep) + "copy";
    bool created = false;
    std::string before;
    std::string after;
    if (write_planned_copy(run.fs(), orig, memory, copy, plan.edits, wn, fsys::Create::truncate, created) &&
        read_text_as_stored(run.fs(), orig, before) && read_text_as_stored(memory, copy, after)) {
        sink.would_change(orig, before, after);
        ++run.tally.corrected;
        run.tally.replaced += static_cast<long long>(plan.replacements.size());
    }
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

void LibraryRules::repair(Run& run, const std::string& orig, Prompts& wn, fsys::Listed listed)
{
    const DocumentScan scan = scan_document(run, m_memory, orig, wn, listed);
    // A stop asked for meanwhile leaves the file as it was, and it counts as not checked.
    if (!scan.readable || run_stop::requested()) {
        return;
    }
    ++run.tally.checked;
    if (scan.needed.empty()) {
        return;
    }
    const DocumentPlan plan = plan_document(run, m_memory, orig, scan, wn);
    if (plan.stopped) {
        --run.tally.checked;  // the document stays as it was, and the run says where it stopped
        return;
    }
    if (m_memory.dry_run() != nullptr) {
        if (!plan.edits.empty()) {
            show_planned(run, orig, plan, *m_memory.dry_run(), wn);
        }
        return;
    }
    // Only a file that changes is named as corrected, and only then is its old version kept.
    if (plan.edits.empty()) {
        if (!plan.log.empty()) {
            run.write_log("file " + orig + ": nothing changed\n" + plan.log);
        }
        return;
    }
    std::string cor = m_journal != nullptr ? m_journal->backup_for(orig) : std::string();
    if (cor.empty()) {
        cor = next_free_backup_name(run.fs(), orig);
    }
    bool cor_created = false;
    bool done = !cor.empty() &&
                write_planned_copy(run.fs(), orig, run.fs(), cor, plan.edits, wn, fsys::Create::exclusive, cor_created);
    run.cache.forget_folder_of(orig);
    run.cache.forget_folder_of(cor);
    if (done && m_journal != nullptr && !record_change(run.fs(), orig, cor, plan.replacements, *m_journal)) {
        wn.warning(Owner::none, orig, "I can't keep a record of the change to this file");
        done = false;
    }
    if (!done && cor_created) {
        unfinished_copy::remove(run.fs(), cor);
    }
    if (done && give_corrected_text(run.fs(), orig, cor, wn)) {
        ++run.tally.corrected;
        run.tally.replaced += static_cast<long long>(plan.replacements.size());
        run.write_log("file " + orig + " being corrected: old version is on\n     " + cor + "\n" + plan.log);
        return;
    }
    ++run.abandoned_repairs;
    ++run.tally.abandoned;
    run.write_log("file " + orig + " could not be corrected\n" + plan.log + "      RUN ABANDONED\n");
}
