#include "engine/repair/library_repair.h"

#include "engine/base/run_stop.h"
#include "engine/base/text_encoding.h"
#include "engine/fsys/textio.h"
#include "engine/library/content_paths.h"
#include "engine/library/library_memory.h"
#include "engine/repair/correction.h"
#include "engine/repair/run.h"
#include "engine/repair/unfinished_copy.h"
#include "engine/text/document_references.h"

namespace {

struct KindTexts {
    std::string_view title;
    const FileFilter& filter;
};

KindTexts chooser_texts(RefKind kind)
{
    switch (kind) {
    case RefKind::image: return {"find the correct image file", filterImages};
    case RefKind::morph: return {"find the correct morph file", filterPMD};
    case RefKind::script: return {"find the correct Poser script", filterScripts};
    case RefKind::geometry: break;
    }
    return {"find the correct .OBJ file", filterOBJZ};
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
    plan.replacements.push_back(Replacement{needed.target, text, needed.kind, how});
    plan.edits.push_back(Edit{needed.offset, needed.target.size(), std::move(text)});
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
    add(needed, poser_file_text(colon_path_below(m_rules.options().roots[root], objfile)), m_rules.how_chosen(shown), plan);
}

// A reference left as it is: logged under its document (with the boundary's reason when it
// refused the path), and told where nobody may be watching.
void Planner::left(const NeededReference& needed, DocumentPlan& plan, Refusal refusal)
{
    plan.log += "      left as it is: " + needed.target +
                (refusal == Refusal::none ? std::string() : " (" + std::string(refusal_words(refusal)) + ")") + "\n";
    ++m_run.tally.left;
    if (m_rules.options().on_left) {
        m_rules.options().on_left(m_orig, needed.target);
    }
    if (m_rules.dry_run() != nullptr) {
        m_rules.dry_run()->would_leave(m_orig, needed.target);
    }
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
    if (!open_document(in, run.fs(), orig, listed)) {
        wn.warning(Owner::none, orig, "I can't open this file");
        return scan;
    }
    wn.SetTitle(orig);
    const std::string folder = folder_of(orig);
    const bool read = read_references(
        in,
        [&](const FoundReference& f, std::uint64_t offset) {
            if (!f.ref.builtin && need_of(f.ref, locate(run, rules, f.ref, folder, wn), rules) != Need::nothing) {
                scan.needed.push_back(NeededReference{f.ref.kind, f.ref.beside_document, std::string(f.ref.target), offset, f.line});
            }
        },
        [] {});
    // A file that could not be read to its end is left alone: its repair would drop the rest.
    if (!read) {
        wn.warning(Owner::none, orig, "I can't read this file");
        return scan;
    }
    scan.readable = true;
    scan.compressed = in.compressed();
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

bool write_planned_copy(fsys::FileSystem& fs, const std::string& orig, fsys::FileSystem& out_fs, const std::string& cor,
                        const std::vector<Edit>& edits, Prompts& wn, fsys::Create mode, bool& cor_created)
{
    cor_created = false;
    TextReader in;
    if (!in.open(fs, orig, Gzip::if_magic, fsys::Listed::unknown, ReadMode::as_stored)) {
        wn.warning(Owner::none, orig, "I can't open this file");
        return false;
    }
    // A compressed document gets a compressed corrected copy.
    TextWriter out;
    if (!unfinished_copy::create(out, out_fs, cor, mode, in.compressed() ? Gzip::always : Gzip::never)) {
        wn.warning(Owner::none, cor, "I can't open this file");
        return false;
    }
    cor_created = true;
    EditApplier applier(edits, [&out](std::string_view bytes) { return out.write_as_stored(bytes); });
    std::string_view bytes;
    while (in.next_bytes(bytes) && applier.feed(bytes)) {
    }
    if (in.failed()) {
        wn.warning(Owner::none, orig, "I can't read this file");
        return false;
    }
    // The copy is about to replace the Poser file: it must be whole and on the disk first.
    if (!applier.finish() || !out.sync() || !out.close()) {
        wn.warning(Owner::none, cor, "I can't write this file");
        return false;
    }
    return true;
}
