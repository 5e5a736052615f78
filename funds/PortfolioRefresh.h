#pragma once
// Fetching what the portfolio shows of each held fund: the last unit value and
// its date and the fund's name from the fund page, and today's estimate from
// the holdings page and the quotes. A refresh runs on at most five worker
// threads and is never started while one still runs. No Qt.
#include "funds/FeatureContext.h"
#include "funds/Portfolio.h"
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace fw {

// The fund's name from the fund page's title block; "" when missing.
Text fundPageName(std::string_view page);
// The name, the last unit value and its date read from a fund page (GBK);
// a value that is no positive finite number ("inf", "1e999") stays 0, unknown.
FundQuote fundQuoteFromPage(std::string_view page);

// One fund's figures, fetched on the calling thread (three or four requests).
FundQuote fetchFundQuote(const FeatureContext& context, std::string_view code);

class PortfolioRefresh {
public:
    static constexpr int kMaxWorkers = 5;
    using Done = std::function<void(std::map<Text, FundQuote>)>;

    explicit PortfolioRefresh(FeatureContext& context) : m_context(context) {}
    ~PortfolioRefresh() { wait(); }
    PortfolioRefresh(const PortfolioRefresh&) = delete;
    PortfolioRefresh& operator=(const PortfolioRefresh&) = delete;

    // Starts fetching every code; `done` runs once on the last worker's thread
    // with the quotes by code. False (and nothing started) while a refresh runs.
    bool start(std::vector<Text> codes, Done done);
    bool running() const { return m_running.load(); }
    // Joins the workers of the last refresh.
    void wait();
    // The most workers that ran at one time in the last refresh.
    int peakWorkers() const { return m_peak.load(); }

private:
    void work();

    FeatureContext& m_context;
    std::atomic<bool> m_running {false};
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::vector<Text> m_codes;
    size_t m_next = 0;
    int m_left = 0;
    std::map<Text, FundQuote> m_quotes;
    Done m_done;
    std::atomic<int> m_active {0};
    std::atomic<int> m_peak {0};
};

} // namespace fw
