// estimate CODE [--explain]: the contributors of a fund's estimate worked out
// by hand from the sample market, adding up to the estimate, in JSON and in
// lines; a fund that cannot be estimated fails with its reason.
#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace fw {
namespace {

using test::CliRun;
using test::CliWorld;
using Json = nlohmann::ordered_json;

const CliWorld& world()
{
    static const CliWorld shared(600);
    return shared;
}

struct Part {
    std::string code, name;
    double weight, change;
};

// The contributors each model gives, from the market's own figures.
std::vector<Part> expectedParts(const sample::Market& m, const sample::Fund& f)
{
    const double gp = m.assetMix(f, 0).stocks;
    std::vector<Part> parts;
    if (f.target >= 0) {
        // 95 % in the exchange-traded fund; the sample's feeders list no stocks.
        const sample::Fund& t = m.funds()[size_t(f.target)];
        sample::Security s;
        EXPECT_TRUE(m.security(t.code[0] == '5' ? 1 : 0, t.code, s));
        parts.push_back({t.code, t.name, 95.0, s.change});
    } else if (const int x = m.trackedIndex(f); x >= 0) {
        const sample::MarketIndex& index = m.indexes()[size_t(x)];
        parts.push_back({index.id(), "", gp, index.change}); // named as the fund's name spells it
    } else {
        double covered = 0;
        for (const sample::Holding& h : m.holdings(f, 0))
            covered += m.stocks()[size_t(h.stock)].suspended ? 0 : h.share;
        for (const sample::Holding& h : m.holdings(f, 0)) {
            const sample::Stock& s = m.stocks()[size_t(h.stock)];
            if (!s.suspended)
                parts.push_back({s.code, s.name, gp * h.share / covered, s.change});
        }
    }
    return parts;
}

TEST(CliEstimate, ExplainGivesEachContributorAndTheyAddUpToTheEstimate)
{
    const sample::Market& m = world().market();
    const sample::Fund *feeder = nullptr, *index = nullptr, *holdings = nullptr;
    for (const sample::Fund& f : m.funds()) {
        if (f.target >= 0 && !feeder)
            feeder = &f;
        else if (m.trackedIndex(f) >= 0 && !index)
            index = &f;
        else if (f.target < 0 && m.trackedIndex(f) < 0 && m.holdings(f, 0).size() >= 10 && !holdings)
            holdings = &f;
    }
    ASSERT_TRUE(feeder && index && holdings);
    struct Case {
        const sample::Fund* fund;
        const char* model;
        const char* word;
    };
    for (const Case& c : {Case {feeder, "feeder", "联接估算"}, Case {index, "index", "指数估算"},
                          Case {holdings, "holdings", "持仓估算"}}) {
        SCOPED_TRACE(c.model);
        const sample::Fund& f = *c.fund;
        const CliRun run = world().run({"estimate", f.code, "--explain", "--json"});
        ASSERT_EQ(run.status, 0) << run.err;
        const Json doc = run.json();
        EXPECT_EQ(doc["code"], f.code);
        EXPECT_EQ(doc["name"], f.name);
        EXPECT_EQ(doc["estimate"]["model"], c.model);
        EXPECT_EQ(doc["line"].get<std::string>().rfind(c.word, 0), 0u);
        EXPECT_NEAR(doc["stockShare"].get<double>(), m.assetMix(f, 0).stocks, 1e-9);

        const std::vector<Part> parts = expectedParts(m, f);
        const Json& got = doc["contributors"];
        ASSERT_EQ(got.size(), parts.size());
        double sum = 0, expectedSum = 0;
        for (size_t k = 0; k < parts.size(); ++k) {
            SCOPED_TRACE(parts[k].code);
            EXPECT_EQ(got[k]["code"], parts[k].code);
            if (!parts[k].name.empty())
                EXPECT_EQ(got[k]["name"], parts[k].name);
            EXPECT_NEAR(got[k]["weight"].get<double>(), parts[k].weight, 1e-9);
            EXPECT_NEAR(got[k]["change"].get<double>(), parts[k].change, 1e-9);
            EXPECT_NEAR(got[k]["contribution"].get<double>(), parts[k].weight * parts[k].change / 100, 1e-9);
            sum += got[k]["contribution"].get<double>();
            expectedSum += parts[k].weight * parts[k].change / 100;
        }
        // The estimate is the sum of the contributions, as shown to 0.01.
        EXPECT_NEAR(doc["estimate"]["change"].get<double>(), expectedSum, 0.005 + 1e-9);
        EXPECT_NEAR(doc["estimate"]["change"].get<double>(), sum, 0.005 + 1e-9);

        // Lines: the figures, a blank line, then one line per contributor.
        const std::vector<std::string> lines = world().run({"estimate", f.code, "--explain"}).lines();
        ASSERT_EQ(lines.size(), 1 + 2 + 1 + 1 + parts.size());
        EXPECT_EQ(lines[1], "今日估算\t" + doc["line"].get<std::string>());
        EXPECT_EQ(lines[4], "代码\t名称\t权重\t涨跌幅\t贡献");
        double shownSum = 0;
        for (size_t k = 0; k < parts.size(); ++k) {
            const std::vector<std::string> cells = test::fields(lines[5 + k]);
            ASSERT_EQ(cells.size(), 5u);
            EXPECT_EQ(cells[0], parts[k].code);
            shownSum += std::stod(cells[4]);
        }
        // Each shown to 0.0001: together within their rounding of the estimate.
        EXPECT_NEAR(shownSum, expectedSum, 0.00005 * double(parts.size()) + 1e-9);
    }
}

TEST(CliEstimate, AFundWithoutAnEstimateFailsWithItsReason)
{
    const sample::Market& m = world().market();
    const sample::Fund* bond = nullptr;
    for (const sample::Fund& f : m.funds())
        if (!sample::Market::holdsStocks(f.kind) && f.target < 0 && !bond)
            bond = &f;
    ASSERT_TRUE(bond);
    const CliRun run = world().run({"estimate", bond->code, "--explain"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("no estimate (no stocks, target fund or index to estimate from)"), std::string::npos)
        << run.err;
    // --explain belongs to estimate; estimate takes one fund code.
    EXPECT_EQ(world().run({"fund", bond->code, "--explain"}).status, 2);
    EXPECT_EQ(world().run({"estimate", "12345"}).status, 2);
}

} // namespace
} // namespace fw
