// The fund lists against the sample service: five-star pages, boards, header
// sorts, sector loads, and a newer load ending an older one.
#include "funds/FundLists.h"
#include "funds/SectorRanking.h"
#include "tests/funds/FundsTestSupport.h"
#include "text/NumberText.h"
#include "text/TextOps.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace fw {
namespace {

using test::FeatureWorld;

const char kRankingPath[] = "/data/FundGuideapi.aspx?";

// A market size whose five-star list holds exactly `count` funds: the hint
// first (what the current seed gives), then the sizes around it.
int marketWithFiveStars(int count, int hint)
{
    for (int distance = 0; distance < 400; ++distance) {
        for (int n : {hint + distance, hint - distance}) {
            const sample::Market market(sample::SampleOptions{}.seed, n);
            const auto stars = std::count_if(market.funds().begin(), market.funds().end(),
                                             [](const sample::Fund& f) { return f.stars == 5; });
            if (stars == count)
                return n;
        }
    }
    return 0;
}

// Every title the loaders set, in order.
struct TitleLog {
    explicit TitleLog(View& view) : view(view)
    {
        id = view.addListener([this](const ViewChange& change) {
            if (change.kind == ViewChange::Title)
                titles.push_back(this->view.title());
        });
    }
    ~TitleLog() { view.removeListener(id); }
    View& view;
    int id;
    std::vector<Text> titles;
};

Text query(const std::string& target) { return textAfterLast(target, "?"); }

TEST(FiveStarList, OnePageUnlessAllPagesAreAsked)
{
    FeatureWorld world(FeatureWorld::smallMarket(1200)); // about 150 five-star funds
    FundLists lists(world.context);
    TitleLog log(world.models.view);
    lists.fiveStarClicked();

    // Probe and page 1, both in the default order.
    const auto targets = world.targets(kRankingPath);
    ASSERT_EQ(targets.size(), 2u);
    const Text page1 = "dt=4&sd=&ed=&rt=sz,5&sc=jn&st=desc&pi=1&pn=20&zf=diy&sh=list&rnd=0.01942454964583651";
    EXPECT_EQ(query(targets[0]), page1);
    EXPECT_EQ(query(targets[1]), page1);

    Grid& grid = world.models.fundGrid;
    const int pages = (grid.rowCount() - 1) / 20;
    EXPECT_GT(pages, 1); // room for every page below the header row
    EXPECT_NE(grid.cell(20, 1), "");
    EXPECT_EQ(grid.cell(21, 1), "");
    ASSERT_EQ(log.titles.size(), 2u);
    EXPECT_EQ(log.titles[0], gbk("五星基金正在加载第20条"));
    EXPECT_EQ(log.titles[1], gbk("五星基金加载完毕，共20支基金"));
    EXPECT_TRUE(lists.fiveStarListShown);
    EXPECT_TRUE(world.models.view.isEnabled(Control::SectorButton));
    EXPECT_NE(grid.cellColour(1, 4), kDefaultColour);
    // The load hands back the title it ended with.
    EXPECT_EQ(lists.loadFiveStarList({}, {}).title, gbk("五星基金加载完毕，共20支基金"));
}

TEST(FiveStarList, AllPagesFillExactlyTheListAndCountIt)
{
    struct Case { int funds; int hint; int rows; const char* done; };
    const Case cases[] = {
        {87, 742, 101, "五星基金加载完毕，共87支基金"},
        {100, 826, 101, "五星基金加载完毕，共100支基金"},
    };
    for (const Case& c : cases) {
        const int marketSize = marketWithFiveStars(c.funds, c.hint);
        ASSERT_GT(marketSize, 0);
        FeatureWorld world(FeatureWorld::smallMarket(marketSize));
        world.setLoadAll(true);
        FundLists lists(world.context);
        TitleLog log(world.models.view);
        lists.fiveStarClicked();

        Grid& grid = world.models.fundGrid;
        EXPECT_EQ(grid.rowCount(), c.rows) << c.funds;
        EXPECT_NE(grid.cell(c.funds, 1), "") << c.funds;
        EXPECT_EQ(grid.cell(c.funds + 1, 1), "") << c.funds;
        EXPECT_EQ(log.titles.back(), gbk(c.done));
        // Probe, then every page once: page 1 is asked for twice.
        const auto targets = world.targets(kRankingPath);
        const int pages = (c.funds + 19) / 20;
        ASSERT_EQ(int(targets.size()), pages + 1);
        for (int p = 1; p <= pages; ++p)
            EXPECT_NE(targets[size_t(p)].find("&pi=" + std::to_string(p) + "&"), std::string::npos);
        EXPECT_EQ(log.titles[0], gbk("五星基金正在加载第20条"));
        EXPECT_EQ(log.titles[size_t(pages - 1)], gbk("五星基金正在加载第") + std::to_string(c.funds) + gbk("条"));
    }
}

TEST(FiveStarList, NothingArrivingEndsWithTheFailureTitle)
{
    struct Case { sample::Fault fault; bool allPages; size_t requests; };
    const Case cases[] = {
        {{sample::Fault::HttpError, "", 503}, false, 2},
        {{sample::Fault::Garbage, "", 400}, false, 2},
        {{sample::Fault::Drop, "", 0}, true, 1}, // no page count: no page asked for
        {{sample::Fault::Stall, "", 5000}, false, 2},
    };
    for (const Case& c : cases) {
        FeatureWorld world(FeatureWorld::smallMarket(), 1);
        world.setLoadAll(c.allPages);
        world.service->addFault(c.fault);
        FundLists lists(world.context);
        lists.fiveStarClicked();
        EXPECT_EQ(world.models.view.title(), gbk("五星基金加载失败，请重试")) << c.fault.kind;
        EXPECT_EQ(world.targets(kRankingPath).size(), c.requests) << c.fault.kind;
        EXPECT_EQ(world.models.fundGrid.cell(1, 0), "");
        EXPECT_TRUE(world.models.view.isEnabled(Control::SectorButton));
        const LoadResult again = lists.loadFiveStarList({}, {});
        EXPECT_EQ(again.outcome, LoadOutcome::Failed);
        EXPECT_EQ(again.title, gbk("五星基金加载失败，请重试")) << c.fault.kind;
    }
}

TEST(Boards, StoreTheirCodeLoadOnePageAndSetTheirTitle)
{
    FeatureWorld world;
    FundLists lists(world.context);
    struct Case { int board; const char* code; const char* order; const char* title; };
    const Case cases[] = {
        {1, "1000", "sc=r&st=desc", "昨日涨幅榜"},
        {2, "0100", "sc=1y&st=desc", "本月涨幅榜"},
        {3, "0010", "sc=r&st=asc", "昨日跌幅榜"},
        {4, "0001", "sc=1y&st=asc", "本月跌幅榜"},
    };
    world.models.fundGrid.setRowCount(141); // after a longer list
    for (const Case& c : cases) {
        world.service->clearLog();
        lists.boardClicked(c.board);
        EXPECT_EQ(world.config.read(gbk("启动加载数据"), gbk("加载")), c.code);
        const auto targets = world.targets(kRankingPath);
        ASSERT_EQ(targets.size(), 1u);
        EXPECT_EQ(query(targets[0]), "dt=4&sd=&ed=&" + std::string(c.order)
                                         + "&pi=1&pn=20&zf=diy&sh=list&rnd=0.9509419468855504");
        EXPECT_EQ(world.models.view.title(), gbk(c.title));
        EXPECT_EQ(world.models.fundGrid.rowCount(), 141);
        EXPECT_NE(world.models.fundGrid.cell(20, 1), "");
        EXPECT_EQ(world.models.fundGrid.cell(21, 1), "");
        for (int b = 1; b <= 4; ++b)
            EXPECT_EQ(world.models.view.isChecked(boardControl(b)), b == c.board);
    }
    // Ranked by the last day, the first row beats the last one.
    lists.boardClicked(1);
    Grid& grid = world.models.fundGrid;
    EXPECT_GE(textValue(grid.cell(1, 4)), textValue(grid.cell(20, 4)));
}

TEST(Boards, LeaveTheSectorButtonToTheOpenSectorWindow)
{
    FeatureWorld world;
    FundLists lists(world.context);
    lists.sectorButtonClicked(); // the open sector window holds its button
    lists.boardClicked(1);
    EXPECT_EQ(world.models.view.title(), gbk("昨日涨幅榜"));
    EXPECT_FALSE(world.models.view.isEnabled(Control::SectorButton));
}

TEST(HeaderSort, AlternatesDirectionAcrossListsAndColumns)
{
    FeatureWorld world;
    FundLists lists(world.context);
    lists.fiveStarClicked();
    struct Step { int column; const char* order; };
    const Step steps[] = {{10, "sc=1n&st=desc"}, {12, "sc=3n&st=asc"}, {4, "sc=r&st=desc"}, {5, "sc=z&st=asc"}};
    for (const Step& s : steps) {
        world.service->clearLog();
        lists.sortByColumn(0, s.column);
        const auto targets = world.targets(kRankingPath);
        ASSERT_EQ(targets.size(), 2u);
        EXPECT_NE(targets[0].find("rt=sz,5&sc=jn&st=desc&pi=1"), std::string::npos); // the probe's order
        EXPECT_NE(targets[1].find("rt=sz,5&" + std::string(s.order) + "&pi=1&"), std::string::npos) << s.order;
        EXPECT_EQ(world.models.view.title(), gbk("五星基金加载完毕，共20支基金"));
    }
}

TEST(HeaderSort, ColumnsWithoutAPeriodLoadNothingButLeaveTheSectorOrder)
{
    FeatureWorld world;
    FundLists lists(world.context);
    lists.sectorListMode = true;
    for (int column : {0, 1, 2, 3, 13, 14, 15, 16}) {
        lists.sortByColumn(0, column);
        EXPECT_FALSE(lists.sectorListMode);
    }
    EXPECT_TRUE(world.targets(kRankingPath).empty());
    EXPECT_FALSE(lists.nextSortAscending);
}

TEST(HeaderSort, IsRefusedWhileAPagedLoadReportsProgress)
{
    FeatureWorld world;
    FundLists lists(world.context);
    world.models.view.setTitle(gbk("保险板块正在加载第40条"));
    lists.sortByColumn(0, 10);
    ASSERT_EQ(world.models.view.messages().size(), 1u);
    EXPECT_EQ(world.models.view.messages()[0], gbk("数据加载中，请稍后再试"));
    EXPECT_TRUE(world.targets(kRankingPath).empty());
    EXPECT_FALSE(lists.nextSortAscending);
}

TEST(HeaderSort, BeforeAnySectorWasChosenAsksForSectorZero)
{
    FeatureWorld world;
    FundLists lists(world.context);
    lists.sortByColumn(0, 10);
    const auto targets = world.targets(kRankingPath);
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_NE(targets[0].find("tp=BK00&sc=3y&st=desc&pi=1&"), std::string::npos);
    EXPECT_NE(targets[1].find("tp=BK00&sc=1n&st=desc&pi=1&"), std::string::npos);
    EXPECT_EQ(world.models.view.title(), gbk("板块加载失败，请重试"));
}

TEST(SectorList, APickedSectorLoadsInTheDefaultOrderUnderItsName)
{
    FeatureWorld world(FeatureWorld::smallMarket(3000));
    FundLists lists(world.context);
    const sample::Sector& sector = world.service->market().sectors().front();
    SectorList list;
    list.names = {gbk("别的板块"), utf8ToGbk(sector.name)};
    list.codes = {"BK0999", sector.code};
    list.values = {"1", "2"};
    lists.sectorButtonClicked();
    EXPECT_FALSE(world.models.view.isEnabled(Control::SectorButton));
    lists.sortByColumn(0, 6); // a header sort first: the pick restores the default order
    world.service->clearLog();
    lists.chooseSector(list, 1);

    const Text digits = sector.code.substr(3);
    const auto targets = world.targets(kRankingPath);
    ASSERT_EQ(targets.size(), 2u);
    for (const auto& target : targets)
        EXPECT_EQ(query(target), "dt=4&sd=&ed=&tp=BK0" + digits
                                     + "&sc=3y&st=desc&pi=1&pn=20&zf=diy&sh=list&rnd=0.6496325281618789");
    EXPECT_EQ(lists.currentSectorCode, digits);
    EXPECT_EQ(lists.currentSectorName, utf8ToGbk(sector.name));
    EXPECT_EQ(world.models.view.windowState(Window::Sector), WindowState::Hidden);
    const int loaded = std::min<int>(20, int(sector.funds.size()));
    EXPECT_EQ(world.models.view.title(),
              utf8ToGbk(sector.name) + gbk("板块加载完毕，共") + std::to_string(loaded) + gbk("支基金"));
    EXPECT_TRUE(world.models.view.isEnabled(Control::SectorButton));

    // A pick beyond the list starts nothing.
    world.service->clearLog();
    lists.chooseSector(list, 2);
    lists.chooseSector(list, -1);
    EXPECT_TRUE(world.targets(kRankingPath).empty());

    // A header sort now reloads this sector in the asked order.
    world.service->clearLog();
    lists.sortByColumn(0, 7);
    const auto sorted = world.targets(kRankingPath);
    ASSERT_EQ(sorted.size(), 2u);
    EXPECT_NE(sorted[1].find("tp=BK0" + digits + "&sc=3y&st=asc&pi=1&"), std::string::npos);
}

TEST(SectorList, ClosingTheSectorWindowLeavesTheButtonDisabled)
{
    FeatureWorld world;
    FundLists lists(world.context);
    lists.fiveStarListShown = true;
    lists.sectorButtonClicked();
    EXPECT_FALSE(lists.fiveStarListShown);
    lists.sectorWindowDestroyed();
    EXPECT_FALSE(lists.sectorListMode);
    EXPECT_FALSE(world.models.view.isEnabled(Control::SectorButton));
}

// The window runs events while a page downloads: a board clicked during the
// five-star list's download ends that list before it writes again.
TEST(NewerLoad, EndsTheOlderOneBeforeItsNextWrite)
{
    sample::SampleOptions options = FeatureWorld::smallMarket(2000);
    FeatureWorld world(options);
    world.setLoadAll(true);
    world.service->addFault({sample::Fault::Latency, "rt=sz,5", 150});
    FundLists lists(world.context);
    TitleLog log(world.models.view);

    int pumps = 0;
    installEventPump([&] {
        // Inside the five-star list's second page: the user picks a board.
        if (++pumps == 1 || world.targets(kRankingPath).size() != 3)
            return;
        if (log.titles.size() == 1) {
            uninstallEventPump();
            lists.boardClicked(3);
        }
    });
    lists.fiveStarClicked();
    uninstallEventPump();

    ASSERT_GE(log.titles.size(), 2u);
    EXPECT_EQ(log.titles[0], gbk("五星基金正在加载第20条"));
    EXPECT_EQ(log.titles.back(), gbk("昨日跌幅榜"));
    EXPECT_EQ(log.titles.size(), 2u); // nothing from the five-star list after the board
    // The grid holds the board: ranked by the last day, falling first.
    Grid& grid = world.models.fundGrid;
    EXPECT_LE(textValue(grid.cell(1, 4)), textValue(grid.cell(20, 4)));
    EXPECT_EQ(grid.cell(21, 1), "");
    // No more pages of the superseded list were asked for.
    EXPECT_EQ(world.targets(kRankingPath).size(), 4u);
    EXPECT_TRUE(world.models.view.isEnabled(Control::SectorButton));
}

} // namespace
} // namespace fw

