// The Windows prompts with real dialogs, each found while it shows and answered as a user would.
#include "app/prompts-win32.h"

#include "engine/base/text_encoding.h"
#include "tests/ink_bounds-win32.h"
#include "tests/test_support.h"

#include <dlgs.h>

#include <deque>
#include <functional>

using namespace std::string_literals;

// What the test does with the dialog of the given title once it shows.
static std::deque<std::pair<std::string, std::function<void(HWND)>>> g_expected;
static int g_ticks_left = 1500;

// Runs inside the dialogs' loops; a dialog nobody answers goes after half a minute: no hang.
static void CALLBACK answer_dialogs(HWND, UINT, UINT_PTR, DWORD)
{
    HWND dialog = g_expected.empty() ? nullptr : FindWindowA(nullptr, g_expected.front().first.c_str());
    if (dialog != nullptr) {
        const auto answer = std::move(g_expected.front().second);
        g_expected.pop_front();
        answer(dialog);
    } else if (--g_ticks_left < 0 && (dialog = GetActiveWindow()) != nullptr) {
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        PostMessageA(dialog, WM_COMMAND, IDNO, 0);
    }
}

// A box as the user sees it: owner, icon (a warning's only), buttons shown, main window enabled, and what of its texts
// is cut short: its caption, wider than the box beside the close button; its text, which drawn unclipped with its
// control's font, width and wrapping inks past the control, or the control reaching past the box.
static std::string describe(HWND box, HWND main, const std::string& caption)
{
    std::string seen = GetWindow(box, GW_OWNER) == main ? "main" : GetWindow(box, GW_OWNER) ? "other" : "none";
    EnumChildWindows(box, [](HWND w, LPARAM l) -> BOOL {
        std::string& seen = *reinterpret_cast<std::string*>(l);
        const int id = GetDlgCtrlID(w);
        seen += SendMessageA(w, STM_GETICON, 0, 0) != 0 ? " icon" : "";
        seen += IsWindowVisible(w) && id >= IDOK && id <= IDNO ? " " + std::to_string(id) : "";
        wchar_t body[4096] = {}, cls[16] = {};
        const LONG style = GetWindowLongW(w, GWL_STYLE);
        RECT area{}, place{}, box_area{};
        GetClientRect(w, &area);
        GetWindowRect(w, &place);
        MapWindowPoints(nullptr, GetParent(w), reinterpret_cast<POINT*>(&place), 2);
        GetClientRect(GetParent(w), &box_area);
        GetClassNameW(w, cls, 16);
        if (lstrcmpiW(cls, L"Static") == 0 && (style & SS_TYPEMASK) != SS_ICON && GetWindowTextW(w, body, 4096) > 0) {
            const RECT ink = ink_bounds([&](HDC on) {
                SelectObject(on, reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0)));
                DrawTextW(on, body, -1, &area, DT_EXPANDTABS | DT_WORDBREAK | DT_NOCLIP | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0));
            });
            const bool whole = ink.right <= area.right && ink.bottom <= area.bottom && place.right <= box_area.right;
            seen += whole ? "" : " text cut";
        }
        return TRUE;
    }, reinterpret_cast<LPARAM>(&seen));
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HDC dc = GetDC(box);
    HGDIOBJ old = SelectObject(dc, CreateFontIndirectA(&metrics.lfCaptionFont));
    SIZE text{};
    GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &text);
    DeleteObject(SelectObject(dc, old));
    ReleaseDC(box, dc);
    RECT r;
    GetWindowRect(box, &r);
    const bool caption_cut = r.right - r.left < text.cx + GetSystemMetrics(SM_CXSIZE);
    return seen + (IsWindowEnabled(main) ? " main enabled" : "") + (caption_cut ? " caption cut" : "");
}

