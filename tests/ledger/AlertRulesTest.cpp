// Alert rules on hand-worked sequences of checks: thresholds both ways,
// crossings from the previous close and from the last check, time windows,
// once per trading day, the re-arm margin across days, days without trading,
// checks without a value; then the texts a firing is told with.
#include "funds/AlertCheck.h"
#include "funds/AlertRules.h"
#include "tests/store/TempDir.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>

namespace fw::ledger {
namespace {

constexpr Day kMon = 20423; // 2025-12-01, a Monday
constexpr int k1432 = 14 * 60 + 32;

struct Check {
    Day day;
    int minute;
    std::optional<int64_t> value;
    std::optional<int64_t> previousClose;
    bool fires;
    bool trading = true;
};

struct Case {
    const char* name;
    AlertCondition condition;
    bool above;
    int64_t threshold;
    std::vector<Check> checks;
    int windowStart = -1, windowEnd = -1;
};

AlertRule ruleOf(const Case& c)
{
    AlertRule r;
    r.id = 1;
    r.subject = c.condition == AlertCondition::DayProfit ? AlertSubject::Portfolio : AlertSubject::Fund;
    r.code = "005827";
    r.condition = c.condition;
    r.above = c.above;
    r.threshold = c.threshold;
    r.windowStart = c.windowStart;
    r.windowEnd = c.windowEnd;
    return r;
}

TEST(AlertEvaluation, FiresAsTheSequencesWorkedByHand)
{
    using C = AlertCondition;
    const std::vector<Case> cases = {
        {"a fall to the down threshold fires once, then stays quiet", C::Change, false, -20000,
         {{kMon, 600, -19999, {}, false}, {kMon, 601, -20000, {}, true}, {kMon, 602, -25000, {}, false}}},
        {"a rise to the up threshold fires", C::Change, true, 20000,
         {{kMon, 600, 19999, {}, false}, {kMon, 601, 23100, {}, true}}},
        {"re-armed the same day it still fires only once that day, again the next", C::Change, true, 20000,
         {{kMon, 600, 21000, {}, true}, {kMon, 601, 18000, {}, false}, {kMon, 602, 21000, {}, false},
          {kMon + 1, 600, 21000, {}, true}}},
        // 0.2 points below 2 % is 1.80 %: 1.81 % is not back far enough.
        {"disarmed across days until back past 0.2 points", C::Change, true, 20000,
         {{kMon, 600, 21000, {}, true}, {kMon + 1, 600, 18100, {}, false}, {kMon + 1, 601, 21000, {}, false},
          {kMon + 2, 600, 18000, {}, false}, {kMon + 2, 601, 20500, {}, true}}},
        {"the down side re-arms above the threshold plus the margin", C::Change, false, -20000,
         {{kMon, 600, -20000, {}, true}, {kMon + 1, 600, -18001, {}, false}, {kMon + 1, 601, -21000, {}, false},
          {kMon + 2, 600, -18000, {}, false}, {kMon + 2, 601, -20000, {}, true}}},
        {"a crossing upwards from the previous close at the day's first check", C::Level, true, 12300,
         {{kMon, 600, 12350, 12250, true}}},
        {"no crossing when the previous close was already above", C::Level, true, 12300,
         {{kMon, 600, 12350, 12310, false}, {kMon, 601, 12200, 12310, false}, {kMon, 602, 12320, 12310, true}}},
        {"a crossing downwards from the last checked value", C::Level, false, 12300,
         {{kMon, 600, 12350, 12400, false}, {kMon, 601, 12290, 12400, true}}},
        // 0.2 % of 1.2300 is 0.00246, 25 units: back at 1.2275, not at 1.2276.
        {"a level re-arms 0.2 % of itself back, and crosses again from the next previous close", C::Level, true,
         12300,
         {{kMon, 600, 12350, 12250, true}, {kMon, 601, 12276, 12250, false}, {kMon, 602, 12350, 12250, false},
          {kMon, 603, 12275, 12250, false}, {kMon + 1, 600, 12310, 12280, true}}},
        // 0.2 % of 1000 yuan is 2 yuan: back at -998.00, not at -998.01.
        {"yuan re-arm 0.2 % of the threshold back", C::DayProfit, false, -10000000,
         {{kMon, 600, -10000000, {}, true}, {kMon + 1, 600, -9980100, {}, false},
          {kMon + 1, 601, -10500000, {}, false}, {kMon + 2, 600, -9980000, {}, false},
          {kMon + 2, 601, -10000001, {}, true}}},
        {"only inside the daily window, both ends included", C::Change, false, -20000,
         {{kMon, 14 * 60 + 39, -30000, {}, false}, {kMon, 14 * 60 + 40, -30000, {}, true},
          // Outside the window a value does not re-arm the rule either.
          {kMon + 1, 14 * 60 + 56, -10000, {}, false}, {kMon + 1, 14 * 60 + 55, -30000, {}, false},
          {kMon + 2, 14 * 60 + 41, -10000, {}, false}, {kMon + 2, 14 * 60 + 55, -30000, {}, true}},
         14 * 60 + 40, 14 * 60 + 55},
        {"never on a day without trading", C::Change, false, -20000,
         {{kMon + 5, k1432, -30000, {}, false, false}, {kMon + 7, k1432, -30000, {}, true}}},
        {"a missing estimate never fires", C::Change, false, -20000,
         {{kMon, 600, std::nullopt, {}, false}, {kMon, 601, -20000, {}, true}}},
        {"a missing value leaves the last checked value for the crossing", C::Level, true, 12300,
         {{kMon, 600, 12200, 12100, false}, {kMon, 601, std::nullopt, 12100, false}, {kMon, 602, 12300, 12100, true}}},
    };
    for (const Case& c : cases) {
        AlertRule rule = ruleOf(c);
        for (size_t i = 0; i < c.checks.size(); ++i) {
            const Check& k = c.checks[i];
            const bool fired = evaluateAlert(rule, {k.value, k.previousClose}, {k.day, k.minute}, k.trading);
            EXPECT_EQ(fired, k.fires) << c.name << ", check " << i + 1;
        }
    }
}

TEST(AlertEvaluation, ASwitchedOffRuleNeitherFiresNorMovesItsState)
{
    AlertRule rule = ruleOf({"", AlertCondition::Change, false, -20000, {}});
    rule.enabled = false;
    EXPECT_FALSE(evaluateAlert(rule, {-30000, {}}, {kMon, k1432}, true));
    EXPECT_TRUE(rule.state.armed);
    EXPECT_EQ(rule.state.lastDay, 0);
}

TEST(AlertTexts, ToldWithTheSubjectTheValueAndTheThreshold)
{
    struct Row {
        AlertSubject subject;
        AlertCondition condition;
        bool above;
        int64_t threshold, value;
        const char* name;
        const char* expected;
    };
    const Row rows[] = {
        {AlertSubject::Fund, AlertCondition::Change, false, -20000, -23100, "易方达蓝筹精选混合",
         "易方达蓝筹精选混合 估算 -2.31%，低于 -2.00%"},
        // 2.305 % is shown to hundredths, the half away from zero.
        {AlertSubject::Fund, AlertCondition::Change, true, 20000, 23050, "某基金", "某基金 估算 +2.31%，高于 +2.00%"},
        {AlertSubject::Stock, AlertCondition::Level, true, 16500000, 16520000, "贵州茅台",
         "贵州茅台 股价 1652.00，升破 1650.00"},
        {AlertSubject::Fund, AlertCondition::UnitValue, false, 12300, 12299, "", "005827 单位净值 1.2299，跌破 1.2300"},
        {AlertSubject::Holding, AlertCondition::HoldingRate, true, 150000, 151234, "某基金",
         "某基金 持有收益率 +15.12%，高于 +15.00%"},
        {AlertSubject::Portfolio, AlertCondition::DayProfit, false, -10000000, -12345600, "",
         "组合 今日估算收益 -1234.56，低于 -1000.00"},
    };
    for (const Row& r : rows) {
        AlertRule rule;
        rule.subject = r.subject;
        rule.code = "005827";
        rule.condition = r.condition;
        rule.above = r.above;
        rule.threshold = r.threshold;
        EXPECT_EQ(alertMessage(rule, r.name, r.value), r.expected);
    }
}

TEST(AlertTexts, ThresholdsAndWindowsAsTyped)
{
    EXPECT_EQ(parseAlertFigure("-2"), -20000);
    EXPECT_EQ(parseAlertFigure("1.2345"), 12345);
    EXPECT_EQ(parseAlertFigure("0.5"), 5000);
    EXPECT_EQ(parseAlertFigure("1.23456"), std::nullopt);
    EXPECT_EQ(parseAlertFigure("2%"), std::nullopt);
    EXPECT_EQ(parseAlertFigure("1e3"), std::nullopt);
    int a = 0, b = 0;
    EXPECT_TRUE(parseAlertWindow("14:40-14:55", a, b));
    EXPECT_EQ(a, 880);
    EXPECT_EQ(b, 895);
    EXPECT_TRUE(parseAlertWindow("09:30–11:30", a, b));
    EXPECT_EQ(a, 570);
    EXPECT_EQ(b, 690);
    EXPECT_FALSE(parseAlertWindow("14:40", a, b));
    EXPECT_FALSE(parseAlertWindow("25:00-26:00", a, b));
}

TEST(AlertTexts, TheTrayTooltipGroupsThousandsAndSaysWhen)
{
    const std::pair<int64_t, const char*> money[] = {
        {456789, "+4,567.89"}, {12345, "+123.45"}, {-123456789, "-1,234,567.89"},
        {0, "0.00"},           {100000, "+1,000.00"}, {-99, "-0.99"},
    };
    for (const auto& [cents, text] : money)
        EXPECT_EQ(groupedMoney(cents), text);
    // 123.455 yuan is shown to the cent, the half away from zero.
    EXPECT_EQ(trayTooltip(123.455, 456789, 14 * 60 + 32), "今日估算收益 +123.46　持有收益 +4,567.89　14:32 更新");
    EXPECT_EQ(trayTooltip(std::nullopt, std::nullopt, 9 * 60 + 5), "今日估算收益 --　持有收益 --　09:05 更新");
}

TEST(AlertDigests, TextsAndSettings)
{
    // The three that moved most, by the size of the move, with the estimate's texts.
    EXPECT_EQ(middayDigestText(-13.944, {{"A", 1.234}, {"B", -2.1}, {"C", 0.5}, {"D", -0.2}}),
              "今日估算收益 -13.94　变动最大：B -2.10%，A +1.23%，C +0.50%");
    EXPECT_EQ(middayDigestText(0, {}), "今日估算收益 0.00");
    // Equal moves keep the holdings' order.
    EXPECT_EQ(middayDigestText(1, {{"A", 0.5}, {"B", -2.1}, {"E", 2.1}, {"F", -2.1}}),
              "今日估算收益 +1.00　变动最大：B -2.10%，E +2.10%，F -2.10%");
    EXPECT_EQ(eveningDigestText(-1200, -1394), "今日收益 -12.00　估算 -13.94，偏差 +1.94");
    EXPECT_EQ(eveningDigestText(123456, std::nullopt), "今日收益 +1,234.56");

    test::TempDir dir;
    ConfigFile config(dir.file("配置.ini"));
    DigestSettings defaults = digestSettings(config);
    EXPECT_FALSE(defaults.midday);
    EXPECT_FALSE(defaults.evening);
    EXPECT_EQ(defaults.middayMinute, 14 * 60 + 30);
    ASSERT_TRUE(config.write(gbk("提醒"), gbk("盘中摘要"), gbk("真")));
    ASSERT_TRUE(config.write(gbk("提醒"), gbk("摘要时间"), "14:45"));
    ASSERT_TRUE(config.write(gbk("提醒"), gbk("净值摘要"), gbk("假")));
    const DigestSettings set = digestSettings(config);
    EXPECT_TRUE(set.midday);
    EXPECT_FALSE(set.evening);
    EXPECT_EQ(set.middayMinute, 14 * 60 + 45);
}

// The evening digest waits for every held fund's unit value of today, but not
// past the day's last look at 23:00.
TEST(AlertDigests, TheEveningOneWaitsForEveryFundsUnitValue)
{
    const Day today = 20000, yesterday = 19999;
    struct Case {
        bool on;
        int minute;
        std::optional<Day> lastClose; // the ledger's newest close
        Day navsThrough;              // every held fund has a unit value through
        bool due;
    } cases[] = {
        {true, 18 * 60, today, today, true},
        {true, 18 * 60, today, yesterday, false}, // a fund has not published yet
        {true, 23 * 60, today, yesterday, true},  // the last look tells what is in
        {true, 22 * 60 + 59, today, yesterday, false},
        {true, 16 * 60, today, today, true},
        {true, 15 * 60 + 59, today, today, false},
        {true, 23 * 60, yesterday, yesterday, false}, // nothing of today in
        {true, 18 * 60, std::nullopt, today, false},
        {false, 18 * 60, today, today, false},
    };
    for (const Case& c : cases) {
        DigestSettings digests;
        digests.evening = c.on;
        AlertSources sources;
        if (c.lastClose)
            sources.lastClose = DayFigures {*c.lastClose, 0, 0, 0};
        sources.navsThrough = c.navsThrough;
        EXPECT_EQ(eveningDigestDue(digests, sources, {today, c.minute}), c.due)
            << c.minute << " " << c.navsThrough << " " << c.on;
    }
}

} // namespace
} // namespace fw::ledger
