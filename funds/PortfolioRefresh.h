#pragma once
// Fetching what the portfolio shows of each held fund: the last unit value and
// its date and the fund's name from the fund page, and today's estimate from
// the holdings page and the quotes. A refresh takes the funds in order on the
// row pool the profiles use, at most five threads (and within the process's
// bound of bulk rows), and is never started while one still runs. No Qt.
#include "funds/FeatureContext.h"
#include "funds/Portfolio.h"
#include "funds/RowPool.h"
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace fw {

// The fund's name from the fund page's title block; "" when missing.
Text fundPageName(std::string_view page);
// The name, the last unit value and its date read from a fund page (GBK);
// a value that is no positive finite number ("inf", "1e999") stays 0, unknown.
FundQuote fundQuoteFromPage(std::string_view page);

// One fund's figures, fetched on the calling thread: the fund page, then the
// estimate exactly as the fund command and the lists' estimate column get it
// (chosen by the errors logged in the context's data directory).
FundQuote fetchFundQuote(const FeatureContext& context, std::string_view code);
// As above, every request made from `base` (time-out and load): once the load
// is cancelled no further request is sent and the one in flight is abandoned.
// The errors are read from fundwatch.db in `dataDir` ("" none known).
FundQuote fetchFundQuote(const HttpRequestOptions& base, std::string_view code, const std::string& dataDir = {});

class PortfolioRefresh {
public:
    static constexpr int kMaxWorkers = 5;
    using Done = std::function<void(std::map<Text, FundQuote>)>;

    explicit PortfolioRefresh(FeatureContext& context) : m_context(context) {}
    // Cancels a refresh under way and waits for no thread: each abandons the
    // request it is in and ends by itself (the process joins it). Safe on the
    // UI thread.
    ~PortfolioRefresh();
    PortfolioRefresh(const PortfolioRefresh&) = delete;
    PortfolioRefresh& operator=(const PortfolioRefresh&) = delete;

    // Starts fetching every code; `done` runs once, on the thread of the last
    // fund to finish, with the quotes by code (at once with none for no codes).
    // `done` must not call back into this object. False, and nothing started,
    // while a refresh runs.
    bool start(std::vector<Text> codes, Done done);
    bool running() const { return m_load->running(); }
    // No further fund is fetched and `done` is not called (once cancel()
    // returns, a `done` under way has returned too); the requests in flight
    // are abandoned. A new refresh may start at once.
    void cancel();
    // Waits for every thread of the refreshes so far (never on the UI thread).
    void wait() { m_pool.reap(true); }
    // The most funds fetched at one time in the last refresh.
    int peakWorkers() const { return m_run ? m_run->peak.load() : 0; }

private:
    // One refresh's state, shared with its jobs, so that the threads of a
    // cancelled refresh never touch a newer one.
    struct Run {
        std::vector<Text> codes;
        std::vector<FundQuote> quotes; // by row
        Done done;
        HttpRequestOptions request;    // every request's: the time-out and this refresh's load
        std::string dataDir;           // where the estimate log is
        std::atomic<int> left {0};
        std::atomic<int> active {0};
        std::atomic<int> peak {0};
    };

    FeatureContext& m_context;
    std::shared_ptr<Run> m_run;
    // One refresh at a time (tryBegin); `done` is its finish, so it is called
    // or the refresh cancelled, not both. Shared with the jobs, which may
    // outlive this object.
    std::shared_ptr<LoadToken> m_load = std::make_shared<LoadToken>();
    RowPool m_pool;
};

} // namespace fw
