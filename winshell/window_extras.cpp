#include "winshell/window_extras.h"

#include "app/prompts-scripted.h"
#include "app/runs.h"
#include "app/settings.h"
#include "app/undo_command.h"
#include "app/window_options.h"
#include "engine/base/text_encoding.h"
#include "engine/repair/rules.h"
#include "winshell/install_window.h"
#include "winshell/move_window.h"
#include "winshell/program.h"
#include "winshell/progress_panel.h"
#include "winshell/report_window.h"
#include "winshell/resource.h"

#include <shellapi.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <optional>

namespace {

WindowOptions g_options;
HMENU g_context_menu = nullptr;

// What the menus last showed: greying them again for each file would redraw the menu bar.
struct CommandsShown {
    bool busy = false;
    bool has_page = false;
    bool operator==(const CommandsShown&) const = default;
};
std::optional<CommandsShown> g_shown;

// The bar of a run that counted its files first: the share checked so far. A report keeps its own.
void show_run_progress()
{
    const RunTally& tally = main_session().run.tally;
    if (progress_panel_shown() && !report_running() && tally.total > 0) {
        set_progress(static_cast<double>(tally.checked) / static_cast<double>(tally.total));
    }
}

// The user reaches the menus only while a prompt shows or between the files of a run: before
// each, the menus show what can start. A prompt may count the run's files too, and the status
// text and the bar show the same counts beside it (after the last file, all of them).
void before_prompt()
{
    show_what_can_run(mwn);
    if (window_status().running() && mwn != nullptr && IsWindow(mwn)) {
        show_run_progress();
        repaint_status(mwn);
    }
}

class StatusPrompts : public ForwardingPrompts {
public:
    using ForwardingPrompts::ForwardingPrompts;

protected:
    void show_warning(Owner owner, std::string_view body, std::string_view caption) override
    {
        before_prompt();
        ForwardingPrompts::show_warning(owner, body, caption);
    }
    void show_information(Owner owner, std::string_view body, std::string_view caption) override
    {
        before_prompt();
        ForwardingPrompts::show_information(owner, body, caption);
    }
    bool ask_question(Owner owner, std::string_view body, std::string_view caption) override
    {
        before_prompt();
        return ForwardingPrompts::ask_question(owner, body, caption);
    }
    int choose_file(Owner owner, std::string& file, std::string_view initdir, std::string_view t, const FileFilter& f,
                    ChooserMode write) override
    {
        before_prompt();
        return ForwardingPrompts::choose_file(owner, file, initdir, t, f, write);
    }
    void set_title(std::string_view text) override
    {
        show_what_can_run(mwn);
        ForwardingPrompts::set_title(text);
        const Session& session = main_session();
        if (!window_status().running()) {
            window_status().run_started();
            if (session.dialogue->stopped_by_cancel_button() && mwn != nullptr) {
                show_progress_panel(mwn, session.run.tally.total > 0);
            }
        }
        show_run_progress();
        window_status().file_in_hand(text);
        if (mwn != nullptr && IsWindow(mwn)) {
            repaint_status(mwn);
        }
        if (progress_panel_shown()) {
            pump_messages();
        }
    }
};

std::unique_ptr<StatusPrompts> g_status_prompts;

void add_extras_to(HMENU menu)
{
    HMENU options = CreatePopupMenu();
    AppendMenuA(options, MF_STRING, IDM_OPTION_EXTENDED, "extended repair");
    AppendMenuA(options, MF_STRING, IDM_OPTION_AUTOMATIC, "take a file found by name without asking");
    AppendMenuA(options, MF_STRING, IDM_UNDO_LAST_RUN, "undo the last run");
    // Access keys of their own beside the window menu's (Restore, Move, Size, Minimize, Maximize, Close).
    AppendMenuA(menu, MF_STRING, IDM_LIBRARY_REPORT, "library re&port");
    AppendMenuA(menu, MF_STRING, IDM_OPEN_LAST_REPORT, "open the &last report");
    AppendMenuA(menu, MF_STRING, IDM_CHECK_PRODUCT_ZIP, "check a product &zip");
    AppendMenuA(menu, MF_STRING, IDM_COLLECT_SCENE, "collect a sc&ene into a zip");
    AppendMenuA(menu, MF_STRING, IDM_MOVE_FOLDER, "move a &folder and keep what uses it");
    AppendMenuA(menu, MF_STRING, IDM_INSTALL_PRODUCT, "&install a product zip");
    AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(options), "&options");
}

void check_option_items(HWND wn)
{
    for (HMENU menu : {GetSystemMenu(wn, FALSE), g_context_menu}) {
        CheckMenuItem(menu, IDM_OPTION_EXTENDED, MF_BYCOMMAND | (g_options.extended ? MF_CHECKED : MF_UNCHECKED));
        CheckMenuItem(menu, IDM_OPTION_AUTOMATIC, MF_BYCOMMAND | (g_options.automatic ? MF_CHECKED : MF_UNCHECKED));
    }
}

// The options apply from the next run on; a run or report in progress keeps its own.
void switch_option(HWND wn, WindowOption item, Prompts& prompts)
{
    if (main_session().run_in_progress) {
        return;
    }
    g_options = switched(g_options, item);
    check_option_items(wn);
    if (!save_window_options(g_options)) {
        prompts.warning(Owner::none, settings_file_path(), "I can't write this file");
    }
}

