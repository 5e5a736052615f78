#include "funds/PortfolioRefresh.h"
#include "funds/FundPageSummary.h"
#include "funds/EstimateRecord.h"
#include "funds/HoldingsEstimate.h"
#include "net/HttpClient.h"
#include "net/ServiceHosts.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include <cmath>
#include <cstdlib>

namespace fw {

Text fundPageName(std::string_view page)
{
    const size_t block = page.find("fundDetail-tit");
    if (block == std::string_view::npos)
        return {};
    const size_t open = page.find("float: left\">", block);
    if (open == std::string_view::npos)
        return {};
    const size_t from = open + 13;
    const size_t to = page.find('<', from);
    if (to == std::string_view::npos)
        return {};
    return Text(page.substr(from, to - from));
}

FundQuote fundQuoteFromPage(std::string_view page)
{
    FundQuote quote;
    const FundPageSummary summary = FundPageSummary::cut(page);
    quote.name = fundPageName(page);
    quote.valueDate = summary.date;
    // The whole text or nothing: "1.5000", never the "1" of "1.5x".
    const std::optional<double> value = plainDecimal(summary.unitValue);
    if (value && *value > 0 && std::isfinite(*value))
        quote.unitValue = *value;
    return quote;
}

FundQuote fetchFundQuote(const FeatureContext& context, std::string_view code)
{
    return fetchFundQuote(context.requestOptions(), code, context.dataDir);
}

FundQuote fetchFundQuote(const HttpRequestOptions& base, std::string_view code, const std::string& dataDir)
{
    HttpRequestOptions options = base;
    // The fund page declares its charset: fetch hands it over as GBK.
    const Text page = HttpClient().fetch(serviceHosts().url(HostRole::FundList, FundPageSummary::path(code)), options);
    // A cancelled load reads nothing more: its thread may be ending with the process.
    if (base.load.cancelled())
        return {};
    FundQuote quote = fundQuoteFromPage(page);

    // The same estimate as everywhere else the program shows one, chosen by
    // the errors logged of the fund.
    const EstimateFund fund {Text(code), quote.name, loggedErrors(dataDir, std::string(code))};
    if (const auto estimate = fetchHoldingsEstimate(base, fund)) {
        quote.estimatePercent = estimate->change;
        quote.estimateError = estimate->error;
        quote.coverage = estimateBasis(*estimate);
    }
    return quote;
}

PortfolioRefresh::~PortfolioRefresh()
{
    cancel();
    m_pool.letGo();
}

void PortfolioRefresh::cancel()
{
    if (!m_run)
        return;
    m_load->cancel(); // waits for a `done` under way
    m_pool.close();
}

bool PortfolioRefresh::start(std::vector<Text> codes, Done done)
{
    const LoadTicket load = m_load->tryBegin();
    if (!load)
        return false;
    m_pool.reap(false); // the threads of earlier refreshes that have ended

    auto run = std::make_shared<Run>();
    run->codes = std::move(codes);
    run->quotes.resize(run->codes.size());
    run->done = std::move(done);
    run->left = int(run->codes.size());
    run->request = m_context.requestOptions();
    run->request.load = load;
    run->dataDir = m_context.dataDir;
    m_run = run;
    const int rows = int(run->codes.size());
    if (rows == 0) {
        m_load->finish(load);
        if (run->done)
            run->done({});
        return true;
    }
    // The jobs hold the run and the token alone: they may outlive this object and the context.
    const bool started = m_pool.start(rows, std::min(kMaxWorkers, rows), [run, token = m_load](int row) {
        if (run->request.load.cancelled())
            return;
        const int now = ++run->active;
        for (int peak = run->peak.load(); now > peak && !run->peak.compare_exchange_weak(peak, now);) {
        }
        run->quotes[size_t(row - 1)] = fetchFundQuote(run->request, run->codes[size_t(row - 1)], run->dataDir);
        --run->active;
        if (run->left.fetch_sub(1) != 1)
            return;
        // The last fund: every row's quote is written and seen through `left`.
        std::map<Text, FundQuote> quotes;
        for (size_t i = 0; i < run->codes.size(); ++i)
            quotes[run->codes[i]] = std::move(run->quotes[i]);
        // Finished before `done` runs, so that a refresh asked for from `done` on may start.
        token->finish(run->request.load, [&] {
            if (run->done)
                run->done(std::move(quotes));
        });
    });
    if (!started) {
        // Not one thread to be had: the refresh ends with nothing learned.
        m_load->finish(load);
        if (run->done)
            run->done({});
    }
    return true;
}

} // namespace fw
