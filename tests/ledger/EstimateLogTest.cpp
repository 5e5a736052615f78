// The estimate log on a real database file, and its rules on hand-worked
// figures: NAV changes put beside the estimates across a day without a NAV
// and a holiday, the newest 20 measured days, the model chosen once two have
// 20 days, US quotes matched to the NAV of their session, the recording
// window in China time whatever the machine's zone, and a second record of a
// day adding nothing.
#include "funds/EstimateLog.h"
#include "funds/EstimateRecord.h"
#include "store/LedgerDatabase.h"
#include "tests/store/TempDir.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ctime>

namespace fw::ledger {
namespace {

using test::TempDir;

Day day(const char* text) { return parseDay(text).value_or(0); }

// Seconds since 1970 of a UTC date and time.
std::time_t utcAt(const char* date, int hour, int minute)
{
    return std::time_t(day(date)) * 86400 + hour * 3600 + minute * 60;
}

constexpr int kFeeder = int(EstimateModel::Feeder), kIndex = int(EstimateModel::Index),
              kHoldings = int(EstimateModel::Holdings);

LoggedEstimate logged(const char* date, int model, int64_t change, std::optional<Day> us = std::nullopt,
                      const char* code = "000001")
{
    LoggedEstimate e;
    e.day = day(date);
    e.code = code;
    e.model = model;
    e.change = change;
    e.usSession = us;
    return e;
}

NavRow navRow(const char* date, std::optional<int64_t> change)
{
    NavRow r;
    r.day = day(date);
    r.unitValue = 10000;
    r.changePercent = change;
    return r;
}

class EstimateLogStore : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(db.open(ledgerFilePath(dir.path()))) << db.failure(); }
    ModelErrors errors(const std::string& code = "000001") { return accuracyByModel(db.estimateLog(code)); }

    TempDir dir;
    LedgerDatabase db;
};

TEST_F(EstimateLogStore, NavChangesJoinAcrossAMissingNavDayAndAHoliday)
{
    // Thursday 12-03 is a holiday: no NAV row ever comes. Wednesday's row
    // comes first without its change, and with it two days later.
    ASSERT_EQ(db.logEstimates({logged("2026-11-30", kHoldings, 12345), logged("2026-12-01", kHoldings, -5000),
                               logged("2026-12-02", kHoldings, 3000), logged("2026-12-03", kHoldings, 8000),
                               logged("2026-12-04", kHoldings, 20000)}),
              5);
    EXPECT_EQ(db.storeNavChanges("000001", {navRow("2026-11-27", 9999), navRow("2026-11-30", 10000),
                                            navRow("2026-12-01", -8000), navRow("2026-12-02", std::nullopt),
                                            navRow("2026-12-04", 15000)}),
              3);
    // Another fund's rows touch nothing of this one.
    EXPECT_EQ(db.storeNavChanges("000002", {navRow("2026-12-02", 500)}), 0);

    // |1.2345 - 1.00| = 0.2345, |-0.50 + 0.80| = 0.30, |2.00 - 1.50| = 0.50:
    // 1.0345 / 3 = 0.344833…, the largest 0.50.
    ModelAccuracy a = errors().at(EstimateModel::Holdings);
    EXPECT_EQ(a.days, 3);
    EXPECT_NEAR(a.meanError, 0.344833, 1e-6);
    EXPECT_NEAR(a.largestMiss, 0.50, 1e-9);
    EXPECT_EQ(db.pendingNavDays(), (std::map<std::string, Day> {{"000001", day("2026-12-02")}}));

    // Wednesday's change arrives: |0.30 - 0.10| = 0.20; 1.2345 / 4 = 0.308625.
    EXPECT_EQ(db.storeNavChanges("000001", {navRow("2026-12-02", 1000), navRow("2026-12-04", 99999)}), 1);
    a = errors().at(EstimateModel::Holdings);
    EXPECT_EQ(a.days, 4);
    EXPECT_NEAR(a.meanError, 0.308625, 1e-9);
    // A change once stored stays: Friday's is still 1.50.
    EXPECT_NEAR(a.largestMiss, 0.50, 1e-9);
    // Only the holiday still waits.
    EXPECT_EQ(db.pendingNavDays(), (std::map<std::string, Day> {{"000001", day("2026-12-03")}}));
    // The same from the data directory, for one fund only; none without a database.
    EXPECT_NEAR(loggedErrors(dir.path(), "000001").at(EstimateModel::Holdings).meanError, 0.308625, 1e-9);
    EXPECT_TRUE(loggedErrors(dir.path(), "000002").empty());
    TempDir none;
    EXPECT_TRUE(loggedErrors(none.path(), "000001").empty());
    EXPECT_FALSE(std::filesystem::exists(ledgerFilePath(none.path())));
}

