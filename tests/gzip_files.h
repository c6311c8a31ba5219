// Compressed Poser files for the tests, made and read with zlib's own gzip functions so that
// they are independent of the program's streams.
#pragma once

#include <filesystem>
#include <string>
#include <zlib.h>

// Writes `text` gzip-compressed; with `append`, as one more gzip member after those there.
inline void write_gzip(const std::string& path, const std::string& text, bool append = false)
{
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    gzFile f = gzopen(path.c_str(), append ? "ab9" : "wb9");
    gzwrite(f, text.data(), static_cast<unsigned>(text.size()));
    gzclose(f);
}

// The decompressed content, or "<not gzip>" when the file is not whole gzip data.
inline std::string read_gzip(const std::string& path)
{
    gzFile f = gzopen(path.c_str(), "rb");
    if (f == nullptr || gzdirect(f)) {
        if (f != nullptr) {
            gzclose(f);
        }
        return "<not gzip>";
    }
    std::string text;
    char block[4096];
    int n = 0;
    while ((n = gzread(f, block, sizeof block)) > 0) {
        text.append(block, static_cast<std::size_t>(n));
    }
    return gzclose(f) == Z_OK && n == 0 ? text : "<not gzip>";
}
