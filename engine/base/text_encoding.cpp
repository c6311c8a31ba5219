// What both systems' text encodings share.
#include "engine/base/text_encoding.h"

namespace {

// The length of the UTF-8 sequence that starts with `b`, 0 when none starts so.
std::size_t sequence_length(unsigned char b)
{
    return b < 0x80 ? 1 : b >= 0xC2 && b < 0xE0 ? 2 : b >= 0xE0 && b < 0xF0 ? 3 : b >= 0xF0 && b < 0xF5 ? 4 : 0;
}

}  // namespace

bool is_utf8(std::string_view text)
{
    for (std::size_t k = 0; k < text.size();) {
        const auto b = static_cast<unsigned char>(text[k]);
        const std::size_t n = sequence_length(b);
        if (n == 0 || k + n > text.size()) {
            return false;
        }
        for (std::size_t j = 1; j < n; ++j) {
            if ((static_cast<unsigned char>(text[k + j]) & 0xC0) != 0x80) {
                return false;
            }
        }
        const auto second = n > 1 ? static_cast<unsigned char>(text[k + 1]) : 0x80;
        // No overlong three- or four-byte form, no surrogate, nothing past U+10FFFF.
        if ((b == 0xE0 && second < 0xA0) || (b == 0xED && second >= 0xA0) || (b == 0xF0 && second < 0x90) ||
            (b == 0xF4 && second >= 0x90)) {
            return false;
        }
        k += n;
    }
    return true;
}
