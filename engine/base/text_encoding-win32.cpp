// Names between the program's UTF-8 and the wide-character calls of Windows, with the ANSI
// code page for bytes that older programs wrote.
#include "engine/base/text_encoding.h"

#include <windows.h>

namespace {

// One UTF-8 sequence: its code point and length, or length 0 when the bytes at `k` are not
// UTF-8. Surrogates count, since to_utf8 writes a lone one in the three-byte form.
struct Sequence {
    char32_t code = 0;
    std::size_t length = 0;
};

Sequence utf8_sequence(std::string_view s, std::size_t k)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = byte(k);
    if (c < 0x80) {
        return {c, 1};
    }
    const std::size_t n = (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || k + n > s.size()) {
        return {};
    }
    char32_t code = c & (0x7f >> n);
    for (std::size_t i = 1; i < n; ++i) {
        if ((byte(k + i) & 0xc0) != 0x80) {
            return {};
        }
        code = (code << 6) | (byte(k + i) & 0x3f);
    }
    // Overlong forms and code points past Unicode are not UTF-8.
    static constexpr char32_t k_least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < k_least[n] || code > 0x10ffff) {
        return {};
    }
    return {code, n};
}

// The end of the run of bytes from `k` that are not UTF-8. A double-byte code page's
// character stays whole even where its second byte alone would pass for ASCII.
std::size_t end_of_other_bytes(std::string_view s, std::size_t k)
{
    do {
        k += IsDBCSLeadByte(static_cast<BYTE>(s[k])) && k + 1 < s.size() ? 2 : 1;
    } while (k < s.size() && utf8_sequence(s, k).length == 0);
    return k;
}

void append_ansi(std::wstring& out, std::string_view bytes)
{
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) {
        return;
    }
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(n));
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), out.data() + at, n);
}

void append_utf16(std::wstring& out, char32_t code)
{
    if (code < 0x10000) {
        out += static_cast<wchar_t>(code);
        return;
    }
    code -= 0x10000;
    out += static_cast<wchar_t>(0xd800 + (code >> 10));
    out += static_cast<wchar_t>(0xdc00 + (code & 0x3ff));
}

void append_utf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
        return;
    }
    const int n = code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
    static constexpr unsigned char k_lead[] = {0, 0, 0xc0, 0xe0, 0xf0};
    out += static_cast<char>(k_lead[n] | (code >> (6 * (n - 1))));
    for (int i = n - 2; i >= 0; --i) {
        out += static_cast<char>(0x80 | ((code >> (6 * i)) & 0x3f));
    }
}

bool is_utf8_beyond_ascii(std::string_view s)
{
    bool beyond = false;
    for (std::size_t k = 0; k < s.size();) {
        const Sequence seq = utf8_sequence(s, k);
        if (seq.length == 0) {
            return false;
        }
        beyond = beyond || seq.length > 1;
        k += seq.length;
    }
    return beyond;
}

}  // namespace

std::wstring to_wide(std::string_view text)
{
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t k = 0; k < text.size();) {
        const Sequence seq = utf8_sequence(text, k);
        if (seq.length > 0) {
            append_utf16(out, seq.code);
            k += seq.length;
            continue;
        }
        const std::size_t end = end_of_other_bytes(text, k);
        append_ansi(out, text.substr(k, end - k));
        k = end;
    }
    return out;
}

std::string to_utf8(std::wstring_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t k = 0; k < text.size(); ++k) {
        char32_t code = text[k];
        const bool pair = code >= 0xd800 && code < 0xdc00 && k + 1 < text.size() && text[k + 1] >= 0xdc00 &&
                          text[k + 1] < 0xe000;
        if (pair) {
            code = 0x10000 + ((code - 0xd800) << 10) + (text[++k] - 0xdc00);
        }
        append_utf8(out, code);
    }
    return out;
}

std::string utf8_text(std::string_view text)
{
    return to_utf8(to_wide(text));
}

std::string poser_file_text(std::string_view name)
{
    // Pure ASCII reads the same either way; bytes that are not UTF-8 did not come from the
    // system; and where the ANSI code page is UTF-8 there is nothing to change.
    if (!is_utf8_beyond_ascii(name) || GetACP() == CP_UTF8) {
        return std::string(name);
    }
    const std::wstring wide = to_wide(name);
    const int size = static_cast<int>(wide.size());
    BOOL lost = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0, nullptr, &lost);
    if (lost || n <= 0) {
        return std::string(name);
    }
    std::string ansi(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, ansi.data(), n, nullptr, nullptr);
    return ansi;
}
