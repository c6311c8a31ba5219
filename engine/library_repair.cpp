#include "engine/library_repair.h"

#include "engine/content_paths.h"
#include "engine/correction.h"
#include "engine/engine_state.h"
#include "engine/references.h"
#include "engine/run_stop.h"
#include "engine/text_encoding.h"
#include "engine/textio.h"
#include "engine/unfinished_copy.h"

#include <vector>

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

// What a reference needs: nothing, its own path in blank-colon notation, or a replacement.
enum class Need { nothing, notation, replacement };

Need need_of(const FileReference& ref, const Located& at, const LibraryRules& rules)
{
    if (ref.builtin || at.status == RefStatus::absolute) {
        return Need::nothing;
    }
    if (at.status == RefStatus::missing) {
        return rules.is_left(at.paths.front()) ? Need::nothing : Need::replacement;
    }
    return needs_colon_notation(ref) ? Need::notation : Need::nothing;
}

// One pass over a document's references: reading, resolving, and (in the correction) writing.
class DocumentPass {
public:
    DocumentPass(const std::string& orig, LibraryRules& rules, Prompts& wn, std::vector<Replacement>* made = nullptr)
        : m_folder(folder_of(orig)), m_rules(rules), m_wn(wn), m_prompts_seen(wn.prompts_shown()), m_made(made)
    {
    }
    Located locate(const FileReference& ref)
    {
        // While a prompt was open the user may have changed the disk.
        if (m_wn.prompts_shown() != m_prompts_seen) {
            m_rules.resolver().forget();
            m_prompts_seen = m_wn.prompts_shown();
        }
        return m_rules.resolver().locate(ref, ref.beside_document ? m_folder : std::string());
    }
    // The new text of a reference's path, or false to leave it as it is (`stopped` when a stop
    // was asked for).
    bool new_path(const FileReference& ref, std::string& text, bool& stopped);

private:
    bool replacement(const FileReference& ref, const std::string& shown, std::string& objfile, std::size_t& root,
                     std::string_view& how);

    std::string m_folder;
    LibraryRules& m_rules;
    Prompts& m_wn;
    unsigned long long m_prompts_seen = 0;
    std::vector<Replacement>* m_made;  // the replacements made, for the run's record
};

bool DocumentPass::new_path(const FileReference& ref, std::string& text, bool& stopped)
{
    const Located at = locate(ref);
    const Need need = need_of(ref, at, m_rules);
    if (need == Need::notation) {
        text = colon_path_below(std::string(), std::string(ref.target));
        if (m_made != nullptr) {
            m_made->push_back(Replacement{std::string(ref.target), text, ref.kind, "notation only"});
        }
        return true;
    }
    if (need == Need::nothing) {
        return false;
    }
    const std::string& shown = at.paths.front();
    std::string objfile;
    std::size_t root = 0;
    std::string_view how;
    if (!replacement(ref, shown, objfile, root, how)) {
        stopped = run_stop::requested();
        if (!stopped) {
            m_rules.leave(shown);
            write_log("      left as it is: ");
            write_log(ref.target);
            write_log("\n");
        }
        return false;
    }
    // A pick is a name the system gave: the file gets it in the code page older versions wrote.
    text = poser_file_text(colon_path_below(m_rules.options().roots[root], objfile));
    if (!equals_ignoring_case(objfile, shown)) {
        log_replacement(shown, objfile);
        if (!how.empty()) {
            write_log("      (");
            write_log(how);
            write_log(")\n");
        }
        ++run_tally.replaced;
    }
    if (m_made != nullptr) {
        m_made->push_back(Replacement{std::string(ref.target), text, ref.kind, m_rules.how_chosen(shown)});
    }
    return true;
}

