// The library report from the window: a folder picked, the report built on a worker thread
// while the window shows its progress, and the page kept under the user's local application
// data and opened in the browser.
#pragma once

#include "engine/base/prompts.h"

#include <functional>
#include <string>
#include <windows.h>

// Messages the report's worker thread posts to the main window.
inline constexpr UINT k_report_progress_message = WM_APP + 1;
inline constexpr UINT k_report_done_message = WM_APP + 2;

// How the page is opened: ShellExecute in the program, a recorder in the tests. False when
// it could not be.
using PageOpener = std::function<bool(const std::string& page)>;
void use_page_opener(PageOpener opener);

// The folder the pages go to: %LOCALAPPDATA%\tarnwick\reports.
std::string reports_folder();

// Asks for the folder and starts the report; nothing when a run or report is in progress.
void start_report(HWND wn, Prompts& prompts);
// Asks for a product zip and reports on it as tarnwick-cli --report PRODUCT.zip does: what it
// needs from the roots and what breaks an install, the page kept and opened as a report's.
void start_product_check(HWND wn, Prompts& prompts);
// Asks for a scene and the zip to write, and collects the scene with every file it uses into
// it as tarnwick-cli --collect does; a closing message tells what came of it.
void start_collect(HWND wn, Prompts& prompts);
bool report_running();
// The Cancel button: the report ends before its next file and no page is written.
void cancel_report();
// The worker's news: its progress, and its end. `closing`: the window is going, no page.
void show_report_progress(HWND wn);
void finish_report(HWND wn, Prompts& prompts, bool closing);

// The last report's page, kept across restarts by the pages themselves: at start the newest
// in reports_folder(), then each page as it is written. "" while there is none.
void find_last_report();
const std::string& last_report_page();
// Opens that page again in the browser; a warning names it when it cannot be opened.
void open_last_report(Prompts& prompts);
