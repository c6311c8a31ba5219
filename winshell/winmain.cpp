// The Windows program: one maximised window, its menu and drops; all work happens in the
// window procedure, inside the message loop.
#include "app/prompts-win32.h"
#include "app/runs.h"
#include "winshell/main_window.h"

int WINAPI WinMain(HINSTANCE hInst, HINSTANCE hPrev, LPSTR /*CmdLine*/, int /*nCmdShow*/)
{
    Instance = hInst;
    PrevInstance = hPrev;
    WindowsPrompts prompts(mwn);
    use_prompts(prompts);
    main_session().log_viewer = open_in_text_editor;
    main_session().readme = readme_beside_program();
    if (hPrev == nullptr && !Register(progname, MainWinProc)) {
        return 0;
    }
    mwn = newwindow(progname, progname, WS_MAXIMIZE);
    if (mwn == nullptr) {
        return 0;
    }
    return run_message_loop();
}
