#include "tests/test_support.h"

#include "engine/correction.h"
#include "engine/engine_state.h"
#include "engine/existence.h"
#include "engine/textio.h"
#include "engine/fsys.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace fs = std::filesystem;

TempDir::TempDir()
{
    static std::atomic<int> counter{0};
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string label = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "tarnwick";
    std::replace(label.begin(), label.end(), '/', '_');
    for (int attempt = 0;; ++attempt) {
        fs::path p = base / ("tarnwick-" + label + "-" + std::to_string(counter++) + "-" + std::to_string(attempt));
        if (fs::create_directory(p, ec)) {
            m_path = p.string();
            break;
        }
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests make folders unreadable or unwritable on purpose; give them back first.
    for (auto it = fs::recursive_directory_iterator(m_path, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
    }
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

std::string TempDir::at(const std::string& relative) const
{
    return m_path + fsys::k_sep + native(relative);
}

std::string native(const std::string& relative)
{
    std::string p = relative;
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
    if (!in) {
        return "<missing>";
    }
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool exists(const std::string& path)
{
    return fsys::entry_exists(path);
}

std::vector<std::string> folder_names(const std::string& path)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(path, ec)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void reset_engine(const std::string& root)
{
    posername = root;
    LOG.reset();
    release_repllist();
    forget_existence();
    fsys::set_fault_hook(nullptr);
}

void PoserFolderTest::SetUp()
{
    reset_engine(dir.at("Poser"));
    write_bytes(obj("man2.obj"), "");
    write_bytes(obj("ball.obj"), "");
    man = dir.at("Poser/chars/man.cr2");
    backup = dir.at("Poser/chars/man_zz00.cr2");
}

void PoserFolderTest::TearDown()
{
    reset_engine("");
}

void PoserFolderTest::open_log()
{
    auto log = std::make_unique<TextWriter>();
    ASSERT_TRUE(log->open(log_path()));
    LOG = std::move(log);
}

std::string PoserFolderTest::log_text()
{
    LOG.reset();
    return read_bytes(log_path());
}
