// The window program's two options, saved with the settings and read at start: the extended
// repair (the library rules over the Poser root and the content folders Poser registers), and
// taking a missing file found by name without asking, which needs the first.
#pragma once

#include "app/folder_picker.h"
#include "app/runs.h"

#include <memory>
#include <string>
#include <vector>

inline constexpr const char* k_options_section = "options";
inline constexpr const char* k_extended_key = "extendedrepair";
inline constexpr const char* k_automatic_key = "takefoundbyname";

struct WindowOptions {
    bool extended = false;
    bool automatic = false;  // only with `extended`
    bool operator==(const WindowOptions&) const = default;
};

// The saved options; both off when nothing is saved. A saved "take by name" turns the
// extended repair on.
WindowOptions read_window_options();
// False when the settings file cannot be written.
bool save_window_options(const WindowOptions& options);

// The options as one menu item switched: turning "take by name" on turns the extended repair
// on, turning the extended repair off turns "take by name" off.
enum class WindowOption { extended, automatic };
WindowOptions switched(WindowOptions options, WindowOption item);

// The content roots of the window's extended repair and of its report: the Poser root, then
// the folders of the newest LibraryPrefs.xml Poser keeps (`library_prefs`, "" when none was
// found); `notes` names those left out. Just the Poser root when it is not a folder.
std::vector<std::string> window_content_roots(Run& run, std::string& library_prefs, std::vector<std::string>& notes);

// How the window's commands talk with the user under the options: with the extended repair on,
// the file chooser lists every document the rules check and proposes no name, folders (the
// Poser root's too) are picked with `picker`, the Cancel button stops a run, the closing question
// ends with the run's summary, and help has a title and names the read-me; the program's own way
// otherwise.
std::unique_ptr<Dialogue> window_dialogue(const WindowOptions& options, const FolderPicker& picker);

// Puts the options in force for the next run: the library rules and the window's dialogue
// (`picker` for folders) when the extended repair is on, the repair's own rules otherwise.
void apply_window_options(Session& session, const WindowOptions& options, const FolderPicker& picker);

// Closes the manifests of the last extended run, which Windows would not let an undo replace.
void close_run_folders(Session& session);