TEST_F(EstimateLogStore, ASecondRecordOfTheDayAddsNothingAndKeepsTheFirst)
{
    const std::vector<LoggedEstimate> first {logged("2026-12-08", kFeeder, 4200), logged("2026-12-08", kHoldings, 3100)};
    ASSERT_EQ(db.logEstimates(first), 2);
    // The same day again, the estimates moved meanwhile, and a model new today.
    EXPECT_EQ(db.logEstimates({logged("2026-12-08", kFeeder, 5000), logged("2026-12-08", kHoldings, 3300),
                               logged("2026-12-08", kIndex, 100)}),
              1);
    const std::vector<LoggedEstimate> log = db.estimateLog("000001");
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].model, kFeeder);
    EXPECT_EQ(log[0].change, 4200);
    EXPECT_EQ(log[1].model, kIndex);
    EXPECT_EQ(log[2].model, kHoldings);
    EXPECT_EQ(log[2].change, 3100);
    // The next day is a day of its own.
    EXPECT_EQ(db.logEstimates({logged("2026-12-09", kFeeder, 4200)}), 1);
    // The log outlives the connection.
    db.close();
    ASSERT_TRUE(db.open(ledgerFilePath(dir.path())));
    EXPECT_EQ(db.estimateLog().size(), 4u);
}

TEST_F(EstimateLogStore, UsQuotesAreMatchedToTheNavOfTheirSessionOrLeftOut)
{
    // Tuesday's feeder estimate uses A-share quotes only; its holdings
    // estimate used Monday's US session. Friday 10-09 used Thursday 10-08's
    // session, a China holiday: no NAV is dated so.
    ASSERT_EQ(db.logEstimates({logged("2026-12-08", kFeeder, -1500), logged("2026-12-08", kHoldings, 9000, day("2026-12-07")),
                               logged("2026-10-09", kHoldings, 4000, day("2026-10-08"))}),
              3);
    EXPECT_EQ(db.storeNavChanges("000001", {navRow("2026-09-30", 100), navRow("2026-10-09", 4000),
                                            navRow("2026-12-07", 7000), navRow("2026-12-08", -2000)}),
              2);
    const ModelErrors e = errors();
    // Feeder: |-0.15 + 0.20| = 0.05. Holdings: |0.90 - 0.70| = 0.20, one day:
    // the 10-09 row's change is no match for the 10-08 session.
    EXPECT_NEAR(e.at(EstimateModel::Feeder).meanError, 0.05, 1e-9);
    EXPECT_EQ(e.at(EstimateModel::Holdings).days, 1);
    EXPECT_NEAR(e.at(EstimateModel::Holdings).meanError, 0.20, 1e-9);
    EXPECT_EQ(db.pendingNavDays(), (std::map<std::string, Day> {{"000001", day("2026-10-08")}}));
}

