#include "winshell/progress_panel.h"

#include "engine/base/text_encoding.h"
#include "winshell/program.h"
#include "winshell/resource.h"

#include <commctrl.h>
#include <algorithm>

namespace {

FolderPicker g_picker = pick_folder_with_dialog;
WindowStatus g_status;
HWND g_bar = nullptr;
HWND g_cancel = nullptr;
HFONT g_font = nullptr;
bool g_panel_shown = false;
bool g_cancel_clicked = false;

constexpr int k_margin = k_panel_margin;
constexpr int k_line_height = 28;
constexpr int k_status_lines = 4;

// The client area's height the status text may take: above the progress panel while it shows.
int status_bottom(const RECT& client)
{
    return g_panel_shown ? k_margin + k_status_lines * k_line_height : static_cast<int>(client.bottom);
}

// Draws one line of the status text from the top of `row` and returns the height it took. A
// line naming a path keeps the path's start and its file name, with "..." between; any other
// wraps at the row's width, so that a narrow window shows it whole.
int draw_status_line(HDC dc, const std::wstring& text, RECT row)
{
    const bool path = text.find_first_of(L"\\/") != std::wstring::npos;
    TEXTMETRICW font{};
    GetTextMetricsW(dc, &font);
    row.bottom = row.top + (path ? k_line_height : k_status_lines * k_line_height);
    const int height = DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &row,
                                 DT_NOPREFIX | (path ? DT_SINGLELINE | DT_PATH_ELLIPSIS : DT_WORDBREAK));
    return height + k_line_height - font.tmHeight;
}

}  // namespace

// Handles what waits in the queue: the Cancel button, repaints, a close. A quit message
// goes back for the message loop.
void pump_messages()
{
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void use_folder_picker(FolderPicker picker)
{
    g_picker = std::move(picker);
}

const FolderPicker& folder_picker()
{
    return g_picker;
}

WindowStatus& window_status()
{
    return g_status;
}

void paint_status(HWND wn, HDC dc)
{
    HGDIOBJ old = SelectObject(dc, g_font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(40, 40, 40));
    RECT client{};
    GetClientRect(wn, &client);
    IntersectClipRect(dc, 0, 0, client.right, status_bottom(client));
    int y = k_margin;
    for (const std::string& line : g_status.lines(main_session().run.tally)) {
        RECT row{k_margin, y, std::max(k_margin, static_cast<int>(client.right) - k_margin), y};
        y += draw_status_line(dc, to_wide(line), row);
    }
    SelectObject(dc, old);
}

void layout_extras(HWND wn)
{
    RECT client{};
    GetClientRect(wn, &client);
    const int y = k_margin + k_status_lines * k_line_height + 8;
    const int button = 100;
    const int bar = std::max(120, std::min(640, static_cast<int>(client.right) - 3 * k_margin - button));
    MoveWindow(g_bar, k_margin, y + 3, bar, 22, TRUE);
    MoveWindow(g_cancel, k_margin * 2 + bar, y, button, 28, TRUE);
}

void show_progress_panel(HWND wn, bool steps)
{
    g_cancel_clicked = false;
    // The idle text may reach below the panel's top: all of it goes before the panel shows.
    InvalidateRect(wn, nullptr, TRUE);
    UpdateWindow(wn);
    const LONG_PTR style = GetWindowLongPtrA(g_bar, GWL_STYLE);
    SetWindowLongPtrA(g_bar, GWL_STYLE, steps ? (style & ~PBS_MARQUEE) : (style | PBS_MARQUEE));
    SendMessageA(g_bar, PBM_SETMARQUEE, steps ? FALSE : TRUE, 50);
    SendMessageA(g_bar, PBM_SETPOS, 0, 0);
    ShowWindow(g_bar, SW_SHOW);
    ShowWindow(g_cancel, SW_SHOW);
    EnableWindow(g_cancel, TRUE);
    g_panel_shown = true;
    repaint_status(wn);
}

void hide_progress_panel(HWND wn)
{
    SendMessageA(g_bar, PBM_SETMARQUEE, FALSE, 0);
    ShowWindow(g_bar, SW_HIDE);
    ShowWindow(g_cancel, SW_HIDE);
    g_panel_shown = false;
    repaint_status(wn);
}

void set_progress(double fraction)
{
    SendMessageA(g_bar, PBM_SETPOS, static_cast<WPARAM>(fraction * 1000), 0);
}

void repaint_status(HWND wn)
{
    RECT text{};
    GetClientRect(wn, &text);
    text.bottom = status_bottom(text);
    InvalidateRect(wn, &text, TRUE);
    UpdateWindow(wn);
}

void create_progress_panel(HWND wn)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    if (g_font == nullptr) {
        g_font = CreateFontA(-18, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Tahoma");
    }
    g_bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | PBS_SMOOTH, 0, 0, 0, 0, wn, nullptr, Instance, nullptr);
    SendMessageA(g_bar, PBM_SETRANGE32, 0, 1000);
    g_cancel = CreateWindowExA(0, "BUTTON", "Cancel", WS_CHILD | BS_PUSHBUTTON, 0, 0, 0, 0, wn,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_CANCEL_WORK)), Instance, nullptr);
    SendMessageA(g_cancel, WM_SETFONT, reinterpret_cast<WPARAM>(g_font), FALSE);
    g_panel_shown = false;
    layout_extras(wn);
}

bool progress_panel_shown()
{
    return g_panel_shown;
}

void note_cancel_click()
{
    g_cancel_clicked = true;
}

void forget_cancel_click()
{
    g_cancel_clicked = false;
}

bool cancel_clicked()
{
    return g_cancel_clicked;
}
