// The real main window and its procedure, driven by messages as Windows would send them,
// with scripted prompts in place of the message boxes and choosers.
#include "winshell/main_window.h"

#include "app/runs.h"
#include "app/settings.h"
#include "engine/correction.h"
#include "engine/engine_state.h"
#include "tests/test_support.h"

#include <cstring>
#include <gtest/gtest.h>
#include <shlobj.h>

namespace {

const std::string k_root_question = "Is this the root address of your Poser setup?";
const std::string k_see_log = "do you want to see my log for this run?";
const std::string k_folder_done = "searchdir finished for this folder: shall I continue?";

std::string settings_file_path()
{
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    return std::string(windows) + "\\" + k_settings_file;
}

// A drop as the shell hands it over: a DROPFILES header, then the paths, each terminated,
// and one more terminator. The window procedure takes it over and frees it.
HDROP make_drop(const std::vector<std::string>& paths)
{
    std::string list;
    for (const std::string& p : paths) {
        list += p;
        list += '\0';
    }
    list += '\0';
    HGLOBAL block = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size());
    auto* header = static_cast<DROPFILES*>(GlobalLock(block));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = FALSE;
    std::memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), list.data(), list.size());
    GlobalUnlock(block);
    return static_cast<HDROP>(block);
}

// Dispatches what is pending; the quit message's code when one came, -1 otherwise.
int pending_quit_code()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            return static_cast<int>(msg.wParam);
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return -1;
}

class MainWindow : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Instance = GetModuleHandleA(nullptr);
        ASSERT_TRUE(Register(progname, MainWinProc));
    }

    void SetUp() override
    {
        reset_engine("");
        saved_settings = read_bytes(settings_file_path());
        DeleteFileA(settings_file_path().c_str());
        char cwd[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH, cwd);
        saved_cwd = cwd;
        write_bytes(dir.at("start/keep.txt"), "");
        ASSERT_TRUE(SetCurrentDirectoryA(dir.at("start").c_str()));
        write_bytes(dir.at("Poser/geom/man.obj"), "");
        write_bytes(dir.at("Poser/geom/new.obj"), "");
        set_log_viewer([this](const std::string& path) { shown_logs.push_back(path); });
    }

    void TearDown() override
    {
        close_window();
        SetCurrentDirectoryA(saved_cwd.c_str());
        DeleteFileA(settings_file_path().c_str());
        if (saved_settings != "<missing>") {
            write_bytes(settings_file_path(), saved_settings);
        }
        set_log_viewer(nullptr);
        reset_engine("");
    }

    // The main window as the program creates it, the root dialogue answered by `s`.
    HWND create_window(ScriptedSession& s)
    {
        use_prompts(s.wn);
        wn = newwindow(progname, progname, WS_MAXIMIZE);
        return wn;
    }
    // A window whose root dialogue confirmed the stored root; the rest of `s` is left for
    // the commands and drops of the test.
    void create_window_with_root(ScriptedSession& s)
    {
        ASSERT_TRUE(write_setting(k_settings_section, k_root_key, dir.at("Poser")));
        ASSERT_NE(create_window(s), nullptr);
        ASSERT_EQ(posername, dir.at("Poser"));
    }
    void close_window()
    {
        if (wn != nullptr && IsWindow(wn)) {
            DestroyWindow(wn);
        }
        pending_quit_code();
        wn = nullptr;
    }
    void command(int id) { SendMessageA(wn, WM_COMMAND, static_cast<WPARAM>(id), 0); }
    void drop(const std::vector<std::string>& paths)
    {
        SendMessageA(wn, WM_DROPFILES, reinterpret_cast<WPARAM>(make_drop(paths)), 0);
    }

    std::string log_path() const { return dir.at("start/__result_of_run.txt"); }
    std::string log_text() const { return read_bytes(log_path()); }
    std::string root_answer(const std::string& answer) const
    {
        return "question\tnone\t" + k_root_question + "\t" + dir.at("Poser") + "\t" + answer;
    }
    std::string see_log(const std::string& answer) const
    {
        return "question\tnone\t" + k_see_log + "\t" + log_path() + "\t" + answer;
    }

    TempDir dir;
    HWND wn = nullptr;
    std::string saved_settings;
    std::string saved_cwd;
    std::vector<std::string> shown_logs;
};

TEST_F(MainWindow, CreationTakesTheStartFolderAttachesTheMenuAndAsksForTheRoot)
{
    ScriptedSession s({"yes"});
    create_window_with_root(s);
    EXPECT_EQ(mwn, wn);
    EXPECT_EQ(rootdir, dir.at("start"));
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{root_answer("yes")}));
    EXPECT_TRUE(IsWindowVisible(wn));
    EXPECT_TRUE(IsZoomed(wn));
    char title[64] = {};
    GetWindowTextA(wn, title, sizeof title);
    EXPECT_STREQ(title, "tarnwick");
    EXPECT_NE(GetWindowLongPtrA(wn, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);

    ASSERT_EQ(GetMenu(wn), mainmenu);
    ASSERT_EQ(GetMenuItemCount(mainmenu), 4);
    const std::pair<const char*, UINT> items[] = {
        {"&read and check Poser file", 256},
        {"&read and check Poser folder and its subfolders", 259},
        {"&help", 257},
        {"e&xit", 258},
    };
    for (int k = 0; k < 4; ++k) {
        char text[128] = {};
        GetMenuStringA(mainmenu, static_cast<UINT>(k), text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, items[k].first);
        EXPECT_EQ(GetMenuItemID(mainmenu, k), items[k].second) << text;
        EXPECT_EQ(GetSubMenu(mainmenu, k), nullptr) << text;
    }
    EXPECT_EQ(pending_quit_code(), -1);
}

