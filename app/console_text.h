// Text on the console program's standard streams. Text is UTF-8 inside the program; a
// Windows console shows and takes it through the wide-character calls, whatever its code
// page; a file, a pipe or a POSIX terminal gets and gives the bytes as they are.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// Writes `text` to `stream`, after whatever the stream still buffers.
void write_text(std::FILE* stream, std::string_view text);

// The next line of `stream` without its line end (a carriage return before the line feed
// dropped too); false at the end of the input when nothing was left to read.
bool read_text_line(std::FILE* stream, std::string& line);

// read_text_line for the bytes of a file, a pipe or a terminal.
inline bool read_byte_line(std::FILE* stream, std::string& line)
{
    line.clear();
    int c = 0;
    while ((c = std::fgetc(stream)) != EOF && c != '\n') {
        line += static_cast<char>(c);
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return c != EOF || !line.empty();
}
