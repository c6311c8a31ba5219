// The window program's extended mode as the runs see it: Poser's LibraryPrefs.xml found, the options saved and put in
// force, the folder picker, no question after each folder, the Cancel button, the summary, and the report's page.
#include "app/content_roots.h"
#include "app/library_prefs_search.h"
#include "app/report_output.h"
#include "app/report_page.h"
#include "app/runs.h"
#include "app/window_options.h"
#include "app/window_status.h"
#include "engine/fsys/memory_fs.h"

#include "tests/test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

class WindowRuns : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
#ifdef _WIN32
        SetEnvironmentVariableA("APPDATA", roaming.c_str());
#else
        ::setenv("XDG_CONFIG_HOME", dir.at("config").c_str(), 1);
        ::setenv("WINEPREFIX", dir.at("wine").c_str(), 1);
#endif
    }
    // A LibraryPrefs.xml registering `folder`, changed `age` seconds ago.
    void prefs(const std::string& at, const std::string& folder, int age)
    {
        write_bytes(at, "<LibraryPrefs><ContentFolder folder=\"" + folder + "\" /></LibraryPrefs>");
        std::filesystem::last_write_time(at, std::filesystem::file_time_type::clock::now() - std::chrono::seconds(age));
    }

#ifdef _WIN32
    const std::string roaming = dir.at("roaming");
#else
    const std::string roaming = dir.at("wine/drive_c/users/me/AppData/Roaming");
#endif
    Lines picks;  // what the folder picker was asked for
};

TEST_F(WindowRuns, PoserPrefsFoundAndOptionsSavedAndPutInForce)
{
    std::string found = "auto", error;
    EXPECT_FALSE(resolve_library_prefs(found, error));
    EXPECT_EQ(error.find("no LibraryPrefs.xml found in Poser"), 0u);
    write_bytes(dir.at("content/Runtime/Geometries/x.obj"), "");
    prefs(roaming + "/Poser Pro/11/LibraryPrefs.xml", dir.at("old"), 300);
    prefs(roaming + "/Poser/12/libraryprefs.xml", dir.at("content"), 100);
    prefs(roaming + "/Other/1/LibraryPrefs.xml", dir.at("other"), 0);  // not Poser's
    found = "auto";
    EXPECT_TRUE(resolve_library_prefs(found, error) && found == native(roaming + "/Poser/12/libraryprefs.xml")) << found << error;

    EXPECT_EQ(read_window_options(), WindowOptions{});
    const struct {
        WindowOptions from;
        WindowOption item;
        WindowOptions to;
    } cases[] = {{{false, false}, WindowOption::automatic, {true, true}},
                 {{true, true}, WindowOption::extended, {false, false}},
                 {{true, true}, WindowOption::automatic, {true, false}},
                 {{false, false}, WindowOption::extended, {true, false}}};
    for (const auto& c : cases) {
        EXPECT_EQ(switched(c.from, c.item), c.to);
    }
    ASSERT_TRUE(save_window_options({false, true}));  // automatic alone brings the extended mode
    EXPECT_EQ(read_window_options(), (WindowOptions{true, true}));

    apply_window_options(session, read_window_options(), [](std::string&, std::string_view, std::string_view) { return 0; });
    const auto* in_force = dynamic_cast<const LibraryRules*>(&session.run.rules());
    ASSERT_TRUE(in_force != nullptr);
    EXPECT_TRUE(in_force->options().automatic && session.dialogue->stopped_by_cancel_button());
    EXPECT_EQ(in_force->options().roots, (Lines{dir.at("Poser"), dir.at("content")}));
    apply_window_options(session, {}, [](std::string&, std::string_view, std::string_view) { return 0; });  // a picker, unused
    EXPECT_TRUE(dynamic_cast<const LibraryRules*>(&session.run.rules()) == nullptr);
    EXPECT_FALSE(session.dialogue->stopped_by_cancel_button());
}

