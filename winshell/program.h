// What the program keeps for its whole life: its name, its module, its main window and menu,
// and the state of its runs.
#pragma once

#include "app/runs.h"

#include <windows.h>

// The program name: window class, window title, and the name of the menu and icon.
extern const char progname[];
extern HINSTANCE Instance;
extern HINSTANCE PrevInstance;
extern HWND mwn;
extern HMENU mainmenu;

// What the program keeps between and during its runs; a fresh one for each test, on the disk
// it gives.
Session& main_session();
void reset_main_session(fsys::FileSystem& fs = fsys::disk());
