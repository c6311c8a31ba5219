// The window's extras driven through its procedure: the library report on its worker thread (cancelled, closed, or
// written and opened), the window menu's options, the extended repair with its folder picker, status text and title.
#include "winshell/main_window.h"

#include "app/runs.h"
#include "app/settings.h"
#include "app/window_options.h"
#include "tests/ink_bounds-win32.h"
#include "tests/main_window-win32.h"
#include "tests/zip_maker.h"
#include "winshell/install_window.h"
#include "winshell/move_window.h"
#include "winshell/report_window.h"
#include "winshell/resource.h"
#include "winshell/window_extras.h"

#include <commctrl.h>

class WindowExtras : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        write_files(dir, {"Poser/Runtime/Geometries/man.obj", "content/Runtime/Geometries/hat.obj"}, "");
        write_bytes(dir.at("roaming/Poser Pro/11/LibraryPrefs.xml"), "<ContentFolder folder=\"" + dir.at("content") + "\"/>");
        use_folder_picker([this](std::string& folder, std::string_view, std::string_view title) {
            picked.push_back(std::string(title));
            folder = dir.at(folders[(picked.size() - 1) % folders.size()]);
            return 1;
        });
        use_page_opener([this](const std::string& page) {
            opened.push_back(page);
            return true;
        });
        main_session().log_viewer = nullptr;
    }
    void TearDown() override
    {
        MainWindowTest::TearDown();
        save_window_options({});
    }
    // Handles the window's messages until the report (or move, or install) has ended, as the message loop does.
    void pump_until_report_ends()
    {
        for (int k = 0; k < 2000 && (report_running() || move_running() || install_running()); ++k) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageA(&msg);
            }
            Sleep(5);
        }
    }
    std::string status() const { return joined(window_status().lines(main_session().run.tally), std::identity{}, "\n"); }
    // The greyed commands of the menu bar, the window menu and the right-click menu, each ended by "|".
    static std::string greyed()
    {
        return joined(std::initializer_list<HMENU>{GetMenu(mwn), GetSystemMenu(mwn, FALSE), context_menu()}, [](HMENU menu) {
            return joined(std::initializer_list<UINT>{256, 259, 257, 258, 272, 352, 368, 384, 288, 304, 336}, [menu](UINT id) {
                const UINT state = GetMenuState(menu, id, MF_BYCOMMAND);
                return state != 0xFFFFFFFF && (state & MF_GRAYED) ? std::to_string(id) + " " : "";
            }, "");
        }, "|");
    }
    static bool takes_drops() { return (GetWindowLongPtrA(mwn, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0; }

    Lines picked, opened;
    Lines folders{"lib"};  // the folder picker's answers in turn
};

TEST_F(WindowExtras, TheReportRunsBesideTheWindowAndIsCancelledClosedOrOpened)
{
    write_bytes(dir.at("lib/a.cr2"), "figureResFile :Runtime:Geometries:man.obj\nprop hat :Runtime:Geometries:old:hat.obj\n");
    write_bytes(dir.at("lib/sub/b.cr2"), "figureResFile :Runtime:Geometries:gone.obj\n");
    create_window({"yes"});
    EXPECT_EQ(greyed(), "|352 |352 |");  // no page yet
    // The command returns at once: the report goes on while the window handles its messages.
    command(IDM_LIBRARY_REPORT);
    EXPECT_TRUE(report_running() && main_session().run_in_progress && IsWindowVisible(GetDlgItem(wn, IDC_CANCEL_WORK)));
    EXPECT_EQ(status().find("Library report of " + dir.at("lib") + "\n"), 0u);
    // Meanwhile nothing else can start: its commands are greyed and drops refused.
    EXPECT_EQ(greyed(), "256 259 |272 352 368 384 288 304 336 |272 352 368 384 288 304 336 |");
    EXPECT_FALSE(takes_drops());
    command(k_help);  // help still answers
    EXPECT_EQ(seen->lines().back().rfind("information\tnone\t\tFor information, read the file tarnwick_readme.txt", 0), 0u);
    command(IDC_CANCEL_WORK);
    pump_until_report_ends();
    EXPECT_TRUE(opened.empty() && !run_stop::requested() && !main_session().run_in_progress);
    EXPECT_NE(status().find("Last report: cancelled.\n"), std::string::npos);
    EXPECT_TRUE(greyed() == "|352 |352 |" && takes_drops());

    SendMessageA(wn, WM_SYSCOMMAND, IDM_LIBRARY_REPORT, 0);
    pump_until_report_ends();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].rfind(dir.at("local/tarnwick/reports/library-report-"), 0), 0u);
    // The page is signed by the program that made it.
    expect_pieces(read_bytes(opened[0]), {"Content folders from " + dir.at("roaming/Poser Pro/11/LibraryPrefs.xml"),
                                          "<li><span title=\"" + dir.at("content/Runtime/Geometries/hat.obj") +
                                              "\">Runtime\\Geometries\\hat.obj</span></li>",
                                          "<p><small>tarnwick "});
    EXPECT_NE(status().find("Last report: 2 files read, 2 references moved, missing or refused.\nThe page: " + opened[0] + "\n"), std::string::npos);
    EXPECT_EQ(picked, (Lines{"folder of the library to report on", "folder of the library to report on"}));
    EXPECT_EQ(seen->lines().size(), 2u);  // the root question and the help alone
    // The page opens again from either menu.
    EXPECT_EQ(greyed(), "|||");
    SendMessageA(wn, WM_SYSCOMMAND, IDM_OPEN_LAST_REPORT, 0);
    command(IDM_OPEN_LAST_REPORT);
    EXPECT_EQ(opened, (Lines{opened[0], opened[0], opened[0]}));

    // Closing the window, or exit, cancels the report; the window goes once it has ended.
    for (const WPARAM close : {WPARAM{0}, WPARAM{k_exit}}) {
        command(IDM_LIBRARY_REPORT);
        SendMessageA(wn, close == 0 ? WM_CLOSE : WM_COMMAND, close, 0);
        EXPECT_TRUE(IsWindow(wn));
        pump_until_report_ends();
        EXPECT_TRUE(!IsWindow(wn) && opened.size() == 3u && !run_stop::requested());
        create_window({"yes"});
    }
}