TEST_F(WindowRuns, ExtendedRunsPickFoldersLeaveCancelledFilesAndEndWithASummary)
{
    write_files(dir, {"lib/1/a.cr2", "lib/2/b.hr2"}, "figureResFile :geom:gone.obj\n");
    write_bytes(dir.at("lib/2/c.pp2"), "figureResFile :geom:new.obj\n");
    apply_window_options(session, {true, false}, [this](std::string& folder, std::string_view initdir, std::string_view title) {
        picks.push_back(std::string(initdir) + "|" + std::string(title));
        folder = dir.at("lib");
        return picks.size() == 1 ? 1 : 0;  // cancelled the second time
    });
    // The missing mesh is asked for once and left; nothing is asked after each folder.
    ScriptedSession s({"cancel", "yes", dir.at("lib/2/c.pp2"), "no"});
    menu_command(session, k_check_folder, s.wn);
    EXPECT_EQ(picks, Lines{dir.at("Poser") + "|folder to be checked"});
    const std::string summary = "files checked: 3, corrected: 0, abandoned: 0, references replaced: 0, left as they are: 2";
    const auto asked = [](const std::string& line) {  // each prompt's kind and owner, the titles passed over
        return line.rfind("title", 0) == 0 ? std::string() : line.substr(0, line.find('\t', line.find('\t') + 1)) + "|";
    };
    EXPECT_EQ(joined(s.transcript(), asked, ""), "open\tmain|information\tnone|question\tnone|");
    EXPECT_EQ(s.transcript().back(), "question\tnone\tdo you want to see my log for this run?\t" + log + "\\n\\n" + summary + "\tyes");
    // Asked once, and said under each file that still names it.
    const std::string text = read_bytes(log);
    for (const char* file : {"lib/1/a.cr2", "lib/2/b.hr2"}) {
        EXPECT_NE(text.find("file " + dir.at(file) + ": nothing changed\r\n      left as it is: :geom:gone.obj\r\n"), std::string::npos);
    }
    EXPECT_EQ(text.substr(text.size() - summary.size() - 2), summary + "\r\n");
    // A file needing nothing: its log still says so, and the chooser lists every document.
    menu_command(session, k_check_file, s.wn);
    EXPECT_EQ(read_bytes(log),
              "no alterations\r\nfiles checked: 1, corrected: 0, abandoned: 0, references replaced: 0, left as they are: 0\r\n");
    menu_command(session, k_check_folder, s.wn);  // the picker cancelled: nothing is checked, nothing asked
    // It proposes no name (the log's, which the last run left, is no Poser file).
    EXPECT_EQ(s.transcript()[s.transcript().size() - 3].find("open\tmain\tfile to check?\t\t" + dir.at("Poser") + "\tPoser documents\t"), 0u);
}

TEST_F(WindowRuns, TheCancelButtonEndsTheRunAtTheNextFileAndStillOffersTheLog)
{
    write_files(dir, {"lib/1/a.cr2", "lib/2/b.cr2"}, "figureResFile :geom:gone.obj\n");
    apply_window_options(session, {true, false}, [this](std::string& folder, std::string_view, std::string_view) {
        folder = dir.at("lib");
        return 1;
    });
    WindowStatus status;
    int asked = 0;
    ScriptedPrompts answers([&]() -> std::optional<std::string> {
        if (asked++ == 0) {
            cancel_run(session);  // pressed while the chooser shows
            status.run_started();
            return "cancel";
        }
        return "no";
    });
    TranscriptPrompts wn(answers);
    menu_command(session, k_check_folder, wn);
    EXPECT_EQ(std::count_if(wn.lines().begin(), wn.lines().end(), [](const std::string& l) { return l.rfind("title", 0) == 0; }), 1);
    // The closing question and the log say where the run stopped, and count only what was done: the file in hand
    // stays as it was and counts as not checked.
    EXPECT_EQ(wn.lines().back().find("question\tnone\tdo you want to see my log for this run?\t" + log +
                                     "\\n\\nstopped before its end: 0 of 2 files checked\\nfiles checked: 0, corrected: 0"),
              0u);
    EXPECT_NE(read_bytes(log).find("stopped before its end: 0 of 2 files checked\r\n"), std::string::npos);
    EXPECT_FALSE(run_stop::requested());
    status.run_ended(session.run.tally, true);
    EXPECT_EQ(status.lines(session.run.tally).back(), "Last run (cancelled): 0 of 2 files checked, corrected: 0.");
    cancel_run(session);  // no run: nothing to stop
    EXPECT_FALSE(run_stop::requested());
}

