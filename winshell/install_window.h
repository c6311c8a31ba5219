// The window's "install a product zip": the zips picked (several at once), the content folder
// picked from a short list (the Poser root and the folders Poser's LibraryPrefs.xml registers),
// each zip checked and the install planned on a worker thread, the question with the plan's
// counts, the install on the worker thread with the progress panel and its Cancel button (a
// cancelled install is taken back), and a closing message with what the product needs.
#pragma once

#include "engine/base/prompts.h"

#include <functional>
#include <string>
#include <vector>
#include <windows.h>

// Messages the install's worker thread posts to the main window.
inline constexpr UINT k_install_progress_message = WM_APP + 5;
inline constexpr UINT k_install_done_message = WM_APP + 6;

// Picks the zips, starting in `initdir`: the Windows file chooser with several files allowed,
// or a test's stand-in. False when cancelled.
using ZipPicker = std::function<bool(std::vector<std::string>& zips, const std::string& initdir)>;
void use_zip_picker(ZipPicker picker);
// Picks one of `folders`: a menu at the window's centre, or a test's stand-in. Its index, or -1
// when the choice was cancelled.
using FolderChoice = std::function<int(const std::vector<std::string>& folders)>;
void use_folder_choice(FolderChoice choice);

// Asks for the zips and the content folder and starts the check; nothing while busy.
void start_install(HWND wn, Prompts& prompts);
bool install_running();
// The Cancel button: the check ends, or the install stops and is taken back.
void cancel_install();
// The worker's news: its progress, and the end of its step. `closing`: the window is going.
void show_install_progress(HWND wn);
void finish_install_step(HWND wn, Prompts& prompts, bool closing);
