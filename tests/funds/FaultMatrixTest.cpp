// Every service operation the program fetches, through its own feature code,
// against the sample service answering with each fault it offers, at a 2 s
// time-out: no crash, no wait much past the time-out, the failure each
// feature shows (a title or a message where it has one, quiet empty cells
// where it has none), and the settings file and the watchlist unchanged but
// for what the operation itself stores. The matrix of outcomes is printed.
#include "chart/ComparisonChart.h"
#include "funds/FundDetails.h"
#include "funds/FundLists.h"
#include "funds/FundProfileFetch.h"
#include "funds/FundSearch.h"
#include "funds/PortfolioRefresh.h"
#include "funds/SectorRanking.h"
#include "funds/Watchlist.h"
#include "steps/StepSubmission.h"
#include "tests/funds/FundsTestSupport.h"
#include "text/TextOps.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>

namespace fw {
namespace {

using test::FeatureWorld;
using Clock = std::chrono::steady_clock;

constexpr int kTimeoutSeconds = 2;
constexpr int kHugeBytes = 65 * 1024 * 1024; // past the engine's 64 MiB cap

struct FaultColumn {
    const char* name;
    std::optional<sample::Fault::Kind> kind; // none: the baseline
    int value;
    bool succeeds;                           // the operation still works
};

const FaultColumn kFaults[] = {
    {"none", std::nullopt, 0, true},
    {"latency 0.5s", sample::Fault::Latency, 500, true},
    {"stall 4s", sample::Fault::Stall, 4000, false},
    {"http 503", sample::Fault::HttpError, 503, false},
    {"truncated", sample::Fault::Truncate, 100, false},
    {"garbage", sample::Fault::Garbage, 4096, false},
    {"huge 65MiB", sample::Fault::HugeBody, kHugeBytes, false},
    {"dropped", sample::Fault::Drop, 0, false},
};

std::string fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// What a cell found: its outcome for the table, and every deviation.
struct CellResult {
    std::string outcome;
    std::vector<std::string> problems;
    void check(bool ok, const std::string& what)
    {
        if (!ok)
            problems.push_back(what);
    }
};

// A setting the operation itself writes (section, key, value; GBK).
struct Stored {
    Text section, key, value;
};

struct CellWorld : FeatureWorld {
    explicit CellWorld(sample::SampleOptions options) : FeatureWorld(options, kTimeoutSeconds), watchlist(context)
    {
        // Settings as a user's file holds them, the watchlist among them.
        config.write(gbk("加载数据"), gbk("是否全部加载"), gbk("假"));
        config.write(gbk("启动加载数据"), gbk("加载"), "0100");
        config.write(gbk("自选数据"), gbk("自选"), gbk("000001/华夏成长混合/基金|600519/贵州茅台/股票|"));
        config.write(gbk("持仓"), "000001", "1000|1.2");
        watchlist.load();
        settingsBefore = fileBytes(configPath());
        watchlistBefore = watchlist.storedText();
    }
    std::string configPath() const { return dir.file("配置.ini"); }

