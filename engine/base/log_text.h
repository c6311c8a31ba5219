// Names from a user's disk and files as a run log holds them. A name may hold any byte but the
// separator: written raw, a line break in a document's name writes lines of its own into the
// log, which an undo from that log would then obey, and an escape reaches the terminal that
// shows the log. Every other byte stays as it is, for the log's own conversion to UTF-8.
#pragma once

#include <string>
#include <string_view>

// True for a control character: the C0 controls and DEL.
inline bool is_control_byte(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
}

// `text` with each control character as \xNN (two lower-case hex digits), never as one byte.
inline std::string log_text(std::string_view text)
{
    static constexpr char k_hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (is_control_byte(c)) {
            out += "\\x";
            out += k_hex[static_cast<unsigned char>(c) >> 4];
            out += k_hex[static_cast<unsigned char>(c) & 15];
        } else {
            out += c;
        }
    }
    return out;
}

// True when `text`, read back from a log, holds what log_text writes for a control character:
// the name it stands for cannot be read back whole.
inline bool holds_logged_control(std::string_view text)
{
    for (std::size_t at = text.find("\\x"); at != std::string_view::npos; at = text.find("\\x", at + 1)) {
        const char hi = at + 3 < text.size() ? text[at + 2] : '\0';
        const char lo = at + 3 < text.size() ? text[at + 3] : '\0';
        const bool hex_lo = (lo >= '0' && lo <= '9') || (lo >= 'a' && lo <= 'f');
        if (hex_lo && (hi == '0' || hi == '1' || (hi == '7' && lo == 'f'))) {
            return true;
        }
    }
    return false;
}
