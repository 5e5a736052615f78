// The ten holdings: the holdings page on every row layout, the quote answer,
// how the two are matched, and the worker end to end.
#include "funds/FundDetails.h"
#include "funds/HoldingsEstimate.h"
#include "funds/HoldingsWorker.h"
#include "sample/Format.h"
#include "tests/funds/DetailsTestSupport.h"
#include "text/TextOps.h"

#include <algorithm>

namespace fw::testing {
namespace {

using Rows = std::vector<std::array<std::string, 3>>; // name, code, share (UTF-8)

Rows shown(const std::vector<HoldingsRowText>& rows)
{
    Rows out;
    for (const HoldingsRowText& r : rows)
        out.push_back({gbkToUtf8(r.name), r.code, r.share});
    return out;
}

// ---- the holdings page

TEST(HoldingsPage, EveryRowLayoutGivesItsOwnCodeNameAndShare)
{
    const Text page = storedPage("holdings_layouts.js");
    EXPECT_EQ(holdingsStockList(page), "1.600519,0.000333,116.01299,0.300750");
    // Classic, hidden link after 行情, Hong Kong toc cells, a row ending at the
    // share; the older quarter's box after the list is not read.
    const std::vector<HoldingRow> rows = holdingsTableRows(page);
    const std::vector<std::array<std::string, 3>> expected {
        {"600519", "贵州茅台", "9.87%"}, {"000333", "美的集团", "6.42%"},
        {"01299", "友邦保险", "3.05%"}, {"300750", "宁德时代", "7.76%"}};
    std::vector<std::array<std::string, 3>> got;
    for (const HoldingRow& r : rows)
        got.push_back({r.code, gbkToUtf8(r.name), r.share});
    EXPECT_EQ(got, expected);

    // Price and change filled in by the service: the share is still the
    // first figure after the links.
    Text filled = page;
    for (const char* code : {"600519", "000333", "300750"}) {
        filled = replaceAll(filled, "<span data-id='zd" + std::string(code) + "'></span>",
                            "<span data-id='zd" + std::string(code) + "'>1.25%</span>");
        filled = replaceAll(filled, "<span data-id='dq" + std::string(code) + "'></span>",
                            "<span data-id='dq" + std::string(code) + "'>12.34</span>");
    }
    ASSERT_NE(filled, page);
    got.clear();
    for (const HoldingRow& r : holdingsTableRows(filled))
        got.push_back({r.code, gbkToUtf8(r.name), r.share});
    EXPECT_EQ(got, expected);
}

TEST(HoldingsPage, ShareIsNeverMarkupOrAnotherRowsFigure)
{
    // A row whose share cell holds no figure, followed by a classic one.
    const Text page = gbk("<tbody><tr><td>1</td><td>600000</td><td>浦发银行</td><td class='xglj'><a href='x'>行情</a>"
                          "</td><td class='tor'>--</td><td class='tor'><span>12.00</span></td></tr><tr><td>2</td>"
                          "<td>600001</td><td>邯郸钢铁</td><td class='xglj'><a href='y'>行情</a></td><td class='tor'>"
                          "<b>4.50%</b></td></tr>"
                          // Cells left unclosed, a lone sign before the figure, a whole percentage.
                          "<tr><td>3<td>600002<td>齐鲁石化<td class='xglj'><a href='z'>行情</a><td class='tor'>%"
                          "<td class='tor'>12%<td class='tor'>3.00%</tr></tbody></table>");
    const std::vector<HoldingRow> rows = holdingsTableRows(page);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].share, "");
    EXPECT_EQ(rows[1].share, "4.50%");
    EXPECT_EQ(rows[2].code, "600002");
    EXPECT_EQ(rows[2].share, "12%");
}

TEST(HoldingsPage, PagesWithoutHoldingsGiveNothing)
{
    for (const Text& page : {Text("var apidata={ content:\"\",arryear:[],curyear:2026};"), Text(),
                             gbk("<html>维护中</html>"), Text("<table><tbody><tr><td")}) {
        EXPECT_EQ(holdingsStockList(page), "");
        EXPECT_TRUE(holdingsTableRows(page).empty());
    }
}