    Watchlist watchlist;
    std::string settingsBefore;
    Text watchlistBefore;
};

struct Operation {
    const char* name;
    std::function<std::string(const sample::Market&)> faultPath; // requests the fault hits
    int faultedRequests;        // at most this many requests meet the fault
    bool newRouteOnly = false;  // the classic sector operation is gone
    // Runs the operation; `works` says which result to expect.
    std::function<void(CellWorld&, bool works, CellResult&)> run;
    // What it stores, when it stores anything.
    std::function<std::vector<Stored>(bool works)> stores;
    bool outlivesFaults = false; // another request stands in for the faulty one
};

// A fund with every page: ten holdings, three years of figures, a size.
const sample::Fund& fullFund(const sample::Market& market)
{
    for (const sample::Fund& f : market.funds())
        if (market.holdingQuarters(f) > 0 && market.holdings(f, 0).size() >= 10 && f.ageDays > 800
            && f.assetHundredths >= 0)
            return f;
    return market.funds().front();
}

bool rowEmpty(const Grid& grid, int row, int firstColumn, int lastColumn)
{
    for (int c = firstColumn; c <= lastColumn; ++c)
        if (!grid.cell(row, c).empty())
            return false;
    return true;
}

bool rowFull(const Grid& grid, int row, int firstColumn, int lastColumn)
{
    for (int c = firstColumn; c <= lastColumn; ++c)
        if (grid.cell(row, c).empty())
            return false;
    return true;
}

void noMessage(CellWorld& w, CellResult& r)
{
    const auto messages = w.models.view.messages();
    r.check(messages.empty(), "message shown: " + (messages.empty() ? std::string() : gbkToUtf8(messages.front())));
}

// The fund's row as a list would show it, picked.
void showFundRow(CellWorld& w, const sample::Fund& f)
{
    writeFundRow(w.models.fundGrid, 1, gbk(f.entry));
    w.models.fundGrid.setCursorRow(1);
}

LocalDateTime fixedTime() { return {2026, 12, 7, 9, 30, 0}; }

// A profile page's operation: the picked fund's figures in its row.
Operation profileOperation(const char* name, const char* prefix, int firstColumn, int lastColumn)
{
    return {name, [prefix](const sample::Market& m) { return prefix + fullFund(m).code; }, 1, false,
            [firstColumn, lastColumn](CellWorld& w, bool works, CellResult& r) {
                const sample::Fund& f = fullFund(w.service->market());
                showFundRow(w, f);
                FundDetails details(w.context);
                details.selectedFundRefresh();
                details.waitForHoldingsWorkers();
                const Grid& grid = w.models.fundGrid;
                if (works) {
                    r.check(rowFull(grid, 1, kAssetSizeColumn, kSharpeColumn), "a profile figure is missing");
                    r.outcome = "ok";
                } else {
                    r.check(rowEmpty(grid, 1, firstColumn, lastColumn), "the failed page's figures are not empty");
                    for (int c = kAssetSizeColumn; c <= kSharpeColumn; ++c)
                        if (c < firstColumn || c > lastColumn)
                            r.check(!grid.cell(1, c).empty(), "another page's figure is missing");
                    r.outcome = "quiet empty";
                }
                noMessage(w, r);
            },
            {}};
}

// The holdings worker of the fund, with the answers of one kind faulty: the
// holdings pages, the quotes (the rows' and the estimate's) or the JSON
// answers only the estimate is made from.
enum class HoldingsFault { Pages, Quotes, EstimateAnswers };
void runHoldings(CellWorld& w, bool works, HoldingsFault fault, CellResult& r)
{
    const sample::Fund& f = fullFund(w.service->market());
    FundDetails details(w.context);
    details.startHoldingsWorker(f.code, gbk(f.name));
    details.waitForHoldingsWorkers();
    const Grid& grid = w.models.holdingsGrid;
    const Text estimate = w.models.view.caption(Control::HoldingsEstimate);
    r.check(w.models.view.caption(Control::HoldingsCaption) == gbk(f.name), "the holdings caption is not the fund");
    if (works) {
        for (int row = 1; row <= 10; ++row)
            r.check(rowFull(grid, row, 0, 2), "holdings row " + std::to_string(row) + " incomplete");
        r.check(!estimate.empty(), "no estimate");
        r.outcome = "ok";
    } else if (fault != HoldingsFault::Pages) {
        // The page's own names and codes; no estimate, never a made-up 0%.
        for (int row = 1; row <= 10; ++row)
            r.check(rowFull(grid, row, 0, 2), "holdings row " + std::to_string(row) + " lost its page figures");
        r.check(estimate.empty(), "an estimate without its answers");
        r.outcome = "page rows, no est.";
    } else {
        // The estimate stands on answers of its own.
        for (int row = 1; row <= 10; ++row)
            r.check(rowEmpty(grid, row, 0, 2), "holdings row " + std::to_string(row) + " not empty");
        r.check(!estimate.empty(), "no estimate");
        r.outcome = "empty rows, est.";
    }
    noMessage(w, r);
}

std::vector<Operation> operations()
{
    const Text sectorFailed = gbk("板块信息加载失败，请重试");
    std::vector<Operation> ops;

    ops.push_back({"ranking: five-star", [](const sample::Market&) { return "/data/FundGuideapi.aspx"; }, 2, false,
                   [](CellWorld& w, bool works, CellResult& r) {
                       FundLists lists(w.context);
                       lists.fiveStarClicked();
                       const Text title = w.models.view.title();
                       r.check(w.models.view.isEnabled(Control::SectorButton), "sector button left disabled");
                       if (works) {
                           r.check(title == gbk("五星基金加载完毕，共20支基金"), "title " + gbkToUtf8(title));
                           r.outcome = "ok";
                       } else {
                           r.check(title == gbk("五星基金加载失败，请重试"), "title " + gbkToUtf8(title));
                           r.check(w.models.fundGrid.cell(1, 1).empty(), "a row was written");
                           r.outcome = "failure title";
                       }
                       noMessage(w, r);
                   },
                   {}});

    ops.push_back({"ranking: board", [](const sample::Market&) { return "/data/FundGuideapi.aspx"; }, 1, false,
                   [](CellWorld& w, bool works, CellResult& r) {
                       FundLists lists(w.context);
                       lists.boardClicked(1);
                       const Text title = w.models.view.title();
                       r.check(title == gbk("昨日涨幅榜"), "title " + gbkToUtf8(title));
                       const bool rows = !w.models.fundGrid.cell(1, 1).empty();
                       r.check(rows == works, works ? "no rows" : "a row was written");
                       r.outcome = works ? "ok" : "quiet empty";
                       noMessage(w, r);
                   },
                   [](bool) { return std::vector<Stored> {{gbk("启动加载数据"), gbk("加载"), "1000"}}; }});

    ops.push_back({"ranking: sector funds", [](const sample::Market&) { return "/data/FundGuideapi.aspx"; }, 2, false,
                   [](CellWorld& w, bool works, CellResult& r) {
                       const sample::Sector& s = w.service->market().sectors().front();
                       SectorList list;
                       list.names = {gbk(s.name)};
                       list.codes = {s.code};
                       list.values = {"1.00"};
                       FundLists lists(w.context);
                       lists.chooseSector(list, 0);
                       const Text title = w.models.view.title();
                       if (works) {
                           r.check(title.rfind(gbk(s.name) + gbk("板块加载完毕，共"), 0) == 0, "title " + gbkToUtf8(title));
                           r.outcome = "ok";
                       } else {
                           r.check(title == gbk(s.name) + gbk("板块加载失败，请重试"), "title " + gbkToUtf8(title));
                           r.check(w.models.fundGrid.cell(1, 1).empty(), "a row was written");
                           r.outcome = "failure title";
                       }
                       r.check(w.models.view.isEnabled(Control::SectorButton), "sector button left disabled");
                       noMessage(w, r);
                   },
                   {}});

    auto sectors = [sectorFailed](CellWorld& w, bool works, CellResult& r) {
        FundLists lists(w.context);
        SectorChooser chooser(w.context, lists);
        lists.sectorButtonClicked();
        chooser.windowCreated();
        const auto messages = w.models.view.messages();
        if (works) {
            r.check(chooser.list().size() == int(w.service->market().sectors().size()), "not every sector");
            r.check(w.models.view.windowState(Window::Sector) == WindowState::Shown, "sector window not shown");
            noMessage(w, r);
            r.outcome = "ok";
        } else {
            r.check(messages == std::vector<Text> {sectorFailed}, "not the one failure message");
            r.check(w.models.view.windowState(Window::Sector) == WindowState::Closed, "sector window not closed");
            r.outcome = "message";
        }
    };
    // The classic operation and, after it fails, the newer one: both faulty.
    ops.push_back({"sectors: classic+newer", [](const sample::Market&) { return "/ztjj/GetZTJJList"; }, 2, false,
                   sectors, {}});
    // The classic operation alone faulty: the newer one stands in.
    Operation fallback {"sectors: classic faulty", [](const sample::Market&) { return "/ztjj/GetZTJJList?"; }, 1,
                        false, [sectors](CellWorld& w, bool works, CellResult& r) {
                            sectors(w, works, r);
                            bool newer = false;
                            for (const auto& request : w.service->requests())
                                newer = newer || request.target.rfind("/ztjj/GetZTJJListNew?", 0) == 0;
                            if (newer)
                                r.outcome = "ok, newer route";
                        },
                        {}};
    fallback.outlivesFaults = true;
    ops.push_back(fallback);
    // The classic operation gone (404): the newer one alone is faulty.
    ops.push_back({"sectors: newer route", [](const sample::Market&) { return "/ztjj/GetZTJJListNew"; }, 1, true,
                   sectors, {}});

    ops.push_back({"fund page summary", [](const sample::Market& m) { return "/" + fullFund(m).code + ".html"; }, 1,
                   false,
                   [](CellWorld& w, bool works, CellResult& r) {
                       const sample::Fund& f = fullFund(w.service->market());
                       FundDetails details(w.context);
                       details.fundPageSummary(f.code, "", FundDetails::PickSource::Watchlist);
                       details.waitForHoldingsWorkers();
                       const Grid& grid = w.models.fundGrid;
                       r.check(grid.cell(1, 1) == f.code, "the fund's code is not in row 1");
                       r.check(details.currentFundCode == f.code, "the fund is not the picked one");
                       if (works) {
                           r.check(rowFull(grid, 1, 0, 4), "page figures missing");
                           r.outcome = "ok";
                       } else {
                           r.check(grid.cell(1, 0).empty() && grid.cell(1, 3).empty() && grid.cell(1, 4).empty(),
                                   "figures from a failed page");
                           r.outcome = "quiet empty";
                       }
                       // The profile pages are not faulty: their figures still come.
                       r.check(!grid.cell(1, kSharpeColumn).empty(), "profile missing");
                       noMessage(w, r);
                   },
                   {}});

    ops.push_back(profileOperation("profile: basic page", "/jbgk_", kAssetSizeColumn, kAssetSizeColumn));
    ops.push_back(profileOperation("profile: manager page", "/jjjl_", kTenureReturnColumn, kTenureReturnColumn));
    ops.push_back(profileOperation("profile: risk page", "/tsdata_", kDeviationColumn, kSharpeColumn));

    ops.push_back({"holdings pages",
                   [](const sample::Market& m) { return "type=jjcc&code=" + fullFund(m).code; }, 2, false,
                   [](CellWorld& w, bool works, CellResult& r) { runHoldings(w, works, HoldingsFault::Pages, r); }, {}});
    ops.push_back({"quotes", [](const sample::Market&) { return "/api/qt/ulist.np/get"; }, 2, false,
                   [](CellWorld& w, bool works, CellResult& r) { runHoldings(w, works, HoldingsFault::Quotes, r); }, {}});
    ops.push_back({"estimate answers", [](const sample::Market& m) { return "FCODE=" + fullFund(m).code; }, 2, false,
                   [](CellWorld& w, bool works, CellResult& r) {
                       runHoldings(w, works, HoldingsFault::EstimateAnswers, r);
                   },
                   {}});

    ops.push_back({"comparison series", [](const sample::Market&) { return "/FundCompare/LJSYL"; }, 1, false,
                   [](CellWorld& w, bool works, CellResult& r) {
                       const sample::Fund& f = fullFund(w.service->market());
                       FundDetails details(w.context);
                       ComparisonChart chart(w.context, details);
                       details.currentFundCode = f.code;
                       chart.refreshComparison();
                       if (works) {
                           r.check(!chart.lastData().sectionEmpty, "no series");
                           noMessage(w, r);
                           r.outcome = "ok";
                       } else {
                           r.check(w.models.view.messages() == std::vector<Text> {gbk("坐标数据获取失败")},
                                   "not the one failure message");
                           r.outcome = "message";
                       }
                   },
                   {}});

    ops.push_back({"search", [](const sample::Market&) { return "/FundSearch/api/FundSearchAPI.ashx"; }, 1, false,
                   [](CellWorld& w, bool works, CellResult& r) {
                       const sample::Fund& f = fullFund(w.service->market());
                       FundDetails details(w.context);
                       FundSearch search(w.context, details);
                       search.clearSearchBox();
                       search.showSearchSuggestions(f.code.substr(0, 4));
                       const int rows = w.models.suggestions.rowCount();
                       r.check(works ? rows > 0 : rows == 0, "suggestions: " + std::to_string(rows));
                       r.check(w.models.view.isVisible(Control::Suggestions), "the list is hidden");
                       r.outcome = works ? "ok" : "quiet empty";
                       noMessage(w, r);
                   },
                   {}});

    ops.push_back({"step POST", [](const sample::Market&) { return "/xm/app/ajax.php"; }, 1, false,
                   [](CellWorld& w, bool works, CellResult& r) {
                       StepSubmission steps(w.context, fixedTime);
                       View& view = w.models.view;
                       view.setEditText(Control::StepAccount, "demo");
                       view.setEditText(Control::StepPassword, "demo");
                       view.setEditText(Control::StepTarget, "23456");
                       steps.submitSteps();
                       const bool success = containsText(steps.lastMessage(), gbk("成功"));
                       r.check(success == works, "message " + gbkToUtf8(steps.lastMessage()));
                       if (!works)
                           r.check(steps.lastMessage().empty(), "a failure message from nowhere");
                       r.outcome = works ? "ok" : "quiet, not stored";
                       noMessage(w, r);
                   },
                   [](bool works) {
                       return works ? std::vector<Stored> {{gbk("刷步时间"), gbk("刷步时间"), dateTimeText(fixedTime())}}
                                    : std::vector<Stored> {};
                   }});

    ops.push_back({"portfolio refresh", [](const sample::Market& m) { return fullFund(m).code; }, 2, false,
                   [](CellWorld& w, bool works, CellResult& r) {
                       const sample::Fund& f = fullFund(w.service->market());
                       std::map<Text, FundQuote> quotes;
                       PortfolioRefresh refresh(w.context);
                       r.check(refresh.start({f.code}, [&](std::map<Text, FundQuote> q) { quotes = std::move(q); }),
                               "refresh not started");
                       refresh.wait();
                       const FundQuote q = quotes.count(f.code) ? quotes[f.code] : FundQuote {};
                       if (works) {
                           r.check(q.unitValue > 0 && !q.valueDate.empty() && q.estimatePercent.has_value(),
                                   "figures missing");
                           r.outcome = "ok";
                       } else {
                           r.check(q.unitValue == 0 && q.valueDate.empty() && !q.estimatePercent, "figures from nowhere");
                           r.outcome = "quiet empty";
                       }
                       noMessage(w, r);
                   },
                   {}});
    return ops;
}

// One cell: a fresh world, the fault, the operation, the checks common to all.
CellResult runCell(const Operation& op, const FaultColumn& fault, double& seconds)
{
    sample::SampleOptions options = test::smallMarket(600);
    options.withdrawOldSectorRoute = op.newRouteOnly;
    CellWorld w(options);
    CellResult r;
    if (fault.kind)
        w.service->addFault({*fault.kind, op.faultPath(w.service->market()), fault.value});

    const bool works = fault.succeeds || op.outlivesFaults;
    const auto start = Clock::now();
    op.run(w, works, r);
    seconds = std::chrono::duration<double>(Clock::now() - start).count();

    // Each faulty request ends by the time-out; the others are quick.
    const double bound = op.faultedRequests * (kTimeoutSeconds + 0.75) + 2.0;
    char limit[96];
    std::snprintf(limit, sizeof limit, "took %.1f s, more than %.1f s", seconds, bound);
    r.check(seconds <= bound, limit);

    // The settings file: byte for byte what it was, plus the operation's own writes.
    const std::string expectedPath = w.dir.file("expected.ini");
    {
        std::ofstream(expectedPath, std::ios::binary) << w.settingsBefore;
        ConfigFile expected(expectedPath);
        if (op.stores)
            for (const Stored& s : op.stores(works))
                expected.write(s.section, s.key, s.value);
    }
    r.check(fileBytes(w.configPath()) == fileBytes(expectedPath), "settings file changed");
    r.check(w.watchlist.storedText() == w.watchlistBefore, "watchlist changed");
    std::vector<std::string> leftovers;
    for (const auto& entry : std::filesystem::directory_iterator(w.dir.path())) {
        const std::string name = entry.path().filename().string();
        if (name != "配置.ini" && name != "expected.ini")
            leftovers.push_back(name);
    }
    r.check(leftovers.empty(), "files left beside the settings: " + (leftovers.empty() ? "" : leftovers.front()));
    return r;
}

TEST(FaultMatrix, EveryOperationMeetsEveryFaultWithItsOwnFailure)
{
    const std::vector<Operation> ops = operations();
    std::ostringstream table, failures;
    char line[64];
    std::snprintf(line, sizeof line, "%-24s", "operation \\ fault");
    table << line;
    for (const FaultColumn& f : kFaults) {
        std::snprintf(line, sizeof line, " | %-22s", f.name);
        table << line;
    }
    table << "\n" << std::string(24 + std::size(kFaults) * 25, '-') << "\n";

    const auto start = Clock::now();
    for (const Operation& op : ops) {
        std::snprintf(line, sizeof line, "%-24s", op.name);
        table << line;
        for (const FaultColumn& f : kFaults) {
            double seconds = 0;
            const CellResult r = runCell(op, f, seconds);
            std::snprintf(line, sizeof line, " | %s%-17s %4.1fs", r.problems.empty() ? " " : "!", r.outcome.c_str(),
                          seconds);
            table << line;
            for (const std::string& p : r.problems) {
                failures << op.name << " × " << f.name << ": " << p << "\n";
                ADD_FAILURE() << op.name << " × " << f.name << ": " << p;
            }
        }
        table << "\n";
    }
    const double total = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("\nService operations × faults (time-out %d s; '!' marks a cell that went wrong)\n\n%s\n",
                kTimeoutSeconds, table.str().c_str());
    std::printf("failure results: failure title = the list's \"…加载失败，请重试\"; board = its own title over an empty "
                "grid; message = \"板块信息加载失败，请重试\" / \"坐标数据获取失败\"; quiet empty = empty cells, no "
                "message; step = no message text and no time stored.\n");
    std::printf("whole matrix: %.1f s\n%s", total, failures.str().c_str());
}

} // namespace
} // namespace fw