// A scene collected into a zip from the window, then that zip checked as a product: both on the worker thread with
// the progress panel, the collect told in a closing message, the check's page kept and opened as a report's.
TEST_F(WindowExtras, ASceneCollectedIntoAZipAndTheZipCheckedAsAProduct)
{
    write_bytes(dir.at("Poser/Runtime/Libraries/Scenes/s.pz3"), "figureResFile :Runtime:Geometries:man.obj\n"
                                                                "textureMap :Runtime:Textures:gone.jpg\n");
    const std::string zip = dir.at("out/s.zip");
    write_bytes(dir.at("out/leftovers.zip"), made_zip({{"Runtime/Libraries/a.cr2", "x"}, {"Thumbs.db", ""}, {".DS_Store", ""}}));
    create_window({"yes", dir.at("Poser/Runtime/Libraries/Scenes/s.pz3"), zip, zip, dir.at("out/leftovers.zip")});
    command(IDM_COLLECT_SCENE);
    EXPECT_TRUE(report_running() && IsWindowVisible(GetDlgItem(wn, IDC_CANCEL_WORK)));
    pump_until_report_ends();
    const Lines& t = seen->lines();
    EXPECT_EQ(t[t.size() - 3].find("open\tmain\tchoose the scene to collect\t"), 0u);
    // The zip is proposed by the scene's name, not inside the library; the product's chooser opens where it went.
    EXPECT_TRUE(t[t.size() - 2].rfind("save\tmain\tsave the collected scene as\ts.zip\t", 0) == 0 &&
                t[t.size() - 2].find(dir.at("Poser")) == std::string::npos);
    EXPECT_EQ(t.back().find("information\tnone\tcollect a scene into a zip\t2 files collected into " + zip), 0u);
    EXPECT_NE(t.back().find("1 reference missing"), std::string::npos);
    EXPECT_TRUE(exists(zip) && !main_session().run_in_progress);
    SendMessageA(wn, WM_SYSCOMMAND, IDM_CHECK_PRODUCT_ZIP, 0);
    pump_until_report_ends();
    EXPECT_EQ(t.back().find("open\tmain\tthe product zip to check\t\t" + dir.at("out") + "\t"), 0u);
    ASSERT_EQ(opened.size(), 1u);
    expect_pieces(read_bytes(opened[0]), {"gone.jpg", "<p><small>tarnwick "});
    // What breaks a product's install is said beside its references.
    command(IDM_CHECK_PRODUCT_ZIP);
    pump_until_report_ends();
    EXPECT_NE(status().find(" 0 references moved, missing or refused, 2 package problems.\n"), std::string::npos);
}

