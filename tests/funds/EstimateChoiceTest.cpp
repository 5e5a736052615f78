// The estimate the logged errors choose, against the sample service over real
// sockets with fundwatch.db in the world's data directory: under the holdings
// grid, in the portfolio, in a bulk estimate and at the end of the day's
// curve. The errors are worked out by hand from the days logged
// (EstimateChoiceSupport.h), the estimates from the market's own figures.
#include "funds/EstimateRecord.h"
#include "funds/HoldingsEstimate.h"
#include "funds/IntradayFetch.h"
#include "funds/IntradayLoad.h"
#include "funds/Ledger.h"
#include "funds/LedgerBook.h"
#include "funds/PortfolioRefresh.h"
#include "tests/funds/EstimateChoiceSupport.h"
#include "tests/funds/FundsTestSupport.h"
#include "text/NumberText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <set>

namespace fw::test {
namespace {

std::string shownLine(FeatureWorld& w, const sample::Fund& f)
{
    HoldingsWorker {w.context, f.code, utf8ToGbk(f.name)}();
    return gbkToUtf8(w.models.view.caption(Control::HoldingsEstimate));
}

std::set<std::string> filesIn(const std::string& dir)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

// Over 20 days each the holdings model misses by 0.10 on average and the
// index model by 0.30: the holdings model is shown, with ±0.10%, wherever
// the program shows an estimate.
TEST(EstimateChoice, TheSmallerErrorOverTwentyDaysChoosesTheModelEverywhere)
{
    FeatureWorld w(smallMarket(600));
    const TwoModelFund pick = twoModelFund(w.service->market());
    ASSERT_TRUE(pick.fund);
    const sample::Fund& f = *pick.fund;
    ASSERT_TRUE(logIndexAndHoldings(w.dir.path(), f.code));

    // Under the holdings grid.
    EXPECT_EQ(shownLine(w, f), expectedLine(pick, EstimateModel::Holdings, "±0.10%"));

    // In the portfolio (and the ledger, which looks funds up the same way).
    const FundQuote quote = fetchFundQuote(w.context, f.code);
    ASSERT_TRUE(quote.estimatePercent);
    EXPECT_NEAR(*quote.estimatePercent, pick.holdings, 1e-9);
    EXPECT_EQ(gbkToUtf8(quote.coverage), "覆盖 " + gbkToUtf8(estimateCoverageText(pick.coverage)) + "，误差 ±0.10%");
    ASSERT_TRUE(quote.estimateError);
    EXPECT_NEAR(*quote.estimateError, 0.10, 1e-9);
    const FundQuote ledgerQuote = ledger::lookUpFund(HttpRequestOptions {}, f.code, w.dir.path());
    EXPECT_EQ(ledgerQuote.coverage, quote.coverage);

    const Text name = utf8ToGbk(f.name);
    // The day's curve goes by the same model and ends on the estimate.
    const FundCurve curve = fetchFundCurve(f.code, name, HttpRequestOptions {}, w.dir.path());
    ASSERT_TRUE(curve.ok()) << curve.failure;
    EXPECT_EQ(curve.curve.model, EstimateModel::Holdings);
    ASSERT_TRUE(curve.estimate);
    EXPECT_EQ(roundedUnits(curve.curve.points.back().change, 2), roundedUnits(pick.holdings, 2));
    // So does each fund's curve in the portfolio's day.
    const PortfolioDay day = fetchPortfolioDay({{f.code, 1000}}, HttpRequestOptions {}, w.dir.path());
    ASSERT_EQ(day.funds.size(), 1u);
    EXPECT_EQ(day.funds[0].curve.model, EstimateModel::Holdings);
}

// The window's workers, the portfolio's refresh and the 今日 view's load,
// find the log through the context's data directory.
TEST(EstimateChoice, TheWindowsWorkersFindTheLogInTheDataDirectory)
{
    FeatureWorld w(smallMarket(600));
    const TwoModelFund pick = twoModelFund(w.service->market());
    ASSERT_TRUE(pick.fund);
    const std::string code = pick.fund->code;
    ASSERT_TRUE(logIndexAndHoldings(w.dir.path(), code));

    PortfolioRefresh refresh(w.context);
    std::promise<std::map<Text, FundQuote>> quotes;
    ASSERT_TRUE(refresh.start({code}, [&](std::map<Text, FundQuote> q) { quotes.set_value(std::move(q)); }));
    const std::map<Text, FundQuote> got = quotes.get_future().get();
    refresh.wait();
    ASSERT_EQ(got.count(code), 1u);
    EXPECT_EQ(gbkToUtf8(got.at(code).coverage), "覆盖 " + gbkToUtf8(estimateCoverageText(pick.coverage)) + "，误差 ±0.10%");

    IntradayLoad load(w.context);
    std::promise<EstimateModel> model;
    load.loadFund(code, utf8ToGbk(pick.fund->name), [&](std::shared_ptr<const IntradayDay> day) {
        const FundCurve* fund = std::get_if<FundCurve>(day.get());
        model.set_value(fund && fund->ok() ? fund->curve.model : EstimateModel::Feeder);
    });
    EXPECT_EQ(model.get_future().get(), EstimateModel::Holdings);
    load.wait();
}

// The ledger's 今日估算收益 takes the estimate the logged errors choose: 1000
// shares at the stored unit value 1.5000 are worth 1500.00 yuan, times the
// holdings model's change.
TEST(EstimateChoice, TheLedgersTodayGainTakesTheChosenEstimate)
{
    FeatureWorld w(smallMarket(600));
    const TwoModelFund pick = twoModelFund(w.service->market());
    ASSERT_TRUE(pick.fund);
    const std::string code = pick.fund->code;
    ASSERT_TRUE(logIndexAndHoldings(w.dir.path(), code));
    const ledger::Day friday = ledger::dayFromCivil(2026, 12, 4);
    {
        ledger::LedgerDatabase db;
        ASSERT_TRUE(db.open(ledger::ledgerFilePath(w.dir.path())));
        ASSERT_TRUE(db.addTrade(ledger::reconcileTrade("默认", code, 100000, 150000, friday - 7)));
        ledger::NavCache cache;
        ASSERT_TRUE(cache.open(ledger::navCacheFilePath(w.dir.path())));
        ledger::NavRow row;
        row.day = friday;
        row.unitValue = 15000;
        ASSERT_TRUE(cache.store(code, {row}));
    }
    ledger::RefreshJob job;
    job.dataDir = w.dir.path();
    job.now = {friday, 20 * 60};
    job.fundLookup = ledger::lookUpFund;
    const ledger::LedgerSnapshot snap = ledger::computeLedger(job);
    ASSERT_EQ(snap.failure, "");
    ASSERT_EQ(snap.result.positions.size(), 1u);
    EXPECT_EQ(snap.result.positions[0].figures.marketValue, 150000);
    ASSERT_EQ(snap.todayGains.size(), 1u);
    ASSERT_TRUE(snap.todayGains[0]);
    EXPECT_EQ(*snap.todayGains[0], std::llround(150000 * pick.holdings / 100));
}

// A day short of 20 the holdings model's smaller error does not count yet:
// the index model, first in the order, is shown with its own error.
TEST(EstimateChoice, UntilTwentyDaysTheOrderHoldsAndTheFirstModelShowsItsError)
{
    FeatureWorld w(smallMarket(600));
    const TwoModelFund pick = twoModelFund(w.service->market());
    ASSERT_TRUE(pick.fund);
    ASSERT_TRUE(logIndexAndHoldings(w.dir.path(), pick.fund->code, 19));
    EXPECT_EQ(shownLine(w, *pick.fund), expectedLine(pick, EstimateModel::Index, "±0.30%"));
    const FundQuote quote = fetchFundQuote(w.context, pick.fund->code);
    ASSERT_TRUE(quote.estimatePercent);
    EXPECT_NEAR(*quote.estimatePercent, pick.index, 1e-9);
    EXPECT_EQ(gbkToUtf8(quote.coverage), "指数估算，误差 ±0.30%");
    const FundCurve curve = fetchFundCurve(pick.fund->code, "", HttpRequestOptions {}, w.dir.path());
    ASSERT_TRUE(curve.ok()) << curve.failure;
    EXPECT_EQ(curve.curve.model, EstimateModel::Index);
}

// fundwatch.db of garbage bytes: the estimate is shown as if nothing were
// logged, and the file and the directory stay exactly as they were.
TEST(EstimateChoice, AnUnreadableLogGivesTheEstimateWithoutAnErrorAndIsLeftAlone)
{
    FeatureWorld w(smallMarket(600));
    const TwoModelFund pick = twoModelFund(w.service->market());
    ASSERT_TRUE(pick.fund);
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.push_back(char((i * 37 + 11) % 251));
    const std::string path = ledger::ledgerFilePath(w.dir.path());
    std::ofstream(path, std::ios::binary) << garbage;
    const std::set<std::string> before = filesIn(w.dir.path());

    EXPECT_TRUE(loggedErrors(w.dir.path(), pick.fund->code).empty());
    EXPECT_EQ(shownLine(w, *pick.fund), expectedLine(pick, EstimateModel::Index, ""));
    const FundQuote quote = fetchFundQuote(w.context, pick.fund->code);
    ASSERT_TRUE(quote.estimatePercent);
    EXPECT_NEAR(*quote.estimatePercent, pick.index, 1e-9);
    EXPECT_EQ(gbkToUtf8(quote.coverage), "指数估算");

    EXPECT_EQ(readBytes(path), garbage);
    EXPECT_EQ(filesIn(w.dir.path()), before);
}

} // namespace
} // namespace fw::test
