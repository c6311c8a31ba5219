#include "tests/test_support.h"

#include "engine/correction.h"
#include "engine/engine_state.h"
#include "engine/existence.h"
#include "engine/fsys.h"
#include "engine/pointer_rules.h"
#include "engine/run_stop.h"

#include <filesystem>

namespace fs = std::filesystem;

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

std::string file_text(std::FILE* f)
{
    std::string text;
    std::rewind(f);
    for (int c; (c = std::fgetc(f)) != EOF;) {
        text += static_cast<char>(c);
    }
    std::fclose(f);
    return text;
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

void open_log(const std::string& path)
{
    LOG = std::make_unique<TextWriter>();
    ASSERT_TRUE(LOG->open(path));
}

std::string closed_log(const std::string& path)
{
    LOG.reset();
    return read_bytes(path);
}
