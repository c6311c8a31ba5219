// Picking a folder as such, where the window program's extended mode offers it: the Windows
// folder picker, or a test's stand-in.
#pragma once

#include <functional>
#include <string>
#include <string_view>

// Shows `title`, starting in `initdir`. Returns 1 with the chosen folder's full path in
// `folder`, or 0 when the user cancelled or the picker failed, with `folder` unchanged.
using FolderPicker = std::function<int(std::string& folder, std::string_view initdir, std::string_view title)>;

#ifdef _WIN32
// The Windows folder picker (IFileOpenDialog with FOS_PICKFOLDERS), owned by the main window.
int pick_folder_with_dialog(std::string& folder, std::string_view initdir, std::string_view title);
#endif
