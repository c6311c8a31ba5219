// Hostile inputs, each with the bound that keeps what it costs in check: at the bound it is taken as any input, past it
// the program says what it did instead. What each costs in time and memory is measured by bench/hostile.py.
#include "app/counted.h"
#include "app/report_output.h"
#include "app/undo.h"
#include "engine/report/product_report.h"
#include "tests/test_support.h"
#include "tests/zip_maker.h"

#include <ctime>
#include <nlohmann/json.hpp>

namespace {

std::string product_report(fsys::MemoryFileSystem& disk, const std::vector<MadeEntry>& entries)
{
    disk.add_file(absolute("/p.zip"), made_zip(entries));
    return report_text(build_product_report(disk, {absolute("/p.zip")}, {}, 2));
}

struct Bounded {
    const char* input;
    // Sets the input up at its bound, or one past it, and tells what the program made of it.
    std::function<std::string(fsys::MemoryFileSystem& disk, bool past)> outcome;
    std::string at_bound, past_bound;  // said at the bound, and past it only
};

}  // namespace

TEST(HostileInput, EachBoundTakesWhatIsAtItAndSaysWhatIsPast)
{
    const std::vector<Bounded> table = {
        {"one reference used again and again",
         [](fsys::MemoryFileSystem& disk, bool past) {
             disk.add_file(absolute("/lib/a.pz2"), repeated("textureMap :Runtime:Textures:gone.jpg\n", k_uses_kept + (past ? 1 : 0)));
             return report_text(build_library_report(disk, {absolute("/lib")}, {absolute("/lib")}, 2));
         },
         " line 100\n\n", "  and 1 more use\n"},
        {"one reference used in document after document",
         [](fsys::MemoryFileSystem& disk, bool past) {
             for (std::size_t k = 0; k < k_uses_kept + (past ? 1 : 0); ++k) {
                 disk.add_file(absolute("/lib/a" + std::to_string(1000 + k) + ".pz2"), "textureMap :Runtime:Textures:gone.jpg\n");
             }
             return report_text(build_library_report(disk, {absolute("/lib")}, {absolute("/lib")}, 2));
         },
         "a1099.pz2 line 1\n\n", "  and 1 more use\n"},
        {"a zip entry's path",
         [](fsys::MemoryFileSystem& disk, bool past) {
             // "C:\\", the name and its ending NUL: 260 characters at the bound.
             const std::string name = "Runtime/" + std::string(244 + (past ? 1 : 0), 'a') + ".cr2";
             return product_report(disk, {MadeEntry("Runtime/Libraries/Character/a.cr2", "x\n"), MadeEntry(name, "x\n")});
         },
         "nothing to report", "package path_too_long Runtime/aaa"},
        {"a compressed document in a product zip",
         [](fsys::MemoryFileSystem& disk, bool past) {
             const std::string use = "textureMap :Runtime:Textures:a.jpg\n";
             std::string text = repeated(use, (8u << 20) / use.size() + 1);
             text.resize((8u << 20) + (past ? 1 : 0));
             disk.add_file(absolute("/p/Runtime/Textures/a.jpg"), "");
             return product_report(disk, {MadeEntry("Runtime/Libraries/Character/a.crz", gzip_text(text))});
         },
         "ok: 0", "(a gzip bomb)"},
        {"a manifest's nesting",
         [](fsys::MemoryFileSystem& disk, bool past) {
             // A manifest of a run that changed nothing, with a field nested so deep that the whole nests one more.
             const std::string run = absolute("/lib/tarnwick-runs/20261207-101010"), manifest = run + native("/manifest.json");
             const std::size_t depth = k_max_manifest_nesting - (past ? 0 : 1);
             disk.add_file(manifest, "{\"program\":\"tarnwick\",\"format\":1,\"started\":\"20261207-101010\",\"root\":" +
                                         nlohmann::json(absolute("/lib")).dump() + ",\"x\":" + std::string(depth, '[') +
                                         std::string(depth, ']') + ",\"files\":[]}");
             UndoOutcome outcome;
             std::string error;
             undo_run(disk, run, std::time(nullptr), outcome, error);
             // Written back with the fields a manifest has alone.
             return error + (disk.bytes(manifest).find("\"x\"") == std::string::npos ? "its fields alone" : "");
         },
         "its fields alone", "it nests deeper than 16 levels"},
        {"a line of a run log",
         [](fsys::MemoryFileSystem& disk, bool past) {
             const std::string head = "file " + absolute("/lib/"), tail = ".cr2 being corrected: old version is on";
             const std::string name = std::string(k_max_log_line_bytes - head.size() - tail.size() + (past ? 1 : 0), 'a');
             disk.add_file(absolute("/lib/" + name + ".cr2"), "corrected");
             disk.add_file(absolute("/lib/" + name + "_zz00.cr2"), "old");
             disk.add_file(absolute("/log.txt"), head + name + tail + "\r\n     " + absolute("/lib/" + name + "_zz00.cr2") + "\r\n");
             UndoOutcome outcome;
             std::string error;
             undo_from_log(disk, absolute("/log.txt"), {absolute("/lib")}, outcome, error);
             return counted(static_cast<long long>(outcome.restored.size()), "file", "files") + " restored";
         },
         "1 file restored", "0 files restored"},
    };
    for (const Bounded& b : table) {
        for (bool past : {false, true}) {
            SCOPED_TRACE(std::string(b.input) + (past ? ", past its bound" : ", at its bound"));
            fsys::MemoryFileSystem disk;
            const std::string said = b.outcome(disk, past);
            EXPECT_NE(said.find(past ? b.past_bound : b.at_bound), std::string::npos) << said.substr(0, 2000);
            EXPECT_EQ(said.find(b.past_bound) == std::string::npos, !past) << said.substr(0, 2000);
        }
    }
}

// A folder tree deeper than a thread of 1 MB (as Windows gives) holds a frame per folder for is walked
// whole, a document at its bottom read like any other.
TEST(HostileInput, AFolderTreeOfAnyDepthIsWalked)
{
    fsys::MemoryFileSystem disk;
    const std::string bottom = absolute("/lib") + repeated(native("/d"), 4000);
    disk.add_file(bottom + native("/a.pz2"), "textureMap :Runtime:Textures:gone.jpg\n");
    const LibraryReport r = build_library_report(disk, {absolute("/lib")}, {absolute("/lib")}, 2);
    EXPECT_EQ(r.problems.size() == 1 ? r.problems[0].uses.at(0).file : "", bottom + native("/a.pz2"));
}