TEST(ReportPage, NamedByTimeNeverReplacedAndPathsFromTheRoots)
{
    TempDir dir;
    const std::time_t t = local_time("2024-05-07 09:05:03");
    EXPECT_EQ(report_page_name(t), "library-report-2024-05-07-090503.html");
    std::string tried;
    const std::string folder = dir.at("local/tarnwick/reports");
    EXPECT_EQ(write_report_page(fsys::disk(), folder, t, "one", tried), folder + fsys::k_sep + "library-report-2024-05-07-090503.html");
    EXPECT_EQ(read_bytes(write_report_page(fsys::disk(), folder, t, "two", tried)), "two");
    EXPECT_EQ(tried, folder + fsys::k_sep + "library-report-2024-05-07-090503-2.html");
    write_bytes(dir.at("file"), "");
    EXPECT_EQ(write_report_page(fsys::disk(), dir.at("file/reports"), t, "x", tried), "");
    EXPECT_EQ(tried, dir.at("file/reports/library-report-2024-05-07-090503.html"));
    // The window shows the newest page: by its time, then its number (10 after 9); names no page is made with are
    // passed over, however new they look.
    fsys::MemoryFileSystem pages;
    for (const char* name : {"09-9.html", "09-10.html", "09.html", "08-99.html", "09-100.html", "09-1x.html", "09-.html",
                             "09-70.htm", "1.html", "x.html"}) {
        pages.add_file(absolute("/p/library-report-2024-05-07-0905") + name, "");
    }
    pages.add_file(absolute("/p/xlibrary-report-2024-05-07-090509-20.html"), "");
    pages.add_folder(absolute("/p/library-report-2024-05-07-090509-30.html"));
    EXPECT_EQ(newest_report_page(pages, absolute("/p")), absolute("/p/library-report-2024-05-07-090509-10.html"));
    EXPECT_EQ(newest_report_page(pages, absolute("/none")), "");

    LibraryReport r{{dir.at("r")}, 1, 0, 0, false, {}, 1, 0, {}, {}};
    r.problems = {{":b.jpg", RefKind::image, RefStatus::moved, {dir.at("r/t/b.jpg")}, {{dir.at("rx/y.cr2"), 4}}}};
    r.library_prefs = "<prefs>.xml";
    const std::string page = report_html(r, "1", PagePaths::from_roots);
    expect_pieces(page, {"<li><span title=\"" + dir.at("r/t/b.jpg") + "\">t" + fsys::k_sep + "b.jpg</span></li>",
                         "<li>" + dir.at("rx/y.cr2") + " line 4</li>", "Content folders from &lt;prefs&gt;.xml",
                         "<p>Paths below a root are shown from it;"});
    EXPECT_EQ(report_html(r, "1").find("Paths below a root"), std::string::npos);
}