// ---- the quote answer

TEST(QuoteAnswer, NamesAndChangesByCodeWhateverTheOrder)
{
    const std::map<Text, StockQuote> quotes = quotesByCode(storedPage("quotes_reordered.js"));
    ASSERT_EQ(quotes.size(), 3u);
    EXPECT_EQ(gbkToUtf8(quotes.at("01299").name), "友邦保险");
    EXPECT_EQ(quotes.at("01299").change, 1.61);
    // Cut at the last ")": a ")" inside a name leaves the answer whole.
    EXPECT_EQ(gbkToUtf8(quotes.at("300750").name), "宁德时代(创)");
    EXPECT_EQ(quotes.at("300750").change, std::nullopt); // suspended: "-"
    EXPECT_EQ(gbkToUtf8(quotes.at("600519").name), "贵州茅台");
    EXPECT_EQ(quotes.at("600519").change, -0.53);
}

TEST(QuoteAnswer, NullDataOrNoAnswerGivesNoQuotes)
{
    EXPECT_TRUE(quotesByCode(storedPage("quotes_null.js")).empty());
    EXPECT_TRUE(quotesByCode("").empty());
    EXPECT_TRUE(quotesByCode("jQuery1(").empty());
    EXPECT_TRUE(quotesByCode("<html>502 Bad Gateway</html>").empty());
}

TEST(QuoteAnswer, RequestCarriesTheListTokenAndFixedValues)
{
    EXPECT_EQ(quotePath("1.600519,116.00700", "abc"),
              "/api/qt/ulist.np/get?fltt=2&invt=2&fields=f2,f3,f12,f14,f9&cb=jQuery18306105309008007134_1628074711632"
              "&ut=abc&secids=1.600519,116.00700,&_=1628074711810");
}

// ---- matching

TEST(HoldingsMatch, RowsKeepThePageOrderAndEachNameItsOwnRow)
{
    const Text page = storedPage("holdings_layouts.js");
    const std::vector<HoldingRow> table = holdingsTableRows(page);
    const auto later = holdingsTableRows(storedPage("holdings_layouts_later.js"));
    const std::vector<HoldingsRowText> matched =
        holdingsRows(holdingsStockList(page), table, quotesByCode(storedPage("quotes_reordered.js")), later);
    // 000333 has no quote: the page's own name and code, and no change.
    const Rows expected {{"贵州茅台", "600519", "9.90%"}, {"美的集团", "000333", "6.42%"},
                         {"友邦保险", "01299", "3.05%"}, {"宁德时代(创)", "300750", "7.76%"}};
    EXPECT_EQ(shown(matched), expected);
    std::vector<std::optional<double>> changes;
    for (const HoldingsRowText& row : matched)
        changes.push_back(row.change);
    EXPECT_EQ(changes, (std::vector<std::optional<double>> {-0.53, std::nullopt, 1.61, std::nullopt}));
}

TEST(HoldingsMatch, AStockListWithoutTableStillNamesTheStocks)
{
    std::map<Text, StockQuote> quotes {{"01299", {gbk("友邦保险"), 0.5}}};
    const Rows rows = shown(holdingsRows("116.01299,1.600000", {}, quotes, {}));
    EXPECT_EQ(rows, (Rows {{"友邦保险", "01299", ""}, {"", "600000", ""}}));
}

TEST(HoldingsMatch, NeverMoreThanTenRows)
{
    std::vector<HoldingRow> table(12, HoldingRow {"600000", "x", "1.00%"});
    EXPECT_EQ(holdingsRows("", table, {}, {}).size(), 10u);
}

// ---- the worker on stored answers