TEST(WindowsPrompts, MessageBoxesAndChoosers)
{
    HWND main = CreateWindowExA(0, "STATIC", "tarnwick", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 480, nullptr,
                                nullptr, nullptr, nullptr);
    WindowsPrompts prompts(main);
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, answer_dialogs);
    const std::string root = "Is this the root address of your Poser setup?";
    const std::string see_log = "do you want to see my log for this run?";
    Lines seen;
    // Every letter shows, at 100 % and 150 % (fonts half as large again), of bodies whose last letters reach past them.
    NONCLIENTMETRICSW system{};
    system.cbSize = sizeof system;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof system, &system, 0);
    for (const int percent : {100, 150}) {
        NONCLIENTMETRICSW scaled = system;
        scaled.lfMessageFont.lfHeight = system.lfMessageFont.lfHeight * percent / 100;
        scaled.lfCaptionFont.lfHeight = system.lfCaptionFont.lfHeight * percent / 100;
        SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof scaled, &scaled, 0);
        for (const auto& [text, id] : {std::pair{std::string("I can't open this file"), IDOK},
                                       {"searchdir finished, my log is on this file", IDOK}, {root, IDYES}, {see_log, IDNO}}) {
            g_expected.emplace_back(text, [&, caption = text, button = id](HWND box) {
                seen.push_back(describe(box, main, caption));
                PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
            });
        }
        prompts.warning(Owner::main, "C:\\\xE6\x97\xA5\xE6\x9C\xAC\\135 files restored, 0 left alone", "I can't open this file");
        prompts.information(Owner::none, "nothing is left to undo below the roots", "searchdir finished, my log is on this file");
        EXPECT_TRUE(prompts.question(Owner::none, "C:\\start \xC5\x81\xC3\xB3\x64\xC5\xBA\\fig & hat.cr2", root));
        EXPECT_FALSE(prompts.question(Owner::main, "C:\\log.txt\n\nfiles checked: 1500, corrected: 1500, abandoned: 0, "
                                                   "references replaced: 1500, left as they are: 0", see_log));
    }
    SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof system, &system, 0);
    // Without owner too the main window is disabled (task-modal): no hiding, no commands.
    EXPECT_EQ(seen, (Lines{"main icon 1", "none 1", "none 6 7", "main 6 7", "main icon 1", "none 1", "none 6 7", "main 6 7"}));

    TempDir dir;
    // Past an old 128-character buffer, named in several scripts: the pick comes back whole.
    const std::string folder = dir.path() + "\\Ελληνικά " + std::string(150, 'g'), man2 = folder + "\\Łukasz 日本.obj";
    write_bytes(man2, "");
    // A chooser answered as `typed` (nothing: cancelled); each request: owner, record size, mode flag, filters to the end.
    Lines requests;
    auto choose = [&](Owner owner, std::string& name, const char* title, const FileFilter& filter, ChooserMode mode,
                      const std::string& typed) {
        g_expected.emplace_back(title, [&, typed](HWND dialog) {
            const OPENFILENAMEW& ofn = prompts.ofn;
            const wchar_t* end = ofn.lpstrFilter;
            while (*end != L'\0' || end[1] != L'\0') {
                ++end;
            }
            requests.push_back((ofn.hwndOwner == main ? "main " : "none ") + std::to_string(ofn.lStructSize) + " " +
                               std::to_string(ofn.Flags & (OFN_FILEMUSTEXIST | OFN_OVERWRITEPROMPT)) + " " +
                               to_utf8(std::wstring_view(ofn.lpstrFilter, end - ofn.lpstrFilter)));
            SetDlgItemTextW(dialog, cmb13, to_wide(typed).c_str());
            SetDlgItemTextW(dialog, edt1, to_wide(typed).c_str());
            PostMessageA(dialog, WM_COMMAND, typed.empty() ? IDCANCEL : IDOK, 0);
        });
        return prompts.GetFileName(owner, name, folder, title, filter, mode);
    };
    std::string obj = "man.obj", named = "__result_of_run.txt";
    EXPECT_EQ(choose(Owner::main, obj, "find the mesh", filterOBJ, ChooserMode::open, man2), 1);
    // Save mode takes a new name and writes nothing; a cancel leaves the caller's name as it was.
    EXPECT_EQ(choose(Owner::none, named, "find any file", filterall, ChooserMode::save, folder + "\\new.txt"), 1);
    EXPECT_EQ(choose(Owner::main, obj, "file to check?", filterCR2etc, ChooserMode::open, ""), 0);
    EXPECT_TRUE(obj == man2 && named == folder + "\\new.txt" && !exists(named));
    const std::string size = " " + std::to_string(sizeof(OPENFILENAMEW));
    EXPECT_EQ(requests, (Lines{"main" + size + " 4096 OBJ mesh geometry files\0*.OBJ"s, "none" + size + " 2 all files\0*.*"s,
                               "main" + size + " 4096 files to be checked\0*.CR2;*.PP2;*.PZ3"s}));

    // A box that cannot show (owner gone) is no answer: where only No changes course, go on.
    DestroyWindow(main);
    EXPECT_TRUE(prompts.question(Owner::main, "C:\\p", root) && !prompts.question(Owner::main, "C:\\l", see_log) &&
                prompts.question(Owner::main, "C:\\poser", "searchdir finished for this folder: shall I continue?"));
    KillTimer(nullptr, timer);
    EXPECT_GE(g_ticks_left, 0) << "a dialog was not answered in time";
    EXPECT_TRUE(g_expected.empty()) << "an expected dialog never showed: " << g_expected.front().first;
}
