// The watchlist: rows added from the grids and removed, the stored value
// rebuilt after every change, and read back whole at start.
#include "funds/Watchlist.h"
#include "tests/funds/FundsTestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fw {
namespace {

using test::FeatureWorld;

struct WatchWorld : FeatureWorld {
    WatchWorld() : FeatureWorld(smallMarket(0)) {}
    Watchlist watchlist {context};

    Text stored() const { return config.read(gbk("自选数据"), gbk("自选")); }
    // A fund-grid or holdings-grid row picked: name in column 0, code in 1.
    static void pick(Grid& grid, int row, std::string_view code, std::string_view name)
    {
        grid.setCell(row, 0, name);
        grid.setCell(row, 1, code);
        grid.setCursorRow(row);
    }
    TextList row(int i) const { return models.watchlist.rows().at(size_t(i)); }
};

TEST(Watchlist, StoredTextFollowsEveryAddAndRemove)
{
    WatchWorld w;
    WatchWorld::pick(w.models.fundGrid, 3, "000001", gbk("华夏成长"));
    w.watchlist.addFund();
    EXPECT_EQ(w.stored(), gbk("000001/华夏成长/基金|"));
    EXPECT_EQ(w.row(0), (TextList{"1", "000001", gbk("华夏成长"), gbk("基金")}));

    WatchWorld::pick(w.models.holdingsGrid, 2, "600519", gbk("贵州茅台"));
    w.watchlist.stockMenuOpened(3);
    w.watchlist.addStock();
    w.watchlist.addFund(); // the same fund again: listed and stored twice
    EXPECT_EQ(w.stored(), gbk("000001/华夏成长/基金|600519/贵州茅台/股票|000001/华夏成长/基金|"));
    EXPECT_EQ(w.row(2)[0], "3");

    w.models.watchlist.setCurrentRow(0);
    w.watchlist.remove();
    EXPECT_EQ(w.stored(), gbk("600519/贵州茅台/股票|000001/华夏成长/基金|"));
    EXPECT_EQ(w.row(0), (TextList{"1", "600519", gbk("贵州茅台"), gbk("股票")}));
    EXPECT_EQ(w.row(1)[0], "2");

    // Nothing selected: nothing removed, the value written again as it is.
    w.models.watchlist.setCurrentRow(-1);
    w.watchlist.remove();
    EXPECT_EQ(w.models.watchlist.rowCount(), 2);
    EXPECT_EQ(w.stored(), gbk("600519/贵州茅台/股票|000001/华夏成长/基金|"));
    EXPECT_TRUE(w.models.view.messages().empty());

    // The last one gone: the key stays, empty.
    for (int i = 0; i < 2; ++i) {
        w.models.watchlist.setCurrentRow(0);
        w.watchlist.remove();
    }
    EXPECT_EQ(test::readBytes(w.config.path()), gbk("[自选数据]\r\n自选=\r\n"));
}

TEST(Watchlist, NothingPickedIsRefusedWithAMessage)
{
    struct Case {
        const char* what;
        int cursor;
        const char* name;
    } cases[] = {{"no cursor row", -1, "x"}, {"empty name cell", 4, ""}, {"header row", 0, "x"}};
    for (const Case& c : cases) {
        WatchWorld w;
        WatchWorld::pick(w.models.fundGrid, 4, "000001", gbk(c.name));
        w.models.fundGrid.setCursorRow(c.cursor);
        w.watchlist.addFund();
        EXPECT_EQ(w.models.watchlist.rowCount(), 0) << c.what;
        EXPECT_EQ(w.models.view.messages(), TextList{gbk("请选择要加入的对象")}) << c.what;
        EXPECT_EQ(test::readBytes(w.config.path()), gbk("[自选数据]\r\n自选=\r\n")) << c.what;
    }
}

TEST(Watchlist, StockMenuAddsFromTheGridThatOpenedIt)
{
    WatchWorld w;
    WatchWorld::pick(w.models.holdingsGrid, 1, "600519", gbk("贵州茅台"));
    WatchWorld::pick(w.models.baseHoldingsGrid, 1, "000858", gbk("五粮液"));

    // Opened on 高级表格3 and dismissed; then opened on 高级表格4 and used.
    w.watchlist.stockMenuOpened(3);
    w.watchlist.stockMenuOpened(4);
    w.watchlist.addStock();
    w.watchlist.stockMenuOpened(3);
    w.watchlist.addStock();
    EXPECT_FALSE(w.watchlist.stockMenuFromFirstGrid); // reset after use
    w.watchlist.addStock();                           // so this one is 高级表格4's
    EXPECT_EQ(w.stored(), gbk("000858/五粮液/股票|600519/贵州茅台/股票|000858/五粮液/股票|"));
}

TEST(Watchlist, SeparatorsInNamesAreStoredFullWidth)
{
    WatchWorld w;
    // 亅 is 0x81 0x7C in GBK: its second byte is no "|".
    WatchWorld::pick(w.models.fundGrid, 1, "A/1", gbk("亅甲|乙/丙"));
    w.watchlist.addFund();
    const TextList expected {"1", gbk("A／1"), gbk("亅甲｜乙／丙"), gbk("基金")};
    EXPECT_EQ(w.row(0), expected);
    EXPECT_EQ(w.stored(), gbk("A／1/亅甲｜乙／丙/基金|"));

    MainModels restarted;
    FeatureContext context(restarted, w.config);
    Watchlist(context).load();
    ASSERT_EQ(restarted.watchlist.rowCount(), 1);
    EXPECT_EQ(restarted.watchlist.rows()[0], expected);
}

TEST(Watchlist, LongStoredValueIsReadWholeAndKeptByTheNextAdd)
{
    WatchWorld w;
    Text value;
    for (int i = 0; i < 1100; ++i)
        value += std::to_string(100000 + i) + gbk("/某某基金/基金|");
    ASSERT_GT(value.size(), ConfigFile::kMaxValueBytes + 5000);
    ASSERT_TRUE(w.config.write(gbk("自选数据"), gbk("自选"), value));

    w.watchlist.load();
    ASSERT_EQ(w.models.watchlist.rowCount(), 1100);
    EXPECT_EQ(w.row(1099), (TextList{"1100", "101099", gbk("某某基金"), gbk("基金")}));

    WatchWorld::pick(w.models.fundGrid, 1, "000001", gbk("华夏成长"));
    w.watchlist.addFund();
    EXPECT_EQ(w.config.readWhole(gbk("自选数据"), gbk("自选")), value + gbk("000001/华夏成长/基金|"));
}

TEST(Watchlist, ValueCutShortLoadsTheWholeEntries)
{
    struct Case {
        const char* stored;
        int rows;
    } cases[] = {
        {"000001/华夏成长/基金|600519/贵州茅台/股", 1},  // cut inside the type
        {"000001/华夏成长/基金|600519/贵州茅", 1},       // cut inside the name
        {"000001/华夏成长/基金|600519/贵州茅台/股票", 2}, // only the closing "|" missing
        {"000001/华夏成长/基金|600519/贵州茅台/股|", 2},  // closed: shown as stored
    };
    for (const Case& c : cases) {
        WatchWorld w;
        ASSERT_TRUE(w.config.write(gbk("自选数据"), gbk("自选"), gbk(c.stored)));
        w.watchlist.load();
        EXPECT_EQ(w.models.watchlist.rowCount(), c.rows) << c.stored;
    }
}

TEST(Watchlist, UnsavableSettingsAreToldOncePerRun)
{
    WatchWorld w;
    ASSERT_TRUE(w.config.write(gbk("自选数据"), gbk("自选"), gbk("000001/华夏成长/基金|")));
    ASSERT_EQ(::chmod(w.config.path().c_str(), 0444), 0);
    WatchWorld::pick(w.models.fundGrid, 1, "000002", "B");
    w.watchlist.addFund();
    w.watchlist.addFund();
    EXPECT_EQ(w.models.view.messages(), TextList{gbk("配置文件无法保存，更改不会保留")});
    EXPECT_EQ(w.models.watchlist.rowCount(), 2); // the list keeps what the user did
    EXPECT_EQ(w.stored(), gbk("000001/华夏成长/基金|"));
}

} // namespace
} // namespace fw
