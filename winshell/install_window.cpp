#include "winshell/install_window.h"

#include "app/install_command.h"
#include "app/run_folders.h"
#include "app/runs.h"
#include "app/visible_text.h"
#include "app/window_options.h"
#include "engine/base/run_stop.h"
#include "engine/base/text_encoding.h"
#include "engine/fsys/fsys.h"
#include "engine/library/content_paths.h"
#include "winshell/program.h"
#include "winshell/progress_panel.h"

#include <algorithm>
#include <atomic>
#include <commdlg.h>
#include <ctime>
#include <cwchar>
#include <memory>
#include <thread>

#ifndef TARNWICK_VERSION
#define TARNWICK_VERSION "unknown"
#endif

namespace {

constexpr const char* k_caption = "install a product zip";
// The most lines of a list a message box shows; the rest is counted.
constexpr std::size_t k_lines_shown = 12;

// The install in hand: first its check and plan, then (after the question) the install itself,
// each on the worker thread.
struct InstallWork {
    explicit InstallWork(fsys::FileSystem& disk) : fs(disk) {}
    fsys::FileSystem& fs;
    std::thread worker;
    std::unique_ptr<BusyGuard> busy;
    bool installing = false;  // the install itself, not its check
    std::vector<std::string> zips;
    std::vector<std::string> roots;  // the content folder first
    std::atomic<unsigned long long> done{0};
    std::atomic<unsigned long long> total{0};
    InstallPlan plan;          // the worker's, read once it has been joined
    InstallOutcome outcome;
    LibraryReport report;
};

std::unique_ptr<InstallWork> g_work;

// The Windows file chooser with several files allowed: it gives the folder, then each name,
// or the one file's whole path.
bool pick_zips_with_dialog(std::vector<std::string>& zips, const std::string& initdir)
{
    std::vector<wchar_t> names(65536, L'\0');
    const std::wstring filter = std::wstring(L"product zips") + L'\0' + L"*.ZIP" + L'\0' + L'\0';
    const std::wstring folder = to_wide(initdir);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(OPENFILENAMEW);
    ofn.hwndOwner = mwn;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = names.data();
    ofn.nMaxFile = static_cast<DWORD>(names.size());
    ofn.lpstrInitialDir = folder.c_str();
    ofn.lpstrTitle = L"the product zips to install";
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT | OFN_EXPLORER;
    if (!GetOpenFileNameW(&ofn)) {
        return false;
    }
    const std::wstring first(names.data());
    for (const wchar_t* name = names.data() + first.size() + 1; *name != L'\0'; name += std::wcslen(name) + 1) {
        zips.push_back(child_path(to_utf8(first), to_utf8(name)));
    }
    if (zips.empty()) {
        zips.push_back(to_utf8(first));
    }
    return true;
}

// A short menu of the folders at the centre of the main window.
int choose_from_menu(const std::vector<std::string>& folders)
{
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, L"install into:");
    for (std::size_t k = 0; k < folders.size(); ++k) {
        AppendMenuW(menu, MF_STRING, k + 1, to_wide(folders[k]).c_str());
    }
    RECT client{};
    GetClientRect(mwn, &client);
    POINT at{client.right / 3, client.bottom / 3};
    ClientToScreen(mwn, &at);
    const int picked = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, 0, mwn, nullptr);
    DestroyMenu(menu);
    return picked - 1;
}

ZipPicker g_zip_picker = pick_zips_with_dialog;
FolderChoice g_folder_choice = choose_from_menu;

// The content folders to install into: the Poser root and the registered folders that are
// folders, the others after the one picked.
bool pick_content_folder(std::vector<std::string>& roots, Prompts& prompts)
{
    std::string prefs;
    std::vector<std::string> notes;
    std::vector<std::string> folders;
    for (const std::string& root : window_content_roots(main_session().run, prefs, notes)) {
        if (main_session().run.fs().is_folder(root)) {
            folders.push_back(root);
        }
    }
    if (folders.empty()) {
        prompts.warning(Owner::none, "Choose the Poser root with a repair first.", "I have no content folder to install into");
        return false;
    }
    const int picked = folders.size() == 1 ? 0 : g_folder_choice(folders);
    if (picked < 0 || picked >= static_cast<int>(folders.size())) {
        return false;
    }
    roots = folders;
    std::rotate(roots.begin(), roots.begin() + picked, roots.begin() + picked + 1);
    return true;
}

// The lines of `lines`, at most k_lines_shown, and how many more there are.
std::string some_lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (std::size_t k = 0; k < lines.size() && k < k_lines_shown; ++k) {
        text += "\n" + lines[k];
    }
    if (lines.size() > k_lines_shown) {
        text += "\n... and " + std::to_string(lines.size() - k_lines_shown) + " more";
    }
    return text;
}

void start_worker(HWND wn, std::function<void(InstallWork&)> step)
{
    InstallWork* work = g_work.get();
    work->worker = std::thread([wn, work, step = std::move(step)] {
        step(*work);
        PostMessageA(wn, k_install_done_message, 0, 0);
    });
}