TEST(EstimateLogRules, TheErrorIsOverTheNewest20MeasuredDays)
{
    // 26 weekdays from 2026-10-12: the oldest 5 miss by 1.00, the next 20 by
    // 0.10 (either way), the newest has no NAV yet. Newest 20: 0.10. (All 25
    // would give (5 + 2) / 25 = 0.28; the oldest 20, (5 + 1.5) / 20 = 0.325.)
    std::vector<LoggedEstimate> log;
    Day d = day("2026-10-12");
    for (int i = 0; i < 26; ++i, d += weekdayOf(d) == 4 ? 3 : 1) {
        LoggedEstimate e = logged("2026-01-01", kIndex, 20000);
        e.day = d;
        if (i < 5)
            e.navChange = 10000;
        else if (i < 25)
            e.navChange = i % 2 ? 21000 : 19000;
        log.push_back(e);
    }
    // Shuffled: the order stored is no order of days.
    std::swap(log[0], log[24]);
    std::swap(log[3], log[25]);
    const ModelAccuracy a = accuracyByModel(log).at(EstimateModel::Index);
    EXPECT_EQ(a.days, 20);
    EXPECT_NEAR(a.meanError, 0.10, 1e-9);
    EXPECT_NEAR(a.largestMiss, 0.10, 1e-9);
    EXPECT_EQ(accuracyByModel(log).count(EstimateModel::Feeder), 0u);
}

struct AccuracyCase {
    const char* what;
    std::vector<std::pair<int64_t, std::optional<int64_t>>> estimateAndNav; // 1e-4 %
    int counted;
    double meanError, largestMiss; // percentage points
};

TEST(EstimateLogRules, TheErrorOfEstimatesAgainstTheirNavChanges)
{
    const AccuracyCase cases[] = {
        // |0.53 - 0.41| = 0.12, |-1.00 - -0.75| = 0.25, |2.00 - 2.00| = 0: 0.37 / 3
        {"three funds", {{5300, 4100}, {-10000, -7500}, {20000, 20000}}, 3, 0.37 / 3, 0.25},
        // An estimate on the wrong side: |0.30 - -0.45| = 0.75; the one without a NAV is not counted
        {"a miss across zero", {{3000, -4500}, {9000, std::nullopt}}, 1, 0.75, 0.75},
        // Exact to 1e-4 %: |0.0001 - 0| and |-0.0003 - 0| = 0.0004 / 2
        {"hundredths of a hundredth", {{1, 0}, {-3, 0}}, 2, 0.0002, 0.0003},
        {"nothing measured", {{5000, std::nullopt}}, 0, 0, 0},
        {"nothing at all", {}, 0, 0, 0},
    };
    for (const AccuracyCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<LoggedEstimate> estimates;
        for (const auto& [estimate, nav] : c.estimateAndNav) {
            estimates.push_back(logged("2026-12-04", kFeeder, estimate));
            estimates.back().navChange = nav;
        }
        std::vector<const LoggedEstimate*> pointers;
        for (const LoggedEstimate& e : estimates)
            pointers.push_back(&e);
        const ModelAccuracy a = accuracyOf(EstimateModel::Feeder, pointers);
        EXPECT_EQ(a.model, EstimateModel::Feeder);
        EXPECT_EQ(a.days, c.counted);
        EXPECT_NEAR(a.meanError, c.meanError, 1e-12);
        EXPECT_NEAR(a.largestMiss, c.largestMiss, 1e-12);
    }
}

ModelErrors errorsOf(std::initializer_list<std::tuple<EstimateModel, int, double>> rows)
{
    ModelErrors out;
    for (const auto& [model, days, error] : rows)
        out[model] = {model, days, error, error};
    return out;
}

