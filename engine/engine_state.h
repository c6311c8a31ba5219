// What the engine shares with the runs for the whole life of the program.
#pragma once

#include "engine/textio.h"

#include <memory>
#include <string>
#include <string_view>

// The Poser installation's root folder, without a trailing separator.
extern std::string posername;

// The run log: open during a run, absent (null) otherwise or when it could not be created.
extern std::unique_ptr<TextWriter> LOG;

// Repairs abandoned ("RUN ABANDONED" in the log) since the program started, so that an
// unattended run can tell by its exit status that a file was left as it was.
extern long long abandoned_repairs;

// Writes to the run log when it is open; a run without a log goes on without one. Each line
// reaches the file as it is completed, so that an abrupt end keeps what was done.
void write_log(std::string_view text);
// How many texts have gone to an open run log so far: a run compares it before and after a
// step to tell whether the step logged anything.
unsigned long long log_writes();

// What the files of a run came to, counted as the run goes.
struct RunTally {
    long long checked = 0;
    long long corrected = 0;
    long long abandoned = 0;
    long long replaced = 0;
    long long warnings = 0;
};
extern RunTally run_tally;
