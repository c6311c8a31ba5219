// A Windows console shows bytes in its own code page (an OEM one, set by the user or the
// system): a name in UTF-8 would show garbled, and typed letters outside that code page
// would be lost. The wide-character console calls show and take every letter; files and
// pipes get the UTF-8 bytes.
#include "app/console_text.h"

#include "engine/base/text_encoding.h"

#include <algorithm>
#include <windows.h>
#include <io.h>

namespace {

// Letters handed to the console at a time: older consoles refuse large writes.
constexpr std::size_t k_console_chunk_chars = 8192;

// The console behind `stream`, or nullptr for a file, a pipe or a device such as NUL.
HANDLE console_of(std::FILE* stream)
{
    const int fd = _fileno(stream);
    if (fd < 0 || !_isatty(fd)) {
        return nullptr;
    }
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) ? h : nullptr;
}

void write_console(HANDLE console, const std::wstring& text)
{
    for (std::size_t at = 0; at < text.size();) {
        std::size_t chunk = std::min(text.size() - at, k_console_chunk_chars);
        // A letter past U+FFFF is two UTF-16 units, never split between writes.
        if (chunk > 1 && text[at + chunk - 1] >= 0xd800 && text[at + chunk - 1] < 0xdc00) {
            --chunk;
        }
        DWORD written = 0;
        if (!WriteConsoleW(console, text.data() + at, static_cast<DWORD>(chunk), &written, nullptr) || written == 0) {
            return;
        }
        at += written;
    }
}

}  // namespace

void write_text(std::FILE* stream, std::string_view text)
{
    HANDLE console = console_of(stream);
    if (console == nullptr) {
        std::fwrite(text.data(), 1, text.size(), stream);
        return;
    }
    std::fflush(stream);
    write_console(console, to_wide(text));
}

bool read_text_line(std::FILE* stream, std::string& line)
{
    HANDLE console = console_of(stream);
    if (console == nullptr) {
        return read_byte_line(stream, line);
    }
    // The console hands over a typed line once Enter is pressed, ending in CR LF. A read cut
    // short (Ctrl-C, a stop) or a line of Ctrl-Z alone ends the input, as the C library has it.
    std::wstring typed;
    wchar_t c = 0;
    DWORD got = 0;
    bool ended = false;
    while (ReadConsoleW(console, &c, 1, &got, nullptr) && got == 1) {
        if (c == L'\n') {
            ended = true;
            break;
        }
        typed += c;
    }
    if (!typed.empty() && typed.back() == L'\r') {
        typed.pop_back();
    }
    line = to_utf8(typed);
    if (!typed.empty() && typed.front() == L'\x1a') {
        line.clear();
        return false;
    }
    return ended || !line.empty();
}
