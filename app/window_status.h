// What the main window's client area says: while a run goes, the file in hand and the counts
// so far; while a report goes, how far it has come; when idle, what can be dropped there and
// what the last run or report did.
#pragma once

#include "engine/repair/run.h"

#include <string>
#include <string_view>
#include <vector>

class WindowStatus {
public:
    void run_started();
    void file_in_hand(std::string_view path) { m_file = path; }
    // `tally`: what the run's files came to.
    void run_ended(const RunTally& tally, bool cancelled);
    void report_started(const std::string& folder);
    // Work on a worker thread other than the report: `title` says what it is.
    void work_started(const std::string& title);
    // A collect's: its documents read, or the bytes of its files written.
    void collect_progress(bool writing, long long done, long long total);
    // Another work's progress: a line of its own, or bytes done of all ("2.1 of 9.8 MB unpacked").
    void work_progress(const std::string& line) { m_progress = line; }
    void bytes_progress(long long done, long long total, std::string_view what);
    // `bytes`: read from disk so far, compressed documents at their stored size.
    void report_progress(long long done, long long total, unsigned long long bytes, double seconds);
    // `outcome`: what the report came to, lines separated by line feeds.
    void report_ended(const std::string& outcome);

    bool running() const { return m_state != State::idle; }
    // The lines to show, first to last; `tally` for a run in progress.
    std::vector<std::string> lines(const RunTally& tally) const;

private:
    enum class State { idle, run, report };
    State m_state = State::idle;
    std::string m_file;      // the file in hand
    std::string m_title;     // what the worker thread does
    std::string m_progress;  // the report's progress line
    std::string m_last;      // what the last run or report did, or ""
};

// "files checked: N, corrected: N", the counts of the run so far ("N of M files checked" when
// the run counted its files first).
std::string counts_so_far(const RunTally& tally);
