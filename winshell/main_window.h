// The main window: its class, its creation, and the procedure that turns its messages
// into the program's work.
#pragma once

#include "engine/base/prompts.h"
#include "winshell/program.h"

#include <string>
#include <windows.h>
#include <shellapi.h>

// The prompts through which the window's work talks to the user: message boxes and
// choosers in the program, a script in the tests.
void use_prompts(Prompts& prompts);

// Registers the window class `name` with `proc`; false when Windows refuses it.
bool Register(const char* name, WNDPROC proc);
// Creates the main window of class `clas` titled `name`, with `c` added to its style,
// shows it and paints it; nullptr when it cannot be created.
HWND newwindow(const char* clas, const char* name, DWORD c);
LRESULT CALLBACK MainWinProc(HWND wn, UINT iMessage, WPARAM S, LPARAM L);
// The number of paths in a drop, as a signed 16-bit count.
int Draghowmanyfiles(HDROP hdrop);
// Runs the message loop until the quit message and returns its code; 0 when getting a
// message fails. `get_message` is GetMessageW but in the tests.
using GetMessageFunction = BOOL(WINAPI*)(LPMSG, HWND, UINT, UINT);
int run_message_loop(GetMessageFunction get_message = GetMessageW);
// The read-me that came with the program, beside it; "" when it is not there.
std::string readme_beside_program();
// Opens the run log in the text editor, without waiting for it.
void open_in_text_editor(const std::string& log);
