// The window's "move a folder and keep what uses it": the folder to move and the place it goes
// picked (a new folder's name typed in the picker), the move planned on a worker thread while
// the progress panel shows, the counts of its dry run in a question, then the move carried out
// on the worker thread with the Cancel button (a cancelled move is taken back), and a message
// with what came of it. "undo the last run" takes a move back too.
#pragma once

#include "engine/base/prompts.h"

#include <windows.h>

// Messages the move's worker thread posts to the main window.
inline constexpr UINT k_move_progress_message = WM_APP + 3;
inline constexpr UINT k_move_done_message = WM_APP + 4;

// Asks for the folder and its new place and starts planning; nothing while the program is busy.
void start_move(HWND wn, Prompts& prompts);
bool move_running();
// The Cancel button: the plan ends, or the move stops and is taken back.
void cancel_move();
void show_move_progress(HWND wn);
// The worker's end: once planned, the question and on Yes the move; once moved, the message.
// `closing`: the window is going, and nothing more is asked or done.
void finish_move_step(HWND wn, Prompts& prompts, bool closing);
