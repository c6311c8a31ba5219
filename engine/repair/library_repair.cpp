#include "engine/repair/library_repair.h"

#include "engine/base/log_text.h"
#include "engine/base/run_stop.h"
#include "engine/base/text_encoding.h"
#include "engine/fsys/textio.h"
#include "engine/library/content_paths.h"
#include "engine/library/library_memory.h"
#include "engine/repair/correction.h"
#include "engine/repair/run.h"
#include "engine/repair/unfinished_copy.h"
#include "engine/text/document_references.h"

#include <unordered_map>

namespace {

struct KindTexts {
    std::string_view title;
    const FileFilter& filter;
};

KindTexts chooser_texts(RefKind kind)
{
    switch (kind) {
    case RefKind::image: return {"find the correct image file", files_of_kind(kind)};
    case RefKind::morph: return {"find the correct morph file", files_of_kind(kind)};
    case RefKind::script: return {"find the correct Poser script", files_of_kind(kind)};
    case RefKind::geometry: break;
    }
    return {"find the correct .OBJ file", files_of_kind(kind)};
}

// What a reference needs: nothing, its own path in blank-colon notation, or a replacement;
// `left` for a missing file the user already chose to leave as it is in this run, which is
// said again for each document that names it but not asked for again; `refused` for a path
// the boundary refuses, left as it is with its reason and never asked for.
enum class Need { nothing, notation, replacement, left, refused };

Need need_of(const FileReference& ref, const Located& at, const LibraryMemory& rules)
{
    if (ref.builtin || at.status == RefStatus::absolute) {
        return Need::nothing;
    }
    if (at.status == RefStatus::refused) {
        return Need::refused;
    }
    if (at.status == RefStatus::missing) {
        return rules.is_left(at.paths.front()) ? Need::left : Need::replacement;
    }
    return needs_colon_notation(ref) ? Need::notation : Need::nothing;
}

// Where a reference's file lies now: what was learnt of the disk holds while no prompt was
// shown, since the user may change the disk while one is open.
Located locate(Run& run, LibraryMemory& rules, const FileReference& ref, const std::string& folder, Prompts& wn)
{
    run.cache.keep_while_no_prompt(wn);
    return rules.resolver(run.cache).locate(ref, ref.beside_document ? folder : std::string());
}

// Decides the references of one document in order.
class Planner {
public:
    Planner(Run& run, LibraryMemory& rules, const std::string& orig, Prompts& wn)
        : m_run(run), m_rules(rules), m_orig(orig), m_folder(folder_of(orig)), m_wn(wn)
    {
    }
    void plan(const NeededReference& needed, DocumentPlan& plan);

private:
    void left(const NeededReference& needed, DocumentPlan& plan, Refusal refusal = Refusal::none);
    bool replacement(const FileReference& ref, const std::string& shown, std::string& objfile, std::size_t& root,
                     std::string_view& how);
    void add(const NeededReference& needed, std::string text, std::string_view how, DocumentPlan& plan);

