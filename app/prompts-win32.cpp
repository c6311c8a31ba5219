#include "app/prompts-win32.h"

#include <string>
#include <vector>

OPENFILENAMEA ofn;
char tit[256];

namespace {

// Deep Poser content paths are long; the chooser gets room for any path Windows can
// return. A path that still does not fit fails the dialog, which counts as a cancel.
constexpr DWORD k_chooser_path_chars = 32768;

// The chooser's filter list: display name, pattern, each terminated, then an empty text.
std::string filter_list(const FileFilter& f)
{
    std::string list = f.display;
    list += '\0';
    list += f.pattern;
    list += '\0';
    list += '\0';
    return list;
}

int message_box(HWND owner, std::string_view body, std::string_view caption, UINT style)
{
    return MessageBoxA(owner, std::string(body).c_str(), std::string(caption).c_str(), style);
}

}  // namespace

HWND WindowsPrompts::owner_window(Owner owner) const
{
    return owner == Owner::main ? m_main_window : nullptr;
}

void WindowsPrompts::show_warning(Owner owner, std::string_view body, std::string_view caption)
{
    message_box(owner_window(owner), body, caption, MB_ICONWARNING);
}

void WindowsPrompts::show_information(Owner owner, std::string_view body, std::string_view caption)
{
    message_box(owner_window(owner), body, caption, MB_OK);
}

bool WindowsPrompts::ask_question(Owner owner, std::string_view body, std::string_view caption)
{
    return message_box(owner_window(owner), body, caption, MB_YESNO) == IDYES;
}

int WindowsPrompts::choose_file(Owner owner, std::string& file, std::string_view initdir, std::string_view t,
                                const FileFilter& f, ChooserMode write)
{
    std::vector<char> path(k_chooser_path_chars, '\0');
    file.copy(path.data(), path.size() - 1);
    const std::string filter = filter_list(f);
    const std::string folder(initdir);
    const std::string title(t);

    ofn = OPENFILENAMEA{};
    // The record's own size: a 64-bit Windows refuses any other, and every chooser would
    // then fail like a cancel.
    ofn.lStructSize = sizeof(OPENFILENAMEA);
    ofn.hwndOwner = owner_window(owner);
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 0;
    ofn.lpstrFile = path.data();
    ofn.nMaxFile = k_chooser_path_chars;
    ofn.lpstrFileTitle = tit;
    ofn.nMaxFileTitle = sizeof tit;
    ofn.lpstrInitialDir = folder.c_str();
    ofn.lpstrTitle = title.c_str();
    ofn.Flags = write == ChooserMode::save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST;

    BOOL chosen = write == ChooserMode::save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
    if (!chosen) {
        return 0;
    }
    file = path.data();
    return 1;
}

void WindowsPrompts::set_title(std::string_view text)
{
    if (m_main_window != nullptr) {
        const std::string title(text);
        SendMessageA(m_main_window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title.c_str()));
    }
}