TEST_F(MainWindow, ARootNotGivenEndsTheProgramWithQuitCodeZero)
{
    ScriptedSession s({"no", "cancel"});
    ASSERT_NE(create_window(s), nullptr);
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{
                                  "question\tnone\t" + k_root_question + "\tc:\tno",
                                  "open\tmain\tfind any file in your Poser installation's root folder\tc:\\*.*\tc:"
                                  "\tall files\tcancel",
                                  "warning\tmain\tExiting\tI need this information to be able to run.",
                              }));
    EXPECT_EQ(pending_quit_code(), 0);
    EXPECT_EQ(read_bytes(settings_file_path()), "<missing>");
}

TEST_F(MainWindow, MenuCommandsCarryOutTheirRuns)
{
    const std::string man = dir.at("work/man.cr2");
    write_bytes(man, "figureResFile :geom:man.obj\n");
    ScriptedSession s({"yes", man, "no", dir.at("work/any name.txt"), "yes", "no"});
    create_window_with_root(s);

    command(256);
    EXPECT_EQ(log_text(), "no alterations\r\n");
    EXPECT_EQ(file, "__result_of_run.txt");
    command(257);
    command(300);
    command(259);
    EXPECT_EQ(log_text(), "");
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{
                                  root_answer("yes"),
                                  "open\tmain\tfile to check?\t\t" + dir.at("Poser") + "\tfiles to be checked\t" + man,
                                  "title\t" + man,
                                  see_log("no"),
                                  "information\tnone\t\tFor information, read the file tarnwick_readme.txt that "
                                  "came with this application.",
                                  "save\tmain\tfind any file in the folder to be checked\t__result_of_run.txt\t" +
                                      dir.at("Poser") + "\tall files\t" + dir.at("work/any name.txt"),
                                  "title\t" + man,
                                  "question\tnone\t" + k_folder_done + "\t" + dir.at("work") + "\tyes",
                                  "information\tnone\tsearchdir finished, my log is on this file\t" + log_path(),
                                  see_log("no"),
                              }));
    EXPECT_EQ(read_bytes(man), "figureResFile :geom:man.obj\n");
    EXPECT_TRUE(IsWindow(wn));

    EXPECT_TRUE(repllist);
    command(258);
    EXPECT_FALSE(IsWindow(wn));
    EXPECT_FALSE(repllist);
    EXPECT_EQ(pending_quit_code(), 0);
}

TEST_F(MainWindow, DropsOfOneFileOrOneFolderStartRuns)
{
    const std::string hair = dir.at("work/hair.hr2");
    const std::string man = dir.at("work/deep/man.cr2");
    write_bytes(hair, "figureResFile :geom:man.obj\n");
    write_bytes(man, "version\n{\nfigureResFile :geom:gone.obj\n}\n");
    ScriptedSession s({"yes", "yes", dir.at("Poser/geom/new.obj"), "yes", "no", "yes"});
    create_window_with_root(s);

    drop({hair});
    EXPECT_EQ(log_text(), "no alterations\r\n");
    EXPECT_EQ(shown_logs, (std::vector<std::string>{log_path()}));

    drop({dir.at("work/deep")});
    EXPECT_EQ(read_bytes(man), "version\r\n{\r\nfigureResFile :geom:new.obj\r\n}\r\n");
    EXPECT_EQ(read_bytes(dir.at("work/deep/man_zz00.cr2")), "version\n{\nfigureResFile :geom:gone.obj\n}\n");
    EXPECT_EQ(log_text(), "file " + man + " being corrected: old version is on\r\n     " +
                              dir.at("work/deep/man_zz00.cr2") + "\r\n      pointer to " +
                              dir.at("Poser/geom/gone.obj") + " replaced by\r\n      pointer to " +
                              dir.at("Poser/geom/new.obj") + "\r\n");

    // The pick is remembered: the second drop of the same file's sibling asks nothing.
    const std::string twin = dir.at("work/twin.CR2");
    write_bytes(twin, "figureResFile :geom:gone.obj\n");
    drop({twin});
    EXPECT_EQ(read_bytes(twin), "figureResFile :geom:new.obj\r\n");

    EXPECT_EQ(s.transcript(), (std::vector<std::string>{
                                  root_answer("yes"),
                                  "title\t" + hair,
                                  see_log("yes"),
                                  "title\t" + man,
                                  "open\tmain\tfind the correct .OBJ file\t" + dir.at("Poser/geom/gone.obj") + "\t" +
                                      dir.at("Poser/geom") + "\tOBJ mesh geometry files\t" + dir.at("Poser/geom/new.obj"),
                                  "question\tnone\t" + k_folder_done + "\t" + dir.at("work/deep") + "\tyes",
                                  "information\tnone\tsearchdir finished, my log is on this file\t" + log_path(),
                                  see_log("no"),
                                  "title\t" + twin,
                                  see_log("yes"),
                              }));
    EXPECT_EQ(shown_logs, (std::vector<std::string>{log_path(), log_path()}));
}

