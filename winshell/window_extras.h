// What the main window offers beyond its four commands: the library report and the two
// options (in the window menu and the client area's right-click menu), the status text in
// the client area, and the progress panel with its Cancel button.
#pragma once

#include "app/folder_picker.h"
#include "app/window_status.h"
#include "engine/prompts.h"

#include <functional>
#include <string>
#include <windows.h>

// Messages the report's worker thread posts to the main window.
inline constexpr UINT k_report_progress_message = WM_APP + 1;
inline constexpr UINT k_report_done_message = WM_APP + 2;

// The folder picker the extended mode and the report use: the Windows one, or a test's.
void use_folder_picker(FolderPicker picker);
const FolderPicker& folder_picker();

// The prompts the window's work talks to, passing everything on to `inner`: each file in
// hand also shows in the client area, and while the progress panel shows the window's
// messages are handled between files, so that its Cancel button answers.
Prompts& status_prompts(Prompts& inner);
WindowStatus& window_status();

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
void paint_status(HWND wn, HDC dc);
void layout_extras(HWND wn);
// The progress panel: shown while a report or an extended run goes; `steps` false for a bar
// that only shows work going on.
void show_progress_panel(HWND wn, bool steps);
void hide_progress_panel(HWND wn);
void set_progress(double fraction);
void repaint_status(HWND wn);

// Around each command or drop: the options put in force, and afterwards the status and the
// title brought back.
void before_command();
void after_command(HWND wn, unsigned long long runs_before);
