#include "winshell/program.h"

#include <memory>

const char progname[] = "tarnwick";
HINSTANCE Instance;
HINSTANCE PrevInstance;
HWND mwn;
HMENU mainmenu;

namespace {

std::unique_ptr<Session> g_session = std::make_unique<Session>();

}  // namespace

Session& main_session()
{
    return *g_session;
}

void reset_main_session(fsys::FileSystem& fs)
{
    g_session = std::make_unique<Session>(fs);
}
