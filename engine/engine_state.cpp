#include "engine/engine_state.h"

std::string posername;
std::unique_ptr<TextWriter> LOG;
long long abandoned_repairs = 0;

void write_log(std::string_view text)
{
    if (LOG) {
        LOG->write(text);
        if (!text.empty() && text.back() == '\n') {
            LOG->flush();
        }
    }
}
