#include "engine/engine_state.h"

std::string posername;
std::unique_ptr<TextWriter> LOG;
RunTally run_tally;

namespace {
unsigned long long g_log_writes = 0;
}  // namespace

void write_log(std::string_view text)
{
    if (LOG) {
        LOG->write(text);
        ++g_log_writes;
    }
}

unsigned long long log_writes()
{
    return g_log_writes;
}
