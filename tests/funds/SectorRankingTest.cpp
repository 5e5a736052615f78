// Theme sectors: the two answers, tile captions and colours, the tile layout,
// and the sector window's flow against the sample service.
#include "funds/FundLists.h"
#include "funds/SectorRanking.h"
#include "tests/funds/FundsTestSupport.h"
#include "text/TextOps.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace fw {
namespace {

using test::FeatureWorld;

std::string stored(const std::string& name)
{
    std::ifstream in(std::string(FUNDS_TEST_DATA) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(SectorAnswers, ClassicAnswerFillsNamesCodesAndThePeriodsValues)
{
    const std::string answer = stored("sectors-classic.txt");
    struct Case { const char* key; const char* values[3]; };
    const Case cases[] = {
        {"SYL_W", {"1.234", "--", "-1.234"}},
        {"SYL_M", {"-2.5", "", "12"}},
        {"SYL_Q", {"8.01", "-0.005", "0.004"}},
        {"SYL_1N", {"14.88", "0.005", "-0.004"}},
    };
    for (const Case& c : cases) {
        const SectorList list = parseClassicSectorAnswer(answer, c.key);
        ASSERT_EQ(list.size(), 3) << c.key;
        EXPECT_EQ(list.names[0], gbk("保险"));
        EXPECT_EQ(list.codes[1], "BK0045");
        EXPECT_EQ(list.codes[2], "BK000651");
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(list.values[size_t(i)], c.values[i]) << c.key << " " << i;
    }
}

TEST(SectorAnswers, NewAnswerInPlainJsonOrJsonp)
{
    const std::string plain = stored("sectors-new.txt");
    for (const std::string& answer : {plain, "cb123(" + plain + ")", "cb123(" + plain + ");\n"}) {
        const SectorList list = parseNewSectorAnswer(answer, "W");
        ASSERT_EQ(list.size(), 3);
        EXPECT_EQ(list.names[0], gbk("光模块"));
        EXPECT_EQ(list.codes[1], "BK000045");
        EXPECT_EQ(list.values[0], "1.23");
        EXPECT_EQ(list.values[1], "--");
        EXPECT_EQ(list.values[2], "");
    }
    EXPECT_EQ(parseNewSectorAnswer(plain, "M").values[0], "");
}

TEST(SectorAnswers, BrokenAnswersGiveAnEmptyList)
{
    const char* classic[] = {
        "",
        "jQuery18304518781773802629_1629802165289({\"Data\":[],\"ErrCode\":0})",
        "jQuery18304518781773802629_1629802165289({\"Data\":null,\"ErrCode\":0})",
        "jQuery18304518781773802629_1629802165289({\"ErrCode\":0})",
        "jQuery18304518781773802629_1629802165289({\"Data\":\"x\"})",
        "<html><body>404</body></html>",
        "other_callback({\"Data\":[{\"BKCode\":\"BK0474\",\"BKName\":\"x\"}]})",
    };
    for (const char* answer : classic)
        EXPECT_TRUE(parseClassicSectorAnswer(answer, "SYL_W").empty()) << answer;
    const char* newer[] = {"", "{\"Data\":[]}", "{\"Data\":null}", "not json", "cb(", "{\"Data\":[{}]}"};
    for (const char* answer : newer)
        EXPECT_TRUE(parseNewSectorAnswer(answer, "W").empty()) << answer;
}

// The tile shows the figure at two decimals in its shortest form and is
// coloured by it; a text that is no figure shows as 0.
TEST(SectorTiles, CaptionAndColourFollowTheFigureAsShown)
{
    struct Case { const char* value; const char* figure; Colour tile, text; };
    const Case cases[] = {
        {"1.005", "1.01", 255, kRed},     {"-1.005", "-1.01", 57472, kGreen}, {"2.50", "2.5", 255, kRed},
        {"0.004", "0", 57472, kGreen},    {"--", "0", 57472, kGreen},         {"", "0", 57472, kGreen},
        // Nearer a half than 1e-9 but not than 1e-12: still rounds down.
        {"0.004999999999", "0", 57472, kGreen},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sectorFigure(c.value), c.figure) << c.value;
        EXPECT_EQ(sectorTileColour(c.value), c.tile) << c.value;
        EXPECT_EQ(sectorFigureColour(c.value), c.text) << c.value;
    }
    EXPECT_EQ(sectorTileCaption(gbk("保险"), "1.234"), gbk("\r\n保险\r\n1.23%"));
}

TEST(SectorTiles, ButtonsOutsideTheFourPeriodsShowTheWeek)
{
    EXPECT_STREQ(sectorPeriod(2).key, "SYL_M");
    EXPECT_STREQ(sectorPeriod(4).newKey, "Y");
    for (int button : {0, 5, -1, 100})
        EXPECT_STREQ(sectorPeriod(button).key, "SYL_W") << button;
}

TEST(SectorTiles, TwelveToARowAndTheWindowFitsThem)
{
    struct Case { int count; int height; int controlsTop; int lastLeft; int lastTop; };
    const Case cases[] = {
        {11, 140, 75, 1110, 10},
        {12, 205, 140, 1220, 10},
        {13, 205, 140, 10, 75},
        {30, 270, 205, 560, 140},
        {0, 140, 75, 0, 0},
    };
    for (const Case& c : cases) {
        const SectorTileLayout layout = layoutSectorTiles(c.count);
        EXPECT_EQ(layout.windowHeight, c.height) << c.count;
        EXPECT_EQ(layout.controlsTop, c.controlsTop) << c.count;
        ASSERT_EQ(int(layout.places.size()), c.count);
        if (c.count > 0) {
            EXPECT_EQ(layout.places.back(), std::make_pair(c.lastLeft, c.lastTop)) << c.count;
            EXPECT_EQ(layout.places[11 < c.count ? 11 : 0].first, 11 < c.count ? 1220 : 10);
        }
    }
}

struct SectorWorld : FeatureWorld {
    using FeatureWorld::FeatureWorld;
    FundLists lists {context};
    SectorChooser chooser {context, lists};
};

TEST(SectorWindow, OpensOnTheWeekWithOneTilePerSector)
{
    SectorWorld world;
    world.lists.sectorButtonClicked();
    world.chooser.windowCreated();
    EXPECT_EQ(world.chooser.failure(), "");

    const auto targets = world.targets("/ztjj/");
    ASSERT_EQ(targets.size(), 1u);
    EXPECT_EQ(targets[0], "/ztjj/GetZTJJList?callback=jQuery18304518781773802629_1629802165289&tt=0&dt=syl"
                          "&st=SYL_W&_=1629802165339");
    const auto& requests = world.service->requests();
    bool referer = false;
    for (const auto& [name, value] : requests.back().headers)
        referer = referer || (name == "Referer" && value == world.service->baseUrl() + "/ztjj/");
    EXPECT_TRUE(referer);

    const auto& sectors = world.service->market().sectors();
    SectorTiles& tiles = world.models.sectorTiles;
    ASSERT_EQ(tiles.tileCount(), int(sectors.size()));
    EXPECT_EQ(tiles.windowHeight(), layoutSectorTiles(int(sectors.size())).windowHeight);
    EXPECT_EQ(world.models.view.caption(Control::SectorCaption), gbk("近1周板块涨跌幅排行"));
    // Tiles in the answer's order, each with its own sector's name and figure.
    const SectorList& list = world.chooser.list();
    for (int k = 0; k < tiles.tileCount(); ++k)
        EXPECT_EQ(tiles.tile(k).caption, sectorTileCaption(list.names[size_t(k)], list.values[size_t(k)]));
    bool known = false;
    for (const auto& sector : sectors)
        known = known || (utf8ToGbk(sector.name) == list.names[0] && sector.code == list.codes[0]);
    EXPECT_TRUE(known);
}

TEST(SectorWindow, PeriodButtonsRewriteTheTilesInPlace)
{
    SectorWorld world;
    world.chooser.windowCreated();
    const std::vector<SectorTile> week = world.models.sectorTiles.tiles();
    world.chooser.periodClicked(4);
    const std::vector<SectorTile> year = world.models.sectorTiles.tiles();
    ASSERT_EQ(week.size(), year.size());
    for (size_t k = 0; k < week.size(); ++k) {
        EXPECT_EQ(week[k].left, year[k].left);
        EXPECT_EQ(week[k].top, year[k].top);
    }
    EXPECT_EQ(world.models.view.caption(Control::SectorCaption), gbk("近1年板块涨跌幅排行"));
    EXPECT_NE(world.targets("/ztjj/").back().find("st=SYL_1N&"), std::string::npos);
}

TEST(SectorWindow, ATileClickLoadsThatSectorsFunds)
{
    SectorWorld world(FeatureWorld::smallMarket(3000));
    world.lists.sectorButtonClicked();
    world.chooser.windowCreated();
    const int tile = 2;
    const Text code = world.chooser.list().codes[size_t(tile)];
    const Text name = world.chooser.list().names[size_t(tile)];
    world.service->clearLog();
    world.chooser.tileClicked(tile);
    const auto targets = world.targets("/data/FundGuideapi.aspx");
    ASSERT_FALSE(targets.empty());
    EXPECT_NE(targets[0].find("tp=" + code + "&"), std::string::npos);
    EXPECT_EQ(world.lists.currentSectorName, name);
    EXPECT_EQ(world.models.view.windowState(Window::Sector), WindowState::Hidden);
    // A tile beyond the list starts nothing.
    world.service->clearLog();
    world.chooser.tileClicked(10000);
    EXPECT_TRUE(world.targets("/data/").empty());
}

TEST(SectorWindow, AFailedListTellsTheUserAndClosesTheWindow)
{
    SectorWorld world(FeatureWorld::smallMarket(), 1);
    world.service->addFault({sample::Fault::HttpError, "/ztjj/", 500});
    world.lists.sectorButtonClicked();
    world.chooser.windowCreated();
    ASSERT_EQ(world.models.view.messages().size(), 1u);
    EXPECT_EQ(world.models.view.messages()[0], gbk("板块信息加载失败，请重试"));
    EXPECT_EQ(world.chooser.failure(), gbk("板块信息加载失败，请重试"));
    EXPECT_EQ(world.models.view.windowState(Window::Sector), WindowState::Closed);
    EXPECT_EQ(world.models.sectorTiles.tileCount(), 0);
    EXPECT_EQ(world.models.view.caption(Control::SectorCaption), "");
    // Both operations were tried.
    EXPECT_EQ(world.targets("/ztjj/").size(), 2u);
    world.chooser.windowDestroyed();
    EXPECT_FALSE(world.lists.sectorListMode);
}

} // namespace
} // namespace fw

