#include "cli/interrupt.h"

#include <cstdio>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// The log's folder comes from the user's disk: control characters are shown, not obeyed.
std::string visible(const std::string& text)
{
    static const char k_hex[] = "0123456789abcdef";
    std::string shown;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f) {
            shown += "\\x";
            shown += k_hex[c >> 4];
            shown += k_hex[c & 0xf];
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}

bool stderr_is_terminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

}  // namespace

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
    if (stderr_is_terminal()) {
        std::fputc('\n', stderr);
    }
    std::fprintf(stderr, "%s\n", line.c_str());
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
