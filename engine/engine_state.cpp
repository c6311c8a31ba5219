#include "engine/engine_state.h"

#include "engine/text_encoding.h"

std::string posername;
std::unique_ptr<TextWriter> LOG;
RunTally run_tally;

void write_log(std::string_view text)
{
    // A name from an old Poser file may be in the ANSI code page: the log is UTF-8 throughout.
    if (LOG) {
        LOG->write(utf8_text(text));
    }
}
