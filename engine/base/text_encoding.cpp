// What both systems' text encodings share.
#include "engine/base/text_encoding.h"

std::size_t utf8_sequence_length(std::string_view s, std::size_t k)
{
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    // The lead byte alone rules out the overlong two-byte forms (C0, C1) and all past F4.
    const unsigned char c = b(k);
    const std::size_t n = c < 0x80 ? 1 : c >= 0xc2 && c < 0xe0 ? 2 : c >= 0xe0 && c < 0xf0 ? 3 : c >= 0xf0 && c < 0xf5 ? 4 : 0;
    if (n == 0 || k + n > s.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < n; ++i) {
        if ((b(k + i) & 0xc0) != 0x80) {
            return 0;
        }
    }
    // With the second byte: no overlong three- or four-byte form, no surrogate, nothing past U+10FFFF.
    const unsigned char second = n > 1 ? b(k + 1) : 0x80;
    if ((c == 0xe0 && second < 0xa0) || (c == 0xed && second >= 0xa0) || (c == 0xf0 && second < 0x90) || (c == 0xf4 && second >= 0x90)) {
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
