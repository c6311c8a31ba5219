// Files for the tests and the fuzz targets: a fresh folder, exact bytes, gzip-compressed text made and read with zlib's
// own functions (not the program's streams), and the lines a Poser file holds, stated without the engine's reader.
#pragma once

#include "engine/fsys/fsys.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>
#include <zlib.h>

// `path`, in UTF-8 as the program holds names, for the standard library (on Windows narrow names are ANSI); and back.
inline std::filesystem::path fs_path(const std::string& path) { return std::u8string(path.begin(), path.end()); }
inline std::string utf8_path(const std::filesystem::path& path)
{
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
}

// A native path from '/' between names.
inline std::string native(std::string path)
{
    std::replace(path.begin(), path.end(), '/', fsys::k_sep);
    return path;
}

// A path from the top of this system's disk: "/ext/a.jpg", "C:\\ext\\a.jpg".
inline std::string absolute(const std::string& path)
{
    return (fsys::k_sep == '\\' ? "C:" : "") + native(path);
}

using Lines = std::vector<std::string>;

// `show` of each of `items`, each followed by `end`.
template <class Items, class Show>
std::string joined(const Items& items, Show show, const std::string& end)
{
    std::string text;
    for (const auto& item : items) {
        text += show(item) + end;
    }
    return text;
}

// `piece` written `times` times over.
inline std::string repeated(const std::string& piece, std::size_t times)
{
    std::string text;
    for (std::size_t k = 0; k < times; ++k) {
        text += piece;
    }
    return text;
}

// A new empty folder, removed with all its content when the object goes.
class TempDir {
public:
    TempDir()
    {
        static std::atomic<int> counter{0};
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        do {
            m_path = utf8_path(base / ("tarnwick-test-" + std::to_string(counter++)));
        } while (!std::filesystem::create_directory(fs_path(m_path), ec) && !ec);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(fs_path(m_path), ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // `relative` with '/' between names, as a native path under this folder.
    std::string at(const std::string& relative) const
    {
        return native(m_path + '/' + relative);
    }

private:
    std::string m_path;
};

// Writes the bytes exactly, creating the folders on the way.
inline void write_bytes(const std::string& path, const std::string& bytes)
{
    std::error_code ec;
    std::filesystem::create_directories(fs_path(path).parent_path(), ec);
    std::ofstream out(fs_path(path), std::ios::binary | std::ios::trunc);
    if (!(out << bytes).flush()) {
        throw std::runtime_error("cannot write " + path);  // a failed test, or a fuzz finding
    }
}

// Each of `files` ('/' between names) written below `dir` with `bytes`.
inline void write_files(const TempDir& dir, const Lines& files, const std::string& bytes)
{
    for (const std::string& file : files) {
        write_bytes(dir.at(file), bytes);
    }
}

// The whole file, or "<missing>" when it cannot be read.
inline std::string read_bytes(const std::string& path)
{
    std::ifstream in(fs_path(path), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return in ? s.str() : "<missing>";
}

// Writes `text` gzip-compressed (with `append`, as one more member), then `zero_padding` zero bytes as archivers leave.
inline void write_gzip(const std::string& path, const std::string& text, bool append = false, std::size_t zero_padding = 0)
{
    std::error_code ec;
    std::filesystem::create_directories(fs_path(path).parent_path(), ec);
    gzFile f = gzopen(path.c_str(), append ? "ab9" : "wb9");
    gzwrite(f, text.data(), static_cast<unsigned>(text.size()));
    gzclose(f);
    std::ofstream(path, std::ios::binary | std::ios::app) << std::string(zero_padding, '\0');
}

// The decompressed content, or "<not gzip>" when the file is not whole gzip data.
inline std::string read_gzip(const std::string& path)
{
    gzFile f = gzopen(path.c_str(), "rb");
    const bool gzip = f != nullptr && !gzdirect(f);
    std::string text;
    char block[4096];
    int n = 0;
    while (gzip && (n = gzread(f, block, sizeof block)) > 0) {
        text.append(block, static_cast<std::size_t>(n));
    }
    return f != nullptr && gzclose(f) == Z_OK && gzip && n == 0 ? text : "<not gzip>";
}

// The names `fs` lists in the folder `path`, a folder's with '/' after it, or "<cannot list>".
inline Lines listing(fsys::FileSystem& fs, const std::string& path)
{
    std::vector<fsys::FolderEntry> entries;
    if (!fs.list_folder_entries(path, entries)) {
        return {"<cannot list>"};
    }
    Lines out;
    for (const fsys::FolderEntry& e : entries) {
        out.push_back(e.name + (e.type == fsys::EntryType::folder ? "/" : ""));
    }
    return out;
}

// The whole file `path` on `fs`, or "<unreadable>".
inline std::string read_all(fsys::FileSystem& fs, const std::string& path)
{
    std::string text;
    return fs.read_whole_file(path, text) ? text : "<unreadable>";
}

// Ctrl-Z ends the data, carriage returns are dropped, line feeds end lines, and a last line counts when not empty.
inline Lines poser_lines(std::string_view bytes)
{
    Lines lines(1);
    for (char c : bytes.substr(0, bytes.find('\x1a'))) {
        if (c == '\n') {
            lines.emplace_back();
        } else if (c != '\r') {
            lines.back() += c;
        }
    }
    if (lines.back().empty()) {
        lines.pop_back();
    }
    return lines;
}
