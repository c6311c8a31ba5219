#include "winshell/report_window.h"

#include "app/collect_command.h"
#include "app/counted.h"
#include "app/report_output.h"
#include "app/report_page.h"
#include "app/runs.h"
#include "app/window_options.h"
#include "engine/base/poser_documents.h"
#include "engine/base/run_stop.h"
#include "engine/base/text_encoding.h"
#include "engine/fsys/fsys.h"
#include "engine/report/library_report.h"
#include "engine/report/product_report.h"
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

// What the worker thread does for the window: a report (of a library folder or a product zip)
// whose page is kept, or a collect whose outcome is told.
struct ReportWork {
    std::thread worker;
    std::unique_ptr<BusyGuard> busy;
    std::chrono::steady_clock::time_point started;
    std::atomic<long long> done{0};
    std::atomic<long long> total{0};
    std::atomic<unsigned long long> bytes{0};
    std::atomic<bool> writing{false};  // a collect: its files being written, not its documents read
    bool cancelled = false;
    bool collect = false;
    std::string out;        // where a collect writes
    LibraryReport report;   // the worker's, read once it has been joined
    CollectOutcome collected;
};

std::unique_ptr<ReportWork> g_work;
std::string g_last_page;
// The folder of the last zip collected or checked, where the next zip chooser opens; "" before.
std::string g_zip_folder;

bool open_with_shell(const std::string& page)
{
    // Above 32: the browser was started.
    return reinterpret_cast<INT_PTR>(ShellExecuteW(mwn, L"open", to_wide(page).c_str(), nullptr, nullptr, SW_SHOW)) > 32;
}

PageOpener g_opener = open_with_shell;

// The user's Documents folder, or "" when Windows names none.
std::string documents_folder()
{
    wchar_t folder[MAX_PATH] = {};
    return SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, folder) == S_OK ? to_utf8(folder)
                                                                                               : std::string();
}

// Where a zip chooser opens: where the last zip went, else `otherwise`.
std::string zip_folder_or(const std::string& otherwise)
{
    return g_zip_folder.empty() ? otherwise : g_zip_folder;
}

void remember_zip_folder(const std::string& zip)
{
    const std::size_t cut = last_separator(zip, PathStyle::windows);
    g_zip_folder = cut == std::string::npos ? std::string() : zip.substr(0, cut);
}

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

// The worker's progress, told to the window.
ReportProgress progress_to(HWND wn, ReportWork* work)
{
    return [=](long long done, unsigned long long bytes, long long total) {
        work->done = done;
        work->bytes = bytes;
        work->total = total;
        PostMessageA(wn, k_report_progress_message, 0, 0);
    };
}

void start_worker(HWND wn, const std::string& folder, bool product_zip, std::vector<std::string> roots, std::string prefs,
                  std::vector<std::string> notes)
{
    ReportWork* work = g_work.get();
    fsys::FileSystem* const disk = &main_session().run.fs();
    work->worker = std::thread([=]() {
        const unsigned threads = report_readers();
        fsys::FileSystem& fs = *disk;
        const std::vector<std::string> paths{fs.absolute_path(folder)};
        work->report = product_zip ? build_product_report(fs, paths, roots, threads, progress_to(wn, work))
                                   : build_library_report(fs, paths, roots, threads, progress_to(wn, work));
        work->report.library_prefs = prefs;
        work->report.root_notes.insert(work->report.root_notes.begin(), notes.begin(), notes.end());  // before the walk's
        PostMessageA(wn, k_report_done_message, 0, 0);
    });
}

void start_collect_worker(HWND wn, const std::string& document, std::vector<std::string> roots)
{
    ReportWork* work = g_work.get();
    fsys::FileSystem* const disk = &main_session().run.fs();
    work->worker = std::thread([=]() {
        const CollectStep step = [=](bool writing, unsigned long long done, unsigned long long total) {
            work->writing = writing;
            work->done = static_cast<long long>(done);
            work->total = static_cast<long long>(total);
            PostMessageA(wn, k_report_progress_message, 0, 0);
        };
        work->collected = collect_documents(*disk, {document}, roots, work->out, step);
        PostMessageA(wn, k_report_done_message, 0, 0);
    });
}

