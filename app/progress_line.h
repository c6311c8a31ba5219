// The progress of long work on a terminal: one line on standard error, overwritten in place,
// cleared at the end so that what follows starts on a clean line.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

class ProgressLine {
public:
    explicit ProgressLine(std::FILE* err) : m_err(err), m_start(std::chrono::steady_clock::now()) {}

    // Seconds since the work began.
    double seconds() const;
    // Megabytes a second, for `bytes` done since the work began.
    double megabytes_per_second(unsigned long long bytes) const;
    void show(const std::string& text);
    void clear();

private:
    std::FILE* m_err;
    std::chrono::steady_clock::time_point m_start;
    std::size_t m_width = 0;
};