void start_installing(HWND wn)
{
    g_work->installing = true;
    g_work->total = g_work->plan.bytes_to_write();
    window_status().work_started("Installing " + product_name(g_work->plan) + " into " + g_work->plan.root);
    show_progress_panel(wn, true);
    start_worker(wn, [wn](InstallWork& work) {
        const InstallProgress progress = [wn, &work](unsigned long long done, unsigned long long) {
            work.done = done;
            PostMessageA(wn, k_install_progress_message, 0, 0);
        };
        work.outcome = install_product(work.fs, work.plan, TARNWICK_VERSION, run_stamp(std::time(nullptr)), progress);
        if (work.outcome.status == k_install_done) {
            work.report = product_needs(work.fs, work.plan.zips, work.roots);
        }
    });
}

// The check is done: refused with the reasons, or the question with the counts.
bool ask_to_install(InstallWork& work, Prompts& prompts)
{
    const InstallPlan& plan = work.plan;
    if (!plan.can_install()) {
        prompts.warning(Owner::none, "Nothing was installed:" + some_lines(refusal_lines(plan)),
                        "I can't install " + product_name(plan));
        return false;
    }
    std::string body = install_counts(plan) + "\nfrom " + product_name(plan);
    for (const EntryNote& n : plan.notes) {
        body += "\n" + visible(n.entry) + ": " + n.reason;
    }
    return prompts.question(Owner::none, body,
                            "install " + std::to_string(files_installed(plan)) + " files into " + plan.root + "?");
}

// The closing message: what was installed and what the product needs, or what came of a
// failed or cancelled install.
void tell_outcome(const InstallWork& work, Prompts& prompts)
{
    const InstallOutcome& o = work.outcome;
    std::vector<std::string> left;
    for (const auto& [file, reason] : o.taken_back.left) {
        left.push_back(visible(file) + ": " + reason);
    }
    if (o.status != k_install_done) {
        const bool cancelled = o.end == InstallEnd::stopped;
        const std::string what = cancelled ? "The install was cancelled" : "The install failed: " + visible(o.error);
        window_status().report_ended(cancelled ? "Last install: cancelled." : "Last install: failed.");
        prompts.warning(Owner::none,
                        what + (left.empty() ? ".\nWhat was written is taken back." : ".\nNot taken back yet (undo the last run):" + some_lines(left)),
                        cancelled ? k_caption : "I can't install this product");
        return;
    }
    const std::string summary = "installed " + std::to_string(files_installed(work.plan)) + " files from " +
                                product_name(work.plan) + " into " + work.plan.root + ": " + install_counts(work.plan);
    std::string body = summary + "\n" + std::to_string(work.report.dependencies.size()) + " files needed from the roots";
    const std::vector<std::string> missing = missing_lines(work.report);
    body += missing.empty() ? ", nothing missing." : ", " + std::to_string(missing.size()) + " missing:" + some_lines(missing);
    window_status().report_ended("Last install: " + summary);
    prompts.information(Owner::none, body, k_caption);
}

}  // namespace

void use_zip_picker(ZipPicker picker)
{
    g_zip_picker = std::move(picker);
}

void use_folder_choice(FolderChoice choice)
{
    g_folder_choice = std::move(choice);
}

void start_install(HWND wn, Prompts& prompts)
{
    Session& session = main_session();
    if (session.run_in_progress) {
        return;
    }
    std::vector<std::string> zips;
    std::vector<std::string> roots;
    if (!g_zip_picker(zips, session.run.posername) || zips.empty() || !pick_content_folder(roots, prompts)) {
        return;
    }
    g_work = std::make_unique<InstallWork>(session.run.fs());
    g_work->busy = std::make_unique<BusyGuard>(session);
    g_work->zips = zips;
    g_work->roots = roots;
    window_status().work_started("Checking " + std::string(name_of(zips.front())) + (zips.size() > 1 ? " and the others" : ""));
    show_progress_panel(wn, false);
    start_worker(wn, [](InstallWork& work) { work.plan = plan_product(work.fs, work.zips, work.roots.front()); });
}

bool install_running()
{
    return g_work != nullptr;
}

void cancel_install()
{
    if (g_work != nullptr) {
        run_stop::request();
    }
}

void show_install_progress(HWND wn)
{
    if (g_work == nullptr || !g_work->installing) {
        return;
    }
    const unsigned long long done = g_work->done;
    const unsigned long long total = g_work->total;
    window_status().bytes_progress(static_cast<long long>(done), static_cast<long long>(total), "unpacked");
    set_progress(total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 0.0);
    repaint_status(wn);
}

void finish_install_step(HWND wn, Prompts& prompts, bool closing)
{
    if (g_work == nullptr) {
        return;
    }
    g_work->worker.join();
    hide_progress_panel(wn);
    // The stop was the Cancel button's, or the close's: the next run must not see it.
    const bool stopped = run_stop::requested();
    run_stop::clear();
    const bool checked = !g_work->installing;
    if (!closing && checked && !stopped && ask_to_install(*g_work, prompts) && !run_stop::requested()) {
        start_installing(wn);
        return;
    }
    if (!closing && checked) {
        window_status().report_ended(stopped ? "Last install: cancelled." : "Last install: nothing installed.");
    }
    if (!closing && !checked) {
        tell_outcome(*g_work, prompts);
    }
    g_work.reset();
    repaint_status(wn);
}
