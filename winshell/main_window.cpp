#include "winshell/main_window.h"

#include "app/poser_root.h"
#include "app/runs.h"
#include "engine/base/run_stop.h"
#include "engine/base/text_encoding.h"
#include "winshell/install_window.h"
#include "winshell/move_window.h"
#include "winshell/progress_panel.h"
#include "winshell/report_window.h"
#include "winshell/resource.h"
#include "winshell/window_extras.h"

#include <memory>
#include <shellapi.h>
#include <string>
#include <vector>

static_assert(IDM_CHECK_FILE == k_check_file && IDM_HELP == k_help && IDM_EXIT == k_exit &&
              IDM_CHECK_FOLDER == k_check_folder);


namespace {

Prompts* g_prompts = nullptr;
// A close asked for while the program was busy: carried out once the run or the root
// dialogue is over.
bool g_close_waiting = false;
bool g_in_root_dialogue = false;

// One dropped path, whole: Windows says how long it is, so no path is ever cut short
// into the name of some other file or folder.
std::string dropped_path(HDROP drop, UINT index)
{
    UINT length = DragQueryFileW(drop, index, nullptr, 0);
    std::wstring path(length + 1, L'\0');
    UINT copied = DragQueryFileW(drop, index, path.data(), length + 1);
    path.resize(copied);
    return to_utf8(path);
}

std::vector<std::string> dropped_paths(HDROP drop)
{
    std::vector<std::string> paths;
    const int count = Draghowmanyfiles(drop);
    for (int k = 0; k < count; ++k) {
        paths.push_back(dropped_path(drop, static_cast<UINT>(k)));
    }
    return paths;
}

// The whole root dialogue keeps the program busy: a command or drop meanwhile would run
// against a root not yet confirmed.
bool confirm_poser_root()
{
    BusyGuard busy(main_session());
    g_in_root_dialogue = true;
    const int go_on = set_poser_root(main_session().run, *g_prompts, root_picker());
    g_in_root_dialogue = false;
    return go_on != 0;
}

LRESULT on_create(HWND wn, UINT message, WPARAM S, LPARAM L)
{
    // The prompts of the root dialogue below are owned by this window, which CreateWindowExW
    // has not yet returned to anyone.
    mwn = wn;
    // Taken before any chooser can move the current folder: the run log lives here.
    set_rootdir_to_current_folder(main_session());
    mainmenu = LoadMenuW(Instance, to_wide(progname).c_str());
    SetMenu(wn, mainmenu);
    add_extras(wn);
    ShowWindow(wn, SW_SHOW);
    DragAcceptFiles(wn, TRUE);
    if (!confirm_poser_root() || g_close_waiting) {
        g_close_waiting = false;
        PostQuitMessage(0);
        return 0;
    }
    show_what_can_run(wn);
    return DefWindowProcW(wn, message, S, L);
}

LRESULT on_paint(HWND wn, UINT message, WPARAM S, LPARAM L)
{
    PAINTSTRUCT ps;
    BeginPaint(wn, &ps);
    paint_status(wn, ps.hdc);
    EndPaint(wn, &ps);
    return DefWindowProcW(wn, message, S, L);
}

LRESULT on_get_min_max_info(LPARAM L)
{
    // Maximised, the frame lies just outside the screen.
    reinterpret_cast<MINMAXINFO*>(L)->ptMaxPosition = POINT{-4, -4};
    return 0;
}

// A close during a run ends the run before its next file and waits for it to wind down; a
// close during the root dialogue waits for its end. Otherwise the window goes at once. A run
// with a Cancel button stops as the button stops it, its log and closing messages saying so.
LRESULT on_close(HWND wn, UINT message, WPARAM S, LPARAM L)
{
    if (!main_session().run_in_progress) {
        return DefWindowProcW(wn, message, S, L);
    }
    g_close_waiting = true;
    if (!g_in_root_dialogue && !cancel_run_for_close()) {
        main_session().cancelled = false;
        run_stop::request();
    }
    return 0;
}

// After a command or drop: true when a close came meanwhile and the window has gone.
bool closed_after_run(HWND wn)
{
    if (!g_close_waiting || main_session().run_in_progress) {
        return false;
    }
    g_close_waiting = false;
    run_stop::clear();
    DestroyWindow(wn);
    return true;
}

LRESULT on_command(HWND wn, UINT message, WPARAM S, LPARAM L)
{
    if (extras_command(wn, LOWORD(S), *g_prompts)) {
        show_what_can_run(wn);
        return 0;
    }
    // Exit while the program is busy does what the close box does: the run or report stops
    // before its next file, and the window goes once it has wound down.
    if (LOWORD(S) == IDM_EXIT && main_session().run_in_progress) {
        return on_close(wn, WM_CLOSE, 0, 0);
    }
    const unsigned long long runs = main_session().runs_started;
    before_command();
    const AfterCommand after = menu_command(main_session(), LOWORD(S), *g_prompts);
    after_command(wn, runs);
    if (closed_after_run(wn)) {
        return 0;
    }
    show_what_can_run(wn);
    if (after == AfterCommand::close_main_window) {
        SendMessageW(wn, WM_CLOSE, 0, 0);
        return 0;
    }
    return DefWindowProcW(wn, message, S, L);
}

LRESULT on_drop_files(HWND wn, UINT message, WPARAM S, LPARAM L)
{
    HDROP drop = reinterpret_cast<HDROP>(S);
    const std::vector<std::string> paths = dropped_paths(drop);
    // Released before the run, which may keep the user busy for long.
    DragFinish(drop);
    const unsigned long long runs = main_session().runs_started;
    before_command();
    handle_drop(main_session(), paths, *g_prompts);
    after_command(wn, runs);
    if (closed_after_run(wn)) {
        return 0;
    }
    show_what_can_run(wn);
    return DefWindowProcW(wn, message, S, L);
}

// The window menu's own items go on to Windows.
LRESULT on_system_command(HWND wn, UINT message, WPARAM S, LPARAM L)
{
    if (extras_command(wn, static_cast<int>(S & 0xFFF0), *g_prompts)) {
        show_what_can_run(wn);
        return 0;
    }
    return DefWindowProcW(wn, message, S, L);
}

LRESULT on_report_done(HWND wn)
{
    finish_report(wn, *g_prompts, g_close_waiting);
    if (!closed_after_run(wn)) {
        show_what_can_run(wn);
    }
    return 0;
}

LRESULT on_move_step_done(HWND wn)
{
    finish_move_step(wn, *g_prompts, g_close_waiting);
    if (!closed_after_run(wn)) {
        show_what_can_run(wn);
    }
    return 0;
}

LRESULT on_install_step_done(HWND wn)
{
    finish_install_step(wn, *g_prompts, g_close_waiting);
    if (!closed_after_run(wn)) {
        show_what_can_run(wn);
    }
    return 0;
}

}  // namespace