// The worker begins: the window is busy, shows the work and its Cancel button.
ReportWork& begin_work(HWND wn, const std::string& title)
{
    g_work = std::make_unique<ReportWork>();
    g_work->busy = std::make_unique<BusyGuard>(main_session());
    g_work->started = std::chrono::steady_clock::now();
    window_status().work_started(title);
    show_progress_panel(wn, true);
    return *g_work;
}

// One line on what the report came to, for the idle window; a product's what breaks its
// install too, which its page lists first.
std::string outcome(const LibraryReport& r, const std::string& page)
{
    const std::string package = r.package.empty() ? "" : ", " + counted(static_cast<long long>(r.package.size()), "package problem", "package problems");
    return "Last report: " + counted(r.files_read, "file", "files") + " read, " +
           counted(r.broken_count(), "reference", "references") + " moved, missing or refused" + package + ".\nThe page: " + page;
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
    const std::string page = write_report_page(main_session().run.fs(), reports_folder(), std::time(nullptr), html, tried);
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
    begin_work(wn, "Library report of " + folder);
    window_status().report_started(folder);
    start_worker(wn, folder, false, std::move(roots), std::move(prefs), std::move(notes));
}

void start_product_check(HWND wn, Prompts& prompts)
{
    static constexpr FileFilter k_zips{"product zips", "*.ZIP"};
    Session& session = main_session();
    if (session.run_in_progress) {
        return;
    }
    std::string zip;
    if (prompts.GetFileName(Owner::main, zip, zip_folder_or(session.run.posername), "the product zip to check", k_zips,
                            ChooserMode::open) == 0) {
        return;
    }
    remember_zip_folder(zip);
    std::string prefs;
    std::vector<std::string> notes;
    std::vector<std::string> roots = window_content_roots(session.run, prefs, notes);
    begin_work(wn, "Check of the product " + zip);
    start_worker(wn, zip, true, std::move(roots), std::move(prefs), std::move(notes));
}

void start_collect(HWND wn, Prompts& prompts)
{
    static const FileFilter k_documents{"Poser documents", poser_document_patterns()};
    static constexpr FileFilter k_zips{"zip files", "*.ZIP"};
    Session& session = main_session();
    if (session.run_in_progress) {
        return;
    }
    std::string document;
    if (prompts.GetFileName(Owner::main, document, session.run.posername, "choose the scene to collect", k_documents,
                            ChooserMode::open) == 0) {
        return;
    }
    // The scene's name, proposed where a zip is kept rather than inside the library it came from.
    const std::string name = document.substr(last_separator(document, PathStyle::windows) + 1);
    std::string zip = name.substr(0, name.rfind('.')) + ".zip";
    if (prompts.GetFileName(Owner::main, zip, zip_folder_or(documents_folder()), "save the collected scene as", k_zips,
                            ChooserMode::save) == 0) {
        return;
    }
    remember_zip_folder(zip);
    std::string prefs;
    std::vector<std::string> notes;
    std::vector<std::string> roots = window_content_roots(session.run, prefs, notes);
    ReportWork& work = begin_work(wn, "Collecting " + document);
    work.collect = true;
    work.out = zip;
    start_collect_worker(wn, document, std::move(roots));
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
    if (!g_work->collect) {
        window_status().report_progress(g_work->done, total, g_work->bytes, seconds);
    } else {
        window_status().collect_progress(g_work->writing, g_work->done, total);
    }
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
    const CollectOutcome collected = std::move(g_work->collected);
    const bool cancelled = g_work->cancelled;
    const bool collect = g_work->collect;
    const std::string out = g_work->out;
    g_work.reset();
    hide_progress_panel(wn);
    if (closing) {
        return;
    }
    // The stop was the Cancel button's alone: the next run must not see it.
    run_stop::clear();
    if (collect) {
        const std::string summary = collect_summary(collected, out);
        window_status().report_ended("Last collect: " + summary);
        prompts.information(Owner::none, summary, "collect a scene into a zip");
    } else if (cancelled) {
        window_status().report_ended("Last report: cancelled.");
    } else {
        keep_page(report, prompts);
    }
    repaint_status(wn);
}

void find_last_report()
{
    g_last_page = newest_report_page(main_session().run.fs(), reports_folder());
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
