// estimate --record and --accuracy: the day's estimates of the watchlist's and
// the ledger's funds logged in fundwatch.db, and the errors they made.
#include "cli/Commands.h"

#include "funds/EstimateRecord.h"
#include "funds/LedgerStart.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include <filesystem>

namespace fw::cli {

using namespace ledger;

namespace {

const char* modelKey(EstimateModel model)
{
    switch (model) {
    case EstimateModel::Feeder: return "feeder";
    case EstimateModel::Index: return "index";
    case EstimateModel::Holdings: break;
    }
    return "holdings";
}

Json errorJson(const ModelAccuracy& a, double value)
{
    return a.days > 0 ? Json(unitsValue(roundedUnits(value, 4), 4)) : Json(nullptr);
}
Json accuracyJson(const ModelAccuracy& a)
{
    return {{"model", modelKey(a.model)},
            {"days", a.days},
            {"meanError", errorJson(a, a.meanError)},
            {"largestMiss", errorJson(a, a.largestMiss)}};
}

// The NAV changes the log waits for, fetched and stored. False (said why)
// when a write failed or no waiting fund's history could be fetched.
bool matchNavs(CliSession& s, LedgerDatabase& db)
{
    NavCache cache;
    if (!cache.open(navCacheFilePath(s.dataDir))) {
        s.error("净值缓存无法打开：" + cache.failure());
        return false;
    }
    const NavMatchOutcome outcome = matchLoggedNavs(db, cache, s.context.requestOptions());
    for (const Text& why : outcome.failures)
        s.errorGbk(why);
    if (outcome.writeFailed)
        return false;
    return outcome.failedFunds == 0 || outcome.failedFunds < outcome.funds;
}

int accuracy(CliSession& s)
{
    std::error_code missing;
    std::vector<FundAccuracy> funds;
    bool matched = true;
    if (!s.dataDir.empty() && std::filesystem::exists(ledgerFilePath(s.dataDir), missing)) {
        LedgerDatabase db;
        if (!db.open(ledgerFilePath(s.dataDir))) {
            s.errorGbk(ledgerOpenFailureText(db.failure()));
            return kExitFailed;
        }
        matched = matchNavs(s, db);
        if (cancelRequested())
            return kExitInterrupted;
        funds = fundAccuracies(db.estimateLog());
    }

    if (outputFormat(s) == OutputFormat::Json) {
        Json rows = Json::array();
        for (const FundAccuracy& f : funds) {
            Json row = accuracyJson(f.shown());
            Json models = Json::array();
            for (const auto& entry : f.errors)
                models.push_back(accuracyJson(entry.second));
            rows.push_back({{"code", f.code}, {"model", row["model"]}, {"days", row["days"]},
                            {"meanError", row["meanError"]}, {"largestMiss", row["largestMiss"]},
                            {"models", models}});
        }
        s.io.out << Json({{"funds", rows}}).dump(2) << '\n';
    } else {
        TextTable table;
        for (const Text& name : accuracyHeader())
            table.header.push_back(gbkToUtf8(name));
        table.rightAligned = {false, false, true, true, true};
        for (const FundAccuracy& f : funds) {
            TableRow row;
            for (const Text& text : accuracyTexts(f))
                row.push_back({gbkToUtf8(text)});
            table.rows.push_back(std::move(row));
        }
        writeTable(s, table, funds.empty() ? "尚未记录估算" : "估算准确度（最近 20 个有净值的交易日）");
    }
    return matched ? kExitDone : kExitFailed;
}

std::string clockText(ChinaTime t)
{
    char hhmm[6] = {char('0' + t.minute / 600), char('0' + t.minute / 60 % 10), ':', char('0' + t.minute % 60 / 10),
                    char('0' + t.minute % 10), 0};
    return dayText(t.day) + " " + hhmm;
}

int record(CliSession& s)
{
    const std::time_t now = cliNow();
    const ChinaTime china = chinaTime(now);
    if (!inRecordWindow(china)) {
        s.error("估算只在交易日 14:55 至 15:05（北京时间）之间记录；现在是 " + clockText(china) + "，没有记录");
        return kExitNotNow;
    }
    LedgerDatabase db;
    if (!openLedger(db, s.dataDir, s.config, china.day)) {
        s.errorGbk(ledgerOpenFailureText(db.failure()));
        return kExitFailed;
    }
    if (!db.dailyCopy(china.day))
        s.error("持仓数据库今日的副本没有做成：" + db.failure());
    const std::vector<EstimateFund> funds = loggedFunds(readWatchlist(storedWatchlist(s.config)), db.trades());
    const RecordOutcome outcome = recordEstimates(db, funds, now, s.context.requestOptions());
    if (cancelRequested())
        return kExitInterrupted;
    for (const Text& why : outcome.failures)
        s.errorGbk(why);
    if (outcome.writeFailed)
        return kExitFailed;
    if (funds.empty())
        s.io.out << "自选和持仓中没有基金，没有可记录的估算\n";
    else if (outcome.stored == 0 && outcome.estimated > 0)
        s.io.out << "今日的估算已经记录过，没有新增\n";
    else
        s.io.out << "已记录 " << outcome.stored << " 个估算（" << outcome.estimated << "/" << outcome.funds
                 << " 只基金）\n";
    // The changes published since the last record.
    const bool matched = matchNavs(s, db);
    if (cancelRequested())
        return kExitInterrupted;
    return matched && (funds.empty() || outcome.estimated > 0) ? kExitDone : kExitFailed;
}

} // namespace

int runEstimateLog(CliSession& s)
{
    return s.options.record ? record(s) : accuracy(s);
}

} // namespace fw::cli
