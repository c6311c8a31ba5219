#include "tests/test_support.h"

#include "engine/correction.h"
#include "engine/engine_state.h"
#include "engine/existence.h"
#include "engine/fsys.h"
#include "engine/pointer_rules.h"
#include "engine/run_stop.h"
#include "tests/gzip_files.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

TempDir::TempDir()
{
    static std::atomic<int> counter{0};
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    do {
        m_path = (base / ("tarnwick-test-" + std::to_string(counter++))).string();
    } while (!fs::create_directory(m_path, ec) && !ec);
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

std::string TempDir::at(const std::string& relative) const
{
    std::string p = m_path + '/' + relative;
    std::replace(p.begin(), p.end(), '/', fsys::k_sep);
    return p;
}

void write_bytes(const std::string& path, const std::string& bytes)
{
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good()) << path;
}

std::string read_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return in ? s.str() : "<missing>";
}

bool exists(const std::string& path)
{
    return fsys::entry_exists(path);
}

Files files_below(const std::string& folder, bool compressed)
{
    Files files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            const std::string path = entry.path().string();
            files[path] = compressed ? read_gzip(path) : read_bytes(path);
        }
    }
    return files;
}

void reset_engine(const std::string& root)
{
    extended_rules = ExtendedRules{};
    forget_files_by_name();
    posername = root;
    LOG.reset();
    release_repllist();
    forget_existence();
    fsys::set_fault_hook(nullptr);
    run_stop::clear();
}
