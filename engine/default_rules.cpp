#include "engine/content_paths.h"
#include "engine/folder_walk.h"
#include "engine/poserfile.h"
#include "engine/prompts.h"
#include "engine/rules.h"
#include "engine/run.h"
#include "engine/run_stop.h"

DefaultRules::DefaultRules() : m_policy(repair_walk_policy()) {}

void DefaultRules::start(Run&) {}

void DefaultRules::repair(Run& run, const std::string& orig, Prompts& wn, fsys::Listed listed)
{
    readposerfile(run, orig, wn, listed);
}

bool DefaultRules::repair_all(Run& run, const std::string& folder, const std::vector<fsys::FolderEntry>& documents,
                              Prompts& wn)
{
    RepairBatch batch(run, wn);
    for (const fsys::FolderEntry& document : documents) {
        if (run_stop::requested()) {
            return false;
        }
        batch.add(child_path(folder, document.name), document.type == fsys::EntryType::file ? fsys::Listed::plain_file : fsys::Listed::unknown);
    }
    return true;
}


const FileFilter& DefaultRules::document_filter() const
{
    return filterCR2etc;
}

// The repair's own log ends with its last file's lines.
std::string DefaultRules::summary(const RunTally&) const
{
    return std::string();
}
