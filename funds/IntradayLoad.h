#pragma once
// Loading the 今日 view off the window's thread: a fund's day or the held
// funds' day, and each minute the quotes that extend it. The newest load wins:
// beginning one abandons the one under way, and only the newest one's `done`
// runs. The workers hold nothing of this object's, so it may go at once (it
// waits for no thread). No Qt.
#include "funds/FeatureContext.h"
#include "funds/IntradayFetch.h"
#include "funds/RowPool.h"
#include <functional>
#include <memory>
#include <variant>

namespace fw {

// A fund's day, or the held funds'.
using IntradayDay = std::variant<FundCurve, PortfolioDay>;

class IntradayLoad {
public:
    using Done = std::function<void(std::shared_ptr<const IntradayDay>)>;

    explicit IntradayLoad(FeatureContext& context) : m_context(context) {}
    ~IntradayLoad(); // cancels; waits for no thread
    IntradayLoad(const IntradayLoad&) = delete;
    IntradayLoad& operator=(const IntradayLoad&) = delete;

    // `done` runs on the worker, under the load's lock, only while the load
    // is the newest; never once cancel() or a newer load's begin has returned.
    void loadFund(Text code, Text gbkName, Done done);
    void loadPortfolio(std::vector<HeldFund> held, Done done);
    // The day as shown, extended by the quotes of China minute `minute`.
    void extend(std::shared_ptr<const IntradayDay> shown, int minute, Done done);
    void cancel();
    bool running() const { return m_load->running(); }
    // Waits for every worker so far (tests; never on the window's thread).
    void wait() { m_pool.reap(true); }

private:
    void start(std::function<IntradayDay(const HttpRequestOptions&)> work, Done done);

    FeatureContext& m_context;
    std::shared_ptr<LoadToken> m_load = std::make_shared<LoadToken>();
    RowPool m_pool;
};

} // namespace fw
