#include "app/prompts-win32.h"

#include "engine/base/text_encoding.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace {

// Deep Poser content paths are long; the chooser gets room for any path Windows can
// return. A path that still does not fit fails the dialog, which counts as a cancel.
constexpr DWORD k_chooser_path_chars = 32768;

// The chooser's filter list: display name, pattern, each terminated, then an empty text.
std::wstring filter_list(const FileFilter& f)
{
    std::wstring list = to_wide(f.display);
    list += L'\0';
    list += to_wide(f.pattern);
    list += L'\0';
    list += L'\0';
    return list;
}

// Questions where only an explicit No changes course (the stored root is kept, the walk goes
// on). A box that could not be shown gave no No, so these go on as after any other answer;
// every other question then counts as not answered Yes.
constexpr std::string_view k_questions_only_no_stops[] = {
    "Is this the root address of your Poser setup?",
    "searchdir finished for this folder: shall I continue?",
};

bool only_no_stops(std::string_view caption)
{
    return std::find(std::begin(k_questions_only_no_stops), std::end(k_questions_only_no_stops), caption) !=
           std::end(k_questions_only_no_stops);
}

// The work area of the screen that shows `box`.
RECT work_area_of(HWND box)
{
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTONEAREST), &monitor);
    return monitor.rcWork;
}

// How wide `text` is in the title bar's font.
int caption_text_width(HWND box, const std::wstring& text)
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HFONT font = CreateFontIndirectW(&metrics.lfCaptionFont);
    HDC dc = GetDC(box);
    HGDIOBJ previous = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, previous);
    ReleaseDC(box, dc);
    DeleteObject(font);
    return size.cx;
}

// The average letter's width in the font `control` draws with.
int average_letter_width(HWND control)
{
    HDC dc = GetDC(control);
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    return metrics.tmAveCharWidth;
}

