#include "engine/install/install_names.h"

#include "engine/base/windows_names.h"

#include <algorithm>

namespace {

// Both systems allow 255 letters a name: bytes on POSIX, UTF-16 units on Windows (one for
// each UTF-8 sequence, two for one of four bytes).
constexpr std::size_t k_name_limit = 255;

std::size_t letters(std::string_view utf8, fsys::DiskRules rules)
{
    return rules == fsys::DiskRules::posix ? utf8.size() : utf16_length(utf8);
}

// The length of the UTF-8 sequence that starts with `b`, 0 when none starts so.
std::size_t sequence_length(unsigned char b)
{
    return b < 0x80 ? 1 : b >= 0xC2 && b < 0xE0 ? 2 : b >= 0xE0 && b < 0xF0 ? 3 : b >= 0xF0 && b < 0xF5 ? 4 : 0;
}

}  // namespace

std::size_t utf16_length(std::string_view utf8)
{
    std::size_t units = 0;
    for (char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        units += (b & 0xC0) != 0x80 ? 1 : 0;
        units += b >= 0xF0 ? 1 : 0;
    }
    return units;
}

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

std::string installed_name(const zipfs::ZipEntry& e)
{
    return is_utf8(e.name) ? e.name : e.cp437_name;
}

const char* unmakeable_reason(std::string_view name, fsys::DiskRules rules)
{
    if (!is_utf8(name)) {
        return "the name is no UTF-8 text";
    }
    if (std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 32 || c == 127; })) {
        return "the name holds a control character";
    }
    if (letters(name, rules) > k_name_limit) {
        return "the name is longer than 255 letters";
    }
    if (rules == fsys::DiskRules::posix) {
        return nullptr;
    }
    if (is_windows_device_name(name)) {
        return k_device_name_reason;
    }
    if (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
        return "the name ends in a dot or a blank, which Windows drops";
    }
    if (!is_windows_name(name)) {
        return "the name holds one of <>:\"|?*, which Windows refuses";
    }
    return nullptr;
}
