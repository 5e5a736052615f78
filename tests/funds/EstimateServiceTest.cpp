// The estimate's answers as the sample service sends them over real sockets:
// read back to the market's own figures, each fund estimated by the model of
// its kind, and the minute bars ending where the quotes do.
#include "funds/EstimateModels.h"
#include "net/HttpClient.h"
#include "text/NumberText.h"
#include "tests/funds/FundsTestSupport.h"

#include <gtest/gtest.h>

namespace fw::test {
namespace {

Text fetchFrom(HostRole role, const std::string& path)
{
    HttpRequestOptions options;
    const Text body = HttpClient().fetch(serviceHosts().url(role, path), options);
    EXPECT_EQ(options.status, "200 OK") << path;
    return body;
}

std::optional<FundPositions> positionsOf(const std::string& code)
{
    return readFundPositions(fetchFrom(HostRole::MobileFundApi, "/FundMNewApi/FundMNInverstPosition?FCODE=" + code
                                           + "&deviceid=Wap&plat=Wap&product=EFund&version=2.0.0&DATE="));
}

std::optional<AssetMix> assetMixOf(const std::string& code)
{
    return readAssetMix(fetchFrom(HostRole::MobileFundApi, "/FundMNewApi/FundMNAssetAllocationNew?FCODE=" + code
                                      + "&deviceid=Wap&plat=Wap&product=EFund&version=2.0.0&DATE="));
}

std::optional<MinuteBars> barsOf(std::string_view id)
{
    return readMinuteBars(fetchFrom(HostRole::QuoteHistory, "/api/qt/stock/trends2/get?secid=" + std::string(id)
                                        + "&fields1=f1,f2,f3,f4,f5,f6,f7,f8,f9,f10,f11,f12,f13"
                                          "&fields2=f51,f52,f53,f54,f55,f56,f57,f58&ut=x&ndays=1&iscr=0&iscca=0"
                                          "&cb=jQuery3510_1765094400000"));
}

TEST(EstimateService, EachKindOfFundIsEstimatedByItsModelAndTheBarsEndOnTheQuotes)
{
    FeatureWorld world(smallMarket(600));
    const sample::Market& m = world.service->market();
    struct Pick {
        const char* what;
        EstimateModel model;
        const sample::Fund* fund = nullptr;
    };
    Pick picks[] = {{"feeder", EstimateModel::Feeder}, {"index fund", EstimateModel::Index},
                    {"holdings", EstimateModel::Holdings}, {"Hong Kong holdings", EstimateModel::Holdings}};
    for (const sample::Fund& f : m.funds()) {
        const bool listsHongKong = [&] {
            for (const sample::Holding& h : m.holdings(f, 0))
                if (m.stocks()[size_t(h.stock)].market == 116)
                    return true;
            return false;
        }();
        Pick& p = f.target >= 0 ? picks[0] : m.trackedIndex(f) >= 0 ? picks[1] : listsHongKong ? picks[3] : picks[2];
        if (!p.fund && (f.target >= 0 || !m.holdings(f, 0).empty()))
            p.fund = &f;
    }
    for (const Pick& p : picks) {
        SCOPED_TRACE(p.what);
        ASSERT_NE(p.fund, nullptr);
        const sample::Fund& f = *p.fund;
        const auto positions = positionsOf(f.code);
        ASSERT_TRUE(positions);
        const std::vector<sample::Holding> page = m.holdings(f, 0);
        ASSERT_EQ(positions->stocks.size(), page.size());
        for (size_t k = 0; k < page.size(); ++k) {
            const sample::Stock& s = m.stocks()[size_t(page[k].stock)];
            EXPECT_EQ(positions->stocks[k].quoteId, s.id());
            EXPECT_EQ(roundedUnits(positions->stocks[k].share, 2), roundedUnits(page[k].share, 2));
        }
        const auto mix = assetMixOf(f.code);
        ASSERT_TRUE(mix && mix->stocks);
        EXPECT_EQ(roundedUnits(*mix->stocks, 2), roundedUnits(m.assetMix(f, 0).stocks, 2));

        // Every identifier the models may ask for: from the bars' last minute and from the quotes.
        EstimateInputs in {utf8ToGbk(f.name), *positions, mix->stocks, {}};
        std::vector<Text> ids {positions->targetQuoteId};
        for (const ListedHolding& h : positions->stocks)
            ids.push_back(h.quoteId);
        if (const IndexEntry* index = indexForFundName(in.fundName))
            ids.push_back(index->quoteId);
        QuoteChanges fromQuotes;
        for (const Text& id : ids) {
            const size_t dot = id.find('.');
            sample::Security security;
            if (dot == Text::npos || !m.security(std::stoi(id.substr(0, dot)), id.substr(dot + 1), security))
                continue;
            const auto bars = barsOf(id);
            ASSERT_TRUE(bars) << id;
            if (security.suspended) {
                EXPECT_TRUE(bars->bars.empty()) << id;
                continue;
            }
            ASSERT_FALSE(bars->bars.empty()) << id;
            in.changes[id] = bars->changeAt(bars->bars.size() - 1);
            fromQuotes[id] = security.change;
            EXPECT_EQ(roundedUnits(in.changes[id], 2), roundedUnits(security.change, 2)) << id;
        }
        const auto fromBars = chooseEstimate(in);
        in.changes = fromQuotes;
        const auto estimate = chooseEstimate(in);
        ASSERT_TRUE(fromBars && estimate);
        EXPECT_EQ(estimate->model, p.model);
        EXPECT_NEAR(fromBars->change, estimate->change, 0.005);
    }
}

} // namespace
} // namespace fw::test
