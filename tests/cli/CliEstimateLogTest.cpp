// estimate --accuracy and --record on the command line: logged estimates
// matched to a stored NAV history served over loopback HTTP (a day without a
// change and a week of holidays among its rows), the errors worked out by
// hand; the record refused outside its minutes in China time.
#include "store/LedgerDatabase.h"
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

} // namespace
} // namespace fw
