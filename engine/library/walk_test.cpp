// Links in a library, walked by every reader: a link out of the library or to "/" is named and
// passed over, one into a root is followed, and a ladder of links reaches each folder once.
#include "engine/repair/folder_walk.h"
#include "engine/report/library_report.h"
#include "tests/test_support.h"

namespace {

const std::string k_needs_repair = "prop 0 0 Runtime:Geometries:x.obj\n";  // a pointer not in colon notation
const std::string k_walked = native("/u/lib/Runtime/Libraries");

// a.cr2, g.cr2 behind a link into the root, p.cr2 behind one out of it, a ladder of two links a rung, 4096 ways up.
void make_library(fsys::MemoryFileSystem& disk)
{
    disk.add_file(native("/u/lib/Runtime/Geometries/x.obj"), "v\n");
    for (const char* doc : {"/u/lib/Runtime/Libraries/a.cr2", "/u/lib/Runtime/Geometries/g.cr2", "/u/private/p.cr2",
                            "/u/lib/Runtime/ladder/12/top.cr2"}) {
        disk.add_file(native(doc), k_needs_repair);
    }
    disk.add_link(native("/u/lib/Runtime/Libraries/ext"), native("../../../private"));
    disk.add_link(native("/u/lib/Runtime/Libraries/all"), native("/"));
    disk.add_link(native("/u/lib/Runtime/Libraries/geo"), native("/u/lib/Runtime/Geometries"));
    disk.add_link(native("/u/lib/Runtime/Libraries/ladder"), native("../ladder/0"));
    for (int k = 0; k < 12; ++k) {
        disk.add_link(native("/u/lib/Runtime/ladder/" + std::to_string(k) + "/a"), native("../" + std::to_string(k + 1)));
        disk.add_link(native("/u/lib/Runtime/ladder/" + std::to_string(k) + "/b"), native("../" + std::to_string(k + 1)));
    }
}

// What the default repair, or the extended one (a dry run when `dry` hears it), corrects walking the library; its notes.
long long corrected(fsys::MemoryFileSystem& disk, bool extended, DryRunSink* dry, Lines& notes)
{
    ::Run run(disk);
    start_engine(run, native("/u/lib"), extended, true, dry);
    run.tell = [&notes](const std::string& line) { notes.push_back(line); };
    ScriptedSession s;
    searchdir(run, k_walked, s.yes);
    EXPECT_EQ(disk.bytes(native("/u/private/p.cr2")), k_needs_repair);
    EXPECT_EQ(run.tally.checked, run.tally.corrected);
    return run.tally.corrected;
}

}  // namespace

TEST(LinksInALibrary, OutOfItNamedIntoARootFollowedAndEachFolderWalkedOnce)
{
    const std::vector<std::string> roots{native("/u/lib")};
    UnheardDryRun unheard;
    const std::function<long long(fsys::MemoryFileSystem&, Lines&)> readers[] = {
        [&](fsys::MemoryFileSystem& disk, Lines& notes) {
            const LibraryReport r = build_library_report(disk, {k_walked}, roots, 2);
            notes = r.root_notes;
            return r.files_read;
        },
        [](fsys::MemoryFileSystem& disk, Lines& notes) { return corrected(disk, false, nullptr, notes); },
        [](fsys::MemoryFileSystem& disk, Lines& notes) { return corrected(disk, true, nullptr, notes); },
        [&](fsys::MemoryFileSystem& disk, Lines& notes) { return corrected(disk, true, &unheard, notes); },
    };
    for (fsys::DiskRules rules : {fsys::DiskRules::posix, fsys::DiskRules::windows}) {
        for (const auto& read : readers) {
            fsys::MemoryFileSystem disk(rules);
            make_library(disk);
            Lines notes;
            // a.cr2, g.cr2 and the ladder's top once; Windows follows no junction, but names those leading out.
            EXPECT_EQ(read(disk, notes), rules == fsys::DiskRules::windows ? 1 : 3);
            std::sort(notes.begin(), notes.end());
            EXPECT_EQ(notes, (Lines{link_not_followed_note(native("/u/lib/Runtime/Libraries/all"), disk.absolute_path(native("/"))),
                                    link_not_followed_note(native("/u/lib/Runtime/Libraries/ext"),
                                                           disk.absolute_path(native("/u/private")))}));
        }
    }
}