class HoldingsStored : public ::testing::Test {
protected:
    void SetUp() override
    {
        setServiceHosts(ServiceHosts::allAt(service.baseUrl()));
        for (int row = 1; row <= 10; ++row)
            w.models.holdingsGrid.setRow(row, 0, {"old", "old", "old"});
        HoldingsEstimate older;
        older.change = 9.99;
        older.coverage = 99;
        showHoldingsEstimate(w.models.view, older);
    }
    std::string estimate() const { return gbkToUtf8(w.models.view.caption(Control::HoldingsEstimate)); }
    Colour estimateColour() const { return w.models.view.textColour(Control::HoldingsEstimate); }
    void route(const std::string& fund, const std::string& first, const std::string& second, const std::string& quotes)
    {
        const std::string page = "/FundArchivesDatas.aspx?type=jjcc&code=" + fund + "&topline=10&year=&month=&rt=";
        service.routeFile(page + "0.12776095035691926", first);
        service.routeFile(page + "0.3101008041112001", second);
        service.routeFile("/api/qt/ulist.np/get?", quotes);
    }
    // The fund's positions and asset mix as JSON, which the estimate is made from.
    void routeJson(const std::string& fund, const std::string& positions, const std::string& mix)
    {
        service.routeFile("/FundMNewApi/FundMNInverstPosition?FCODE=" + fund + "&", positions, "application/json");
        service.routeFile("/FundMNewApi/FundMNAssetAllocationNew?FCODE=" + fund + "&", mix, "application/json");
    }
    // The requests for quotes of this list of identifiers.
    size_t quoteRequests(const std::string& secids) const
    {
        size_t n = 0;
        for (const std::string& t : service.targets())
            n += t.rfind("/api/qt/ulist.np/get?", 0) == 0
                && t.find("&ut=" + serviceHosts().quoteToken() + "&secids=" + secids + ",&_=") != std::string::npos;
        return n;
    }
    void run(const std::string& fund, const char* name)
    {
        std::thread(HoldingsWorker {w.context, fund, gbk(name)}).join();
    }
    Rows grid() const
    {
        Rows out;
        const Grid& g = w.models.holdingsGrid;
        for (int row = 1; row <= 10; ++row)
            out.push_back({gbkToUtf8(g.cell(row, 0)), g.cell(row, 1), g.cell(row, 2)});
        return out;
    }
    static Rows padded(Rows out)
    {
        out.resize(10, {"", "", ""});
        return out;
    }

    StoredService service;
    Window w;
};

TEST_F(HoldingsStored, AnswersInAnotherOrderWithOneLeftOutStayMatched)
{
    route("100001", "holdings_layouts.js", "holdings_layouts_later.js", "quotes_reordered.js");
    routeJson("100001", "positions_100001.json", "asset_mix_100001.json");
    run("100001", "华夏成长混合");
    EXPECT_EQ(grid(), padded({{"贵州茅台", "600519", "9.90%"}, {"美的集团", "000333", "6.42%"},
                              {"友邦保险", "01299", "3.05%"}, {"宁德时代(创)", "300750", "7.76%"}}));
    EXPECT_EQ(gbkToUtf8(w.models.view.caption(Control::HoldingsCaption)), "华夏成长混合");
    // From the JSON positions: 600519 9.90% at -0.53 and 01299 3.05% at
    // +1.61 (000333 has no quote, 300750 is suspended), 80% in stocks:
    // 80% × (9.90 × -0.53 + 3.05 × 1.61) / 12.95 = -0.0208; 12.95 of the
    // 27.13 listed is under 70%.
    EXPECT_EQ(estimate(), "持仓估算 -0.02%（覆盖 13.0%）（低覆盖）");
    EXPECT_EQ(estimateColour(), kGreen);

    // Two copies of the page, the JSON positions and asset mix, and the same
    // stocks' quotes for the grid and for the estimate.
    EXPECT_EQ(service.targets().size(), 6u);
    EXPECT_EQ(quoteRequests("1.600519,0.000333,116.01299,0.300750"), 2u);
}