TEST(EstimateLogRules, TheOrderHoldsUntilTwoModelsHave20DaysThenTheSmallerErrorWins)
{
    using M = EstimateModel;
    struct Case {
        const char* what;
        std::vector<M> applicable;
        ModelErrors errors;
        std::optional<M> chosen;
    };
    const Case cases[] = {
        {"nothing applies", {}, errorsOf({{M::Holdings, 20, 0.1}}), std::nullopt},
        {"nothing measured", {M::Feeder, M::Holdings}, {}, M::Feeder},
        {"19 days each", {M::Feeder, M::Holdings}, errorsOf({{M::Feeder, 19, 0.5}, {M::Holdings, 19, 0.2}}), M::Feeder},
        {"only one at 20", {M::Feeder, M::Holdings}, errorsOf({{M::Feeder, 20, 0.5}, {M::Holdings, 19, 0.2}}), M::Feeder},
        {"both at 20", {M::Feeder, M::Holdings}, errorsOf({{M::Feeder, 20, 0.5}, {M::Holdings, 20, 0.2}}), M::Holdings},
        {"first is better", {M::Feeder, M::Holdings}, errorsOf({{M::Feeder, 20, 0.1}, {M::Holdings, 20, 0.2}}), M::Feeder},
        {"equal keeps the order", {M::Index, M::Holdings}, errorsOf({{M::Index, 20, 0.2}, {M::Holdings, 20, 0.2}}), M::Index},
        {"the later two", {M::Feeder, M::Index, M::Holdings},
         errorsOf({{M::Feeder, 3, 0.01}, {M::Index, 20, 0.3}, {M::Holdings, 20, 0.25}}), M::Holdings},
        {"a model that no longer applies", {M::Index, M::Holdings},
         errorsOf({{M::Feeder, 20, 0.01}, {M::Index, 20, 0.3}}), M::Index},
    };
    for (const Case& c : cases)
        EXPECT_EQ(preferredModel(c.applicable, c.errors), c.chosen) << c.what;
}

TEST(EstimateLogRules, TheChoiceSwitchesOnTheTwentiethMeasuredDay)
{
    // Feeder and holdings logged each weekday; the feeder misses by 0.30, the
    // holdings model by 0.05. After 19 days the feeder is still the choice.
    ModelEstimate feeder, holdings;
    feeder.model = EstimateModel::Feeder;
    feeder.change = 1.0;
    holdings.model = EstimateModel::Holdings;
    holdings.change = 0.5;
    std::vector<LoggedEstimate> log;
    Day d = day("2026-11-02");
    for (int i = 0; i < 20; ++i, d += weekdayOf(d) == 4 ? 3 : 1) {
        LoggedEstimate f = logged("2026-01-01", kFeeder, 10000), h = logged("2026-01-01", kHoldings, 10000);
        f.day = h.day = d;
        f.navChange = 7000;
        h.navChange = 10500;
        log.push_back(f);
        log.push_back(h);
        const ModelErrors errors = accuracyByModel(log);
        const std::optional<ModelEstimate> chosen = preferredEstimate({feeder, holdings}, errors);
        ASSERT_TRUE(chosen);
        EXPECT_EQ(chosen->model, i < 19 ? EstimateModel::Feeder : EstimateModel::Holdings) << i + 1 << " days";
        // The error shown is the chosen model's: ±0.30 until the switch, ±0.05 after.
        EXPECT_NEAR(*shownError(errors, chosen->model), i < 19 ? 0.30 : 0.05, 1e-9) << i + 1 << " days";
    }
    EXPECT_FALSE(shownError({}, EstimateModel::Feeder));
}

