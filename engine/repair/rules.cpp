#include "engine/repair/rules.h"

#include "engine/repair/run.h"

namespace {

// Each document repaired before the next is looked at.
class OneAtATime : public FolderRepairs {
public:
    OneAtATime(Rules& rules, Run& run, Prompts& wn) : m_rules(rules), m_run(run), m_wn(wn) {}
    void add(const std::string& orig, fsys::Listed listed) override { m_rules.repair(m_run, orig, m_wn, listed); }
    Prompts& prompts() override { return m_wn; }

private:
    Rules& m_rules;
    Run& m_run;
    Prompts& m_wn;
};

}  // namespace

std::unique_ptr<FolderRepairs> Rules::folder_repairs(Run& run, Prompts& wn)
{
    return std::make_unique<OneAtATime>(*this, run, wn);
}

std::vector<std::string> Rules::walk_roots(const Run& run) const
{
    // The root folder "/" is held as the empty root.
    return {run.posername.empty() ? std::string(1, fsys::k_sep) : run.posername};
}
