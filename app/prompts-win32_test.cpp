// The Windows prompts with the real message boxes and choosers: each dialog is found while
// it shows, looked at, and answered as a user would answer it.
#include "app/prompts-win32.h"

#include "tests/test_support.h"

#include <dlgs.h>

#include <cstring>
#include <deque>
#include <functional>
#include <gtest/gtest.h>

using namespace std::string_literals;

namespace {

// What a test does with a dialog of the given title once it shows.
struct Expected {
    std::string title;
    std::function<void(HWND dialog)> answer;
};
std::deque<Expected> g_expected;
int g_ticks_left = 0;

BOOL CALLBACK find_dialog(HWND w, LPARAM l)
{
    char cls[64] = {};
    char text[512] = {};
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, text, sizeof text);
    if (std::string(cls) == "#32770" && IsWindowVisible(w) && g_expected.front().title == text) {
        *reinterpret_cast<HWND*>(l) = w;
        return FALSE;
    }
    return TRUE;
}

// Runs inside the dialogs' own message loops. A dialog nobody answers is dismissed after
// half a minute, so that a test fails rather than hangs.
void CALLBACK answer_dialogs(HWND, UINT, UINT_PTR, DWORD)
{
    HWND dialog = nullptr;
    if (!g_expected.empty()) {
        EnumThreadWindows(GetCurrentThreadId(), find_dialog, reinterpret_cast<LPARAM>(&dialog));
    }
    if (dialog != nullptr) {
        const auto answer = std::move(g_expected.front().answer);
        g_expected.pop_front();
        answer(dialog);
    } else if (--g_ticks_left < 0 && (dialog = GetActiveWindow()) != nullptr) {
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        PostMessageA(dialog, WM_COMMAND, IDNO, 0);
    }
}

// What a message box showed: its owner, whether the main window took input meanwhile, an
// icon, its buttons, its width and how wide its caption's text is.
struct BoxSeen {
    HWND owner = nullptr;
    bool main_enabled = true;
    bool icon = false;
    std::vector<int> buttons;
    int width = 0;
    int caption_width = 0;
};

BOOL CALLBACK look_at_child(HWND w, LPARAM l)
{
    auto* seen = reinterpret_cast<BoxSeen*>(l);
    char cls[64] = {};
    GetClassNameA(w, cls, sizeof cls);
    // An icon control is there in every box; only a warning puts an icon into it.
    seen->icon = seen->icon || (_stricmp(cls, "Static") == 0 && SendMessageA(w, STM_GETICON, 0, 0) != 0);
    const int id = GetDlgCtrlID(w);
    if (IsWindowVisible(w) && (id == IDOK || id == IDYES || id == IDNO)) {
        seen->buttons.push_back(id);
    }
    return TRUE;
}

int text_width_in_caption_font(HWND w, const std::string& text)
{
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HFONT font = CreateFontIndirectA(&metrics.lfCaptionFont);
    HDC dc = GetDC(w);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    DeleteObject(SelectObject(dc, old));
    ReleaseDC(w, dc);
    return size.cx;
}

