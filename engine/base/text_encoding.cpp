// What both systems' text encodings share.
#include "engine/base/text_encoding.h"

std::size_t utf8_sequence_length(std::string_view s, std::size_t k)
{
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = b(k);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || k + n > s.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < n; ++i) {
        if ((b(k + i) & 0xc0) != 0x80) {
            return 0;
        }
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8 either.
    if ((n == 2 && c < 0xc2) || (n == 3 && c == 0xe0 && b(k + 1) < 0xa0) || (n == 3 && c == 0xed && b(k + 1) >= 0xa0) ||
        (n == 4 && c == 0xf0 && b(k + 1) < 0x90) || (n == 4 && (c > 0xf4 || (c == 0xf4 && b(k + 1) >= 0x90)))) {
        return 0;
    }
    return n;
}

bool is_utf8(std::string_view text)
{
    for (std::size_t k = 0; k < text.size();) {
        const std::size_t n = utf8_sequence_length(text, k);
        if (n == 0) {
            return false;
        }
        k += n;
    }
    return true;
}
