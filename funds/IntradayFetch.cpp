#include "funds/IntradayFetch.h"

#include "funds/FundPageSummary.h"
#include "funds/EstimateFetch.h"
#include "funds/EstimateRecord.h"
#include "funds/HoldingsEstimate.h"
#include "funds/NavHistoryFetch.h"
#include "funds/PortfolioRefresh.h"
#include "net/ServiceHosts.h"
#include "store/LedgerRecords.h"
#include "text/CodePage.h"

#include <ctime>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

namespace fw {

Text minuteBarsPath(std::string_view quoteId, std::string_view token)
{
    return "/api/qt/stock/trends2/get?secid=" + Text(quoteId)
        + "&fields1=f1,f2,f3,f4,f5,f6,f7,f8,f9,f10,f11,f12,f13&fields2=f51,f52,f53,f54,f55,f56,f57,f58&ut="
        + Text(token) + "&ndays=1&iscr=0&iscca=0&cb=jQuery35107253918455865032_1765094400000";
}

void runTogether(const std::vector<std::function<void()>>& jobs, int threads)
{
    std::atomic<size_t> next {0};
    auto work = [&] {
        for (size_t i = next++; i < jobs.size(); i = next++)
            jobs[i]();
    };
    const size_t count = std::min(jobs.size(), size_t(std::max(threads, 1)));
    std::vector<std::thread> pool;
    pool.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        try {
            pool.emplace_back(work);
        } catch (const std::system_error&) {
            break; // the threads had so far take every job
        }
    }
    if (pool.empty())
        work();
    for (std::thread& t : pool)
        t.join();
}

BarsById fetchMinuteBars(const HttpRequestOptions& base, const TextList& quoteIds, int threads)
{
    const ServiceHosts& hosts = serviceHosts();
    BarsById out;
    std::mutex mutex;
    std::vector<std::function<void()>> jobs;
    for (const Text& id : quoteIds) {
        jobs.push_back([&, id] {
            HttpRequestOptions options = base;
            // The answer is script text in UTF-8 without a declared charset.
            const Text answer =
                utf8ToGbk(HttpClient().fetch(hosts.url(HostRole::QuoteHistory, minuteBarsPath(id, hosts.quoteToken())), options));
            if (std::optional<MinuteBars> bars = readMinuteBars(answer)) {
                std::lock_guard lock(mutex);
                out[id] = std::move(*bars);
            }
        });
    }
    runTogether(jobs, threads);
    return out;
}

FundCurve fetchFundCurve(std::string_view code, std::string_view gbkName, const HttpRequestOptions& base,
                         const std::string& dataDir)
{
    FundCurve out;
    out.code = Text(code);
    out.name = Text(gbkName);
    const EstimateFund fund {out.code, out.name};
    FetchedEstimateInputs answers;
    std::vector<ledger::NavRow> navRows;
    Text pageName;
    // The NAV history is needed only at the end: it runs beside both steps
    // (joined when this function returns, whichever way).
    auto fetchNav = [&] {
        ledger::NavFetchOutcome outcome;
        const ledger::NavHistoryFetch nav(code, base.timeoutSeconds, nullptr, base.load);
        if (auto page = nav.newestPage(outcome))
            navRows = std::move(page->rows);
    };
    std::jthread navThread;
    try {
        navThread = std::jthread(fetchNav);
    } catch (const std::system_error&) {
        // No thread to be had: fetched at the end instead.
    }
    runTogether({[&] { answers = fetchEstimateAnswers(fund, base); },
                 [&] {
                     if (!fund.name.empty())
                         return;
                     // The page declares its charset: it comes as GBK.
                     HttpRequestOptions options = base;
                     pageName = fundPageName(
                         HttpClient().fetch(serviceHosts().url(HostRole::FundList, FundPageSummary::path(code)), options));
                 }},
                2);
    if (!answers.inputs) {
        out.failure = answers.failure;
        return out;
    }
    if (out.name.empty())
        out.name = pageName;
    EstimateInputs& in = *answers.inputs;
    in.fundName = out.name;
    // The securities of the model the fund's errors choose, the one the
    // estimate shown under the holdings takes, so that the curve ends on it.
    const ModelErrors errors = loggedErrors(dataDir, out.code);
    const TextList ids = curveQuoteIds(in.positions, in.fundName, errors);
    out.quoteIds = ids;
    BarsById bars;
    std::vector<QuoteFailure> failedQuotes;
    runTogether({[&] { bars = fetchMinuteBars(base, ids); },
                 [&] { in.changes = fetchQuoteChanges(ids, base, nullptr, &failedQuotes); }},
                2);
    if (base.load.cancelled()) {
        out.failure = "cancelled";
        return out;
    }
    // Changes of some of the holdings only would make a wrong estimate: without
    // all of them the curve is the bars' alone.
    if (!failedQuotes.empty())
        in.changes.clear();

    if (const std::optional<HoldingsEstimate> shown = shownEstimate(applicableEstimates(in), errors))
        out.estimate = static_cast<const ModelEstimate&>(*shown);
    std::optional<IntradayCurve> curve = curveFromBars(in, bars, out.estimate ? std::optional(out.estimate->model) : std::nullopt);
    if (!curve || curve->points.empty()) {
        out.failure = "no minute bars of the fund's holdings";
        return out;
    }
    out.curve = std::move(*curve);
    out.inputs = in;
    out.inputs.changes.clear();
    if (out.estimate)
        extendCurve(out.curve, out.curve.points.back().minute, out.estimate->change);
    if (navThread.joinable())
        navThread.join();
    else
        fetchNav();
    // The bars' day: the date of the newest bar.
    for (const auto& [id, series] : bars)
        if (!series.bars.empty() && series.bars.back().time.size() >= 10 && series.bars.back().time.substr(0, 10) > out.day)
            out.day = series.bars.back().time.substr(0, 10);
    if (const std::optional<ledger::Day> day = ledger::parseDay(out.day)) {
        ledger::Day before = 0;
        for (const ledger::NavRow& row : navRows) {
            if (row.day == *day && row.changePercent)
                out.navChange = double(*row.changePercent) / 10000.0;
            if (row.day < *day && row.day > before && row.unitValue > 0) {
                before = row.day;
                out.previousUnitValue = double(row.unitValue) / 10000.0;
            }
        }
    }
    return out;
}

