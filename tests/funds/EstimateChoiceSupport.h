#pragma once
// The estimate shown as the logged errors choose it: a fund's estimate log
// written through the ledger database's own API (each error known by hand),
// and a sample fund two models apply to with both its estimates worked out
// from the market's own figures.
#include "funds/HoldingsEstimate.h"
#include "sample/Market.h"
#include "text/CodePage.h"
#include "store/LedgerDatabase.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace fw::test {

inline constexpr int kIndexModel = 1, kHoldingsModel = 2;

// Logs into fundwatch.db in `dataDir` (made when missing) 20 weekdays from
// 2026-11-02 on, the NAV change of the i-th 0.50 % + i × 0.10 %: the index
// model misses it by 0.25 and 0.35 in turn (mean 0.30), the holdings model on
// its first `holdingsDays` by 0.05 and 0.15 (mean 0.10 over 20), so over 20
// days the holdings model's smaller error chooses it, and a day short the
// order of the models still holds. False when something was not stored.
[[nodiscard]] inline bool logIndexAndHoldings(const std::string& dataDir, const std::string& code,
                                             int holdingsDays = 20)
{
    ledger::LedgerDatabase db;
    if (!db.open(ledger::ledgerFilePath(dataDir)))
        return false;
    std::vector<ledger::LoggedEstimate> log;
    std::vector<ledger::NavRow> rows;
    ledger::Day day = ledger::dayFromCivil(2026, 11, 2);
    for (int i = 0; i < 20; ++i, ++day) {
        while (ledger::weekdayOf(day) >= 5)
            ++day;
        const int64_t nav = 5000 + 1000 * i;
        const int64_t misses[][2] = {{2500, -3500}, {-500, 1500}};
        for (int model : {kIndexModel, kHoldingsModel})
            if (model == kIndexModel || i < holdingsDays)
                log.push_back({day, code, model, nav + misses[model - 1][i % 2], std::nullopt, std::nullopt});
        ledger::NavRow row;
        row.day = day;
        row.unitValue = 10000;
        row.changePercent = nav;
        rows.push_back(row);
    }
    return db.logEstimates(log) == int(log.size()) && db.storeNavChanges(code, rows) == int(log.size());
}

// An index fund that lists its holdings, so both the index model and the
// holdings model apply, with both estimates from the market: the index's
// change × GP, and GP × the share-weighted mean change of the holdings not
// suspended (their shares summed: the coverage).
struct TwoModelFund {
    const sample::Fund* fund = nullptr;
    double index = 0, holdings = 0, coverage = 0;
    bool lowCoverage = false;
};

// The first such fund of the market, or of `among` (codes) when given.
inline TwoModelFund twoModelFund(const sample::Market& m, const std::vector<std::string>& among = {})
{
    for (const sample::Fund& f : m.funds()) {
        const int x = m.trackedIndex(f);
        if (f.target >= 0 || x < 0 || m.holdingQuarters(f) == 0
            || (!among.empty() && std::find(among.begin(), among.end(), f.code) == among.end()))
            continue;
        const double gp = m.assetMix(f, 0).stocks;
        double weighted = 0, covered = 0, listed = 0;
        for (const sample::Holding& h : m.holdings(f, 0)) {
            const sample::Stock& s = m.stocks()[size_t(h.stock)];
            listed += h.share;
            if (!s.suspended) {
                weighted += h.share * s.change;
                covered += h.share;
            }
        }
        if (!(covered > 0))
            continue;
        TwoModelFund out {&f, gp * m.indexes()[size_t(x)].change / 100.0, gp / 100.0 * weighted / covered, covered,
                          covered < 0.7 * listed};
        // Far enough apart that the shown figure tells the models apart.
        if (std::abs(out.index - out.holdings) >= 0.05)
            return out;
    }
    return {};
}

// The line under the holdings grid, worked out: the model, the change, and in
// brackets the coverage (holdings) and the error.
inline std::string expectedLine(const TwoModelFund& pick, EstimateModel model, const std::string& error)
{
    if (model == EstimateModel::Index)
        return "指数估算 " + gbkToUtf8(estimateChangeText(pick.index)) + (error.empty() ? "" : "（误差 " + error + "）");
    return "持仓估算 " + gbkToUtf8(estimateChangeText(pick.holdings)) + "（覆盖 "
        + gbkToUtf8(estimateCoverageText(pick.coverage)) + (error.empty() ? "" : "，误差 " + error) + "）"
        + (pick.lowCoverage ? "（低覆盖）" : "");
}

} // namespace fw::test