TEST_F(WindowExtras, WhileARunOrTheRootDialogueGoesOnlyHelpExitAndTheLastPageCanBeChosen)
{
    const std::string busy = "256 259 |272 352 368 384 288 304 336 |272 352 368 384 288 304 336 |", idle = "|352 |352 |";
    std::string during;
    create_window({"yes"}, 0, [&] { during = greyed(); });
    EXPECT_TRUE(during == busy && greyed() == idle);
    // The chooser of a run: afterwards everything can start again; exit chosen meanwhile ends
    // the run before its next file and closes the window, asking nothing more.
    for (const bool exit_meanwhile : {false, true}) {
        create_window({"yes", "cancel"}, 1, [&] {
            during = greyed();
            if (exit_meanwhile) {
                SendMessageA(mwn, WM_COMMAND, k_exit, 0);
            }
        });
        command(k_check_file);
        EXPECT_EQ(during, busy);
        EXPECT_EQ(IsWindow(wn) ? greyed() : "closed", exit_meanwhile ? "closed" : idle);
        EXPECT_EQ(seen->lines().size(), 2u);
    }
}

// The pages are kept, so the last one is found again at the next start: the latest time, then
// the highest number; other names, and folders, are not pages.
TEST_F(WindowExtras, TheLastReportsPageIsFoundAgainAtTheNextStart)
{
    for (const char* name : {"library-report-2024-05-07-090503.html", "library-report-2024-05-07-090503-10.html",
                             "library-report-2024-05-07-090503-9.html", "library-report-2023-12-31-235959-2.html",
                             "library-report-2024-05-07-090503-x.html", "library-report-2099-01-01-000000.htm",
                             "library-report-2099-01-01-000000-999.html"}) {
        write_bytes(dir.at("local/tarnwick/reports/") + name, "");
    }
    CreateDirectoryA(dir.at("local/tarnwick/reports/library-report-2099-01-01-000001.html").c_str(), nullptr);
    create_window({"yes"});
    EXPECT_EQ(greyed(), "|||");
    command(IDM_OPEN_LAST_REPORT);
    EXPECT_EQ(opened, Lines{dir.at("local/tarnwick/reports/library-report-2024-05-07-090503-10.html")});
}