// `child`'s place in its parent's client area.
RECT place_in_parent(HWND child)
{
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool has_class(HWND window, const char* name)
{
    char cls[16] = {};
    GetClassNameA(window, cls, sizeof cls);
    return _stricmp(cls, name) == 0;
}

BOOL CALLBACK shift_button(HWND child, LPARAM by)
{
    if (has_class(child, "Button")) {
        const RECT r = place_in_parent(child);
        SetWindowPos(child, nullptr, r.left + static_cast<int>(by), r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    return TRUE;
}

// The box's text: the static control that holds text rather than an icon.
BOOL CALLBACK find_text_control(HWND child, LPARAM found)
{
    if (has_class(child, "Static") && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON &&
        GetWindowTextLengthW(child) > 0) {
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
    }
    return TRUE;
}

// Windows sizes the text control to the text's width as its font advances, but a last letter
// may reach a pixel or two beyond that (wine's Tahoma does at the end of "alone"), and the
// control cuts it off. The control gets an average letter more, as far as a box of
// `widest_client` allows; the client width the box needs for it, keeping its margin on the
// right, or 0 when there is no text.
int widen_text(HWND box, int widest_client)
{
    HWND text = nullptr;
    EnumChildWindows(box, find_text_control, reinterpret_cast<LPARAM>(&text));
    if (text == nullptr) {
        return 0;
    }
    const RECT place = place_in_parent(text);
    RECT client;
    GetClientRect(box, &client);
    const int margin = std::min(place.left, client.right - place.right);
    const int more = std::max(0, std::min(average_letter_width(text), widest_client - margin - static_cast<int>(place.right)));
    SetWindowPos(text, nullptr, 0, 0, place.right - place.left + more, place.bottom - place.top, SWP_NOMOVE | SWP_NOZORDER);
    return place.right + more + margin;
}

// Windows sizes a message box to its body, which here is mostly one short path, and cuts
// the caption, which holds the actual message. The box grows around its centre until the
// caption fits beside the close button and its text keeps every letter (never beyond the
// screen); its buttons stay centred.
void fit_box(HWND box, const std::wstring& caption)
{
    RECT frame;
    RECT client;
    GetWindowRect(box, &frame);
    GetClientRect(box, &client);
    const int width = frame.right - frame.left;
    const int borders = width - (client.right - client.left);
    const RECT screen = work_area_of(box);
    const int widest = static_cast<int>(screen.right - screen.left);
    const int for_text = widen_text(box, widest - borders) + borders;
    const int for_caption = caption_text_width(box, caption) + borders + 2 * GetSystemMetrics(SM_CXSIZE);
    const int grow = std::min(std::max(for_text, for_caption), widest) - width;
    if (grow <= 0) {
        return;
    }
    const int left = std::max(static_cast<int>(screen.left), static_cast<int>(frame.left) - grow / 2);
    SetWindowPos(box, nullptr, left, frame.top, width + grow, frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
    EnumChildWindows(box, shift_button, grow / 2);
}

// Fits a message box to its texts once it has laid itself out, which is when its dialog
// initialisation returns. The caption is the box's own title, so the hook needs nothing else.
LRESULT CALLBACK after_box_message(int code, WPARAM w, LPARAM l)
{
    const auto* sent = reinterpret_cast<const CWPRETSTRUCT*>(l);
    if (code == HC_ACTION && sent->message == WM_INITDIALOG) {
        std::wstring caption(static_cast<std::size_t>(GetWindowTextLengthW(sent->hwnd)) + 1, L'\0');
        caption.resize(static_cast<std::size_t>(GetWindowTextW(sent->hwnd, caption.data(), static_cast<int>(caption.size()))));
        fit_box(sent->hwnd, caption);
    }
    return CallNextHookEx(nullptr, code, w, l);
}

// Watches this thread's windows while one message box is being made; a box shown from
// inside it (through input it lets in) gets its own watch.
class BoxFitter {
public:
    BoxFitter() : m_hook(SetWindowsHookExW(WH_CALLWNDPROCRET, after_box_message, nullptr, GetCurrentThreadId())) {}
    ~BoxFitter()
    {
        if (m_hook != nullptr) {
            UnhookWindowsHookEx(m_hook);
        }
    }
    BoxFitter(const BoxFitter&) = delete;
    BoxFitter& operator=(const BoxFitter&) = delete;

private:
    HHOOK m_hook;
};

// A box without owner is task-modal: the main window is disabled while it shows, so that
// it can neither hide the box nor take commands meanwhile.
UINT message_box_style(UINT kind, HWND owner)
{
    return owner == nullptr ? kind | MB_TASKMODAL : kind;
}

int message_box(HWND owner, std::string_view body, std::string_view caption, UINT style)
{
    const std::wstring text = to_wide(body);
    const std::wstring title = to_wide(caption);
    BoxFitter fitter;
    return MessageBoxW(owner, text.c_str(), title.c_str(), message_box_style(style, owner));
}

}  // namespace

HWND WindowsPrompts::owner_window(Owner owner) const
{
    return owner == Owner::main ? m_main_window : nullptr;
}

int WindowsPrompts::show_box(Owner owner, std::string_view body, std::string_view caption, UINT kind)
{
    const int answer = message_box(owner_window(owner), body, caption, kind);
    // The main window was disabled while the task-modal box showed, so nothing became
    // active when it went: the main window takes the keyboard again.
    if (owner == Owner::none && IsWindow(m_main_window) && GetActiveWindow() == nullptr) {
        SetActiveWindow(m_main_window);
    }
    return answer;
}

void WindowsPrompts::show_warning(Owner owner, std::string_view body, std::string_view caption)
{
    show_box(owner, body, caption, MB_ICONWARNING);
}

void WindowsPrompts::show_information(Owner owner, std::string_view body, std::string_view caption)
{
    show_box(owner, body, caption, MB_OK);
}

bool WindowsPrompts::ask_question(Owner owner, std::string_view body, std::string_view caption)
{
    const int answer = show_box(owner, body, caption, MB_YESNO);
    if (answer != IDYES && answer != IDNO) {
        return only_no_stops(caption);
    }
    return answer == IDYES;
}

int WindowsPrompts::choose_file(Owner owner, std::string& file, std::string_view initdir, std::string_view t,
                                const FileFilter& f, ChooserMode write)
{
    std::vector<wchar_t> path(k_chooser_path_chars, L'\0');
    to_wide(file).copy(path.data(), path.size() - 1);
    const std::wstring filter = filter_list(f);
    const std::wstring folder = to_wide(initdir);
    const std::wstring title = to_wide(t);

    ofn = OPENFILENAMEW{};
    // The record's own size: a 64-bit Windows refuses any other, and every chooser would
    // then fail like a cancel.
    ofn.lStructSize = sizeof(OPENFILENAMEW);
    ofn.hwndOwner = owner_window(owner);
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 0;
    ofn.lpstrFile = path.data();
    ofn.nMaxFile = k_chooser_path_chars;
    ofn.lpstrFileTitle = tit;
    ofn.nMaxFileTitle = sizeof tit / sizeof tit[0];
    ofn.lpstrInitialDir = folder.c_str();
    ofn.lpstrTitle = title.c_str();
    ofn.Flags = write == ChooserMode::save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST;

    BOOL chosen = write == ChooserMode::save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!chosen) {
        return 0;
    }
    file = to_utf8(path.data());
    return 1;
}

void WindowsPrompts::set_title(std::string_view text)
{
    if (m_main_window != nullptr) {
        // The main window is a wide-character window: the title keeps every letter.
        const std::wstring title = to_wide(text);
        SendMessageW(m_main_window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title.c_str()));
    }
}
