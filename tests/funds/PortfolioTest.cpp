// The portfolio: figures of a hand-computed set of holdings, display rounding,
// trading hours, the stored [持仓] section and the CSV files.
#include "funds/HoldingsEstimate.h"
#include "funds/HoldingsWorker.h"
#include "funds/Portfolio.h"
#include "funds/PortfolioRefresh.h"
#include "tests/CommaDecimalLocale.h"
#include "tests/funds/FundsTestSupport.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <cstdio>
#include <future>
#include <map>
#include <set>
#include <thread>
#include <stdlib.h>
#include <sys/resource.h>

namespace fw {
namespace {

using test::FeatureWorld;

struct PortfolioWorld : FeatureWorld {
    PortfolioWorld() : FeatureWorld(smallMarket(0)) {}
    Portfolio portfolio {context};
    std::string stored() const { return test::readBytes(config.path()); }
};

TEST(Portfolio, FiguresOfThreeFundsAndTheirTotals)
{
    // 000001 gains, 000002 loses, 000003 has no estimate today.
    std::vector<Holding> holdings {
        {"000001", "1000", "1.2"}, {"000002", "500.50", "2.0000"}, {"000003", "200", "3.0000"}};
    std::vector<FundQuote> quotes(3);
    quotes[0].unitValue = 1.5;
    quotes[0].estimatePercent = 1.0;
    quotes[1].unitValue = 1.8;
    quotes[1].estimatePercent = -2.5;
    quotes[2].unitValue = 3.3333;

    struct Expected {
        const char *amount, *profit, *rate, *today;
    } expected[] = {{"1500.00", "300.00", "25.00%", "15.00"},
                    {"900.90", "-100.10", "-10.00%", "-22.52"},  // -22.5225
                    {"666.66", "66.66", "11.11%", nullptr}};
    std::vector<HoldingFigures> rows;
    for (size_t i = 0; i < 3; ++i) {
        HoldingFigures f = holdingFigures(holdings[i], quotes[i]);
        EXPECT_EQ(formatMoney(f.amount), expected[i].amount) << i;
        EXPECT_EQ(formatMoney(f.profit), expected[i].profit) << i;
        EXPECT_EQ(formatPercent(f.profitRate), expected[i].rate) << i;
        EXPECT_EQ(f.todayProfit.has_value(), expected[i].today != nullptr) << i;
        if (f.todayProfit) {
            EXPECT_EQ(formatMoney(*f.todayProfit), expected[i].today) << i;
        }
        rows.push_back(f);
    }
    PortfolioTotals t = portfolioTotals(rows);
    EXPECT_EQ(formatMoney(t.amount), "3067.56");
    EXPECT_EQ(formatMoney(t.profit), "266.56");
    EXPECT_EQ(formatPercent(t.profitRate), "9.52%"); // 266.56 / 2801
    EXPECT_EQ(formatMoney(t.todayProfit), "-7.52");  // 15 - 22.5225; 000003 counts 0
    EXPECT_EQ(t.estimatedFunds, 2);
    EXPECT_EQ(t.funds, 3);
    EXPECT_EQ(estimateCoverageNote(t), gbk("估算覆盖 2/3 只"));

    // A fund whose unit value is not known yet adds nothing.
    rows.push_back(holdingFigures({"000004", "10", "1"}, FundQuote {}));
    EXPECT_FALSE(rows.back().valued);
    EXPECT_EQ(formatMoney(portfolioTotals(rows).amount), "3067.56");
}

TEST(Portfolio, MoneyRoundsHalvesAwayFromZeroAtDisplayOnly)
{
    // Computed products a hair short of a half round as the half.
    struct Case {
        double value;
        const char* money;
        const char* percent; // of the value as a fraction
    } cases[] = {{100.5 * 1.23, "123.62", "12361.50%"}, {-0.004, "0.00", "-0.40%"},
                 {0.0049996, "0.01", "0.50%"}, {0.000049996, "0.00", "0.01%"}};
    for (const Case& c : cases) {
        EXPECT_EQ(formatMoney(c.value), c.money) << c.value;
        EXPECT_EQ(formatPercent(c.value), c.percent) << c.value;
    }

    // Each row shows 0.00; the total of the unrounded rows shows 0.01.
    HoldingFigures row;
    row.valued = true;
    row.todayProfit = 0.004;
    PortfolioTotals t = portfolioTotals({row, row, row});
    EXPECT_EQ(formatMoney(*row.todayProfit), "0.00");
    EXPECT_EQ(formatMoney(t.todayProfit), "0.01");
}

// A total is coloured as it is shown: within a ten-thousandth of a cent of a
// half, it shows and colours as the half rounded away from zero.
TEST(Portfolio, TotalsAreColouredAsShown)
{
    constexpr Colour D = kDefaultColour;
    const struct {
        double profit, rate, today;
        const char *profitShown, *rateShown, *todayShown;
        Colour profitColour, rateColour, todayColour;
    } cases[] = {
        {-0.0049996, 0.000049996, 0.0049, "-0.01", "0.01%", "0.00", kGreen, kRed, kSilver},
        {0.0049996, -0.000049, -0.0050001, "0.01", "0.00%", "-0.01", kRed, kSilver, kGreen},
    };
    for (const auto& c : cases) {
        PortfolioTotals t;
        t.funds = t.valuedFunds = t.estimatedFunds = 1;
        t.profit = c.profit;
        t.profitRate = c.rate;
        t.todayProfit = c.today;
        const TextList texts = totalsRowTexts(t);
        EXPECT_EQ(texts.at(6), c.profitShown);
        EXPECT_EQ(texts.at(7), Text(c.rateShown));
        EXPECT_EQ(texts.at(9), c.todayShown);
        EXPECT_EQ(totalsRowColours(t), std::vector<Colour>({D, D, D, D, D, D, c.profitColour, c.rateColour, D, c.todayColour}));
    }
}

// Gains red, losses green, a figure shown as zero silver, whatever text
// stands beside it; "--", the plain cells and the totals row's coverage note
// keep the table's colour. Columns: 6 持有收益, 7 持有收益率, 8 今日估算涨幅,
// 9 今日估算收益.
TEST(Portfolio, FiguresAreColouredByTheirValues)
{
    constexpr Colour D = kDefaultColour;
    const Text coverage = gbk("覆盖 62.4%");
    auto quote = [&](double unitValue, std::optional<double> estimate) {
        FundQuote q;
        q.unitValue = unitValue;
        q.estimatePercent = estimate;
        q.coverage = coverage;
        return q;
    };
    const struct {
        const char* name;
        Holding holding;
        std::optional<FundQuote> quote;
        const char* estimateShown; // column 8 as the table shows it
        std::vector<Colour> colours;
    } cases[] = {
        // Profit 100 x 0.5 = 50, rate 50%; the estimate 0 shows "0.00%": silver, today 0.
        {"zero estimate", {"000001", "100", "1.0"}, quote(1.5, 0.0), "0.00% 覆盖 62.4%",
         {D, D, D, D, D, D, kRed, kRed, kSilver, kSilver}},
        // Profit -50, rate -25%; -0.004% shows "0.00%", but today 150 x -0.00004
        // = -0.006 shows "-0.01".
        {"loss, estimate rounding to zero", {"000002", "100", "2.0"}, quote(1.5, -0.004), "0.00% 覆盖 62.4%",
         {D, D, D, D, D, D, kGreen, kGreen, kSilver, kGreen}},
        // Bought at the unit value: no profit; +1.25% of 150 is 1.875 today.
        {"even, estimate up", {"000003", "100", "1.5"}, quote(1.5, 1.25), "+1.25% 覆盖 62.4%",
         {D, D, D, D, D, D, kSilver, kSilver, kRed, kRed}},
        {"estimate down", {"000004", "100", "1.0"}, quote(1.5, -0.5), "-0.50% 覆盖 62.4%",
         {D, D, D, D, D, D, kRed, kRed, kGreen, kGreen}},
        {"no estimate", {"000005", "100", "1.0"}, quote(1.5, std::nullopt), "--",
         {D, D, D, D, D, D, kRed, kRed, D, D}},
        {"no unit value", {"000006", "100", "1.0"}, quote(0, 2.0), "+2.00% 覆盖 62.4%",
         {D, D, D, D, D, D, D, D, kRed, D}},
        {"no quote", {"000007", "100", "1.0"}, std::nullopt, "--", std::vector<Colour>(10, D)},
    };
    std::vector<HoldingFigures> figures;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const FundQuote* q = c.quote ? &*c.quote : nullptr;
        EXPECT_EQ(holdingRowTexts(c.holding, q).at(8), gbk(c.estimateShown));
        EXPECT_EQ(holdingRowColours(c.holding, q), c.colours);
        if (c.quote && c.quote->unitValue > 0 && c.quote->estimatePercent && c.holding.code <= "000003")
            figures.push_back(holdingFigures(c.holding, *c.quote));
    }
    // The first three: profit 50 - 50 + 0 = 0 (rate 0), today 0 - 0.006 + 1.875 = 1.869.
    EXPECT_EQ(totalsRowColours(portfolioTotals(figures)), std::vector<Colour>({D, D, D, D, D, D, kSilver, kSilver, D, kRed}));
    // A loss in the totals.
    const PortfolioTotals loss = portfolioTotals({holdingFigures(cases[1].holding, *cases[1].quote)});
    EXPECT_EQ(totalsRowColours(loss), std::vector<Colour>({D, D, D, D, D, D, kGreen, kGreen, D, kGreen}));
    // Nothing could be valued: the totals read "--", which no colour claims.
    const PortfolioTotals none = portfolioTotals({holdingFigures(cases[6].holding, FundQuote())});
    EXPECT_EQ(totalsRowTexts(none).at(6), "--");
    EXPECT_EQ(totalsRowColours(none), std::vector<Colour>(10, D));
}

// The one assembly of the table that the window and the command line both
// show: each row from its own quote (or none), the totals over the valued
// rows, with the texts and colours of every cell.
TEST(Portfolio, TableFiguresComeFromOneAssemblyOfRowsAndTotals)
{
    constexpr Colour D = kDefaultColour;
    const std::vector<Holding> holdings {{"000001", "1000", "1.2"}, {"000002", "500.50", "2.0000"}, {"000003", "200", "3"}};
    std::map<Text, FundQuote> quotes;
    quotes["000001"].name = gbk("甲基金");
    quotes["000001"].unitValue = 1.5;
    quotes["000001"].valueDate = "2026-12-04";
    quotes["000001"].estimatePercent = 1.0;
    quotes["000002"].unitValue = 1.8;
    quotes["000002"].estimatePercent = -2.5;
    quotes["000009"].unitValue = 9; // not held: in no row and no total

    const PortfolioFigures table = portfolioFigures(holdings, quotes);
    const struct {
        std::vector<const char*> texts;
        std::vector<Colour> colours;
    } rows[] = {
        // 1000 × 1.5; 1000 × 0.3; 300 / 1200; 1500 × 1%.
        {{"甲基金", "000001", "1000", "1.2", "1.5000 (2026-12-04)", "1500.00", "300.00", "25.00%", "+1.00%", "15.00"},
         {D, D, D, D, D, D, kRed, kRed, kRed, kRed}},
        // 500.5 × 1.8 = 900.9; 500.5 × -0.2; -100.1 / 1001; 900.9 × -2.5% = -22.5225.
        {{"", "000002", "500.50", "2.0000", "1.8000", "900.90", "-100.10", "-10.00%", "-2.50%", "-22.52"},
         {D, D, D, D, D, D, kGreen, kGreen, kGreen, kGreen}},
        {{"", "000003", "200", "3", "--", "--", "--", "--", "--", "--"}, std::vector<Colour>(10, D)},
    };
    ASSERT_EQ(table.rows.size(), std::size(rows));
    for (size_t r = 0; r < std::size(rows); ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(table.rows[r].holding.code, holdings[r].code);
        EXPECT_EQ(table.rows[r].quote.has_value(), r < 2);
        TextList expected;
        for (const char* text : rows[r].texts)
            expected.push_back(gbk(text));
        EXPECT_EQ(table.rows[r].texts, expected);
        EXPECT_EQ(table.rows[r].colours, rows[r].colours);
    }
    // 1500 + 900.9; 300 - 100.1; 199.9 / (1200 + 1001) = 9.082%; 15 - 22.5225.
    const TextList totals {gbk("合计"), "", "", "", gbk("净值覆盖 2/3 只"), "2400.90", "199.90", "9.08%",
                           gbk("估算覆盖 2/3 只"), "-7.52"};
    EXPECT_EQ(table.totalsTexts, totals);
    EXPECT_EQ(table.totalsColours, std::vector<Colour>({D, D, D, D, D, D, kRed, kRed, D, kGreen}));
    EXPECT_EQ(table.totals.valuedFunds, 2);
    EXPECT_FALSE(table.totals.unknown());

    // Nothing valued: every total is "--", and says it is unknown.
    const PortfolioFigures none = portfolioFigures(holdings, {});
    EXPECT_TRUE(none.totals.unknown());
    EXPECT_EQ(none.totalsTexts.at(5), "--");
    // No holding at all is a portfolio worth 0.
    EXPECT_FALSE(portfolioFigures({}, quotes).totals.unknown());
    EXPECT_EQ(portfolioFigures({}, quotes).totalsTexts.at(5), "0.00");
}

TEST(Portfolio, TradingHoursFollowChinaTimeInAnyMachineZone)
{
    // 2026-12-07 is a Monday; China time is UTC+8.
    std::tm monday {};
    monday.tm_year = 2026 - 1900;
    monday.tm_mon = 11;
    monday.tm_mday = 7;
    const std::time_t mondayUtc = timegm(&monday);
    auto china = [&](int day, int h, int m, int s) { return mondayUtc + day * 86400 + (h - 8) * 3600 + m * 60 + s; };
    struct Case {
        int day, h, m, s;
        bool open;
    } cases[] = {{0, 9, 29, 59, false}, {0, 9, 30, 0, true},   {0, 11, 30, 0, true},  {0, 11, 30, 1, false},
                 {0, 12, 59, 59, false}, {0, 13, 0, 0, true},  {0, 15, 0, 0, true},   {0, 15, 0, 1, false},
                 {0, 7, 0, 0, false},   {4, 14, 0, 0, true},   {5, 10, 0, 0, false},  {6, 14, 0, 0, false},
                 {-1, 10, 0, 0, false}};
    const char* saved = getenv("TZ");
    std::string savedTz = saved ? saved : "";
    for (const char* zone : {"UTC", "America/New_York", "Asia/Kolkata"}) {
        setenv("TZ", zone, 1);
        tzset();
        for (const Case& c : cases)
            EXPECT_EQ(isTradingTime(china(c.day, c.h, c.m, c.s)), c.open)
                << zone << " day " << c.day << " " << c.h << ":" << c.m << ":" << c.s;
    }
    if (saved)
        setenv("TZ", savedTz.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();

    PortfolioWorld w;
    w.portfolio.setClock([&] { return china(0, 10, 0, 0); });
    EXPECT_TRUE(w.portfolio.isTradingNow());
    w.portfolio.setClock([&] { return china(0, 12, 0, 0); });
    EXPECT_FALSE(w.portfolio.isTradingNow());
}

TEST(Portfolio, StoredTextAfterSetSetRemoveAndARefusedEdit)
{
    PortfolioWorld w;
    w.config.write(gbk("自选数据"), gbk("自选"), gbk("000001/华夏成长/基金|"));
    EXPECT_EQ(w.portfolio.set("000001", "1000.5", "1.2345"), "");
    EXPECT_EQ(w.portfolio.set("110022", "20", "3"), "");
    EXPECT_EQ(w.portfolio.set("000001", "800", "1.1"), ""); // replaces in place
    const std::string both = gbk("[自选数据]\r\n自选=000001/华夏成长/基金|\r\n[持仓]\r\n000001=800|1.1\r\n110022=20|3\r\n");
    EXPECT_EQ(w.stored(), both);

    struct Refusal {
        const char *code, *shares, *cost, *field;
    } refusals[] = {{"000001", "0", "1", "份额"},      {"000001", "1.234", "1", "份额"},
                    {"000001", "-5", "1", "份额"},     {"000001", "1e3", "1", "份额"},
                    {"000001", "10", "1.23456", "成本价"}, {"000001", "10", "0.0000", "成本价"}, {"000001", "10", "1.", "成本价"},
                    {"00001", "10", "1", "基金代码"},  {"00000a", "10", "1", "基金代码"}};
    for (const Refusal& r : refusals) {
        Text message = w.portfolio.set(r.code, r.shares, r.cost);
        EXPECT_NE(message.find(gbk(r.field)), Text::npos) << r.code << " " << r.shares << " " << r.cost;
        EXPECT_EQ(w.stored(), both);
        EXPECT_EQ(w.portfolio.find("000001")->shares, "800");
    }

    // An amount held becomes shares at the last unit value.
    EXPECT_EQ(w.portfolio.setAmount("000001", "1000", "1.1", 1.5), "");
    EXPECT_EQ(w.portfolio.find("000001")->shares, "666.67");
    EXPECT_NE(w.portfolio.setAmount("000001", "1000", "1.1", 0).find(gbk("净值")), Text::npos);
    EXPECT_EQ(w.portfolio.find("000001")->shares, "666.67");

    EXPECT_TRUE(w.portfolio.remove("110022"));
    EXPECT_FALSE(w.portfolio.remove("110022"));
    EXPECT_EQ(w.stored(), gbk("[自选数据]\r\n自选=000001/华夏成长/基金|\r\n[持仓]\r\n000001=666.67|1.1\r\n"));

    // A restart finds the holdings; a damaged line is passed over.
    w.config.write(gbk("持仓"), "000009", "abc");
    Portfolio again(w.context);
    ASSERT_EQ(again.holdings().size(), 1u);
    EXPECT_EQ(again.holdings()[0].cost, "1.1");
    EXPECT_TRUE(w.models.view.messages().empty());
}

// Two windows, or a window and the command line, on one settings file: each
// change is made to [持仓] as it stands in the file, so neither handle's
// earlier copy wipes out what the other stored meanwhile.
TEST(Portfolio, TwoHandlesOnOneFileKeepEachOthersChanges)
{
    PortfolioWorld w;
    ConfigFile otherFile(w.config.path());
    FeatureContext otherContext(w.models, otherFile);
    Portfolio other(otherContext); // both have read the empty section by now
    Portfolio* const who[] = {&w.portfolio, &other};
    const std::string csv = w.dir.file("h.csv");
    test::writeBytes(csv, "基金代码,份额,成本价\n000001,7,1.5\n");

    const struct Step {
        int by;
        const char *action, *code, *shares, *cost;
        const char* stored; // [持仓] afterwards
    } steps[] = {
        {0, "set", "000001", "100", "1", "000001=100|1\r\n"},
        {1, "set", "110022", "20", "3", "000001=100|1\r\n110022=20|3\r\n"},
        {0, "set", "519000", "5", "2", "000001=100|1\r\n110022=20|3\r\n519000=5|2\r\n"},
        {1, "remove", "000001", "", "", "110022=20|3\r\n519000=5|2\r\n"},
        {0, "set", "110022", "40", "2.5", "110022=40|2.5\r\n519000=5|2\r\n"},
        {1, "import", "", "", "", "110022=40|2.5\r\n519000=5|2\r\n000001=7|1.5\r\n"},
        {0, "remove", "519000", "", "", "110022=40|2.5\r\n000001=7|1.5\r\n"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.action) + " " + step.code + " by " + std::to_string(step.by));
        Portfolio& p = *who[step.by];
        if (std::string(step.action) == "set")
            EXPECT_EQ(p.set(step.code, step.shares, step.cost), "");
        else if (std::string(step.action) == "remove")
            EXPECT_TRUE(p.remove(step.code));
        else
            EXPECT_TRUE(p.importCsv(csv).empty());
        EXPECT_EQ(w.stored(), gbk("[持仓]\r\n") + step.stored);
        // The handle that changed holds what the file holds.
        size_t lines = 0;
        for (const char* c = step.stored; *c; ++c)
            lines += *c == '\n';
        EXPECT_EQ(p.holdings().size(), lines);
    }
    EXPECT_TRUE(w.models.view.messages().empty());
}

// A stored line that fails the checks is no holding, but it is the user's:
// every change keeps it in the file as it stands, and it is listed once.
TEST(Portfolio, LinesThatFailTheChecksStayAsTheyStand)
{
    PortfolioWorld w;
    // Each bad line has valid fields beside the bad one: only all valid make a holding.
    const std::vector<std::string> bad {"000002=abc|1", "000003=100|1.23456", "000004=1.234|1",
                                        "00005=100|1",  "000006=100",         "000007=|"};
    std::string section = "[持仓]\r\n000001=100|1\r\n";
    for (const std::string& line : bad)
        section += line + "\r\n";
    test::writeBytes(w.config.path(), gbk(section));
    w.portfolio.load();
    ASSERT_EQ(w.portfolio.holdings().size(), 1u);
    EXPECT_EQ(w.portfolio.holdings()[0].code, "000001");
    EXPECT_EQ(w.portfolio.invalidLines(), TextList(bad.begin(), bad.end()));

    EXPECT_EQ(w.portfolio.set("110022", "20", "3"), "");
    EXPECT_EQ(w.stored(), gbk(section + "110022=20|3\r\n"));
    EXPECT_TRUE(w.portfolio.remove("000001"));
    EXPECT_EQ(w.stored(), gbk(section.substr(0, 10) + section.substr(10 + 14) + "110022=20|3\r\n")); // without 000001=100|1
    EXPECT_EQ(w.portfolio.invalidLines().size(), bad.size());
}

// The export replaces the file whole: when the new one cannot be written to
// the end (here a file size limit stands in for a full disk), the old one stays.
TEST(Portfolio, AnExportThatCannotBeWrittenWholeLeavesTheOldFile)
{
    PortfolioWorld w;
    for (int code = 100; code < 140; ++code)
        ASSERT_EQ(w.portfolio.set("000" + std::to_string(code), "100", "1"), "");
    const std::string csv = w.dir.file("持仓.csv");
    test::writeBytes(csv, "基金代码,份额,成本价\r\n000001,1,1\r\n");

    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 100; // the new file is a header of 31 bytes and 40 lines of 14
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const Text error = w.portfolio.exportCsv(csv);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_NE(error, "");
    EXPECT_EQ(test::readBytes(csv), "基金代码,份额,成本价\r\n000001,1,1\r\n");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(w.dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string> {"持仓.csv", "配置.ini"})); // no scratch file left

