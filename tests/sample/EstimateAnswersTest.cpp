// The answers today's estimate is made from: holdings and asset mix as JSON,
// minute bars that end on the quotes, and last-day NAV changes that come from
// more than the disclosed holdings.
#include "sample/Market.h"
#include "sample/SampleService.h"
#include "SampleTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <map>

using namespace fw::sample;
using namespace fw::sample::testing;
using nlohmann::json;

namespace {

// The indexes the program estimates index funds with, and how fund names spell them.
struct IndexRow {
    const char* id;
    const char* name;
    const char* inFundName;
};
const IndexRow kIndexes[] = {
    {"1.000300", "沪深300", "沪深300"},   {"1.000905", "中证500", "中证500"}, {"1.000852", "中证1000", "中证1000"},
    {"1.000906", "中证800", "中证800"},   {"1.000016", "上证50", "上证50"},   {"1.000001", "上证指数", "上证指数"},
    {"1.000688", "科创50", "科创50"},     {"0.399330", "深证100", "深证100"}, {"0.399006", "创业板指", "创业板"},
    {"0.399673", "创业板50", "创业板50"}, {"1.000922", "中证红利", "中证红利"}, {"100.HSI", "恒生指数", "恒生指数"},
    {"124.HSTECH", "恒生科技", "恒生科技"},
};

json jsonOf(const std::string& body)
{
    const size_t open = body.find('(');
    const size_t close = body.rfind(')');
    const bool wrapped = !body.empty() && body.front() != '{' && open != std::string::npos && close != std::string::npos;
    return json::parse(wrapped ? body.substr(open + 1, close - open - 1) : body, nullptr, false);
}

double number(const json& v) { return v.is_string() ? std::stod(v.get<std::string>()) : v.get<double>(); }

long long hundredths(double percent) { return std::llround(percent * 100.0); }

class EstimateAnswers : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        SampleOptions options;
        options.funds = 3000;
        s_service = new SampleService(options);
        s_port = s_service->start();
        ASSERT_GT(s_port, 0);
    }
    static void TearDownTestSuite()
    {
        delete s_service;
        s_service = nullptr;
    }
    static const Market& market() { return s_service->market(); }

    static json fetchJson(const std::string& target)
    {
        const Reply r = get(s_port, target);
        EXPECT_EQ(r.status, 200) << target;
        return jsonOf(r.body);
    }
    static json positions(const std::string& code)
    {
        return fetchJson("/FundMNewApi/FundMNInverstPosition?FCODE=" + code
                         + "&deviceid=Wap&plat=Wap&product=EFund&version=2.0.0&DATE=");
    }
    static json assetMix(const std::string& code)
    {
        return fetchJson("/FundMNewApi/FundMNAssetAllocationNew?FCODE=" + code
                         + "&deviceid=Wap&plat=Wap&product=EFund&version=2.0.0&DATE=");
    }
    static json quote(const std::string& id)
    {
        const json q = fetchJson("/api/qt/ulist.np/get?fltt=2&invt=2&fields=f2,f3,f12,f14,f9&cb=cb&ut=x&secids=" + id
                                 + ",&_=1");
        return q["data"].is_object() && !q["data"]["diff"].empty() ? q["data"]["diff"][0] : json();
    }
    static json bars(const std::string& id)
    {
        return fetchJson("/api/qt/stock/trends2/get?secid=" + id
                         + "&fields1=f1,f2,f3,f4,f5,f6,f7,f8,f9,f10,f11,f12,f13&fields2=f51,f52,f53,f54,f55,f56,f57,f58"
                           "&ut=x&ndays=1&iscr=0&iscca=0&cb=jQuery1_2");
    }

    static SampleService* s_service;
    static int s_port;
};

SampleService* EstimateAnswers::s_service = nullptr;
int EstimateAnswers::s_port = 0;

