#include "funds/IntradayLoad.h"

namespace fw {

IntradayLoad::~IntradayLoad()
{
    cancel();
    m_pool.letGo();
}

void IntradayLoad::cancel()
{
    m_load->cancel(); // waits for a `done` under way
    m_pool.close();
}

void IntradayLoad::start(std::function<IntradayDay(const HttpRequestOptions&)> work, Done done)
{
    HttpRequestOptions request = m_context.requestOptions();
    request.load = m_load->begin();
    m_pool.close();
    m_pool.reap(false); // the threads of earlier loads that have ended
    // The job holds the request, the work and the token alone.
    const bool started = m_pool.start(1, 1, [request, work = std::move(work), done, token = m_load](int) {
        if (request.load.cancelled())
            return;
        auto day = std::make_shared<const IntradayDay>(work(request));
        token->finish(request.load, [&] { done(std::move(day)); });
    });
    if (!started)
        m_load->finish(request.load); // no thread to be had: nothing shown
}

void IntradayLoad::loadFund(Text code, Text gbkName, Done done)
{
    start([code = std::move(code), name = std::move(gbkName), dir = m_context.dataDir](const HttpRequestOptions& request) {
        return IntradayDay(fetchFundCurve(code, name, request, dir));
    },
          std::move(done));
}

void IntradayLoad::loadPortfolio(std::vector<HeldFund> held, Done done)
{
    start([held = std::move(held), dir = m_context.dataDir](const HttpRequestOptions& request) {
        return IntradayDay(fetchPortfolioDay(held, request, dir));
    },
          std::move(done));
}

void IntradayLoad::extend(std::shared_ptr<const IntradayDay> shown, int minute, Done done)
{
    start([shown = std::move(shown), minute](const HttpRequestOptions& request) {
        IntradayDay day = *shown;
        if (FundCurve* fund = std::get_if<FundCurve>(&day)) {
            refreshFromQuotes(*fund, minute, request);
        } else {
            PortfolioDay& portfolio = std::get<PortfolioDay>(day);
            for (FundCurve& f : portfolio.funds)
                if (f.ok())
                    refreshFromQuotes(f, minute, request);
            recomputePortfolio(portfolio);
        }
        return day;
    },
          std::move(done));
}

} // namespace fw
