#include "engine/rules.h"

#include "engine/content_paths.h"
#include "engine/run_stop.h"

namespace {

fsys::Listed listed_as(const fsys::FolderEntry& entry)
{
    return entry.type == fsys::EntryType::file ? fsys::Listed::plain_file : fsys::Listed::unknown;
}

}  // namespace

bool Rules::repair_all(Run& run, const std::string& folder, const std::vector<fsys::FolderEntry>& documents, Prompts& wn)
{
    for (const fsys::FolderEntry& document : documents) {
        if (run_stop::requested()) {
            return false;
        }
        repair(run, child_path(folder, document.name), wn, listed_as(document));
    }
    return true;
}

