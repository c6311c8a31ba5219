#include "engine/install/install_names.h"

#include "engine/base/text_encoding.h"
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
