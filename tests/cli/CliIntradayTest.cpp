// intraday against the sample service: a fund's minutes from 09:30 ending on
// its estimate with the published change beside it, the portfolio's 当日收益
// per minute from the settings' holdings and from the ledger's, the plot, and
// the usage errors.
#include "tests/cli/CliTestSupport.h"
#include "tests/funds/EstimateChoiceSupport.h"
#include "text/NumberText.h"

#include <cmath>
#include <fstream>

namespace fw::test {
namespace {

// The fund's published unit value before the figures' day and that day's change.
struct Published {
    double previousUnit = 0;
    double change = 0;
};
Published published(const sample::Market& m, const std::string& code)
{
    const std::vector<sample::NavDay> navs = m.navHistory(*m.fund(code));
    return {double(navs[navs.size() - 2].unit) / 10000.0, navs.back().change / 100.0};
}

// A fund that holds stocks, with two NAV rows or more.
std::vector<std::string> stockFunds(const sample::Market& m, size_t count)
{
    std::vector<std::string> out;
    for (const sample::Fund& f : m.funds())
        if (out.size() < count && !m.holdings(f, 0).empty() && m.navHistory(f).size() > 2
            && m.navHistory(f).back().change != sample::kNoFigure)
            out.push_back(f.code);
    return out;
}

// The errors logged in the data directory choose the curve's model as they
// choose the estimate: over 20 days the holdings model's 0.10 beats the index
// model's 0.30, and the minutes end on the holdings model's estimate.
TEST(CliIntraday, TheLoggedErrorsChooseTheCurvesModel)
{
    const CliWorld world;
    const TwoModelFund pick = twoModelFund(world.market());
    ASSERT_TRUE(pick.fund);
    ASSERT_TRUE(logIndexAndHoldings(world.dir.path(), pick.fund->code));
    const CliRun json = world.run({"intraday", pick.fund->code, "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const auto doc = json.json();
    EXPECT_EQ(doc["model"], "holdings");
    EXPECT_DOUBLE_EQ(doc["estimate"].get<double>(), double(roundedUnits(pick.holdings, 2)) / 100.0);
    EXPECT_EQ(doc["points"].back()["change"], doc["estimate"]);
}

TEST(CliIntraday, AFundsMinutesEndOnItsEstimateWithThePublishedChange)
{
    const CliWorld world;
    const std::string code = stockFunds(world.market(), 1).at(0);
    const CliRun json = world.run({"intraday", code, "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const auto doc = json.json();
    EXPECT_EQ(doc["code"], code);
    EXPECT_EQ(doc["day"], world.market().figureDate());
    const auto& points = doc["points"];
    ASSERT_GE(points.size(), 241u);
    EXPECT_EQ(points.front()["time"], "09:30");
    EXPECT_EQ(points.back()["change"], doc["estimate"]);
    EXPECT_DOUBLE_EQ(doc["navChange"].get<double>(), published(world.market(), code).change);

    // The table: the same minutes, the change as the estimate shows it.
    const CliRun table = world.run({"intraday", code});
    ASSERT_EQ(table.status, 0) << table.err;
    const std::vector<std::string> lines = table.lines();
    ASSERT_EQ(lines.size(), points.size() + 1);
    EXPECT_EQ(lines[0], "时间\t估算涨幅");
    const double first = points.front()["change"].get<double>();
    EXPECT_EQ(fields(lines[1])[0], "09:30");
    EXPECT_EQ(std::stod(fields(lines[1])[1]), first); // "+0.12%", "-0.05%", "0.00%"
}

TEST(CliIntraday, ThePortfoliosProfitIsEachFundsAmountTimesItsChange)
{
    const CliWorld world;
    const std::vector<std::string> codes = stockFunds(world.market(), 2);
    ASSERT_EQ(codes.size(), 2u);
    const double shares[] = {1000, 2500};
    struct Source {
        const char* what;
        std::vector<std::vector<std::string>> setUp;
    } const sources[] = {
        {"the settings' holdings",
         {{"portfolio", "set", codes[0], "--shares", "1000", "--cost", "1"},
          {"portfolio", "set", codes[1], "--shares", "2500", "--cost", "1"}}},
        {"the ledger's holdings",
         {{"ledger", "add", "对账", codes[0], "--shares", "1000", "--cost", "1000", "--date", "2026-11-02"},
          {"ledger", "add", "对账", codes[1], "--shares", "2500", "--cost", "2500", "--date", "2026-11-02"}}},
    };
    for (const Source& source : sources) {
        SCOPED_TRACE(source.what);
        TempDir data;
        for (const auto& command : source.setUp)
            ASSERT_EQ(world.run(command, Shown::Piped, data.path()).status, 0) << command[0];
        const CliRun run = world.run({"intraday", "--portfolio", "--json"}, Shown::Piped, data.path());
        ASSERT_EQ(run.status, 0) << run.err;
        const auto doc = run.json();
        ASSERT_EQ(doc["codes"].size(), 2u);
        const auto& points = doc["points"];
        ASSERT_FALSE(points.empty());
        EXPECT_EQ(points.front()["time"], "09:30");
        for (const auto& p : points) {
            const double sum = p["funds"][codes[0]].get<double>() + p["funds"][codes[1]].get<double>();
            EXPECT_NEAR(p["profit"].get<double>(), sum, 0.011) << p["time"];
        }
        // At the close each fund's share is its shares × the unit value before
        // the day × its estimate (to 0.01 %, so within that much of the amount).
        for (size_t i = 0; i < 2; ++i) {
            const CliRun fund = world.run({"intraday", codes[i], "--json"});
            ASSERT_EQ(fund.status, 0);
            const double amount = shares[i] * published(world.market(), codes[i]).previousUnit;
            const double expected = amount * fund.json()["estimate"].get<double>() / 100.0;
            EXPECT_NEAR(points.back()["funds"][codes[i]].get<double>(), expected, amount * 0.00005 + 0.006) << codes[i];
        }
    }
}

// The ledger's positions carry 今日估算收益: 市值 × the fund's estimate, and
// the total is the sum of the rounded figures.
TEST(CliIntraday, TheLedgersPositionsCarryTodaysEstimatedGain)
{
    const CliWorld world;
    const std::vector<std::string> codes = stockFunds(world.market(), 2);
    ASSERT_EQ(codes.size(), 2u);
    TempDir data;
    for (const std::vector<std::string>& command : std::vector<std::vector<std::string>> {
             {"ledger", "add", "对账", codes[0], "--shares", "1000", "--cost", "1000", "--date", "2026-11-02"},
             {"ledger", "add", "对账", codes[1], "--shares", "2500", "--cost", "2500", "--date", "2026-11-02",
              "--account", "券商"}})
        ASSERT_EQ(world.run(command, Shown::Piped, data.path()).status, 0);
    const CliRun run = world.run({"portfolio", "--json"}, Shown::Piped, data.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const auto doc = run.json();
    ASSERT_EQ(doc["holdings"].size(), 2u);
    double sum = 0;
    for (const auto& h : doc["holdings"]) {
        const std::string code = h["code"];
        const CliRun fund = world.run({"estimate", code, "--json"});
        ASSERT_EQ(fund.status, 0) << fund.err;
        const double value = h["marketValue"].get<double>();
        // The estimate shown is rounded to 0.01 %: the gain lies within that much of 市值.
        EXPECT_NEAR(h["todayGain"].get<double>(), value * fund.json()["estimate"]["change"].get<double>() / 100.0,
                    value * 0.00005 + 0.006)
            << code;
        sum += h["todayGain"].get<double>();
    }
    EXPECT_NEAR(doc["total"]["todayGain"].get<double>(), sum, 1e-9);
    // One holding an account: each account's gain is its holding's.
    ASSERT_EQ(doc["accounts"].size(), 2u);
    for (const auto& a : doc["accounts"])
        for (const auto& h : doc["holdings"])
            if (h["account"] == a["account"])
                EXPECT_EQ(a["todayGain"], h["todayGain"]) << a["account"];

    // The table has the column beside 持有收益率, as the window does.
    const std::vector<std::string> table = world.run({"portfolio"}, Shown::Piped, data.path()).lines();
    ASSERT_FALSE(table.empty());
    EXPECT_EQ(fields(table[0])[9], "今日估算收益");
}

TEST(CliIntraday, ThePlotIsWrittenWholeOrTheCommandFails)
{
    const CliWorld world;
    const std::string code = stockFunds(world.market(), 1).at(0);
    const std::string png = world.dir.file("今日.png");
    ASSERT_EQ(world.run({"intraday", code, "--plot", png}).status, 0);
    std::ifstream in(png, std::ios::binary);
    std::string head(8, '\0');
    in.read(head.data(), 8);
    EXPECT_EQ(head, "\x89PNG\r\n\x1a\n");
    const CliRun failed = world.run({"intraday", code, "--plot", world.dir.file("no/such/dir/x.png")});
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find("cannot write"), std::string::npos);
    // A fund the service does not know has no curve.
    EXPECT_EQ(world.run({"intraday", "999999"}).status, 1);
}

// A UTF-8 text: each lead byte followed by as many continuation bytes as it says.
bool wellFormedUtf8(const std::string& s)
{
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2)
                return false;
        i += n;
    }
    return true;
}

// The engine's own failure texts are GBK; the terminal gets them in UTF-8.
TEST(CliIntraday, AFailedFetchIsToldInUtf8)
{
    TempDir dir;
    for (const std::vector<std::string>& command : std::vector<std::vector<std::string>> {
             {"intraday", "000001"}, {"estimate", "000001"}}) {
        std::vector<std::string> args = command;
        args.insert(args.end(), {"--service", "http://127.0.0.1:9", "--data-dir", dir.path()});
        cli::resetCancel();
        std::ostringstream out, err;
        cli::CliIo io {out, err, false, false, false};
        EXPECT_EQ(cli::runCli(args, io), 1) << command[0];
        EXPECT_NE(err.str().find("失败"), std::string::npos) << err.str();
        EXPECT_TRUE(wellFormedUtf8(err.str())) << err.str();
    }
}

TEST(CliIntraday, AFundCodeOrThePortfolioNotBothNorNeither)
{
    const CliWorld world(20);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>> {
             {"intraday"}, {"intraday", "000001", "--portfolio"}, {"intraday", "12345"}, {"fund", "000001", "--portfolio"}})
        EXPECT_EQ(world.run(args).status, 2) << args.back();
    TempDir empty;
    const CliRun nothing = world.run({"intraday", "--portfolio"}, Shown::Piped, empty.path());
    EXPECT_EQ(nothing.status, 1);
    EXPECT_NE(nothing.err.find("没有持仓基金"), std::string::npos);
}

} // namespace
} // namespace fw::test
