#pragma once
// The progress bar of long work on standard error: a label, a bar, the counts
// and the time left, redrawn in place on a terminal. A disabled bar (standard
// error is no terminal, or the work is short) writes nothing at all.
#include <chrono>
#include <ostream>
#include <string>

namespace fw::cli {

class ProgressBar {
public:
    using Clock = std::chrono::steady_clock;

    ProgressBar(std::ostream& err, bool enabled, std::string label);
    ~ProgressBar(); // clears the line

    // `done` of `total` units; redrawn at most every `interval` (and at the end).
    void update(long long done, long long total);
    // Removes the bar, so that what follows starts on a clean line.
    void clear();

    bool enabled() const { return m_enabled; }
    void setInterval(std::chrono::milliseconds interval) { m_interval = interval; }

    // One line of the bar (without its carriage return); the time left is
    // left out until there is a rate to go by.
    static std::string line(const std::string& label, long long done, long long total,
                            std::chrono::duration<double> elapsed, int barWidth = 24);

private:
    std::ostream& m_err;
    bool m_enabled;
    std::string m_label;
    Clock::time_point m_start = Clock::now();
    Clock::time_point m_lastDraw {};
    std::chrono::milliseconds m_interval {100};
    bool m_drawn = false;
    size_t m_lastWidth = 0;
};

} // namespace fw::cli
