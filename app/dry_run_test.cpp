// A document another program saves at any step: the dry run shows one version's whole change, or warns of what it showed.
#include "app/dry_run.h"
#include "tests/changing_disk.h"
#include "tests/test_support.h"

namespace {

const std::string k_root = absolute("/lib"), k_document = absolute("/lib/Runtime/Libraries/Props/ball.pp2");

// The dry run of the document's repair on `disk`: what it shows (on a terminal, a file or pipe), and its prompts.
std::string dry_run_of(fsys::MemoryFileSystem& disk, Lines* prompts = nullptr, const std::string& doc = k_document, bool terminal = false)
{
    std::string shown;
    ::Run run(disk);
    std::FILE* screen = std::tmpfile();
    DryRunPrinter printer = terminal ? DryRunPrinter(screen, true) : DryRunPrinter([&](std::string_view text) { shown += text; });
    printer.set_roots({k_root});
    start_engine(run, k_root, true, false, &printer);
    const Lines seen = seen_repairing(run, doc, {}, disk);
    if (prompts != nullptr) {
        *prompts = seen;
    }
    reset_engine(run, "");
    return shown + file_text(screen);
}

}  // namespace

TEST(DryRun, ADocumentSavedMeanwhileShowsOneVersionsChanges)
{
    const Lines warned{"title\t" + k_document, "warning\tnone\tthis file changed while its changes were shown\t" + k_document};
    for (const std::size_t copies : {1, 2000}) {  // a long one saved while its changes go out: the user is warned
        const std::string old_text = repeated("prop ball\n{\nobjFileGeom 0 0 Runtime:Geometries:ball.obj\n}\n", copies);
        const std::string new_text = "# saved meanwhile\n" + old_text;
        std::string shown;
        Lines prompts;
        const auto setup = [&](fsys::MemoryFileSystem& disk, const std::string& text) {
            disk.add_file(k_document, text);
            disk.add_file(absolute("/lib/Runtime/Geometries/ball.obj"), "");
        };
        const auto work = [&](fsys::MemoryFileSystem& disk) { shown = dry_run_of(disk, &prompts); };
        const auto diff_of = [&](const std::string& text) { return left_by(setup, text, work, [&](auto&) { return shown; }); };
        const std::string from_old = diff_of(old_text), from_new = diff_of(new_text);
        ASSERT_NE(from_old.find("\n+objFileGeom 0 0 :Runtime:Geometries:ball.obj\n"), std::string::npos);
        const int steps = at_every_step(setup, old_text, k_document, new_text, work, [&](fsys::MemoryFileSystem& disk, bool changed) {
            EXPECT_TRUE(shown == from_old || shown == from_new || (copies > 1 && prompts == warned)) << shown.substr(0, 200);
            EXPECT_EQ(disk.bytes(k_document), changed ? new_text : old_text);
            EXPECT_EQ(disk.files_below(k_root).size(), 2u);
        });
        EXPECT_GT(steps, 5);
    }
}

// The diff of a document: hunks of three lines of context, joined where their context meets (six lines apart, not
// seven), each headed by the lines it covers before and after, the last line marked when it has no line end.
TEST(DryRun, HunksCoverTheirLinesWithThreeOfContext)
{
    const std::string ref = "objFileGeom 0 0 Runtime:Geometries:ball.obj", fixed = "objFileGeom 0 0 :Runtime:Geometries:ball.obj";
    const auto lines = [](int from, int to) {
        std::string text;
        for (int k = from; k <= to; ++k) {
            text += "l" + std::to_string(k) + "\n";
        }
        return text;
    };
    const struct {
        std::string text;
        std::string diff;
        bool terminal = false;
    } cases[] = {
        {ref, "@@ -1 +1 @@\n-" + ref + "\n\\ No newline at end of file\n+" + fixed + "\n\\ No newline at end of file\n"},
        {lines(1, 1) + ref + "\n" + lines(3, 4), "@@ -1,4 +1,4 @@\n l1\n-" + ref + "\n+" + fixed + "\n l3\n l4\n"},
        {lines(1, 1) + ref + "\n" + lines(3, 9) + ref + "\n" + lines(11, 11),
         "@@ -1,5 +1,5 @@\n l1\n-" + ref + "\n+" + fixed + "\n l3\n l4\n l5\n@@ -7,5 +7,5 @@\n l7\n l8\n l9\n-" + ref + "\n+" +
             fixed + "\n l11\n"},
        {lines(1, 4) + ref + "\n" + lines(6, 11) + ref + "\n" + lines(13, 20),
         "@@ -2,14 +2,14 @@\n l2\n l3\n l4\n-" + ref + "\n+" + fixed + "\n l6\n l7\n l8\n l9\n l10\n l11\n-" + ref + "\n+" + fixed +
             "\n l13\n l14\n l15\n"},
        // On a terminal a line's control characters are made visible; its line end is kept.
        {"# \x1b[2J\r\n" + ref + "\n", "@@ -1,2 +1,2 @@\n # \\e[2J\\r\n-" + ref + "\n+" + fixed + "\n", true},
    };
    for (const auto& c : cases) {
        fsys::MemoryFileSystem disk;
        disk.add_file(k_document, c.text);
        disk.add_file(absolute("/lib/Runtime/Geometries/ball.obj"), "");
        const std::string shown = dry_run_of(disk, nullptr, k_document, c.terminal);
        const std::size_t hunk = shown.find("@@");
        EXPECT_EQ(hunk == std::string::npos ? shown : shown.substr(hunk), c.diff);
        EXPECT_EQ(disk.bytes(k_document), c.text);
    }
}

#ifndef _WIN32  // no Windows name holds a quote or a control character
// A name with a quote, backslash or control character is headed in C quotes (git, patch); a blank or UTF-8 is not.
TEST(DryRun, ANameThatNeedsQuotesIsHeadedInThem)
{
    fsys::MemoryFileSystem disk;
    const std::string doc = absolute("/lib/Runtime/Libraries/Props/b \"a\\l\tl\x7f\xc3\xa9.pp2");
    disk.add_file(doc, "objFileGeom 0 0 Runtime:Geometries:ball.obj\n");
    disk.add_file(absolute("/lib/Runtime/Geometries/ball.obj"), "");
    const std::string shown = dry_run_of(disk, nullptr, doc);
    const std::string name = "/Runtime/Libraries/Props/b \\\"a\\\\l\\011l\\177\xc3\xa9.pp2\"\t\n";
    EXPECT_EQ(shown.substr(0, shown.find("@@")), "--- \"a" + name + "+++ \"b" + name);
}
#endif
