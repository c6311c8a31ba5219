#include "app/run_summary.h"

std::string run_summary(const RunTally& tally)
{
    return "files checked: " + std::to_string(tally.checked) + ", corrected: " + std::to_string(tally.corrected) +
           ", abandoned: " + std::to_string(tally.abandoned) + ", references replaced: " + std::to_string(tally.replaced);
}
