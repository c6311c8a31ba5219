#include "winshell/report_window.h"

#include "app/report_output.h"
#include "app/report_page.h"
#include "app/runs.h"
#include "app/window_options.h"
#include "engine/fsys.h"
#include "engine/library_report.h"
#include "engine/run_stop.h"
#include "engine/text_encoding.h"
#include "winshell/program.h"
#include "winshell/progress_panel.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <memory>
#include <shellapi.h>
#include <shlobj.h>
#include <thread>

#ifndef TARNWICK_VERSION
#define TARNWICK_VERSION "unknown"
#endif

namespace {

struct ReportWork {
    std::thread worker;
    std::unique_ptr<BusyGuard> busy;
    std::chrono::steady_clock::time_point started;
    std::atomic<long long> done{0};
    std::atomic<long long> total{0};
    std::atomic<unsigned long long> bytes{0};
    bool cancelled = false;
    LibraryReport report;  // the worker's, read once it has been joined
};

std::unique_ptr<ReportWork> g_work;
std::string g_last_page;

bool open_with_shell(const std::string& page)
{
    // Above 32: the browser was started.
    return reinterpret_cast<INT_PTR>(ShellExecuteW(mwn, L"open", to_wide(page).c_str(), nullptr, nullptr, SW_SHOW)) > 32;
}

PageOpener g_opener = open_with_shell;

std::string local_app_data()
{
    wchar_t folder[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        return to_utf8(std::wstring_view(folder, n));
    }
    if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) == S_OK) {
        return to_utf8(folder);
    }
    return std::string();
}

void start_worker(HWND wn, const std::string& folder, std::vector<std::string> roots, std::string prefs,
                  std::vector<std::string> notes)
{
    ReportWork* work = g_work.get();
    work->worker = std::thread([=]() {
        const ReportProgress progress = [=](long long done, unsigned long long bytes, long long total) {
            work->done = done;
            work->bytes = bytes;
            work->total = total;
            PostMessageA(wn, k_report_progress_message, 0, 0);
        };
        const unsigned threads = report_readers();
        fsys::FileSystem& fs = fsys::disk();
        work->report = build_library_report(fs, {fs.absolute_path(folder)}, roots, threads, progress);
        work->report.library_prefs = prefs;
        work->report.root_notes = notes;
        PostMessageA(wn, k_report_done_message, 0, 0);
    });
}

// One line on what the report came to, for the idle window.
std::string outcome(const LibraryReport& r, const std::string& page)
{
    const long long broken = r.count(RefStatus::moved) + r.count(RefStatus::missing);
    return "Last report: " + std::to_string(r.files_read) + " files read, " + std::to_string(broken) +
           " references moved or missing.\nThe page: " + page;
}

void open_page(const std::string& page, Prompts& prompts)
{
    if (!g_opener || !g_opener(page)) {
        prompts.warning(Owner::none, page, "I can't open the report page in the browser");
    }
}

void keep_page(const LibraryReport& report, Prompts& prompts)
{
    const std::string html = report_html(report, TARNWICK_VERSION, PagePaths::from_roots, progname);
    std::string tried;
    const std::string page = write_report_page(reports_folder(), std::time(nullptr), html, tried);
    if (page.empty()) {
        window_status().report_ended("Last report: the page could not be written.");
        prompts.warning(Owner::none, tried, "I can't write the report page on this file");
        return;
    }
    g_last_page = page;
    window_status().report_ended(outcome(report, page));
    open_page(page, prompts);
}

}  // namespace

void use_page_opener(PageOpener opener)
{
    g_opener = std::move(opener);
}

std::string reports_folder()
{
    const std::string base = local_app_data();
    return (base.empty() ? main_session().rootdir : base + "\\tarnwick") + "\\reports";
}

void start_report(HWND wn, Prompts& prompts)
{
    (void)prompts;
    Session& session = main_session();
    if (session.run_in_progress) {
        return;
    }
    std::string folder = session.run.posername;
    if (!folder_picker() || folder_picker()(folder, session.run.posername, "folder of the library to report on") == 0) {
        return;
    }
    std::string prefs;
    std::vector<std::string> notes;
    std::vector<std::string> roots = window_content_roots(session.run, prefs, notes);
    g_work = std::make_unique<ReportWork>();
    g_work->busy = std::make_unique<BusyGuard>(session);
    g_work->started = std::chrono::steady_clock::now();
    window_status().report_started(folder);
    show_progress_panel(wn, true);
    start_worker(wn, folder, std::move(roots), std::move(prefs), std::move(notes));
}

bool report_running()
{
    return g_work != nullptr;
}

void cancel_report()
{
    if (g_work != nullptr) {
        g_work->cancelled = true;
        run_stop::request();
    }
}

void show_report_progress(HWND wn)
{
    if (g_work == nullptr) {
        return;
    }
    const long long total = g_work->total;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - g_work->started).count();
    window_status().report_progress(g_work->done, total, g_work->bytes, seconds);
    set_progress(total > 0 ? static_cast<double>(g_work->done) / static_cast<double>(total) : 0.0);
    repaint_status(wn);
}

void finish_report(HWND wn, Prompts& prompts, bool closing)
{
    if (g_work == nullptr) {
        return;
    }
    g_work->worker.join();
    const LibraryReport report = std::move(g_work->report);
    const bool cancelled = g_work->cancelled;
    g_work.reset();
    hide_progress_panel(wn);
    if (closing) {
        return;
    }
    // The stop was the Cancel button's alone: the next run must not see it.
    run_stop::clear();
    if (cancelled) {
        window_status().report_ended("Last report: cancelled.");
    } else {
        keep_page(report, prompts);
    }
    repaint_status(wn);
}

void find_last_report()
{
    g_last_page = newest_report_page(reports_folder());
}

const std::string& last_report_page()
{
    return g_last_page;
}

void open_last_report(Prompts& prompts)
{
    if (!g_last_page.empty()) {
        open_page(g_last_page, prompts);
    }
}