    ASSERT_EQ(w.portfolio.exportCsv(csv), "");
    EXPECT_EQ(test::readBytes(csv).size(), 31u + 40 * 14);
}

TEST(Portfolio, CsvRoundTripAndBadLines)
{
    PortfolioWorld from;
    from.portfolio.set("000001", "1000.5", "1.2345");
    from.portfolio.set("110022", "20", "3");
    const std::string csv = from.dir.file("持仓.csv");
    ASSERT_EQ(from.portfolio.exportCsv(csv), "");
    EXPECT_EQ(test::readBytes(csv), "基金代码,份额,成本价\r\n000001,1000.5,1.2345\r\n110022,20,3\r\n");

    PortfolioWorld to;
    to.portfolio.set("110022", "1", "1");
    to.portfolio.set("519000", "5", "2");
    EXPECT_TRUE(to.portfolio.importCsv(csv).empty());
    ASSERT_EQ(to.portfolio.holdings().size(), 3u);
    EXPECT_EQ(to.stored(), gbk("[持仓]\r\n110022=20|3\r\n519000=5|2\r\n000001=1000.5|1.2345\r\n"));

    // Any bad line: every one reported by number, nothing imported.
    const std::string before = to.stored();
    test::writeBytes(csv, "\xEF\xBB\xBF基金代码,份额,成本价\n000002,10,1\n000003,1.001,1\n000004,10\n000005,10,1\n"
                          "00006,1,1\n000002,5,1\n");
    TextList errors = to.portfolio.importCsv(csv);
    EXPECT_EQ(errors, (TextList{gbk("第3行：份额须为正数，最多两位小数"), gbk("第4行：须为三栏：基金代码,份额,成本价"),
                                gbk("第6行：基金代码须为六位数字"), gbk("第7行：基金代码重复")}));
    EXPECT_EQ(to.stored(), before);
    EXPECT_EQ(to.portfolio.holdings().size(), 3u);

    test::writeBytes(csv, "code,shares,cost\n000002,10,1\n");
    EXPECT_EQ(to.portfolio.importCsv(csv), TextList{gbk("第1行：表头须为 基金代码,份额,成本价")});
    EXPECT_EQ(to.stored(), before);
}

