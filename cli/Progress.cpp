#include "cli/Progress.h"

#include "cli/TextTable.h"

#include <algorithm>
#include <cstdio>

namespace fw::cli {

ProgressBar::ProgressBar(std::ostream& err, bool enabled, std::string label)
    : m_err(err), m_enabled(enabled), m_label(printableText(label))
{
}

ProgressBar::~ProgressBar() { clear(); }

std::string ProgressBar::line(const std::string& label, long long done, long long total,
                              std::chrono::duration<double> elapsed, int barWidth)
{
    done = std::max(0LL, done);
    const double fraction = total > 0 ? std::min(1.0, double(done) / double(total)) : 0.0;
    const int filled = int(fraction * barWidth);
    std::string out = label + " [" + std::string(size_t(filled), '#') + std::string(size_t(barWidth - filled), '.')
        + "] " + std::to_string(done) + "/" + (total > 0 ? std::to_string(total) : std::string("?"));
    if (done > 0 && total > done && elapsed.count() > 0) {
        const long long left = (long long)(elapsed.count() * double(total - done) / double(done) + 0.5);
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, " 剩余 %lld:%02lld", left / 60, left % 60);
        out += buffer;
    }
    return out;
}

void ProgressBar::update(long long done, long long total)
{
    if (!m_enabled)
        return;
    const Clock::time_point now = Clock::now();
    if (m_drawn && now - m_lastDraw < m_interval && done < total)
        return;
    m_lastDraw = now;
    const std::string text = line(m_label, done, total, now - m_start);
    const size_t width = size_t(displayWidth(text));
    // Blanks over what a longer earlier line left behind.
    m_err << '\r' << text << std::string(m_lastWidth > width ? m_lastWidth - width : 0, ' ') << std::flush;
    m_lastWidth = width;
    m_drawn = true;
}

void ProgressBar::clear()
{
    if (!m_drawn)
        return;
    m_err << '\r' << std::string(m_lastWidth, ' ') << '\r' << std::flush;
    m_drawn = false;
    m_lastWidth = 0;
}

} // namespace fw::cli
