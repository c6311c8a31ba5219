#include "app/progress_line.h"

#include <algorithm>

double ProgressLine::seconds() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
}

double ProgressLine::megabytes_per_second(unsigned long long bytes) const
{
    const double s = seconds();
    return s > 0 ? static_cast<double>(bytes) / 1e6 / s : 0.0;
}

void ProgressLine::show(const std::string& text)
{
    std::string line = "\r" + text + " ";
    // A shorter line than the one before blanks out what is left of that one.
    line.resize(std::max(line.size(), m_width), ' ');
    m_width = line.size();
    std::fputs(line.c_str(), m_err);
    std::fflush(m_err);
}

void ProgressLine::clear()
{
    if (m_width > 0) {
        std::fprintf(m_err, "\r%s\r", std::string(m_width, ' ').c_str());
        std::fflush(m_err);
        m_width = 0;
    }
}