PortfolioDay fetchPortfolioDay(const std::vector<HeldFund>& held, const HttpRequestOptions& base,
                               const std::string& dataDir)
{
    PortfolioDay day;
    std::vector<PortfolioFund> funds;
    for (const HeldFund& h : held) {
        if (base.load.cancelled())
            break;
        FundCurve curve = fetchFundCurve(h.code, "", base, dataDir);
        if (curve.ok() && !curve.previousUnitValue)
            curve.failure = "no unit value before the day";
        if (curve.ok()) {
            day.codes.push_back(h.code);
            day.amounts.push_back(h.shares * *curve.previousUnitValue);
        }
        day.funds.push_back(std::move(curve));
    }
    recomputePortfolio(day);
    return day;
}

void recomputePortfolio(PortfolioDay& day)
{
    std::vector<PortfolioFund> funds;
    size_t k = 0;
    for (const FundCurve& f : day.funds)
        if (f.ok() && k < day.codes.size() && f.code == day.codes[k]) {
            funds.push_back({f.code, day.amounts[k], f.curve});
            ++k;
        }
    day.points = portfolioCurve(funds);
}

Text portfolioDayFailure(const PortfolioDay& day)
{
    if (!day.points.empty())
        return {};
    if (day.funds.empty())
        return gbk("没有持仓基金");
    Text out;
    for (const FundCurve& f : day.funds)
        if (!f.ok())
            out += (out.empty() ? Text() : gbk("；")) + f.code + " " + f.failure;
    return out.empty() ? gbk("持仓基金都没有上一交易日的净值") : out;
}

bool extendFromQuotes(FundCurve& fund, const QuoteChanges& changes, int minute)
{
    if (fund.curve.points.empty())
        return false;
    EstimateInputs in = fund.inputs;
    in.changes = changes;
    const std::optional<ModelEstimate> e = estimateBy(fund.curve.model, in);
    if (!e)
        return false;
    std::vector<int> minutes;
    for (const CurvePoint& p : fund.curve.points)
        minutes.push_back(p.minute);
    const std::vector<int> trading = tradingMinutes(needsHongKongHours(minutes));
    const bool tradingMinute = std::binary_search(trading.begin(), trading.end(), minute);
    if (!tradingMinute && minute < fund.curve.points.back().minute)
        return false; // before the open: yesterday's quotes
    if (!extendCurve(fund.curve, tradingMinute ? minute : fund.curve.points.back().minute, e->change))
        return false;
    fund.estimate = e;
    return true;
}

bool refreshFromQuotes(FundCurve& fund, int minute, const HttpRequestOptions& base)
{
    std::vector<QuoteFailure> failed;
    const QuoteChanges changes = fetchQuoteChanges(fund.quoteIds, base, nullptr, &failed);
    if (!failed.empty() || base.load.cancelled())
        return false;
    return extendFromQuotes(fund, changes, minute);
}

} // namespace fw
