// Identifiers shared by the resource script and the window procedure. The menu commands
// keep the numbers the program has always used.
#pragma once

#define IDM_CHECK_FILE 256
#define IDM_HELP 257
#define IDM_EXIT 258
#define IDM_CHECK_FOLDER 259
