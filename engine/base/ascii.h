// Letters compared without regard to case the way Windows compares names and Poser its
// extensions: ASCII letters only, every other byte as it is. The program's one case folding.
#pragma once

#include <string>
#include <string_view>

inline char ascii_lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline char ascii_upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string lower_ascii(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        c = ascii_lower(c);
    }
    return out;
}

inline bool equals_ignoring_case(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t k = 0; k < a.size(); ++k) {
        if (ascii_lower(a[k]) != ascii_lower(b[k])) {
            return false;
        }
    }
    return true;
}

inline bool ends_with_ignoring_case(std::string_view text, std::string_view tail)
{
    return text.size() >= tail.size() && equals_ignoring_case(text.substr(text.size() - tail.size()), tail);
}
