// The console program's text on a real Windows console: names in any script shown and typed.
#include "app/console_text.h"

#include "engine/text_encoding.h"
#include "tests/test_support.h"

#include <windows.h>

TEST(ConsoleText, NamesInAnyScriptShownAndTypedOnAConsole)
{
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    std::FILE* out = _wfopen(L"CONOUT$", L"w+");
    std::FILE* in = _wfopen(L"CONIN$", L"r+");
    ASSERT_TRUE(out != nullptr && in != nullptr);
    HANDLE screen = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(out)));
    HANDLE keys = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(in)));
    const std::string name = "Łódź Ελληνικά 日本語";
    SetConsoleCursorPosition(screen, COORD{0, 0});
    write_text(out, name);
    std::wstring shown(to_wide(name).size(), L' ');
    DWORD n = 0;
    ReadConsoleOutputCharacterW(screen, shown.data(), static_cast<DWORD>(shown.size()), COORD{0, 0}, &n);
    EXPECT_EQ(to_utf8(shown), name);

    // Typed: the name, Enter, then Ctrl-Z and Enter, which ends the input.
    std::vector<INPUT_RECORD> typed;
    for (wchar_t c : to_wide(name) + L"\r\x1a\r") {
        INPUT_RECORD key{};
        key.EventType = KEY_EVENT;
        key.Event.KeyEvent = KEY_EVENT_RECORD{TRUE, 1, c == L'\r' ? WORD{VK_RETURN} : WORD{0}, 0, {}, 0};
        key.Event.KeyEvent.uChar.UnicodeChar = c;
        typed.push_back(key);
    }
    ASSERT_TRUE(WriteConsoleInputW(keys, typed.data(), static_cast<DWORD>(typed.size()), &n));
    std::string line;
    EXPECT_TRUE(read_text_line(in, line));
    EXPECT_EQ(line, name);
    EXPECT_FALSE(read_text_line(in, line));
    std::fclose(out);
    std::fclose(in);
    FreeConsole();
}