TEST(Portfolio, CsvOfManyHoldingsReadsInLinearTime)
{
    std::string csv = "基金代码,份额,成本价\n";
    char line[32];
    for (int code = 0; code < 200000; ++code) {
        std::snprintf(line, sizeof line, "%06d,1,1\n", code);
        csv += line;
    }
    const auto start = std::chrono::steady_clock::now();
    CsvHoldings read = readHoldingsCsv(csv);
    EXPECT_TRUE(read.errors.empty());
    EXPECT_EQ(read.rows.size(), 200000u);
    // The same code again at the very end is still caught, and then nothing is read.
    read = readHoldingsCsv(csv + "000000,2,2\n");
    EXPECT_EQ(read.errors, TextList{gbk("第200002行：基金代码重复")});
    EXPECT_TRUE(read.rows.empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

} // namespace
} // namespace fw

namespace fw {
namespace {

// The value block of a fund page with the given unit value.
Text pageWithUnitValue(std::string_view value)
{
    return gbk("<div class=\"fundDetail-tit\"><div style=\"float: left\">华夏成长<span>(</span></div></div>"
               "单位净值</a></span> (</span>2026-12-04)</p></dt><dd class=\"dataNums\"><span class=\"ui-num\">")
        + Text(value) + gbk("</span><span class=\"ui-color-red\">0.50%</span></dd><dd><span>近3月");
}

TEST(PortfolioRefresh, UnitValueIsAPositiveFiniteNumberOrUnknown)
{
    const struct {
        const char* text;
        double value;
    } cases[] = {{"1.2345", 1.2345}, {"inf", 0},  {"1e999", 0},  {"nan", 0},    {"-1.5", 0},
                 {"0", 0},           {"-0", 0},   {"0.0000", 0}, {"1.2x", 0},   {"", 0}};
    for (const auto& c : cases) {
        const FundQuote quote = fundQuoteFromPage(pageWithUnitValue(c.text));
        EXPECT_EQ(quote.unitValue, c.value) << c.text;
        // A zero is no unit value: the quote says "unknown" exactly as for no page
        // (a +0, never a -0 read from the page).
        EXPECT_FALSE(std::signbit(quote.unitValue)) << c.text;
        EXPECT_EQ(quote.name, gbk("华夏成长")) << c.text;
        EXPECT_EQ(quote.valueDate, "2026-12-04") << c.text;
    }
    // Holding figures over an unknown value stay unvalued rather than infinite.
    const FundQuote inf = fundQuoteFromPage(pageWithUnitValue("1e999"));
    EXPECT_FALSE(holdingFigures({"000001", "100", "1"}, inf).valued);
}

// Under a comma-decimal locale the figures read and write as under C: the
// page's "1.5000", the stored "1000.50", the shown "1500.75".
TEST(PortfolioFigures, SameUnderACommaDecimalLocale)
{
    test::CommaDecimalLocale comma;
    if (!comma.active())
        GTEST_SKIP() << test::CommaDecimalLocale::missing();
    FundQuote quote = fundQuoteFromPage(pageWithUnitValue("1.5000"));
    EXPECT_EQ(quote.unitValue, 1.5);
    quote.estimatePercent = 2.0;
    // 1000.50 shares at a cost of 1.2, unit value 1.5, estimate +2%:
    //   amount 1000.5 × 1.5 = 1500.75; profit 1000.5 × (1.5 − 1.2) = 300.15;
    //   rate 300.15 / (1000.5 × 1.2 = 1200.60) = 25.00%; today 1500.75 × 2% = 30.015 → 30.02
    const TextList row = holdingRowTexts({"000001", "1000.50", "1.2"}, &quote);
    EXPECT_EQ(row[4], "1.5000 (2026-12-04)");
    EXPECT_EQ(row[5], "1500.75");
    EXPECT_EQ(row[6], "300.15");
    EXPECT_EQ(row[7], "25.00%");
    EXPECT_EQ(row[9], "30.02");
    // 1000 yuan at 1.5 is 666.666… shares → 666.67.
    Text error;
    EXPECT_EQ(sharesFromAmount("1000", 1.5, error), "666.67");
    EXPECT_EQ(error, "");
}

// A refresh against the sample service: every held fund's name, unit value and
// estimate, on at most five workers, never two refreshes at once.
TEST(PortfolioRefresh, FetchesEveryFundOnAtMostFiveWorkers)
{
    test::FeatureWorld w;
    const auto& funds = w.service->market().funds();
    std::vector<Text> codes;
    for (size_t i = 0; i < 8; ++i)
        codes.push_back(funds[i].code);

    PortfolioRefresh refresh(w.context);
    std::promise<std::map<Text, FundQuote>> result;
    ASSERT_TRUE(refresh.start(codes, [&](std::map<Text, FundQuote> quotes) { result.set_value(std::move(quotes)); }));
    EXPECT_FALSE(refresh.start(codes, [](std::map<Text, FundQuote>) { ADD_FAILURE() << "second refresh ran"; }));
    std::map<Text, FundQuote> quotes = result.get_future().get();
    refresh.wait();
    EXPECT_FALSE(refresh.running());
    EXPECT_LE(refresh.peakWorkers(), PortfolioRefresh::kMaxWorkers);
    EXPECT_EQ(w.targets("/" + codes[0] + ".html").size(), 1u);

    ASSERT_EQ(quotes.size(), codes.size());
    int estimated = 0;
    for (size_t i = 0; i < codes.size(); ++i) {
        const FundQuote& q = quotes[codes[i]];
        SCOPED_TRACE(codes[i]);
        EXPECT_EQ(q.name, utf8ToGbk(funds[i].name));
        EXPECT_DOUBLE_EQ(q.unitValue, double(funds[i].navTenThousandths) / 10000.0);
        EXPECT_EQ(q.valueDate.size(), 10u); // yyyy-mm-dd
        EXPECT_EQ(q.estimatePercent.has_value(), !q.coverage.empty());
        estimated += q.estimatePercent.has_value();
    }
    EXPECT_GT(estimated, 0);

    // Done: the next refresh starts.
    std::promise<void> again;
    ASSERT_TRUE(refresh.start({codes[0]}, [&](std::map<Text, FundQuote>) { again.set_value(); }));
    again.get_future().get();
    refresh.wait();

    // Nothing held: done at once, with nothing.
    bool emptyDone = false;
    EXPECT_TRUE(refresh.start({}, [&](std::map<Text, FundQuote> none) { emptyDone = none.empty(); }));
    EXPECT_TRUE(emptyDone);
    EXPECT_FALSE(refresh.running());
}

// The portfolio's estimate of a fund is the one the window shows under the
// fund's holdings, whatever the layout of its holdings page and whichever
// model fits the fund, and none for a bond fund (the sample market's 000001
// has holdings).
TEST(PortfolioRefresh, EstimateIsTheOneShownUnderTheHoldings)
{
    test::FeatureWorld w(test::smallMarket(300));
    const sample::Market& market = w.service->market();
    std::vector<const sample::Fund*> picked {market.fund("000001")};
    ASSERT_TRUE(picked[0]);
    EXPECT_GT(market.holdingQuarters(*picked[0]), 0);
    std::set<int> layouts;
    bool bond = false, feeder = false, index = false;
    for (const sample::Fund& f : market.funds()) {
        const bool pick = f.target >= 0                     ? !std::exchange(feeder, true)
            : market.trackedIndex(f) >= 0                   ? !std::exchange(index, true)
            : !sample::Market::holdsStocks(f.kind)          ? !indexForFundName(utf8ToGbk(f.name)) && !std::exchange(bond, true)
            : market.holdingQuarters(f) > 0 ? layouts.insert(int(sample::Market::holdingsLayout(f))).second
                                            : false;
        if (pick)
            picked.push_back(&f);
    }
    ASSERT_EQ(layouts.size(), 4u);
    ASSERT_TRUE(bond && feeder && index);

    for (const sample::Fund* f : picked) {
        SCOPED_TRACE(f->code);
        const FundQuote quote = fetchFundQuote(w.context, f->code);
        HoldingsWorker {w.context, f->code, utf8ToGbk(f->name)}();
        const std::string shown = gbkToUtf8(w.models.view.caption(Control::HoldingsEstimate));
        EXPECT_EQ(quote.estimatePercent.has_value(), sample::Market::holdsStocks(f->kind));
        if (!quote.estimatePercent) {
            EXPECT_EQ(shown, "");
            continue;
        }
        const std::string change = gbkToUtf8(estimateChangeText(*quote.estimatePercent));
        const std::string model = f->target >= 0 ? "联接估算" : market.trackedIndex(*f) >= 0 ? "指数估算" : "持仓估算";
        if (model == "持仓估算")
            EXPECT_EQ(shown.rfind(model + " " + change + "（" + gbkToUtf8(quote.coverage) + "）", 0), 0u) << shown;
        else
            EXPECT_EQ(shown, gbkToUtf8(quote.coverage) + " " + change);
    }
}

// Cancelled while every worker waits for a slow fund page: no further fund is
// asked for, nothing follows the page of the funds under way, `done` is not
// called, and the wait ends with the requests under way.
TEST(PortfolioRefresh, CancelledRefreshTakesNoFurtherFundAndNeverCallsDone)
{
    test::FeatureWorld w;
    w.service->addFault({sample::Fault::Latency, ".html", 400});
    std::vector<Text> codes;
    for (size_t i = 0; i < 12; ++i)
        codes.push_back(w.service->market().funds()[i].code);

    const auto began = std::chrono::steady_clock::now();
    {
        PortfolioRefresh refresh(w.context);
        ASSERT_TRUE(refresh.start(codes, [](std::map<Text, FundQuote>) { ADD_FAILURE() << "done after cancel"; }));
        while (w.targets("/").size() < size_t(PortfolioRefresh::kMaxWorkers))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        refresh.cancel();
        EXPECT_FALSE(refresh.running());
    } // waits for the workers
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(3));
    EXPECT_EQ(w.targets("/").size(), size_t(PortfolioRefresh::kMaxWorkers));
    EXPECT_TRUE(w.targets("/FundArchivesDatas").empty());
    // The let-go workers end before the test's world and the process's statics do.
    RowPool::joinLetGo();
}

} // namespace
} // namespace fw