// The lines the window's status shows in each state: the hint and the last outcome when idle,
// the file in hand and the counts during a run (of the documents counted first, when they were),
// the work's title and its progress during a report, a collect, an install or a move.
TEST(WindowStatusLines, EachStateSaysWhatIsGoingOn)
{
    WindowStatus status;
    RunTally tally;
    const std::string hint = "Drop a Poser file or a folder here to check it.";
    EXPECT_EQ(status.lines(tally).size(), 2u);
    EXPECT_EQ(status.lines(tally).front(), hint);
    status.run_started();
    tally.checked = 3;
    tally.corrected = 1;
    EXPECT_EQ(status.lines(tally), Lines({"Checking...", "files checked: 3, corrected: 1"}));
    status.file_in_hand("/lib/a.cr2");
    tally.total = 7;
    EXPECT_EQ(status.lines(tally), Lines({"Checking /lib/a.cr2", "3 of 7 files checked, corrected: 1"}));
    status.run_ended(tally, false);
    EXPECT_EQ(status.lines(tally), Lines({hint, status.lines(tally)[1], "Last run: 3 of 7 files checked, corrected: 1."}));

    status.report_started("/lib");
    EXPECT_EQ(status.lines(tally), Lines({"Library report of /lib", "looking for Poser documents..."}));
    // The bytes counted as the disk holds them, compressed or not.
    status.report_progress(5, 9, 2500000, 2.0);
    EXPECT_EQ(status.lines(tally), Lines({"Library report of /lib", "5 of 9 files, 2.5 MB read from disk, 1.2 MB/s"}));
    status.report_progress(3, 10, 3000000, 2.0);
    EXPECT_EQ(status.lines(tally)[1], "3 of 10 files, 3.0 MB read from disk, 1.5 MB/s");
    status.report_progress(0, 9, 0, 0.0);
    EXPECT_EQ(status.lines(tally)[1], "0 of 9 files, 0.0 MB read from disk, 0.0 MB/s");
    const std::tuple<long long, long long, std::string> amounts[] = {
        {500, 999999, "0.5 of 1000.0 kB written"}, {500, 1000000, "0.0 of 1.0 MB written"}, {500, 2500000, "0.0 of 2.5 MB written"},
        {1500, 40000, "1.5 of 40.0 kB written"}};  // the last: a few small files
    for (const auto& [done, total, line] : amounts) {
        status.collect_progress(true, done, total);
        EXPECT_EQ(status.lines(tally)[1], line);
    }
    status.collect_progress(false, 2, 12);
    EXPECT_EQ(status.lines(tally)[1], "2 of 12 documents read");
    status.bytes_progress(1500000, 3000000, "unpacked");
    EXPECT_EQ(status.lines(tally)[1], "1.5 of 3.0 MB unpacked");
    status.report_ended("one line\nand another");
    EXPECT_EQ(status.lines(tally), Lines({hint, status.lines(tally)[1], "one line", "and another"}));
}

// A root named through a link and then ".." is the folder the system finds there, not the one its text names.
TEST(ContentRoots, EachRootIsTheFolderTheSystemFindsOrTheParentOfItsRuntimeFolder)
{
    fsys::MemoryFileSystem disk;
    disk.add_folder(absolute("/other/deep"));
    disk.add_link(absolute("/lib/l"), absolute("/other/deep"));
    const bool by_text = k_native_style == PathStyle::windows;  // where ".." is read from the text alone
    EXPECT_EQ(normalised_root(disk, absolute("/lib/l/..")), absolute(by_text ? "/lib" : "/other"));
    EXPECT_EQ(normalised_root(disk, absolute("/../lib")), absolute("/lib"));  // nothing lies above the top folder
    // A Runtime folder stands for its parent; a folder holding Libraries, or a Runtime folder holding one, is itself.
    for (const char* folder : {"/c/Runtime/Textures", "/d/Libraries", "/e/Runtime/Runtime/Textures"}) {
        disk.add_folder(absolute(folder));
    }
    std::vector<std::string> roots, notes;
    std::string error;
    ASSERT_TRUE(gather_content_roots(disk, {absolute("/c/Runtime"), absolute("/d"), absolute("/e/Runtime")}, "", roots, error, notes));
    EXPECT_EQ(roots, (std::vector<std::string>{absolute("/c"), absolute("/d"), absolute("/e/Runtime")}));
    EXPECT_EQ(notes.size(), 1u);
}