    Run& m_run;
    LibraryMemory& m_rules;
    const std::string& m_orig;
    std::string m_folder;
    Prompts& m_wn;
};

// A rewrite of the reference's path; one that would write the same bytes is none.
void Planner::add(const NeededReference& needed, std::string text, std::string_view how, DocumentPlan& plan)
{
    if (text == needed.target) {
        return;
    }
    plan.replacements.push_back(Replacement{needed.target, text, needed.kind, how, needed.uses});
    plan.rewritten += needed.uses;
    plan.rewrites.add(needed.as_reference(), std::move(text));
}

void Planner::plan(const NeededReference& needed, DocumentPlan& plan)
{
    const FileReference ref = needed.as_reference();
    const Located at = locate(m_run, m_rules, ref, m_folder, m_wn);
    const Need need = need_of(ref, at, m_rules);
    if (need == Need::notation) {
        add(needed, colon_path_below(std::string(), needed.target), "notation only", plan);
        return;
    }
    if (need == Need::nothing) {
        return;
    }
    const std::string& shown = at.paths.front();
    if (need == Need::left || need == Need::refused) {
        left(needed, plan, at.refusal);
        return;
    }
    std::string objfile;
    std::size_t root = 0;
    std::string_view how;
    if (!replacement(ref, shown, objfile, root, how)) {
        plan.stopped = run_stop::requested();
        if (!plan.stopped) {
            m_rules.leave(shown);
            left(needed, plan);
        }
        return;
    }
    if (!equals_ignoring_case(objfile, shown)) {
        // The path as the document holds it: the file it names may lie anywhere.
        plan.log += replacement_lines(needed.target, objfile);
        if (!how.empty()) {
            plan.log += "      (" + std::string(how) + ")\n";
        }
    }
    // A pick is a name the system gave: the file gets it in the code page older versions wrote.
    std::string text = poser_file_text(colon_path_below(m_rules.options().roots[root], objfile));
    // A name may hold a line end where the system allows it; a line of a Poser file cannot.
    if (text.find_first_of("\r\n") != std::string::npos) {
        left(needed, plan);
        return;
    }
    add(needed, std::move(text), m_rules.how_chosen(shown), plan);
}

// A reference left as it is: logged under its document (with the boundary's reason when it
// refused the path); told once the document is done.
void Planner::left(const NeededReference& needed, DocumentPlan& plan, Refusal refusal)
{
    plan.log += "      left as it is: " + log_text(needed.target) +
                (refusal == Refusal::none ? std::string() : " (" + std::string(refusal_words(refusal)) + ")") + "\n";
    plan.left.push_back(needed);
}

// The file a missing reference gets: the one remembered for it, the one found by its Runtime
// path or its only namesake (when asked to take it without asking: logged, never shown in a
// box), or the user's pick.
bool Planner::replacement(const FileReference& ref, const std::string& shown, std::string& objfile, std::size_t& root,
                          std::string_view& how)
{
    const std::vector<std::string>& roots = m_rules.options().roots;
    if (const std::string* known = m_run.remembered_replacement(shown)) {
        objfile = *known;
        root = place_under_root(m_run.fs(), objfile, roots);
        return root != std::string_view::npos;
    }
    std::vector<Candidate> candidates = m_rules.resolver(m_run.cache).candidates(ref.target, m_rules.name_index(m_run.fs()));
    const bool sure = !candidates.empty() && (candidates.size() == 1 || candidates.front().by_runtime_path);
    if (m_rules.options().automatic && sure && m_run.fs().is_readable_file(candidates.front().path)) {
        objfile = candidates.front().path;
        root = candidates.front().root;
        how = candidates.front().by_runtime_path ? "found by its Runtime path" : "found by name";
        m_rules.chosen(shown, candidates.front().by_runtime_path ? "by Runtime path" : "by name");
    } else {
        // The caption names the missing file, which the chooser's folder may not show.
        const KindTexts texts = chooser_texts(ref.kind);
        const std::vector<std::string_view> parts = path_components(ref.target);
        const std::string title = std::string(texts.title) + (parts.empty() ? "" : " for " + std::string(parts.back()));
        root = ask_for_replacement(m_run.fs(), candidates.empty() ? shown : candidates.front().path, title, texts.filter,
                                   roots, objfile, m_wn);
        if (root == std::string_view::npos) {
            return false;
        }
    }
    m_run.remember_replacement(shown, objfile);
    return true;
}

}  // namespace

void tell_left(Run& run, const LibraryMemory& rules, const std::string& orig, const DocumentPlan& plan)
{
    for (const NeededReference& needed : plan.left) {
        run.tally.left += needed.uses;
        if (rules.options().on_left) {
            rules.options().on_left(orig, needed.target);
        }
        if (rules.dry_run() != nullptr) {
            rules.dry_run()->would_leave(orig, needed.target);
        }
    }
}

FileReference NeededReference::as_reference() const
{
    FileReference ref;
    ref.kind = kind;
    ref.beside_document = beside_document;
    ref.path_end = target.size();
    ref.target = target;
    return ref;
}