namespace fw {
namespace {

TEST(SectorWindow, FallsBackToTheNewOperationWhenTheClassicOneIsGone)
{
    sample::SampleOptions options = test::smallMarket(3000);
    options.withdrawOldSectorRoute = true;
    SectorWorld world(options);
    world.chooser.windowCreated();
    const auto targets = world.targets("/ztjj/");
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(targets[1], "/ztjj/GetZTJJListNew?tt=0&dt=syl&st=W&pn=500");
    for (const auto& request : world.service->requests()) {
        bool referer = false;
        for (const auto& [name, value] : request.headers)
            referer = referer || (name == "Referer" && value == world.service->baseUrl() + "/ztjj/");
        EXPECT_TRUE(referer) << request.target;
    }
    const SectorList& list = world.chooser.list();
    ASSERT_EQ(list.size(), int(world.service->market().sectors().size()));
    EXPECT_TRUE(world.models.view.messages().empty());
    const SectorList newer = list; // the week's

    // A period button goes the same way.
    world.service->clearLog();
    world.chooser.periodClicked(3);
    ASSERT_FALSE(world.targets("/ztjj/").empty());
    EXPECT_EQ(world.targets("/ztjj/").back(), "/ztjj/GetZTJJListNew?tt=0&dt=syl&st=Q&pn=500");
    EXPECT_EQ(world.models.view.caption(Control::SectorCaption), gbk("近3月板块涨跌幅排行"));

    // The same sectors and figures as the classic operation gives (the last
    // step: the hosts now point at this second service).
    SectorWorld classic(test::smallMarket(3000));
    classic.chooser.windowCreated();
    EXPECT_EQ(classic.chooser.list().codes, newer.codes);
    for (int k = 0; k < newer.size(); ++k)
        EXPECT_EQ(sectorFigure(classic.chooser.list().values[size_t(k)]), sectorFigure(newer.values[size_t(k)]));
}

TEST(SectorList, CodesWithLeadingZerosAreAskedForAsTheyStand)
{
    SectorWorld world(test::smallMarket(6000));
    world.chooser.windowCreated();
    const SectorList& list = world.chooser.list();
    for (const char* code : {"BK0045", "BK000651", "BK000045"}) {
        int index = -1;
        for (int k = 0; k < list.size(); ++k)
            if (list.codes[size_t(k)] == code)
                index = k;
        ASSERT_GE(index, 0) << code;
        const sample::Sector* sector = nullptr;
        for (const auto& s : world.service->market().sectors())
            if (s.code == code)
                sector = &s;
        ASSERT_NE(sector, nullptr);
        world.service->clearLog();
        world.lists.chooseSector(list, index);
        const auto targets = world.targets("/data/FundGuideapi.aspx");
        ASSERT_EQ(targets.size(), 2u);
        EXPECT_NE(targets[0].find(std::string("&tp=") + code + "&"), std::string::npos) << code;
        // The sector's own funds arrive, not those of a look-alike code.
        const int expected = std::min<int>(20, int(sector->funds.size()));
        ASSERT_GT(expected, 0) << code;
        EXPECT_EQ(world.models.view.title(), list.names[size_t(index)] + gbk("板块加载完毕，共")
                                                 + std::to_string(expected) + gbk("支基金"));
        const std::string first = world.models.fundGrid.cell(1, 1);
        bool member = false;
        for (int i : sector->funds)
            member = member || world.service->market().funds()[size_t(i)].code == first;
        EXPECT_TRUE(member) << code;
    }
}

} // namespace
} // namespace fw
