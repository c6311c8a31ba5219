// What the main window offers beyond its four commands: the library report and the two
// options (in the window menu and the client area's right-click menu), the status text in
// the client area, and the progress panel with its Cancel button.
#pragma once

#include "engine/base/prompts.h"
#include "winshell/progress_panel.h"

#include <functional>
#include <string>
#include <windows.h>

// The prompts the window's work talks to, passing everything on to `inner`: each file in
// hand also shows in the client area, and while the progress panel shows the window's
// messages are handled between files, so that its Cancel button answers.
Prompts& status_prompts(Prompts& inner);

// On creation: the extra menus, the progress panel (hidden) and the saved options.
void add_extras(HWND wn);
// The picker the root dialogue uses: the folder picker with the extended repair on.
FolderPicker root_picker();
// Carries out the command `id` when it is one of the extras; false for any other.
bool extras_command(HWND wn, int id, Prompts& prompts);
// The right-click menu, for a click in the client area; false for one elsewhere.
bool show_context_menu(HWND wn, LPARAM where);
HMENU context_menu();
// Greys what cannot start now, in the menu bar, the window menu and the right-click menu, and
// refuses drops: while a run, a report, an undo or the root dialogue goes, only help, exit and
// the last report's page can be reached. "open the last report" is greyed while there is none.
void show_what_can_run(HWND wn);

// A close during a run that shows the Cancel button stops it as the button does; false when
// no such run goes (a report, a run that asks after each folder, nothing).
bool cancel_run_for_close();

// Around each command or drop: the options put in force, and afterwards the status and the
// title brought back.
void before_command();
void after_command(HWND wn, unsigned long long runs_before);
