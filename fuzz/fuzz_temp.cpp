#include "fuzz/fuzz_temp.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

std::string make_folder()
{
    std::string pattern = std::filesystem::temp_directory_path().string() + "/tarnwick-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    return pattern;
}

void remove_folder()
{
    std::error_code ec;
    std::filesystem::remove_all(fuzz_folder(), ec);
}

}  // namespace

const std::string& fuzz_folder()
{
    static const std::string folder = [] {
        std::string f = make_folder();
        return f;
    }();
    static const bool cleanup_registered = std::atexit(remove_folder) == 0;
    (void)cleanup_registered;
    return folder;
}

void write_exactly(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::abort();
    }
}

std::string read_exactly(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return "<missing>";
    }
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}
