#include "engine/run_files.h"

namespace fsys {

bool make_folders(const std::string& path)
{
    if (!is_nameable(path) || path.empty()) {
        return false;
    }
    if (is_folder(path)) {
        return true;
    }
    // The top folder ("/" or "C:\\") always exists: the names above it are made first.
    const std::size_t cut = path.find_last_of(k_sep == '/' ? "/" : "\\/");
    if (cut != std::string::npos && cut > 0 && path[cut - 1] != ':' && !make_folders(path.substr(0, cut))) {
        return false;
    }
    return make_folder(path) || is_folder(path);
}

std::string hex_digits(const unsigned char* bytes, std::size_t size)
{
    static const char k_hex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t k = 0; k < size; ++k) {
        out += k_hex[bytes[k] >> 4];
        out += k_hex[bytes[k] & 15];
    }
    return out;
}

}  // namespace fsys
