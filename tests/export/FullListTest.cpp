// The whole-market load through the controller against the sample service:
// every page and profile into the workbook, the end of the profile wait, failed
// probes, pages and profiles, Esc, and the loads refused while it runs; the
// export step's texts and failures.
#include "app/MainController.h"
#include "funds/FundProfileFetch.h"
#include "net/EventPump.h"
#include "net/ServiceHosts.h"
#include "sample/Market.h"
#include "sample/SampleService.h"
#include "tests/store/TempDir.h"
#include "tests/export/SheetReader.h"
#include "text/CodePage.h"
#include "text/TextOps.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

namespace fw::testing {
namespace {

using test::SheetReader;

const char* const kProbe = "/data/FundGuideapi.aspx?dt=4&sd=&ed=&sc=r&st=desc&pi=1&pn=20&zf=diy&sh=list"
                           "&rnd=0.9027817428207583";
Text pageTarget(int p)
{
    return "/data/FundGuideapi.aspx?dt=4&sd=&ed=&sc=3y&st=desc&pi=" + std::to_string(p)
        + "&pn=20&zf=diy&sh=list&rnd=0.6066118187338245";
}

class WholeMarket : public ::testing::Test {
protected:
    void start(int funds, std::vector<sample::Fault> faults = {})
    {
        resetTransferAbort();
        sample::SampleOptions options;
        options.funds = funds;
        service = std::make_unique<sample::SampleService>(options);
        for (sample::Fault& f : faults)
            service->addFault(f);
        ASSERT_GT(service->start(), 0);
        setServiceHosts(ServiceHosts::allAt(service->baseUrl()));
        ControllerEnvironment env {[] { return 1; }, "", 5, dir.path()};
        controller = std::make_unique<MainController>(models, config, env);
        controller->fullList().retry.baseDelay = std::chrono::milliseconds(5);
        controller->workbookExport().now = [] {
            std::tm date {};
            date.tm_mon = 11;
            date.tm_mday = 4;
            return date;
        };
        models.view.addListener([this](const ViewChange& change) {
            if (change.kind == ViewChange::Title)
                titles.push_back(gbkToUtf8(models.view.title()));
            if (change.kind == ViewChange::Caption)
                captions.push_back(gbkToUtf8(models.view.caption(change.control)));
            if (change.kind == ViewChange::Progress && models.view.progress().visible) {
                progress.emplace_back(models.view.progress().value, models.view.progress().maximum);
                phases.push_back(controller->fullList().phase());
            }
        });
    }
    void TearDown() override
    {
        uninstallEventPump();
        controller.reset();
        setServiceHosts(ServiceHosts::defaults());
    }

    std::vector<std::string> targets(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const auto& r : service->requests())
            if (r.target.rfind(prefix, 0) == 0)
                out.push_back(r.target);
        return out;
    }
    std::string workbook() const { return dir.file("12月4日.xlsx"); }
    bool heldButtonsEnabled() const
    {
        const View& v = models.view;
        return v.isEnabled(Control::SectorButton) && v.isEnabled(Control::FiveStarButton)
            && v.isEnabled(Control::StepButton);
    }
    // The code of the first fund of the list's first page.
    std::string firstCode() const
    {
        return splitText(rankingEntry(fetchRankingPage(service->baseUrl() + pageTarget(1)), 0), ",").at(0);
    }