TEST_F(WindowExtras, OptionsSavedReadAtStartAndTheExtendedRepair)
{
    // Off: the folder command names a folder through the save chooser, not the picker.
    create_window({"yes", "cancel"});
    command(k_check_folder);
    EXPECT_TRUE(picked.empty());
    EXPECT_EQ(seen->lines().back().find("save\tmain\tfind any file in the folder to be checked"), 0u);
    SendMessageA(wn, WM_SYSCOMMAND, IDM_OPTION_AUTOMATIC, 0);
    EXPECT_EQ(read_window_options(), (WindowOptions{true, true}));
    SendMessageA(wn, WM_SYSCOMMAND, IDM_OPTION_AUTOMATIC, 0);
    DestroyWindow(wn);

    // On at the next start: the root denied is picked as a folder.
    write_bytes(dir.at("lib/a.cr2"), "figureResFile :Runtime:Geometries:gone.obj\n");
    write_files(dir, {"lib/sub/b.cr2", "lib/sub/c.cr2"}, "figureResFile :Runtime:Geometries:man.obj\n");
    create_window({"no", "cancel", "yes"}, 1, [] { PostMessageA(mwn, WM_COMMAND, IDC_CANCEL_WORK, 0); });
    EXPECT_EQ(GetMenuState(GetSystemMenu(wn, FALSE), IDM_OPTION_EXTENDED, MF_BYCOMMAND) & MF_CHECKED, MF_CHECKED);
    EXPECT_EQ(GetMenuState(GetSystemMenu(wn, FALSE), IDM_OPTION_AUTOMATIC, MF_BYCOMMAND) & MF_CHECKED, 0u);
    EXPECT_EQ(main_session().run.posername, dir.at("lib"));
    main_session().run.posername = dir.at("Poser");
    // The chooser for the missing mesh is cancelled and Cancel pressed meanwhile: the next file is read and left as it
    // was (not counted as checked), no other is read, nothing is asked after the folder, the log and summary offered.
    command(k_check_folder);
    EXPECT_EQ(picked, (Lines{"your Poser installation's root folder", "folder to be checked"}));
    EXPECT_EQ(seen->lines().back(), "question\tnone\tdo you want to see my log for this run?\t" + log +
                                        "\\n\\nstopped before its end: 1 of 3 files checked\\nfiles checked: 1, corrected: 0, "
                                        "abandoned: 0, references replaced: 0, left as they are: 1\tyes");
    char title[64] = {};
    GetWindowTextA(wn, title, sizeof title);
    EXPECT_EQ(std::string(title), "tarnwick");
    EXPECT_NE(status().find("\nLast run (cancelled): 1 of 3 files checked, corrected: 0.\n"), std::string::npos);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(wn, IDC_CANCEL_WORK)));

    // Help answers meanwhile; closing the window stops the run as the Cancel button does and says so; then it goes.
    DestroyWindow(wn);
    ASSERT_TRUE(write_setting(k_settings_section, k_root_key, dir.at("Poser")));
    create_window({"yes", "cancel", "no"}, 1, [] { PostMessageA(mwn, WM_COMMAND, k_help, 0); PostMessageA(mwn, WM_CLOSE, 0, 0); });
    command(k_check_folder);
    const Lines& t = seen->lines();
    EXPECT_EQ(t[t.size() - 3].rfind("information\tnone\ttarnwick help\t", 0), 0u);
    EXPECT_EQ(t[t.size() - 2], "information\tnone\tthe run stopped before its end, my log is on this file\t" + log);
    EXPECT_EQ(t.back().find("question\tnone\tdo you want to see my log for this run?\t" + log + "\\n\\nstopped before its end: 1 of 3"), 0u);
    EXPECT_TRUE(read_bytes(log).find("stopped before its end: 1 of 3 files checked\r\nfiles checked: 1, ") != std::string::npos && !IsWindow(wn));
}

TEST_F(WindowExtras, TheLastExtendedRunUndoneFromTheMenu)
{
    save_window_options({true, true});
    const std::string a = dir.at("Poser/Runtime/Libraries/a.cr2"), old = "figureResFile :Runtime:Geometries:old:man.obj\n";
    write_bytes(a, old);
    folders = {"Poser/Runtime/Libraries"};
    create_window({"yes", "no", "yes"});
    command(k_check_folder);
    EXPECT_EQ(read_bytes(a), "figureResFile :Runtime:Geometries:man.obj\n");
    SendMessageA(wn, WM_SYSCOMMAND, IDM_UNDO_LAST_RUN, 0);
    EXPECT_EQ(read_bytes(a), old);
    EXPECT_EQ(seen->lines().back(), "information\tnone\tundo the last run\t1 file restored, 0 left alone");
}

