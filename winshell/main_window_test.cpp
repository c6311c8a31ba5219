// The real main window and its procedure, driven by messages as Windows would send them,
// with scripted prompts in place of the message boxes and choosers.
#include "winshell/main_window.h"

#include "app/runs.h"
#include "app/settings.h"
#include "engine/correction.h"
#include "engine/engine_state.h"
#include "tests/test_support.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <shlobj.h>
#include <utility>

namespace {

const std::string k_root_question = "Is this the root address of your Poser setup?";
const std::string k_see_log = "do you want to see my log for this run?";
const std::string k_folder_done = "searchdir finished for this folder: shall I continue?";

// A drop as the shell hands it over: a DROPFILES header, then the paths, each terminated,
// and one more terminator. The window procedure takes it over and frees it.
WPARAM make_drop(const std::vector<std::string>& paths)
{
    std::string list;
    for (const std::string& p : paths) {
        list += p + '\0';
    }
    HGLOBAL block = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() + 1);
    auto* header = static_cast<DROPFILES*>(GlobalLock(block));
    header->pFiles = sizeof(DROPFILES);
    std::memcpy(header + 1, list.data(), list.size());
    GlobalUnlock(block);
    return reinterpret_cast<WPARAM>(block);
}

// Dispatches what is pending; the quit message's code when one came, -1 otherwise.
int pending_quit_code()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            return static_cast<int>(msg.wParam);
        }
        DispatchMessageA(&msg);
    }
    return -1;
}

// Does `act` from inside the first question with caption `caption`, as a user can while a
// message box shows, then lets the script answer.
class Interrupting : public ForwardingPrompts {
public:
    Interrupting(Prompts& inner, std::string caption, std::function<void()> act)
        : ForwardingPrompts(inner), m_caption(std::move(caption)), m_act(std::move(act))
    {
    }

protected:
    bool ask_question(Owner owner, std::string_view body, std::string_view caption) override
    {
        if (caption == m_caption && m_act) {
            std::exchange(m_act, nullptr)();
        }
        return ForwardingPrompts::ask_question(owner, body, caption);
    }

private:
    std::string m_caption;
    std::function<void()> m_act;
};

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
        CreateDirectoryA(dir.at("appdata").c_str(), nullptr);
        SetEnvironmentVariableA("APPDATA", dir.at("appdata").c_str());
        // A start folder named with a letter of the ANSI code page outside ASCII.
        write_bytes(start + "\\keep.txt", "");
        ASSERT_TRUE(SetCurrentDirectoryA(start.c_str()));
        write_bytes(dir.at("Poser/geom/man.obj"), "");
        write_bytes(dir.at("Poser/geom/new.obj"), "");
        set_log_viewer([this](const std::string& path) { shown_logs.push_back(path); });
    }
    void TearDown() override
    {
        if (IsWindow(wn)) {
            DestroyWindow(wn);
        }
        pending_quit_code();
        SetCurrentDirectoryA(dir.path().c_str());
        set_log_viewer(nullptr);
        reset_engine("");
    }

    // The main window as the program creates it; a stored root is confirmed when given.
    HWND create_window(Prompts& p, bool with_root = true)
    {
        if (with_root) {
            EXPECT_TRUE(write_setting(k_settings_section, k_root_key, dir.at("Poser")));
        }
        use_prompts(p);
        return wn = newwindow(progname, progname, WS_MAXIMIZE);
    }
    void command(int id) { SendMessageA(wn, WM_COMMAND, static_cast<WPARAM>(id), 0); }
    void drop(const std::vector<std::string>& paths) { SendMessageA(wn, WM_DROPFILES, make_drop(paths), 0); }
    std::string log_path() const { return start + "\\__result_of_run.txt"; }
    std::string question(const std::string& caption, const std::string& body, const std::string& answer) const
    {
        return "question\tnone\t" + caption + "\t" + body + "\t" + answer;
    }

    TempDir dir;
    const std::string start = dir.at("start Jos\xE9");
    HWND wn = nullptr;
    std::vector<std::string> shown_logs;
};