    std::unique_ptr<sample::SampleService> service;
    test::TempDir dir;
    ConfigFile config {dir.file("配置.ini")};
    MainModels models;
    std::unique_ptr<MainController> controller;
    std::vector<std::string> titles, captions;
    std::vector<std::pair<int, int>> progress; // value, maximum
    std::vector<FullListPhase> phases;         // the load's own, at each move of the bar
};

TEST_F(WholeMarket, EveryFundWithItsProfileGoesIntoTheWorkbook)
{
    start(500);
    controller->onExportClicked();

    const SheetReader sheet(workbook());
    ASSERT_TRUE(sheet.readable);
    EXPECT_EQ(sheet.dimension, "A1:Q501");
    std::set<std::string> codes;
    for (int r = 2; r <= 501; ++r) {
        SCOPED_TRACE(r);
        char code[16];
        std::snprintf(code, sizeof code, "%06d", std::stoi(sheet.cell(r, 2).text));
        codes.insert(code);
        for (int c = 14; c <= 17; ++c)
            EXPECT_FALSE(sheet.cell(r, c).text.empty()) << c;
    }
    EXPECT_EQ(codes.size(), 500u);
    EXPECT_TRUE(codes.count(service->market().funds().front().code));
    EXPECT_EQ(targets("/jbgk_").size() + targets("/jjjl_").size() + targets("/tsdata_").size(), 1500u);
    // The figures sit in their own fund's row.
    const Grid& grid = models.fundGrid;
    for (int row : {1, 250, 500}) {
        const FundProfile p = FundProfileFetch(grid.cell(row, 1), 5).run();
        EXPECT_EQ(gbkToUtf8(grid.cell(row, kTenureReturnColumn)), gbkToUtf8(p.tenureReturn));
        EXPECT_EQ(gbkToUtf8(grid.cell(row, kSharpeColumn)), gbkToUtf8(p.sharpe));
    }

    const std::vector<std::string> data = targets("/data/");
    ASSERT_EQ(data.size(), 26u);
    EXPECT_EQ(data.front(), kProbe);
    EXPECT_EQ(data[1], pageTarget(1));
    EXPECT_EQ(data.back(), pageTarget(25));

    ASSERT_GE(titles.size(), 27u);
    EXPECT_EQ(titles[0], "正在加载第1页");
    EXPECT_EQ(titles[24], "正在加载第25页");
    EXPECT_EQ(titles[25], "加载完毕");
    EXPECT_EQ(titles[26].rfind("加载时间", 0), 0u);
    // The bar: the probe, each page before it loads, then the profiles.
    ASSERT_GE(progress.size(), 28u);
    EXPECT_EQ(progress[0], std::make_pair(0, 1));
    for (int p = 1; p <= 25; ++p)
        EXPECT_EQ(progress[size_t(p)], std::make_pair(p - 1, 25));
    EXPECT_EQ(progress[26], std::make_pair(0, 500));
    // The profiles move the bar on their way, each time to a larger count.
    ASSERT_GT(progress.size(), 28u);
    for (size_t i = 27; i < progress.size(); ++i) {
        EXPECT_EQ(progress[i].second, 500);
        EXPECT_GT(progress[i].first, progress[i - 1].first) << i;
    }
    EXPECT_EQ(progress.back(), std::make_pair(500, 500));
    // The load says which part moves the bar: the probe and the 25 pages, then the profiles.
    ASSERT_EQ(phases.size(), progress.size());
    for (size_t i = 0; i < phases.size(); ++i)
        EXPECT_EQ(phases[i], i < 26 ? FullListPhase::Pages : FullListPhase::Profiles) << i;
    EXPECT_EQ(controller->fullList().phase(), FullListPhase::Idle);
    EXPECT_EQ(controller->fullList().counts().funds, 500);
    EXPECT_EQ(controller->fullList().counts().profiles, 500);
    EXPECT_EQ(captions[0], "共500支基金");
    EXPECT_EQ(captions[1], "共25页");
    EXPECT_EQ(captions[captions.size() - 2], "数据导出中");
    EXPECT_EQ(captions.back().rfind("导出时间", 0), 0u);
    EXPECT_FALSE(heldButtonsEnabled()); // they stay off after an export
    EXPECT_FALSE(models.view.progress().visible);
    EXPECT_FALSE(controller->fullList().running());
}

TEST_F(WholeMarket, WorkbookWaitsForRowsStillLoadingWhenTheLastRowIsDone)
{
    // The first row's manager page is slow; the last row is done long before.
    start(30);
    service->addFault({sample::Fault::Latency, "/jjjl_" + firstCode(), 500});
    controller->onExportClicked();
    const std::string expected = gbkToUtf8(FundProfileFetch(models.fundGrid.cell(1, 1), 5).run().tenureReturn);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(gbkToUtf8(models.fundGrid.cell(1, kTenureReturnColumn)), expected);
    EXPECT_FALSE(SheetReader(workbook()).cell("O2").text.empty());
}

TEST_F(WholeMarket, FailedCountProbeWritesTheHeaderAlone)
{
    start(100, {{sample::Fault::HttpError, "rnd=0.9027817428207583", 500}});
    controller->onExportClicked();
    EXPECT_EQ(SheetReader(workbook()).dimension, "A1:Q1");
    EXPECT_EQ(targets("/data/").size(), 4u); // the probe and its three retries
    EXPECT_TRUE(targets("/jbgk_").empty());
    EXPECT_EQ(titles.back(), "加载时间0秒");
    EXPECT_EQ(captions.front(), "共0支基金");
}

TEST_F(WholeMarket, FailedPagesAndProfilesLeaveEmptyCellsAndTheLoadEnds)
{
    start(60, {{sample::Fault::HttpError, pageTarget(2), 500}, {sample::Fault::Drop, "/tsdata_", 0}});
    controller->onExportClicked();
    const SheetReader sheet(workbook());
    EXPECT_EQ(sheet.dimension, "A1:Q61");
    for (int r = 2; r <= 61; ++r) {
        // Page 3 follows page 1 directly: the last 20 rows stay empty.
        const bool unfilled = r >= 42;
        EXPECT_EQ(sheet.cell(r, 2).text.empty(), unfilled) << r;
        EXPECT_EQ(sheet.cell(r, 14).text.empty(), unfilled) << r; // 规模(亿)
        EXPECT_TRUE(sheet.cell(r, 16).text.empty()) << r;            // 标准差1年
    }
    // Rows without a code ask for no profile; the failing page and pages were tried four times.
    EXPECT_EQ(targets("/jbgk_").size(), 40u);
    EXPECT_EQ(targets("/tsdata_").size(), 160u);
    EXPECT_EQ(targets(pageTarget(2)).size(), 4u);
    EXPECT_EQ(titles.back().rfind("加载时间", 0), 0u);
    EXPECT_EQ(gbkToUtf8(models.view.caption(Control::Progress)), "40支基金资料未取到");
    // Pages 1 and 3 brought 40 funds, each with its size (the asset page never failed).
    EXPECT_EQ(controller->fullList().counts().funds, 40);
    EXPECT_EQ(controller->fullList().counts().profiles, 40);
}

TEST_F(WholeMarket, PagesFailingForAMomentAreTriedAgainAndEveryFigureArrives)
{
    // A few requests of each kind fail, then the service recovers; the count
    // probe asks for a wait in seconds.
    start(100, {{sample::Fault::HttpError, "rnd=0.9027817428207583", 429, 1, "1"},
                {sample::Fault::HttpError, pageTarget(3), 503, 3},
                {sample::Fault::Drop, "/jbgk_", 0, 6},
                {sample::Fault::HttpError, "/jjjl_", 500, 5},
                {sample::Fault::Truncate, "/tsdata_", 200, 4},
                {sample::Fault::Stall, "/tsdata_", 3000, 1}});
    controller->fullList().retry.baseDelay = std::chrono::milliseconds(50);
    const auto started = std::chrono::steady_clock::now();
    controller->onExportClicked();
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(950)); // Retry-After: 1
    const Grid& grid = models.fundGrid;
    for (int row = 1; row <= 100; ++row) {
        SCOPED_TRACE(row);
        ASSERT_FALSE(grid.cell(row, 1).empty());
        for (int c = kAssetSizeColumn; c <= kSharpeColumn; ++c)
            EXPECT_FALSE(grid.cell(row, c).empty()) << c;
    }
    EXPECT_EQ(SheetReader(workbook()).dimension, "A1:Q101");
    EXPECT_EQ(targets("/data/").size(), 6u + 1 + 3);
    EXPECT_EQ(targets("/jbgk_").size(), 106u);
    ASSERT_GE(titles.size(), 2u);
    EXPECT_EQ(titles[titles.size() - 2], "加载完毕");
    EXPECT_EQ(titles.back().rfind("加载时间", 0), 0u);
    // Nothing missing: the caption is the last worker's count, not a shortfall.
    EXPECT_EQ(gbkToUtf8(models.view.caption(Control::Progress)).find("未取到"), std::string::npos);
}