// The file a missing reference gets: the one remembered for it, the one found by its Runtime
// path or its only namesake (when asked to take it without asking), or the user's pick.
bool DocumentPass::replacement(const FileReference& ref, const std::string& shown, std::string& objfile,
                               std::size_t& root, std::string_view& how)
{
    const std::vector<std::string>& roots = m_rules.options().roots;
    if (const std::string* known = remembered_replacement(shown)) {
        objfile = *known;
        root = place_under_root(objfile, roots);
        return root != std::string_view::npos;
    }
    std::vector<Candidate> candidates = m_rules.resolver().candidates(ref.target, m_rules.name_index());
    const bool sure = !candidates.empty() && (candidates.size() == 1 || candidates.front().by_runtime_path);
    if (m_rules.options().automatic && sure && fsys::is_readable_file(candidates.front().path)) {
        objfile = candidates.front().path;
        root = candidates.front().root;
        how = candidates.front().by_runtime_path ? "found by its Runtime path" : "found by name";
        m_wn.information(Owner::none, shown + " -> " + objfile, how);
        m_rules.chosen(shown, candidates.front().by_runtime_path ? "by Runtime path" : "by name");
    } else {
        const KindTexts texts = chooser_texts(ref.kind);
        root = ask_for_replacement(candidates.empty() ? shown : candidates.front().path, texts.title, texts.filter,
                                   roots, objfile, m_wn);
        if (root == std::string_view::npos) {
            return false;
        }
    }
    remember_replacement(shown, objfile);
    return true;
}

}  // namespace

DocumentCheck check_by_library_rules(const std::string& orig, LibraryRules& rules, Prompts& wn, fsys::Listed listed)
{
    DocumentCheck check;
    TextReader in;
    if (!in.open(orig, Gzip::if_magic, listed, ReadMode::as_stored)) {
        wn.warning(Owner::none, orig, "I can't open this file");
        return check;
    }
    check.readable = true;
    wn.SetTitle(orig);
    DocumentPass pass(orig, rules, wn);
    std::vector<FoundReference> found;
    std::string_view lines;
    while (in.next_lines(lines) && !check.needs_repair) {
        found.clear();
        scan_references(lines, 1, found);
        for (const FoundReference& f : found) {
            check.needs_repair = check.needs_repair || (!f.ref.builtin && need_of(f.ref, pass.locate(f.ref), rules) != Need::nothing);
        }
    }
    // A file that could not be read to its end is left alone: its repair would drop the rest.
    if (in.failed()) {
        wn.warning(Owner::none, orig, "I can't read this file");
        check.readable = false;
    }
    return check;
}

int correct_by_library_rules(const std::string& orig, const std::string& cor, LibraryRules& rules, Prompts& wn,
                             fsys::Create mode, bool& cor_created, std::vector<Replacement>* made)
{
    cor_created = false;
    create_repllist();
    TextReader in;
    if (!in.open(orig, Gzip::if_magic, fsys::Listed::unknown, ReadMode::as_stored)) {
        wn.warning(Owner::none, orig, "I can't open this file");
        return 0;
    }
    // A compressed document gets a compressed corrected copy.
    TextWriter out;
    if (!unfinished_copy::create(out, cor, mode, in.compressed() ? Gzip::always : Gzip::never)) {
        wn.warning(Owner::none, cor, "I can't open this file");
        return 0;
    }
    cor_created = true;
    DocumentPass pass(orig, rules, wn, made);
    bool changed = false;
    std::vector<FoundReference> found;
    std::string_view lines;
    std::string text;
    while (in.next_lines(lines) && !out.failed()) {
        found.clear();
        scan_references(lines, 1, found);
        std::size_t copied = 0;  // the bytes of the run written so far
        for (const FoundReference& f : found) {
            bool stopped = false;
            if (f.ref.builtin || !pass.new_path(f.ref, text, stopped)) {
                if (stopped) {
                    return 0;  // as a cancel: the copy is thrown away and the file stays as it was
                }
                continue;
            }
            const std::size_t begin = f.line_offset + f.ref.path_begin;
            out.write_as_stored(lines.substr(copied, begin - copied));
            out.write_as_stored(text);
            copied = f.line_offset + f.ref.path_end;
            changed = true;
        }
        out.write_as_stored(lines.substr(copied));
        if (run_stop::requested()) {
            return 0;
        }
    }
    if (in.failed()) {
        wn.warning(Owner::none, orig, "I can't read this file");
        return 0;
    }
    // The copy is about to replace the Poser file: it must be whole and on the disk first.
    if (!out.sync() || !out.close()) {
        wn.warning(Owner::none, cor, "I can't write this file");
        return 0;
    }
    return changed ? 1 : k_nothing_changed;
}