class WindowsPromptsTest : public testing::Test {
protected:
    void SetUp() override
    {
        main_window = CreateWindowExA(0, "STATIC", "tarnwick", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 480,
                                      nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(main_window, nullptr);
        g_expected.clear();
        g_ticks_left = 1500;
        timer = SetTimer(nullptr, 0, 20, answer_dialogs);
    }
    void TearDown() override
    {
        KillTimer(nullptr, timer);
        DestroyWindow(main_window);
        EXPECT_GE(g_ticks_left, 0) << "a dialog was not answered in time";
        EXPECT_TRUE(g_expected.empty()) << "an expected dialog never showed: " << g_expected.front().title;
    }
    void expect_box(const std::string& caption, int button, BoxSeen& seen)
    {
        g_expected.push_back({caption, [=, this, &seen](HWND box) {
                                  seen.owner = GetWindow(box, GW_OWNER);
                                  seen.main_enabled = IsWindowEnabled(main_window) != FALSE;
                                  EnumChildWindows(box, look_at_child, reinterpret_cast<LPARAM>(&seen));
                                  RECT r;
                                  GetWindowRect(box, &r);
                                  seen.width = r.right - r.left;
                                  seen.caption_width = text_width_in_caption_font(box, caption);
                                  PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
                              }});
    }

    HWND main_window = nullptr;
    UINT_PTR timer = 0;
    WindowsPrompts prompts{main_window};
};

TEST_F(WindowsPromptsTest, MessageBoxesShowTheirKindOwnerAndWholeCaption)
{
    const std::string root_question = "Is this the root address of your Poser setup?";
    BoxSeen seen[4];
    expect_box("I can't open this file", IDOK, seen[0]);
    expect_box("searchdir finished, my log is on this file", IDOK, seen[1]);
    expect_box(root_question, IDYES, seen[2]);
    expect_box("do you want to see my log for this run?", IDNO, seen[3]);
    prompts.warning(Owner::main, "C:\\a.cr2", "I can't open this file");
    prompts.information(Owner::none, "C:\\log.txt", "searchdir finished, my log is on this file");
    EXPECT_TRUE(prompts.question(Owner::none, "C:\\poser", root_question));
    EXPECT_FALSE(prompts.question(Owner::main, "C:\\log.txt", "do you want to see my log for this run?"));

    const std::vector<int> ok{IDOK};
    const std::vector<int> yes_no{IDYES, IDNO};
    const struct {
        HWND owner;
        bool icon;
        std::vector<int> buttons;
    } expected[4] = {{main_window, true, ok}, {nullptr, false, ok}, {nullptr, false, yes_no}, {main_window, false, yes_no}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(seen[k].owner, expected[k].owner) << k;
        // Without owner the box is task-modal: the main window can neither hide it nor take
        // a command while it shows.
        EXPECT_FALSE(seen[k].main_enabled) << k;
        EXPECT_EQ(seen[k].icon, expected[k].icon) << k;
        EXPECT_EQ(seen[k].buttons, expected[k].buttons) << k;
        EXPECT_GE(seen[k].width, seen[k].caption_width + GetSystemMetrics(SM_CXSIZE)) << k;
    }
    for (UINT kind : {MB_ICONWARNING, MB_OK, MB_YESNO}) {
        EXPECT_EQ(message_box_style(kind, main_window), kind);
        EXPECT_EQ(message_box_style(kind, nullptr), kind | MB_TASKMODAL);
    }

    // A box that cannot be shown (its owner is gone) is no answer: only where nothing but
    // No changes course does the program go on.
    DestroyWindow(main_window);
    EXPECT_TRUE(prompts.question(Owner::main, "C:\\poser", root_question));
    EXPECT_TRUE(prompts.question(Owner::main, "C:\\poser", "searchdir finished for this folder: shall I continue?"));
    EXPECT_FALSE(prompts.question(Owner::main, "C:\\log.txt", "do you want to see my log for this run?"));
}

// Types `path` into the chooser and presses OK, keeping the request and its filter list.
void choose(const std::string& title, const std::string& path, OPENFILENAMEA& request, std::string& filter)
{
    g_expected.push_back({title, [=, &request, &filter](HWND dialog) {
                              request = ofn;
                              filter.assign(ofn.lpstrFilter, std::strlen(ofn.lpstrFilter) + 1);
                              filter += ofn.lpstrFilter + filter.size();
                              SetDlgItemTextA(dialog, cmb13, path.c_str());
                              SetDlgItemTextA(dialog, edt1, path.c_str());
                              PostMessageA(dialog, WM_COMMAND, IDOK, 0);
                          }});
}

TEST_F(WindowsPromptsTest, ChoosersReturnTheWholePathOrCancel)
{
    TempDir dir;
    // Deeper than the 128 characters a chooser buffer once held.
    std::string folder = dir.path();
    while (folder.size() < 200) {
        folder += "\\Runtime Geometries";
    }
    const std::string obj = folder + "\\man2.obj";
    write_bytes(obj, "");
    OPENFILENAMEA request{};
    std::string filter;
    choose("find the correct .OBJ file", obj, request, filter);
    std::string file = "man.obj";
    ASSERT_EQ(prompts.GetFileName(Owner::main, file, folder, "find the correct .OBJ file", filterOBJ, ChooserMode::open), 1);
    EXPECT_EQ(file, obj);
    EXPECT_STREQ(tit, "man2.obj");
    EXPECT_EQ(request.lStructSize, sizeof(OPENFILENAMEA));
    EXPECT_EQ(request.hwndOwner, main_window);
    EXPECT_EQ(filter, "OBJ mesh geometry files\0*.OBJ"s);
    EXPECT_EQ(request.nMaxFileTitle, 256u);
    EXPECT_EQ(request.Flags & (OFN_FILEMUSTEXIST | OFN_OVERWRITEPROMPT), static_cast<DWORD>(OFN_FILEMUSTEXIST));

    // Save mode: a name that does not exist yet is accepted, nothing is written.
    const std::string unwritten = folder + "\\any name.txt";
    choose("find any file in the folder to be checked", unwritten, request, filter);
    ASSERT_EQ(prompts.GetFileName(Owner::none, file, folder, "find any file in the folder to be checked", filterall,
                                  ChooserMode::save),
              1);
    EXPECT_EQ(file, unwritten);
    EXPECT_FALSE(exists(unwritten));
    EXPECT_EQ(request.hwndOwner, nullptr);
    EXPECT_EQ(filter, "all files\0*.*"s);
    EXPECT_EQ(request.Flags & (OFN_FILEMUSTEXIST | OFN_OVERWRITEPROMPT), static_cast<DWORD>(OFN_OVERWRITEPROMPT));

    // Cancel leaves the caller's name as it was.
    g_expected.push_back({"file to check?", [](HWND d) { PostMessageA(d, WM_COMMAND, IDCANCEL, 0); }});
    file = "__result_of_run.txt";
    EXPECT_EQ(prompts.GetFileName(Owner::main, file, folder, "file to check?", filterCR2etc, ChooserMode::open), 0);
    EXPECT_EQ(file, "__result_of_run.txt");

    prompts.SetTitle(obj);
    char text[512] = {};
    GetWindowTextA(main_window, text, sizeof text);
    EXPECT_EQ(text, obj);
}

}  // namespace