DocumentScan scan_document(Run& run, LibraryMemory& rules, const std::string& orig, Prompts& wn, fsys::Listed listed)
{
    DocumentScan scan;
    TextReader in;
    if (!open_document(in, run.fs(), orig, listed, &scan.seen)) {
        wn.warning(Owner::none, orig, "I can't open this file");
        return scan;
    }
    wn.SetTitle(orig);
    const std::string folder = folder_of(orig);
    // Each distinct reference is looked for once: its index among the needed, or npos for none.
    std::unordered_map<std::string, std::size_t> known;
    const bool read = read_references(
        in,
        [&](const FoundReference& f, std::uint64_t offset) {
            scan.seen.note(f, offset);
            if (f.ref.builtin) {
                return;
            }
            const auto [at, added] = known.try_emplace(reference_key(f.ref), scan.needed.size());
            if (!added) {
                if (at->second != std::string::npos) {
                    ++scan.needed[at->second].uses;
                }
            } else if (need_of(f.ref, locate(run, rules, f.ref, folder, wn), rules) == Need::nothing) {
                at->second = std::string::npos;
            } else {
                scan.needed.push_back(NeededReference{f.ref.kind, f.ref.beside_document, std::string(f.ref.target), f.line, 1});
            }
        },
        [] {});
    // A file that could not be read to its end is left alone: its repair would drop the rest.
    if (!read) {
        wn.warning(Owner::none, orig, "I can't read this file");
        return scan;
    }
    scan.readable = true;
    scan.changed = !still_as_seen(run.fs(), orig, scan.seen);
    return scan;
}

DocumentPlan plan_document(Run& run, LibraryMemory& rules, const std::string& orig, const DocumentScan& scan, Prompts& wn)
{
    run.create_repllist();
    DocumentPlan plan;
    Planner planner(run, rules, orig, wn);
    for (const NeededReference& needed : scan.needed) {
        planner.plan(needed, plan);
        if (plan.stopped || run_stop::requested()) {
            plan.stopped = true;
            break;
        }
    }
    return plan;
}

CopyMade write_planned_copy(fsys::FileSystem& fs, const std::string& orig, const DocumentSeen& seen,
                            const ReferenceRewrites& rewrites, fsys::FileSystem& out_fs, const std::string& cor,
                            Prompts& wn, fsys::Create mode, bool& cor_created)
{
    cor_created = false;
    if (!fs.is_readable_file(orig)) {
        wn.warning(Owner::none, orig, "I can't open this file");
        return CopyMade::failed;
    }
    if (!still_as_seen(fs, orig, seen)) {
        return CopyMade::changed;
    }
    // A compressed document gets a compressed corrected copy.
    TextWriter out;
    if (!unfinished_copy::create(out, out_fs, cor, mode, seen.compressed ? Gzip::always : Gzip::never)) {
        wn.warning(Owner::none, cor, "I can't open this file");
        return CopyMade::failed;
    }
    cor_created = true;
    const Reread read = copy_rewritten(fs, orig, seen, rewrites, out);
    if (read != Reread::same) {
        out.close();
        if (read == Reread::unreadable) {
            wn.warning(Owner::none, orig, "I can't read this file");
        }
        return read == Reread::changed ? CopyMade::changed : CopyMade::failed;
    }
    // The copy is about to replace the Poser file: it must be whole and on the disk first.
    if (!out.sync() || !out.close()) {
        wn.warning(Owner::none, cor, "I can't write this file");
        return CopyMade::failed;
    }
    return CopyMade::made;
}

bool record_change(fsys::FileSystem& fs, const std::string& orig, const std::string& cor, std::vector<Replacement> replacements,
                   RunJournal& journal)
{
    FileChange change{orig, cor, {}, {}, std::move(replacements)};
    return fs.digest_file(orig, change.before) && fs.digest_file(cor, change.after) && journal.record(change);
}