TEST_F(MainWindow, OtherDropsAreRefusedAndStartNothing)
{
    const std::string a = dir.at("work/a.cr2");
    const std::string b = dir.at("work/b.cr2");
    const std::string text = dir.at("work/notes.txt");
    write_bytes(a, "figureResFile :geom:gone.obj\n");
    write_bytes(b, "figureResFile :geom:gone.obj\n");
    write_bytes(text, "figureResFile :geom:gone.obj\n");
    // Longer than the 255 characters an old drop buffer held: the path must arrive whole.
    std::string long_path = dir.path();
    while (long_path.size() < 300) {
        long_path += "\\a folder with a long name";
    }
    long_path += "\\model.cr2.txt";
    ScriptedSession s({"yes"});
    create_window_with_root(s);

    drop({a, b});
    drop({text});
    drop({long_path});
    drop({a, b, text});
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{
                                  root_answer("yes"),
                                  "warning\tmain\tdrag-and-drop\tone file at a time please",
                                  "warning\tnone\tI can't handle this sort of file\t" + text,
                                  "warning\tnone\tI can't handle this sort of file\t" + long_path,
                                  "warning\tmain\tdrag-and-drop\tone file at a time please",
                              }));
    EXPECT_EQ(read_bytes(a), "figureResFile :geom:gone.obj\n");
    EXPECT_EQ(read_bytes(log_path()), "<missing>");
    EXPECT_FALSE(repllist);
}

TEST_F(MainWindow, MaximisedJustOffTheScreenAndClosedWithQuitCodeZero)
{
    ScriptedSession s({"yes"});
    create_window_with_root(s);
    MINMAXINFO info{};
    info.ptMaxSize = POINT{800, 600};
    info.ptMaxPosition = POINT{7, 8};
    info.ptMinTrackSize = POINT{100, 50};
    info.ptMaxTrackSize = POINT{900, 700};
    EXPECT_EQ(SendMessageA(wn, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), 0);
    EXPECT_EQ(info.ptMaxPosition.x, -4);
    EXPECT_EQ(info.ptMaxPosition.y, -4);
    EXPECT_EQ(info.ptMaxSize.x, 800);
    EXPECT_EQ(info.ptMaxSize.y, 600);
    EXPECT_EQ(info.ptMinTrackSize.x, 100);
    EXPECT_EQ(info.ptMaxTrackSize.y, 700);

    // The close box keeps the remembered picks: only the exit command discards them.
    create_repllist();
    SendMessageA(wn, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(wn));
    EXPECT_EQ(pending_quit_code(), 0);
    EXPECT_TRUE(repllist);
}

// Sends the window every command and a drop while the run's closing question is open, as
// a user can while a message box without owner is showing.
class Impatient : public ForwardingPrompts {
public:
    Impatient(Prompts& inner, HWND& window, std::string dropped)
        : ForwardingPrompts(inner), m_window(window), m_dropped(std::move(dropped))
    {
    }

protected:
    bool ask_question(Owner owner, std::string_view body, std::string_view caption) override
    {
        if (caption == k_see_log && !m_interrupted) {
            m_interrupted = true;
            for (int id : {256, 257, 258, 259}) {
                SendMessageA(m_window, WM_COMMAND, static_cast<WPARAM>(id), 0);
            }
            SendMessageA(m_window, WM_DROPFILES, reinterpret_cast<WPARAM>(make_drop({m_dropped})), 0);
        }
        return ForwardingPrompts::ask_question(owner, body, caption);
    }

private:
    HWND& m_window;
    std::string m_dropped;
    bool m_interrupted = false;
};

TEST_F(MainWindow, NothingStartsWhileARunIsInProgress)
{
    const std::string man = dir.at("work/man.cr2");
    write_bytes(man, "figureResFile :geom:man.obj\n");
    ScriptedSession s({"yes", "no"});
    Impatient impatient(s.wn, wn, man);
    ASSERT_TRUE(write_setting(k_settings_section, k_root_key, dir.at("Poser")));
    use_prompts(impatient);
    wn = newwindow(progname, progname, WS_MAXIMIZE);
    ASSERT_NE(wn, nullptr);

    drop({man});
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{root_answer("yes"), "title\t" + man, see_log("no")}));
    EXPECT_TRUE(IsWindow(wn));
    EXPECT_TRUE(repllist);
    EXPECT_EQ(pending_quit_code(), -1);

    command(257);
    EXPECT_EQ(s.transcript().back().rfind("information\tnone\t\tFor information", 0), 0u);
}

}  // namespace
