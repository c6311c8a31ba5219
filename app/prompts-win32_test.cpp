// The Windows prompts with the real message boxes and choosers: each dialog is found while
// it shows, checked, and answered as a user would answer it.
#include "app/prompts-win32.h"

#include "tests/test_support.h"

#include <dlgs.h>

#include <chrono>
#include <deque>
#include <functional>
#include <gtest/gtest.h>

using namespace std::string_literals;

namespace {

// What a test does with a dialog once it shows; true when the dialog has been answered.
using Answer = std::function<bool(HWND dialog)>;

struct Expected {
    std::string title;
    Answer answer;
};
std::deque<Expected> g_expected;
std::chrono::steady_clock::time_point g_deadline;
bool g_timed_out = false;

struct Search {
    const std::string* title;
    HWND found;
};

BOOL CALLBACK match_dialog(HWND w, LPARAM l)
{
    auto* s = reinterpret_cast<Search*>(l);
    char cls[64] = {};
    char text[512] = {};
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, text, sizeof text);
    if (std::string(cls) == "#32770" && IsWindowVisible(w) && *s->title == text) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

HWND shown_dialog(const std::string& title)
{
    Search s{&title, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), match_dialog, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// Runs inside the dialogs' own message loops.
void CALLBACK answer_dialogs(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_expected.empty()) {
        return;
    }
    HWND dialog = shown_dialog(g_expected.front().title);
    if (dialog != nullptr && g_expected.front().answer(dialog)) {
        g_expected.pop_front();
    } else if (std::chrono::steady_clock::now() > g_deadline && dialog != nullptr) {
        // Never leave a test hanging on a dialog it failed to answer.
        g_timed_out = true;
        g_expected.pop_front();
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
}

struct Child {
    std::string text;
    bool is_icon = false;
    int id = 0;
};

BOOL CALLBACK collect_child(HWND w, LPARAM l)
{
    char cls[64] = {};
    char text[512] = {};
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, text, sizeof text);
    if (IsWindowVisible(w)) {
        // An icon control is there in every box; only a warning puts an icon into it.
        const bool icon = _stricmp(cls, "Static") == 0 && (GetWindowLongA(w, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                          SendMessageA(w, STM_GETICON, 0, 0) != 0;
        reinterpret_cast<std::vector<Child>*>(l)->push_back({text, icon, GetDlgCtrlID(w)});
    }
    return TRUE;
}

// What a message box shows: owner, body, an icon or none, its buttons.
struct BoxSeen {
    HWND owner = nullptr;
    bool body_shown = false;
    bool icon = false;
    std::vector<int> buttons;
};

BoxSeen look_at_box(HWND box, const std::string& body)
{
    BoxSeen seen;
    seen.owner = GetWindow(box, GW_OWNER);
    std::vector<Child> children;
    EnumChildWindows(box, collect_child, reinterpret_cast<LPARAM>(&children));
    for (const Child& c : children) {
        seen.body_shown = seen.body_shown || c.text == body;
        seen.icon = seen.icon || c.is_icon;
        for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
            if (c.id == id) {
                seen.buttons.push_back(id);
            }
        }
    }
    return seen;
}

Answer press(int button, BoxSeen* seen = nullptr, std::string body = {})
{
    return [=](HWND box) {
        if (seen != nullptr) {
            *seen = look_at_box(box, body);
        }
        PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
        return true;
    };
}

class WindowsPromptsTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "tarnwick prompts test";
        RegisterClassA(&wc);
    }
    void SetUp() override
    {
        main_window = CreateWindowExA(0, "tarnwick prompts test", "tarnwick", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                      0, 0, 640, 480, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(main_window, nullptr);
        g_expected.clear();
        g_timed_out = false;
        g_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        timer = SetTimer(nullptr, 0, 20, answer_dialogs);
    }
    void TearDown() override
    {
        KillTimer(nullptr, timer);
        DestroyWindow(main_window);
        EXPECT_FALSE(g_timed_out) << "a dialog was not answered in time";
        EXPECT_TRUE(g_expected.empty()) << "an expected dialog never showed: " << g_expected.front().title;
    }

    HWND main_window = nullptr;
    UINT_PTR timer = 0;
    WindowsPrompts prompts{main_window};
};

TEST_F(WindowsPromptsTest, MessageBoxesShowBodyAndCaptionWithTheirOwnerAndButtons)
{
    BoxSeen warning;
    BoxSeen information;
    BoxSeen yes_box;
    BoxSeen no_box;
    g_expected.push_back({"I can't open this file", press(IDOK, &warning, "C:\\a.cr2")});
    g_expected.push_back({"searchdir finished, my log is on this file", press(IDOK, &information, "C:\\log.txt")});
    g_expected.push_back({"shall I continue?", press(IDYES, &yes_box, "C:\\poser")});
    g_expected.push_back({"shall I continue?", press(IDNO, &no_box, "C:\\poser")});

    prompts.warning(Owner::main, "C:\\a.cr2", "I can't open this file");
    prompts.information(Owner::none, "C:\\log.txt", "searchdir finished, my log is on this file");
    EXPECT_TRUE(prompts.question(Owner::none, "C:\\poser", "shall I continue?"));
    EXPECT_FALSE(prompts.question(Owner::main, "C:\\poser", "shall I continue?"));

    EXPECT_EQ(warning.owner, main_window);
    EXPECT_TRUE(warning.body_shown);
    EXPECT_TRUE(warning.icon);
    EXPECT_EQ(warning.buttons, std::vector<int>{IDOK});
    EXPECT_EQ(information.owner, nullptr);
    EXPECT_TRUE(information.body_shown);
    EXPECT_FALSE(information.icon);
    EXPECT_EQ(information.buttons, std::vector<int>{IDOK});
    EXPECT_EQ(yes_box.owner, nullptr);
    EXPECT_EQ(no_box.owner, main_window);
    for (const BoxSeen& q : {yes_box, no_box}) {
        EXPECT_TRUE(q.body_shown);
        EXPECT_FALSE(q.icon);
        EXPECT_EQ(q.buttons, (std::vector<int>{IDYES, IDNO}));
    }
}

// The filter list as the chooser got it: each text with its terminator, then an empty text.
std::string filter_list_of(const char* f)
{
    std::string list;
    while (*f != '\0') {
        const std::string item(f);
        list += item;
        list += '\0';
        f += item.size() + 1;
    }
    list += '\0';
    return list;
}

// Types `path` into the chooser and presses its OK button, after checking the request.
Answer choose(const std::string& path, OPENFILENAMEA* request, std::string* filter)
{
    return [=](HWND dialog) {
        *request = ofn;
        *filter = filter_list_of(ofn.lpstrFilter);
        SetDlgItemTextA(dialog, cmb13, path.c_str());
        SetDlgItemTextA(dialog, edt1, path.c_str());
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        return true;
    };
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
    g_expected.push_back({"find the correct .OBJ file", choose(obj, &request, &filter)});
    std::string file = "man.obj";
    ASSERT_EQ(prompts.GetFileName(Owner::main, file, folder, "find the correct .OBJ file", filterOBJ,
                                  ChooserMode::open),
              1);
    EXPECT_EQ(file, obj);
    EXPECT_STREQ(tit, "man2.obj");
    EXPECT_EQ(request.lStructSize, sizeof(OPENFILENAMEA));
    EXPECT_EQ(request.hwndOwner, main_window);
    EXPECT_EQ(filter, "OBJ mesh geometry files\0*.OBJ\0\0"s);
    EXPECT_GE(request.nMaxFile, 1024u);
    EXPECT_EQ(request.nMaxFileTitle, 256u);
    EXPECT_EQ(request.Flags & (OFN_FILEMUSTEXIST | OFN_OVERWRITEPROMPT), static_cast<DWORD>(OFN_FILEMUSTEXIST));

    // Save mode: a name that does not exist yet is accepted, nothing is written.
    const std::string unwritten = folder + "\\any name.txt";
    g_expected.push_back({"find any file in the folder to be checked", choose(unwritten, &request, &filter)});
    file = "__result_of_run.txt";
    ASSERT_EQ(prompts.GetFileName(Owner::none, file, folder, "find any file in the folder to be checked", filterall,
                                  ChooserMode::save),
              1);
    EXPECT_EQ(file, unwritten);
    EXPECT_FALSE(exists(unwritten));
    EXPECT_EQ(request.hwndOwner, nullptr);
    EXPECT_EQ(filter, "all files\0*.*\0\0"s);
    EXPECT_EQ(request.Flags & (OFN_FILEMUSTEXIST | OFN_OVERWRITEPROMPT), static_cast<DWORD>(OFN_OVERWRITEPROMPT));

    // Cancel leaves the caller's name as it was.
    g_expected.push_back({"file to check?", press(IDCANCEL)});
    file = "__result_of_run.txt";
    EXPECT_EQ(prompts.GetFileName(Owner::main, file, folder, "file to check?", filterCR2etc, ChooserMode::open), 0);
    EXPECT_EQ(file, "__result_of_run.txt");
}

TEST_F(WindowsPromptsTest, TheTitleIsTheMainWindowsText)
{
    prompts.SetTitle("C:\\Poser\\Runtime\\libraries\\character\\man.cr2");
    char text[256] = {};
    GetWindowTextA(main_window, text, sizeof text);
    EXPECT_STREQ(text, "C:\\Poser\\Runtime\\libraries\\character\\man.cr2");
}

}  // namespace
