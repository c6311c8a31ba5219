// Fuzz target: the check and repair of one Poser file, the user picking the same geometry
// file for every missing one, held against what the model of the line rules expects.
#include "app/prompts-scripted.h"
#include "app/transcript.h"
#include "engine/repair/correction.h"
#include "engine/repair/library_rules.h"
#include "engine/repair/poserfile.h"
#include "engine/repair/run.h"
#include "engine/text/line_ends.h"
#include "engine/text/references.h"
#include "fuzz/line_model.h"
#include "tests/files.h"

#include <cstdint>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

// The geometry files of the sample installation, so that seeds taken from it find them.
const char* const k_pick = "Runtime/Geometries/tarnwick/man/man_hires.obj";
const char* const k_geometry[] = {"Runtime/Geometries/hair/bob.obj", "Runtime/Geometries/props/ball.obj",
                                  "Runtime/Geometries/props/chair.obj", "Runtime/Geometries/tarnwick/man/man.obj", k_pick};

static const TempDir g_folder;  // removed at the end of the run
static const std::string g_root = [] {
    for (const char* g : k_geometry) {
        write_bytes(g_folder.at("Poser/") + g, "v 0 0 0\n");
    }
    return g_folder.at("Poser");
}();

// The program's existence test: a readable regular file, and no NUL byte, which would end the name for the system.
static bool model_exists(const std::string& disk_path)
{
    struct stat st;
    return disk_path.find('\0') == std::string::npos && ::stat(disk_path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(disk_path.c_str(), R_OK) == 0;
}

// What the program should do with the input, worked out from the model alone.
struct Expected {
    bool repair = false, abandoned = false;  // a reference line without a marker fails the corrected copy
    std::string corrected;
    std::set<std::string> asked_for;  // the missing disk paths the user is asked about
};

static Expected expected_outcome(std::string_view input)
{
    Expected e;
    for (const std::string& line : poser_lines(input)) {
        const std::string t = model::trimmed(line);
        const model::Found m = model::marker_of(t);
        if (!model::is_reference(t)) {
            e.corrected += t + "\r\n";
            continue;
        }
        const std::string_view poser_path = std::string_view(t).substr(m.path_start);
        std::string disk = g_root + model::written_path(poser_path, false);
        std::replace(disk.begin() + static_cast<std::ptrdiff_t>(g_root.size()), disk.end(), ':', '/');
        const bool found = model_exists(disk);
        e.repair = e.repair || m.kind == model::Kind::prefix || !found;
        e.abandoned = e.abandoned || m.kind == model::Kind::none;
        if (!found && m.kind != model::Kind::none) {
            e.asked_for.insert(disk);
        }
        e.corrected += t.substr(0, m.kind == model::Kind::colon ? m.path_start - 1 : m.path_start);
        e.corrected += model::written_path(found ? poser_path : k_pick, false) + "\r\n";
    }
    return e;
}

// True when `after` differs from `before` only inside the paths of references.
static bool only_paths_changed(std::string_view before, std::string_view after)
{
    const std::vector<std::string_view> old_lines = lines_with_ends(before), new_lines = lines_with_ends(after);
    if (old_lines.size() != new_lines.size()) {
        return false;
    }
    for (std::size_t k = 0; k < old_lines.size(); ++k) {
        const std::string o(old_lines[k]), n(new_lines[k]);
        FileReference ref;
        const std::size_t body = o.find_first_of("\r\n") == std::string::npos ? o.size() : o.find_first_of("\r\n");
        if (o == n) {
            continue;
        }
        if (!find_file_reference(std::string_view(o).substr(0, body), ref) || n.size() < o.size() - ref.path_end ||
            n.compare(0, ref.path_begin, o, 0, ref.path_begin) != 0 ||
            n.compare(n.size() - (o.size() - ref.path_end), std::string::npos, o, ref.path_end) != 0) {
            return false;
        }
    }
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string chars = g_root + "/chars", file = chars + "/man.cr2";
    fs::remove_all(chars);
    Run run;
    run.posername = g_root;
    write_bytes(file, input);
    struct stat before;
    ::stat(file.c_str(), &before);

    ScriptedPrompts answers([]() -> std::optional<std::string> { return g_root + "/" + k_pick; });
    TranscriptPrompts wn(answers);
    readposerfile(run, file, wn);
    run.release_repllist();

    const Expected e = expected_outcome(input);
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(chars)) {
        names.insert(entry.path().filename().string());
    }
    const auto choosers = std::count_if(wn.lines().begin(), wn.lines().end(),
                                        [](const std::string& line) { return line.rfind("open\t", 0) == 0; });
    MODEL_CHECK(wn.lines().front() == "title\t" + file, "title first", input);
    if (!e.repair || e.abandoned) {
        struct stat after;
        ::stat(file.c_str(), &after);
        MODEL_CHECK(read_bytes(file) == input && after.st_ino == before.st_ino, "untouched file keeps its bytes", input);
        MODEL_CHECK(names == std::set<std::string>{"man.cr2"}, "no other file", input);
        MODEL_CHECK(e.repair || wn.lines().size() == 1, "no prompt for a file that needs no repair", input);
    }
    MODEL_CHECK(!e.repair || static_cast<std::size_t>(choosers) == e.asked_for.size(), "one chooser per missing file", input);
    if (e.repair && !e.abandoned) {
        MODEL_CHECK(names == (std::set<std::string>{"man.cr2", "man_zz00.cr2"}), "file and backup only", input);
        MODEL_CHECK(read_bytes(chars + "/man_zz00.cr2") == input, "backup holds the old text", input);
        MODEL_CHECK(read_bytes(file) == e.corrected, "corrected text", input);
    }

    // The same text compressed and padded, with the library rules: read to its end; a repair keeps the old bytes
    // in the backup and changes nothing but paths.
    fs::remove_all(chars);
    const std::string packed = chars + "/man.crz";
    write_gzip(packed, input, false, input.size() % 1000);
    const std::string old_bytes = read_bytes(packed);
    run.use_rules(std::make_unique<LibraryRules>(LibraryOptions{false, {g_root}, {}}));
    run.start();
    TranscriptPrompts packed_wn(answers);
    run.rules().repair(run, packed, packed_wn, fsys::Listed::unknown);
    run.release_repllist();
    const std::string text = read_gzip(packed);
    MODEL_CHECK(packed_wn.lines().back() != "warning\tnone\tI can't read this file\t" + packed, "padding read", input);
    if (fs::exists(chars + "/man_zz00.crz")) {
        MODEL_CHECK(read_bytes(chars + "/man_zz00.crz") == old_bytes, "compressed backup", input);
        MODEL_CHECK(only_paths_changed(input, text), "nothing but paths changed", input);
    } else {
        MODEL_CHECK(read_bytes(packed) == old_bytes, "compressed file untouched", input);
    }
    return 0;
}
