#include "funds/EstimateRecord.h"

#include "funds/FundPageSummary.h"
#include "funds/PortfolioRefresh.h"
#include "net/ServiceHosts.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include <algorithm>
#include <filesystem>
#include <set>

namespace fw {

using namespace ledger;

std::vector<EstimateFund> loggedFunds(const std::vector<WatchEntry>& watchlist, const std::vector<Trade>& trades)
{
    std::vector<EstimateFund> out;
    std::set<Text> seen;
    for (const WatchEntry& e : watchlist)
        if (e.isFund() && seen.insert(e.code).second)
            out.push_back({e.code, e.name});
    for (const Trade& t : trades)
        if (seen.insert(t.code).second)
            out.push_back({t.code, {}});
    return out;
}

RecordOutcome recordEstimates(LedgerDatabase& db, std::vector<EstimateFund> funds, std::time_t now,
                              const HttpRequestOptions& request)
{
    RecordOutcome out;
    out.funds = int(funds.size());
    for (EstimateFund& f : funds) {
        if (!f.name.empty() || request.load.cancelled())
            continue;
        HttpRequestOptions options = request;
        f.name = fundPageName(HttpClient().fetch(serviceHosts().url(HostRole::FundList, FundPageSummary::path(f.code)), options));
    }
    const Day today = chinaTime(now).day;
    const Day usSession = lastUsSession(now);
    std::vector<LoggedEstimate> log;
    for (const FetchedEstimateInputs& fetched : fetchEstimateInputs(funds, request)) {
        std::vector<LoggedEstimate> fund;
        if (fetched.inputs)
            fund = estimatesToLog(fetched.fundCode, *fetched.inputs, today, usSession);
        if (fund.empty()) {
            out.failures.push_back(fetched.fundCode + ": "
                                   + (fetched.failure.empty() ? Text("no model applies") : fetched.failure));
            continue;
        }
        ++out.estimated;
        log.insert(log.end(), fund.begin(), fund.end());
    }
    if (request.load.cancelled())
        return out;
    const int stored = db.logEstimates(log);
    if (stored < 0) {
        out.writeFailed = true;
        out.failures.push_back(Text(db.failure()));
        return out;
    }
    out.stored = stored;
    return out;
}

NavMatchOutcome matchLoggedNavs(LedgerDatabase& db, NavCache& cache, const HttpRequestOptions& request,
                                const NavUpdate& update)
{
    NavMatchOutcome out;
    for (const auto& [code, from] : db.pendingNavDays()) {
        if (request.load.cancelled())
            break;
        ++out.funds;
        if (update) {
            const Text why = update(request, cache, code, from);
            if (!why.empty()) {
                ++out.failedFunds;
                out.failures.push_back(why);
                continue;
            }
        }
        const int matched = db.storeNavChanges(code, cache.rows(code));
        if (matched < 0) {
            out.writeFailed = true;
            out.failures.push_back(Text(code) + ": " + db.failure());
            break;
        }
        out.matched += matched;
    }
    return out;
}

ModelAccuracy FundAccuracy::shown() const
{
    const auto it = errors.find(chosen);
    if (it != errors.end())
        return it->second;
    ModelAccuracy none;
    none.model = chosen;
    return none;
}

std::vector<FundAccuracy> fundAccuracies(const std::vector<LoggedEstimate>& log)
{
    std::vector<FundAccuracy> out;
    // The log comes by fund, model and day.
    for (size_t i = 0; i < log.size();) {
        size_t end = i;
        std::vector<EstimateModel> models;
        while (end < log.size() && log[end].code == log[i].code) {
            const EstimateModel m = EstimateModel(log[end].model);
            if (std::find(models.begin(), models.end(), m) == models.end())
                models.push_back(m);
            ++end;
        }
        std::sort(models.begin(), models.end());
        FundAccuracy fund;
        fund.code = log[i].code;
        fund.errors = accuracyByModel(std::vector<LoggedEstimate>(log.begin() + long(i), log.begin() + long(end)));
        fund.chosen = preferredModel(models, fund.errors).value_or(EstimateModel::Holdings);
        out.push_back(std::move(fund));
        i = end;
    }
    return out;
}

ModelErrors loggedErrors(const std::string& dataDir, const std::string& code)
{
    return loggedErrors(dataDir, std::vector<std::string> {code}).front();
}

std::vector<ModelErrors> loggedErrors(const std::string& dataDir, const std::vector<std::string>& codes)
{
    std::vector<ModelErrors> out(codes.size());
    std::error_code missing;
    LedgerDatabase db;
    if (dataDir.empty() || codes.empty() || !std::filesystem::exists(ledgerFilePath(dataDir), missing)
        || !db.open(ledgerFilePath(dataDir)))
        return out;
    for (size_t k = 0; k < codes.size(); ++k)
        out[k] = accuracyByModel(db.estimateLog(codes[k]));
    return out;
}

const std::vector<Text>& accuracyHeader()
{
    static const std::vector<Text> header {gbk("基金代码"), gbk("模型"), gbk("天数"), gbk("平均误差"), gbk("最大误差")};
    return header;
}

std::vector<Text> accuracyTexts(const FundAccuracy& fund)
{
    const ModelAccuracy a = fund.shown();
    auto error = [&a](double value) { return a.days > 0 ? roundedText(value, 2) + "%" : Text("--"); };
    return {fund.code, modelShortName(fund.chosen), intText(a.days), error(a.meanError), error(a.largestMiss)};
}

std::vector<FundAccuracy> loadAccuracies(const std::string& dataDir, const HttpRequestOptions& request,
                                         Text& failure)
{
    const std::string path = ledgerFilePath(dataDir);
    std::error_code missing;
    if (dataDir.empty() || !std::filesystem::exists(path, missing))
        return {};
    LedgerDatabase db;
    if (!db.open(path)) {
        failure = Text(db.failure());
        return {};
    }
    NavCache cache;
    if (cache.open(navCacheFilePath(dataDir))) {
        const NavMatchOutcome matched = matchLoggedNavs(db, cache, request);
        if (!matched.failures.empty())
            failure = matched.failures.front();
    }
    return fundAccuracies(db.estimateLog());
}

EstimateRecorder::EstimateRecorder(std::string dataDir, Clock clock)
    : m_dataDir(std::move(dataDir)), m_clock(std::move(clock))
{
}

EstimateRecorder::~EstimateRecorder()
{
    cancel();
    m_pool.letGo();
}

bool EstimateRecorder::running() const { return m_run && !m_run->finished.load(); }

Day EstimateRecorder::recordedDay() const
{
    return std::max(m_recordedDay, m_run ? m_run->succeeded.load() : Day(0));
}

void EstimateRecorder::cancel()
{
    m_load.cancel();
    m_pool.close();
}

bool EstimateRecorder::tick(const Text& storedWatchlist, const HttpRequestOptions& request)
{
    const std::time_t now = m_clock ? m_clock() : std::time(nullptr);
    const ChinaTime china = chinaTime(now);
    m_recordedDay = recordedDay();
    if (m_dataDir.empty() || !inRecordWindow(china) || m_recordedDay == china.day || running())
        return false;
    m_pool.reap(false);
    auto run = std::make_shared<Run>();
    HttpRequestOptions options = request;
    options.load = m_load.begin();
    // The job holds nothing of this object's: it may outlive it.
    const std::string path = ledgerFilePath(m_dataDir), cachePath = navCacheFilePath(m_dataDir);
    const std::vector<WatchEntry> watchlist = readWatchlist(storedWatchlist);
    m_run = run;
    const bool started = m_pool.start(1, 1, [run, path, cachePath, watchlist, options, now](int) {
        std::error_code missing;
        LedgerDatabase db;
        // The window's ledger makes the database at start; without one there is nowhere to log.
        if (!options.load.cancelled() && std::filesystem::exists(path, missing) && db.open(path)) {
            const RecordOutcome outcome = recordEstimates(db, loggedFunds(watchlist, db.trades()), now, options);
            NavCache cache;
            if (!options.load.cancelled() && cache.open(cachePath))
                matchLoggedNavs(db, cache, options);
            if (!outcome.writeFailed && !options.load.cancelled() && (outcome.estimated > 0 || outcome.funds == 0))
                run->succeeded = chinaTime(now).day;
        }
        run->finished = true;
    });
    if (!started)
        run->finished = true;
    return started;
}

} // namespace fw
