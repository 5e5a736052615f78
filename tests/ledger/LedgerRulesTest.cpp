// The ledger's rules against figures worked out by hand; each case writes the
// arithmetic beside its inputs. March 2026: the 2nd, 9th, 16th, 23rd and 30th
// are Mondays.
#include "funds/Ledger.h"
#include "funds/LedgerBook.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace fw::ledger {
namespace {

Day day(const char* text)
{
    const auto d = parseDay(text);
    EXPECT_TRUE(d) << text;
    return d.value_or(0);
}

NavRow row(const char* date, int64_t unit, int64_t dividend = 0, int64_t split = 0)
{
    NavRow r;
    r.day = day(date);
    r.unitValue = unit;
    r.accumulated = unit;
    r.dividend = dividend;
    r.splitRatio = split;
    return r;
}

Trade buy(const char* date, int minute, int64_t amount, std::optional<int64_t> feeRate = std::nullopt,
          const char* code = "000001", const char* account = "默认")
{
    Trade t;
    t.account = account;
    t.code = code;
    t.kind = TradeKind::Buy;
    t.date = day(date);
    t.minute = minute;
    t.amount = amount;
    t.feeRate = feeRate;
    return t;
}

Trade sell(const char* date, int minute, int64_t shares, std::optional<int64_t> feeRate = std::nullopt)
{
    Trade t = buy(date, minute, 0, feeRate);
    t.kind = TradeKind::Sell;
    t.shares = shares;
    return t;
}

Trade statement(TradeKind kind, const char* date, int64_t shares, int64_t cost, bool dated = true)
{
    Trade t = buy(date, 600, cost);
    t.kind = kind;
    t.shares = shares;
    t.dated = dated;
    return t;
}

LedgerResult run(std::vector<Trade> trades, std::vector<NavRow> rows, HoldingSettings settings = {})
{
    LedgerInput in;
    for (size_t i = 0; i < trades.size(); ++i)
        trades[i].id = int64_t(i + 1);
    in.trades = std::move(trades);
    in.nav["000001"] = std::move(rows);
    in.settings["000001"] = std::move(settings);
    return evaluate(in);
}

const Figures& onlyFigures(const LedgerResult& r)
{
    EXPECT_EQ(r.positions.size(), 1u);
    return r.positions.front().figures;
}

// --- exact arithmetic ---------------------------------------------------------

TEST(LedgerArithmetic, RoundsOnceHalfAwayFromZero)
{
    struct Case { int64_t value, num, den, expected; } cases[] = {
        {5, 1, 2, 3},          // 2.5 → 3
        {-5, 1, 2, -3},        // −2.5 → −3
        {5, -1, 2, -3},
        {7, 1, -2, -4},        // −3.5 → −4
        {4, 1, 3, 1},          // 1.33 → 1
        {-2, 1, 3, -1},        // −0.67 → −1
        // 9.2e18 × 1e6 / 1e6: the product needs more than 64 bits.
        {9200000000000000000LL, 1000000, 1000000, 9200000000000000000LL},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mulDivRound(c.value, c.num, c.den), c.expected) << c.value << "*" << c.num << "/" << c.den;
}

TEST(LedgerArithmetic, TodayGainIsMarketValueTimesTheEstimateToTheCent)
{
    struct Case { int64_t marketValue; double change; int64_t expected; } cases[] = {
        {149613, 0.53, 793},    // 1496.13 × 0.53 % = 7.929489 → 7.93
        {149613, -1.2, -1795},  // −17.95356 → −17.95
        {300, 0.5, 2},          // 0.015 → 0.02: a half goes away from zero
        {300, -0.5, -2},        // −0.015 → −0.02
        {100000, 0.0, 0},
        {2500000, 2.25, 56250}, // 25000.00 × 2.25 % = 562.50
    };
    for (const Case& c : cases)
        EXPECT_EQ(todayGain(c.marketValue, c.change), c.expected) << c.marketValue << " x " << c.change;
}

TEST(LedgerArithmetic, ReadsDecimalsExactly)
{
    EXPECT_EQ(parseUnits("1.005", 4), 10050);
    EXPECT_EQ(parseUnits("-0.25", 2), -25);
    EXPECT_EQ(parseUnits("12", 2), 1200);
    EXPECT_EQ(parseUnits("99999999999999.99", 2), 9999999999999999LL);
    for (const char* bad : {"", "1.", ".5", "1.234", "1e3", "1,5", "--1", "12a"})
        EXPECT_FALSE(parseUnits(bad, 2)) << bad;
}

TEST(LedgerArithmetic, ReadsAndWritesFeeSchedules)
{
    const auto s = parseFeeSchedule("7:1.5,365:0.5,730:0.25,0");
    ASSERT_TRUE(s);
    EXPECT_EQ(feeScheduleText(*s), "7:1.5,365:0.5,730:0.25,0");
    // Under 7 days 1.5 %, under 365 0.5 %, under 730 0.25 %, then 0.
    struct Case { int days; int64_t rate; } cases[] = {{0, 15000}, {6, 15000}, {7, 5000}, {364, 5000},
                                                      {365, 2500}, {729, 2500}, {730, 0}, {5000, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(feeRateFor(*s, c.days), c.rate) << c.days;
    for (const char* bad : {"7:1.5", "365:0.5,7:1.5,0", "0,7:1.5", "x", "7:-1,0", "7:1.5,,0", ""})
        EXPECT_FALSE(parseFeeSchedule(bad)) << bad;
}

TEST(LedgerTime, ChinaTimeWhateverTheMachineZone)
{
    // 1700000000 is 2023-11-14 22:13:20 UTC = 2023-11-15 06:13:20 in China.
    const ChinaTime t = chinaTime(1700000000);
    EXPECT_EQ(dayText(t.day), "2023-11-15");
    EXPECT_EQ(t.minute, 6 * 60 + 13);
    EXPECT_EQ(weekdayOf(day("2026-03-02")), 0); // a Monday
    EXPECT_EQ(weekdayOf(day("2026-03-08")), 6);
    EXPECT_FALSE(parseDay("2026-02-29"));
    EXPECT_FALSE(parseDay("2026-3-02"));
    // The machine's zone plays no part: 2026-03-02 06:59:59 UTC is 14:59 in
    // China, 07:00:00 UTC is 15:00.
    const char* before = std::getenv("TZ");
    const std::string saved = before ? before : "";
    for (const char* zone : {"UTC", "America/New_York", "Asia/Tokyo", "Asia/Shanghai"}) {
        ::setenv("TZ", zone, 1);
        ::tzset();
        EXPECT_EQ(dayText(chinaTime(1772434799).day), "2026-03-02") << zone;
        EXPECT_EQ(chinaTime(1772434799).minute, 14 * 60 + 59) << zone;
        EXPECT_EQ(chinaTime(1772434800).minute, 15 * 60) << zone;
        // 16:00 UTC on the 1st is already the 2nd in China.
        EXPECT_EQ(dayText(chinaTime(1772380800).day), "2026-03-02") << zone;
    }
    before ? ::setenv("TZ", saved.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
}

TEST(LedgerTime, AnOrderCountsForItsDateBeforeThreeOClockAndWithoutATime)
{
    struct Case { int minute; const char* counts; } cases[] = {
        {-1, "2026-03-06"},          // --date without --time
        {0, "2026-03-06"},
        {14 * 60 + 59, "2026-03-06"},
        {15 * 60, "2026-03-07"},     // at 15:00: the next calendar date, a Saturday
        {23 * 60 + 59, "2026-03-07"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(dayText(countingDay(day("2026-03-06"), c.minute)), c.counts) << c.minute;
}

// --- when an order counts ----------------------------------------------------

TEST(LedgerRules, BuyBeforeAndAfterThreeOClock)
{
    // Both 1000.00 at 1.5 %: net = 1000 / 1.015 = 985.2216… → 985.22, fee 14.78.
    // 14:59 counts for Mon 03-02 at 1.0000: 985.22 shares.
    // 15:00 counts for Tue 03-03 at 1.2000: 985.22 / 1.2 = 821.0166… → 821.02.
    const auto r = run({buy("2026-03-02", 14 * 60 + 59, 100000, 15000), buy("2026-03-02", 15 * 60, 100000, 15000)},
                       {row("2026-03-02", 10000), row("2026-03-03", 12000)});
    EXPECT_EQ(r.trades[0].confirmDay, day("2026-03-02"));
    EXPECT_EQ(r.trades[0].shares, 98522);
    EXPECT_EQ(r.trades[0].fee, 1478);
    EXPECT_EQ(r.trades[1].confirmDay, day("2026-03-03"));
    EXPECT_EQ(r.trades[1].shares, 82102);
    const Figures& f = onlyFigures(r);
    // 1806.24 shares × 1.2 = 2167.488 → 2167.49; cost 2000.00; 167.49 / 2000 = 8.3745 % → 8.37 %.
    EXPECT_EQ(f.shares, 180624);
    EXPECT_EQ(f.marketValue, 216749);
    EXPECT_EQ(f.heldCost, 200000);
    EXPECT_EQ(f.holdingProfit, 16749);
    EXPECT_EQ(f.holdingRate, 837);
    EXPECT_EQ(f.totalProfit, 16749);
    EXPECT_EQ(f.fees, 2956);
    // 03-02: 985.22 − 1000.00 = −14.78 (the fee shows on its day);
    // 03-03: 167.49 − (−14.78) = 182.27.
    const auto& h = r.positions[0].history;
    ASSERT_EQ(h.size(), 2u);
    EXPECT_EQ(h[0].dayProfit, -1478);
    EXPECT_EQ(h[1].dayProfit, 18227);
}

TEST(LedgerRules, HolidaysWeekendsAndPendingOrders)
{
    // Rows Wed 03-04 and Mon 03-09: Thu and Fri a holiday, then the weekend.
    const auto r = run({buy("2026-03-05", 600, 100000),   // Thursday → Monday's row
                        buy("2026-03-07", 600, 50000),    // Saturday → Monday's row
                        buy("2026-03-10", 600, 70000),    // no row yet: 待确认
                        sell("2026-03-10", 600, 1000)},   // 卖出中
                       {row("2026-03-04", 10000), row("2026-03-09", 10000)});
    EXPECT_EQ(r.trades[0].confirmDay, day("2026-03-09"));
    EXPECT_EQ(r.trades[1].confirmDay, day("2026-03-09"));
    EXPECT_EQ(r.trades[2].state, TradeState::Pending);
    EXPECT_EQ(r.trades[3].state, TradeState::Pending);
    const Figures& f = onlyFigures(r);
    // 1500.00 shares held (the pending sale's 10.00 among them); the pending buy enters nothing.
    EXPECT_EQ(f.shares, 150000);
    EXPECT_EQ(f.sellingShares, 1000);
    EXPECT_EQ(f.pendingBuys, 70000);
    EXPECT_EQ(f.buys, 150000);
    EXPECT_EQ(f.marketValue, 150000);
}

// --- sales ---------------------------------------------------------------------

TEST(LedgerRules, SaleOverTwoLotsWithTheSchedule)
{
    HoldingSettings s;
    s.feeSchedule = *parseFeeSchedule("7:1.5,365:0.5,730:0.25,0");
    // Lot 1: 10000.00 at 1.0000 on 2025-01-06 → 10000.00 shares.
    // Lot 2: 5000.00 at 1.2500 on 2026-03-02 → 4000.00 shares.
    // Sell 12000.00 on Thu 2026-03-05 at 1.3000, first in first out:
    //   lot 1: 10000 shares, 365 + 58 = 423 days → 0.25 %: gross 13000.00, fee 32.50
    //   lot 2:  2000 shares, 3 days → 1.5 %:              gross  2600.00, fee 39.00
    //   sale: gross 15600.00, fee 71.50, proceeds 15528.50.
    // Cost falls by 15000 × 12000 / 14000 = 12857.1428… → 12857.14, leaving 2142.86.
    // 2000 shares × 1.3 = 2600.00; 持有收益 2600 − 2142.86 = 457.14;
    // 累计收益 2600 + 15528.50 − 15000 = 3128.50; 已实现 3128.50 − 457.14 = 2671.36.
    const auto r = run({buy("2025-01-06", 600, 1000000), buy("2026-03-02", 600, 500000), sell("2026-03-05", 600, 1200000)},
                       {row("2025-01-06", 10000), row("2026-03-02", 12500), row("2026-03-05", 13000)}, s);
    EXPECT_EQ(r.trades[2].amount, 1560000);
    EXPECT_EQ(r.trades[2].fee, 7150);
    EXPECT_EQ(r.trades[2].proceeds, 1552850);
    const Figures& f = onlyFigures(r);
    EXPECT_EQ(f.heldCost, 214286);
    EXPECT_EQ(f.marketValue, 260000);
    EXPECT_EQ(f.holdingProfit, 45714);
    EXPECT_EQ(f.totalProfit, 312850);
    EXPECT_EQ(f.realisedProfit, 267136);
}

TEST(LedgerRules, SaleFeeRules)
{
    HoldingSettings s;
    s.feeSchedule = *parseFeeSchedule("7:1.5,0");
    struct Case {
        const char* what;
        std::vector<Trade> trades;
        int64_t fee, proceeds;
    } cases[] = {
        // The sale's own rate wins: 100.00 × 1.2345 = 123.45; × 0.5 % = 0.61725 → 0.62.
        {"own rate", {buy("2026-03-02", 600, 100000), sell("2026-03-03", 600, 10000, 5000)}, 62, 12283},
        // Schedule, 1 day: 123.45 × 1.5 % = 1.85175 → 1.85.
        {"schedule", {buy("2026-03-02", 600, 100000), sell("2026-03-03", 600, 10000)}, 185, 12160},
        // An undated 期初 lot pays nothing until the user dates it.
        {"undated opening", {statement(TradeKind::Opening, "2026-03-02", 100000, 100000, false),
                             sell("2026-03-03", 600, 10000)}, 0, 12345},
        {"dated opening", {statement(TradeKind::Opening, "2026-03-02", 100000, 100000, true),
                           sell("2026-03-03", 600, 10000)}, 185, 12160},
    };
    for (const Case& c : cases) {
        const auto r = run(c.trades, {row("2026-03-02", 10000), row("2026-03-03", 12345)}, s);
        EXPECT_EQ(r.trades[1].state, TradeState::Confirmed) << c.what;
        EXPECT_EQ(r.trades[1].amount, 12345) << c.what;
        EXPECT_EQ(r.trades[1].fee, c.fee) << c.what;
        EXPECT_EQ(r.trades[1].proceeds, c.proceeds) << c.what;
    }
    // Without schedule or rate the sale is free; more shares than held are refused.
    const auto free = run({buy("2026-03-02", 600, 100000), sell("2026-03-03", 600, 10000)},
                          {row("2026-03-02", 10000), row("2026-03-03", 12345)});
    EXPECT_EQ(free.trades[1].fee, 0);
    const auto over = run({buy("2026-03-02", 600, 100000), sell("2026-03-03", 600, 100001)},
                          {row("2026-03-02", 10000), row("2026-03-03", 12345)});
    EXPECT_EQ(over.trades[1].state, TradeState::Refused);
    EXPECT_EQ(onlyFigures(over).shares, 100000);
}

// --- dividends and splits ------------------------------------------------------

TEST(LedgerRules, CashAndReinvestedDividends)
{
    // Mon buys 1234.56 at 1.0000 → 1234.56 shares. Tue pays 0.0123 per share at
    // 1.0100; Tue's own buy of 1010.00 (1000.00 shares) takes no part.
    // cash = 1234.56 × 0.0123 = 15.185088 → 15.19.
    const std::vector<NavRow> rows = {row("2026-03-02", 10000), row("2026-03-03", 10100, 123), row("2026-03-04", 10200)};
    const std::vector<Trade> trades = {buy("2026-03-02", 600, 123456), buy("2026-03-03", 600, 101000)};

    // 分红: 2234.56 × 1.02 = 2279.2512 → 2279.25; cost 2244.56; 持有收益 34.69;
    // 累计收益 2279.25 + 15.19 − 2244.56 = 49.88; 已实现 15.19.
    const Figures cash = onlyFigures(run(trades, rows));
    EXPECT_EQ(cash.cashDividends, 1519);
    EXPECT_EQ(cash.shares, 223456);
    EXPECT_EQ(cash.marketValue, 227925);
    EXPECT_EQ(cash.holdingProfit, 3469);
    EXPECT_EQ(cash.totalProfit, 4988);
    EXPECT_EQ(cash.realisedProfit, 1519);

    // 再投: 15.19 / 1.0100 = 15.0396… → 15.04 shares; 2249.60 × 1.02 = 2294.592
    // → 2294.59; 持有收益 = 累计收益 = 2294.59 − 2244.56 = 50.03.
    HoldingSettings reinvest;
    reinvest.method = DividendMethod::Reinvest;
    const Figures re = onlyFigures(run(trades, rows, reinvest));
    EXPECT_EQ(re.cashDividends, 0);
    EXPECT_EQ(re.shares, 224960);
    EXPECT_EQ(re.marketValue, 229459);
    EXPECT_EQ(re.holdingProfit, 5003);
    EXPECT_EQ(re.totalProfit, 5003);
    EXPECT_EQ(re.heldCost, 224456);
}

TEST(LedgerRules, SplitMultipliesEachLotRoundedAlone)
{
    // At 1.5000: 1000.00 → 666.666… → 666.67 shares; 500.00 → 333.33.
    // Split 1.5 on Tue: 666.67 × 1.5 = 1000.005 → 1000.01; 333.33 × 1.5 = 499.995 → 500.00
    // (the sum 1000.00 × 1.5 would give 1500.00). Tue's buy of 100.00 at 1.0000
    // (100.00 shares) is not split. 1600.01 × 1.01 = 1616.0101 → 1616.01; cost 1600.00.
    const Figures f = onlyFigures(
        run({buy("2026-03-02", 600, 100000), buy("2026-03-02", 601, 50000), buy("2026-03-03", 600, 10000)},
            {row("2026-03-02", 15000), row("2026-03-03", 10000, 0, 150000000), row("2026-03-04", 10100)}));
    EXPECT_EQ(f.shares, 160001);
    EXPECT_EQ(f.marketValue, 161601);
    EXPECT_EQ(f.heldCost, 160000);
    EXPECT_EQ(f.holdingProfit, 1601);
}

// --- 对账 and 期初 ---------------------------------------------------------------

TEST(LedgerRules, ReconcileSetsSharesAndCost)
{
    const std::vector<NavRow> rows = {row("2026-03-02", 10000), row("2026-03-03", 11000)};
    struct Case {
        int64_t shares, cost;
        int64_t buys, proceeds, marketValue, holdingProfit, totalProfit;
    } cases[] = {
        // Up: 1000.00 shares at 1000.00, then 1200.00 shares at 1150.00: +150.00 counts as a buy.
        // 1200 × 1.1 = 1320.00; 持有收益 = 累计收益 = 1320 − 1150 = 170.00.
        {120000, 115000, 115000, 0, 132000, 17000, 17000},
        // Down: 800.00 shares at 700.00: −300.00 counts as proceeds. 800 × 1.1 = 880.00;
        // 持有收益 880 − 700 = 180.00; 累计收益 880 + 300 − 1000 = 180.00.
        {80000, 70000, 100000, 30000, 88000, 18000, 18000},
    };
    for (const Case& c : cases) {
        const Figures f = onlyFigures(
            run({buy("2026-03-02", 600, 100000), statement(TradeKind::Reconcile, "2026-03-03", c.shares, c.cost)}, rows));
        EXPECT_EQ(f.shares, c.shares);
        EXPECT_EQ(f.heldCost, c.cost);
        EXPECT_EQ(f.buys, c.buys);
        EXPECT_EQ(f.proceeds, c.proceeds);
        EXPECT_EQ(f.marketValue, c.marketValue);
        EXPECT_EQ(f.holdingProfit, c.holdingProfit);
        EXPECT_EQ(f.totalProfit, c.totalProfit);
    }
}

TEST(LedgerRules, OpeningCountsOnTheNewestRowAtOrBeforeItsDay)
{
    // A holding carried in on Wed 03-04 before that day's row exists: it stands
    // on Tuesday's close at once. 500.00 shares at cost 600.00; 500 × 1.1 = 550.00.
    const auto r = run({statement(TradeKind::Opening, "2026-03-04", 50000, 60000, false)},
                       {row("2026-03-02", 10000), row("2026-03-03", 11000)});
    EXPECT_EQ(r.trades[0].state, TradeState::Confirmed);
    EXPECT_EQ(r.trades[0].confirmDay, day("2026-03-03"));
    const Figures& f = onlyFigures(r);
    EXPECT_EQ(f.marketValue, 55000);
    EXPECT_EQ(f.buys, 60000);
    EXPECT_EQ(f.holdingProfit, -5000);
    EXPECT_EQ(f.totalProfit, -5000);
    EXPECT_EQ(f.totalRate, -833); // −50 / 600 = −8.333 %
}

// --- the daily history ---------------------------------------------------------

TEST(LedgerRules, MonthOfDayProfitsSumsToTotalProfit)
{
    // Every weekday of March 2026 (22 rows), the unit value 1.0000 + 0.0010 × n.
    std::vector<NavRow> rows;
    int n = 0;
    for (Day d = day("2026-03-02"); d <= day("2026-03-31"); ++d)
        if (weekdayOf(d) < 5) {
            rows.push_back(row(dayText(d).c_str(), 10000 + 10 * n++));
            if (dayText(d) == "2026-03-12")
                rows.back().dividend = 100; // 0.0100 per share
        }
    ASSERT_EQ(rows.size(), 22u);
    HoldingSettings s;
    s.feeSchedule = *parseFeeSchedule("7:1.5,0");
    // 03-02 buys 1000.00 at 1.0000, fee 1 %: net 1000 / 1.01 = 990.0990… → 990.10 (fee 9.90).
    // 03-05 (1.0030) sells 90.10 inside 7 days: gross 90.10 × 1.003 = 90.3703 → 90.37,
    //   fee 1.5 % = 1.35555 → 1.36, proceeds 89.01; 900.00 shares left.
    // 03-12 (1.0080) pays 900 × 0.01 = 9.00.
    // 03-31 (1.0210): 900 × 1.021 = 918.90. 累计收益 = 918.90 + 89.01 + 9.00 − 1000 = 16.91.
    const auto r = run({buy("2026-03-02", 600, 100000, 10000), sell("2026-03-05", 600, 9010)}, rows, s);
    const Position& p = r.positions[0];
    EXPECT_EQ(p.figures.totalProfit, 1691);
    ASSERT_EQ(p.history.size(), 22u);
    int64_t sum = 0;
    for (const DayFigures& d : p.history)
        sum += d.dayProfit;
    EXPECT_EQ(sum, 1691);
    // 03-02: 990.10 − 1000 = −9.90 (the buy's fee on its day).
    EXPECT_EQ(p.history[0].dayProfit, -990);
    // 03-04 close: 990.10 × 1.002 = 992.0802 → 992.08, total −7.92.
    // 03-05: 900 × 1.003 = 902.70; total 902.70 + 89.01 − 1000 = −8.29; day −0.37.
    EXPECT_EQ(p.history[3].totalProfit, -829);
    EXPECT_EQ(p.history[3].dayProfit, -37);
    // 03-12 (the dividend): 900 × 1.008 = 907.20 + 89.01 + 9.00 − 1000 = 5.21;
    // 03-11: 900 × 1.007 = 906.30 → −4.69; day 5.21 + 4.69 = 9.90.
    EXPECT_EQ(p.history[8].dayProfit, 990);
}

TEST(LedgerRules, LedgerSumsRoundedHoldingsOnTheUnionOfDays)
{
    LedgerInput in;
    // Fund A (account 甲) and fund B (account 乙) each buy 100.01 at 1.0000 on
    // Monday; A's next row is Wednesday, B's Tuesday.
    in.trades = {buy("2026-03-02", 600, 10001, std::nullopt, "000001", "甲"),
                 buy("2026-03-02", 600, 10001, std::nullopt, "000002", "乙")};
    in.trades[0].id = 1;
    in.trades[1].id = 2;
    // A: 100.01 shares × 1.0005 = 100.060005 → 100.06 on Wed.
    // B: 100.01 shares × 1.0005 = 100.06 on Tue, kept on Wed.
    in.nav["000001"] = {row("2026-03-02", 10000), row("2026-03-04", 10005)};
    in.nav["000002"] = {row("2026-03-02", 10000), row("2026-03-03", 10005)};
    const auto r = evaluate(in);
    ASSERT_EQ(r.accounts.size(), 2u);
    EXPECT_EQ(r.accounts[0].account, "乙"); // by the names' bytes
    EXPECT_EQ(r.accounts[0].figures.marketValue, 10006);
    EXPECT_EQ(r.ledger.figures.marketValue, 20012); // 100.06 + 100.06, each rounded first
    EXPECT_EQ(r.ledger.figures.totalProfit, 10);
    ASSERT_EQ(r.ledger.history.size(), 3u); // Mon, Tue, Wed
    // Mon 0; Tue B gains 0.05; Wed A gains 0.05.
    EXPECT_EQ(r.ledger.history[0].dayProfit, 0);
    EXPECT_EQ(r.ledger.history[1].dayProfit, 5);
    EXPECT_EQ(r.ledger.history[1].marketValue, 20007);
    EXPECT_EQ(r.ledger.history[2].dayProfit, 5);
}

// --- returns -------------------------------------------------------------------

TEST(LedgerReturns, XirrOfKnownSeries)
{
    const Day d0 = day("2024-01-01");
    struct Case {
        const char* what;
        std::vector<CashFlow> flows;
        std::optional<double> rate;
    } cases[] = {
        // 1000 → 1100 after 365 days: 10 %.
        {"one year", {{d0, -100000}, {d0 + 365, 110000}}, 0.10},
        // 1000 → 1100 after 730 days: √1.1 − 1 = 0.0488088.
        {"two years", {{d0, -100000}, {d0 + 730, 110000}}, 0.0488088},
        // 1000 now and 1000 in a year, worth 1000 × 1.1² + 1000 × 1.1 = 2310 after two: 10 %.
        {"two buys", {{d0, -100000}, {d0 + 365, -100000}, {d0 + 730, 231000}}, 0.10},
        // Losing half in a year: −50 %.
        {"a loss", {{d0, -100000}, {d0 + 365, 50000}}, -0.5},
        {"no sign change", {{d0, -100000}, {d0 + 365, -1000}}, std::nullopt},
        {"under 30 days", {{d0, -100000}, {d0 + 29, 110000}}, std::nullopt},
        // 1 → 1,000,000 in 30 days is far above 10,000 % a year.
        {"no root in range", {{d0, -100}, {d0 + 30, 100000000}}, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto rate = xirr(c.flows);
        ASSERT_EQ(bool(rate), bool(c.rate)) << c.what;
        if (rate) {
            EXPECT_NEAR(*rate, *c.rate, 1e-6) << c.what;
        }
    }
}

TEST(LedgerReturns, HoldingXirrTakesBuysDividendsAndValue)
{
    // 1000.00 on 2025-03-03 at 1.0000; 0.05 per share on 2025-09-01 (cash 50.00);
    // 2026-03-02 at 1.0000: 市值 1000.00 and 50.00 received after 182 days. Rate r:
    // −1000 + 50 / (1+r)^(182/365) + 1000 / (1+r)^(364/365) = 0.
    // At r = 5.14 %: 50 / 1.02531 = 48.766, 1000 / 1.05126 = 951.24 → +0.008;
    // at r = 5.15 %: 48.764 + 951.15 → −0.083; the root is 5.1409 %.
    const auto r = run({buy("2025-03-03", 600, 100000)},
                       {row("2025-03-03", 10000), row("2025-09-01", 10000, 500), row("2026-03-02", 10000)});
    const auto rate = onlyFigures(r).xirr;
    ASSERT_TRUE(rate);
    EXPECT_NEAR(*rate, 0.051409, 0.000002);
    EXPECT_TRUE(r.ledger.figures.xirr);
}

TEST(LedgerReturns, TimeWeightedAndBenchmark)
{
    const Day d = day("2026-03-02");
    // Day 2: +100 on 1000 (10 %); day 3: +110 on 1100 after the close before a buy (10 %);
    // day 4: nothing held the day before counts 1. (1.1 × 1.1) − 1 = 0.21.
    const std::vector<DayFigures> h = {{d, 1000, -10, -10}, {d + 1, 1100, 90, 100}, {d + 2, 2210, 200, 110}};
    EXPECT_NEAR(timeWeightedReturn(h, d + 1, d + 2), 0.21, 1e-12);
    EXPECT_NEAR(timeWeightedReturn(h, d + 2, d + 2), 0.10, 1e-12);

    // +1.00 %, then a row without a change: 1.0050 / 1.0100; together 1.005 → 0.5 %.
    std::vector<NavRow> bench = {row("2026-03-02", 10000), row("2026-03-03", 10100), row("2026-03-04", 10050)};
    bench[1].changePercent = 10000;
    EXPECT_NEAR(benchmarkReturn(bench, d + 1, d + 2), 0.005, 1e-12);
    EXPECT_NEAR(benchmarkReturn(bench, d + 1, d + 1), 0.01, 1e-12);
}

// --- 定投 ------------------------------------------------------------------------

Plan plan(PlanCycle cycle, int cycleDay, const char* start, int64_t id)
{
    Plan p;
    p.id = id;
    p.account = "默认";
    p.code = "000001";
    p.amount = 10000;
    p.cycle = cycle;
    p.cycleDay = cycleDay;
    p.start = day(start);
    return p;
}

TEST(LedgerPlans, DueDatesOfEachCycle)
{
    const ChinaTime endOfMarch {day("2026-03-31"), 16 * 60};
    struct Case {
        const char* what;
        Plan plan;
        std::vector<const char*> due;
    } cases[] = {
        {"每周三", plan(PlanCycle::Weekly, 2, "2026-03-01", 1), {"2026-03-04", "2026-03-11", "2026-03-18", "2026-03-25"}},
        // From the first Wednesday on or after Thu 03-05: 03-11, then every 14 days.
        {"每两周三", plan(PlanCycle::Biweekly, 2, "2026-03-05", 2), {"2026-03-11", "2026-03-25"}},
        {"每月7日", plan(PlanCycle::Monthly, 7, "2026-01-15", 3), {"2026-02-07", "2026-03-07"}},
        {"每月28日 from the 28th", plan(PlanCycle::Monthly, 28, "2026-02-28", 4), {"2026-02-28", "2026-03-28"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> got;
        for (Day d : dueDates(c.plan, endOfMarch))
            got.push_back(dayText(d));
        EXPECT_EQ(got, std::vector<std::string>(c.due.begin(), c.due.end())) << c.what;
    }
    // 14:58 on the 31st: that day's order is not due yet.
    Plan daily = plan(PlanCycle::EveryTradingDay, 0, "2026-03-30", 5);
    EXPECT_EQ(dueDates(daily, {day("2026-03-31"), 14 * 60 + 58}).size(), 1u);
    EXPECT_EQ(dueDates(daily, {day("2026-03-31"), 14 * 60 + 59}).size(), 2u);
}

TEST(LedgerPlans, MonthWithAHoliday)
{
    // March 2026 has 22 weekdays; Wed 03-04 to Fri 03-06 are a holiday (no rows).
    std::vector<NavRow> rows;
    for (Day d = day("2026-03-02"); d <= day("2026-03-31"); ++d)
        if (weekdayOf(d) < 5 && (d < day("2026-03-04") || d > day("2026-03-06")))
            rows.push_back(row(dayText(d).c_str(), 10000));
    ASSERT_EQ(rows.size(), 19u);

    Plan daily = plan(PlanCycle::EveryTradingDay, 0, "2026-03-01", 7);
    daily.booked = {day("2026-03-02")}; // booked once, then deleted by the user: never again
    const std::vector<Trade> orders = ordersToBook(daily, {day("2026-03-31"), 20 * 60});
    ASSERT_EQ(orders.size(), 21u);
    EXPECT_EQ(dayText(orders.front().date), "2026-03-03");
    EXPECT_EQ(orders.front().minute, 14 * 60 + 59);
    EXPECT_EQ(orders.front().planId, 7);

    // The weekly plan's Wednesday falls in the holiday alone: it is kept.
    Plan weekly = plan(PlanCycle::Weekly, 2, "2026-03-01", 8);
    std::vector<Trade> trades = orders;
    for (Trade& t : ordersToBook(weekly, {day("2026-03-31"), 20 * 60}))
        trades.push_back(t);
    ASSERT_EQ(trades.size(), 25u);

    const auto r = run(trades, rows);
    // 03-04, 03-05 and 03-06 would confirm on Monday 03-09 with that day's own order: withdrawn.
    int withdrawn = 0;
    for (size_t i = 0; i < trades.size(); ++i)
        if (r.trades[i].state == TradeState::Withdrawn) {
            ++withdrawn;
            EXPECT_EQ(trades[i].planId, 7);
            EXPECT_GE(trades[i].date, day("2026-03-04"));
            EXPECT_LE(trades[i].date, day("2026-03-06"));
        }
    EXPECT_EQ(withdrawn, 3);
    EXPECT_EQ(r.trades[21].confirmDay, day("2026-03-09")); // the weekly 03-04 order
    // 18 daily + 4 weekly orders of 100.00 at 1.0000.
    EXPECT_EQ(onlyFigures(r).buys, 220000);
    EXPECT_EQ(onlyFigures(r).shares, 220000);
}

TEST(LedgerPlans, OnlyWeekdayOrdersAreWithdrawn)
{
    // A 每周六 plan across two weeks without rows (03-09 to 03-13 a holiday):
    // Sat 03-07 and Sat 03-14 both confirm on Mon 03-16. Weekend orders are
    // never withdrawn, so both stand: 2 × 100.00 at 1.0000.
    // A 每周一 plan over the same gap: Mon 03-09 and Mon 03-16 both confirm on
    // 03-16; the earlier weekday order is withdrawn.
    const std::vector<NavRow> rows = {row("2026-03-06", 10000), row("2026-03-16", 10000)};
    const ChinaTime now {day("2026-03-16"), 16 * 60};
    std::vector<Trade> trades = ordersToBook(plan(PlanCycle::Weekly, 5, "2026-03-07", 1), now);
    ASSERT_EQ(trades.size(), 2u);
    for (Trade& t : ordersToBook(plan(PlanCycle::Weekly, 0, "2026-03-09", 2), now))
        trades.push_back(t);
    ASSERT_EQ(trades.size(), 4u);
    const auto r = run(trades, rows);
    EXPECT_EQ(r.trades[0].state, TradeState::Confirmed);
    EXPECT_EQ(r.trades[1].state, TradeState::Confirmed);
    EXPECT_EQ(r.trades[2].state, TradeState::Withdrawn);
    EXPECT_EQ(r.trades[3].state, TradeState::Confirmed);
    EXPECT_EQ(onlyFigures(r).buys, 30000);
}

TEST(LedgerRules, MoneyMarketFundsAreRefused)
{
    NavRow mm = row("2026-03-02", 0);
    EXPECT_EQ(bookingRefusal({mm, mm}), gbk("货币基金暂不支持记账"));
    EXPECT_EQ(bookingRefusal({row("2026-03-02", 10000)}), "");
    EXPECT_EQ(bookingRefusal({}), "");
}

} // namespace
} // namespace fw::ledger

namespace fw::ledger {
namespace {

TEST(LedgerPlans, TheFormsWeekdayIsMondayToFriday)
{
    // 1 = Monday … 5 = Friday in the 定投 form; stored 0 = Monday.
    struct Case { int cycle; const char* day; int stored; } cases[] = {
        {1, "1", 0}, {1, "3", 2}, {2, "5", 4}, {3, "28", 28},
    };
    for (const Case& c : cases) {
        PlanForm form;
        form.code = "000001";
        form.amount = "100";
        form.day = c.day;
        form.start = "2026-03-02";
        form.cycle = c.cycle;
        Plan plan;
        EXPECT_EQ(planFromForm(form, day("2026-03-02"), plan), Text()) << c.day;
        EXPECT_EQ(plan.cycleDay, c.stored) << c.cycle << " " << c.day;
    }
}

} // namespace
} // namespace fw::ledger
