#include "funds/PortfolioRefresh.h"
#include "funds/FundPageSummary.h"
#include "funds/HoldingsEstimate.h"
#include "funds/HoldingsWorker.h"
#include "net/HttpClient.h"
#include "net/ServiceHosts.h"
#include "text/CodePage.h"

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
    char* end = nullptr;
    const double value = std::strtod(summary.unitValue.c_str(), &end);
    if (!summary.unitValue.empty() && end && *end == '\0' && value > 0 && std::isfinite(value))
        quote.unitValue = value;
    return quote;
}

FundQuote fetchFundQuote(const FeatureContext& context, std::string_view code)
{
    const ServiceHosts hosts = serviceHosts();
    HttpRequestOptions options = context.requestOptions();
    // The fund page declares its charset: fetch hands it over as GBK.
    FundQuote quote =
        fundQuoteFromPage(HttpClient().fetch(hosts.url(HostRole::FundList, FundPageSummary::path(code)), options));

    // The holdings and quote answers are script text in UTF-8.
    const Text holdings = utf8ToGbk(HttpClient().fetch(
        hosts.url(HostRole::FundArchive, holdingsPagePath(code, kHoldingsFirstRt)), options));
    const Text stockList = holdingsStockList(holdings);
    if (stockList.empty())
        return quote;
    const auto quotes = quotesByCode(utf8ToGbk(
        HttpClient().fetch(hosts.url(HostRole::Quote, quotePath(stockList, hosts.quoteToken())), options)));
    const auto estimate = estimateFromHoldings(holdingsRows(stockList, holdingsTableRows(holdings), quotes, {}));
    if (estimate) {
        quote.estimatePercent = estimate->change;
        quote.coverage = gbk("覆盖 ") + estimateCoverageText(estimate->coverage);
    }
    return quote;
}

bool PortfolioRefresh::start(std::vector<Text> codes, Done done)
{
    if (m_running.exchange(true))
        return false;
    wait(); // the threads of the refresh before, finished or finishing

    {
        std::lock_guard lock(m_mutex);
        m_codes = std::move(codes);
        m_next = 0;
        m_left = int(m_codes.size());
        m_quotes.clear();
        m_done = std::move(done);
    }
    m_peak = 0;
    if (m_left == 0) {
        m_running = false;
        if (m_done)
            m_done({});
        return true;
    }
    const int workers = std::min<int>(kMaxWorkers, m_left);
    for (int i = 0; i < workers; ++i)
        m_threads.emplace_back([this] { work(); });
    return true;
}

void PortfolioRefresh::work()
{
    const int now = ++m_active;
    for (int peak = m_peak.load(); now > peak && !m_peak.compare_exchange_weak(peak, now);) {
    }
    for (;;) {
        Text code;
        {
            std::lock_guard lock(m_mutex);
            if (m_next >= m_codes.size())
                break;
            code = m_codes[m_next++];
        }
        FundQuote quote = fetchFundQuote(m_context, code);
        std::map<Text, FundQuote> finished;
        Done done;
        {
            std::lock_guard lock(m_mutex);
            m_quotes[code] = std::move(quote);
            if (--m_left == 0) {
                finished = std::move(m_quotes);
                done = std::move(m_done);
            }
        }
        if (done) {
            --m_active;
            // Cleared before the call so that `done` may start the next refresh.
            m_running = false;
            done(std::move(finished));
            return;
        }
    }
    --m_active;
}

void PortfolioRefresh::wait()
{
    std::vector<std::thread> threads;
    threads.swap(m_threads);
    for (std::thread& t : threads)
        if (t.joinable() && t.get_id() != std::this_thread::get_id())
            t.join();
        else if (t.joinable())
            t.detach();
}

} // namespace fw
