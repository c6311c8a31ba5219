#include "app/move_undo.h"

#include "engine/library/content_paths.h"
#include "engine/library/walk.h"
#include "engine/move/move_plan.h"
#include "engine/move/tree_move.h"
#include "engine/text/refline.h"

#include <algorithm>

using json = nlohmann::json;
using ordered_json = nlohmann::ordered_json;

namespace {

// A manifest of a million files is far below this; anything larger is no manifest of ours.
constexpr std::size_t k_manifest_limit = 1u << 30;

// `path` below `root`, with '/' between its names, as a manifest keeps it.
std::string relative_below(const std::string& path, const std::string& root)
{
    std::string rel = path.substr(std::min(path.size(), root.size() + (root.back() == fsys::k_sep ? 0 : 1)));
    std::replace(rel.begin(), rel.end(), fsys::k_sep, '/');
    return rel;
}

// The record of the move, without when it was undone: what the run folders of one run hold alike.
json move_record(const json& doc)
{
    const json* move = field(doc, "move");
    json record = move != nullptr && move->is_object() ? *move : json();
    if (record.is_object()) {
        record.erase("undone");
    }
    return record;
}

// True when `root` holds a run folder named as `run_folder` whose manifest records the same move.
bool twin_holds(fsys::FileSystem& fs, const std::string& root, const std::string& run_folder, const json& doc)
{
    const std::string rel = std::string(k_runs_folder_name) + "/" + name_of(run_folder) + "/manifest.json";
    std::string text;
    if (!link_below(fs, root, rel).empty() || !fs.read_whole_file(child_path_of_slashed(root, rel), text, k_manifest_limit)) {
        return false;
    }
    const json record = move_record(doc);
    return record.is_object() && move_record(json::parse(text, nullptr, false)) == record;
}

}  // namespace

std::string move_head_fields(const MovePlan& plan, const std::vector<std::string>& roots)
{
    const std::string& from_root = roots[plan.source_root];
    const std::string& to_root = roots[plan.target_root];
    ordered_json made = ordered_json::array();
    for (const std::string& folder : plan.folders_made) {
        made.push_back(relative_below(folder, to_root));
    }
    const ordered_json move{{"from_root", from_root}, {"from", relative_below(plan.source, from_root)},
                            {"to_root", to_root},     {"to", relative_below(plan.target, to_root)},
                            {"files", plan.files},    {"to_was_empty_folder", plan.target_was_empty_folder},
                            {"made", made},           {"undone", nullptr}};
    // A name that is not UTF-8 would come back altered, and the undo would look for it elsewhere.
    try {
        return ordered_json{{"move", move}}.dump();
    } catch (const nlohmann::json::exception&) {
        return std::string();
    }
}

bool read_stored_move(fsys::FileSystem& fs, const json& doc, const std::string& root, const std::string& run_folder,
                      StoredMove& move, std::string& error)
{
    const json* m = field(doc, "move");
    const json* made = m == nullptr ? nullptr : field(*m, "made");
    const json* empty = m == nullptr ? nullptr : field(*m, "to_was_empty_folder");
    std::string from_root, to_root;
    std::vector<std::string> rels(2);
    if (m == nullptr || !text_field(*m, "from_root", from_root) || !text_field(*m, "from", rels[0]) ||
        !text_field(*m, "to_root", to_root) || !text_field(*m, "to", rels[1]) || !number_field(*m, "files", move.files) ||
        made == nullptr || !made->is_array() || empty == nullptr || !empty->is_boolean() || !undone_field(*m, move.undone)) {
        error = "the manifest of " + run_folder + " is corrupt: its move is incomplete";
        return false;
    }
    move.to_was_empty_folder = empty->get<bool>();
    // The run folder below the root the files left and the one below the root they went to hold
    // the same record; one below any other root, of documents alone, has its twin where they left.
    move.here = same_place(fs, from_root, root);
    const std::string other = move.here ? to_root : from_root;
    if (!same_place(fs, other, root) && !twin_holds(fs, other, run_folder, doc)) {
        error = "refused: the manifest of " + run_folder + " records a move in " + other + ", where the run left no run folder";
        return false;
    }
    for (const json& folder : *made) {
        rels.push_back(folder.is_string() ? folder.get<std::string>() : std::string());
    }
    for (std::size_t k = 0; k < rels.size(); ++k) {
        const std::string& base = k == 0 ? from_root : to_root;
        const std::string path = child_path_of_slashed(base, rels[k]);
        if (!is_safe_relative(rels[k]) || rels[k].rfind(k_runs_folder_name, 0) == 0 || !link_below(fs, base, rels[k]).empty() ||
            !stays_inside(fs, path, base)) {
            error = "the manifest of " + run_folder + " names a place outside its roots: " + rels[k];
            return false;
        }
        (k == 0 ? move.from : k == 1 ? move.to : move.made.emplace_back()) = path;
    }
    return true;
}

bool undo_stored_move(fsys::FileSystem& fs, const StoredMove& move, UndoOutcome& outcome)
{
    std::vector<std::pair<std::string, std::string>> left;
    bool back = move_back(fs, move.from, move.to, left);
    if (back && move.to_was_empty_folder && !fs.is_folder(move.to) && !fs.make_folder(move.to)) {
        left.emplace_back(move.to, "the empty folder cannot be made again");
        back = false;
    }
    if (back) {
        for (auto folder = move.made.rbegin(); folder != move.made.rend(); ++folder) {
            fs.remove_folder(*folder);  // only once empty
        }
        outcome.restored.push_back(move.from + " (moved back from " + move.to + ")");
    }
    outcome.left.insert(outcome.left.end(), left.begin(), left.end());
    return back;
}

bool comes_back_with_move(const StoredMove& move, const std::string& file)
{
    return !move.from.empty() && (file == move.from || is_inside_root(file, move.from, k_native_style));
}

std::string stored_move_summary(fsys::FileSystem& fs, const json& doc, const std::string& root, long long& files)
{
    const json* m = field(doc, "move");
    std::string from_root, from, to_root, to;
    if (m == nullptr || !text_field(*m, "from_root", from_root) || !text_field(*m, "from", from) ||
        !text_field(*m, "to_root", to_root) || !text_field(*m, "to", to) || !number_field(*m, "files", files) ||
        !same_place(fs, from_root, root)) {
        files = 0;
        return std::string();
    }
    return std::to_string(files) + " files moved from " + child_path_of_slashed(from_root, from) + " to " +
           child_path_of_slashed(to_root, to);
}
