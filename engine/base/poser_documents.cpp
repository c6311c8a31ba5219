#include "engine/base/poser_documents.h"

#include "engine/base/ascii.h"
#include "engine/base/path_style.h"

#include <string>

namespace {

constexpr std::string_view k_extensions[] = {
    ".cr2", ".pp2", ".hr2", ".pz3", ".pz2", ".lt2", ".cm2", ".fc2", ".hd2", ".mc6", ".mt5", ".mz5",
    ".crz", ".ppz", ".hrz", ".pzz", ".p2z", ".ltz", ".cmz", ".fcz", ".hdz", ".mcz",
};
// The compressed ones are the last of the list.
constexpr std::size_t k_first_compressed = 12;

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

bool is_poser_document(std::string_view name)
{
    const std::size_t slash = last_separator(name, PathStyle::windows);
    std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
    if (base.size() < 5 || base.rfind("._", 0) == 0) {
        return false;
    }
    for (std::string_view ext : k_extensions) {
        if (ends_with_ignoring_case(base, ext)) {
            return true;
        }
    }
    return false;
}

bool is_compressed_poser_document(std::string_view name)
{
    for (std::size_t k = k_first_compressed; k < std::size(k_extensions); ++k) {
        if (ends_with_ignoring_case(name, k_extensions[k])) {
            return true;
        }
    }
    return false;
}

const char* poser_document_patterns()
{
    static const std::string patterns = [] {
        std::string list;
        for (std::string_view ext : k_extensions) {
            list += list.empty() ? "*" : ";*";
            for (char c : ext) {
                list += ascii_upper(c);
            }
        }
        return list;
    }();
    return patterns.c_str();
}

bool is_backup_beside(std::string_view name, const std::unordered_set<std::string>& names)
{
    // NAME _ z z N N .ext
    constexpr std::size_t suffix = 5;
    constexpr std::size_t ext = 4;
    if (name.size() < suffix + ext + 1) {
        return false;
    }
    std::string_view tag = name.substr(name.size() - ext - suffix, suffix);
    if (tag[0] != '_' || tag[1] != 'z' || tag[2] != 'z' || !is_digit(tag[3]) || !is_digit(tag[4]) ||
        name[name.size() - ext] != '.') {
        return false;
    }
    std::string original(name.substr(0, name.size() - ext - suffix));
    original.append(name.substr(name.size() - ext));
    return names.count(original) != 0;
}
