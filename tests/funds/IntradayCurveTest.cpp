// The day's curve as worked examples: bars of each holding in, the fund's
// estimate per minute out (each point worked by hand in the comments), and
// the portfolio's 当日收益 per minute in yuan.
#include "funds/IntradayCurve.h"
#include "funds/IntradayFetch.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include <gtest/gtest.h>
#include <tuple>

namespace fw::testing {
namespace {

int at(int h, int m) { return h * 60 + m; }

MinuteBars bars(double preClose, std::vector<std::pair<int, double>> closes)
{
    MinuteBars out;
    out.preClose = preClose;
    for (const auto& [minute, close] : closes)
        out.bars.push_back({minuteText(minute), minute, close});
    return out;
}

ListedHolding stock(const char* quoteId, double share)
{
    const std::string_view id(quoteId);
    return {Text(id.substr(id.find('.') + 1)), gbk("某股"), share, Text(quoteId)};
}

// Minutes and hundredths of a percent, so that a table reads as the hand sums.
using Points = std::vector<std::pair<int, long long>>;
Points pointsOf(const IntradayCurve& curve)
{
    Points out;
    for (const CurvePoint& p : curve.points)
        out.emplace_back(p.minute, roundedUnits(p.change, 2));
    return out;
}

struct CurveCase {
    const char* what;
    EstimateInputs in;
    BarsById bars;
    EstimateModel model;
    Points points;
};

TEST(IntradayCurve, EachMinuteAppliesTheModelToEachHoldingsLastChange)
{
    FundPositions feeder;
    feeder.targetCode = "510300";
    feeder.targetQuoteId = "1.510300";
    feeder.stocks = {stock("1.600001", 3)};
    const CurveCase cases[] = {
        // Weights 50 × 6/10 = 30 (Shanghai) and 50 × 4/10 = 20 (Hong Kong).
        // 09:30 both +1: 0.30 + 0.20 = 0.50. 11:30 Shanghai +2, Hong Kong keeps +1: 0.80.
        // 12:00 Shanghai at lunch keeps +2, Hong Kong +2: 1.00. 13:01 both 0: 0.
        // 15:00 Shanghai -1, Hong Kong keeps 0: -0.30. 16:00 Shanghai closed at -1, Hong Kong -2: -0.70.
        {"Hong Kong trades through the lunch and until 16:00",
         {gbk("某某成长混合"), {{stock("1.600001", 6), stock("116.00700", 4)}, "", "", "", ""}, 50.0, {}},
         {{"1.600001", bars(10, {{at(9, 30), 10.1}, {at(11, 30), 10.2}, {at(13, 1), 10.0}, {at(15, 0), 9.9}})},
          {"116.00700", bars(20, {{at(9, 30), 20.2}, {at(12, 0), 20.4}, {at(13, 1), 20.0}, {at(16, 0), 19.6}})}},
         EstimateModel::Holdings,
         {{at(9, 30), 50}, {at(11, 30), 80}, {at(12, 0), 100}, {at(13, 1), 0}, {at(15, 0), -30}, {at(16, 0), -70}}},
        // The third stock has no bar all day: it is left out, the other two weigh 80 × 5/10 = 40 each.
        // 09:30 +2 and 0 (no bar yet): 0.80. 09:31 +4 and 0: 1.60. 09:32 the first stops and
        // keeps +4, the second's first bar +1: 1.60 + 0.40 = 2.00. 09:33 +4 and -3: 1.60 - 1.20 = 0.40.
        {"suspended during the day, before the first bar, no bars at all",
         {gbk("某某精选股票"), {{stock("1.600001", 5), stock("0.000002", 5), stock("1.600003", 10)}, "", "", "", ""}, 80.0, {}},
         {{"1.600001", bars(10, {{at(9, 30), 10.2}, {at(9, 31), 10.4}})},
          {"0.000002", bars(10, {{at(9, 32), 10.1}, {at(9, 33), 9.7}})},
          {"1.600003", bars(10, {})}},
         EstimateModel::Holdings,
         {{at(9, 30), 80}, {at(9, 31), 160}, {at(9, 32), 200}, {at(9, 33), 40}}},
        // Bars are taken by time, whatever order they come in; a call-auction bar
        // before 09:30 is the change at 09:30. GP 100: 09:30 +3, 09:31 -1.
        {"a bar before the open, bars out of order",
         {gbk("某某价值混合"), {{stock("1.600001", 8)}, "", "", "", ""}, 100.0, {}},
         {{"1.600001", bars(10, {{at(9, 31), 9.9}, {at(9, 25), 10.3}})}},
         EstimateModel::Holdings,
         {{at(9, 30), 300}, {at(9, 31), -100}}},
        // Target × 95 % plus its own stock at GP 3: 09:30 0.95 + 0.15 = 1.10; 10:00 -1.90 + 0.15 = -1.75.
        {"feeder fund",
         {gbk("某某沪深300ETF联接A"), feeder, 3.0, {}},
         {{"1.510300", bars(4, {{at(9, 30), 4.04}, {at(10, 0), 3.92}})},
          {"1.600001", bars(10, {{at(9, 30), 10.5}})}},
         EstimateModel::Feeder,
         {{at(9, 30), 110}, {at(10, 0), -175}}},
        // The index × 95 % (no stock share disclosed); its stocks' +10 % count for nothing.
        // 09:30 +1 → 0.95; 09:31 -1 → -0.95.
        {"index fund",
         {gbk("某某沪深300指数增强A"), {{stock("1.600001", 9)}, "", "", "", ""}, std::nullopt, {}},
         {{"1.000300", bars(3000, {{at(9, 30), 3030}, {at(9, 31), 2970}})},
          {"1.600001", bars(10, {{at(9, 30), 11}, {at(9, 31), 11}})}},
         EstimateModel::Index,
         {{at(9, 30), 95}, {at(9, 31), -95}}},
    };
    for (const CurveCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<IntradayCurve> curve = curveFromBars(c.in, c.bars);
        ASSERT_TRUE(curve);
        EXPECT_EQ(curve->model, c.model);
        EXPECT_EQ(pointsOf(*curve), c.points);
    }
}

TEST(IntradayCurve, NoCurveWithoutABarOfAnyHolding)
{
    const EstimateInputs in {gbk("某某精选股票"), {{stock("1.600001", 5)}, "", "", "", ""}, 80.0, {}};
    EXPECT_FALSE(curveFromBars(in, {}));
    EXPECT_FALSE(curveFromBars(in, {{"1.600001", bars(10, {})}}));
    // Bars of what the fund does not hold make no curve of it.
    EXPECT_FALSE(curveFromBars(in, {{"1.600009", bars(10, {{at(9, 30), 10.1}})}}));
}

TEST(IntradayCurve, TheQuotesExtendTheCurveButNeverRewriteAnEarlierMinute)
{
    IntradayCurve curve;
    curve.points = {{at(9, 30), 0.5}, {at(9, 31), 0.7}};
    EXPECT_TRUE(extendCurve(curve, at(9, 31), 0.9));  // the same minute: replaced
    EXPECT_TRUE(extendCurve(curve, at(9, 33), -0.2)); // a later one: added
    EXPECT_FALSE(extendCurve(curve, at(9, 32), 5.0)); // an answer that came late
    const Points expected {{at(9, 30), 50}, {at(9, 31), 90}, {at(9, 33), -20}};
    EXPECT_EQ(pointsOf(curve), expected);
}

TEST(IntradayCurve, EachMinutesQuotesExtendTheCurveOutsideTheHoursTheLastPoint)
{
    FundCurve fund;
    fund.inputs = {gbk("某某精选股票"), {{stock("1.600001", 10)}, "", "", "", ""}, 50.0, {}};
    fund.curve = {EstimateModel::Holdings, {{at(9, 30), 0.5}, {at(9, 31), 1.0}}};
    struct Step {
        const char* what;
        int minute;
        QuoteChanges changes;
        bool extended;
        Points after;
    } const steps[] = {
        // 50 % × 3 = 1.50, a point of its own.
        {"a trading minute", at(9, 32), {{"1.600001", 3.0}}, true, {{at(9, 30), 50}, {at(9, 31), 100}, {at(9, 32), 150}}},
        // At lunch the quotes are 11:30's: -2 × 50 % = -1.00 on the last point.
        {"the lunch", at(12, 10), {{"1.600001", -2.0}}, true, {{at(9, 30), 50}, {at(9, 31), 100}, {at(9, 32), -100}}},
        {"no quote", at(13, 5), {}, false, {{at(9, 30), 50}, {at(9, 31), 100}, {at(9, 32), -100}}},
        {"before the open", at(9, 0), {{"1.600001", 9.0}}, false, {{at(9, 30), 50}, {at(9, 31), 100}, {at(9, 32), -100}}},
        // After the close: the close's point, 0.4 × 50 % = 0.20.
        {"after the close", at(15, 20), {{"1.600001", 0.4}}, true, {{at(9, 30), 50}, {at(9, 31), 100}, {at(9, 32), 20}}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        EXPECT_EQ(extendFromQuotes(fund, step.changes, step.minute), step.extended);
        EXPECT_EQ(pointsOf(fund.curve), step.after);
    }
}

TEST(IntradayCurve, ThePortfolioSumsEachFundsAmountTimesItsChange)
{
    PortfolioFund a {"000001", 10000, {EstimateModel::Holdings, {{at(9, 30), 1.0}, {at(9, 32), -0.5}}}};
    PortfolioFund b {"000002", 5000, {EstimateModel::Index, {{at(9, 31), 2.0}}}};
    const std::vector<PortfolioPoint> curve = portfolioCurve({a, b});
    // 09:30: 10000 × 1 % = 100, the second has no point yet (0).
    // 09:31: 100 + 5000 × 2 % = 200. 09:32: 10000 × -0.5 % = -50, + 100 = 50.
    struct Row {
        int minute;
        long long total, first, second; // fen
    };
    const Row expected[] = {{at(9, 30), 10000, 10000, 0}, {at(9, 31), 20000, 10000, 10000}, {at(9, 32), 5000, -5000, 10000}};
    ASSERT_EQ(curve.size(), std::size(expected));
    for (size_t i = 0; i < curve.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(curve[i].minute, expected[i].minute);
        EXPECT_EQ(roundedUnits(curve[i].profit, 2), expected[i].total);
        ASSERT_EQ(curve[i].shares.size(), 2u);
        EXPECT_EQ(roundedUnits(curve[i].shares[0], 2), expected[i].first);
        EXPECT_EQ(roundedUnits(curve[i].shares[1], 2), expected[i].second);
    }
}

// 09:30-11:30 and 13:01-15:00: 121 + 120 minutes; with Hong Kong's hours
// 09:30-12:00 and 13:01-16:00: 151 + 180.
TEST(IntradayCurve, TheTradingMinutesOfTheDay)
{
    for (const auto& [hongKong, count, lunchEnd, close] :
         {std::tuple {false, 241u, 11 * 60 + 30, 15 * 60}, std::tuple {true, 331u, 12 * 60, 16 * 60}}) {
        const std::vector<int> minutes = tradingMinutes(hongKong);
        ASSERT_EQ(minutes.size(), count);
        EXPECT_EQ(minutes.front(), 9 * 60 + 30);
        EXPECT_EQ(minutes[size_t(lunchEnd - (9 * 60 + 30))], lunchEnd);
        EXPECT_EQ(minutes[size_t(lunchEnd - (9 * 60 + 30)) + 1], 13 * 60 + 1);
        EXPECT_EQ(minutes.back(), close);
    }
}

TEST(IntradayCurve, TheBarsAskedForFollowTheModel)
{
    FundPositions stocks {{stock("1.600001", 5), stock("116.00700", 4)}, "", "", "", ""};
    EXPECT_EQ(curveQuoteIds(stocks, gbk("某某成长混合")), (TextList {"1.600001", "116.00700"}));
    // An index fund needs its index only.
    EXPECT_EQ(curveQuoteIds(stocks, gbk("某某中证500指数")), (TextList {"1.000905"}));
    // A feeder is a feeder first, though its name names an index.
    FundPositions feeder {{stock("1.600001", 2)}, "159915", "", "0.159915", ""};
    EXPECT_EQ(curveQuoteIds(feeder, gbk("某某创业板ETF联接")), (TextList {"0.159915", "1.600001"}));

    // Once the errors choose (two models over 20 days each), the bars are
    // those of the model chosen; a day short, the order still holds.
    auto measured = [](EstimateModel model, int days, double meanError) {
        ModelAccuracy a;
        a.model = model;
        a.days = days;
        a.meanError = meanError;
        return std::pair {model, a};
    };
    using M = EstimateModel;
    const ModelErrors holdingsBetter {measured(M::Index, 20, 0.30), measured(M::Holdings, 20, 0.10)};
    const ModelErrors dayShort {measured(M::Index, 20, 0.30), measured(M::Holdings, 19, 0.10)};
    const ModelErrors indexBetter {measured(M::Feeder, 20, 0.40), measured(M::Index, 20, 0.20),
                                   measured(M::Holdings, 20, 0.30)};
    EXPECT_EQ(curveQuoteIds(stocks, gbk("某某中证500指数"), holdingsBetter), (TextList {"1.600001", "116.00700"}));
    EXPECT_EQ(curveQuoteIds(stocks, gbk("某某中证500指数"), dayShort), (TextList {"1.000905"}));
    EXPECT_EQ(curveQuoteIds(feeder, gbk("某某创业板ETF联接"), indexBetter), (TextList {"0.399006"}));
    EXPECT_EQ(curveQuoteIds(feeder, gbk("某某创业板ETF联接"), holdingsBetter), (TextList {"1.600001"}));
}

} // namespace
} // namespace fw::testing