TEST_F(MainWindow, CreationTakesTheStartFolderAttachesTheMenuAndAsksForTheRoot)
{
    ScriptedSession s({"yes"});
    ASSERT_NE(create_window(s.wn), nullptr);
    EXPECT_EQ(mwn, wn);
    EXPECT_EQ(rootdir, start);
    EXPECT_EQ(posername, dir.at("Poser"));
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{question(k_root_question, dir.at("Poser"), "yes")}));
    EXPECT_TRUE(IsWindowVisible(wn) && IsZoomed(wn));
    char title[64] = {};
    GetWindowTextA(wn, title, sizeof title);
    EXPECT_STREQ(title, "tarnwick");
    EXPECT_NE(GetWindowLongPtrA(wn, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
    ASSERT_EQ(GetMenu(wn), mainmenu);
    ASSERT_EQ(GetMenuItemCount(mainmenu), 4);
    const std::pair<const char*, UINT> items[] = {{"&read and check Poser file", 256},
                                                  {"&read and check Poser folder and its subfolders", 259},
                                                  {"&help", 257},
                                                  {"e&xit", 258}};
    for (int k = 0; k < 4; ++k) {
        char text[128] = {};
        GetMenuStringA(mainmenu, static_cast<UINT>(k), text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, items[k].first);
        EXPECT_EQ(GetMenuItemID(mainmenu, k), items[k].second) << text;
    }

    MINMAXINFO info{};
    info.ptMaxSize = POINT{800, 600};
    EXPECT_EQ(SendMessageA(wn, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), 0);
    EXPECT_EQ(info.ptMaxPosition.x, -4);
    EXPECT_EQ(info.ptMaxPosition.y, -4);
    EXPECT_EQ(info.ptMaxSize.x, 800);
    // The close box keeps the remembered picks: only the exit command discards them.
    create_repllist();
    SendMessageA(wn, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(wn));
    EXPECT_EQ(pending_quit_code(), 0);
    EXPECT_TRUE(repllist);
}

TEST_F(MainWindow, CommandsDuringTheRootDialogueStartNothingAndNoRootEndsTheProgram)
{
    ScriptedSession s({"no", "cancel", dir.at("work/a.cr2")});
    Interrupting impatient(s.wn, k_root_question, [this] {
        for (int id : {256, 259, 258}) {
            SendMessageA(mwn, WM_COMMAND, static_cast<WPARAM>(id), 0);
        }
    });
    ASSERT_NE(create_window(impatient, false), nullptr);
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{
                                  question(k_root_question, "c:", "no"),
                                  "open\tmain\tfind any file in your Poser installation's root folder\tc:\\*.*\tc:"
                                  "\tall files\tcancel",
                                  "warning\tmain\tExiting\tI need this information to be able to run.",
                              }));
    EXPECT_EQ(pending_quit_code(), 0);
    EXPECT_EQ(read_setting(k_settings_section, k_root_key), "");
}

TEST_F(MainWindow, MenuCommandsAndDropsCarryOutTheirRuns)
{
    const std::string man = dir.at("work/man.cr2");
    const std::string hair = dir.at("work/deep/hair.hr2");
    write_bytes(man, "figureResFile :geom:man.obj\n");
    write_bytes(hair, "figureResFile :geom:gone.obj\n");
    ScriptedSession s({"yes", man, "no", dir.at("work/any name.txt"), dir.at("Poser/geom/new.obj"), "yes", "yes",
                       "yes"});
    ASSERT_NE(create_window(s.wn), nullptr);

    command(256);
    EXPECT_EQ(read_bytes(log_path()), "no alterations\r\n");
    EXPECT_EQ(file, "__result_of_run.txt");
    command(257);
    command(300);
    command(259);
    EXPECT_EQ(read_bytes(hair), "figureResFile :geom:new.obj\r\n");
    EXPECT_EQ(read_bytes(log_path()), "file " + hair + " being corrected: old version is on\r\n     " +
                                          dir.at("work/deep/hair_zz00.hr2") + "\r\n      pointer to " +
                                          dir.at("Poser/geom/gone.obj") + " replaced by\r\n      pointer to " +
                                          dir.at("Poser/geom/new.obj") + "\r\n");
    // A drop of a folder starts its run at once; the pick is remembered across runs.
    write_bytes(dir.at("twin/twin.CR2"), "figureResFile :geom:gone.obj\n");
    drop({dir.at("twin")});
    EXPECT_EQ(read_bytes(dir.at("twin/twin.CR2")), "figureResFile :geom:new.obj\r\n");
    EXPECT_EQ(s.transcript(),
              (std::vector<std::string>{
                  question(k_root_question, dir.at("Poser"), "yes"),
                  "open\tmain\tfile to check?\t\t" + dir.at("Poser") + "\tfiles to be checked\t" + man,
                  "title\t" + man,
                  question(k_see_log, log_path(), "no"),
                  "information\tnone\t\tFor information, read the file tarnwick_readme.txt that came with this "
                  "application.",
                  "save\tmain\tfind any file in the folder to be checked\t__result_of_run.txt\t" + dir.at("Poser") +
                      "\tall files\t" + dir.at("work/any name.txt"),
                  "title\t" + man,
                  "title\t" + hair,
                  "open\tmain\tfind the correct .OBJ file\t" + dir.at("Poser/geom/gone.obj") + "\t" +
                      dir.at("Poser/geom") + "\tOBJ mesh geometry files\t" + dir.at("Poser/geom/new.obj"),
                  question(k_folder_done, dir.at("work/deep"), "yes"),
                  question(k_folder_done, dir.at("work"), "yes"),
                  "information\tnone\tsearchdir finished, my log is on this file\t" + log_path(),
                  question(k_see_log, log_path(), "yes"),
                  "title\t" + dir.at("twin/twin.CR2"),
                  question(k_folder_done, dir.at("twin"), "no"),
                  "information\tnone\tsearchdir finished, my log is on this file\t" + log_path(),
                  question(k_see_log, log_path(), "no"),
              }));
    EXPECT_EQ(shown_logs, (std::vector<std::string>{log_path()}));

    EXPECT_TRUE(repllist);
    command(258);
    EXPECT_FALSE(IsWindow(wn));
    EXPECT_FALSE(repllist);
    EXPECT_EQ(pending_quit_code(), 0);
}

