#include "app/prompts-console.h"

#include "app/console_text.h"
#include "app/visible_text.h"
#include "engine/base/text_encoding.h"
#include "engine/fsys/fsys.h"

#include <string>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// Every text shown holds paths from the user's files: their control characters are shown,
// never sent to the terminal. A name as an older Poser file holds it shows its letters on
// Windows, where those bytes are the ANSI code page's.
void put(std::FILE* out, std::string_view text)
{
    write_text(out, visible(utf8_text(text)));
}

// Layout of our own: line ends and the carriage return that rewrites the status line.
void put_raw(std::FILE* out, std::string_view text)
{
    write_text(out, text);
}

// A path as terminals paste a file dropped on them: in single or double quotes, with a blank
// after it. One pair of quotes and the trailing blanks go; what lies inside stays as it is.
std::string pasted_path(std::string answer)
{
    while (!answer.empty() && (answer.back() == ' ' || answer.back() == '\t')) {
        answer.pop_back();
    }
    const char quote = answer.empty() ? '\0' : answer.front();
    if (answer.size() >= 2 && (quote == '\'' || quote == '"') && answer.back() == quote) {
        answer = answer.substr(1, answer.size() - 2);
    }
    return answer;
}

}  // namespace

bool is_terminal(std::FILE* stream)
{
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

// The status line is overwritten by the next title; anything else starts on a line of its own.
void ConsolePrompts::end_status_line()
{
    if (m_status_shown) {
        put_raw(m_out, "\n");
        m_status_shown = false;
    }
}

void ConsolePrompts::show_message(std::string_view body, std::string_view caption)
{
    end_status_line();
    if (!caption.empty()) {
        put(m_out, caption);
        put_raw(m_out, ": ");
    }
    put(m_out, body);
    put_raw(m_out, "\n");
    std::fflush(m_out);
}

bool ConsolePrompts::read_answer(std::string& line)
{
    return read_text_line(m_in, line);
}

void ConsolePrompts::show_warning(Owner, std::string_view body, std::string_view caption)
{
    show_message(body, caption);
}

void ConsolePrompts::show_information(Owner, std::string_view body, std::string_view caption)
{
    show_message(body, caption);
}

bool ConsolePrompts::ask_question(Owner, std::string_view body, std::string_view caption)
{
    end_status_line();
    put(m_out, caption);
    put_raw(m_out, "\n  ");
    put(m_out, body);
    put_raw(m_out, "\n");
    std::string answer;
    for (;;) {
        put_raw(m_out, "[y/n] ");
        std::fflush(m_out);
        if (!read_answer(answer)) {
            put_raw(m_out, "\n");
            return false;
        }
        if (answer == "y" || answer == "Y" || answer == "yes") {
            return true;
        }
        if (answer == "n" || answer == "N" || answer == "no") {
            return false;
        }
    }
}

int ConsolePrompts::choose_file(Owner, std::string& file, std::string_view initdir, std::string_view t,
                                const FileFilter& f, ChooserMode write)
{
    end_status_line();
    put(m_out, t);
    put_raw(m_out, "\n  initial file:   ");
    put(m_out, file);
    put_raw(m_out, "\n  initial folder: ");
    put(m_out, initdir);
    put_raw(m_out, "\n  (");
    put(m_out, f.display);
    put_raw(m_out, ": ");
    put(m_out, f.pattern);
    put_raw(m_out, ")\n");
    std::string answer;
    for (;;) {
        put_raw(m_out, "path (empty line to cancel): ");
        std::fflush(m_out);
        if (!read_answer(answer)) {
            return 0;
        }
        answer = pasted_path(answer);
        if (answer.empty()) {
            return 0;
        }
        // As the open dialog does, insist on a file that exists.
        if (write == ChooserMode::save || (m_fs.entry_exists(answer) && !m_fs.is_folder(answer))) {
            file = answer;
            return 1;
        }
        put_raw(m_out, "  there is no such file: ");
        put(m_out, answer);
        put_raw(m_out, "\n");
    }
}

void ConsolePrompts::set_title(std::string_view text)
{
    // Blanks over what is left of a longer previous line: no terminal escapes needed.
    const std::string shown = visible(text);
    put_raw(m_out, "\r");
    put_raw(m_out, shown);
    if (m_status_shown && shown.size() < m_status_chars) {
        put_raw(m_out, std::string(m_status_chars - shown.size(), ' '));
        put_raw(m_out, "\r");
        put_raw(m_out, shown);
    }
    std::fflush(m_out);
    m_status_shown = true;
    m_status_chars = shown.size();
}
