// The estimate models as worked examples: weights, changes and the stock
// share in, the estimate to 0.01 % out (each worked by hand in its comment).
#include "funds/EstimateModels.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include <gtest/gtest.h>

namespace fw::testing {
namespace {

using None = std::nullopt_t;
constexpr None none = std::nullopt;

ListedHolding stock(const char* quoteId, double share)
{
    const std::string_view id(quoteId);
    return {Text(id.substr(id.find('.') + 1)), gbk("某股"), share, Text(quoteId)};
}

// The estimate in hundredths of a percent; -99999 without one.
long long hundredths(const std::optional<ModelEstimate>& e) { return e ? roundedUnits(e->change, 2) : -99999; }

struct HoldingsCase {
    const char* what;
    std::vector<ListedHolding> stocks;
    std::optional<double> gp;
    QuoteChanges changes;
    long long estimate;  // hundredths of a percent; -99999: none
    double coverage;
    bool low;
};

TEST(EstimateModels, HoldingsWeighTheQuotedHoldingsAndApplyTheStockShare)
{
    const HoldingsCase cases[] = {
        // (10 × 2 + 6 × -1) / 16 = 0.875; × 80 % = 0.70. Quoted 16 of 20 listed (80 %).
        {"one without a quote", {stock("1.600001", 10), stock("0.000002", 6), stock("1.600003", 4)}, 80.0,
         {{"1.600001", 2.0}, {"0.000002", -1.0}}, 70, 16, false},
        // 1.5 × 90 % = 1.35. Quoted 10 of 25 (40 %): low coverage.
        {"low coverage", {stock("1.600001", 10), stock("1.600002", 8), stock("1.600003", 7)}, 90.0,
         {{"1.600001", 1.5}}, 135, 10, true},
        // Quoted 7 of 10: exactly 70 % is not low. No asset mix: the plain mean, 1.00.
        {"at the line, no asset mix", {stock("1.600001", 7), stock("1.600002", 3)}, none,
         {{"1.600001", 1.0}}, 100, 7, false},
        // Quoted 6.9 of 10 (69 %): low. 1.0 × 50 % = 0.50.
        {"just under the line", {stock("1.600001", 6.9), stock("1.600002", 3.1)}, 50.0,
         {{"1.600001", 1.0}}, 50, 6.9, true},
        // Hong Kong and US holdings by their own identifiers:
        // (6 × 3 + 9 × -1 + 5 × 2) / 20 = 19 / 20 = 0.95; × 85 % = 0.8075 -> 0.81.
        {"Hong Kong and US", {stock("116.00700", 6), stock("1.600519", 9), stock("105.AAPL", 5)}, 85.0,
         {{"116.00700", 3.0}, {"1.600519", -1.0}, {"105.AAPL", 2.0}, {"0.00700", 9.0}}, 81, 20, false},
        // A quote under another market's identifier is no quote of this holding.
        {"identifier, not code", {stock("116.00700", 6)}, 85.0, {{"0.00700", 9.0}}, -99999, 0, false},
        {"nothing quoted", {stock("1.600001", 10)}, 80.0, {}, -99999, 0, false},
        // A quoted holding without a share weighs nothing: (10 × -2) / 10 × 60 % = -1.20.
        {"a share of 0", {stock("1.600001", 10), stock("1.600002", 0)}, 60.0,
         {{"1.600001", -2.0}, {"1.600002", 8.0}}, -120, 10, false},
        {"no holdings", {}, 80.0, {{"1.600001", 1.0}}, -99999, 0, false},
    };
    for (const HoldingsCase& c : cases) {
        SCOPED_TRACE(c.what);
        EstimateInputs in;
        in.fundName = gbk("某某成长混合A");
        in.positions.stocks = c.stocks;
        in.stockShare = c.gp;
        in.changes = c.changes;
        const auto e = holdingsEstimate(in);
        EXPECT_EQ(hundredths(e), c.estimate);
        if (!e)
            continue;
        EXPECT_EQ(e->model, EstimateModel::Holdings);
        ASSERT_TRUE(e->coverage);
        EXPECT_NEAR(*e->coverage, c.coverage, 1e-9);
        EXPECT_EQ(e->lowCoverage, c.low);
    }
}

TEST(EstimateModels, HoldingsContributorsAddUpToTheEstimate)
{
    EstimateInputs in;
    // The last holding is quoted but has no share: it is no contributor.
    in.positions.stocks = {stock("1.600001", 10), stock("0.000002", 6), stock("1.600003", 4), stock("1.600004", 0)};
    in.stockShare = 80.0;
    in.changes = {{"1.600001", 2.0}, {"0.000002", -1.0}, {"1.600004", 5.0}};
    const auto e = holdingsEstimate(in);
    ASSERT_TRUE(e);
    EXPECT_DOUBLE_EQ(e->stockShare, 80.0);
    // Weights 80 × 10/16 = 50 and 80 × 6/16 = 30; contributions 50 × 2 % = 1.00 and 30 × -1 % = -0.30.
    ASSERT_EQ(e->contributors.size(), 2u);
    EXPECT_EQ(e->contributors[0].code, "600001");
    EXPECT_DOUBLE_EQ(e->contributors[0].weight, 50.0);
    EXPECT_DOUBLE_EQ(e->contributors[0].change, 2.0);
    EXPECT_DOUBLE_EQ(e->contributors[0].contribution, 1.0);
    EXPECT_EQ(e->contributors[1].code, "000002");
    EXPECT_DOUBLE_EQ(e->contributors[1].weight, 30.0);
    EXPECT_DOUBLE_EQ(e->contributors[1].contribution, -0.3);
    EXPECT_NEAR(e->change, 0.70, 1e-12);
}

struct IndexCase {
    const char* name; // UTF-8
    std::optional<double> gp;
    QuoteChanges changes;
    long long estimate;
    const char* quoteId; // the index used; "" without an estimate
    const char* etf = ""; // a feeder's target
};

TEST(EstimateModels, IndexFundsFollowTheIndexTheirNameHolds)
{
    const IndexCase cases[] = {
        // 1.20 × 93.5 % = 1.122 -> 1.12
        {"易方达沪深300指数A", 93.5, {{"1.000300", 1.20}}, 112, "1.000300"},
        // -2.00 × 95 % (none disclosed) = -1.90
        {"某某中证1000指数增强C", none, {{"1.000852", -2.0}}, -190, "1.000852"},
        // 创业板50, not the 创业板指 that 创业板 alone names: 3.00 × 90 % = 2.70
        {"某某创业板50ETF联接A", 90.0, {{"0.399673", 3.0}, {"0.399006", 1.0}}, 270, "0.399673"},
        // 1.00 × 90 % = 0.90
        {"某某中证500ETF", 90.0, {{"1.000905", 1.0}}, 90, "1.000905"},
        // 0.50 × 100 % = 0.50
        {"某某上证50指数", 100.0, {{"1.000016", 0.5}}, 50, "1.000016"},
        // 2.00 × 95 % = 1.90; 创业板指 through the fund name's 创业板
        {"某某创业板ETF", 95.0, {{"0.399006", 2.0}}, 190, "0.399006"},
        {"某某创业板指数A", 80.0, {{"0.399006", 2.0}}, 160, "0.399006"},
        // -1.10 × 90 % = -0.99
        {"某某科创50ETF", 90.0, {{"1.000688", -1.1}}, -99, "1.000688"},
        // 0.80 × 98 % = 0.784 -> 0.78
        {"某某恒生指数(QDII)", 98.0, {{"100.HSI", 0.8}}, 78, "100.HSI"},
        {"某某沪深300指数A", 90.0, {}, -99999, ""},     // the index has no quote
        {"某某成长混合", 90.0, {{"1.000300", 1.0}}, -99999, ""}, // no index in the name
        // A feeder's GP counts only the stocks it holds itself; its index comes
        // through its target, 95 % of it: 2.00 × 95 % = 1.90 (not × 0.40 % = 0.01)
        {"某某沪深300ETF联接A", 0.40, {{"1.000300", 2.0}}, 190, "1.000300", "510300"},
        // -1.20 × 95 % = -1.14, a feeder without an asset mix alike
        {"某某中证1000ETF联接C", none, {{"1.000852", -1.2}}, -114, "1.000852", "159633"},
        // 0.90 × 95 % = 0.855 -> 0.86 (not × 0.02 % = 0.0002 -> 0.00)
        {"某某科创50ETF联接A", 0.02, {{"1.000688", 0.9}}, 86, "1.000688", "588000"},
    };
    for (const IndexCase& c : cases) {
        SCOPED_TRACE(c.name);
        EstimateInputs in;
        in.fundName = gbk(c.name);
        in.stockShare = c.gp;
        in.changes = c.changes;
        in.positions.targetCode = c.etf;
        in.positions.targetQuoteId = targetQuoteId(c.etf);
        const auto e = indexEstimate(in);
        EXPECT_EQ(hundredths(e), c.estimate);
        if (!e)
            continue;
        EXPECT_EQ(e->model, EstimateModel::Index);
        EXPECT_FALSE(e->coverage);
        ASSERT_EQ(e->contributors.size(), 1u);
        EXPECT_EQ(e->contributors[0].code, c.quoteId);
    }
}

TEST(EstimateModels, TheIndexTableHoldsTheCommonIndexes)
{
    const std::pair<const char*, const char*> entries[] = {
        {"沪深300", "1.000300"}, {"中证500", "1.000905"}, {"中证1000", "1.000852"}, {"上证50", "1.000016"},
        {"创业板指", "0.399006"}, {"科创50", "1.000688"}, {"恒生指数", "100.HSI"},  {"上证指数", "1.000001"},
        {"深证成指", "0.399001"},
    };
    for (const auto& [name, id] : entries) {
        SCOPED_TRACE(name);
        const IndexEntry* entry = indexForFundName(gbk(name));
        ASSERT_TRUE(entry);
        EXPECT_EQ(entry->quoteId, id);
    }
    EXPECT_FALSE(indexForFundName(gbk("某某价值精选混合")));
}

struct FeederCase {
    const char* what;
    const char* etf;
    std::vector<ListedHolding> stocks;
    std::optional<double> gp;
    QuoteChanges changes;
    long long estimate;
};

TEST(EstimateModels, FeedersFollowTheirTargetAndTheStocksTheyHoldThemselves)
{
    const FeederCase cases[] = {
        // 1.00 × 95 % = 0.95; no stocks of its own
        {"Shanghai target", "510300", {}, 0.5, {{"1.510300", 1.0}}, 95},
        // -2.00 × 95 % + 4 % × (1 + 3) / 2 = -1.90 + 0.08 = -1.82 (a plain mean, not weighted by 1 and 9)
        {"Shenzhen target and two stocks", "159915", {stock("1.600000", 1), stock("0.000001", 9)}, 4.0,
         {{"0.159915", -2.0}, {"1.600000", 1.0}, {"0.000001", 3.0}}, -182},
        // Of its stocks only the quoted one counts: -0.50 × 95 % + 2 % × 5 = -0.475 + 0.10 = -0.375 -> -0.38
        {"one stock without a quote", "510500", {stock("1.600000", 1), stock("0.000001", 9)}, 2.0,
         {{"1.510500", -0.5}, {"1.600000", 5.0}}, -38},
        // The target's quote under the other exchange is not its quote.
        {"target unquoted", "510300", {}, 0.5, {{"0.510300", 1.0}}, -99999},
        {"no target", "", {stock("1.600000", 10)}, 90.0, {{"1.600000", 1.0}}, -99999},
    };
    for (const FeederCase& c : cases) {
        SCOPED_TRACE(c.what);
        EstimateInputs in;
        in.fundName = gbk("某某ETF联接A");
        in.positions.stocks = c.stocks;
        in.positions.targetCode = c.etf;
        in.positions.targetQuoteId = targetQuoteId(c.etf);
        in.stockShare = c.gp;
        in.changes = c.changes;
        const auto e = feederEstimate(in);
        EXPECT_EQ(hundredths(e), c.estimate);
        if (e) {
            EXPECT_EQ(e->model, EstimateModel::Feeder);
            EXPECT_EQ(e->contributors.front().code, c.etf);
            EXPECT_DOUBLE_EQ(e->contributors.front().weight, 95.0);
        }
    }
}

struct ChoiceCase {
    const char* what;
    const char* name;
    const char* etf;
    std::vector<ListedHolding> stocks;
    QuoteChanges changes;
    std::vector<EstimateModel> models; // in order
    long long estimate;                // of the first
};

TEST(EstimateModels, AFeederIsAFeederFirstThenAnIndexFundThenHoldings)
{
    using M = EstimateModel;
    const ChoiceCase cases[] = {
        // Feeder: 1.00 × 95 % = 0.95 (the index through the target, 2.00 × 95 % = 1.90, comes second)
        {"feeder named for an index", "某某沪深300ETF联接A", "510300", {},
         {{"1.510300", 1.0}, {"1.000300", 2.0}}, {M::Feeder, M::Index}, 95},
        // Its target unquoted: the index through the target, 2.00 × 95 % = 1.90
        {"feeder without its target's quote", "某某沪深300ETF联接A", "510300", {},
         {{"1.000300", 2.0}}, {M::Index}, 190},
        // Index before holdings: 2.00 × 90 % = 1.80; holdings 3.00 × 90 % = 2.70
        {"index fund with holdings", "某某沪深300指数A", "", {stock("1.600519", 5)},
         {{"1.000300", 2.0}, {"1.600519", 3.0}}, {M::Index, M::Holdings}, 180},
        // Holdings: 3.00 × 90 % = 2.70
        {"active fund", "某某成长混合A", "", {stock("1.600519", 5)}, {{"1.600519", 3.0}}, {M::Holdings}, 270},
        {"nothing quoted", "某某成长混合A", "", {stock("1.600519", 5)}, {}, {}, -99999},
    };
    for (const ChoiceCase& c : cases) {
        SCOPED_TRACE(c.what);
        EstimateInputs in;
        in.fundName = gbk(c.name);
        in.positions.stocks = c.stocks;
        in.positions.targetCode = c.etf;
        in.positions.targetQuoteId = targetQuoteId(c.etf);
        in.stockShare = 90.0;
        in.changes = c.changes;
        const std::vector<ModelEstimate> all = applicableEstimates(in);
        std::vector<EstimateModel> models;
        for (const ModelEstimate& e : all)
            models.push_back(e.model);
        EXPECT_EQ(models, c.models);
        EXPECT_EQ(hundredths(chooseEstimate(in)), c.estimate);
    }
}

} // namespace
} // namespace fw::testing
