// The Windows prompts with the real message boxes and choosers: each dialog is found while
// it shows, looked at, and answered as a user would answer it.
#include "app/prompts-win32.h"

#include "tests/test_support.h"

#include <dlgs.h>

#include <cstring>
#include <deque>
#include <functional>
#include <gtest/gtest.h>

namespace {

// What a test does with the dialog titled `title` once it shows.
std::deque<std::pair<std::string, std::function<void(HWND)>>> g_expected;
int g_ticks_left = 0;

BOOL CALLBACK find_expected(HWND w, LPARAM found)
{
    char text[512] = {};
    GetWindowTextA(w, text, sizeof text);
    if (IsWindowVisible(w) && g_expected.front().first == text) {
        *reinterpret_cast<HWND*>(found) = w;
    }
    return TRUE;
}

// Runs inside the dialogs' own message loops. A dialog nobody answers is dismissed after
// half a minute, so that a test fails rather than hangs.
void CALLBACK answer_dialogs(HWND, UINT, UINT_PTR, DWORD)
{
    HWND dialog = nullptr;
    if (!g_expected.empty()) {
        EnumThreadWindows(GetCurrentThreadId(), find_expected, reinterpret_cast<LPARAM>(&dialog));
    }
    if (dialog != nullptr) {
        const auto answer = std::move(g_expected.front().second);
        g_expected.pop_front();
        answer(dialog);
    } else if (--g_ticks_left < 0 && (dialog = GetActiveWindow()) != nullptr) {
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        PostMessageA(dialog, WM_COMMAND, IDNO, 0);
    }
}

// What a message box showed: its owner, whether the main window took input meanwhile, an
// icon, its buttons, and how much wider it is than its caption's text.
struct BoxSeen {
    HWND owner = nullptr;
    bool main_enabled = true;
    bool icon = false;
    std::vector<int> buttons;
    long room_for_caption = 0;
};

BOOL CALLBACK look_at_child(HWND w, LPARAM l)
{
    auto* seen = reinterpret_cast<BoxSeen*>(l);
    // An icon control is there in every box; only a warning puts an icon into it.
    seen->icon = seen->icon || SendMessageA(w, STM_GETICON, 0, 0) != 0;
    if (IsWindowVisible(w) && (GetDlgCtrlID(w) == IDOK || GetDlgCtrlID(w) == IDYES || GetDlgCtrlID(w) == IDNO)) {
        seen->buttons.push_back(GetDlgCtrlID(w));
    }
    return TRUE;
}

// The box's width less its caption's text in the title bar's font and the close button.
long room_for_caption(HWND box, const std::string& caption)
{
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
    return r.right - r.left - text.cx - GetSystemMetrics(SM_CXSIZE);
}

class WindowsPromptsTest : public testing::Test {
protected:
    void SetUp() override
    {
        main_window = CreateWindowExA(0, "STATIC", "tarnwick", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 480,
                                      nullptr, nullptr, nullptr, nullptr);
        g_ticks_left = 1500;
        timer = SetTimer(nullptr, 0, 20, answer_dialogs);
    }
    void TearDown() override
    {
        KillTimer(nullptr, timer);
        DestroyWindow(main_window);
        EXPECT_GE(g_ticks_left, 0) << "a dialog was not answered in time";
        EXPECT_TRUE(g_expected.empty()) << "an expected dialog never showed: " << g_expected.front().first;
        g_expected.clear();
    }
    void expect_box(const std::string& caption, int button, BoxSeen& seen)
    {
        g_expected.emplace_back(caption, [=, this, &seen](HWND box) {
            seen.owner = GetWindow(box, GW_OWNER);
            seen.main_enabled = IsWindowEnabled(main_window) != FALSE;
            EnumChildWindows(box, look_at_child, reinterpret_cast<LPARAM>(&seen));
            seen.room_for_caption = room_for_caption(box, caption);
            PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
        });
    }

