#include "engine/base/prompts.h"
#include "engine/repair/folder_walk.h"
#include "engine/repair/poserfile.h"
#include "engine/repair/rules.h"
#include "engine/repair/run.h"

DefaultRules::DefaultRules() : m_policy(repair_walk_policy()) {}

void DefaultRules::start(Run&) {}

int DefaultRules::walk(Run& run, const std::string& dirname, Prompts& wn)
{
    return walk_asking_after_each_folder(run, dirname, wn);
}

void DefaultRules::repair(Run& run, const std::string& orig, Prompts& wn, fsys::Listed listed)
{
    readposerfile(run, orig, wn, listed);
}

std::unique_ptr<FolderRepairs> DefaultRules::folder_repairs(Run& run, Prompts& wn)
{
    return std::make_unique<RepairBatch>(run, wn);
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