void use_prompts(Prompts& prompts)
{
    g_prompts = &status_prompts(prompts);
}



// A wide-character class: its windows keep every letter of a title such as a file's path.
bool Register(const char* name, WNDPROC proc)
{
    const std::wstring class_name = to_wide(name);
    WNDCLASSW wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_SAVEBITS;
    wc.lpfnWndProc = proc;
    wc.hInstance = Instance;
    wc.hIcon = LoadIconW(Instance, to_wide(progname).c_str());
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = class_name.c_str();
    return RegisterClassW(&wc) != 0;
}

HWND newwindow(const char* clas, const char* name, DWORD c)
{
    HWND wn = CreateWindowExW(0, to_wide(clas).c_str(), to_wide(name).c_str(), WS_OVERLAPPEDWINDOW | c, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, Instance, nullptr);
    if (wn != nullptr) {
        ShowWindow(wn, SW_SHOW);
        UpdateWindow(wn);
    }
    return wn;
}

int Draghowmanyfiles(HDROP hdrop)
{
    return static_cast<short>(DragQueryFileW(hdrop, 0xFFFFFFFF, nullptr, 0));
}

std::string readme_beside_program()
{
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = 0;
    while ((n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) == path.size()) {
        path.resize(path.size() * 2);
    }
    path.resize(path.find_last_of(L'\\', n) + 1);
    path += L"tarnwick_readme.txt";
    return n > 0 && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES ? to_utf8(path) : std::string();
}

void open_in_text_editor(const std::string& log)
{
    ShellExecuteW(mwn, L"open", L"NOTEPAD", to_wide(log).c_str(), L"", SW_SHOW);
}

int run_message_loop(GetMessageFunction get_message)
{
    MSG msg{};
    BOOL got = 0;
    while ((got = get_message(&msg, nullptr, 0, 0)) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    // -1: the loop itself failed and no quit message came with a code.
    return got == 0 ? static_cast<int>(msg.wParam) : 0;
}

LRESULT CALLBACK MainWinProc(HWND wn, UINT iMessage, WPARAM S, LPARAM L)
{
    if (g_prompts == nullptr) {
        return DefWindowProcW(wn, iMessage, S, L);
    }
    switch (iMessage) {
    case WM_CREATE:
        return on_create(wn, iMessage, S, L);
    case WM_CLOSE:
        return on_close(wn, iMessage, S, L);
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_PAINT:
        return on_paint(wn, iMessage, S, L);
    case WM_GETMINMAXINFO:
        return on_get_min_max_info(L);
    case WM_COMMAND:
        return on_command(wn, iMessage, S, L);
    case WM_ENTERIDLE:
        return 0;
    case WM_DROPFILES:
        return on_drop_files(wn, iMessage, S, L);
    case WM_SYSCOMMAND:
        return on_system_command(wn, iMessage, S, L);
    case WM_CONTEXTMENU:
        return show_context_menu(wn, L) ? 0 : DefWindowProcW(wn, iMessage, S, L);
    case WM_SIZE:
        layout_extras(wn);
        return DefWindowProcW(wn, iMessage, S, L);
    case k_report_progress_message:
        show_report_progress(wn);
        return 0;
    case k_report_done_message:
        return on_report_done(wn);
    case k_move_progress_message:
        show_move_progress(wn);
        return 0;
    case k_move_done_message:
        return on_move_step_done(wn);
    case k_install_progress_message:
        show_install_progress(wn);
        return 0;
    case k_install_done_message:
        return on_install_step_done(wn);
    default:
        return DefWindowProcW(wn, iMessage, S, L);
    }
}
