#include "funds/EstimateFetch.h"

#include "funds/HoldingsWorker.h"
#include "funds/RowPool.h"
#include "net/EventPump.h"
#include "net/ServiceHosts.h"
#include "text/CodePage.h"
#include "text/TextOps.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <thread>

namespace fw {

namespace {

Text mobileQuery(std::string_view fundCode)
{
    return "?FCODE=" + Text(fundCode) + "&deviceid=Wap&plat=Wap&product=EFund&version=2.0.0&DATE=";
}

Text codeOf(std::string_view id)
{
    const size_t dot = id.find('.');
    return Text(dot == std::string_view::npos ? id : id.substr(dot + 1));
}

// One answer of the mobile fund API, as GBK, and how its fetch ended.
struct Answer {
    Text text;
    Text failure; // the fetch's status when it failed
};

Answer fetchMobile(std::string_view path, const HttpRequestOptions& base, const RetryPolicy* retry)
{
    HttpRequestOptions options = base;
    // JSON in UTF-8: the body names no charset of its own.
    Answer out;
    out.text = utf8ToGbk(fetchMaybeRetrying(serviceHosts().url(HostRole::MobileFundApi, path), options, retry));
    if (!fetchSucceeded(options))
        out.failure = options.status.empty() ? Text("no answer") : options.status;
    return out;
}

// The positions and the asset mix of a fund, read; the inputs without their
// quotes, or why there are none.
FetchedEstimateInputs readAnswers(const EstimateFund& fund, const Answer& positions, const Answer& mix,
                                  const HttpRequestOptions& base)
{
    FetchedEstimateInputs out;
    out.fundCode = fund.code;
    if (base.load.cancelled()) {
        out.failure = "cancelled";
        return out;
    }
    if (!positions.failure.empty()) {
        out.failure = "positions: " + positions.failure;
        return out;
    }
    std::optional<FundPositions> read = readFundPositions(positions.text);
    if (!read) {
        out.failure = "positions: not a holdings answer";
        return out;
    }
    if (!mix.failure.empty()) {
        out.failure = "asset mix: " + mix.failure;
        return out;
    }
    EstimateInputs inputs;
    inputs.fundName = fund.name;
    inputs.positions = std::move(*read);
    // A fund that discloses no asset mix has no stock share: each model then
    // takes its own stand-in.
    if (const std::optional<AssetMix> assets = readAssetMix(mix.text))
        inputs.stockShare = assets->stocks;
    if (estimateQuoteIds(inputs.positions, fund.name).empty()) {
        out.failure = "no stocks, target fund or index to estimate from";
        return out;
    }
    out.inputs = std::move(inputs);
    return out;
}

// Gives each fund the changes of its identifiers; a fund any of whose
// identifiers was in a failed request fails with that request's status.
void attachQuotes(FetchedEstimateInputs& fetched, const QuoteChanges& changes, const std::vector<QuoteFailure>& failed)
{
    if (!fetched.inputs)
        return;
    EstimateInputs& in = *fetched.inputs;
    for (const Text& id : estimateQuoteIds(in.positions, in.fundName)) {
        for (const QuoteFailure& f : failed) {
            if (f.id == id) {
                fetched.failure = "quotes: " + f.status;
                fetched.inputs.reset();
                return;
            }
        }
        if (const auto it = changes.find(id); it != changes.end())
            in.changes[id] = it->second;
    }
}

// Runs jobs 1..count on up to kEstimateWorkers threads of a row pool and
// waits for them; on the calling thread when no thread can be had.
void runOnWorkers(int count, const std::function<void(int)>& job)
{
    if (count <= 0)
        return;
    RowPool pool;
    if (!pool.start(count, std::min(kEstimateWorkers, count), job)) {
        for (int row = 1; row <= count; ++row)
            job(row);
        return;
    }
    while (!pool.finished())
        pool.waitFor(std::chrono::milliseconds(200), [] { return false; });
}

} // namespace

Text positionsPath(std::string_view fundCode) { return "/FundMNewApi/FundMNInverstPosition" + mobileQuery(fundCode); }

Text assetMixPath(std::string_view fundCode) { return "/FundMNewApi/FundMNAssetAllocationNew" + mobileQuery(fundCode); }

std::vector<Text> estimateQuoteIds(const FundPositions& positions, std::string_view gbkFundName)
{
    std::vector<Text> ids;
    auto add = [&ids](const Text& id) {
        if (!id.empty() && std::find(ids.begin(), ids.end(), id) == ids.end())
            ids.push_back(id);
    };
    add(positions.targetQuoteId);
    for (const ListedHolding& h : positions.stocks)
        add(h.quoteId);
    if (const IndexEntry* index = indexForFundName(gbkFundName))
        add(index->quoteId);
    return ids;
}

std::vector<std::vector<Text>> quoteRequests(const std::vector<Text>& ids)
{
    std::vector<std::vector<Text>> requests;
    std::vector<std::set<Text>> codes; // of each request
    for (const Text& id : ids) {
        const Text code = codeOf(id);
        size_t k = 0;
        while (k < requests.size() && (requests[k].size() >= kQuotesPerRequest || codes[k].count(code)))
            ++k;
        if (k == requests.size()) {
            requests.emplace_back();
            codes.emplace_back();
        }
        requests[k].push_back(id);
        codes[k].insert(code);
    }
    return requests;
}

QuoteChanges fetchQuoteChanges(const std::vector<Text>& ids, const HttpRequestOptions& base, const RetryPolicy* retry,
                               std::vector<QuoteFailure>* failed)
{
    QuoteChanges changes;
    for (const std::vector<Text>& request : quoteRequests(ids)) {
        Text failure;
        Text list;
        for (const Text& id : request)
            list += (list.empty() ? "" : ",") + id;
        const std::map<Text, StockQuote> quotes = fetchQuotes(list, base, retry, &failure);
        for (const Text& id : request) {
            if (!failure.empty()) {
                if (failed)
                    failed->push_back({id, failure});
                continue;
            }
            // Answered by code alone; the request holds one identifier of each code.
            const auto it = quotes.find(codeOf(id));
            if (it != quotes.end() && it->second.change)
                changes[id] = *it->second.change;
        }
    }
    return changes;
}

FetchedEstimateInputs fetchEstimateAnswers(const EstimateFund& fund, const HttpRequestOptions& base,
                                           const RetryPolicy* retry)
{
    Answer positions, mix;
    // A bulk row asks for one answer at a time, as every row does.
    if (isUiThread() || RowPool::onBulkRow()) {
        positions = fetchMobile(positionsPath(fund.code), base, retry);
        mix = fetchMobile(assetMixPath(fund.code), base, retry);
    } else {
        std::thread other([&] { mix = fetchMobile(assetMixPath(fund.code), base, retry); });
        positions = fetchMobile(positionsPath(fund.code), base, retry);
        other.join();
    }
    return readAnswers(fund, positions, mix, base);
}

FetchedEstimateInputs fetchEstimateInputs(const EstimateFund& fund, const HttpRequestOptions& base,
                                          const RetryPolicy* retry)
{
    FetchedEstimateInputs out = fetchEstimateAnswers(fund, base, retry);
    if (!out.inputs)
        return out;
    std::vector<QuoteFailure> failed;
    const QuoteChanges changes =
        fetchQuoteChanges(estimateQuoteIds(out.inputs->positions, fund.name), base, retry, &failed);
    attachQuotes(out, changes, failed);
    return out;
}

std::vector<FetchedEstimateInputs> fetchEstimateInputs(const std::vector<EstimateFund>& funds,
                                                       const HttpRequestOptions& base, const RetryPolicy* retry)
{
    // Job 2k+1 fetches fund k's positions, job 2k+2 its asset mix.
    std::vector<Answer> positions(funds.size()), mixes(funds.size());
    runOnWorkers(int(funds.size() * 2), [&](int job) {
        const size_t k = size_t(job - 1) / 2;
        if (base.load.cancelled())
            return;
        if (job % 2 == 1)
            positions[k] = fetchMobile(positionsPath(funds[k].code), base, retry);
        else
            mixes[k] = fetchMobile(assetMixPath(funds[k].code), base, retry);
    });
    std::vector<FetchedEstimateInputs> out;
    std::vector<Text> ids;
    std::set<Text> seen;
    for (size_t k = 0; k < funds.size(); ++k) {
        out.push_back(readAnswers(funds[k], positions[k], mixes[k], base));
        if (!out.back().inputs)
            continue;
        for (Text& id : estimateQuoteIds(out.back().inputs->positions, funds[k].name)) {
            if (seen.insert(id).second)
                ids.push_back(std::move(id));
        }
    }

    // Each identifier once, whichever funds hold it.
    const std::vector<std::vector<Text>> requests = quoteRequests(ids);
    QuoteChanges changes;
    std::vector<QuoteFailure> failed;
    std::mutex mutex;
    runOnWorkers(int(requests.size()), [&](int job) {
        if (base.load.cancelled())
            return;
        std::vector<QuoteFailure> ownFailed;
        const QuoteChanges own = fetchQuoteChanges(requests[size_t(job - 1)], base, retry, &ownFailed);
        std::lock_guard lock(mutex);
        changes.insert(own.begin(), own.end());
        failed.insert(failed.end(), ownFailed.begin(), ownFailed.end());
    });
    for (FetchedEstimateInputs& fetched : out) {
        if (fetched.inputs && base.load.cancelled()) {
            fetched.inputs.reset();
            fetched.failure = "cancelled";
        }
        attachQuotes(fetched, changes, failed);
    }
    return out;
}

} // namespace fw
