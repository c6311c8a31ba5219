// The Windows prompts with the real message boxes and choosers: each dialog is found while
// it shows, looked at, and answered as a user would answer it.
#include "app/prompts-win32.h"

#include "tests/test_support.h"

#include <dlgs.h>

#include <deque>
#include <functional>
#include <gtest/gtest.h>

using namespace std::string_literals;

namespace {

// What the test does with the dialog of the given title once it shows.
std::deque<std::pair<std::string, std::function<void(HWND)>>> g_expected;
int g_ticks_left = 1500;

// Runs inside the dialogs' own message loops. A dialog nobody answers is dismissed after
// half a minute, so that the test fails rather than hangs.
void CALLBACK answer_dialogs(HWND, UINT, UINT_PTR, DWORD)
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

// Adds " icon" for the icon of a warning (the control is there in every box, empty but
// in a warning) and the ids of the visible buttons.
BOOL CALLBACK look_at_child(HWND w, LPARAM l)
{
    auto& seen = *reinterpret_cast<std::string*>(l);
    const int id = GetDlgCtrlID(w);
    seen += SendMessageA(w, STM_GETICON, 0, 0) != 0 ? " icon" : "";
    seen += IsWindowVisible(w) && (id == IDOK || id == IDYES || id == IDNO) ? " " + std::to_string(id) : "";
    return TRUE;
}

// True when the box is wide enough for its caption's text, in the title bar's font, and the
// close button.
bool shows_whole_caption(HWND box, const std::string& caption)
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
    return r.right - r.left >= text.cx + GetSystemMetrics(SM_CXSIZE);
}

TEST(WindowsPrompts, MessageBoxesChoosersAndTheTitle)
{
    HWND main = CreateWindowExA(0, "STATIC", "tarnwick", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 480, nullptr,
                                nullptr, nullptr, nullptr);
    WindowsPrompts prompts(main);
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, answer_dialogs);
    const std::string root = "Is this the root address of your Poser setup?";
    const std::string see_log = "do you want to see my log for this run?";
    std::vector<std::string> seen;
    for (const auto& [caption, button] : {std::pair{std::string("I can't open this file"), IDOK},
                                          {"searchdir finished, my log is on this file", IDOK}, {root, IDYES},
                                          {see_log, IDNO}}) {
        g_expected.emplace_back(caption, [&, caption, button](HWND box) {
            seen.push_back(GetWindow(box, GW_OWNER) == main ? "main" : GetWindow(box, GW_OWNER) ? "other" : "none");
            EnumChildWindows(box, look_at_child, reinterpret_cast<LPARAM>(&seen.back()));
            seen.back() += IsWindowEnabled(main) ? " main enabled" : "";
            seen.back() += shows_whole_caption(box, caption) ? "" : " caption cut";
            PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
        });
    }
    prompts.warning(Owner::main, "C:\\a.cr2", "I can't open this file");
    prompts.information(Owner::none, "C:\\log.txt", "searchdir finished, my log is on this file");
    EXPECT_TRUE(prompts.question(Owner::none, "C:\\poser", root));
    EXPECT_FALSE(prompts.question(Owner::main, "C:\\log.txt", see_log));
    // The styles' icon and buttons; without owner too the main window is disabled (the box
    // is task-modal): it can neither hide the box nor take a command while the box shows.
    EXPECT_EQ(seen, (std::vector<std::string>{"main icon 1", "none 1", "none 6 7", "main 6 7"}));

    TempDir dir;
    // Deeper than the 128 characters a chooser buffer once held.
    const std::string folder = dir.path() + "\\" + std::string(150, 'g');
    write_bytes(folder + "\\man2.obj", "");
    // Each chooser's request as it showed (owner, record size, mode flag, filter list up to
    // its closing empty text), answered by typing `answer` ("" cancels).
    std::vector<std::string> requests;
    for (std::string answer : {folder + "\\man2.obj", folder + "\\new.txt", std::string()}) {
        g_expected.emplace_back(answer.empty() ? "file to check?" : answer.back() == 'j' ? "find the mesh" : "find any file",
                                [&, answer](HWND dialog) {
            const char* end = ofn.lpstrFilter;
            while (*end != '\0' || end[1] != '\0') {
                ++end;
            }
            requests.push_back((ofn.hwndOwner == main ? "main " : "none ") + std::to_string(ofn.lStructSize) + " " +
                               std::to_string(ofn.Flags & (OFN_FILEMUSTEXIST | OFN_OVERWRITEPROMPT)) + " " +
                               std::string(ofn.lpstrFilter, end));
            SetDlgItemTextA(dialog, cmb13, answer.c_str());
            SetDlgItemTextA(dialog, edt1, answer.c_str());
            PostMessageA(dialog, WM_COMMAND, answer.empty() ? IDCANCEL : IDOK, 0);
        });
    }
    std::string files[3] = {"man.obj", "__result_of_run.txt", "__result_of_run.txt"};
    EXPECT_EQ(prompts.GetFileName(Owner::main, files[0], folder, "find the mesh", filterOBJ, ChooserMode::open), 1);
    // Save mode accepts a name that does not exist, and writes nothing.
    EXPECT_EQ(prompts.GetFileName(Owner::none, files[1], folder, "find any file", filterall, ChooserMode::save), 1);
    EXPECT_FALSE(exists(files[1]));
    // A cancel leaves the caller's name as it was.
    EXPECT_EQ(prompts.GetFileName(Owner::main, files[2], folder, "file to check?", filterCR2etc, ChooserMode::open), 0);
    EXPECT_EQ(files[0] + "|" + files[1] + "|" + files[2], folder + "\\man2.obj|" + folder + "\\new.txt|__result_of_run.txt");
    const std::string size = " " + std::to_string(sizeof(OPENFILENAMEA));
    EXPECT_EQ(requests, (std::vector<std::string>{"main" + size + " 4096 OBJ mesh geometry files\0*.OBJ"s,
                                                  "none" + size + " 2 all files\0*.*"s,
                                                  "main" + size + " 4096 files to be checked\0*.CR2;*.PP2;*.PZ3"s}));
    prompts.SetTitle(folder);
    char text[512] = {};
    GetWindowTextA(main, text, sizeof text);
    EXPECT_EQ(text, folder);

    // A box that cannot be shown (its owner is gone) is no answer: where only No changes
    // course, the program goes on.
    DestroyWindow(main);
    EXPECT_TRUE(prompts.question(Owner::main, "C:\\poser", root));
    EXPECT_TRUE(prompts.question(Owner::main, "C:\\poser", "searchdir finished for this folder: shall I continue?"));
    EXPECT_FALSE(prompts.question(Owner::main, "C:\\log.txt", see_log));
    KillTimer(nullptr, timer);
    EXPECT_GE(g_ticks_left, 0) << "a dialog was not answered in time";
    EXPECT_TRUE(g_expected.empty()) << "an expected dialog never showed: " << g_expected.front().first;
}

}  // namespace
