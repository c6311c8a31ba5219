// The prompts as Windows shows them: message boxes and the common open and save dialogs,
// owned by the main window or by nobody, and the main window's title. All texts pass through
// the wide-character calls, so that any name shows and can be chosen whole.
#pragma once

#include "engine/base/prompts.h"

#include <windows.h>
#include <commdlg.h>

class WindowsPrompts : public Prompts {
public:
    // `main_window` is read at every prompt: the window may come to exist, or go, later.
    explicit WindowsPrompts(const HWND& main_window) : m_main_window(main_window) {}

protected:
    void show_warning(Owner owner, std::string_view body, std::string_view caption) override;
    void show_information(Owner owner, std::string_view body, std::string_view caption) override;
    bool ask_question(Owner owner, std::string_view body, std::string_view caption) override;
    int choose_file(Owner owner, std::string& file, std::string_view initdir, std::string_view t, const FileFilter& f,
                    ChooserMode write) override;
    void set_title(std::string_view text) override;

public:
    // The chooser's request, filled anew for every chooser.
    OPENFILENAMEW ofn{};
    // Receives the chosen file's name without its folder.
    wchar_t tit[256] = {};

private:
    HWND owner_window(Owner owner) const;
    int show_box(Owner owner, std::string_view body, std::string_view caption, UINT kind);

    const HWND& m_main_window;
};
