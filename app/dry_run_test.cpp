// The dry run of a document that another program saves at any step: the diff shown is the whole change of one version,
// or nothing and a warning.
#include "app/dry_run.h"
#include "tests/changing_disk.h"
#include "tests/test_support.h"

TEST(DryRun, ADocumentSavedMeanwhileShowsOneVersionsChanges)
{
    const std::string root = absolute("/lib"), doc = absolute("/lib/Runtime/Libraries/Props/ball.pp2");
    const std::string old_text = "prop ball\n{\nobjFileGeom 0 0 Runtime:Geometries:ball.obj\n}\n";
    const std::string new_text = "# saved meanwhile\n" + old_text;
    std::string shown;
    int warnings = 0;
    const auto setup = [&](fsys::MemoryFileSystem& disk, const std::string& text) {
        disk.add_file(doc, text);
        disk.add_file(absolute("/lib/Runtime/Geometries/ball.obj"), "");
    };
    const auto work = [&](fsys::MemoryFileSystem& disk) {
        shown.clear();
        ::Run run(disk);
        reset_engine(run, root);
        DryRunPrinter printer([&](std::string_view text) { shown += text; });
        printer.set_roots({root});
        use_library_rules(run, LibraryOptions{false, {root}, {}}).set_dry_run(&printer);
        ScriptedPrompts wn(Lines{}, disk);
        ::repair(run, doc, wn);
        warnings = static_cast<int>(wn.prompts_shown());
        reset_engine(run, "");
    };
    const auto diff_of = [&](const std::string& text) { return left_by(setup, text, work, [&](auto&) { return shown; }); };
    const std::string from_old = diff_of(old_text), from_new = diff_of(new_text);
    ASSERT_NE(from_old.find("\n+objFileGeom 0 0 :Runtime:Geometries:ball.obj\n"), std::string::npos);
    const int steps = at_every_step(setup, old_text, doc, new_text, work, [&](fsys::MemoryFileSystem& disk, bool changed) {
        EXPECT_TRUE(shown == from_old || shown == from_new || (shown.empty() && warnings == 1)) << shown;
        EXPECT_EQ(disk.bytes(doc), changed ? new_text : old_text);
        EXPECT_EQ(disk.files_below(root).size(), 2u);
    });
    EXPECT_GT(steps, 5);
}