TEST_F(EstimateAnswers, JsonHoldingsAreTheHoldingsPageOfTheSameFund)
{
    int checked = 0;
    for (size_t i = 0; i < market().funds().size(); i += 37) {
        const Fund& f = market().funds()[i];
        SCOPED_TRACE(f.code);
        const json p = positions(f.code);
        ASSERT_TRUE(p["Datas"].is_object());
        const std::vector<Holding> page = market().holdings(f, 0);
        ASSERT_EQ(p["Datas"]["fundStocks"].size(), page.size());
        for (size_t k = 0; k < page.size(); ++k) {
            const json& row = p["Datas"]["fundStocks"][k];
            const Stock& s = market().stocks()[size_t(page[k].stock)];
            EXPECT_EQ(row["GPDM"], s.code);
            EXPECT_EQ(row["GPJC"], s.name);
            EXPECT_EQ(hundredths(number(row["JZBL"])), hundredths(page[k].share));
            EXPECT_EQ(row["NEWTEXCH"], std::to_string(s.market));
        }
        if (!page.empty())
            ++checked;
        EXPECT_TRUE(p["Datas"]["ETFCODE"].is_null());
        EXPECT_EQ(p["Expansion"], "2026-09-30");
    }
    EXPECT_GT(checked, 30);
    // An unknown fund has no data.
    EXPECT_TRUE(positions("999999")["Datas"].is_null());
}

TEST_F(EstimateAnswers, AHongKongHoldingIsQuotedUnderItsOwnMarket)
{
    int hongKong = 0;
    for (const Fund& f : market().funds()) {
        const json p = positions(f.code);
        for (const json& row : p["Datas"]["fundStocks"]) {
            if (row["NEWTEXCH"] != "116")
                continue;
            const json q = quote("116." + row["GPDM"].get<std::string>());
            EXPECT_EQ(q["f14"], row["GPJC"]);
            ++hongKong;
        }
        if (hongKong >= 5)
            break;
    }
    EXPECT_GE(hongKong, 5);
}

TEST_F(EstimateAnswers, FeedersNameTheirExchangeTradedFundAndListNoStocks)
{
    int feeders = 0;
    for (const Fund& f : market().funds()) {
        if (f.target < 0)
            continue;
        SCOPED_TRACE(f.code);
        ++feeders;
        const Fund& target = market().funds()[size_t(f.target)];
        const json p = positions(f.code);
        EXPECT_EQ(p["Datas"]["ETFCODE"], target.code);
        EXPECT_EQ(p["Datas"]["ETFSHORTNAME"], target.name);
        EXPECT_TRUE(p["Datas"]["fundStocks"].empty());
        EXPECT_EQ(market().holdingQuarters(f), 0); // its holdings page lists nothing either
        // Quoted on the exchange its code belongs to.
        const std::string id = (target.code[0] == '5' ? "1." : "0.") + target.code;
        EXPECT_EQ(quote(id)["f12"], target.code);
        // Almost all of it is in the exchange-traded fund.
        const json mix = assetMix(f.code)["Datas"][0];
        EXPECT_LT(number(mix["GP"]), 1.0);
        EXPECT_GT(number(mix["QT"]), 90.0);
    }
    EXPECT_GE(feeders, 3);
}

TEST_F(EstimateAnswers, AssetMixAddsUpAndLeavesRoomForTheUnlistedHoldings)
{
    for (size_t i = 0; i < market().funds().size(); i += 41) {
        const Fund& f = market().funds()[i];
        SCOPED_TRACE(f.code);
        const json a = assetMix(f.code);
        ASSERT_EQ(a["Datas"].size(), 2u);
        EXPECT_EQ(a["Datas"][0]["FSRQ"], "2026-09-30"); // newest first
        EXPECT_EQ(a["Datas"][1]["FSRQ"], "2026-06-30");
        const json& row = a["Datas"][0];
        const double sum = number(row["GP"]) + number(row["ZQ"]) + number(row["HB"]) + number(row["QT"]);
        EXPECT_NEAR(sum, 100.0, 0.05);
        const std::vector<Holding> holdings = market().holdings(f, 0);
        double listed = 0;
        for (const Holding& h : holdings)
            listed += h.share;
        if (!holdings.empty()) {
            EXPECT_GE(number(row["GP"]), std::min(98.0, listed + 7.99));
        } else if (!Market::holdsStocks(f.kind)) {
            EXPECT_EQ(number(row["GP"]), 0.0);
        }
    }
}

