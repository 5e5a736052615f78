// The trade ledger on the command line: trades booked and shown with figures
// worked out by hand from a stored NAV history served over loopback HTTP, the
// CSV files, 定投, the sample service's money fund, and failed writes.
#include "store/ConfigFile.h"
#include "store/LedgerDatabase.h"
#include "store/Sqlite.h"
#include "net/ConnectionPool.h"
#include "tests/cli/CliTestSupport.h"
// The stored-answer server reads from the ledger's data.
#define DETAILS_DATA_DIR LEDGER_DATA_DIR
#include "tests/funds/DetailsTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fw {
namespace {

using Json = nlohmann::ordered_json;

// A fund whose stored history (tests/data/ledger/nav_holiday_fund.js) runs
//   2025-09-26 1.0000 · 09-29 1.0100 · 09-30 1.0200 · (holiday 10-01 … 10-08)
//   10-09 1.0000, paying 0.0500 a share · 10-10 1.0500 · 10-13 1.1000
// and the benchmark 110020 (nav_benchmark.js).
class StoredLedger : public ::testing::Test {
protected:
    // The program keeps connections open; the server stops without waiting for them.
    void TearDown() override { net::closeIdleConnections(); }
    void SetUp() override
    {
        service.route("/f10/lsjz?fundCode=000001&", storedFile("nav_holiday_fund.js"));
        service.route("/f10/lsjz?fundCode=110020&", storedFile("nav_benchmark.js"));
    }
    static std::string storedFile(const std::string& name)
    {
        std::ifstream in(std::string(LEDGER_DATA_DIR) + "/" + name, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    test::CliRun run(std::vector<std::string> args, const std::string& dataDir = {})
    {
        cli::resetCancel();
        args.insert(args.end(), {"--service", service.baseUrl(), "--data-dir", dataDir.empty() ? dir.path() : dataDir});
        std::ostringstream out, err;
        cli::CliIo io {out, err, false, false, false};
        test::CliRun result;
        result.status = cli::runCli(args, io);
        result.out = out.str();
        result.err = err.str();
        return result;
    }
    void book(std::vector<std::string> args)
    {
        const test::CliRun r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
    }
    // The four trades of the example.
    void bookExample()
    {
        // 14:00: counts for 09-26, confirmed at 1.0000 → 1000.00 shares.
        book({"ledger", "add", "买入", "000001", "--amount", "1000", "--date", "2025-09-26", "--time", "14:00"});
        // 15:30: counts for Saturday 09-27, confirmed Monday at 1.0100; 1 % fee:
        // net 1010/1.01 = 1000.00, fee 10.00, shares 1000/1.01 = 990.10.
        book({"ledger", "add", "buy", "000001", "--amount", "1010", "--date", "2025-09-26", "--time", "15:30",
              "--fee-rate", "1"});
        // A holiday: confirmed on 10-09 at 1.0000 → 500.00 shares; it takes no
        // part in that row's dividend: 1990.10 × 0.05 = 99.505 → 99.51.
        book({"ledger", "add", "买入", "000001", "--amount", "500", "--date", "2025-10-01", "--account", "券商"});
        // 300 of the 2490.10 held: gross 300 × 1.05 = 315.00, no fee; held cost
        // falls by 2510 × 300 / 2490.10 = 302.3975 → 302.40.
        book({"ledger", "add", "sell", "000001", "--shares", "300", "--date", "2025-10-10", "--time", "10:00"});
    }

    testing::StoredService service;
    test::TempDir dir;
};

TEST_F(StoredLedger, FiguresOfBuysAHolidayADividendAndASaleToTheCent)
{
    bookExample();
    // Account 默认: 1990.10 − 300 = 1690.10 shares; 券商: 500.00.
    const test::CliRun shown = run({"portfolio", "--json"});
    ASSERT_EQ(shown.status, 0) << shown.err;
    const Json doc = shown.json();
    // Held cost 默认: 2010 − 302.40… the sale is booked in 默认, whose lots
    // are 1990.10 shares for 2010.00: 2010 × 300 / 1990.10 = 302.9998 → 303.00.
    //   默认: market value 1690.10 × 1.1 = 1859.11; held cost 1707.00;
    //         holding profit 152.11; dividend 99.51; proceeds 315.00;
    //         total 1859.11 + 315 + 99.51 − 2010 = 263.62; realised 111.51.
    //   券商: 500 × 1.1 = 550.00; held cost 500.00; total 50.00.
    const struct {
        const char* account;
        double shares, marketValue, heldCost, holdingProfit, totalProfit, realisedProfit;
    } expected[] = {
        {"券商", 500.00, 550.00, 500.00, 50.00, 50.00, 0.00},
        {"默认", 1690.10, 1859.11, 1707.00, 152.11, 263.62, 111.51},
    };
    ASSERT_EQ(doc["holdings"].size(), std::size(expected)) << shown.out;
    for (size_t i = 0; i < std::size(expected); ++i) {
        const Json& h = doc["holdings"][i];
        const auto& e = expected[i];
        EXPECT_EQ(h["account"], e.account);
        EXPECT_EQ(h["code"], "000001");
        EXPECT_DOUBLE_EQ(h["shares"].get<double>(), e.shares) << e.account;
        EXPECT_DOUBLE_EQ(h["marketValue"].get<double>(), e.marketValue) << e.account;
        EXPECT_DOUBLE_EQ(h["heldCost"].get<double>(), e.heldCost) << e.account;
        EXPECT_DOUBLE_EQ(h["holdingProfit"].get<double>(), e.holdingProfit) << e.account;
        EXPECT_DOUBLE_EQ(h["totalProfit"].get<double>(), e.totalProfit) << e.account;
        EXPECT_DOUBLE_EQ(h["realisedProfit"].get<double>(), e.realisedProfit) << e.account;
        // The flows span 17 days: no annual rate.
        EXPECT_TRUE(h["xirr"].is_null()) << e.account;
    }
    // 默认: 152.11 / 1707.00 = 8.911 % → 8.91; 263.62 / 2010 = 13.116 % → 13.12.
    EXPECT_DOUBLE_EQ(doc["holdings"][1]["holdingProfitRate"].get<double>(), 8.91);
    EXPECT_DOUBLE_EQ(doc["holdings"][1]["totalProfitRate"].get<double>(), 13.12);
    // The ledger sums the holdings' rounded figures.
    EXPECT_DOUBLE_EQ(doc["total"]["marketValue"].get<double>(), 2409.11);
    EXPECT_DOUBLE_EQ(doc["total"]["totalProfit"].get<double>(), 313.62);

    // One account alone.
    const Json one = run({"portfolio", "--json", "--account", "券商"}).json();
    ASSERT_EQ(one["holdings"].size(), 1u);
    EXPECT_DOUBLE_EQ(one["total"]["marketValue"].get<double>(), 550.00);

    // Trades: states, confirmation days, fees.
    const Json trades = run({"ledger", "list", "--json"}).json();
    ASSERT_EQ(trades.size(), 4u);
    const struct {
        const char* confirm;
        double shares, fee;
    } confirmed[] = {{"2025-09-26", 1000.00, 0}, {"2025-09-29", 990.10, 10.00}, {"2025-10-09", 500.00, 0},
                     {"2025-10-10", 300.00, 0}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(trades[i]["state"], "已确认") << i;
        EXPECT_EQ(trades[i]["confirmDate"], confirmed[i].confirm) << i;
        EXPECT_DOUBLE_EQ(trades[i]["shares"].get<double>(), confirmed[i].shares) << i;
        EXPECT_DOUBLE_EQ(trades[i]["fee"].get<double>(), confirmed[i].fee) << i;
    }
    EXPECT_DOUBLE_EQ(trades[3]["amount"].get<double>(), 315.00);
    EXPECT_EQ(run({"ledger", "list", "--json", "--account", "券商"}).json().size(), 1u);
}

TEST_F(StoredLedger, DailyHistorySumsToTheTotalAndReturnsBesideTheBenchmark)
{
    bookExample();
    const test::CliRun history = run({"portfolio", "history", "--json"});
    ASSERT_EQ(history.status, 0) << history.err;
    // 累计收益 at each close (both accounts):
    //   09-26 1000.00 − 1000            = 0
    //   09-29 1990.10 × 1.01 = 2010.00 − 2010 = 0
    //   09-30 1990.10 × 1.02 = 2029.90 → 19.90
    //   10-09 2490.10 + 99.51 − 2510    = 79.61
    //   10-10 1690.10 × 1.05 = 1774.61, 500 × 1.05 = 525.00: + 315 + 99.51 − 2510 = 204.12
    //   10-13 313.62
    const double totals[] = {0, 0, 19.90, 79.61, 204.12, 313.62};
    const Json days = history.json();
    ASSERT_EQ(days.size(), std::size(totals)) << history.out;
    int64_t sumOfDays = 0;
    for (size_t i = 0; i < days.size(); ++i) {
        EXPECT_DOUBLE_EQ(days[i]["totalProfit"].get<double>(), totals[i]) << days[i]["date"];
        sumOfDays += std::llround(days[i]["dayProfit"].get<double>() * 100);
    }
    EXPECT_EQ(days[3]["date"], "2025-10-09"); // no rows in the holiday
    EXPECT_EQ(sumOfDays, 31362);

    const Json window = run({"portfolio", "history", "--json", "--from", "2025-10-09", "--to", "2025-10-10"}).json();
    ASSERT_EQ(window.size(), 2u);
    EXPECT_DOUBLE_EQ(window[1]["dayProfit"].get<double>(), 124.51);

    // Time-weighted: 1 · 1 · (1 + 19.90/2010.00) · (1 + 59.71/2029.90) ·
    // (1 + 124.51/2490.10) · (1 + 109.50/2299.61) − 1 = 14.357 % → 14.36.
    // Benchmark: 1 · 1 · 0.95 · 2.0/1.9 (no change given) · 1.10 − 1 = 10.00 %.
    const test::CliRun returns = run({"portfolio", "returns", "--json"});
    ASSERT_EQ(returns.status, 0) << returns.err;
    const Json r = returns.json();
    EXPECT_DOUBLE_EQ(r["timeWeightedReturn"].get<double>(), 14.36);
    EXPECT_DOUBLE_EQ(r["benchmark"]["return"].get<double>(), 10.00);
    EXPECT_EQ(r["benchmark"]["code"], "110020");
    EXPECT_EQ(r["from"], "2025-09-26");
    EXPECT_TRUE(r["total"]["xirr"].is_null());

    // The window's pick of benchmark, kept in 配置.ini, holds here too; --benchmark before it.
    ConfigFile config(dir.file("配置.ini"));
    ASSERT_TRUE(config.write(utf8ToGbk("持仓走势"), utf8ToGbk("基准基金"), "000001"));
    EXPECT_EQ(run({"portfolio", "returns", "--json"}).json()["benchmark"]["code"], "000001");
    EXPECT_EQ(run({"portfolio", "returns", "--json", "--benchmark", "110020"}).json()["benchmark"]["code"], "110020");
    for (const char* option : {"--from", "--to"}) {
        const test::CliRun bad = run({"portfolio", "returns", option, "2025-13-01"});
        EXPECT_EQ(bad.status, 2) << option;
        EXPECT_NE(bad.err.find(std::string(option) + " 须为 YYYY-MM-DD：2025-13-01"), std::string::npos) << bad.err;
    }
}

TEST_F(StoredLedger, CsvRoundTripAndAnImportThatBooksNothing)
{
    bookExample();
    book({"ledger", "add", "对账", "000001", "--shares", "1000", "--cost", "980.5", "--date", "2025-10-13",
          "--note", "券商对账, 含\"引号\""});
    const std::string first = dir.file("first.csv"), second = dir.file("second.csv");
    book({"ledger", "export", first});
    std::ifstream in(first);
    std::string header, row;
    std::getline(in, header);
    EXPECT_EQ(header, "日期,时间,账户,基金代码,类型,金额,份额,费率%,备注");
    std::getline(in, row);
    std::getline(in, row);
    EXPECT_EQ(row, "2025-09-26,15:30,默认,000001,买入,1010.00,,1.0000,");

    test::TempDir other;
    const test::CliRun imported = run({"ledger", "import", first}, other.path());
    ASSERT_EQ(imported.status, 0) << imported.err;
    ASSERT_EQ(run({"ledger", "export", second}, other.path()).status, 0);
    EXPECT_EQ(test::readBytes(second), test::readBytes(first));
    EXPECT_EQ(run({"ledger", "list", "--json"}, other.path()).json(), run({"ledger", "list", "--json"}).json());

    // One bad row: none of the file is booked, and the line and field are named.
    const struct {
        const char* row;
        const char* named;
    } bad[] = {
        {"2025-10-10,10:00,默认,000001,卖出,,abc,,", "第3行 份额"},
        {"2025-10-10,10:00,默认,000001,买入,-5,,,", "第3行 金额"},
        {"2025-10-10,25:00,默认,000001,买入,5,,,", "第3行 时间"},
        {"2025-10-10,10:00,默认,00001,买入,5,,,", "第3行 基金代码"},
        {"2025-10-10,10:00,默认,000001,转换,5,,,", "第3行 类型"},
        {"2025-02-30,10:00,默认,000001,买入,5,,,", "第3行 日期"},
        {"2025-10-10,10:00,默认,000001,买入,5,,101,", "第3行 费率%"},
    };
    for (const auto& c : bad) {
        test::TempDir empty;
        const std::string file = empty.file("bad.csv");
        test::writeBytes(file, "日期,时间,账户,基金代码,类型,金额,份额,费率%,备注\n"
                               "2025-09-26,14:00,默认,000001,买入,100,,,\n"
                               + std::string(c.row) + "\n");
        const test::CliRun r = run({"ledger", "import", file}, empty.path());
        EXPECT_EQ(r.status, 1) << c.row;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << c.row << ": " << r.err;
        EXPECT_EQ(run({"ledger", "list", "--json"}, empty.path()).json().size(), 0u) << c.row;
    }
}

TEST_F(StoredLedger, PortfolioChangesBookReconcileTradesOnceTheLedgerExists)
{
    // [持仓] carried in as an 期初 trade on the first start, then left alone.
    test::writeBytes(dir.file("配置.ini"), utf8ToGbk("[持仓]\n000001=100|1.2\n"));
    const std::string before = test::readBytes(dir.file("配置.ini"));
    book({"ledger", "list"});
    book({"portfolio", "set", "000001", "--shares", "200", "--cost", "1.05"});
    EXPECT_EQ(test::readBytes(dir.file("配置.ini")), before);
    const Json trades = run({"ledger", "list", "--json"}).json();
    ASSERT_EQ(trades.size(), 2u);
    EXPECT_EQ(trades[0]["kind"], "期初");
    EXPECT_DOUBLE_EQ(trades[0]["amount"].get<double>(), 120.00); // 100 × 1.2
    EXPECT_EQ(trades[1]["kind"], "对账");
    EXPECT_DOUBLE_EQ(trades[1]["amount"].get<double>(), 210.00); // 200 × 1.05
    EXPECT_DOUBLE_EQ(trades[1]["shares"].get<double>(), 200.00);
    // A statement of what is held today, whatever the hour: no time, so it
    // counts for today's close even after 15:00.
    EXPECT_TRUE(trades[1]["time"].is_null()) << trades[1]["time"];
    book({"portfolio", "remove", "000001"});
    const Json after = run({"ledger", "list", "--json"}).json();
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[2]["kind"], "对账");
    EXPECT_DOUBLE_EQ(after[2]["amount"].get<double>(), 0.0);
    EXPECT_EQ(run({"portfolio", "remove", "000002"}).status, 1);
    EXPECT_EQ(test::readBytes(dir.file("配置.ini")), before);
}

TEST_F(StoredLedger, SettingsPlansAndUsageErrors)
{
    book({"ledger", "add", "买入", "000001", "--amount", "1000", "--date", "2025-09-26"});
    book({"ledger", "method", "000001", "再投"});
    // Reinvested: 1000.00 × 0.05 = 50.00 buys 50.00 shares at 1.0000 on 10-09.
    Json shown = run({"portfolio", "--json"}).json();
    EXPECT_DOUBLE_EQ(shown["total"]["shares"].get<double>(), 1050.00);
    EXPECT_DOUBLE_EQ(shown["total"]["marketValue"].get<double>(), 1155.00);
    book({"ledger", "method", "000001", "分红"});
    // The schedule: a sale on 10-10 of a lot confirmed 09-26 (14 days) pays 0.5 %:
    // gross 100 × 1.05 = 105.00, fee 0.525 → 0.53.
    book({"ledger", "fees", "000001", "7:1.5,365:0.5,0"});
    book({"ledger", "add", "卖出", "000001", "--shares", "100", "--date", "2025-10-10"});
    const Json trades = run({"ledger", "list", "--json"}).json();
    ASSERT_EQ(trades.size(), 2u);
    EXPECT_DOUBLE_EQ(trades[1]["fee"].get<double>(), 0.53);
    EXPECT_DOUBLE_EQ(trades[1]["amount"].get<double>(), 104.47);
    book({"ledger", "remove", std::to_string(trades[1]["id"].get<int64_t>())});
    EXPECT_EQ(run({"ledger", "remove", "99"}).status, 1);

    // A monthly plan from 2025-09-01: its 10-01 order falls in the holiday
    // and is confirmed on 10-09 at 1.0000 (14:59, before 15:00).
    book({"dca", "add", "000001", "--amount", "100", "--cycle", "每月1日", "--date", "2025-09-01"});
    const Json plans = run({"dca", "list", "--json"}).json();
    ASSERT_EQ(plans.size(), 1u);
    EXPECT_EQ(plans[0]["cycle"], "每月1日");
    bool holidayOrder = false;
    for (const Json& t : run({"ledger", "list", "--json"}).json())
        if (t["date"] == "2025-10-01") {
            holidayOrder = true;
            EXPECT_EQ(t["time"], "14:59");
            EXPECT_EQ(t["confirmDate"], "2025-10-09");
            EXPECT_DOUBLE_EQ(t["shares"].get<double>(), 100.00);
        }
    EXPECT_TRUE(holidayOrder);
    book({"dca", "remove", std::to_string(plans[0]["id"].get<int64_t>())});
    EXPECT_EQ(run({"dca", "list", "--json"}).json().size(), 0u);

    // The day's copy was made when the ledger was first opened, before any trade.
    const auto copies = ledger::ledgerCopies(ledger::ledgerFilePath(dir.path()));
    ASSERT_EQ(copies.size(), 1u);
    const test::CliRun restored = run({"ledger", "restore", ledger::dayText(copies[0])});
    ASSERT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(run({"ledger", "list", "--json"}).json().size(), 0u);

    const struct {
        std::vector<std::string> args;
        int status;
    } refused[] = {
        {{"ledger", "add", "转换", "000001", "--amount", "1"}, 2},
        {{"ledger", "add", "买入", "000001", "--shares", "1"}, 2},
        {{"ledger", "add", "买入", "000001", "--amount", "1.234"}, 2},
        {{"ledger", "add", "卖出", "000001", "--shares", "1", "--time", "9:30"}, 2},
        {{"ledger", "fees", "000001", "7:1.5,3:1,0"}, 2},
        {{"ledger", "method", "000001", "现金"}, 2},
        {{"dca", "add", "000001", "--amount", "100", "--cycle", "每月29日"}, 2},
        {{"dca", "add", "000001", "--amount", "0", "--cycle", "每月1日"}, 2},
        {{"dca", "add", "000001", "--cycle", "每周三"}, 2},
        {{"dca", "add", "000001", "--amount", "100", "--cycle", "每周八"}, 2},
        {{"ledger", "restore", "2025-10-01"}, 1},
    };
    for (const auto& c : refused)
        EXPECT_EQ(run(c.args).status, c.status) << c.args[0] << " " << c.args[1] << " " << c.args[2];
}

TEST_F(StoredLedger, AFailedWriteExitsOne)
{
    book({"ledger", "add", "买入", "000001", "--amount", "1000", "--date", "2025-09-26"});
    {
        // Every later insert into the trades is refused by the database.
        SqliteConnection db;
        ASSERT_TRUE(db.open(ledger::ledgerFilePath(dir.path()), false));
        ASSERT_TRUE(db.exec("CREATE TRIGGER refuse BEFORE INSERT ON trades BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
    }
    const test::CliRun add = run({"ledger", "add", "买入", "000001", "--amount", "5", "--date", "2025-09-26"});
    EXPECT_EQ(add.status, 1);
    EXPECT_NE(add.err.find("disk full"), std::string::npos) << add.err;
    const std::string file = dir.file("one.csv");
    test::writeBytes(file, "日期,时间,账户,基金代码,类型,金额,份额,费率%,备注\n2025-09-26,,默认,000001,买入,5,,,\n");
    EXPECT_EQ(run({"ledger", "import", file}).status, 1);
    EXPECT_EQ(run({"portfolio", "set", "000001", "--shares", "1", "--cost", "1"}).status, 1);
    EXPECT_EQ(run({"ledger", "list", "--json"}).json().size(), 1u);
}

TEST(CliLedgerSample, AMoneyFundIsRefusedAndAFundIsBookedOverTheSampleService)
{
    test::CliWorld world(300);
    const std::string money = world.market().moneyFundCode();
    const test::CliRun refused = world.run({"ledger", "add", "买入", money, "--amount", "100", "--date", "2026-11-02"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("货币基金暂不支持记账"), std::string::npos) << refused.err;
    EXPECT_EQ(world.run({"ledger", "list", "--json"}).json().size(), 0u);

    // A fund of the sample market: its unit value on the confirming row.
    const sample::Fund& f = world.market().funds()[0];
    const int day = world.market().lastDay() - 5;
    const auto rows = world.market().navHistory(f);
    const sample::NavDay& row = rows[rows.size() - 6];
    ASSERT_EQ(row.civilDay, world.market().civilDay(day));
    const std::string date = ledger::dayText(ledger::Day(row.civilDay));
    ASSERT_EQ(world.run({"ledger", "add", "买入", f.code, "--amount", "1000", "--date", date}).status, 0);
    const Json trades = world.run({"ledger", "list", "--json"}).json();
    ASSERT_EQ(trades.size(), 1u);
    EXPECT_EQ(trades[0]["confirmDate"], date);
    EXPECT_DOUBLE_EQ(trades[0]["unitValue"].get<double>(), double(row.unit) / 10000.0);
}

} // namespace
} // namespace fw
