// A POSIX terminal takes the program's UTF-8 as bytes.
#include "app/console_text.h"

void write_text(std::FILE* stream, std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stream);
}

bool read_text_line(std::FILE* stream, std::string& line)
{
    return read_byte_line(stream, line);
}