TEST_F(WholeMarket, FundsWhosePagesNeverArriveAreCountedAfterTheTitles)
{
    start(40);
    const Grid& grid = models.fundGrid;
    const std::vector<std::string> lost = {firstCode(), splitText(rankingEntry(fetchRankingPage(
                                                             service->baseUrl() + pageTarget(2)), 3), ",").at(0)};
    service->addFault({sample::Fault::HttpError, "/jjjl_" + lost[0], 503, 0, "0"});
    service->addFault({sample::Fault::Drop, "/jbgk_" + lost[1], 0});
    controller->onExportClicked();
    EXPECT_EQ(targets("/jjjl_" + lost[0]).size(), 4u);
    EXPECT_EQ(targets("/jbgk_" + lost[1]).size(), 4u);
    for (int row = 1; row <= 40; ++row) {
        const std::string code = grid.cell(row, 1);
        EXPECT_EQ(grid.cell(row, kTenureReturnColumn).empty(), code == lost[0]) << row;
        EXPECT_EQ(grid.cell(row, kAssetSizeColumn).empty(), code == lost[1]) << row;
        EXPECT_FALSE(grid.cell(row, kSharpeColumn).empty()) << row;
    }
    ASSERT_GE(titles.size(), 2u);
    EXPECT_EQ(titles[titles.size() - 2], "加载完毕");
    EXPECT_EQ(titles.back().rfind("加载时间", 0), 0u);
    EXPECT_EQ(titles.back().substr(titles.back().size() - 3), "秒");
    EXPECT_EQ(gbkToUtf8(models.view.caption(Control::Progress)), "2支基金资料未取到");
    EXPECT_EQ(SheetReader(workbook()).dimension, "A1:Q41");
}