TEST_F(EstimateAnswers, EveryIndexIsQuotedAndFollowedByAnIndexFund)
{
    for (const IndexRow& x : kIndexes) {
        SCOPED_TRACE(x.id);
        const json q = quote(x.id);
        ASSERT_TRUE(q.is_object());
        EXPECT_EQ(q["f14"], x.name);
        const MarketIndex* index = nullptr;
        for (const MarketIndex& candidate : market().indexes())
            index = candidate.id() == x.id ? &candidate : index;
        ASSERT_NE(index, nullptr);
        int followers = 0;
        for (const Fund& f : market().funds()) {
            const int tracked = market().trackedIndex(f);
            if (tracked >= 0 && &market().indexes()[size_t(tracked)] == index) {
                EXPECT_NE(f.name.find(x.inFundName), std::string::npos) << f.name;
                ++followers;
            }
        }
        EXPECT_GT(followers, 0);
    }
    // 创业板50 is not 创业板指.
    for (const Fund& f : market().funds()) {
        const int tracked = market().trackedIndex(f);
        if (f.name.find("创业板50") != std::string::npos && tracked >= 0) {
            EXPECT_EQ(market().indexes()[size_t(tracked)].code, "399673") << f.name;
        }
    }
}

// The bars of a security: its minutes and closes, and whether they end on its quote.
void expectBarsEndOnTheQuote(const json& b, const json& q, bool hongKong)
{
    ASSERT_TRUE(b["data"].is_object());
    const json& trends = b["data"]["trends"];
    ASSERT_EQ(trends.size(), hongKong ? 331u : 241u);
    const double preClose = number(b["data"]["preClose"]);
    auto field = [](const json& row, int n) {
        std::string text = row.get<std::string>();
        for (int k = 0; k < n; ++k)
            text = text.substr(text.find(',') + 1);
        return text.substr(0, text.find(','));
    };
    EXPECT_EQ(field(trends[0], 0).substr(11), "09:30");
    EXPECT_EQ(field(trends[trends.size() - 1], 0).substr(11), hongKong ? "16:00" : "15:00");
    for (const json& row : trends) {
        const std::string hhmm = field(row, 0).substr(11);
        // No bars in the lunch break.
        EXPECT_FALSE(hhmm > (hongKong ? "12:00" : "11:30") && hhmm <= "13:00") << hhmm;
    }
    const double last = std::stod(field(trends[trends.size() - 1], 2));
    EXPECT_EQ(std::llround(last * 1000), std::llround(number(q["f2"]) * 1000));
    EXPECT_EQ(hundredths((last / preClose - 1.0) * 100.0), hundredths(number(q["f3"])));
}

TEST_F(EstimateAnswers, MinuteBarsEndOnTheQuotesOfStocksIndexesAndExchangeTradedFunds)
{
    for (const IndexRow& x : kIndexes) {
        SCOPED_TRACE(x.id);
        expectBarsEndOnTheQuote(bars(x.id), quote(x.id), x.id[0] == '1' && x.id[1] != '.');
    }
    int stocks = 0, hongKong = 0;
    for (size_t i = 0; i < market().stocks().size(); i += 9) {
        const Stock& s = market().stocks()[i];
        if (s.suspended)
            continue;
        SCOPED_TRACE(s.id());
        expectBarsEndOnTheQuote(bars(s.id()), quote(s.id()), s.market == 116);
        ++stocks;
        hongKong += s.market == 116;
    }
    EXPECT_GT(stocks, 50);
    EXPECT_GT(hongKong, 5);
    int traded = 0;
    for (const Fund& f : market().funds()) {
        if (f.target < 0 || traded >= 5)
            continue;
        const Fund& target = market().funds()[size_t(f.target)];
        const std::string id = (target.code[0] == '5' ? "1." : "0.") + target.code;
        SCOPED_TRACE(id);
        expectBarsEndOnTheQuote(bars(id), quote(id), false);
        ++traded;
    }
    EXPECT_GT(traded, 0);
}