    HWND main_window = nullptr;
    UINT_PTR timer = 0;
    WindowsPrompts prompts{main_window};
};

TEST_F(WindowsPromptsTest, MessageBoxesShowTheirKindOwnerAndWholeCaption)
{
    const std::string root = "Is this the root address of your Poser setup?";
    const std::string see_log = "do you want to see my log for this run?";
    BoxSeen seen[4];
    expect_box("I can't open this file", IDOK, seen[0]);
    expect_box("searchdir finished, my log is on this file", IDOK, seen[1]);
    expect_box(root, IDYES, seen[2]);
    expect_box(see_log, IDNO, seen[3]);
    prompts.warning(Owner::main, "C:\\a.cr2", "I can't open this file");
    prompts.information(Owner::none, "C:\\log.txt", "searchdir finished, my log is on this file");
    EXPECT_TRUE(prompts.question(Owner::none, "C:\\poser", root));
    EXPECT_FALSE(prompts.question(Owner::main, "C:\\log.txt", see_log));
    const std::vector<int> ok{IDOK};
    const std::vector<int> yes_no{IDYES, IDNO};
    const BoxSeen expected[4] = {{main_window, false, true, ok}, {nullptr, false, false, ok},
                                 {nullptr, false, false, yes_no}, {main_window, false, false, yes_no}};
    for (int k = 0; k < 4; ++k) {
        // Without owner too the main window is disabled (the box is task-modal): it can
        // neither hide the box nor take a command while the box shows.
        EXPECT_TRUE(seen[k].owner == expected[k].owner && !seen[k].main_enabled) << k;
        EXPECT_EQ(seen[k].icon, expected[k].icon) << k;
        EXPECT_EQ(seen[k].buttons, expected[k].buttons) << k;
        EXPECT_GE(seen[k].room_for_caption, 0) << k;
    }
    for (UINT kind : {MB_ICONWARNING, MB_OK, MB_YESNO}) {
        EXPECT_EQ(message_box_style(kind, main_window), kind);
        EXPECT_EQ(message_box_style(kind, nullptr), kind | MB_TASKMODAL);
    }
    // A box that cannot be shown (its owner is gone) is no answer: where only No changes
    // course, the program goes on.
    DestroyWindow(main_window);
    EXPECT_TRUE(prompts.question(Owner::main, "C:\\poser", root));
    EXPECT_TRUE(prompts.question(Owner::main, "C:\\poser", "searchdir finished for this folder: shall I continue?"));
    EXPECT_FALSE(prompts.question(Owner::main, "C:\\log.txt", see_log));
}

TEST_F(WindowsPromptsTest, ChoosersReturnTheWholePathOrCancel)
{
    TempDir dir;
    // Deeper than the 128 characters a chooser buffer once held.
    const std::string folder = dir.path() + "\\" + std::string(150, 'g');
    write_bytes(folder + "\\man2.obj", "");
    const struct {
        const char* title;
        const FileFilter& filter;
        ChooserMode mode;
        Owner owner;
        std::string answer;  // "" cancels
        DWORD flag;
    } cases[] = {
        {"file to check?", filterCR2etc, ChooserMode::open, Owner::main, "", OFN_FILEMUSTEXIST},
        {"find the correct .OBJ file", filterOBJ, ChooserMode::open, Owner::main, folder + "\\man2.obj", OFN_FILEMUSTEXIST},
        // Save mode accepts a name that does not exist, and writes nothing.
        {"find any file in the folder", filterall, ChooserMode::save, Owner::none, folder + "\\new.txt", OFN_OVERWRITEPROMPT},
    };
    for (const auto& c : cases) {
        OPENFILENAMEA request{};
        std::string filter;
        g_expected.emplace_back(c.title, [&](HWND dialog) {
            request = ofn;
            filter.assign(ofn.lpstrFilter, std::strlen(c.filter.display) + std::strlen(c.filter.pattern) + 3);
            SetDlgItemTextA(dialog, cmb13, c.answer.c_str());
            SetDlgItemTextA(dialog, edt1, c.answer.c_str());
            PostMessageA(dialog, WM_COMMAND, c.answer.empty() ? IDCANCEL : IDOK, 0);
        });
        std::string file = "__result_of_run.txt";
        EXPECT_EQ(prompts.GetFileName(c.owner, file, folder, c.title, c.filter, c.mode), c.answer.empty() ? 0 : 1);
        // Cancel leaves the caller's name as it was.
        EXPECT_EQ(file, c.answer.empty() ? "__result_of_run.txt" : c.answer);
        EXPECT_EQ(request.lStructSize, sizeof(OPENFILENAMEA));
        EXPECT_EQ(request.hwndOwner, c.owner == Owner::main ? main_window : nullptr);
        EXPECT_EQ(request.Flags & (OFN_FILEMUSTEXIST | OFN_OVERWRITEPROMPT), c.flag);
        EXPECT_EQ(filter, std::string(c.filter.display) + '\0' + c.filter.pattern + '\0' + '\0');
    }
    EXPECT_STREQ(tit, "new.txt");
    EXPECT_FALSE(exists(folder + "\\new.txt"));
    prompts.SetTitle(folder);
    char text[512] = {};
    GetWindowTextA(main_window, text, sizeof text);
    EXPECT_EQ(text, folder);
}

}  // namespace