TEST(EstimateLogRules, TheLastUsSessionInNewYorkTime)
{
    struct Case {
        const char* what;
        std::time_t utc;
        const char* session;
    };
    const Case cases[] = {
        // 15:00 in China is 02:00 (winter) or 03:00 (summer) in New York: the
        // session of the day before, Friday's on a Monday.
        {"Tuesday winter", utcAt("2026-12-08", 7, 0), "2026-12-07"},
        {"Monday winter", utcAt("2026-12-07", 7, 0), "2026-12-04"},
        {"Tuesday summer", utcAt("2026-07-07", 7, 0), "2026-07-06"},
        {"Sunday", utcAt("2026-12-06", 7, 0), "2026-12-04"},
        // 20:30 UTC is 16:30 in New York in summer (closed) but 15:30 in winter (open).
        {"after the close, summer", utcAt("2026-07-07", 20, 30), "2026-07-07"},
        {"before the close, winter", utcAt("2026-12-08", 20, 30), "2026-12-07"},
        {"at the close, winter", utcAt("2026-12-08", 21, 0), "2026-12-08"},
        // Daylight saving begins on the second Sunday of March (03-08 in 2026)
        // and ends on the first Sunday of November (11-01).
        {"the Friday before it begins", utcAt("2026-03-06", 20, 30), "2026-03-05"},
        {"the Monday after it begins", utcAt("2026-03-09", 20, 30), "2026-03-09"},
        {"the Friday before it ends", utcAt("2026-10-30", 20, 30), "2026-10-30"},
        {"the Monday after it ends", utcAt("2026-11-02", 20, 30), "2026-10-30"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(dayText(lastUsSession(c.utc)), c.session) << c.what;
}

ListedHolding stock(const char* quoteId, double share)
{
    const std::string_view id(quoteId);
    return {Text(id.substr(id.find('.') + 1)), gbk("某股"), share, Text(quoteId)};
}

TEST(EstimateLogRules, EveryModelThatAppliesIsLoggedTheUsOnesWithTheirSession)
{
    // A 沪深300 fund holding a Shanghai stock and a US one, 90 % in stocks.
    EstimateInputs in;
    in.fundName = gbk("某某沪深300指数增强A");
    in.positions.stocks = {stock("1.600519", 6), stock("105.AAPL", 4)};
    in.stockShare = 90.0;
    in.changes = {{"1.600519", 1.0}, {"105.AAPL", -2.5}, {"1.000300", 0.5}};
    const Day tuesday = day("2026-12-08"), monday = day("2026-12-07");
    std::vector<LoggedEstimate> log = estimatesToLog("000300", in, tuesday, monday);
    ASSERT_EQ(log.size(), 2u);
    // Index: 0.50 × 90 % = 0.45 %, no US quote.
    EXPECT_EQ(log[0].model, kIndex);
    EXPECT_EQ(log[0].change, 4500);
    EXPECT_FALSE(log[0].usSession);
    // Holdings: (6 × 1.00 + 4 × -2.50) / 10 = -0.40; × 90 % = -0.36 %, on Monday's US session.
    EXPECT_EQ(log[1].model, kHoldings);
    EXPECT_EQ(log[1].code, "000300");
    EXPECT_EQ(log[1].day, tuesday);
    EXPECT_EQ(log[1].change, -3600);
    EXPECT_EQ(log[1].usSession, monday);

    // The US stock without a quote: the holdings estimate is today's alone, 1.00 × 90 %.
    in.changes.erase("105.AAPL");
    log = estimatesToLog("000300", in, tuesday, monday);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].change, 9000);
    EXPECT_FALSE(log[1].usSession);

    // A feeder of a Shanghai exchange-traded fund: 1.00 × 95 %, no US quote.
    EstimateInputs feeder;
    feeder.positions.targetCode = "510300";
    feeder.positions.targetQuoteId = "1.510300";
    feeder.changes = {{"1.510300", 1.0}};
    log = estimatesToLog("000961", feeder, tuesday, monday);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].model, kFeeder);
    EXPECT_EQ(log[0].change, 9500);
    EXPECT_FALSE(log[0].usSession);
}

TEST(EstimateLogRules, TheRecordWindowIsChinaTimeWhateverTheMachinesZone)
{
    // The machine keeps Los Angeles time, 16 hours behind China.
    const char* before = std::getenv("TZ");
    const std::string saved = before ? before : "";
    setenv("TZ", "America/Los_Angeles", 1);
    tzset();
    struct Case {
        std::time_t utc;
        bool open;
    };
    const Case cases[] = {
        {utcAt("2026-12-08", 6, 54), false}, // 14:54 in China
        {utcAt("2026-12-08", 6, 55), true},  // 14:55
        {utcAt("2026-12-08", 7, 5), true},   // 15:05
        {utcAt("2026-12-08", 7, 6), false},  // 15:06
        {utcAt("2026-12-11", 7, 0), true},   // Friday 15:00
        {utcAt("2026-12-12", 7, 0), false},  // Saturday
        {utcAt("2026-12-13", 7, 0), false},  // Sunday
        {utcAt("2026-12-07", 23, 0), false}, // Tuesday 07:00 in China, Monday 15:00 in Los Angeles
    };
    for (const Case& c : cases)
        EXPECT_EQ(inRecordWindow(chinaTime(c.utc)), c.open) << c.utc;
    if (before)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

} // namespace
} // namespace fw::ledger
