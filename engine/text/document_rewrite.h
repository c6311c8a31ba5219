// A document written again with some of its references rewritten, for the extended repair, its
// dry run and the collect: what each reference gets is decided once per distinct reference, and
// the document is read again, its references found as the first reading found them, each use
// rewritten as an edit that checks the bytes it replaces. Memory stays that of a few runs of
// lines and of the distinct references, however many times a document repeats one; and nothing
// planned on one version of a document is ever written into another.
#pragma once

#include "engine/fsys/textio.h"
#include "engine/text/document_references.h"
#include "engine/text/edits.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// What tells one distinct reference of a document from another: its kind, whether it is read
// beside the document, and its path as written.
std::string reference_key(const FileReference& ref);

// The new text of each reference a rewrite changes, by its kind, whether it is read beside its
// document, and its path as written: every use of it in the document gets that text.
class ReferenceRewrites {
public:
    void add(const FileReference& ref, std::string text) { m_texts[reference_key(ref)] = std::move(text); }
    const std::string* find(const FileReference& ref) const;
    bool empty() const { return m_texts.empty(); }

private:
    std::unordered_map<std::string, std::string> m_texts;
};

// How a second reading of a document went.
enum class Reread {
    same,        // read whole, and what the first reading saw
    changed,     // the document is no longer the one the first reading saw
    unreadable,  // it could not be opened or read to its end
};

// Reads a document again as stored, run of lines by run of lines, with the edits that rewrite
// its references in each run.
class DocumentRewriter {
public:
    explicit DocumentRewriter(const ReferenceRewrites& rewrites) : m_rewrites(rewrites) {}
    // Opens `path` of `fs` again, for a document the reading `seen` saw; false when it cannot
    // be opened or has changed since (finish() then tells which).
    bool open(fsys::FileSystem& fs, const std::string& path, const DocumentSeen& seen);
    // The next run of whole lines with their line ends, or piece of a line too long to hold a
    // reference, with the `edits` of the rewritten references in it (offsets from the run's
    // start). False at the end of the data or on a read error.
    bool next(std::string_view& run, std::vector<Edit>& edits);
    // The number of the first line the last run holds (counted from 1); for a piece of a long
    // line, that line's.
    long long first_line() const { return m_first_line; }
    // True when the last run is a piece of a line too long to hold a reference, and when it is
    // one after that line's first.
    bool piece_of_long_line() const { return m_in.line_was_cut(); }
    bool continues_long_line() const { return m_in.continues_long_line(); }
    // After the last run: whether the document was read whole as the first reading saw it.
    Reread finish();
    // The references rewritten so far.
    long long rewritten() const { return m_rewritten; }

private:
    const ReferenceRewrites& m_rewrites;
    fsys::FileSystem* m_fs = nullptr;
    std::string m_path;
    const DocumentSeen* m_seen = nullptr;
    DocumentSeen m_now;
    TextReader m_in;
    std::vector<FoundReference> m_found;
    long long m_line = 1;
    long long m_first_line = 1;
    long long m_rewritten = 0;
    bool m_opened = false;
    bool m_changed = false;
};

// Writes the document `path` of `fs`, which the reading `seen` saw, to `out` as stored with
// `rewrites` applied; `rewritten` counts the references rewritten. A failed write shows in
// out.failed(); what is written is whole only when the result is Reread::same.
Reread copy_rewritten(fsys::FileSystem& fs, const std::string& path, const DocumentSeen& seen,
                      const ReferenceRewrites& rewrites, TextWriter& out, long long* rewritten = nullptr);
