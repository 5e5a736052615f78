// The stock page overlay: what opens it, what it shows, which links stay in
// it; and the watchlist click that shows a fund or a stock.
#include "funds/FundDetails.h"
#include "funds/StockPage.h"
#include "tests/funds/DetailsTestSupport.h"

namespace fw::testing {
namespace {

TEST(StockPageLinks, OnlyTheMarketDataHostStaysInTheOverlay)
{
    ServiceHosts hosts = ServiceHosts::defaults();
    hosts.setBaseUrl(HostRole::MarketData, "http://data.example.com");
    setServiceHosts(hosts);
    EXPECT_EQ(StockPage::url("600519"), "http://data.example.com/gdhs/detail/600519.html");
    const std::pair<const char*, bool> cases[] = {
        {"http://data.example.com/gdhs/detail/000001.html", true},
        {"https://data.example.com/gdhs/", true},       // the host's own move to https
        {"http://DATA.EXAMPLE.COM/x", true},
        {"http://data.example.com:80/x", true},
        {"http://data.example.com:8080/x", false},
        {"http://quote.example.com/x", false},
        {"http://data.example.com.evil.test/x", false},
        {"http://data.example.com@evil.test/x", false},
        {"javascript:alert(1)", false},
        {"", false},
    };
    for (const auto& [url, stays] : cases)
        EXPECT_EQ(StockPage::staysInOverlay(url), stays) << url;
}

TEST(StockPageLinks, OnlyALinkTheUserClickedOpensOutside)
{
    ServiceHosts hosts = ServiceHosts::defaults();
    hosts.setBaseUrl(HostRole::MarketData, "http://data.example.com");
    setServiceHosts(hosts);
    const auto load = StockNavigation::Load, outside = StockNavigation::OpenOutside, refuse = StockNavigation::Refuse;
    const struct { const char* url; bool linkClicked, userJustActed; StockNavigation to; } cases[] = {
        // The market data host's pages load, whoever asks.
        {"http://data.example.com/gdhs/detail/000001.html", false, false, load},
        {"https://data.example.com/x", true, true, load},
        {"about:blank", false, false, load},
        // Elsewhere: only a link clicked just after the user pressed something.
        {"http://elsewhere.example.com/x", true, true, outside},
        {"https://elsewhere.example.com/x", true, true, outside},
        {"http://elsewhere.example.com/x", true, false, refuse},  // a script's location.href
        {"http://elsewhere.example.com/x", false, true, refuse},  // a redirect or refresh after a click
        {"http://elsewhere.example.com/x", false, false, refuse},
        {"http://data.example.com:8080/x", true, false, refuse},
        // No other scheme leaves the program.
        {"javascript:alert(1)", true, true, refuse},
        {"file:///etc/passwd", true, true, refuse},
        {"mailto:a@example.com", true, true, refuse},
        {"about:blank#x", false, false, refuse},
        {"", false, false, refuse},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StockPage::navigation(c.url, c.linkClicked, c.userJustActed), c.to)
            << c.url << " " << c.linkClicked << c.userJustActed;
    setServiceHosts(ServiceHosts::defaults());
}

class StockOverlay : public SampleSuite {
protected:
    bool overlayShown() const
    {
        return w.models.view.isVisible(Control::StockFrame) && w.models.view.isVisible(Control::StockBrowser);
    }
    Text pageOf(const char* code) const { return s_service->baseUrl() + "/gdhs/detail/" + code + ".html"; }

    Window w;
    FundDetails details {w.context};
};

TEST_F(StockOverlay, OpensOnAStockAndNavigatesOnTheNext)
{
    EXPECT_FALSE(overlayShown());
    details.openStockPage("");
    EXPECT_FALSE(overlayShown());
    EXPECT_EQ(w.models.view.stockPageUrl(), "");

    details.openStockPage("600519");
    EXPECT_TRUE(overlayShown());
    EXPECT_EQ(w.models.view.stockPageUrl(), pageOf("600519"));
    EXPECT_TRUE(StockPage::staysInOverlay(w.models.view.stockPageUrl()));

    details.openStockPage("00700");
    EXPECT_TRUE(overlayShown());
    EXPECT_EQ(w.models.view.stockPageUrl(), pageOf("00700"));

    details.closeStockPage();
    EXPECT_FALSE(w.models.view.isVisible(Control::StockFrame));
    EXPECT_FALSE(w.models.view.isVisible(Control::StockBrowser));
    EXPECT_EQ(w.models.view.stockPageUrl(), "");
}

TEST_F(StockOverlay, HoldingsGridPickOpensTheStockOfTheCursorRow)
{
    Grid& third = w.models.holdingsGrid;
    Grid& fourth = w.models.baseHoldingsGrid;
    third.setRow(2, 0, {gbk("贵州茅台"), "600519"});
    fourth.setRow(1, 0, {gbk("腾讯控股"), "00700"});

    details.holdingsGridCellPicked(3); // no cursor row
    EXPECT_FALSE(overlayShown());
    third.setCursorRow(3);             // a row without a holding
    details.holdingsGridCellPicked(3);
    EXPECT_FALSE(overlayShown());

    third.setCursorRow(2);
    details.holdingsGridCellPicked(3);
    EXPECT_EQ(w.models.view.stockPageUrl(), pageOf("600519"));
    fourth.setCursorRow(1);
    details.holdingsGridCellPicked(4);
    EXPECT_EQ(w.models.view.stockPageUrl(), pageOf("00700"));
    details.holdingsGridCellPicked(5);
    EXPECT_EQ(w.models.view.stockPageUrl(), pageOf("00700"));
}

TEST_F(StockOverlay, WatchlistShowsAStockPageOrAFundSummary)
{
    const sample::Fund& f = fundWhere([](const sample::Fund&) { return true; });
    ListModel& list = w.models.watchlist;
    list.addRow({"1", "600519", gbk("贵州茅台"), gbk("股票")});
    list.addRow({"2", f.code, utf8ToGbk(f.name), gbk("基金")});
    list.addRow({"3", "000001", "x", gbk("债券")});

    details.watchlistItemClicked(); // nothing selected
    EXPECT_FALSE(overlayShown());

    list.setCurrentRow(0);
    details.watchlistItemClicked();
    EXPECT_EQ(w.models.view.stockPageUrl(), pageOf("600519"));

    list.setCurrentRow(2); // neither fund nor stock
    details.watchlistItemClicked();
    EXPECT_TRUE(overlayShown());
    EXPECT_TRUE(s_service->requests().empty());

    list.setCurrentRow(1);
    details.watchlistItemClicked();
    EXPECT_FALSE(overlayShown());
    EXPECT_EQ(w.models.fundGrid.cell(1, 1), f.code);
    EXPECT_EQ(w.models.fundGrid.cell(1, 0), utf8ToGbk(f.name));
    EXPECT_EQ(details.currentFundCode, f.code);
    EXPECT_EQ(requestsFor("/" + f.code + ".html?spm=search%20").size(), 1u);
    details.waitForHoldingsWorkers();
}

} // namespace
} // namespace fw::testing