// The runs the extended repair keeps lie below the roots it repairs with.
void undo_in_window(Prompts& prompts)
{
    Session& session = main_session();
    if (session.run_in_progress) {
        return;
    }
    BusyGuard busy(session);
    close_run_folders(session);
    std::string prefs;
    std::vector<std::string> notes;
    undo_last_run(session.run.fs(), window_content_roots(session.run, prefs, notes), prompts, std::time(nullptr));
}

void cancel_work()
{
    note_cancel_click();
    if (install_running()) {
        cancel_install();
    } else if (report_running()) {
        cancel_report();
    } else if (move_running()) {
        cancel_move();
    } else {
        cancel_run(main_session());
    }
}

}  // namespace

Prompts& status_prompts(Prompts& inner)
{
    g_status_prompts = std::make_unique<StatusPrompts>(inner);
    return *g_status_prompts;
}

bool cancel_run_for_close()
{
    if (report_running() || !progress_panel_shown() || !main_session().run_in_progress) {
        return false;
    }
    cancel_work();
    return true;
}

void add_extras(HWND wn)
{
    window_status() = WindowStatus();
    g_options = read_window_options();
    // The Poser root dialogue, before any command, already talks as the options say.
    main_session().dialogue = window_dialogue(g_options, folder_picker());
    HMENU system = GetSystemMenu(wn, FALSE);
    AppendMenuA(system, MF_SEPARATOR, 0, nullptr);
    add_extras_to(system);
    g_context_menu = CreatePopupMenu();
    add_extras_to(g_context_menu);
    check_option_items(wn);
    find_last_report();
    g_shown.reset();
    create_progress_panel(wn);
    layout_extras(wn);
}

FolderPicker root_picker()
{
    return main_session().dialogue->root_picker();
}

bool extras_command(HWND wn, int id, Prompts& prompts)
{
    switch (id) {
    case IDM_LIBRARY_REPORT:
        start_report(wn, prompts);
        return true;
    case IDM_CHECK_PRODUCT_ZIP:
        start_product_check(wn, prompts);
        return true;
    case IDM_COLLECT_SCENE:
        start_collect(wn, prompts);
        return true;
    case IDM_MOVE_FOLDER:
        start_move(wn, prompts);
        return true;
    case IDM_INSTALL_PRODUCT:
        start_install(wn, prompts);
        return true;
    case IDM_OPTION_EXTENDED:
        switch_option(wn, WindowOption::extended, prompts);
        return true;
    case IDM_OPTION_AUTOMATIC:
        switch_option(wn, WindowOption::automatic, prompts);
        return true;
    case IDM_UNDO_LAST_RUN:
        undo_in_window(prompts);
        return true;
    case IDM_OPEN_LAST_REPORT:
        open_last_report(prompts);
        return true;
    case IDC_CANCEL_WORK:
        cancel_work();
        return true;
    default:
        return false;
    }
}

bool show_context_menu(HWND wn, LPARAM where)
{
    POINT at{static_cast<short>(LOWORD(where)), static_cast<short>(HIWORD(where))};
    if (where == -1) {  // from the keyboard: at the top left of the client area
        at = POINT{k_panel_margin, k_panel_margin};
        ClientToScreen(wn, &at);
    }
    POINT inside = at;
    RECT client{};
    ScreenToClient(wn, &inside);
    GetClientRect(wn, &client);
    if (!PtInRect(&client, inside)) {
        return false;
    }
    TrackPopupMenu(g_context_menu, TPM_RIGHTBUTTON, at.x, at.y, 0, wn, nullptr);
    return true;
}

HMENU context_menu()
{
    return g_context_menu;
}

void show_what_can_run(HWND wn)
{
    if (wn == nullptr || !IsWindow(wn)) {
        return;
    }
    const CommandsShown now{main_session().run_in_progress, !last_report_page().empty()};
    if (g_shown == now) {
        return;
    }
    g_shown = now;
    const UINT can_start = MF_BYCOMMAND | (now.busy ? MF_GRAYED : MF_ENABLED);
    for (UINT id : {IDM_CHECK_FILE, IDM_CHECK_FOLDER}) {
        EnableMenuItem(GetMenu(wn), id, can_start);
    }
    for (HMENU menu : {GetSystemMenu(wn, FALSE), g_context_menu}) {
        for (UINT id : {IDM_LIBRARY_REPORT, IDM_CHECK_PRODUCT_ZIP, IDM_COLLECT_SCENE, IDM_MOVE_FOLDER, IDM_INSTALL_PRODUCT,
                        IDM_OPTION_EXTENDED, IDM_OPTION_AUTOMATIC, IDM_UNDO_LAST_RUN}) {
            EnableMenuItem(menu, id, can_start);
        }
        EnableMenuItem(menu, IDM_OPEN_LAST_REPORT, MF_BYCOMMAND | (now.has_page ? MF_ENABLED : MF_GRAYED));
    }
    DragAcceptFiles(wn, now.busy ? FALSE : TRUE);
    DrawMenuBar(wn);
}

void before_command()
{
    if (!main_session().run_in_progress) {
        forget_cancel_click();
        apply_window_options(main_session(), g_options, folder_picker());
    }
}

void after_command(HWND wn, unsigned long long runs_before)
{
    if (main_session().run_in_progress || main_session().runs_started == runs_before) {
        return;
    }
    hide_progress_panel(wn);
    window_status().run_ended(main_session().run.tally, cancel_clicked());
    // The title showed the file in hand; the run is over.
    SetWindowTextA(wn, progname);
    repaint_status(wn);
}
