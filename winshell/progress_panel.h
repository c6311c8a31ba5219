// The client area's status text and the progress panel (a bar and its Cancel button), shown
// while a report or an extended run goes; the folder picker both use.
#pragma once

#include "app/folder_picker.h"
#include "app/window_status.h"

#include <windows.h>

inline constexpr int k_panel_margin = 24;

// The folder picker the extended mode and the report use: the Windows one, or a test's.
void use_folder_picker(FolderPicker picker);
const FolderPicker& folder_picker();
WindowStatus& window_status();

// On creation: the bar and its Cancel button, hidden.
void create_progress_panel(HWND wn);
void paint_status(HWND wn, HDC dc);
void layout_extras(HWND wn);
// `steps` false for a bar that only shows work going on.
void show_progress_panel(HWND wn, bool steps);
void hide_progress_panel(HWND wn);
bool progress_panel_shown();
void set_progress(double fraction);
void repaint_status(HWND wn);
// Handles what waits in the queue: the Cancel button, repaints, a close.
void pump_messages();
// The Cancel button was clicked during the run or report in hand.
void note_cancel_click();
void forget_cancel_click();
bool cancel_clicked();
