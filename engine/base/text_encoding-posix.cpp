// Names elsewhere than on Windows: the system takes the bytes as they are.
#include "engine/base/text_encoding.h"

std::string utf8_text(std::string_view text)
{
    return std::string(text);
}

std::string poser_file_text(std::string_view name)
{
    return std::string(name);
}
