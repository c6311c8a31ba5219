// What a run by the library rules keeps and learns as it goes: its options, where references
// resolve, the files under the roots by name, the references the user left as they are and how
// each replacement was chosen, for the documents after the one in hand.
#pragma once

#include "engine/library/disk_cache.h"
#include "engine/library/name_index.h"
#include "engine/library/resolver.h"
#include "engine/text/document_rewrite.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// A document as a run would write it: `path` of `fs` read again with `rewrites`, as the scan
// that `seen` holds read it (DocumentRewriter).
struct PlannedDocument {
    fsys::FileSystem& fs;
    const std::string& path;
    const DocumentSeen& seen;
    const ReferenceRewrites& rewrites;
};

// How a dry run showed a document: whole; not at all, since it is no longer what the scan read
// (and is scanned again), or cannot be read; or in part, since it changed while it was shown.
enum class Shown { shown, changed, unreadable, changed_while_shown };

// What a dry run is told of each document the run would change, and of each reference it
// would leave as it is.
class DryRunSink {
public:
    virtual ~DryRunSink() = default;
    virtual Shown would_change(const PlannedDocument& document) = 0;
    virtual void would_leave(const std::string& document, std::string_view target) = 0;
};

struct LibraryOptions {
    // A missing file whose only namesake, or whose file at the same path from the Runtime
    // folder on, lies under a root is replaced by it without asking.
    bool automatic = false;
    // The content roots in order of preference, absolute and normalised; the first is the
    // Poser root.
    std::vector<std::string> roots;
    // Told of every reference the user left as it is, where nobody may be watching (an
    // unattended run prints it); empty when not needed.
    std::function<void(const std::string& document, std::string_view target)> on_left = {};
    // What the run must say once about its roots (a Runtime folder given for its parent).
    std::vector<std::string> notes = {};
};

class LibraryMemory {
public:
    explicit LibraryMemory(LibraryOptions options) : m_options(std::move(options)) {}
    const LibraryOptions& options() const { return m_options; }

    // A new run: everything learnt is forgotten; the disk is asked through `cache`.
    void start(DiskCache& cache);
    Resolver& resolver(DiskCache& cache);
    const NameIndex& name_index(fsys::FileSystem& fs);
    // A missing file the user chose to leave as it is: not asked for again in this run.
    bool is_left(const std::string& shown) const { return m_left.count(shown) != 0; }
    void leave(const std::string& shown) { m_left.insert(shown); }
    // How the replacement of a missing file was chosen, for the later files that reuse it.
    std::string_view how_chosen(const std::string& shown) const;
    void chosen(const std::string& shown, std::string_view how) { m_how[shown] = how; }
    // A dry run: every document planned and told to `sink`, nothing written; nullptr for a real run.
    DryRunSink* dry_run() const { return m_dry_run; }
    void set_dry_run(DryRunSink* sink) { m_dry_run = sink; }

private:
    LibraryOptions m_options;
    std::unique_ptr<Resolver> m_resolver;
    NameIndex m_index;
    std::unordered_set<std::string> m_left;
    std::unordered_map<std::string, std::string_view> m_how;
    DryRunSink* m_dry_run = nullptr;
};
