#include "engine/engine_state.h"

std::string posername;
std::unique_ptr<TextWriter> LOG;
RunTally run_tally;

void write_log(std::string_view text)
{
    if (LOG) {
        LOG->write(text);
    }
}
