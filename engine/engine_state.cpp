#include "engine/engine_state.h"

#include "engine/text_encoding.h"

std::string posername;
std::unique_ptr<TextWriter> LOG;
RunTally run_tally;

namespace {
unsigned long long g_log_writes = 0;
}  // namespace

long long abandoned_repairs = 0;

void write_log(std::string_view text)
{
    // A name from an old Poser file may be in the ANSI code page: the log is UTF-8 throughout.
    if (LOG) {
        LOG->write(utf8_text(text));
        ++g_log_writes;
        if (!text.empty() && text.back() == '\n') {
            LOG->flush();
        }
    }
}

unsigned long long log_writes()
{
    return g_log_writes;
}