TEST_F(WholeMarket, EscAndClosingDoNotWaitOutABackoff)
{
    // Every profile page and then every page asks for a long wait.
    struct Case { const char* name; const char* path; };
    for (const Case& c : {Case {"profiles", "/jjjl_"}, Case {"pages", "sc=3y"}}) {
        SCOPED_TRACE(c.name);
        start(60, {{sample::Fault::HttpError, c.path, 503, 0, "20"}});
        bool escaped = false;
        const auto started = std::chrono::steady_clock::now();
        installEventPump([&] {
            if (!escaped && std::chrono::steady_clock::now() - started > std::chrono::milliseconds(300)) {
                escaped = true;
                controller->onEscapePressed();
            }
        });
        controller->onExportClicked();
        uninstallEventPump();
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
        EXPECT_EQ(gbkToUtf8(models.view.title()), "加载已取消");
        EXPECT_FALSE(std::filesystem::exists(workbook()));
        // The workers that were waiting end too, while the program goes on.
        for (int i = 0; i < 100 && controller->fullList().activeProfileWorkers() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(controller->fullList().activeProfileWorkers(), 0);
    }

    // Closing: the load's owner goes away while workers wait for a retry.
    start(60, {{sample::Fault::HttpError, "/jjjl_", 503, 0, "20"}});
    const auto started = std::chrono::steady_clock::now();
    installEventPump([&] {
        if (std::chrono::steady_clock::now() - started > std::chrono::milliseconds(300))
            abortAllTransfers();
    });
    controller->onExportClicked();
    uninstallEventPump();
    controller.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    resetTransferAbort();
}

TEST_F(WholeMarket, EscStopsTheLoadWithoutAWorkbook)
{
    // Esc during the third page abandons its request, which may not have
    // gone out yet: the probe and two or three pages, never a fourth.
    struct Case {
        const char* name;
        std::function<bool(const MainModels&)> when;
        size_t fewestRankingRequests, mostRankingRequests;
    };
    const Case cases[] = {
        {"pages", [](const MainModels& m) { return m.view.title() == gbk("正在加载第3页"); }, 3, 4},
        {"profiles", [](const MainModels& m) { return !m.fundGrid.cell(7, kTenureReturnColumn).empty(); }, 11, 11},
    };
    start(200);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service->clearLog();
        installEventPump([&] {
            if (c.when(models))
                controller->onEscapePressed();
        });
        controller->onExportClicked();
        uninstallEventPump();
        EXPECT_EQ(gbkToUtf8(models.view.title()), "加载已取消");
        EXPECT_TRUE(heldButtonsEnabled());
        EXPECT_FALSE(models.view.progress().visible);
        EXPECT_FALSE(controller->fullList().running());
        EXPECT_LT(targets("/jbgk_").size(), 200u);
        EXPECT_FALSE(std::filesystem::exists(workbook()));
        EXPECT_GE(targets("/data/").size(), c.fewestRankingRequests);
        EXPECT_LE(targets("/data/").size(), c.mostRankingRequests);
    }
}

TEST_F(WholeMarket, GridLoadsAreRefusedWhileItRuns)
{
    start(100);
    bool tried = false;
    installEventPump([&] {
        if (tried || models.view.title() != gbk("正在加载第2页"))
            return;
        tried = true;
        controller->onBoardClicked(1);
        controller->onFundGridHeaderClicked(0, 7);
        controller->details().fundPageSummary(service->market().funds()[3].code, "x",
                                              FundDetails::PickSource::Watchlist);
        controller->onExportClicked();
    });
    controller->onExportClicked();
    ASSERT_TRUE(tried);
    EXPECT_EQ(models.view.messages(), std::vector<Text>(4, gbk("数据加载中，请稍后再试")));
    EXPECT_FALSE(models.view.isChecked(Control::BoardDayGain));
    EXPECT_EQ(config.read(gbk("启动加载数据"), gbk("加载")), "");
    EXPECT_EQ(SheetReader(workbook()).dimension, "A1:Q101");
    EXPECT_EQ(targets("/data/").size(), 6u); // probe and five pages, nothing else
    EXPECT_FALSE(SheetReader(workbook()).cell("O101").text.empty());
}