TEST_F(HoldingsStored, NullQuoteDataLeavesThePagesNamesAndCodes)
{
    route("100001", "holdings_layouts.js", "holdings_layouts.js", "quotes_null.js");
    run("100001", "华夏成长混合");
    EXPECT_EQ(grid(), padded({{"贵州茅台", "600519", "9.87%"}, {"美的集团", "000333", "6.42%"},
                              {"友邦保险", "01299", "3.05%"}, {"宁德时代", "300750", "7.76%"}}));
    // No quote, no estimate: the older fund's line is gone, not shown as 0%.
    EXPECT_EQ(estimate(), "");
    EXPECT_EQ(estimateColour(), kDefaultColour);
}

TEST_F(HoldingsStored, FewerThanTenHoldingsEmptyTheOtherRows)
{
    route("100003", "holdings_three.js", "holdings_three.js", "quotes_three.js");
    run("100003", "小型成长股票");
    EXPECT_EQ(grid(), padded({{"隆基绿能", "601012", "4.10%"}, {"比亚迪", "002594", "3.20%"},
                              {"腾讯控股", "00700", "2.05%"}}));
}

TEST_F(HoldingsStored, NoAnswersAtAllEmptyAllThirtyCells)
{
    run("100009", "无名基金");
    EXPECT_EQ(grid(), padded({}));
    // The quote request still goes out, with the comma alone; without
    // positions the estimate asks for none.
    EXPECT_EQ(service.targets().size(), 5u);
    EXPECT_EQ(quoteRequests(""), 1u);
}

TEST_F(HoldingsStored, ASupersededWorkerWritesNothing)
{
    route("100001", "holdings_layouts.js", "holdings_layouts.js", "quotes_reordered.js");
    LoadToken loads;
    const LoadTicket older = loads.begin();
    loads.begin();
    std::thread(HoldingsWorker {w.context, "100001", "x", &loads, older}).join();
    EXPECT_EQ(grid()[0][0], "old");
    EXPECT_EQ(w.models.view.caption(Control::HoldingsCaption), gbk("十大重仓股票"));
    EXPECT_EQ(estimate(), "持仓估算 +9.99%（覆盖 99.0%）");
}

// ---- the worker against the sample service

class HoldingsLive : public SampleSuite {
protected:
    // The estimate worked out from the market: the holdings not suspended and
    // not left out of the answer (the middle one with the quotes out of order).
    // The fund's stock share applies to the weighted mean (its name, given
    // as "x", names no index).
    static std::optional<HoldingsEstimate> expectedEstimate(const sample::Fund& f, bool dropsMiddle = false)
    {
        const std::vector<sample::Holding> holdings = market().holdings(f, 0);
        double weighted = 0, covered = 0, listed = 0;
        for (size_t i = 0; i < holdings.size(); ++i) {
            const sample::Stock& stock = market().stocks()[size_t(holdings[i].stock)];
            listed += holdings[i].share;
            if (stock.suspended || (dropsMiddle && i == holdings.size() / 2))
                continue;
            weighted += holdings[i].share * stock.change;
            covered += holdings[i].share;
        }
        if (!(covered > 0))
            return std::nullopt;
        HoldingsEstimate e;
        e.change = market().assetMix(f, 0).stocks / 100.0 * weighted / covered;
        e.coverage = covered;
        e.lowCoverage = covered < 0.7 * listed;
        return e;
    }
    static bool estimatedByHoldings(const sample::Fund& f) { return market().holdingQuarters(f) > 0 && f.target < 0; }

    Window w;
};

