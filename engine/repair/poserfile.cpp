#include "engine/repair/poserfile.h"

#include "engine/base/run_stop.h"
#include "engine/fsys/textio.h"
#include "engine/library/path_boundary.h"
#include "engine/repair/backup_name.h"
#include "engine/repair/correction.h"
#include "engine/repair/run.h"
#include "engine/repair/unfinished_copy.h"
#include "engine/text/line_scan.h"
#include "engine/text/refline.h"

#include <utility>

namespace {

struct DocumentCheck {
    bool readable = false;
    bool needs_repair = false;
    bool all_found = false;  // every mesh named is there: the repair asks nothing and replaces nothing
};

DocumentCheck check_references(Run& run, TextReader& in, const std::string& orig, Prompts& wn, fsys::Listed listed)
{
    DocumentCheck result;
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
            // A pointer to a device, as hostile references, counts as missing without being looked up.
            const std::string_view poser_path = trimmed.substr(m.path_start);
            build_disk_path(run.posername, poser_path, k_native_style, disk_path);
            if (refusal_of_text(poser_path, run.fs().path_style()) == Refusal::none && run.cache.is_readable(disk_path)) {
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
    result.all_found = found == references;
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

// Gives `orig` the corrected text from `cor` and `cor` the old text, in one step or through the swap file.
// When a step fails, the steps done are undone so that `orig` keeps its old text, and the
// corrected copy is deleted. Renames never replace an existing file.
bool exchange_names(fsys::FileSystem& fs, const std::string& orig, const std::string& cor)
{
    const std::string w = swap_file_path(orig);
    // Where the system exchanges two names in one step, no swap file is needed, and neither
    // name is ever free; a swap file left over still stops the repairs in its folder.
    if (!fs.entry_exists(w)) {
        const fsys::Exchange e = fs.exchange(orig, cor);
        if (e == fsys::Exchange::done) {
            return true;
        }
        if (e == fsys::Exchange::failed) {
            fs.remove_file(cor);
            return false;
        }
    }
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
        unfinished_copy::forget(cor);
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

// A file whose corrected copy waits for its flush and its exchange of names, with the lines
// its repair logs.
struct RepairBatch::Waiting {
    std::string orig;
    std::string cor;
    std::string log;
    int v = 0;  // 1: the copy is written whole
    // Made in memory, then created and written by a flush thread: the two below are set there,
    // and read once its flush has been waited for.
    bool by_flush_thread = false;
    bool cor_created = false;
    bool written = false;  // written out without a failure
    bool synced = false;
    fsys::RawFile copy;  // open until it is flushed
};

// The prompts the files of a batch are checked with: before anything is shown, the files
// waiting are finished, so that their warnings come before it, as they would one at a time.
class RepairBatch::FinishingPrompts : public Prompts {
public:
    FinishingPrompts(RepairBatch& batch, Prompts& inner) : m_batch(batch), m_inner(inner) {}
    bool answers_questions_unseen() const override { return m_inner.answers_questions_unseen(); }

protected:
    void show_warning(Owner owner, std::string_view body, std::string_view caption) override
    {
        m_batch.finish();
        m_inner.warning(owner, body, caption);
    }
    void show_information(Owner owner, std::string_view body, std::string_view caption) override
    {
        m_batch.finish();
        m_inner.information(owner, body, caption);
    }
    bool ask_question(Owner owner, std::string_view body, std::string_view caption) override
    {
        if (!m_inner.answers_questions_unseen()) {
            m_batch.finish();
        }
        return m_inner.question(owner, body, caption);
    }
    int choose_file(Owner owner, std::string& file, std::string_view initdir, std::string_view t, const FileFilter& f,
                    ChooserMode write) override
    {
        m_batch.finish();
        return m_inner.GetFileName(owner, file, initdir, t, f, write);
    }
    void set_title(std::string_view text) override { m_inner.SetTitle(text); }

private:
    RepairBatch& m_batch;
    Prompts& m_inner;
};

RepairBatch::RepairBatch(Run& run, Prompts& wn) : m_run(run), m_wn(wn), m_prompts(std::make_unique<FinishingPrompts>(*this, wn)) {}

RepairBatch::~RepairBatch()
{
    finish();
}

Prompts& RepairBatch::prompts()
{
    return *m_prompts;
}

void RepairBatch::add(const std::string& orig, fsys::Listed listed)
{
    Prompts& wn = *m_prompts;
    const DocumentCheck check = check_references(m_run, m_reader, orig, wn, listed);
    m_reader.close();  // the file is renamed later, which Windows refuses while it is open
    m_run.tally.checked += check.readable ? 1 : 0;
    if (!check.readable || !check.needs_repair || run_stop::requested()) {
        return;
    }
    const std::string cor = next_free_backup_name(m_run.fs(), orig);
    if (cor.empty()) {
        return;
    }
    // At most so many copies wait, which an exit that cannot wait can all delete.
    if (m_waiting.size() >= static_cast<std::size_t>(unfinished_copy::k_most_copies)) {
        finish();
    }
    auto w = std::make_unique<Waiting>();
    w->orig = orig;
    w->cor = cor;
    // The first file waiting logs at once, as one file alone does; the next keep their lines
    // until the files before them are done.
    m_run.log_capture = m_waiting.empty() ? nullptr : &w->log;
    m_run.write_log("file " + orig + " being corrected: old version is on\n     " + cor + "\n");
    // A copy that asks nothing, of a file still at hand, is made in memory and left to a flush
    // thread to create and write, so that this thread goes on with the next files meanwhile.
    const bool in_memory = check.all_found && m_reader.reread(orig);
    if (in_memory) {
        m_writer.open_in_memory();
        w->v = write_corrected_lines(m_run, orig, wn, m_reader, m_writer);
    } else {
        w->v = start_correction(m_run, orig, cor, wn, fsys::Create::exclusive, w->cor_created, m_reader, m_writer);
    }
    m_reader.close();
    m_run.log_capture = nullptr;
    if (!in_memory) {
        w->written = m_writer.hand_over(w->copy) && w->v == 1;
        if (w->written) {
            m_run.fs().start_sync(w->copy);  // on its way to the disk while the next files are done
        }
    } else if (std::string text = m_writer.take_text(); w->v == 1) {
        write_in_flush_thread(*w, std::move(text));
    }
    // Only this folder has changed: a copy is there now, or will be once a flush thread has
    // made it (finish forgets the folder again). The meshes known elsewhere stay known.
    m_run.cache.forget_folder_of(orig);
    m_waiting.push_back(std::move(w));
}

void RepairBatch::write_in_flush_thread(Waiting& w, std::string text)
{
    w.by_flush_thread = true;
    fsys::FileSystem& fs = m_run.fs();
    fs.start_write_and_sync(w.copy, [&fs, &w, text = std::move(text)](fsys::RawFile& f) mutable {
        w.cor_created = unfinished_copy::create_file(fs, w.cor, f);
        w.written = w.cor_created && fs.write_all(f, text.data(), text.size());
        std::string().swap(text);  // the flush may take a while; the text is on its way
        return w.written;
    });
}

void RepairBatch::finish()
{
    if (m_waiting.empty()) {
        return;
    }
    // Every copy must be whole and on the disk before any file is given its new text.
    std::vector<fsys::RawFile*> files;
    std::vector<Waiting*> flushed;
    for (const auto& w : m_waiting) {
        if (w->by_flush_thread || w->written) {
            files.push_back(&w->copy);
            flushed.push_back(w.get());
        }
    }
    std::vector<bool> synced;
    m_run.fs().sync_together(files, synced);
    for (std::size_t k = 0; k < flushed.size(); ++k) {
        // A copy a flush thread failed to write may still flush: only a whole one counts.
        flushed[k]->synced = synced[k] && flushed[k]->written && m_run.fs().close_file(flushed[k]->copy);
    }
    // Taken away first: a prompt of a file below finishes nothing more. A file being checked
    // keeps its own lines apart meanwhile; these go to the log now.
    std::vector<std::unique_ptr<Waiting>> waiting = std::move(m_waiting);
    m_waiting.clear();
    std::string* const capture = std::exchange(m_run.log_capture, nullptr);
    for (const auto& w : waiting) {
        m_run.write_log(w->log);
        int v = w->v;
        if (v == 1 && w->by_flush_thread && !w->cor_created) {
            m_wn.warning(Owner::none, w->cor, "I can't open this file");
            v = 0;
        } else if (v == 1 && !w->synced) {
            m_run.fs().close_file(w->copy);
            m_wn.warning(Owner::none, w->cor, "I can't write this file");
            v = 0;
        }
        // A stop asked for before the renames leaves the file as it was; once they have
        // begun they are carried to their end.
        if (v == 1 && run_stop::requested()) {
            v = 0;
        }
        if (v == 1 && give_corrected_text(m_run.fs(), w->orig, w->cor, m_wn)) {
            ++m_run.tally.corrected;
            continue;
        }
        m_run.fs().close_file(w->copy);
        if (v != 1 && w->cor_created) {
            unfinished_copy::remove(m_run.fs(), w->cor);
        }
        ++m_run.abandoned_repairs;
        m_run.write_log("      RUN ABANDONED\n");
        ++m_run.tally.abandoned;
    }
    m_run.log_capture = capture;
    for (const auto& w : waiting) {
        m_run.cache.forget_folder_of(w->orig);
    }
}

void readposerfile(Run& run, const std::string& orig, Prompts& wn, fsys::Listed listed)
{
    RepairBatch batch(run, wn);
    batch.add(orig, listed);
}
