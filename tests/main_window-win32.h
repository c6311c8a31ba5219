// The real main window and its procedure, driven by messages, with scripted prompts; application data and the start
// folder in a fresh folder, the Poser root stored.
#pragma once

#include "app/settings.h"
#include "engine/base/text_encoding.h"
#include "tests/test_support.h"
#include "winshell/main_window.h"

#include <functional>
#include <memory>
#include <utility>

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        Instance = GetModuleHandleA(nullptr);
        Register(progname, MainWinProc);  // the first time
        reset_main_session();
        run_stop::clear();
        CreateDirectoryA(dir.at("roaming").c_str(), nullptr);
        SetEnvironmentVariableA("APPDATA", dir.at("roaming").c_str());
        SetEnvironmentVariableA("LOCALAPPDATA", dir.at("local").c_str());
        CreateDirectoryW(to_wide(start).c_str(), nullptr);
        ASSERT_TRUE(SetCurrentDirectoryW(to_wide(start).c_str()));
        ASSERT_TRUE(write_setting(k_settings_section, k_root_key, dir.at("Poser")));
    }
    // The window gone, and with it the messages it left.
    void TearDown() override
    {
        if (IsWindow(wn)) {
            DestroyWindow(wn);
        }
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        SetCurrentDirectoryA(dir.path().c_str());
    }
    // The main window as the program creates it, with the prompts answered from `lines`; `act` comes before answer
    // `at`, as while a prompt shows.
    void create_window(Lines lines, std::size_t at = 99, std::function<void()> act = nullptr)
    {
        answers = std::make_unique<ScriptedPrompts>([=, k = std::size_t{0}]() mutable {
            if (k == at && act) {
                std::exchange(act, nullptr)();
            }
            return k < lines.size() ? std::optional<std::string>(lines[k++]) : std::nullopt;
        });
        seen = std::make_unique<TranscriptPrompts>(*answers);
        use_prompts(*seen);
        wn = newwindow(progname, progname, WS_MAXIMIZE);
    }
    void command(int id) { SendMessageA(wn, WM_COMMAND, static_cast<WPARAM>(id), 0); }

    TempDir dir;
    // Named with letters outside the ANSI code page: the run log must land here all the same.
    const std::string start = dir.at("start Łódź"), log = start + "\\__result_of_run.txt";
    std::unique_ptr<ScriptedPrompts> answers;
    std::unique_ptr<TranscriptPrompts> seen;
    HWND wn = nullptr;
};
