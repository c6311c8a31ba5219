#include "app/window_status.h"


#include <algorithm>
#include <cstdio>

std::string counts_so_far(const RunTally& tally)
{
    const std::string checked = tally.total > 0 ? std::to_string(tally.checked) + " of " + std::to_string(tally.total) + " files checked"
                                                : "files checked: " + std::to_string(tally.checked);
    return checked + ", corrected: " + std::to_string(tally.corrected);
}

void WindowStatus::run_started()
{
    m_state = State::run;
    m_file.clear();
}

void WindowStatus::run_ended(const RunTally& tally, bool cancelled)
{
    m_state = State::idle;
    m_last = std::string(cancelled ? "Last run (cancelled): " : "Last run: ") + counts_so_far(tally) + ".";
}

void WindowStatus::report_started(const std::string& folder)
{
    work_started("Library report of " + folder);
    m_progress = "looking for Poser documents...";
}

void WindowStatus::work_started(const std::string& title)
{
    m_state = State::report;
    m_title = title;
    m_progress.clear();
}

void WindowStatus::report_progress(long long done, long long total, unsigned long long bytes, double seconds)
{
    // The bytes as the disk holds them: a compressed document counts at its stored size, so
    // the line says where they were read, not how much text they held.
    const double mb = static_cast<double>(bytes) / 1e6;
    char line[160];
    std::snprintf(line, sizeof line, "%lld of %lld files, %.1f MB read from disk, %.1f MB/s", done, total, mb,
                  seconds > 0 ? mb / seconds : 0.0);
    m_progress = line;
}

namespace {

// "1.5 of 12.0 MB": a unit for the total, so that a few small files do not read "0 of 0".
std::string amount_of(long long done, long long total)
{
    const bool mb = total >= 1000000;
    const double unit = mb ? 1e6 : 1e3;
    char line[80];
    std::snprintf(line, sizeof line, "%.1f of %.1f %s", static_cast<double>(done) / unit, static_cast<double>(total) / unit,
                  mb ? "MB" : "kB");
    return line;
}

}  // namespace

void WindowStatus::collect_progress(bool writing, long long done, long long total)
{
    m_progress = writing ? amount_of(done, total) + " written"
                         : std::to_string(done) + " of " + std::to_string(total) + " documents read";
}

void WindowStatus::bytes_progress(long long done, long long total, std::string_view what)
{
    m_progress = amount_of(done, total) + " " + std::string(what);
}

void WindowStatus::report_ended(const std::string& outcome)
{
    m_state = State::idle;
    m_last = outcome;
}

std::vector<std::string> WindowStatus::lines(const RunTally& tally) const
{
    switch (m_state) {
    case State::run:
        return {m_file.empty() ? std::string("Checking...") : "Checking " + m_file, counts_so_far(tally)};
    case State::report:
        return {m_title, m_progress};
    case State::idle:
        break;
    }
    std::vector<std::string> idle{"Drop a Poser file or a folder here to check it.",
                                  "Right-click here, or open the window menu at the top left, for the library report "
                                  "and the options."};
    for (std::size_t k = 0; k < m_last.size();) {
        const std::size_t end = std::min(m_last.find('\n', k), m_last.size());
        idle.push_back(m_last.substr(k, end - k));
        k = end + 1;
    }
    return idle;
}
