// The day's curve from the sample service's minute bars over real sockets:
// each kind of fund's curve starts at 09:30 and ends where its estimate from
// the quotes does, and a stalled bar answer ends with the load.
#include "funds/IntradayFetch.h"
#include "net/HttpClient.h"
#include "text/NumberText.h"
#include "tests/funds/FundsTestSupport.h"

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

namespace fw::test {
namespace {

Text fetchMobile(const std::string& path, const std::string& code)
{
    HttpRequestOptions options;
    return utf8ToGbk(HttpClient().fetch(serviceHosts().url(HostRole::MobileFundApi, path + "?FCODE=" + code
                                            + "&deviceid=Wap&plat=Wap&product=EFund&version=2.0.0&DATE="), options));
}

bool holdsHongKong(const sample::Market& m, const sample::Fund& f)
{
    for (const sample::Holding& h : m.holdings(f, 0))
        if (m.stocks()[size_t(h.stock)].market == 116)
            return true;
    return false;
}

TEST(IntradayService, EachKindOfFundsCurveEndsWhereItsEstimateDoes)
{
    FeatureWorld world(smallMarket(600));
    const sample::Market& m = world.service->market();
    struct Pick {
        const char* what;
        EstimateModel model;
        int lastMinute;
        const sample::Fund* fund = nullptr;
    };
    Pick picks[] = {{"feeder", EstimateModel::Feeder, 15 * 60},
                    {"index fund", EstimateModel::Index, 15 * 60},
                    {"holdings", EstimateModel::Holdings, 15 * 60},
                    {"Hong Kong holdings", EstimateModel::Holdings, 16 * 60}};
    for (const sample::Fund& f : m.funds()) {
        const bool hongKong = holdsHongKong(m, f);
        Pick& p = f.target >= 0 ? picks[0] : m.trackedIndex(f) >= 0 ? picks[1] : hongKong ? picks[3] : picks[2];
        if (!p.fund && (f.target >= 0 || !m.holdings(f, 0).empty()))
            p.fund = &f;
    }
    for (const Pick& p : picks) {
        SCOPED_TRACE(p.what);
        ASSERT_NE(p.fund, nullptr);
        // Without a name given, the fund page gives it (an index fund is known by it).
        const FundCurve fetched = fetchFundCurve(p.fund->code, "", HttpRequestOptions());
        ASSERT_TRUE(fetched.ok()) << fetched.failure;
        EXPECT_EQ(fetched.name, utf8ToGbk(p.fund->name));
        const IntradayCurve& curve = fetched.curve;
        EXPECT_EQ(curve.model, p.model);
        EXPECT_EQ(curve.points.front().minute, kCurveFirstMinute);
        EXPECT_EQ(curve.points.back().minute, p.lastMinute);
        EXPECT_EQ(fetched.day, m.figureDate());

        // The estimate worked out here from the market's own quotes (what the
        // quote service sends as f3) and the fund's answers as read.
        const auto positions = readFundPositions(fetchMobile("/FundMNewApi/FundMNInverstPosition", p.fund->code));
        const auto mix = readAssetMix(fetchMobile("/FundMNewApi/FundMNAssetAllocationNew", p.fund->code));
        ASSERT_TRUE(positions && mix);
        EstimateInputs in {utf8ToGbk(p.fund->name), *positions, mix->stocks, {}};
        for (const ListedHolding& h : positions->stocks)
            in.changes[h.quoteId] = 0;
        in.changes[positions->targetQuoteId] = 0;
        if (const IndexEntry* index = indexForFundName(in.fundName))
            in.changes[index->quoteId] = 0;
        for (auto it = in.changes.begin(); it != in.changes.end();) {
            sample::Security s;
            const size_t dot = it->first.find('.');
            if (dot != Text::npos && m.security(std::stoi(it->first.substr(0, dot)), it->first.substr(dot + 1), s)
                && !s.suspended) {
                it->second = s.change;
                ++it;
            } else {
                it = in.changes.erase(it);
            }
        }
        const std::optional<ModelEstimate> estimate = chooseEstimate(in);
        ASSERT_TRUE(estimate);
        EXPECT_EQ(roundedUnits(curve.points.back().change, 2), roundedUnits(estimate->change, 2));

        // The day's published change is the dot; the unit value before it values a holding.
        const std::vector<sample::NavDay> navs = m.navHistory(*p.fund);
        ASSERT_GE(navs.size(), 2u);
        const sample::NavDay& last = navs.back();
        ASSERT_TRUE(fetched.previousUnitValue);
        EXPECT_EQ(roundedUnits(*fetched.previousUnitValue, 4), navs[navs.size() - 2].unit);
        if (last.change == sample::kNoFigure) {
            EXPECT_FALSE(fetched.navChange);
        } else {
            ASSERT_TRUE(fetched.navChange);
            EXPECT_EQ(roundedUnits(*fetched.navChange, 2), last.change);
        }
    }
}

TEST(IntradayService, AStalledBarAnswerEndsWithItsLoad)
{
    FeatureWorld world(smallMarket(50));
    const sample::Market& m = world.service->market();
    TextList ids;
    for (size_t i = 0; i < 7 && i < m.stocks().size(); ++i)
        ids.push_back(m.stocks()[i].id());
    ASSERT_EQ(ids.size(), 7u);
    // One security's bars never come; the others do.
    world.service->addFault(sample::Fault(sample::Fault::Stall, "secid=" + ids[3] + "&", 20000));
    LoadToken token;
    HttpRequestOptions base;
    base.timeoutSeconds = 30;
    base.load = token.begin();
    std::thread cancel([&token] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        token.cancel();
    });
    const auto start = std::chrono::steady_clock::now();
    const BarsById bars = fetchMinuteBars(base, ids);
    const auto took = std::chrono::steady_clock::now() - start;
    cancel.join();
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_EQ(bars.count(ids[3]), 0u);
    // The six that answered before the cancel are there (the first five at once, the sixth after one of them).
    for (size_t i = 0; i < ids.size(); ++i)
        if (i != 3) {
            EXPECT_EQ(bars.count(ids[i]), 1u) << ids[i];
        }
}

// A portfolio's day without a point names why: nothing held, or each fund
// that has no curve, with its reason.
TEST(IntradayService, APortfolioDayWithoutPointsSaysWhy)
{
    FeatureWorld world(smallMarket(50));
    EXPECT_EQ(portfolioDayFailure(fetchPortfolioDay({}, HttpRequestOptions())), utf8ToGbk("没有持仓基金"));

    const PortfolioDay unknown = fetchPortfolioDay({{"999999", 100}, {"999998", 5}}, HttpRequestOptions());
    ASSERT_EQ(unknown.funds.size(), 2u);
    const Text why = portfolioDayFailure(unknown);
    EXPECT_EQ(why.rfind("999999 " + unknown.funds[0].failure, 0), 0u) << why;
    EXPECT_NE(why.find(utf8ToGbk("；") + "999998 " + unknown.funds[1].failure), Text::npos) << why;
    EXPECT_FALSE(unknown.funds[1].failure.empty());

    const sample::Fund& held = world.service->market().funds().front();
    const PortfolioDay day = fetchPortfolioDay({{held.code, 100}}, HttpRequestOptions());
    ASSERT_FALSE(day.points.empty()) << day.funds.front().failure;
    EXPECT_EQ(portfolioDayFailure(day), "");
}

} // namespace
} // namespace fw::test
