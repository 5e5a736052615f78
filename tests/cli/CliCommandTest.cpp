// Every command against the sample service, in each output format, and its
// exit status when the command line, the code or the service is bad.
#include "store/ConfigFile.h"
#include "cli/TextTable.h"
#include "text/CodePage.h"
#include "tests/CommaDecimalLocale.h"
#include "tests/TimeBudget.h"
#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <cmath>
#include <map>
#include <set>
#include <thread>
#include <tuple>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fw {
namespace {

using test::CliRun;
using test::CliWorld;
using test::Shown;
using Json = nlohmann::ordered_json;

const CliWorld& world()
{
    static const CliWorld shared;
    return shared;
}

// The JSON keys of the list columns and the market's periods behind them.
const std::vector<std::pair<std::string, sample::Period>>& periodKeys()
{
    static const std::vector<std::pair<std::string, sample::Period>> keys {
        {"day", sample::Day},         {"week", sample::Week},         {"month", sample::Month},
        {"threeMonths", sample::ThreeMonths}, {"sixMonths", sample::SixMonths}, {"thisYear", sample::YearToDate},
        {"oneYear", sample::OneYear}, {"twoYears", sample::TwoYears}, {"threeYears", sample::ThreeYears}};
    return keys;
}

// Each listed fund is the market's, with the market's figures.
void expectMarketFigures(const Json& funds)
{
    for (const Json& f : funds) {
        const sample::Fund* fund = world().market().fund(f["code"].get<std::string>());
        ASSERT_NE(fund, nullptr) << f["code"];
        EXPECT_EQ(f["name"], fund->name);
        EXPECT_EQ(f["type"], sample::Market::typeName(fund->kind));
        for (const auto& [key, period] : periodKeys()) {
            if (fund->returns[period] == sample::kNoFigure)
                EXPECT_TRUE(f[key].is_null()) << fund->code << " " << key;
            else
                EXPECT_NEAR(f[key].get<double>(), fund->returns[period] / 100.0, 1e-9) << fund->code << " " << key;
        }
    }
}

// Non-null figures of `key` in list order are ordered as asked.
void expectOrdered(const Json& funds, const std::string& key, bool ascending)
{
    std::vector<double> values;
    for (const Json& f : funds)
        if (!f[key].is_null())
            values.push_back(f[key].get<double>());
    ASSERT_GE(values.size(), 2u);
    if (ascending)
        EXPECT_TRUE(std::is_sorted(values.begin(), values.end())) << key;
    else
        EXPECT_TRUE(std::is_sorted(values.rbegin(), values.rend())) << key;
}

int fiveStarCount()
{
    const auto& funds = world().market().funds();
    return int(std::count_if(funds.begin(), funds.end(), [](const sample::Fund& f) { return f.stars == 5; }));
}

// ---- fund lists

TEST(CliFundLists, FiveStarJsonHoldsTheFirstPageOfFiveStarFundsByThisYear)
{
    const CliRun run = world().run({"five-star", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const Json doc = run.json();
    EXPECT_EQ(doc["list"], "五星基金");
    ASSERT_EQ(doc["count"], std::min(20, fiveStarCount()));
    ASSERT_EQ(doc["funds"].size(), doc["count"].get<size_t>());
    for (const Json& f : doc["funds"])
        EXPECT_EQ(world().market().fund(f["code"].get<std::string>())->stars, 5);
    expectMarketFigures(doc["funds"]);
    expectOrdered(doc["funds"], "thisYear", false);
}

TEST(CliFundLists, AllPagesAndAnAscendingSortReachEveryFiveStarFund)
{
    ASSERT_GT(fiveStarCount(), 20); // more than one page
    const Json doc = world().run({"five-star", "--all", "--sort", "1n", "--asc", "--json"}).json();
    EXPECT_EQ(doc["count"], fiveStarCount());
    std::set<std::string> codes;
    for (const Json& f : doc["funds"])
        codes.insert(f["code"].get<std::string>());
    EXPECT_EQ(int(codes.size()), fiveStarCount());
    expectOrdered(doc["funds"], "oneYear", true);
}

TEST(CliFundLists, ASortKeyAloneSortsDownwardsAndADirectionAloneSortsThisYear)
{
    const std::tuple<std::vector<std::string>, const char*, bool> cases[] = {
        {{"--sort", "3y"}, "threeMonths", false},
        {{"--sort", "r", "--asc"}, "day", true},
        {{"--asc"}, "thisYear", true},
    };
    for (const auto& [options, key, ascending] : cases) {
        std::vector<std::string> args {"five-star", "--json"};
        args.insert(args.end(), options.begin(), options.end());
        const CliRun run = world().run(args);
        ASSERT_EQ(run.status, 0) << run.err;
        expectOrdered(run.json()["funds"], key, ascending);
    }
}

TEST(CliFundLists, TheWindowsLoadAllSettingDoesNotDecideForTheCommandLine)
{
    const CliWorld own;
    ConfigFile(own.dir.file("配置.ini")).write(gbk("加载数据"), gbk("是否全部加载"), gbk("真"));
    EXPECT_EQ(own.run({"five-star", "--json"}).json()["count"], 20);
}

TEST(CliFundLists, TabSeparatedLinesCarryTheGridTextsUnderItsHeader)
{
    const Json doc = world().run({"five-star", "--json"}).json();
    const CliRun run = world().run({"five-star"});
    ASSERT_EQ(run.status, 0);
    const auto lines = run.lines();
    ASSERT_EQ(lines.size(), doc["funds"].size() + 1);
    EXPECT_EQ(lines[0], "基金名称\t基金代码\t基金类型\t日期\t日增长率\t近1周\t近1月\t近3月\t近6月\t今年来\t近一年\t近2年\t近3年");
    for (size_t i = 1; i < lines.size(); ++i) {
        const auto cells = test::fields(lines[i]);
        ASSERT_EQ(cells.size(), 13u) << lines[i];
        const Json& f = doc["funds"][i - 1];
        EXPECT_EQ(cells[1], f["code"]);
        EXPECT_EQ(cells[0], f["name"]);
        // As the grid shows them: a percentage, or "-" for a fund too young.
        const std::string& oneYear = cells[10];
        EXPECT_TRUE(f["oneYear"].is_null() ? oneYear == "-" : oneYear.back() == '%') << oneYear;
    }
}

TEST(CliFundLists, ATerminalGetsTheCaptionAndColumnsAlignedByDisplayWidth)
{
    const Json doc = world().run({"five-star", "--json"}).json();
    const CliRun run = world().run({"five-star"}, Shown::Terminal);
    ASSERT_EQ(run.status, 0);
    const auto lines = run.lines();
    ASSERT_EQ(lines.size(), doc["funds"].size() + 2);
    EXPECT_EQ(lines[0], "五星基金加载完毕，共" + std::to_string(doc["funds"].size()) + "支基金");
    // The code column starts at the same display column on every line, the
    // names before it being of any mix of CJK and Latin characters.
    const size_t headerAt = lines[1].find("基金代码");
    ASSERT_NE(headerAt, std::string::npos);
    const int column = cli::displayWidth(lines[1].substr(0, headerAt));
    for (size_t i = 2; i < lines.size(); ++i) {
        const std::string code = doc["funds"][i - 2]["code"];
        const size_t at = lines[i].find("  " + code + "  ");
        ASSERT_NE(at, std::string::npos) << lines[i];
        EXPECT_EQ(cli::displayWidth(lines[i].substr(0, at + 2)), column) << lines[i];
    }
    // Figures are right-aligned: each day's change ends under the end of its
    // heading, and every line ends where the last heading does.
    const auto piped = world().run({"five-star"}).lines();
    ASSERT_EQ(piped.size(), lines.size() - 1);
    const size_t dayAt = lines[1].find("日增长率");
    ASSERT_NE(dayAt, std::string::npos);
    const int dayEnd = cli::displayWidth(lines[1].substr(0, dayAt + std::string("日增长率").size()));
    const int lineWidth = cli::displayWidth(lines[1]);
    for (size_t i = 2; i < lines.size(); ++i) {
        const auto cells = test::fields(piped[i - 1]);
        ASSERT_GE(cells.size(), 5u);
        const size_t date = lines[i].find("  " + cells[3] + "  ");
        ASSERT_NE(date, std::string::npos) << lines[i];
        const size_t day = lines[i].find(cells[4], date + cells[3].size() + 4);
        ASSERT_NE(day, std::string::npos) << lines[i];
        EXPECT_EQ(cli::displayWidth(lines[i].substr(0, day + cells[4].size())), dayEnd) << lines[i];
        EXPECT_EQ(cli::displayWidth(lines[i]), lineWidth) << lines[i];
    }
}

struct BoardCase {
    const char* number;
    const char* title;
    const char* key;
    bool ascending;
};

TEST(CliFundLists, EachBoardIsItsRankingInItsDirection)
{
    const BoardCase cases[] = {
        {"1", "昨日涨幅榜", "day", false},
        {"2", "本月涨幅榜", "month", false},
        {"3", "昨日跌幅榜", "day", true},
        {"4", "本月跌幅榜", "month", true},
    };
    for (const BoardCase& c : cases) {
        SCOPED_TRACE(c.number);
        const CliRun run = world().run({"board", c.number, "--json"});
        ASSERT_EQ(run.status, 0) << run.err;
        const Json doc = run.json();
        EXPECT_EQ(doc["list"], c.title);
        EXPECT_EQ(doc["count"], 20);
        expectMarketFigures(doc["funds"]);
        expectOrdered(doc["funds"], c.key, c.ascending);
        const CliRun table = world().run({"board", c.number}, Shown::Terminal);
        EXPECT_EQ(table.lines().at(0), c.title);
    }
}

// ---- sectors

TEST(CliSectors, EverySectorWithItsFigureForThePeriod)
{
    const std::pair<const char*, int> periods[] = {{"W", 0}, {"q", 2}, {"Y", 3}};
    for (const auto& [period, index] : periods) {
        SCOPED_TRACE(period);
        const CliRun run = world().run({"sectors", "--period", period, "--json"});
        ASSERT_EQ(run.status, 0) << run.err;
        const Json doc = run.json();
        const auto& sectors = world().market().sectors();
        ASSERT_EQ(doc["sectors"].size(), sectors.size());
        for (const Json& s : doc["sectors"]) {
            const sample::Sector* sector = world().market().sectorByCode(s["code"].get<std::string>());
            ASSERT_NE(sector, nullptr) << s["code"];
            EXPECT_EQ(s["name"], sector->name);
            if (sector->figureState[index] != 0)
                EXPECT_TRUE(s["return"].is_null()) << sector->code;
            else
                EXPECT_NEAR(s["return"].get<double>(), sector->figures[index], 0.001) << sector->code;
        }
    }
}

TEST(CliSectors, TableAndLinesShowTheTileFigures)
{
    const Json doc = world().run({"sectors", "--json"}).json();
    const auto lines = world().run({"sectors"}).lines();
    ASSERT_EQ(lines.size(), doc["sectors"].size() + 1);
    EXPECT_EQ(lines[0], "板块名称\t代码\t涨跌幅");
    for (size_t i = 1; i < lines.size(); ++i) {
        const auto cells = test::fields(lines[i]);
        const Json& s = doc["sectors"][i - 1];
        ASSERT_EQ(cells.size(), 3u);
        EXPECT_EQ(cells[0], s["name"]);
        EXPECT_EQ(cells[1], s["code"]);
        if (s["return"].is_null()) {
            EXPECT_EQ(cells[2], "--");
        } else {
            // Two decimals, as the tile rounds them.
            EXPECT_NEAR(std::stod(cells[2]), s["return"].get<double>(), 0.00501) << cells[2];
            EXPECT_EQ(cells[2].back(), '%');
        }
    }
    const auto table = world().run({"sectors"}, Shown::Terminal).lines();
    EXPECT_EQ(table.at(0), "近1周板块涨跌幅排行");
}

const sample::Sector& largestSector()
{
    const auto& sectors = world().market().sectors();
    return *std::max_element(sectors.begin(), sectors.end(),
                             [](const sample::Sector& a, const sample::Sector& b) { return a.funds.size() < b.funds.size(); });
}

TEST(CliSectors, ASectorByNameOrCodeListsItsFunds)
{
    const sample::Sector& sector = largestSector();
    ASSERT_GT(sector.funds.size(), 20u);
    std::set<std::string> members;
    for (int i : sector.funds)
        members.insert(world().market().funds()[size_t(i)].code);

    const Json byName = world().run({"sector", sector.name, "--all", "--json"}).json();
    EXPECT_EQ(byName["list"], sector.name);
    EXPECT_EQ(byName["count"], int(sector.funds.size()));
    for (const Json& f : byName["funds"])
        EXPECT_TRUE(members.count(f["code"].get<std::string>())) << f["code"];

    std::string lowerCode = sector.code;
    lowerCode[0] = 'b', lowerCode[1] = 'k';
    const Json byCode = world().run({"sector", lowerCode, "--json"}).json();
    EXPECT_EQ(byCode["count"], 20);
    for (size_t i = 0; i < 20; ++i)
        EXPECT_EQ(byCode["funds"][i]["code"], byName["funds"][i]["code"]);

    // The first sector of the service's list is found as well as any other.
    const Json first = world().run({"sectors", "--json"}).json()["sectors"][0];
    const CliRun firstByName = world().run({"sector", first["name"].get<std::string>(), "--json"});
    ASSERT_EQ(firstByName.status, 0) << firstByName.err;
    EXPECT_EQ(firstByName.json()["list"], first["name"]);
}

TEST(CliSectors, AnUnknownSectorNameShowsNothing)
{
    const CliRun run = world().run({"sector", "没有这个板块"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("没有这个板块"), std::string::npos);
}

// ---- one fund

const sample::Fund& stockFund()
{
    for (const sample::Fund& f : world().market().funds())
        if (sample::Market::holdsStocks(f.kind) && f.assetHundredths >= 0
            && world().market().holdings(f, 0).size() >= 10 && world().market().trackedIndex(f) < 0)
            return f;
    throw std::runtime_error("no stock fund");
}

TEST(CliFund, JsonHasThePageFiguresProfileAndHoldingsWithLiveNames)
{
    const sample::Fund& fund = stockFund();
    const CliRun run = world().run({"fund", fund.code, "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const Json doc = run.json();
    EXPECT_EQ(doc["code"], fund.code);
    EXPECT_EQ(doc["name"], fund.name);
    EXPECT_EQ(doc["type"], sample::Market::typeName(fund.kind));
    EXPECT_EQ(doc["date"], world().market().figureDate());
    EXPECT_NEAR(doc["day"].get<double>(), fund.returns[sample::Day] / 100.0, 1e-9);
    EXPECT_NEAR(doc["assetSize"].get<double>(), fund.assetHundredths / 100.0, 1e-9);
    ASSERT_TRUE(doc.contains("sharpe"));

    const auto holdings = world().market().holdings(fund, 0);
    ASSERT_EQ(doc["holdings"].size(), 10u);
    for (size_t i = 0; i < 10; ++i) {
        const sample::Stock& stock = world().market().stocks()[size_t(holdings[i].stock)];
        EXPECT_EQ(doc["holdings"][i]["code"], stock.code);
        EXPECT_EQ(doc["holdings"][i]["name"], stock.name);
        EXPECT_NEAR(doc["holdings"][i]["share"].get<double>(), holdings[i].share, 1e-9);
    }
}

TEST(CliFund, TheEstimateIsTheStockShareOfTheShareWeightedChangeOfTheQuotedHoldings)
{
    const sample::Fund& fund = stockFund();
    double weighted = 0, covered = 0;
    for (const sample::Holding& h : world().market().holdings(fund, 0)) {
        const sample::Stock& stock = world().market().stocks()[size_t(h.stock)];
        if (!stock.suspended) {
            weighted += h.share * stock.change;
            covered += h.share;
        }
    }
    ASSERT_GT(covered, 0);
    const double stockShare = world().market().assetMix(fund, 0).stocks;
    const Json estimate = world().run({"fund", fund.code, "--json"}).json()["estimate"];
    ASSERT_TRUE(estimate.is_object()) << estimate;
    EXPECT_EQ(estimate["model"], "holdings");
    EXPECT_NEAR(estimate["change"].get<double>(), stockShare / 100 * weighted / covered, 0.0051);
    EXPECT_NEAR(estimate["coverage"].get<double>(), covered, 0.051);
    EXPECT_TRUE(estimate["error"].is_null());

    // A fund without stocks has no estimate, never 0%.
    for (const sample::Fund& f : world().market().funds()) {
        if (!sample::Market::holdsStocks(f.kind)) {
            const CliRun bond = world().run({"fund", f.code, "--json"});
            ASSERT_EQ(bond.status, 0) << bond.err;
            EXPECT_TRUE(bond.json()["estimate"].is_null());
            EXPECT_EQ(test::fields(world().run({"fund", f.code}).lines().at(18)),
                      (std::vector<std::string> {"今日估算", ""}));
            break;
        }
    }
}

TEST(CliFund, LinesAndTableShowTheFiguresThenTheHoldings)
{
    const sample::Fund& fund = stockFund();
    const auto lines = world().run({"fund", fund.code}).lines();
    ASSERT_EQ(lines.size(), 1 + 18 + 1 + 1 + 10u);
    EXPECT_EQ(lines[0], "项目\t值");
    EXPECT_EQ(lines[1], "基金名称\t" + fund.name);
    EXPECT_EQ(lines[2], "基金代码\t" + fund.code);
    EXPECT_EQ(lines[18].rfind("今日估算\t", 0), 0u);
    EXPECT_EQ(lines[19], "");
    EXPECT_EQ(lines[20], "股票名称\t代码\t占比");
    EXPECT_EQ(test::fields(lines[21]).size(), 3u);

    const auto table = world().run({"fund", fund.code}, Shown::Terminal).lines();
    EXPECT_EQ(table.at(0), fund.name + " (" + fund.code + ")");
    EXPECT_NE(std::find(table.begin(), table.end(), "十大重仓股票"), table.end());
}

TEST(CliFund, AMalformedCodeIsAUsageErrorAndAnUnknownOneAFailure)
{
    const CliRun malformed = world().run({"fund", "12345"});
    EXPECT_EQ(malformed.status, 2);
    EXPECT_EQ(malformed.out, "");
    ASSERT_EQ(world().market().fund("999999"), nullptr);
    const CliRun unknown = world().run({"fund", "999999", "--json"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.out, "");
    EXPECT_NE(unknown.err.find("999999"), std::string::npos);
}

// ---- comparison

TEST(CliCompare, PointsOfBothFundsInEachFormat)
{
    const auto& funds = world().market().funds();
    const std::string a = funds[0].code, b = funds[1].code;
    const CliRun run = world().run({"compare", a, b, "--period", "month", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const Json doc = run.json();
    EXPECT_EQ(doc["period"], "month");
    EXPECT_EQ(doc["title"], "近1月收益率走势对比图");
    EXPECT_EQ(doc["codes"], Json({a, b}));
    const Json& points = doc["points"];
    ASSERT_GE(points.size(), 15u);
    EXPECT_TRUE(points[0].contains(a) && points[0].contains(b));

    const auto lines = world().run({"compare", a, b, "--period", "month"}).lines();
    ASSERT_EQ(lines.size(), points.size() + 1);
    EXPECT_EQ(lines[0], "日期\t" + a + "\t" + b);
    const auto last = test::fields(lines.back());
    EXPECT_EQ(last[0], points.back()["date"]);
    EXPECT_NEAR(std::stod(last[1]), points.back()[a].get<double>(), 0.006);

    const auto table = world().run({"compare", a}, Shown::Terminal).lines();
    EXPECT_EQ(table.at(0), "近1年收益率走势对比图");
    EXPECT_EQ(table.at(1).find("日期"), 0u);
}

TEST(CliCompare, PlotWritesAWholePngOrNothing)
{
    const test::TempDir dir;
    const std::string code = world().market().funds()[0].code;
    const std::string png = dir.file("chart.png");
    const CliRun run = world().run({"compare", code, "--plot", png});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(test::readBytes(png).substr(0, 8), "\x89PNG\r\n\x1a\n");

    const std::string nowhere = dir.file("missing/chart.png");
    const CliRun failed = world().run({"compare", code, "--plot", nowhere});
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find("missing/chart.png"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/missing"));
}

TEST(CliCompare, QtsErrorsReachStandardErrorAndItsNotesDoNot)
{
    const test::TempDir dir;
    // Drawing sets up Qt and its message handler.
    ASSERT_EQ(world().run({"compare", world().market().funds()[0].code, "--plot", dir.file("c.png")}).status, 0);
    testing::internal::CaptureStderr();
    qDebug("a debug note");
    qInfo("an information note");
    qWarning("a font fallback");
    qCritical("a critical error");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "fundwatch-cli: a critical error\n");
}

// ---- search

TEST(CliSearch, FundsAndStocksMatchingTheTextInEachFormat)
{
    const sample::Fund& fund = world().market().funds()[7];
    const Json doc = world().run({"search", fund.code, "--json"}).json();
    EXPECT_EQ(doc["text"], fund.code);
    ASSERT_FALSE(doc["results"].empty());
    EXPECT_EQ(doc["results"][0], Json({{"code", fund.code}, {"name", fund.name}, {"kind", "fund"}}));

    const sample::Stock& stock = world().market().stocks()[0];
    const Json stocks = world().run({"search", stock.code, "--json"}).json();
    ASSERT_FALSE(stocks["results"].empty());
    EXPECT_EQ(stocks["results"][0], Json({{"code", stock.code}, {"name", stock.name}, {"kind", "stock"}}));

    const auto lines = world().run({"search", fund.code}).lines();
    ASSERT_EQ(lines.size(), doc["results"].size() + 1);
    EXPECT_EQ(lines[0], "名称\t代码\t类型");
    EXPECT_EQ(lines[1], fund.name + "\t" + fund.code + "\t基金");
    const auto table = world().run({"search", fund.code}, Shown::Terminal).lines();
    EXPECT_EQ(table.at(0).rfind("名称", 0), 0u);
}

TEST(CliSearch, NoMatchIsAnEmptyAnswerNotAFailure)
{
    const CliRun run = world().run({"search", "没有这样的基金", "--json"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.json()["results"], Json::array());
    EXPECT_EQ(world().run({"search", "没有这样的基金"}).out, "名称\t代码\t类型\n");
}

// ---- export

TEST(CliExport, TheWholeMarketWithProfilesIntoTheNamedWorkbook)
{
    const CliWorld small(120);
    const std::string path = small.dir.file("market.xlsx");
    const CliRun run = small.run({"export", "--out", path, "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.json(), Json({{"file", path}, {"funds", 120}, {"profiles", 120}}));
    EXPECT_EQ(test::readBytes(path).substr(0, 4), "PK\x03\x04");

    // Without --out: today's workbook in the data directory, as the window names it.
    const std::time_t now = std::time(nullptr);
    std::tm today {};
    localtime_r(&now, &today);
    const std::string named = small.dir.file(std::to_string(today.tm_mon + 1) + "月" + std::to_string(today.tm_mday) + "日.xlsx");
    const auto lines = small.run({"export"}).lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "文件\t基金\t概况");
    EXPECT_EQ(lines[1], named + "\t120\t120");
    EXPECT_TRUE(std::filesystem::exists(named));
}

TEST(CliExport, FailuresAndCtrlCLeaveNoWorkbook)
{
    CliWorld small(300);
    const std::string nowhere = small.dir.file("missing/market.xlsx");
    const CliRun unwritable = small.run({"export", "--out", nowhere});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.err.find("数据导出失败"), std::string::npos) << unwritable.err;

    const std::string path = small.dir.file("market.xlsx");
    small.service->addFault({sample::Fault::HttpError, "FundGuideapi", 500});
    const CliRun failed = small.run({"export", "--out", path});
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find("could not be loaded"), std::string::npos);
    small.service->clearFaults();

    small.service->addFault({sample::Fault::Latency, "", 20});
    std::thread interrupt([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        cli::requestCancel();
    });
    const auto start = std::chrono::steady_clock::now();
    const CliRun stopped = small.run({"export", "--out", path});
    interrupt.join();
    EXPECT_EQ(stopped.status, 130);
    EXPECT_EQ(stopped.out, "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    cli::resetCancel();
    EXPECT_TRUE(std::filesystem::is_empty(small.dir.path())) << "a workbook or a part of one was left";
}

// ---- the command line

TEST(CliFundLists, EstimateAddsEachFundsHoldingsEstimateOrNone)
{
    const CliRun run = world().run({"five-star", "--all", "--estimate", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const CliRun lines = world().run({"five-star", "--all", "--estimate"});
    ASSERT_EQ(lines.status, 0) << lines.err;
    const std::vector<std::string> rowLines = lines.lines();
    ASSERT_EQ(test::fields(rowLines.at(0)).back(), "今日估算");
    const Json funds = run.json()["funds"];
    ASSERT_EQ(rowLines.size(), funds.size() + 1);
    int with = 0, without = 0;
    for (size_t k = 0; k < funds.size(); ++k) {
        const std::string code = funds[k]["code"].get<std::string>();
        SCOPED_TRACE(code);
        // The fund command's own estimate of the same fund.
        const Json own = world().run({"fund", code, "--json"}).json()["estimate"];
        const std::string cell = test::fields(rowLines[k + 1]).back();
        if (own.is_null()) {
            ++without;
            EXPECT_TRUE(funds[k]["estimate"].is_null());
            EXPECT_TRUE(funds[k]["coverage"].is_null());
            EXPECT_EQ(cell, "--");
        } else {
            ++with;
            EXPECT_NEAR(funds[k]["estimate"].get<double>(), own["change"].get<double>(), 1e-9);
            EXPECT_EQ(funds[k]["coverage"], own["coverage"]);
            const double change = own["change"].get<double>();
            char expected[32];
            std::snprintf(expected, sizeof expected, change > 0 ? "+%.2f%%" : "%.2f%%", change);
            EXPECT_EQ(cell, change == 0 ? std::string("0.00%") : std::string(expected));
        }
    }
    EXPECT_GT(with, 0);
    EXPECT_GT(without, 0);

    // The share-weighted change of the quoted holdings, worked out from the market itself.
    const sample::Fund& fund = stockFund();
    double weighted = 0, covered = 0;
    for (const sample::Holding& h : world().market().holdings(fund, 0)) {
        const sample::Stock& stock = world().market().stocks()[size_t(h.stock)];
        if (!stock.suspended) {
            weighted += h.share * stock.change;
            covered += h.share;
        }
    }
    bool found = false;
    for (const Json& f : funds)
        if (f["code"] == fund.code) {
            found = true;
            EXPECT_NEAR(f["estimate"].get<double>(),
                        world().market().assetMix(fund, 0).stocks / 100 * weighted / covered, 0.0051);
        }
    EXPECT_TRUE(found || stockFund().stars != 5);
}

TEST(CliFundLists, EstimateRowsTryFailedPagesAgain)
{
    CliWorld small(300);
    const CliRun before = small.run({"board", "1", "--estimate", "--json"});
    ASSERT_EQ(before.status, 0) << before.err;
    // Positions and quotes that fail for a moment, then come back (three
    // failures at most, so that even one fund meeting them all gets through).
    small.service->clearLog();
    small.service->addFault({sample::Fault::HttpError, "FundMNInverstPosition", 503, 2, "0"});
    small.service->addFault({sample::Fault::HttpError, "FundMNInverstPosition", 429, 1, "0"});
    small.service->addFault({sample::Fault::Drop, "/api/qt/ulist.np/get", 0, 2});
    const CliRun after = small.run({"board", "1", "--estimate", "--json"});
    ASSERT_EQ(after.status, 0) << after.err;
    EXPECT_EQ(after.json()["funds"], before.json()["funds"]);
    size_t positions = 0;
    for (const auto& r : small.service->requests())
        positions += r.target.find("FundMNInverstPosition") != std::string::npos;
    EXPECT_EQ(positions, 20u + 3u);
    small.service->clearFaults();
}

TEST(CliDemo, ADemoServiceThatCannotStartEndsTheCommandAtOnce)
{
#ifdef FW_TEST_INSTRUMENTED
    GTEST_SKIP() << "the sanitizers' runtime opens descriptors of its own to check memory";
#endif
    const test::TempDir dir;
    int result[2];
    ASSERT_EQ(::pipe(result), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Not one descriptor left: the demo service gets no socket.
        const int lowestFree = ::dup(0);
        ::close(lowestFree);
        const rlimit none {rlim_t(lowestFree), rlim_t(lowestFree)};
        ::setrlimit(RLIMIT_NOFILE, &none);
        std::ostringstream out, err;
        cli::CliIo io {out, err, false, false, false};
        const int status = cli::runCli({"five-star", "--demo", "--timeout", "2", "--data-dir", dir.path()}, io);
        const std::string report = std::to_string(status) + "|" + out.str() + "|" + err.str();
        (void)!::write(result[1], report.data(), report.size());
        ::_exit(0);
    }
    ::close(result[1]);
    std::string report;
    char buffer[512];
    for (ssize_t n; (n = ::read(result[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, size_t(n));
    ::close(result[0]);
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0);
    EXPECT_EQ(report, "1||fundwatch-cli: the sample service could not start\n");
}

TEST(CliUsage, BadCommandLinesExitWithTwoAndPrintNothing)
{
    const std::vector<std::vector<std::string>> cases {
        {},
        {"nonsense"},
        {"five-star", "--bogus"},
        {"five-star", "--sort", "zz"},
        {"five-star", "extra"},
        {"board"},
        {"board", "5"},
        {"board", "1", "--all"},
        {"sectors", "--estimate"},
        {"fund", "000001", "--estimate"},
        {"board", "1", "--estimate=yes"},
        {"sectors", "--period", "X"},
        {"sector"},
        {"fund", "0000011"},
        {"compare", "000001", "--period", "decade"},
        {"compare", "000001", "000002", "000003"},
        {"five-star", "--timeout", "0"},
        {"five-star", "--json=yes"},
    };
    for (const auto& args : cases) {
        const CliRun run = world().run(args);
        EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args);
        EXPECT_EQ(run.out, "") << ::testing::PrintToString(args);
        EXPECT_NE(run.err.find("fundwatch-cli: "), std::string::npos) << ::testing::PrintToString(args);
    }
}

TEST(CliUsage, EveryCommandHasItsHelp)
{
    for (const char* command : {"five-star", "board", "sectors", "sector", "fund", "compare", "search", "export"}) {
        const CliRun run = world().run({command, "--help"});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.rfind(std::string("Usage: fundwatch-cli ") + command, 0), 0u) << run.out;
    }
    const CliRun general = world().run({"--help"});
    EXPECT_EQ(general.status, 0);
    EXPECT_NE(general.out.find("compare CODE [BASE]"), std::string::npos);
}

// ---- a service that fails

TEST(CliFailures, AStalledServiceEndsEachCommandWithOneAfterTheTimeout)
{
    CliWorld stalled(100);
    stalled.service->addFault({sample::Fault::Stall, "", 10000});
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases {
        {{"five-star"}, "五星基金加载失败，请重试"},
        {{"board", "2"}, "本月涨幅榜加载失败，请重试"},
        {{"sectors"}, "板块信息加载失败，请重试"},
        {{"fund", stalled.market().funds()[0].code}, stalled.market().funds()[0].code},
        {{"compare", stalled.market().funds()[0].code}, "坐标数据获取失败"},
        {{"search", "000"}, "no answer"},
        {{"export", "--out", stalled.dir.file("market.xlsx")}, "could not be loaded"},
    };
    for (const auto& [args, message] : cases) {
        std::vector<std::string> withTimeout = args;
        withTimeout.insert(withTimeout.end(), {"--timeout", "1"});
        const auto start = std::chrono::steady_clock::now();
        const CliRun run = stalled.run(withTimeout);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(run.status, 1) << args[0];
        EXPECT_EQ(run.out, "") << args[0];
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        // The classic sector operation and its replacement: two requests. The
        // whole-market load tries its probe four times, with back-offs of at
        // most 0.5 + 1 + 2 s between.
        const int most = args[0] == "sectors" ? 5 : args[0] == "export" ? 10 : 4;
        EXPECT_LT(took, std::chrono::seconds(most)) << args[0];
    }
    stalled.service->clearFaults();
}

TEST(CliFailures, CtrlCDuringAnAllPagesLoadEndsWithoutOutput)
{
    CliWorld slow(3000);
    slow.service->addFault({sample::Fault::Latency, "", 30});
    std::thread interrupt([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cli::requestCancel();
    });
    const auto start = std::chrono::steady_clock::now();
    const CliRun run = slow.run({"five-star", "--all"});
    interrupt.join();
    EXPECT_EQ(run.status, 130);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "fundwatch-cli: interrupted\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    cli::resetCancel();
}

// Ctrl-C while the estimates of a listed board are on their way: no table
// with the estimates that had arrived, the interrupted exit.
TEST(CliFailures, CtrlCDuringTheEstimatesEndsWithoutOutput)
{
    CliWorld slow(300);
    slow.service->addFault({sample::Fault::Latency, "/FundMNewApi/", 300});
    std::thread interrupt([&slow] {
        auto estimating = [&slow] {
            for (const sample::LoggedRequest& r : slow.service->requests())
                if (r.target.find("/FundMNewApi/") != std::string::npos)
                    return true;
            return false;
        };
        for (int i = 0; i < 500 && !estimating(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        cli::requestCancel();
    });
    const auto start = std::chrono::steady_clock::now();
    const CliRun run = slow.run({"board", "1", "--estimate"});
    interrupt.join();
    EXPECT_EQ(run.status, 130);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "fundwatch-cli: interrupted\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    cli::resetCancel();
}

// ---- the locale

// With the process's LC_NUMERIC set to write "1,23" (as the GUI toolkit sets
// it from a German environment), the sample service answers, the features read
// and every command prints the same figures as under C.
TEST(CliLocale, EveryCommandPrintsTheSameUnderACommaDecimalLocale)
{
    const CliWorld own;
    const auto& funds = own.market().funds();
    const std::string a = funds[0].code, b = funds[1].code;
    ASSERT_EQ(own.run({"portfolio", "set", a, "--shares", "1000.50", "--cost", "1.2345"}).status, 0);
    ASSERT_EQ(own.run({"portfolio", "set", b, "--amount", "2500.75", "--cost", "0.5"}).status, 0);
    const std::vector<std::vector<std::string>> commands {
        {"five-star", "--estimate"}, {"board", "1"},     {"sectors"},
        {"sector", own.market().sectors()[0].name}, {"fund", a}, {"compare", a, b},
        {"search", a},               {"portfolio"},     {"intraday", a},
        {"intraday", "--portfolio"},
    };
    for (const auto& command : commands) {
        for (const bool json : {false, true}) {
            std::vector<std::string> args = command;
            if (json)
                args.push_back("--json");
            std::string line;
            for (const std::string& arg : args)
                line += arg + " ";
            SCOPED_TRACE(line);
            const CliRun plain = own.run(args, Shown::Terminal);
            ASSERT_EQ(plain.status, 0) << plain.err;
            test::CommaDecimalLocale comma;
            if (!comma.active())
                GTEST_SKIP() << test::CommaDecimalLocale::missing();
            const CliRun commaRun = own.run(args, Shown::Terminal);
            EXPECT_EQ(commaRun.status, 0) << commaRun.err;
            EXPECT_EQ(commaRun.out, plain.out);
        }
    }
}

// Drawing the chart sets up the GUI toolkit, which takes LC_NUMERIC from the
// environment; the table printed after it still has decimal points.
TEST(CliLocale, TheTableAfterAPlotUnderAGermanEnvironment)
{
    const test::TempDir dir;
    const std::string code = world().market().funds()[0].code;
    const CliRun plain = world().run({"compare", code});
    ASSERT_EQ(plain.status, 0) << plain.err;
    {
        test::CommaDecimalLocale probe; // only to know the locale is there
        if (!probe.active())
            GTEST_SKIP() << test::CommaDecimalLocale::missing();
    }
    const char* old = std::getenv("LC_ALL");
    const std::string saved = old ? old : "";
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    const CliRun plotted = world().run({"compare", code, "--plot", dir.file("c.png")});
    if (old)
        ::setenv("LC_ALL", saved.c_str(), 1);
    else
        ::unsetenv("LC_ALL");
    const char* numeric = std::setlocale(LC_NUMERIC, nullptr);
    const std::string after = numeric ? numeric : "";
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(plotted.status, 0) << plotted.err;
    EXPECT_EQ(plotted.out, plain.out);
    EXPECT_EQ(after, "C");
}

} // namespace
} // namespace fw