// Every row layout the service uses, with quotes in the asked order and with
// quotes reversed and one left out: each row holds its own stock's name, code
// and share, in the page's order.
TEST_F(HoldingsLive, EveryLayoutAndQuoteOrderKeepsEachHoldingInItsRow)
{
    sample::SampleOptions options;
    options.funds = 600;
    options.quotesOutOfOrder = true;
    sample::SampleService outOfOrder(options);
    ASSERT_GT(outOfOrder.start(), 0);

    using Layout = sample::HoldingsLayout;
    for (const std::string& base : {s_service->baseUrl(), outOfOrder.baseUrl()}) {
        setServiceHosts(ServiceHosts::allAt(base));
        for (Layout layout : {Layout::Classic, Layout::HiddenLink, Layout::HongKongCells, Layout::ShareOnly}) {
            const sample::Fund& f = fundWhere([layout](const sample::Fund& f) {
                return market().holdingQuarters(f) > 0 && sample::Market::holdingsLayout(f) == layout;
            });
            std::thread(HoldingsWorker {w.context, f.code, utf8ToGbk(f.name)}).join();
            const std::vector<sample::Holding> holdings = market().holdings(f, 0);
            ASSERT_FALSE(holdings.empty());
            for (size_t i = 0; i < 10; ++i) {
                const int row = int(i) + 1;
                const Grid& g = w.models.holdingsGrid;
                SCOPED_TRACE(base + " fund " + f.code + " row " + std::to_string(row));
                if (i >= holdings.size()) {
                    EXPECT_EQ(g.cell(row, 0) + g.cell(row, 1) + g.cell(row, 2), "");
                    continue;
                }
                const sample::Stock& stock = market().stocks()[size_t(holdings[i].stock)];
                EXPECT_EQ(gbkToUtf8(g.cell(row, 0)), stock.name);
                EXPECT_EQ(g.cell(row, 1), stock.code);
                EXPECT_EQ(g.cell(row, 2), sample::fixedText(holdings[i].share, 2) + "%");
            }
        }
    }
}

// The estimate weighs exactly the holdings answered with a change, matched by
// code: a suspended stock and, with the quotes out of order, the middle stock
// the service leaves out are in neither sum.
TEST_F(HoldingsLive, EstimateWeighsOnlyTheHoldingsAnsweredWithAChange)
{
    sample::SampleOptions options;
    options.funds = 600;
    options.quotesOutOfOrder = true;
    sample::SampleService outOfOrder(options);
    ASSERT_GT(outOfOrder.start(), 0);

    const sample::Fund& f = fundWhere([](const sample::Fund& f) {
        if (!estimatedByHoldings(f))
            return false;
        const std::vector<sample::Holding> h = market().holdings(f, 0);
        const auto suspended = [](const sample::Holding& x) { return market().stocks()[size_t(x.stock)].suspended; };
        return h.size() >= 3 && std::any_of(h.begin(), h.end(), suspended) && !suspended(h[h.size() / 2]);
    });
    for (bool dropsMiddle : {false, true}) {
        SCOPED_TRACE(dropsMiddle ? "out of order" : "in order");
        setServiceHosts(ServiceHosts::allAt(dropsMiddle ? outOfOrder.baseUrl() : s_service->baseUrl()));
        const std::optional<HoldingsEstimate> expected = expectedEstimate(f, dropsMiddle);
        ASSERT_TRUE(expected);
        std::optional<HoldingsResult> result;
        HoldingsWorker worker {w.context, f.code, "x"};
        worker.finished = [&result](const HoldingsResult& r) { result = r; };
        std::thread(worker).join();
        EXPECT_EQ(w.models.view.caption(Control::HoldingsEstimate), estimateLine(expected));
        const double change = expected->change;
        EXPECT_EQ(w.models.view.textColour(Control::HoldingsEstimate),
                  change >= 0.005 ? kRed : change <= -0.005 ? kGreen : kSilver);
        // The load hands over the same figures, unrounded, and the rows it wrote.
        ASSERT_TRUE(result);
        EXPECT_EQ(result->fundCode, f.code);
        ASSERT_TRUE(result->estimate);
        EXPECT_NEAR(result->estimate->change, expected->change, 1e-9);
        EXPECT_NEAR(result->estimate->coverage.value_or(-1), *expected->coverage, 1e-9);
        ASSERT_EQ(result->rows.size(), std::min<size_t>(10, market().holdings(f, 0).size()));
        for (size_t i = 0; i < result->rows.size(); ++i) {
            EXPECT_EQ(result->rows[i].code, w.models.holdingsGrid.cell(int(i) + 1, 1));
            EXPECT_EQ(result->rows[i].share, w.models.holdingsGrid.cell(int(i) + 1, 2));
        }
    }
}

