// Links in a library, walked by every reader: a link out of the library or to "/" is named and
// passed over, one into a root is followed, and a ladder of links reaches each folder once.
#include "engine/fsys/memory_fs.h"
#include "engine/library/walk.h"
#include "engine/repair/folder_walk.h"
#include "engine/report/library_report.h"
#include "tests/test_support.h"

namespace {

const std::string k_needs_repair = "prop 0 0 Runtime:Geometries:x.obj\n";  // a pointer not in colon notation
constexpr int k_rungs = 12;  // a ladder of two links a rung: 4096 ways to its top

struct LinkedLibrary {
    explicit LinkedLibrary(fsys::DiskRules rules) : disk(rules)
    {
        disk.add_file(native("/u/lib/Runtime/Geometries/x.obj"), "v\n");
        for (const char* doc : {"/u/lib/Runtime/Libraries/a.cr2", "/u/lib/Runtime/Geometries/g.cr2", "/u/private/p.cr2"}) {
            disk.add_file(native(doc), k_needs_repair);
        }
        disk.add_link(native("/u/lib/Runtime/Libraries/ext"), native("../../../private"));  // out of the library
        disk.add_link(native("/u/lib/Runtime/Libraries/all"), native("/"));
        disk.add_link(native("/u/lib/Runtime/Libraries/geo"), native("/u/lib/Runtime/Geometries"));  // into the root
        disk.add_link(native("/u/lib/Runtime/Libraries/ladder"), native("../ladder/0"));
        for (int k = 0; k < k_rungs; ++k) {
            for (const char* way : {"/a", "/b"}) {
                disk.add_link(native("/u/lib/Runtime/ladder/" + std::to_string(k) + way), native("../" + std::to_string(k + 1)));
            }
        }
        disk.add_file(native("/u/lib/Runtime/ladder/" + std::to_string(k_rungs) + "/top.cr2"), k_needs_repair);
    }
    Lines expected_notes()
    {
        return {link_not_followed_note(native("/u/lib/Runtime/Libraries/ext"), disk.absolute_path(native("/u/private"))),
                link_not_followed_note(native("/u/lib/Runtime/Libraries/all"), disk.absolute_path(native("/")))};
    }
    fsys::MemoryFileSystem disk;
    const std::string walked = native("/u/lib/Runtime/Libraries");
    const std::vector<std::string> roots{native("/u/lib")};
};

// Walks the library with `rules` in force (none: the default repair), as a run does.
long long repaired(LinkedLibrary& lib, std::unique_ptr<Rules> rules, Lines& notes)
{
    ::Run run(lib.disk);
    reset_engine(run, lib.roots.front());
    run.use_rules(std::move(rules));
    run.tell = [&notes](const std::string& line) { notes.push_back(line); };
    ScriptedPrompts answers(Lines{});
    YesToQuestions wn(answers);
    searchdir(run, lib.walked, wn);
    EXPECT_EQ(lib.disk.bytes(native("/u/private/p.cr2")), k_needs_repair);
    EXPECT_EQ(run.tally.checked, run.tally.corrected);
    return run.tally.corrected;
}

struct CountingSink : DryRunSink {
    void would_change(const std::string&, const std::string&, const std::string&) override {}
    void would_leave(const std::string&, std::string_view) override {}
};

}  // namespace

TEST(LinksInALibrary, OutOfItNamedIntoARootFollowedAndEachFolderWalkedOnce)
{
    for (fsys::DiskRules rules : {fsys::DiskRules::posix, fsys::DiskRules::windows}) {
        SCOPED_TRACE(rules == fsys::DiskRules::windows ? "Windows rules: a junction is never followed" : "POSIX rules");
        // a.cr2, g.cr2 through the link into the root, and the ladder's top once; Windows walks no junction.
        const long long documents = rules == fsys::DiskRules::windows ? 1 : 3;
        CountingSink sink;
        const std::function<long long(LinkedLibrary&, Lines&)> readers[] = {
            [](LinkedLibrary& lib, Lines& notes) {
                const LibraryReport r = build_library_report(lib.disk, {lib.walked}, lib.roots, 2);
                notes = r.root_notes;
                return r.files_read;
            },
            [](LinkedLibrary& lib, Lines& notes) { return repaired(lib, nullptr, notes); },
            [](LinkedLibrary& lib, Lines& notes) {
                return repaired(lib, std::make_unique<LibraryRules>(LibraryOptions{true, lib.roots, {}}), notes);
            },
            [&sink](LinkedLibrary& lib, Lines& notes) {
                auto dry = std::make_unique<LibraryRules>(LibraryOptions{true, lib.roots, {}});
                dry->set_dry_run(&sink);
                return repaired(lib, std::move(dry), notes);
            },
        };
        for (const auto& read : readers) {
            LinkedLibrary lib(rules);
            Lines notes;
            EXPECT_EQ(read(lib, notes), documents);
            Lines expected = lib.expected_notes();
            std::sort(notes.begin(), notes.end());
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(notes, expected);
        }
    }
}
