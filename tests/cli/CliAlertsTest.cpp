// fundwatch-cli alerts against the sample service with the moment the test
// sets (--date/--time): rules added, listed and removed, what a check fires on
// a trading day and not on another, once a day, and a refresh that failed.
#include "tests/cli/CliTestSupport.h"
#include "store/LedgerRecords.h"
#include "text/NumberText.h"

namespace fw::test {
namespace {

using sample::Fault;

// The figure after "涨跌幅 " in a firing's text.
double changeIn(const std::string& line)
{
    const std::string key = "涨跌幅 ";
    const size_t at = line.find(key);
    return at == std::string::npos ? 999 : textValue(std::string_view(line).substr(at + key.size()));
}

TEST(CliAlerts, RulesAreAddedListedAndRemoved)
{
    CliWorld world(50);
    struct Bad {
        std::vector<std::string> args;
        int status;
    };
    const Bad refused[] = {
        {{"alerts", "add", "fund:12345", "up", "2"}, 2},           // no fund code
        {{"alerts", "add", "portfolio", "up", "2"}, 2},            // the portfolio has no change rule
        {{"alerts", "add", "holding:005827", "cross-up", "1"}, 2}, // nor a holding a level
        {{"alerts", "add", "fund:005827", "up", "2.12345"}, 2},    // five decimals
        {{"alerts", "add", "fund:005827", "up", "2", "--window", "14:40"}, 2},
        {{"alerts", "check"}, 2},                                 // without --once
        {{"alerts", "remove", "9"}, 1},                           // no such rule
    };
    for (const Bad& b : refused)
        EXPECT_EQ(world.run(b.args).status, b.status) << b.args[2];

    EXPECT_EQ(world.run({"alerts", "add", "fund:005827", "down", "-2", "--window", "14:40-14:55"}).out, "1\n");
    EXPECT_EQ(world.run({"alerts", "add", "stock:1.600519", "cross-up", "1650"}).out, "2\n");
    EXPECT_EQ(world.run({"alerts", "add", "portfolio", "profit-down", "-1000"}).out, "3\n");
    ASSERT_EQ(world.run({"alerts", "remove", "2"}).status, 0);
    const std::vector<std::string> lines = world.run({"alerts", "list"}).lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(fields(lines[1]), (std::vector<std::string> {"1", "基金 005827 估算 ≤ -2.00%  14:40-14:55", "待命", "--"}));
    EXPECT_EQ(fields(lines[2]), (std::vector<std::string> {"3", "组合 今日估算收益 ≤ -1000.00", "待命", "--"}));
}

TEST(CliAlerts, ACheckFiresOnATradingDayOnceAndNeverOnAnother)
{
    CliWorld world(50);
    sample::Security index;
    ASSERT_TRUE(world.market().security(1, "000001", index));
    const std::string day = world.market().figureDate();       // the day of the sample's minute bars
    const std::string saturday = ledger::dayText(*ledger::parseDay(day) + 1);
    ASSERT_EQ(ledger::weekdayOf(*ledger::parseDay(day)), 4);  // a Friday

    // The index moves less than 100 % either way: the first rule holds, the second never.
    ASSERT_EQ(world.run({"alerts", "add", "stock:1.000001", "up", "-100"}).status, 0);
    ASSERT_EQ(world.run({"alerts", "add", "stock:1.000001", "down", "-100"}).status, 0);

    // No minute bars carry Saturday's date: nothing is checked.
    CliRun run = world.run({"alerts", "check", "--once", "--date", saturday, "--time", "10:15"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");

    // Nor in the midday break of a trading day.
    run = world.run({"alerts", "check", "--once", "--date", day, "--time", "12:00"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");

    run = world.run({"alerts", "check", "--once", "--date", day, "--time", "10:15"});
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.lines().size(), 1u) << run.out;
    EXPECT_EQ(run.lines()[0].rfind("10:15  上证指数 涨跌幅 ", 0), 0u) << run.out;
    EXPECT_NEAR(changeIn(run.lines()[0]), index.change, 0.006);

    // The next minute the rule is disarmed: nothing more, one line in the log.
    run = world.run({"alerts", "check", "--once", "--date", day, "--time", "10:16"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    const std::vector<std::string> log = world.run({"alerts", "log"}).lines();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(fields(log[1])[0], day);
    EXPECT_EQ(fields(log[1])[1], "10:15");
    EXPECT_EQ(fields(log[1])[2], "1");
    const std::vector<std::string> rules = world.run({"alerts", "list"}).lines();
    EXPECT_EQ(fields(rules[1])[2], "已触发，待回落");
    EXPECT_EQ(fields(rules[1])[3], day);
    EXPECT_EQ(fields(rules[2])[2], "待命");
}

TEST(CliAlerts, ARefreshThatFailedExitsOneAndFiresNothing)
{
    CliWorld world(50);
    const std::string day = world.market().figureDate();
    ASSERT_EQ(world.run({"alerts", "add", "stock:1.000001", "up", "-100"}).status, 0);
    struct Broken {
        const char* name;
        Fault fault;
    };
    const Broken faults[] = {
        {"a stalled answer", Fault(Fault::Stall, "trends2", 5000)},
        {"an HTTP error", Fault(Fault::HttpError, "trends2", 503)},
    };
    for (const Broken& b : faults) {
        world.service->clearFaults();
        world.service->addFault(b.fault);
        const CliRun run = world.run({"alerts", "check", "--once", "--date", day, "--time", "10:15", "--timeout", "1"});
        EXPECT_EQ(run.status, 1) << b.name;
        EXPECT_EQ(run.out, "") << b.name;
        EXPECT_NE(run.err.find("行情刷新失败"), std::string::npos) << b.name;
    }
    world.service->clearFaults();
    EXPECT_EQ(world.run({"alerts", "check", "--once", "--date", day, "--time", "10:16"}).lines().size(), 1u);
}

// A holding's 持有收益率 is read once the day's unit values are in, and the
// firing names the fund. 1000 shares held at a cost of 1000 yuan: the rate is
// the day's unit value − 1, in percent.
TEST(CliAlerts, AHoldingsRateFiresOnTheDaysUnitValueNamedByItsFund)
{
    CliWorld world(50);
    const std::string day = world.market().figureDate();
    const sample::Fund* fund = nullptr;
    for (const sample::Fund& f : world.market().funds()) {
        const std::vector<sample::NavDay> navs = world.market().navHistory(f);
        const bool plain = std::none_of(navs.begin(), navs.end(),
                                        [](const sample::NavDay& n) { return n.dividend || n.split; });
        if (!fund && plain && navs.size() > 2 && navs.back().change != sample::kNoFigure)
            fund = &f;
    }
    ASSERT_TRUE(fund);
    const int64_t unit = world.market().navHistory(*fund).back().unit; // 1e-4
    ASSERT_EQ(world.run({"ledger", "add", "对账", fund->code, "--shares", "1000", "--cost", "1000", "--date", "2026-11-02"})
                  .status,
              0);
    ASSERT_EQ(world.run({"alerts", "add", "holding:" + fund->code, "rate-up", "-100"}).status, 0);

    // In trading hours a holding's rate is not read: the day's unit value is not out.
    CliRun run = world.run({"alerts", "check", "--once", "--date", day, "--time", "10:15"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");

    run = world.run({"alerts", "check", "--once", "--date", day, "--time", "16:00"});
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.lines().size(), 1u) << run.out;
    const int64_t hundredths = unit - 10000; // of a percent
    const int64_t whole = std::abs(hundredths);
    const std::string cents = std::to_string(whole % 100);
    const std::string rate = std::string(hundredths >= 0 ? "+" : "-") + std::to_string(whole / 100) + "."
        + (cents.size() < 2 ? "0" : "") + cents + "%";
    EXPECT_EQ(run.lines()[0], "16:00  " + fund->name + " 持有收益率 " + rate + "，高于 -100.00%");
}

// A fund whose page does not answer is a refresh that failed.
TEST(CliAlerts, AFundPageThatFailsIsARefreshThatFailed)
{
    CliWorld world(50);
    const std::string day = world.market().figureDate();
    const std::string code = world.market().funds().front().code;
    ASSERT_EQ(world.run({"alerts", "add", "fund:" + code, "up", "-100"}).status, 0);
    world.service->addFault(Fault(Fault::HttpError, "/" + code + ".html", 503));
    const CliRun run = world.run({"alerts", "check", "--once", "--date", day, "--time", "10:15"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("行情刷新失败"), std::string::npos) << run.err;
}

} // namespace
} // namespace fw::test
