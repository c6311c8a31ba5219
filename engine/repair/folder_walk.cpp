#include "engine/repair/folder_walk.h"

#include "engine/base/ascii.h"
#include "engine/base/run_stop.h"
#include "engine/library/content_paths.h"
#include "engine/library/walk.h"
#include "engine/repair/rules.h"
#include "engine/repair/run.h"

#include <memory>
#include <utility>
#include <vector>

namespace {

fsys::Listed listed_as(const fsys::FolderEntry& entry)
{
    return entry.type == fsys::EntryType::file ? fsys::Listed::plain_file : fsys::Listed::unknown;
}

// Each folder's documents checked, then its subfolders walked, then the question whether to
// go on, whose No ends the walk of the folder's later siblings. The repairs may finish
// together across folders: the question goes through them, which finish what waits first
// when it will be seen.
class CheckingVisitor : public WalkVisitor {
public:
    CheckingVisitor(Run& run, Prompts& wn) : m_repairs(run.rules().folder_repairs(run, wn)) {}

    bool enter(const std::string& folder, const FolderContents& contents) override
    {
        for (const fsys::FolderEntry& document : contents.documents) {
            if (run_stop::requested()) {
                return false;
            }
            m_repairs->add(child_path(folder, document.name), listed_as(document));
        }
        return true;
    }

    bool leave(const std::string& folder, const FolderContents& contents, bool) override
    {
        if (run_stop::requested()) {
            return false;
        }
        if (contents.documents.empty()) {
            return true;
        }
        return m_repairs->prompts().question(Owner::none, folder, "searchdir finished for this folder: shall I continue?");
    }

private:
    std::unique_ptr<FolderRepairs> m_repairs;
};

// Where the run's walks may go: links only into the walked folder or a root, and each one
// that leads elsewhere named.
WalkScope scope_of(Run& run)
{
    return WalkScope{run.rules().walk_roots(run), [&run](const std::string& link, const std::string& target) {
                         run.note(link_not_followed_note(link, target));
                     }};
}

// Every document below `dirname` as the rules take them, in the order the walk meets them.
std::vector<std::pair<std::string, fsys::Listed>> documents_below(Run& run, const std::string& dirname)
{
    std::vector<std::pair<std::string, fsys::Listed>> documents;
    const FolderVisitor visit = [&](const std::string& folder, const FolderContents& contents) {
        for (const fsys::FolderEntry& d : contents.documents) {
            documents.emplace_back(child_path(folder, d.name), listed_as(d));
        }
    };
    walk_folders(run.fs(), dirname, run.rules().walk_policy(), visit, scope_of(run));
    return documents;
}

}  // namespace

int isposerfile(std::string_view name)
{
    if (name.size() < 5) {
        return 0;
    }
    const std::string_view tail = name.substr(name.size() - 4);
    for (std::string_view ext : {".pz3", ".cr2", ".pp2", ".hr2"}) {
        if (equals_ignoring_case(tail, ext)) {
            return 1;
        }
    }
    return 0;
}

WalkPolicy repair_walk_policy()
{
    return WalkPolicy{[](std::string_view name) { return isposerfile(name) != 0; }, false, false, {}};
}

int is_dir(fsys::FileSystem& fs, const std::string& path)
{
    return fs.is_folder(path) ? 1 : 0;
}

int searchdir(Run& run, const std::string& dirname, Prompts& wn)
{
    return run.rules().walk(run, dirname, wn);
}

int walk_asking_after_each_folder(Run& run, const std::string& dirname, Prompts& wn)
{
    // The repairs still waiting finish with the visitor, before the run's closing lines.
    CheckingVisitor visitor(run, wn);
    return walk_folders(run.fs(), dirname, run.rules().walk_policy(), visitor, scope_of(run)) ? 1 : 0;
}

int walk_counted_first(Run& run, const std::string& dirname, Prompts& wn)
{
    // A stopped run says how much it left.
    const auto documents = documents_below(run, dirname);
    run.tally.total += static_cast<long long>(documents.size());
    for (const auto& [path, listed] : documents) {
        if (run_stop::requested()) {
            return 0;
        }
        run.rules().repair(run, path, wn, listed);
    }
    return run_stop::requested() ? 0 : 1;
}
