#include "engine/move/move_apply.h"

#include "engine/base/prompts.h"
#include "engine/base/run_stop.h"
#include "engine/fsys/textio.h"
#include "engine/move/tree_move.h"
#include "engine/repair/poserfile.h"
#include "engine/repair/unfinished_copy.h"

#include <algorithm>

namespace {

// The size and SHA-256 of bytes that pass by in pieces.
class Digesting {
public:
    void add(std::string_view bytes)
    {
        m_ok = m_ok && m_hash.update(bytes.data(), bytes.size());
        m_size += static_cast<long long>(bytes.size());
    }
    fsys::FileDigest finish()
    {
        const std::string sha256 = m_ok ? m_hash.finish() : std::string();
        return sha256.empty() ? fsys::FileDigest{} : fsys::FileDigest{m_size, sha256};
    }

private:
    fsys::Sha256 m_hash;
    long long m_size = 0;
    bool m_ok = true;
};

// The warnings of the steps the repair's own code takes, kept as reasons rather than shown.
class ReasonPrompts : public Prompts {
public:
    std::string reason;

protected:
    void show_warning(Owner, std::string_view, std::string_view caption) override { reason = std::string(caption); }
    void show_information(Owner, std::string_view, std::string_view) override {}
    bool ask_question(Owner, std::string_view, std::string_view) override { return false; }
    int choose_file(Owner, std::string&, std::string_view, std::string_view, const FileFilter&, ChooserMode) override { return 0; }
    void set_title(std::string_view) override {}
};

// A document's new text on its way to the disk, before it takes the document's name.
struct Waiting {
    const FollowingDocument* document = nullptr;
    std::string copy;
    fsys::RawFile file;
    fsys::FileDigest before;  // the digests of the document and of its copy, when known already
    fsys::FileDigest after;
    bool written = false;  // the copy is made whole, and waits for its flush
    std::string reason;    // why the document stays as it was, or ""
};

// Gives the documents of `batch` their references' new paths: every new text is written and on
// the disk before the first document takes it, and each change is recorded before it is made.
void rewrite_batch(fsys::FileSystem& fs, std::vector<Waiting>& batch, RunJournal& journal, MoveOutcome& outcome)
{
    std::vector<fsys::RawFile*> files;
    for (Waiting& w : batch) {
        w.copy = journal.backup_for(w.document->path);
        const FollowingDocument& d = *w.document;
        if (w.copy.empty()) {
            w.reason = "its old version cannot be kept in the run folder";
        } else if ((w.written = write_following_copy(fs, d.path, d.edits, w.copy, w.file, w.before,
                                                     w.after, w.reason))) {
            files.push_back(&w.file);
        }
    }
    std::vector<bool> synced;
    fs.sync_together(files, synced);
    for (std::size_t k = 0, f = 0; k < batch.size(); ++k) {
        Waiting& w = batch[k];
        const FollowingDocument& d = *w.document;
        bool whole = false;
        if (w.written) {
            const bool closed = fs.close_file(w.file);
            whole = synced[f++] && closed;
        }
        ReasonPrompts wn;
        FileChange change{d.path, w.copy, w.before, w.after, d.replacements};
        const bool recorded = whole && (change.before.size >= 0 || fs.digest_file(d.path, change.before)) &&
                              (change.after.size >= 0 || fs.digest_file(w.copy, change.after)) && journal.record(change);
        if (!recorded) {
            w.reason = !w.reason.empty() ? w.reason : whole ? "the change cannot be recorded in the run folder"
                                                            : "its new version cannot be written: " + w.copy;
            if (w.written) {
                unfinished_copy::remove(fs, w.copy);
            }
        } else if (!give_corrected_text(fs, d.path, w.copy, wn)) {
            w.reason = wn.reason.empty() ? "it cannot be renamed" : wn.reason;
        }
        if (w.reason.empty()) {
            ++outcome.documents_changed;
            outcome.references += static_cast<long long>(d.edits.size());
        } else {
            outcome.failed.push_back(UnreadableFile{d.path, w.reason});
        }
    }
}

// The files to their new place, the folders on the way made first.
bool move_files(fsys::FileSystem& fs, const MovePlan& plan, const MoveStep& progress, std::string& reason)
{
    // An empty folder in the way is taken away; the undo makes it again.
    if (plan.target_was_empty_folder && !fs.remove_folder(plan.target)) {
        reason = "the empty folder " + plan.target + " cannot be replaced";
        return false;
    }
    for (const std::string& folder : plan.folders_made) {
        if (!fs.is_folder(folder) && !fs.make_folder(folder)) {
            reason = "the folder " + folder + " cannot be made";
            return false;
        }
    }
    const TreeProgress moved = [&](long long done, long long total) {
        if (progress) {
            progress(true, done, total);
        }
    };
    return move_tree(fs, plan.source, plan.target, plan.files, moved, reason);
}

}  // namespace

bool write_following_copy(fsys::FileSystem& fs, const std::string& document, const std::vector<Edit>& edits,
                          const std::string& copy, fsys::RawFile& file,
                          fsys::FileDigest& before, fsys::FileDigest& after, std::string& reason)
{
    TextReader in;
    if (!in.open(fs, document, Gzip::if_magic, fsys::Listed::unknown, ReadMode::as_stored)) {
        reason = "it cannot be opened";
        return false;
    }
    TextWriter out;
    if (!unfinished_copy::create(out, fs, copy, fsys::Create::exclusive, in.compressed() ? Gzip::always : Gzip::never)) {
        reason = "its new version cannot be made: " + copy;
        return false;
    }
    // A document as stored is its bytes: their digests come as they pass, not from reading both again.
    Digesting read, written;
    EditApplier applier(edits, [&out, &written](std::string_view bytes) {
        written.add(bytes);
        return out.write_as_stored(bytes);
    });
    std::string_view bytes;
    while (in.next_bytes(bytes)) {
        read.add(bytes);
        applier.feed(bytes);
    }
    const bool compressed = in.compressed();
    in.close();
    // Each edit checks the bytes it replaces; one that lies past the end found the text shorter.
    const bool whole = applier.finish();
    if (in.failed() || applier.mismatched() || (!whole && !applier.failed())) {
        reason = in.failed() ? "it cannot be read" : "it changed since it was read";
    } else if (!whole || !out.hand_over(file)) {
        reason = "its new version cannot be written: " + copy;
    } else {
        fs.start_sync(file);
        if (!compressed) {
            before = read.finish();
            after = written.finish();
        }
        return true;
    }
    out.close();
    fs.close_file(file);
    unfinished_copy::remove(fs, copy);
    return false;
}

MoveOutcome carry_out_move(fsys::FileSystem& fs, const MovePlan& plan, RunJournal& journal, const MoveStep& progress)
{
    MoveOutcome outcome;
    const std::size_t count = plan.documents.size();
    for (std::size_t first = 0; first < count; first += unfinished_copy::k_most_recorded) {
        if (run_stop::requested()) {
            outcome.stopped = true;
            outcome.reason = "stopped";
            return outcome;
        }
        std::vector<Waiting> batch(std::min<std::size_t>(unfinished_copy::k_most_recorded, count - first));
        for (std::size_t k = 0; k < batch.size(); ++k) {
            batch[k].document = &plan.documents[first + k];
        }
        rewrite_batch(fs, batch, journal, outcome);
        if (progress) {
            progress(false, static_cast<long long>(first + batch.size()), static_cast<long long>(count));
        }
    }
    outcome.moved = move_files(fs, plan, progress, outcome.reason);
    outcome.stopped = !outcome.moved && run_stop::requested();
    return outcome;
}
