// estimate --accuracy and --record on the command line: logged estimates
// matched to a stored NAV history served over loopback HTTP (a day without a
// change and a week of holidays among its rows), the errors worked out by
// hand; the record refused outside its minutes in China time.
#include "funds/EstimateModels.h"
#include "store/ConfigFile.h"
#include "store/LedgerDatabase.h"
#include "text/CodePage.h"
#include "net/ConnectionPool.h"
#include "tests/cli/CliTestSupport.h"
#define DETAILS_DATA_DIR LEDGER_DATA_DIR
#include "tests/funds/DetailsTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fw {
namespace {

using Json = nlohmann::ordered_json;
using ledger::Day;
using ledger::LoggedEstimate;

Day day(const char* text) { return ledger::parseDay(text).value_or(0); }

std::string storedFile(const std::string& name)
{
    std::ifstream in(std::string(LEDGER_DATA_DIR) + "/" + name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The stored history of 000001 (tests/data/ledger/nav_holiday_fund.js), its changes:
//   2025-09-26 none · 09-29 1.00 · 09-30 0.99 · (holiday 10-01 … 10-08)
//   10-09 2.94 · 10-10 5.00 · 10-13 4.76
class EstimateLogCli : public ::testing::Test {
protected:
    void SetUp() override { service.route("/f10/lsjz?fundCode=000001&", storedFile("nav_holiday_fund.js")); }
    void TearDown() override
    {
        cli::setCliClock({});
        net::closeIdleConnections();
    }
    test::CliRun run(std::vector<std::string> args)
    {
        cli::resetCancel();
        args.insert(args.end(), {"--service", service.baseUrl(), "--data-dir", dir.path()});
        std::ostringstream out, err;
        cli::CliIo io {out, err, false, false, false};
        test::CliRun result;
        result.status = cli::runCli(args, io);
        result.out = out.str();
        result.err = err.str();
        return result;
    }
    void logEstimates(const std::vector<std::tuple<const char*, const char*, int, int64_t>>& rows)
    {
        ledger::LedgerDatabase db;
        ASSERT_TRUE(db.open(ledger::ledgerFilePath(dir.path()))) << db.failure();
        std::vector<LoggedEstimate> log;
        for (const auto& [code, date, model, change] : rows) {
            LoggedEstimate e;
            e.code = code;
            e.day = day(date);
            e.model = model;
            e.change = change;
            log.push_back(e);
        }
        ASSERT_EQ(db.logEstimates(log), int(log.size()));
    }

    testing::StoredService service;
    test::TempDir dir;
};

constexpr int kIndex = 1, kHoldings = 2;

TEST_F(EstimateLogCli, AccuracyOfStoredDaysAgainstTheFetchedNavHistory)
{
    logEstimates({
        // Holdings: 09-26 has no change and 10-02 no row at all; the rest miss by
        // |1.20 - 1.00| = 0.20, |0.79 - 0.99| = 0.20, |2.50 - 2.94| = 0.44,
        // 0, |4.00 - 4.76| = 0.76: 1.60 / 5 = 0.32, the largest 0.76.
        {"000001", "2025-09-26", kHoldings, 5000},
        {"000001", "2025-09-29", kHoldings, 12000},
        {"000001", "2025-09-30", kHoldings, 7900},
        {"000001", "2025-10-02", kHoldings, 10000},
        {"000001", "2025-10-09", kHoldings, 25000},
        {"000001", "2025-10-10", kHoldings, 50000},
        {"000001", "2025-10-13", kHoldings, 40000},
        // Index: |3.00 - 2.94| = 0.06, |4.90 - 5.00| = 0.10: 0.08. Fewer than
        // 20 days each: the index model comes first.
        {"000001", "2025-10-09", kIndex, 30000},
        {"000001", "2025-10-10", kIndex, 49000},
        // No history is served for this one.
        {"000002", "2025-10-10", kHoldings, 10000},
    });
    const test::CliRun table = run({"estimate", "--accuracy"});
    EXPECT_EQ(table.status, 0) << table.err;
    EXPECT_EQ(table.lines(), (std::vector<std::string> {"基金代码\t模型\t天数\t平均误差\t最大误差",
                                                         "000001\t指数\t2\t0.08%\t0.10%",
                                                         "000002\t持仓\t0\t--\t--"}));
    EXPECT_NE(table.err.find("000002"), std::string::npos) << table.err;

    const test::CliRun json = run({"estimate", "--accuracy", "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const Json funds = json.json()["funds"];
    ASSERT_EQ(funds.size(), 2u);
    EXPECT_EQ(funds[0]["code"], "000001");
    EXPECT_EQ(funds[0]["model"], "index");
    EXPECT_EQ(funds[0]["days"], 2);
    EXPECT_DOUBLE_EQ(funds[0]["meanError"].get<double>(), 0.08);
    EXPECT_DOUBLE_EQ(funds[0]["largestMiss"].get<double>(), 0.10);
    const Json& holdings = funds[0]["models"][1];
    EXPECT_EQ(holdings["model"], "holdings");
    EXPECT_EQ(holdings["days"], 5);
    EXPECT_DOUBLE_EQ(holdings["meanError"].get<double>(), 0.32);
    EXPECT_DOUBLE_EQ(holdings["largestMiss"].get<double>(), 0.76);
    EXPECT_TRUE(funds[1]["meanError"].is_null());

    // The changes stay stored: with the service gone the figures are the same.
    service.route("/f10/lsjz", "gone");
    const test::CliRun again = run({"estimate", "--accuracy"});
    EXPECT_EQ(again.lines(), table.lines());
}

TEST_F(EstimateLogCli, NoLogYetAndUsage)
{
    const test::CliRun empty = run({"estimate", "--accuracy", "--json"});
    EXPECT_EQ(empty.status, 0) << empty.err;
    EXPECT_EQ(empty.json(), Json::parse(R"({"funds":[]})"));
    EXPECT_FALSE(std::filesystem::exists(ledger::ledgerFilePath(dir.path())));
    EXPECT_EQ(run({"estimate"}).status, cli::kExitUsage);
    EXPECT_EQ(run({"estimate", "--record", "--accuracy"}).status, cli::kExitUsage);
    EXPECT_EQ(run({"fund", "000001", "--record"}).status, cli::kExitUsage);
}

// Seconds since 1970 of a UTC date and time.
std::time_t utcAt(const char* date, int hour, int minute)
{
    return std::time_t(day(date)) * 86400 + hour * 3600 + minute * 60;
}

// Against the sample service: a feeder fund, an index fund and a fund with
// Hong Kong holdings in the watchlist, and a second index fund only in the
// ledger (its name, which its model goes by, read from its fund page).
TEST(EstimateRecordCli, RecordsEveryModelOnceADayInTheMinutesBeforeTheClose)
{
    test::CliWorld world(600);
    struct ClockBack {
        ~ClockBack() { cli::setCliClock({}); }
    } clockBack;
    const sample::Market& m = world.market();
    const sample::Fund *feeder = nullptr, *hongKong = nullptr;
    std::vector<const sample::Fund*> indexFunds;
    for (const sample::Fund& f : m.funds()) {
        bool listsHongKong = false;
        for (const sample::Holding& h : m.holdings(f, 0))
            listsHongKong = listsHongKong || m.stocks()[size_t(h.stock)].market == 116;
        if (f.target >= 0 && !feeder)
            feeder = &f;
        else if (f.target < 0 && m.trackedIndex(f) >= 0 && !m.holdings(f, 0).empty() && indexFunds.size() < 2)
            indexFunds.push_back(&f);
        else if (f.target < 0 && m.trackedIndex(f) < 0 && listsHongKong && !hongKong)
            hongKong = &f;
    }
    ASSERT_TRUE(feeder && hongKong && indexFunds.size() == 2);
    std::string watch;
    for (const sample::Fund* f : {feeder, indexFunds[0], hongKong})
        watch += f->code + "/" + f->name + "/基金|";
    // A stock in the watchlist is no fund to estimate.
    watch += "600519/贵州茅台/股票|";
    ASSERT_TRUE(ConfigFile(world.dir.file("配置.ini")).write(gbk("自选数据"), gbk("自选"), utf8ToGbk(watch)));
    ASSERT_EQ(world.run({"ledger", "add", "买入", indexFunds[1]->code, "--amount", "1000", "--date", "2026-12-01"}).status, 0);

    auto logOf = [&] {
        ledger::LedgerDatabase db;
        EXPECT_TRUE(db.open(ledger::ledgerFilePath(world.dir.path())));
        std::map<std::string, std::vector<int>> models;
        for (const LoggedEstimate& e : db.estimateLog())
            if (e.day == day("2026-12-08"))
                models[e.code].push_back(e.model);
        return models;
    };

    // Tuesday 14:54 in China: not yet.
    cli::setCliClock([] { return utcAt("2026-12-08", 6, 54); });
    const test::CliRun early = world.run({"estimate", "--record"});
    EXPECT_EQ(early.status, cli::kExitNotNow);
    EXPECT_NE(early.err.find("2026-12-08 14:54"), std::string::npos) << early.err;
    EXPECT_TRUE(logOf().empty());

    cli::setCliClock([] { return utcAt("2026-12-08", 7, 0); });
    const test::CliRun first = world.run({"estimate", "--record"});
    ASSERT_EQ(first.status, 0) << first.err;
    // Feeder: its target; index funds: the index and their holdings; Hong Kong: the holdings.
    const int feederModel = int(EstimateModel::Feeder), indexModel = int(EstimateModel::Index),
              holdingsModel = int(EstimateModel::Holdings);
    const std::map<std::string, std::vector<int>> expected {
        {feeder->code, {feederModel}},
        {indexFunds[0]->code, {indexModel, holdingsModel}},
        {indexFunds[1]->code, {indexModel, holdingsModel}},
        {hongKong->code, {holdingsModel}},
    };
    EXPECT_EQ(logOf(), expected);
    EXPECT_EQ(first.out, "已记录 6 个估算（4/4 只基金）\n");

    // 15:05, the last minute: the day is recorded already.
    cli::setCliClock([] { return utcAt("2026-12-08", 7, 5); });
    const test::CliRun second = world.run({"estimate", "--record"});
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.out, "今日的估算已经记录过，没有新增\n");
    EXPECT_EQ(logOf(), expected);

    // Saturday at 15:00: no trading day.
    cli::setCliClock([] { return utcAt("2026-12-12", 7, 0); });
    EXPECT_EQ(world.run({"estimate", "--record"}).status, cli::kExitNotNow);
}

} // namespace
} // namespace fw
