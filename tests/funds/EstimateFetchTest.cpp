// Fetching the estimate's inputs from the sample service over real sockets:
// each kind of fund gets the quotes its models need, the two JSON answers go
// out together, many funds share their quote requests, and a fund whose
// answers fail says why.
#include "funds/EstimateFetch.h"
#include "text/NumberText.h"
#include "text/TextOps.h"
#include "tests/funds/FundsTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <mutex>
#include <set>

namespace fw::test {
namespace {

using Clock = std::chrono::steady_clock;

bool listsHongKong(const sample::Market& m, const sample::Fund& f)
{
    for (const sample::Holding& h : m.holdings(f, 0))
        if (m.stocks()[size_t(h.stock)].market == 116)
            return true;
    return false;
}

enum class Kind { Feeder, Index, HongKong, Bond };

const sample::Fund* firstOf(const sample::Market& m, Kind kind)
{
    for (const sample::Fund& f : m.funds()) {
        const bool feeder = f.target >= 0, index = m.trackedIndex(f) >= 0;
        const bool hit = kind == Kind::Feeder ? feeder
            : kind == Kind::Index             ? index
            : kind == Kind::HongKong          ? !feeder && !index && listsHongKong(m, f)
                                              : !sample::Market::holdsStocks(f.kind) && !feeder
                          && !indexForFundName(utf8ToGbk(f.name));
        if (hit)
            return &f;
    }
    return nullptr;
}

// The day's change the sample market quotes for an identifier.
std::optional<double> marketChange(const sample::Market& m, const Text& id)
{
    const size_t dot = id.find('.');
    sample::Security s;
    if (dot == Text::npos || !m.security(std::stoi(id.substr(0, dot)), id.substr(dot + 1), s) || s.suspended)
        return std::nullopt;
    return s.change;
}

// The identifiers a fund's models need, from the market itself.
std::set<Text> idsOf(const sample::Market& m, const sample::Fund& f)
{
    std::set<Text> ids;
    if (f.target >= 0) {
        const Text code = m.funds()[size_t(f.target)].code;
        ids.insert((code[0] == '5' ? "1." : "0.") + code);
    }
    for (const sample::Holding& h : m.holdings(f, 0))
        ids.insert(m.stocks()[size_t(h.stock)].id());
    // A feeder's name may hold its index too: that model applies beside its own.
    sample::Fund byName = f;
    byName.target = -1;
    if (const int x = m.trackedIndex(byName); x >= 0)
        ids.insert(m.indexes()[size_t(x)].id());
    return ids;
}

size_t countTargets(const FeatureWorld& world, const std::string& part)
{
    size_t n = 0;
    for (const auto& r : world.service->requests())
        n += r.target.find(part) != std::string::npos;
    return n;
}

TEST(EstimateFetch, EachKindOfFundGetsTheQuotesOfWhatItsModelsFollow)
{
    FeatureWorld world(smallMarket(600));
    const sample::Market& m = world.service->market();
    struct Case {
        const char* what;
        Kind kind;
    };
    for (const Case c : {Case {"feeder", Kind::Feeder}, Case {"index fund", Kind::Index},
                         Case {"Hong Kong holdings", Kind::HongKong}}) {
        SCOPED_TRACE(c.what);
        const sample::Fund* f = firstOf(m, c.kind);
        ASSERT_NE(f, nullptr);
        world.service->clearLog();
        const FetchedEstimateInputs got =
            fetchEstimateInputs(EstimateFund {f->code, utf8ToGbk(f->name)}, world.context.requestOptions());
        ASSERT_TRUE(got.inputs) << got.failure;
        EXPECT_EQ(got.failure, "");
        EXPECT_EQ(got.fundCode, f->code);
        ASSERT_TRUE(got.inputs->stockShare);
        EXPECT_EQ(roundedUnits(*got.inputs->stockShare, 2), roundedUnits(m.assetMix(*f, 0).stocks, 2));

        // Every identifier it needs, with the market's change; nothing else.
        const std::set<Text> ids = idsOf(m, *f);
        size_t quoted = 0;
        for (const Text& id : ids) {
            const std::optional<double> want = marketChange(m, id);
            const auto it = got.inputs->changes.find(id);
            ASSERT_EQ(it != got.inputs->changes.end(), want.has_value()) << id;
            quoted += want.has_value();
            if (want) {
                EXPECT_EQ(roundedUnits(it->second, 2), roundedUnits(*want, 2)) << id;
            }
        }
        EXPECT_EQ(got.inputs->changes.size(), quoted);
        if (c.kind == Kind::HongKong) {
            EXPECT_TRUE(std::any_of(ids.begin(), ids.end(), [&](const Text& id) {
                return id.rfind("116.", 0) == 0 && got.inputs->changes.count(id);
            }));
        }
        // Two JSON answers and one quote request.
        EXPECT_EQ(countTargets(world, "/FundMNewApi/FundMNInverstPosition?FCODE=" + f->code), 1u);
        EXPECT_EQ(countTargets(world, "/FundMNewApi/FundMNAssetAllocationNew?FCODE=" + f->code), 1u);
        EXPECT_EQ(countTargets(world, "/api/qt/ulist.np/get"), 1u);
    }
}

TEST(EstimateFetch, ThePositionsAndTheAssetMixAreAskedForTogether)
{
    std::mutex mutex;
    std::vector<Clock::time_point> arrivals;
    sample::SampleOptions options = smallMarket(200);
    options.onRequest = [&](const std::string&, const std::string& target) {
        if (target.find("/FundMNewApi/") != std::string::npos) {
            std::lock_guard lock(mutex);
            arrivals.push_back(Clock::now());
        }
    };
    FeatureWorld world(options);
    // Each answer takes 600 ms: asked one after the other, the second would
    // arrive at least that much after the first.
    world.service->addFault({sample::Fault::Latency, "/FundMNewApi/", 600});
    const sample::Fund* f = firstOf(world.service->market(), Kind::HongKong);
    ASSERT_NE(f, nullptr);
    const FetchedEstimateInputs got =
        fetchEstimateInputs(EstimateFund {f->code, utf8ToGbk(f->name)}, world.context.requestOptions());
    EXPECT_TRUE(got.inputs) << got.failure;
    std::lock_guard lock(mutex);
    ASSERT_EQ(arrivals.size(), 2u);
    EXPECT_LT(std::chrono::abs(arrivals[1] - arrivals[0]), std::chrono::milliseconds(400));
}

TEST(EstimateFetch, QuoteRequestsHoldAHundredIdentifiersAndEachCodeOnce)
{
    auto many = [](int n, const char* market) {
        std::vector<Text> ids;
        for (int i = 0; i < n; ++i)
            ids.push_back(Text(market) + std::to_string(600000 + i));
        return ids;
    };
    struct Case {
        const char* what;
        std::vector<Text> ids;
        std::vector<size_t> sizes;
    };
    std::vector<Text> clash = many(100, "1.");
    clash.push_back("0.600000"); // the code of the first, on another market
    clash.push_back("1.700000");
    const Case cases[] = {
        {"none", {}, {}},
        {"one request", many(3, "1."), {3}},
        {"exactly a hundred", many(100, "1."), {100}},
        {"250", many(250, "1."), {100, 100, 50}},
        // 上证指数 and 平安银行 share the code 000001: the answer could not tell them apart.
        {"one code twice", {"1.000001", "0.000001", "1.600519"}, {2, 1}},
        {"a clash after a full request", clash, {100, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<std::vector<Text>> requests = quoteRequests(c.ids);
        std::vector<size_t> sizes;
        std::multiset<Text> all;
        for (const auto& r : requests) {
            sizes.push_back(r.size());
            std::set<Text> codes;
            for (const Text& id : r) {
                all.insert(id);
                EXPECT_TRUE(codes.insert(id.substr(id.find('.') + 1)).second) << id;
            }
        }
        EXPECT_EQ(sizes, c.sizes);
        EXPECT_EQ(all, std::multiset<Text>(c.ids.begin(), c.ids.end()));
    }
    EXPECT_EQ(quoteRequests({"1.000001", "0.000001"})[1], std::vector<Text> {"0.000001"});
}

TEST(EstimateFetch, ManyFundsAskForEachQuoteOnceAndGetWhatEachFundAloneGets)
{
    FeatureWorld world(smallMarket(600));
    const sample::Market& m = world.service->market();
    std::vector<EstimateFund> funds;
    std::set<Text> distinct;
    for (const sample::Fund& f : m.funds()) {
        if (funds.size() == 40)
            break;
        if (f.target < 0 && m.holdings(f, 0).empty() && m.trackedIndex(f) < 0)
            continue;
        funds.push_back({f.code, utf8ToGbk(f.name)});
        const std::set<Text> ids = idsOf(m, f);
        distinct.insert(ids.begin(), ids.end());
    }
    ASSERT_EQ(funds.size(), 40u);
    ASSERT_GT(distinct.size(), 100u); // more than one request's worth
    world.service->clearLog();
    const std::vector<FetchedEstimateInputs> bulk = fetchEstimateInputs(funds, world.context.requestOptions());

    EXPECT_EQ(countTargets(world, "/FundMNewApi/"), 80u);
    std::multiset<Text> asked;
    size_t quoteRequestCount = 0;
    for (const auto& r : world.service->requests()) {
        const size_t at = r.target.find("&secids=");
        if (r.target.rfind("/api/qt/ulist.np/get", 0) != 0 || at == std::string::npos)
            continue;
        ++quoteRequestCount;
        const std::string list = r.target.substr(at + 8, r.target.find(",&", at) - at - 8);
        size_t n = 0;
        for (const Text& id : splitText(list, ",")) {
            asked.insert(id);
            ++n;
        }
        EXPECT_LE(n, 100u);
    }
    EXPECT_EQ(asked, std::multiset<Text>(distinct.begin(), distinct.end())); // each once
    EXPECT_EQ(quoteRequestCount, (distinct.size() + 99) / 100);

    ASSERT_EQ(bulk.size(), funds.size());
    for (size_t k = 0; k < funds.size(); ++k) {
        SCOPED_TRACE(funds[k].code);
        const FetchedEstimateInputs alone = fetchEstimateInputs(funds[k], world.context.requestOptions());
        EXPECT_EQ(bulk[k].fundCode, funds[k].code);
        ASSERT_TRUE(bulk[k].inputs && alone.inputs) << bulk[k].failure << alone.failure;
        EXPECT_EQ(bulk[k].inputs->changes, alone.inputs->changes);
        EXPECT_EQ(bulk[k].inputs->stockShare, alone.inputs->stockShare);
        EXPECT_EQ(bulk[k].inputs->fundName, funds[k].name);
    }
}

TEST(EstimateFetch, AFundWhoseAnswersFailSaysWhyAndTheOthersAreNotHeldUp)
{
    struct Case {
        const char* what;
        Kind kind;
        std::optional<sample::Fault::Kind> fault;
        const char* path; // where the fault applies, after the fund's code when it names it
        int value;
        const char* failure; // how the reason begins
    };
    const Case cases[] = {
        {"garbled positions", Kind::HongKong, sample::Fault::Garbage, "FundMNInverstPosition?FCODE=", 0,
         "positions: not a holdings answer"},
        {"positions refused", Kind::HongKong, sample::Fault::HttpError, "FundMNInverstPosition?FCODE=", 503,
         "positions: 503"},
        {"asset mix refused", Kind::Index, sample::Fault::HttpError, "FundMNAssetAllocationNew?FCODE=", 500,
         "asset mix: 500"},
        {"quotes stalled", Kind::Feeder, sample::Fault::Stall, "/api/qt/ulist.np/get", 4000, "quotes: 7"},
        {"a bond fund", Kind::Bond, std::nullopt, "", 0, "no stocks, target fund or index to estimate from"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FeatureWorld world(smallMarket(600), 1);
        const sample::Market& m = world.service->market();
        const sample::Fund* f = firstOf(m, c.kind);
        const sample::Fund* good = firstOf(m, c.kind == Kind::Index ? Kind::HongKong : Kind::Index);
        ASSERT_TRUE(f && good);
        const std::string path = std::string(c.path) + (std::string(c.path).back() == '=' ? f->code : "");
        if (c.fault)
            world.service->addFault({*c.fault, path, c.value});
        const EstimateFund fund {f->code, utf8ToGbk(f->name)};
        const FetchedEstimateInputs alone = fetchEstimateInputs(fund, world.context.requestOptions());
        EXPECT_FALSE(alone.inputs);
        EXPECT_EQ(alone.failure.rfind(c.failure, 0), 0u) << alone.failure;

        // In a bulk fetch the same reason; a fund whose answers came is
        // estimated all the same (unless the quotes they share failed).
        const std::vector<FetchedEstimateInputs> bulk =
            fetchEstimateInputs({fund, {good->code, utf8ToGbk(good->name)}}, world.context.requestOptions());
        ASSERT_EQ(bulk.size(), 2u);
        EXPECT_FALSE(bulk[0].inputs);
        EXPECT_EQ(bulk[0].failure.rfind(c.failure, 0), 0u) << bulk[0].failure;
        if (c.fault != sample::Fault::Stall) {
            EXPECT_TRUE(bulk[1].inputs) << bulk[1].failure;
        }
    }
}

} // namespace
} // namespace fw::test
