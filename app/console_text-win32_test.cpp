// The console program's text on a real Windows console: names in any script shown and typed.
#include "app/console_text.h"

#include "engine/base/text_encoding.h"
#include "tests/test_support.h"

#include <windows.h>

TEST(ConsoleText, NamesInAnyScriptShownAndTypedOnAConsole)
{
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    std::FILE* out = _wfopen(L"CONOUT$", L"w+");
    std::FILE* in = _wfopen(L"CONIN$", L"r+");
    ASSERT_TRUE(out != nullptr && in != nullptr);
    const std::string name = "Łódź Ελληνικά 日本語";
    std::wstring shown(to_wide(name).size(), L' ');
    DWORD n = 0;
    write_text(out, name);
    ReadConsoleOutputCharacterW(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(out))), shown.data(),
                                static_cast<DWORD>(shown.size()), COORD{0, 0}, &n);
    EXPECT_EQ(to_utf8(shown), name);
    // Typed: the name and Enter, then Ctrl-Z and Enter, which ends the input.
    std::vector<INPUT_RECORD> keys;
    for (wchar_t c : to_wide(name) + L"\r\x1a\r") {
        keys.push_back(INPUT_RECORD{KEY_EVENT, {}});
        keys.back().Event.KeyEvent = KEY_EVENT_RECORD{TRUE, 1, WORD(c == L'\r' ? VK_RETURN : 0), 0, {}, 0};
        keys.back().Event.KeyEvent.uChar.UnicodeChar = c;
    }
    WriteConsoleInputW(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(in))), keys.data(), static_cast<DWORD>(keys.size()), &n);
    std::string line;
    EXPECT_TRUE(read_text_line(in, line) && line == name) << line;
    EXPECT_FALSE(read_text_line(in, line));
    std::fclose(out);
    std::fclose(in);
    FreeConsole();
}