TEST_F(HoldingsLive, FundWithoutStocksEmptiesTheGrid)
{
    const sample::Fund& f = fundWhere([](const sample::Fund& f) { return market().holdingQuarters(f) == 0; });
    for (int row = 1; row <= 10; ++row)
        w.models.holdingsGrid.setRow(row, 0, {"old", "old", "old"});
    std::thread(HoldingsWorker {w.context, f.code, "x"}).join();
    for (int row = 1; row <= 10; ++row)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(w.models.holdingsGrid.cell(row, c), "") << row << "," << c;
}

// A slow answer for an older pick must not overwrite a newer pick's holdings.
TEST_F(HoldingsLive, NewerPickSupersedesASlowerOlderWorker)
{
    const sample::Fund& slow = fundWhere([](const sample::Fund& f) { return market().holdingQuarters(f) > 0; });
    const sample::Fund& fast = fundWhere([&](const sample::Fund& f) {
        return market().holdingQuarters(f) > 0 && f.code != slow.code;
    });
    s_service->addFault({sample::Fault::Latency, "code=" + slow.code, 300});
    {
        FundDetails details(w.context);
        details.startHoldingsWorker(slow.code, "slow");
        details.startHoldingsWorker(fast.code, "fast");
        details.waitForHoldingsWorkers();
    }
    const sample::Stock& first = market().stocks()[size_t(market().holdings(fast, 0).front().stock)];
    EXPECT_EQ(w.models.holdingsGrid.cell(1, 1), first.code);
    EXPECT_EQ(w.models.view.caption(Control::HoldingsCaption), "fast");
}

// An older worker overtaken while it fetches the shares must not put its
// estimate over the newer fund's.
TEST_F(HoldingsLive, AnOvertakenWorkerLeavesTheNewerEstimate)
{
    auto estimated = [](const sample::Fund& f) { return estimatedByHoldings(f) && expectedEstimate(f); };
    const sample::Fund& slow = fundWhere(estimated);
    const sample::Fund& fast = fundWhere([&](const sample::Fund& f) {
        return estimated(f) && estimateLine(expectedEstimate(f)) != estimateLine(expectedEstimate(slow));
    });
    const std::string slowShares = "code=" + slow.code + "&topline=10&year=&month=&rt=" + std::string(kHoldingsSecondRt);
    s_service->addFault({sample::Fault::Latency, slowShares, 300});
    {
        FundDetails details(w.context);
        details.startHoldingsWorker(slow.code, "slow");
        // The newer pick comes while the older worker waits for its shares.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (requestsFor(slowShares).empty() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_FALSE(requestsFor(slowShares).empty());
        details.startHoldingsWorker(fast.code, "fast");
        details.waitForHoldingsWorkers();
    }
    EXPECT_EQ(w.models.view.caption(Control::HoldingsEstimate), estimateLine(expectedEstimate(fast)));
}

TEST_F(HoldingsLive, DestroyingTheFeatureWaitsForItsWorkersAndShutsThemOut)
{
    const sample::Fund& f = fundWhere([](const sample::Fund& f) { return market().holdingQuarters(f) > 0; });
    s_service->addFault({sample::Fault::Latency, "code=" + f.code, 200});
    {
        FundDetails details(w.context);
        details.startHoldingsWorker(f.code, "gone");
    }
    // Nothing runs any more: what the grid holds now stays.
    const Text now = w.models.holdingsGrid.cell(1, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(w.models.holdingsGrid.cell(1, 0), now);
    EXPECT_EQ(w.models.view.caption(Control::HoldingsCaption), gbk("十大重仓股票"));
}

} // namespace
} // namespace fw::testing