namespace fw {
namespace {

TEST(FiveStarList, ASinglePageListKeepsTheRowCountAndTheHeaderItsColours)
{
    FeatureWorld world(FeatureWorld::smallMarket(100)); // fewer than 20 five-star funds
    world.setLoadAll(true);
    world.models.fundGrid.setRowCount(141);
    FundLists lists(world.context);
    const LoadResult result = lists.loadFiveStarList({}, {});
    ASSERT_EQ(result.outcome, LoadOutcome::Done);
    ASSERT_LT(result.funds, 20);
    EXPECT_EQ(world.models.fundGrid.rowCount(), 141);
    for (int column = 0; column < 17; ++column)
        EXPECT_EQ(world.models.fundGrid.cellColour(0, column), kDefaultColour) << column;
    EXPECT_NE(world.models.fundGrid.cellColour(result.funds, 4), kDefaultColour);
    EXPECT_EQ(world.models.fundGrid.cellColour(result.funds + 1, 4), kDefaultColour);
}

TEST(SectorList, AllPagesOfASectorGetRoomForEveryFund)
{
    sample::SampleOptions options = FeatureWorld::smallMarket(87);
    options.wholeMarketSector = true;
    FeatureWorld world(options);
    world.setLoadAll(true);
    FundLists lists(world.context);
    SectorList market;
    market.names = {gbk("全市场")};
    market.codes = {"BK0999"};
    market.values = {"0"};
    lists.chooseSector(market, 0);
    EXPECT_EQ(world.models.fundGrid.rowCount(), 101);
    EXPECT_NE(world.models.fundGrid.cell(87, 1), "");
    EXPECT_EQ(world.models.fundGrid.cell(88, 1), "");
    EXPECT_EQ(world.models.view.title(), gbk("全市场板块加载完毕，共87支基金"));
    EXPECT_EQ(world.targets(kRankingPath).size(), 6u);
}

TEST(PageCount, GivesRowsForEveryPageUpToWhatTheGridHolds)
{
    const struct { double pages; int rows; } cases[] = {
        {7, 141},           {1, 21},
        {7.9, 141},         // whole pages only
        {0, 1},             {-3, 1},
        {5001, 100021},     // the grid's 100,000 rows and a page more
        {5002, 100021},
        {107374183, 100021}, // 107,374,183 × 20 + 1 is more than an int holds
        {1e300, 100021},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rankingRowCount(c.pages), c.rows) << c.pages;
}

// Answers every ranking request with one stored body.
class StoredRankingServer {
public:
    explicit StoredRankingServer(const std::string& file)
    {
        std::ifstream in(std::string(FUNDS_TEST_DATA) + "/" + file, std::ios::binary);
        std::ostringstream body;
        body << in.rdbuf();
        m_body = body.str();
        m_server.Get("/data/FundGuideapi.aspx", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(m_body, "text/html; charset=utf-8");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~StoredRankingServer()
    {
        m_server.stop();
        m_thread.join();
    }
    std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port); }

private:
    httplib::Server m_server;
    std::string m_body;
    int m_port = 0;
    std::thread m_thread;
};

TEST(FiveStarList, AHugePageCountStillShowsTheFundsThatCame)
{
    // 20 funds on a page that announces 107,374,183 pages.
    StoredRankingServer server("huge-page-count.js");
    FeatureWorld world;
    ServiceHosts hosts = serviceHosts();
    hosts.setBaseUrl(HostRole::FundList, server.baseUrl());
    setServiceHosts(hosts);
    FundLists lists(world.context);
    const LoadResult result = lists.loadFiveStarList({}, {});
    EXPECT_EQ(result.outcome, LoadOutcome::Done);
    EXPECT_EQ(world.models.view.title(), gbk("五星基金加载完毕，共20支基金"));
    Grid& grid = world.models.fundGrid;
    EXPECT_EQ(grid.rowCount(), Grid::kMaxRows);
    EXPECT_EQ(grid.cell(1, 1), "900001");
    EXPECT_EQ(grid.cell(20, 0), gbk("大页数测试基金20"));
    EXPECT_EQ(grid.cell(20, 4), "1.00%");
}

} // namespace
} // namespace fw