// What the window shows is whole: in a narrow window the idle hint wraps rather than being cut; the bar of a run that
// checked its one file is full when the run asks its closing question.
TEST_F(WindowExtras, TheStatusTextAndTheBarShowEverything)
{
    save_window_options({true, false});
    write_bytes(dir.at("lib/one.cr2"), "figureResFile :Runtime:Geometries:man.obj\n");
    LRESULT bar = -1;
    create_window({"yes", dir.at("lib/one.cr2"), "no"}, 2,
                  [&] { bar = SendMessageA(FindWindowExA(mwn, nullptr, PROGRESS_CLASSA, nullptr), PBM_GETPOS, 0, 0); });
    command(k_check_file);
    EXPECT_EQ(bar, 1000);
    // Narrow, the hint takes more rows and stays inside the margins.
    auto ink = [this](int width) {
        SetWindowPos(wn, nullptr, 0, 0, width, 400, SWP_NOZORDER | SWP_NOMOVE);
        return ink_bounds([this](HDC dc) { paint_status(wn, dc); });
    };
    const RECT wide = ink(GetSystemMetrics(SM_CXSCREEN)), narrow = ink(400);
    EXPECT_TRUE(narrow.bottom > wide.bottom + 20 && narrow.right < 400) << wide.bottom << " " << narrow.bottom;
}

// A folder moved from the window: both folders picked, the dry run's counts in a question, the move on the worker
// thread with the progress panel and a message with its counts; a move cancelled is taken back, the menus are greyed
// meanwhile, and the undo in the window menu takes a move back.
TEST_F(WindowExtras, AFolderMovedWithWhatUsesItCancelledThenMovedAndUndone)
{
    const std::string doc = dir.at("Poser/Runtime/Libraries/a.mt5"), text = "textureMap :Runtime:Textures:Old:skin.jpg\r\n";
    write_bytes(doc, text);
    write_bytes(dir.at("Poser/Runtime/Textures/Old/skin.jpg"), "skin");
    CreateDirectoryA(dir.at("Poser/Runtime/Textures/New").c_str(), nullptr);  // made with the picker's New folder
    folders = {"Poser/Runtime/Textures/Old", "Poser/Runtime/Textures/New"};
    UINT greyed_meanwhile = 0;
    create_window({"yes", "yes", "yes", "yes"}, 1, [&] {
        greyed_meanwhile = GetMenuState(context_menu(), IDM_MOVE_FOLDER, MF_BYCOMMAND) & MF_GRAYED;
        cancel_move();  // pressed as the move begins
    });
    for (int round = 0; round < 2; ++round) {
        SendMessageA(wn, WM_SYSCOMMAND, IDM_MOVE_FOLDER, 0);
        EXPECT_TRUE(move_running() && IsWindowVisible(GetDlgItem(wn, IDC_CANCEL_WORK)));
        pump_until_report_ends();
    }
    const Lines& t = seen->lines();
    ASSERT_EQ(t.size(), 5u);
    EXPECT_EQ(t[1], "question\tnone\tmove a folder and keep what uses it\tmove 1 file to " + dir.at("Poser/Runtime/Textures/New") +
                        "? 1 reference in 1 document will follow\tyes");
    EXPECT_EQ(t[2], "information\tnone\tmove a folder and keep what uses it\tthe move was cancelled: everything is as it was");
    EXPECT_EQ(t[4], "information\tnone\tmove a folder and keep what uses it\tmoved 1 file from " + dir.at("Poser/Runtime/Textures/Old") +
                        " to " + dir.at("Poser/Runtime/Textures/New") + "; 1 reference rewritten in 1 document");
    EXPECT_EQ(greyed_meanwhile, static_cast<UINT>(MF_GRAYED));
    EXPECT_EQ(read_bytes(doc), "textureMap :Runtime:Textures:New:skin.jpg\r\n");
    EXPECT_EQ(read_bytes(dir.at("Poser/Runtime/Textures/New/skin.jpg")), "skin");
    SendMessageA(wn, WM_SYSCOMMAND, IDM_UNDO_LAST_RUN, 0);
    EXPECT_EQ(read_bytes(doc), text);
    EXPECT_EQ(read_bytes(dir.at("Poser/Runtime/Textures/Old/skin.jpg")), "skin");
    EXPECT_TRUE(exists(dir.at("Poser/Runtime/Textures/New")) && !exists(dir.at("Poser/Runtime/Textures/New/skin.jpg")));
}


