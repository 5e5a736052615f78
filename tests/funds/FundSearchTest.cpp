// Search suggestions against the sample service: the request per text, the
// list filled from the answer, late answers dropped, and a picked stock (a
// picked fund is shown through the window, in the GUI tests).
#include "funds/FundSearch.h"
#include "funds/StockPage.h"
#include "tests/funds/FundsTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fw {
namespace {

using test::FeatureWorld;

const char kSearchPath[] = "/FundSearch/api/FundSearchAPI.ashx";

struct SearchWorld : FeatureWorld {
    SearchWorld() : FeatureWorld(smallMarket(2000)) { search.clearSearchBox(); }
    FundDetails details {context};
    FundSearch search {context, details};

    std::vector<TextList> shown() const { return models.suggestions.rows(); }
    bool listVisible() const { return models.view.isVisible(Control::Suggestions); }
    const sample::Stock& aStock() const
    {
        for (const sample::Stock& s : service->market().stocks())
            if (s.market != 116)
                return s;
        return service->market().stocks().front();
    }
};

TEST(FundSearch, SendsTheTextAsUtf8PercentEncoded)
{
    SearchWorld w;
    const std::string prefix =
        std::string(kSearchPath) + "?callback=jQuery18304481644478480933_1628571546744&m=1&key=";
    const struct {
        const char* text;
        const char* key;
    } cases[] = {{"白酒", "%E7%99%BD%E9%85%92"}, {"a b", "a%20b"}, {"a_b", "a%5Fb"}, {"Zz-0.9", "Zz-0.9"}};
    for (const auto& c : cases) {
        w.service->clearLog();
        w.search.showSearchSuggestions(gbk(c.text));
        EXPECT_EQ(w.targets(kSearchPath), std::vector<std::string>{prefix + c.key + "&_=1628571587137"}) << c.text;
    }
}

TEST(FundSearch, EachChangeReplacesTheListWithTheAnswer)
{
    SearchWorld w;
    std::vector<std::vector<TextList>> lists;
    for (const char* text : {"0", "00", "000"}) {
        w.search.showSearchSuggestions(text);
        EXPECT_TRUE(w.listVisible());
        lists.push_back(w.shown());
    }
    EXPECT_EQ(w.targets(kSearchPath).size(), 3u);
    // Ten code matches for "000" (a few stocks first, then funds), names beside codes.
    const std::vector<TextList>& last = lists.back();
    ASSERT_EQ(last.size(), 10u);
    const sample::Market& market = w.service->market();
    for (const TextList& row : last) {
        EXPECT_EQ(row[1].rfind("000", 0), 0u);
        const auto same = [&row](const auto& item) { return item.code == row[1] && utf8ToGbk(item.name) == row[0]; };
        EXPECT_TRUE(std::any_of(market.funds().begin(), market.funds().end(), same)
                    || std::any_of(market.stocks().begin(), market.stocks().end(), same))
            << row[1];
    }
    EXPECT_NE(lists[0], lists[2]);

    // No text: the list is emptied and hidden, nothing is asked.
    w.search.showSearchSuggestions("");
    EXPECT_TRUE(w.shown().empty());
    EXPECT_FALSE(w.listVisible());
    EXPECT_EQ(w.targets(kSearchPath).size(), 3u);
}

TEST(FundSearch, AnswerWithoutSuggestionsShowsAnEmptyList)
{
    SearchWorld w;
    w.search.showSearchSuggestions("000");
    w.service->addFault({sample::Fault::Garbage, kSearchPath});
    w.search.showSearchSuggestions("0001");
    EXPECT_TRUE(w.shown().empty());
    EXPECT_TRUE(w.listVisible());
    EXPECT_TRUE(FundSearch::parseAnswer("jQuery18304481644478480933_1628571546744({\"Datas\":[]})").empty());
    EXPECT_TRUE(FundSearch::parseAnswer("{\"Datas\":[{\"_id\":\"1\"}]}").empty()); // no callback
}

TEST(FundSearch, HintShownAtCreationStartsNoSearch)
{
    FeatureWorld world(FeatureWorld::smallMarket(0));
    FundDetails details(world.context);
    FundSearch search(world.context, details);
    search.showSearchSuggestions(gbk("输入基金代码或名称"));
    EXPECT_TRUE(world.targets(kSearchPath).empty());
    EXPECT_FALSE(world.models.view.isVisible(Control::Suggestions));
    // Typed by the user, the same words are a search like any other.
    search.clearSearchBox();
    search.showSearchSuggestions(gbk("输入基金代码或名称"));
    EXPECT_EQ(world.targets(kSearchPath).size(), 1u);
}

TEST(FundSearch, OlderAnswerArrivingLateIsDropped)
{
    SearchWorld w;
    w.search.showSearchSuggestions("00");
    const std::vector<TextList> newer = w.shown();
    w.search.showSearchSuggestions("1");
    ASSERT_NE(w.shown(), newer);

    // The user types on while the answer for "1" is on its way.
    bool typed = false;
    installEventPump([&] {
        if (!std::exchange(typed, true))
            w.search.showSearchSuggestions("00");
    });
    // Dropped for a newer one is not a failed request.
    EXPECT_TRUE(w.search.showSearchSuggestions("1"));
    uninstallEventPump();
    ASSERT_TRUE(typed);
    EXPECT_EQ(w.shown(), newer);
    EXPECT_TRUE(w.listVisible());
}

TEST(FundSearch, PickedStockOpensItsPage)
{
    SearchWorld w;
    const sample::Stock& stock = w.aStock();
    w.search.showSearchSuggestions(stock.code);
    ASSERT_FALSE(w.shown().empty());
    ASSERT_EQ(w.shown()[0][1], stock.code); // the service lists stocks first
    w.models.suggestions.setCurrentRow(0);
    w.search.suggestionDoubleClicked();
    EXPECT_EQ(w.models.view.stockPageUrl(), StockPage::url(stock.code));
    EXPECT_EQ(w.models.fundGrid.cell(1, 1), ""); // no empty fund row
    EXPECT_TRUE(w.shown().empty());
    EXPECT_FALSE(w.listVisible());
}

} // namespace
} // namespace fw