TEST_F(EstimateAnswers, ASuspendedStockHasNoBarsAndAnUnknownOneNoData)
{
    const Stock* suspended = nullptr;
    for (const Stock& s : market().stocks())
        suspended = s.suspended && !suspended ? &s : suspended;
    ASSERT_NE(suspended, nullptr);
    const json b = bars(suspended->id());
    ASSERT_TRUE(b["data"].is_object());
    EXPECT_TRUE(b["data"]["trends"].empty());
    EXPECT_EQ(hundredths(number(b["data"]["preClose"])), hundredths(suspended->price));
    const Reply r = get(s_port, "/api/qt/stock/trends2/get?secid=1.999999&ndays=1&cb=cb");
    EXPECT_EQ(r.body.rfind("cb(", 0), 0u);
    EXPECT_TRUE(jsonOf(r.body)["data"].is_null());
}

TEST(SampleEstimateMarket, TheLastDayComesFromMoreThanTheDisclosedHoldings)
{
    const Market m(SampleOptions{}.seed, 3000);
    double error = 0, move = 0;
    int funds = 0;
    for (const Fund& f : m.funds()) {
        const std::vector<Holding> listed = m.holdings(f, 0);
        if (listed.empty() || m.trackedIndex(f) >= 0)
            continue;
        SCOPED_TRACE(f.code);
        const std::vector<Holding> whole = m.wholePortfolio(f);
        ASSERT_GE(whole.size(), 30u);
        for (size_t k = 0; k < listed.size(); ++k)
            EXPECT_EQ(whole[k].stock, listed[k].stock);
        // The estimate from what is disclosed: the stock share times the share-weighted mean change.
        double weighted = 0, quoted = 0;
        for (const Holding& h : listed) {
            const Stock& s = m.stocks()[size_t(h.stock)];
            if (!s.suspended) {
                weighted += h.share * s.change;
                quoted += h.share;
            }
        }
        if (quoted <= 0)
            continue;
        const double estimate = m.assetMix(f, 0).stocks / 100.0 * weighted / quoted;
        const double actual = f.returns[Day] / 100.0;
        error += std::abs(actual - estimate);
        move += std::abs(actual);
        ++funds;
    }
    ASSERT_GT(funds, 300);
    // A real error, and under the day's moves themselves: the disclosed
    // holdings tell something, not everything.
    EXPECT_GT(error / funds, 0.05);
    EXPECT_LT(error / funds, 0.8 * move / funds);
}

TEST(SampleEstimateMarket, IndexFundsAndFeedersFollowWhatTheyTrackWithAnError)
{
    const Market m(SampleOptions{}.seed, 3000);
    double indexError = 0, feederError = 0;
    int indexFunds = 0, feeders = 0;
    for (const Fund& f : m.funds()) {
        const double actual = f.returns[Day] / 100.0;
        if (f.target >= 0) {
            const Fund& target = m.funds()[size_t(f.target)];
            feederError += std::abs(actual - 0.95 * target.returns[Day] / 100.0);
            ++feeders;
        } else if (const int tracked = m.trackedIndex(f); tracked >= 0) {
            const double stocks = m.assetMix(f, 0).stocks;
            indexError += std::abs(actual - stocks / 100.0 * m.indexes()[size_t(tracked)].change);
            ++indexFunds;
        }
    }
    ASSERT_GT(feeders, 3);
    ASSERT_GT(indexFunds, 30);
    EXPECT_GT(feederError / feeders, 0.005);
    EXPECT_LT(feederError / feeders, 0.2);
    EXPECT_GT(indexError / indexFunds, 0.02);
    EXPECT_LT(indexError / indexFunds, 0.4);
}

TEST(SampleEstimateMarket, ASmallMarketStillHasAFundForEveryIndex)
{
    const Market m(SampleOptions{}.seed, 600);
    std::vector<int> followers(m.indexes().size(), 0);
    for (const Fund& f : m.funds()) {
        if (const int tracked = m.trackedIndex(f); tracked >= 0)
            ++followers[size_t(tracked)];
    }
    for (size_t x = 0; x < followers.size(); ++x)
        EXPECT_GT(followers[x], 0) << m.indexes()[x].name;
}

} // namespace
