#include "engine/move/move_apply.h"

#include "engine/base/prompts.h"
#include "engine/base/run_stop.h"
#include "engine/fsys/textio.h"
#include "engine/library/content_paths.h"
#include "engine/move/tree_move.h"
#include "engine/repair/poserfile.h"
#include "engine/repair/unfinished_copy.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <unordered_map>

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
    fsys::FileDigest before;  // the digests of the document and of its copy
    fsys::FileDigest after;
    bool written = false;  // the copy is made whole: flushed, or waiting for its flush
    bool recorded = false;  // its change is in the journal's record
    std::string reason;    // why the document stays as it was, or ""
};

// How the copies of a batch reach the disk: each by a flush of its own, in the disk's flush
// threads, or all together by one flush of the file system that holds them, where the system
// has one: a few hundred small files reach the disk far sooner so than one flush each.
enum class Flush { each, whole };

// The copy closed, with the digests a compressed document's bytes did not give as they passed.
bool close_copy(fsys::FileSystem& fs, Waiting& w)
{
    const bool closed = fs.close_file(w.file);
    return closed && (w.before.size >= 0 || fs.digest_file(w.document->path, w.before)) &&
           (w.after.size >= 0 || fs.digest_file(w.copy, w.after));
}

// Writes the copy of `w`'s document under its old version's name. With Flush::each its flush
// is started and it stays open; with Flush::whole it is closed at once.
void write_copy(fsys::FileSystem& fs, Waiting& w, Flush flush)
{
    const FollowingDocument& d = *w.document;
    if (w.copy.empty()) {
        w.reason = "its old version cannot be kept in the run folder";
        return;
    }
    w.written = write_following_copy(fs, d, w.copy, w.file, w.before, w.after, w.reason);
    if (w.written && flush == Flush::each) {
        fs.start_sync(w.file);
    } else if (w.written && !close_copy(fs, w)) {
        w.written = false;
        w.reason = "its new version cannot be written: " + w.copy;
        unfinished_copy::remove(fs, w.copy);
    }
}

// Writes the copies of `batch`: with Flush::whole on one thread per core, as nothing waits for a
// flush meanwhile; with Flush::each in turn, each copy's flush started as soon as it is written.
void write_copies(fsys::FileSystem& fs, std::vector<Waiting>& batch, Flush flush)
{
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t k; (k = next++) < batch.size();) {
            write_copy(fs, batch[k], flush);
        }
    };
    const unsigned cores = flush == Flush::whole ? std::max(1u, std::thread::hardware_concurrency()) : 1u;
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < std::min<std::size_t>(cores, batch.size()); ++t) {
        helpers.emplace_back(work);
    }
    work();
    for (std::thread& t : helpers) {
        t.join();
    }
}

// Flushes the file systems that hold the recorded copies of `batch`, each once, with the records
// written meanwhile; a copy whose file system fails it counts as not written.
void flush_whole(fsys::FileSystem& fs, std::vector<Waiting>& batch)
{
    std::unordered_map<std::string, std::uint64_t> volume_of;  // by folder: a batch fills few
    std::unordered_map<std::uint64_t, bool> synced;
    for (Waiting& w : batch) {
        if (!w.recorded) {
            continue;
        }
        const std::string folder = folder_of(w.copy);
        auto known = volume_of.find(folder);
        if (known == volume_of.end()) {
            fsys::FolderId id;
            known = volume_of.emplace(folder, fs.folder_identity(folder, id) ? id.volume : 0).first;
        }
        auto volume = synced.find(known->second);
        if (volume == synced.end()) {
            volume = synced.emplace(known->second, fs.sync_file_system(folder)).first;
        }
        if (!volume->second) {
            w.recorded = false;
            w.reason = "its new version cannot be written: " + w.copy;
        }
    }
}

// Records the changes of the copies of `batch` that are whole (and flushed, with Flush::each).
void record_batch(fsys::FileSystem& fs, std::vector<Waiting>& batch, RunJournal& journal, Flush flush)
{
    std::vector<fsys::RawFile*> files;
    for (Waiting& w : batch) {
        if (w.written && flush == Flush::each) {
            files.push_back(&w.file);
        }
    }
    std::vector<bool> synced;
    fs.sync_together(files, synced);
    std::vector<FileChange> changes;
    std::vector<Waiting*> changed;
    for (std::size_t k = 0, f = 0; k < batch.size(); ++k) {
        Waiting& w = batch[k];
        bool whole = w.written;
        if (w.written && flush == Flush::each) {
            const bool flushed = synced[f++];
            whole = close_copy(fs, w) && flushed;
        }
        if (whole) {
            changes.push_back(FileChange{w.document->path, w.copy, w.before, w.after, w.document->replacements});
            changed.push_back(&w);
        } else if (w.written) {
            w.reason = "its new version cannot be written: " + w.copy;
        }
    }
    std::vector<bool> recorded;
    journal.record_all(changes, recorded);
    for (std::size_t k = 0; k < changed.size(); ++k) {
        changed[k]->recorded = recorded[k];
        if (!recorded[k]) {
            changed[k]->reason = "the change cannot be recorded in the run folder";
        }
    }
}

// Gives the documents of `batch` their references' new paths: every new text is written and on
// the disk before the first document takes it, and each change is recorded before it is made; a
// copy that is not is taken away again.
void rewrite_batch(fsys::FileSystem& fs, std::vector<Waiting>& batch, RunJournal& journal, Flush flush, MoveOutcome& outcome)
{
    for (Waiting& w : batch) {
        w.copy = journal.backup_for(w.document->path);
    }
    write_copies(fs, batch, flush);
    record_batch(fs, batch, journal, flush);
    // With the copies, the flush of the whole file system takes the records of their changes.
    if (flush == Flush::whole) {
        flush_whole(fs, batch);
    }
    for (Waiting& w : batch) {
        const FollowingDocument& d = *w.document;
        ReasonPrompts wn;
        if (w.written && !w.recorded) {
            unfinished_copy::remove(fs, w.copy);
        } else if (w.recorded && !give_corrected_text(fs, d.path, w.copy, wn)) {
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

bool write_following_copy(fsys::FileSystem& fs, const FollowingDocument& document, const std::string& copy,
                          fsys::RawFile& file, fsys::FileDigest& before, fsys::FileDigest& after, std::string& reason)
{
    TextReader in;
    if (!in.open(fs, document.path, Gzip::if_magic, fsys::Listed::unknown, ReadMode::as_stored)) {
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
    EditApplier applier(document.edits, [&out, &written](std::string_view bytes) {
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
    const Flush flush = fs.can_sync_file_system() ? Flush::whole : Flush::each;
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
        rewrite_batch(fs, batch, journal, flush, outcome);
        if (progress) {
            progress(false, static_cast<long long>(first + batch.size()), static_cast<long long>(count));
        }
    }
    outcome.moved = move_files(fs, plan, progress, outcome.reason);
    outcome.stopped = !outcome.moved && run_stop::requested();
    return outcome;
}
