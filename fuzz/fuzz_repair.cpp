// Fuzz target: the check and repair of one Poser file under a fixed Poser root, the user
// picking the same geometry file for every missing one. Checks: a file that needs no repair
// is not touched; a repair leaves the old text whole in the backup and the corrected text,
// line for line, equal to the input with carriage returns dropped, trailing blanks and tabs
// cut and a line end after every line, where only reference lines differ.
#include "app/prompts-scripted.h"
#include "app/transcript.h"
#include "engine/correction.h"
#include "engine/engine_state.h"
#include "engine/existence.h"
#include "engine/poserfile.h"
#include "fuzz/fuzz_temp.h"
#include "fuzz/line_model.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The geometry files of the sample installation, so that seeds taken from it find them.
const char* const k_geometry[] = {
    "Runtime/Geometries/hair/bob.obj",          "Runtime/Geometries/props/ball.obj",
    "Runtime/Geometries/props/chair.obj",       "Runtime/Geometries/tarnwick/man/man.obj",
    "Runtime/Geometries/tarnwick/man/man_hires.obj",
};
const char* const k_pick = "Runtime/Geometries/tarnwick/man/man_hires.obj";

struct Setup {
    std::string root;
    std::string chars;
    std::string file;
    std::string backup;
    std::string pick;
};

const Setup& setup()
{
    static const Setup s = [] {
        Setup made;
        made.root = fuzz_folder() + "/Poser";
        made.chars = made.root + "/chars";
        made.file = made.chars + "/man.cr2";
        made.backup = made.chars + "/man_zz00.cr2";
        made.pick = made.root + "/" + k_pick;
        for (const char* g : k_geometry) {
            fs::create_directories(fs::path(made.root + "/" + g).parent_path());
            write_exactly(made.root + "/" + g, "v 0 0 0\n");
        }
        fs::create_directories(made.chars);
        return made;
    }();
    return s;
}

// Whether the program's existence test should pass: a readable regular file, and no NUL
// byte, which the system would take for the end of the name.
bool model_exists(const std::string& disk_path)
{
    struct stat st;
    return disk_path.find('\0') == std::string::npos && ::stat(disk_path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(disk_path.c_str(), R_OK) == 0;
}

std::string disk_path_of(const std::string& root, std::string_view poser_path)
{
    std::string out = root + "/";
    for (char c : poser_path) {
        out += (c == ':' || c == '\\') ? '/' : c;
    }
    return out;
}

// What the program should do with the input, worked out from the model alone.
struct Expected {
    bool repair = false;
    bool abandoned = false;  // a reference line without a marker fails the corrected copy
    std::string corrected;
    std::set<std::string> asked_for;  // the missing disk paths the user is asked about
};

Expected expected_outcome(std::string_view input, const Setup& s)
{
    Expected e;
    for (const std::string& line : model::lines_of(input)) {
        const std::string t = model::trimmed(line);
        if (!model::is_reference(t)) {
            e.corrected += t + "\r\n";
            continue;
        }
        const model::Found m = model::marker_of(t);
        const std::string_view poser_path = std::string_view(t).substr(m.path_start);
        const std::string disk = disk_path_of(s.root, poser_path);
        const bool found = model_exists(disk);
        e.repair = e.repair || m.kind == model::Kind::prefix || !found;
        if (m.kind == model::Kind::none) {
            e.abandoned = true;
            continue;
        }
        if (!found) {
            e.asked_for.insert(disk);
        }
        const std::size_t keep = m.kind == model::Kind::colon ? m.path_start - 1 : m.path_start;
        e.corrected += t.substr(0, keep);
        e.corrected += found ? model::written_path(poser_path, false) : model::written_path(k_pick, false);
        e.corrected += "\r\n";
    }
    return e;
}

void clear_folder(const std::string& folder)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        fs::remove_all(entry.path(), ec);
    }
}

std::vector<std::string> names_in(const std::string& folder)
{
    std::set<std::string> sorted;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        sorted.insert(entry.path().filename().string());
    }
    return {sorted.begin(), sorted.end()};
}

std::size_t count_choosers(const std::vector<std::string>& transcript)
{
    std::size_t n = 0;
    for (const std::string& line : transcript) {
        n += line.rfind("open\t", 0) == 0;
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Setup& s = setup();
    const std::string input(reinterpret_cast<const char*>(data), size);
    clear_folder(s.chars);
    posername = s.root;
    release_repllist();
    forget_existence();
    write_exactly(s.file, input);
    struct stat before;
    ::stat(s.file.c_str(), &before);

    ScriptedPrompts answers([&]() -> std::optional<std::string> { return s.pick; });
    TranscriptPrompts wn(answers);
    readposerfile(s.file, wn);
    release_repllist();

    const Expected e = expected_outcome(input, s);
    const std::vector<std::string> names = names_in(s.chars);
    MODEL_CHECK(wn.lines().front() == "title\t" + s.file, "title first", input);
    if (!e.repair || e.abandoned) {
        MODEL_CHECK(read_exactly(s.file) == input, "untouched file keeps its bytes", input);
        MODEL_CHECK(names == std::vector<std::string>{"man.cr2"}, "no other file", input);
        struct stat after;
        ::stat(s.file.c_str(), &after);
        MODEL_CHECK(after.st_ino == before.st_ino, "untouched file not replaced", input);
    }
    if (!e.repair) {
        MODEL_CHECK(wn.lines().size() == 1, "no prompt for a file that needs no repair", input);
        return 0;
    }
    MODEL_CHECK(count_choosers(wn.lines()) == e.asked_for.size(), "one chooser per missing file", input);
    if (e.abandoned) {
        return 0;
    }
    MODEL_CHECK(names == (std::vector<std::string>{"man.cr2", "man_zz00.cr2"}), "file and backup only", input);
    MODEL_CHECK(read_exactly(s.backup) == input, "backup holds the old text", input);
    MODEL_CHECK(read_exactly(s.file) == e.corrected, "corrected text", input);
    return 0;
}
