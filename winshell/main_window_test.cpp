// The real main window and its procedure, driven by messages, with scripted prompts.
#include "winshell/main_window.h"

#include "app/runs.h"
#include "app/settings.h"
#include "tests/main_window-win32.h"

#include <cstring>
#include <shlobj.h>

// The code of the quit message when one is waiting, -1 otherwise.
static int quit_code()
{
    MSG msg{};
    return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) ? static_cast<int>(msg.wParam) : -1;
}

class MainWindow : public MainWindowTest {
protected:
    // A drop as the shell hands it over: a header, the paths in UTF-16, each terminated, one more NUL.
    void drop(const std::vector<std::string>& paths)
    {
        std::wstring block(sizeof(DROPFILES) / sizeof(wchar_t), L'\0');
        *reinterpret_cast<DROPFILES*>(block.data()) = DROPFILES{sizeof(DROPFILES), {}, FALSE, TRUE};
        for (const std::string& p : paths) {
            block += to_wide(p) + L'\0';
        }
        const std::size_t size = (block.size() + 1) * sizeof(wchar_t);
        void* memory = std::memcpy(GlobalAlloc(GMEM_FIXED, size), block.c_str(), size);
        SendMessageA(wn, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    }
};

TEST_F(MainWindow, CreationCommandsAndDrops)
{
    const std::string man = dir.at("drop/man.cr2");
    write_bytes(man, "figureResFile :geom:man.obj\n");
    write_bytes(dir.at("Poser/geom/man.obj"), "");
    const std::string long_path = dir.path() + std::string(300, 'a') + ".cr2.txt";  // past an old 255-character buffer
    create_window({"yes", "cancel", "cancel"});
    EXPECT_TRUE(mwn == wn && main_session().rootdir == start && main_session().run.posername == dir.at("Poser"));
    EXPECT_TRUE(IsWindowVisible(wn) && IsZoomed(wn) && (GetWindowLongPtrA(wn, GWL_EXSTYLE) & WS_EX_ACCEPTFILES));
    char text[64] = {};
    GetWindowTextA(wn, text, sizeof text);
    std::string menu = text + std::string(":");
    ASSERT_TRUE(GetMenu(wn) == mainmenu && GetMenuItemCount(mainmenu) == 4);
    for (UINT k = 0; k < 4; ++k) {
        GetMenuStringA(mainmenu, k, text, sizeof text, MF_BYPOSITION);
        menu += text + ("=" + std::to_string(GetMenuItemID(mainmenu, static_cast<int>(k)))) + ";";
    }
    EXPECT_EQ(menu, "tarnwick:&read and check Poser file=256;read and check Poser &folder and its subfolders=259;"
                    "&help=257;e&xit=258;");
    MINMAXINFO info{{}, {800, 600}, {}, {}, {}};
    EXPECT_EQ(SendMessageA(wn, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), 0);
    EXPECT_TRUE(info.ptMaxPosition.x == -4 && info.ptMaxPosition.y == -4 && info.ptMaxSize.x == 800);

    for (int id : {256, 257, 300, 259}) {
        command(id);
    }
    drop({man, man});
    drop({long_path});
    drop({man});
    EXPECT_EQ(read_bytes(log), "no alterations\r\n");
    // Each command and drop reached its run: the chooser cancelled twice, the help, the
    // refusals (the long path whole), the run and its question.
    ASSERT_EQ(seen->lines().size(), 8u);
    EXPECT_EQ(seen->lines()[5], "warning\tnone\tI can't handle this sort of file\t" + long_path);
    EXPECT_EQ(seen->lines()[6], "title\t" + man);
    command(258);
    EXPECT_FALSE(IsWindow(wn) || main_session().run.repllist);
    EXPECT_EQ(quit_code(), 0);
}

TEST_F(MainWindow, BusyWhileTheRootIsAskedForOrARunIsClosed)
{
    DeleteFileW(to_wide(settings_file_path()).c_str());  // no root stored
    create_window({"no", "cancel"}, 0, [] {
        for (int id : {256, 259, 258}) {
            SendMessageA(mwn, WM_COMMAND, static_cast<WPARAM>(id), 0);
        }
    });
    // Nothing started meanwhile; without a root the program ends after the chooser.
    EXPECT_EQ(seen->lines().size(), 3u);
    EXPECT_EQ(seen->lines().back(), "warning\tmain\tExiting\tI need this information to be able to run.");
    EXPECT_TRUE(DestroyWindow(wn) && quit_code() == 0);

    // A file in the old prefix notation in each of two folders; closed at the first question.
    write_files(dir, {"work/1/a.cr2", "work/2/a.cr2"}, "prop 0 0 geom:man.obj\n");
    write_bytes(dir.at("Poser/geom/man.obj"), "");
    ASSERT_TRUE(write_setting(k_settings_section, k_root_key, dir.at("Poser")));
    create_window({"yes", "yes"}, 1, [this] { SendMessageA(wn, WM_CLOSE, 0, 0); });
    drop({dir.at("work")});
    // Walked in the order Windows lists them: the first folder's file alone was rewritten.
    ASSERT_EQ(seen->lines().size(), 3u);
    const std::string first = seen->lines()[1].substr(std::strlen("title\t"));
    const std::string other = dir.at(first == dir.at("work/1/a.cr2") ? "work/2/a.cr2" : "work/1/a.cr2");
    EXPECT_EQ(read_bytes(first) + read_bytes(other), "prop 0 0 :geom:man.obj\r\nprop 0 0 geom:man.obj\n");
    EXPECT_EQ(read_bytes(log).rfind("file " + first + " being corrected", 0), 0u);
    // The close box keeps the remembered picks; after the run it closes at once again.
    EXPECT_TRUE(!IsWindow(wn) && main_session().run.repllist && quit_code() == 0);
    create_window({"yes"});
    EXPECT_TRUE(SendMessageA(wn, WM_CLOSE, 0, 0) == 0 && !IsWindow(wn) && quit_code() == 0);

    // Getting a message fails: no quit message brought a code, so the program ends with 0.
    EXPECT_EQ(run_message_loop([](LPMSG msg, HWND, UINT, UINT) -> BOOL { msg->wParam = 99; return -1; }), 0);
    PostQuitMessage(3);
    EXPECT_EQ(run_message_loop(), 3);
}

// Names in Polish, Greek and Japanese everywhere: root, start folder, dropped file and folder,
// picks. Letters the ANSI code page has are written as older versions wrote them.
TEST_F(MainWindow, AnyFileName)
{
    const std::string root = dir.at("Poser Łódź"), ball = dir.at("Ελληνικά/Łukasz ball.pp2");
    write_files(dir, {"Poser Łódź/geom/café.obj", "Poser Łódź/geom/日本語 ball.obj", "Poser Łódź/geom/café hat.obj"}, "");
    const std::string old = "objFileGeom 0 0 :geom:ball.obj\nprop 0 0 geom:caf\xE9 old.obj\n"
                            "figureResFile :geom:caf\xE9.obj\nfigureResFile :geom:café.obj\n";
    write_bytes(ball, old);
    write_bytes(dir.at("日本/Ζήτα.cr2"), "figureResFile :geom:ball.obj\n");
    ASSERT_TRUE(write_setting(k_settings_section, k_root_key, root));
    create_window({"yes", root + "\\geom\\日本語 ball.obj", root + "\\geom\\café hat.obj", "yes", "yes", "no"});
    drop({ball});
    EXPECT_EQ(seen->lines()[1], "title\t" + ball);
    EXPECT_EQ(seen->lines()[3], chooser_line(root + "\\geom\\café old.obj", root + "\\geom\\café hat.obj"));
    // Both ways a Poser file may hold a name are found; a pick goes in as older versions wrote it
    // where the ANSI code page has its letters, in UTF-8 where it has not.
    EXPECT_EQ(read_bytes(ball), "objFileGeom 0 0 :geom:日本語 ball.obj\r\nprop 0 0 :geom:caf\xE9 hat.obj\r\n"
                                "figureResFile :geom:caf\xE9.obj\r\nfigureResFile :geom:café.obj\r\n");
    EXPECT_EQ(read_bytes(dir.at("Ελληνικά/Łukasz ball_zz00.pp2")), old);
    EXPECT_EQ(read_bytes(log), correcting_lines(ball, dir.at("Ελληνικά/Łukasz ball_zz00.pp2")) +
                                      replaced_lines(root + "\\geom\\ball.obj", root + "\\geom\\日本語 ball.obj") +
                                      replaced_lines(root + "\\geom\\café old.obj", root + "\\geom\\café hat.obj"));
    // A dropped folder: the remembered pick, the walk's question, the log's place.
    drop({dir.at("日本")});
    EXPECT_EQ(read_bytes(dir.at("日本/Ζήτα.cr2")), "figureResFile :geom:日本語 ball.obj\r\n");
    const Lines& lines = seen->lines();
    EXPECT_EQ(lines[lines.size() - 3], continue_line(dir.at("日本"), "yes"));
    EXPECT_EQ(lines.back(), "question\tnone\tdo you want to see my log for this run?\t" + log + "\tno");
}
