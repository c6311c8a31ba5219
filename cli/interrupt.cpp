#include "cli/interrupt.h"

#include "app/console_text.h"
#include "app/prompts-console.h"
#include "app/visible_text.h"

#include <cstdio>

namespace interrupt {

int finish(const std::string& logname)
{
    const int code = status();
    if (code == 0) {
        return 0;
    }
    std::string line = "interrupted: nothing more was changed";
    if (!logname.empty()) {
        line += "; the run log is ";
        line += visible(logname);
    }
    // On a terminal the prompt or the status line that was cut short still holds the cursor.
    if (is_terminal(stderr)) {
        std::fputc('\n', stderr);
    }
    write_text(stderr, line + "\n");
    std::fflush(stderr);
    return code;
}

}  // namespace interrupt

bool InterruptiblePrompts::ask_question(Owner owner, std::string_view body, std::string_view caption)
{
    interrupt::AnswerWait waiting;
    return ForwardingPrompts::ask_question(owner, body, caption);
}

int InterruptiblePrompts::choose_file(Owner owner, std::string& file, std::string_view initdir, std::string_view t,
                                      const FileFilter& f, ChooserMode write)
{
    interrupt::AnswerWait waiting;
    return ForwardingPrompts::choose_file(owner, file, initdir, t, f, write);
}
