#include "app/visible_text.h"

#include "engine/base/text_encoding.h"

std::string visible(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    append_visible(out, text);
    return out;
}

void append_visible(std::string& out, std::string_view text)
{
    static constexpr char k_hex[] = "0123456789abcdef";
    for (std::size_t k = 0; k < text.size();) {
        // A run of printable ASCII, what nearly every path is, stands as it is.
        std::size_t plain = k;
        while (plain < text.size() && text[plain] >= 0x20 && text[plain] < 0x7f) {
            ++plain;
        }
        if (plain > k) {
            out.append(text.substr(k, plain - k));
            k = plain;
            continue;
        }
        const auto u = static_cast<unsigned char>(text[k]);
        const std::size_t n = utf8_sequence_length(text, k);
        // U+0080 to U+009F, two bytes from C2 80, are controls too.
        const bool c1 = n == 2 && u == 0xc2 && static_cast<unsigned char>(text[k + 1]) < 0xa0;
        if (n > 1 && !c1) {
            out.append(text.substr(k, n));
            k += n;
            continue;
        }
        const unsigned char c = c1 ? static_cast<unsigned char>(text[k + 1]) : u;
        k += c1 ? 2 : 1;
        if (n == 1 && c >= 0x20 && c != 0x7f) {
            out += static_cast<char>(c);
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == 0x1b) {
            out += "\\e";
        } else {
            out += "\\x";
            out += k_hex[c >> 4];
            out += k_hex[c & 15];
        }
    }
}