// A product zip installed from the window, on a disk that stops or fails where the test says: the zips and the content
// folder picked, the check and the install on the worker thread with the progress panel, the question with the plan's
// counts, the closing message; a refused zip said why with nothing asked; a Cancel while the files move in, and a file
// that cannot be moved (held open), take the install back; "undo the last run" takes an install back too.
TEST_F(WindowExtras, AProductZipInstalledRefusedCancelledAndUndone)
{
    FailingFileSystem disk;
    reset_main_session(disk);
    const std::string mesh = dir.at("Poser/Runtime/Geometries/man.obj"), figure = dir.at("Poser/Runtime/Libraries/p.cr2");
    write_bytes(dir.at("zips/p.zip"), made_zip({{"Runtime/Geometries/man.obj", "v 1\n"},
                                                {"Runtime/Libraries/p.cr2", "textureMap :Runtime:Textures:gone.jpg\n"}}));
    write_bytes(dir.at("zips/bad.zip"), made_zip({{"Runtime/a.obj", ""}, {"Runtime/../x.obj", ""}}));
    Lines zips, offered;
    use_zip_picker([&](std::vector<std::string>& z, const std::string&) { return !(z = zips).empty(); });
    use_folder_choice([&](const std::vector<std::string>& folders) { return offered = folders, 0; });
    create_window({"yes", "no", "yes", "yes", "yes", "yes"});
    auto install = [&](const std::string& zip) {
        zips = {dir.at("zips/" + zip)};
        command(IDM_INSTALL_PRODUCT);
        EXPECT_TRUE(install_running() && IsWindowVisible(GetDlgItem(wn, IDC_CANCEL_WORK)));
        EXPECT_TRUE(GetMenuState(context_menu(), IDM_INSTALL_PRODUCT, MF_BYCOMMAND) & MF_GRAYED);
        pump_until_report_ends();
        return seen->lines().back();
    };
    EXPECT_EQ(install("bad.zip"), "warning\tnone\tI can't install bad.zip\tNothing was installed:\\nbad.zip: Runtime/../x.obj: "
                                  "unsafe name: the name holds a '..' component, which leads out of the install folder");
    EXPECT_EQ(offered, (Lines{dir.at("Poser"), dir.at("content")}));
    EXPECT_EQ(install("p.zip"), "question\tnone\tinstall 2 files into " + dir.at("Poser") +
                                    "?\t1 new, 1 replaced, 0 already there, 0 skipped\\nfrom p.zip\tno");
    // The Cancel button as the first file has moved in; then a file held open by another program.
    disk.fail_when([&](fsys::Op op, const std::string& path) {
        if (op == fsys::Op::rename && path.find(std::string(1, fsys::k_sep) + "new" + fsys::k_sep) != std::string::npos) {
            SendMessageA(wn, WM_COMMAND, IDC_CANCEL_WORK, 0);
        }
        return false;
    });
    EXPECT_EQ(install("p.zip"), "warning\tnone\tinstall a product zip\tThe install was cancelled.\\nWhat was written is taken back.");
    disk.fail_when([&](fsys::Op op, const std::string& path) { return op == fsys::Op::rename && path == mesh; });
    EXPECT_EQ(install("p.zip"), "warning\tnone\tI can't install this product\tThe install failed: can't move " + mesh +
                                    " to the run folder.\\nWhat was written is taken back.");
    EXPECT_TRUE(read_bytes(mesh).empty() && !exists(figure));
    disk.fail_when(nullptr);
    EXPECT_EQ(install("p.zip"), "information\tnone\tinstall a product zip\tinstalled 2 files from p.zip into " + dir.at("Poser") +
                                    ": 1 new, 1 replaced, 0 already there, 0 skipped\\n0 files needed from the roots, 1 missing:"
                                    "\\nmissing image :Runtime:Textures:gone.jpg in " + dir.at("zips/p.zip/Runtime/Libraries/p.cr2"));
    EXPECT_EQ(read_bytes(mesh), "v 1\n");
    SendMessageA(wn, WM_SYSCOMMAND, IDM_UNDO_LAST_RUN, 0);
    EXPECT_TRUE(read_bytes(mesh).empty() && !exists(figure));
    EXPECT_EQ(seen->lines().back(), "information\tnone\tundo the last run\t2 files restored, 0 left alone");
    DestroyWindow(wn);
    reset_main_session();
}