// ---- the export step on its own

class ExportStep : public ::testing::Test {
protected:
    void SetUp() override
    {
        grid.setRow(1, 0, {gbk("华夏成长混合"), "000001"});
        models.view.addListener([this](const ViewChange& change) {
            if (change.kind == ViewChange::Caption && change.control == Control::Status)
                status.push_back(gbkToUtf8(models.view.caption(Control::Status)));
        });
    }
    test::TempDir dir;
    MainModels models;
    Grid& grid = models.fundGrid;
    std::vector<std::string> status;
};

TEST_F(ExportStep, ExactlyOneSourceIsTaken)
{
    const std::string path = dir.file("x.xlsx");
    const ExportResult neither = exportGridToWorkbook(models.view, &models.watchlist, false, &grid, false, path);
    const ExportResult both = exportGridToWorkbook(models.view, &models.watchlist, true, &grid, true, path);
    EXPECT_FALSE(neither);
    EXPECT_FALSE(both);
    // The reason comes back with the result, as the user was told it.
    EXPECT_EQ(gbkToUtf8(neither.failure), "超级列表框与高级列表框不能同为空!");
    EXPECT_EQ(gbkToUtf8(both.failure), "超级列表框与高级列表框不能同时保存!");
    EXPECT_EQ(models.view.messages(),
              (std::vector<Text> {gbk("超级列表框与高级列表框不能同为空!"), gbk("超级列表框与高级列表框不能同时保存!")}));
    EXPECT_FALSE(std::filesystem::exists(path));
    // A table asked for but not given writes nothing and says no.
    EXPECT_FALSE(exportGridToWorkbook(models.view, nullptr, true, &grid, false, path));
    EXPECT_FALSE(exportGridToWorkbook(models.view, &models.watchlist, false, nullptr, true, path));
    EXPECT_FALSE(std::filesystem::exists(path));

    models.watchlist.addRow({"1", "000001", gbk("华夏成长混合"), gbk("基金")});
    const ExportResult written = exportGridToWorkbook(models.view, &models.watchlist, true, nullptr, false, path);
    ASSERT_TRUE(written);
    EXPECT_EQ(written.failure, "");
    const SheetReader sheet(path);
    EXPECT_EQ(sheet.dimension, "A1:D2");
    EXPECT_EQ(sheet.cell("A1").text, "序");
    EXPECT_EQ(sheet.cell("C2").text, "华夏成长混合");
}

TEST_F(ExportStep, FundGridGoesToTodaysFileWithTheStatusTexts)
{
    WorkbookExport exporter(models, dir.path());
    exporter.now = [] {
        std::tm date {};
        date.tm_mon = 0;
        date.tm_mday = 9;
        return date;
    };
    EXPECT_EQ(exporter.outputPath(), dir.file("1月9日.xlsx"));
    EXPECT_TRUE(exporter.exportFundGrid());
    EXPECT_EQ(SheetReader(dir.file("1月9日.xlsx")).dimension, "A1:Q21");
    EXPECT_EQ(status, (std::vector<std::string> {"数据导出中", "导出时间0秒"}));
    EXPECT_TRUE(models.view.messages().empty());
}

TEST_F(ExportStep, UnwritableDataDirectoryIsToldAndTheTimeStillShown)
{
    ::chmod(dir.path().c_str(), 0555);
    const std::string target = ::access(dir.path().c_str(), W_OK) == 0 ? "/sys/kernel" : dir.path();
    WorkbookExport exporter(models, target);
    EXPECT_FALSE(exporter.exportFundGrid());
    ASSERT_EQ(models.view.messages().size(), 1u);
    EXPECT_EQ(gbkToUtf8(models.view.messages()[0]),
              "数据导出失败：无法写入" + exporter.outputPath() + "（没有写入权限）");
    EXPECT_EQ(status, (std::vector<std::string> {"数据导出中", "导出时间0秒"}));
    const ExportResult direct = exportGridToWorkbook(models.view, nullptr, false, &grid, true, exporter.outputPath());
    EXPECT_FALSE(direct);
    EXPECT_EQ(gbkToUtf8(direct.failure), "数据导出失败：无法写入" + exporter.outputPath() + "（没有写入权限）");
}

} // namespace
} // namespace fw::testing