TEST_F(MainWindow, OtherDropsAreRefusedAndStartNothing)
{
    const std::string a = dir.at("work/a.cr2");
    const std::string text = dir.at("work/notes.txt");
    write_bytes(a, "figureResFile :geom:gone.obj\n");
    write_bytes(text, "figureResFile :geom:gone.obj\n");
    // Longer than the 255 characters an old drop buffer held: the path must arrive whole.
    const std::string long_path = dir.path() + std::string(300, 'a') + ".cr2.txt";
    ScriptedSession s({"yes"});
    ASSERT_NE(create_window(s.wn), nullptr);
    drop({a, text});
    drop({text});
    drop({long_path});
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{
                                  question(k_root_question, dir.at("Poser"), "yes"),
                                  "warning\tmain\tdrag-and-drop\tone file at a time please",
                                  "warning\tnone\tI can't handle this sort of file\t" + text,
                                  "warning\tnone\tI can't handle this sort of file\t" + long_path,
                              }));
    EXPECT_EQ(read_bytes(a), "figureResFile :geom:gone.obj\n");
    EXPECT_FALSE(exists(log_path()));
}

TEST_F(MainWindow, NothingStartsWhileARunIsInProgress)
{
    const std::string man = dir.at("work/man.cr2");
    write_bytes(man, "figureResFile :geom:man.obj\n");
    ScriptedSession s({"yes", "no"});
    Interrupting impatient(s.wn, k_see_log, [&] {
        for (int id : {256, 257, 258, 259}) {
            command(id);
        }
        drop({man});
    });
    ASSERT_NE(create_window(impatient), nullptr);
    drop({man});
    EXPECT_EQ(s.transcript(), (std::vector<std::string>{question(k_root_question, dir.at("Poser"), "yes"),
                                                        "title\t" + man, question(k_see_log, log_path(), "no")}));
    EXPECT_TRUE(IsWindow(wn));
    EXPECT_TRUE(repllist);
    EXPECT_EQ(pending_quit_code(), -1);
}

TEST_F(MainWindow, ClosingDuringARunEndsItBeforeTheNextFile)
{
    // Three folders, each with a file written in the old prefix notation.
    for (const char* name : {"1/a.cr2", "2/b.cr2", "3/c.cr2"}) {
        write_bytes(dir.at("work/" + std::string(name)), "prop 0 0 geom:man.obj\n");
    }
    ScriptedSession s({"yes", "yes"});
    Interrupting closing(s.wn, k_folder_done, [this] { SendMessageA(wn, WM_CLOSE, 0, 0); });
    ASSERT_NE(create_window(closing), nullptr);
    drop({dir.at("work")});
    // The folders are walked in the order Windows lists them: the first one's file was
    // rewritten before the close, and nothing was asked or changed after it.
    ASSERT_EQ(s.transcript().size(), 2u);
    const std::string first = s.transcript().back().substr(std::strlen("title\t"));
    for (const char* name : {"1/a.cr2", "2/b.cr2", "3/c.cr2"}) {
        const std::string path = dir.at("work/" + std::string(name));
        EXPECT_EQ(read_bytes(path), path == first ? "prop 0 0 :geom:man.obj\r\n" : "prop 0 0 geom:man.obj\n");
    }
    EXPECT_EQ(read_bytes(log_path()).rfind("file " + first + " being corrected", 0), 0u);
    EXPECT_FALSE(IsWindow(wn));
    EXPECT_EQ(pending_quit_code(), 0);

    // Getting a message fails: no quit code came, so the program ends with 0.
    EXPECT_EQ(run_message_loop([](LPMSG msg, HWND, UINT, UINT) -> BOOL {
                  msg->wParam = 99;
                  return -1;
              }),
              0);
    PostQuitMessage(3);
    EXPECT_EQ(run_message_loop(), 3);
}

}  // namespace
