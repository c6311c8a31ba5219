// The closing line of an extended run: what its files came to.
#pragma once

#include "engine/engine_state.h"

#include <string>

// "files checked: N, corrected: N, abandoned: N, references replaced: N", without a line feed.
std::string run_summary(const RunTally& tally);
