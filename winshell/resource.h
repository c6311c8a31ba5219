// Identifiers shared by the resource script and the window procedure. The menu commands
// keep the numbers the program has always used.
#pragma once

#define IDM_CHECK_FILE 256
#define IDM_HELP 257
#define IDM_EXIT 258
#define IDM_CHECK_FOLDER 259

// Beyond the menu bar, in the window menu and the client area's right-click menu. Items of
// the window menu keep the four low bits clear, which Windows uses for its own.
#define IDM_LIBRARY_REPORT 272
#define IDM_OPTION_EXTENDED 288
#define IDM_OPTION_AUTOMATIC 304
#define IDM_UNDO_LAST_RUN 336
#define IDM_OPEN_LAST_REPORT 352
#define IDM_CHECK_PRODUCT_ZIP 368
#define IDM_COLLECT_SCENE 384
#define IDM_MOVE_FOLDER 400
#define IDM_INSTALL_PRODUCT 416
// The progress panel's Cancel button.
#define IDC_CANCEL_WORK 320
