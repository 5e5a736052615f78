// Today's estimate from the holdings: the weighted mean, which holdings count,
// the line's text and colour.
#include "funds/HoldingsEstimate.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>
#include <cmath>

namespace fw::testing {
namespace {

using Rows = std::vector<HoldingsRowText>;

HoldingsRowText holding(const char* share, std::optional<double> change)
{
    return {"", "600000", share, change};
}

struct EstimateCase {
    const char* what;
    Rows rows;
    const char* line; // UTF-8; "" without an estimate
    Colour colour;
    double change = 0, coverage = 0; // the figures as the line shows them
};

TEST(HoldingsEstimate, WeighsTheHoldingsWithAChangeByTheirShares)
{
    const std::nullopt_t none = std::nullopt;
    const EstimateCase cases[] = {
        // (10 × 1.5 + 5 × -2) / 15 = 0.333…; the suspended 2.5% is in neither sum.
        {"hand computed", {holding("10.00%", 1.5), holding("5.00%", -2), holding("2.50%", none)},
         "持仓估算 +0.33%（覆盖 15.0%）", kRed, 0.33, 15},
        // (9.87 × -1.2 + 6.42 × -0.8) / 16.29 = -1.0423…
        {"falling", {holding("9.87%", -1.2), holding("6.42%", -0.8), holding("3.00%", none)},
         "持仓估算 -1.04%（覆盖 16.3%）", kGreen, -1.04, 16.3},
        {"even", {holding("10.00%", 1), holding("5.00%", -2)}, "持仓估算 0.00%（覆盖 15.0%）", kSilver, 0, 15},
        // Coloured as shown: a fall that rounds to 0.00% is not green.
        {"rounds to zero", {holding("10.00%", -0.004)}, "持仓估算 0.00%（覆盖 10.0%）", kSilver, 0, 10},
        // Leveraged rows add up past 100%: the coverage says so as it is.
        // (120 + 45 - 20) / 125 = 1.16.
        {"over 100%", {holding("60.00%", 2), holding("45.00%", 1), holding("20.00%", -1)},
         "持仓估算 +1.16%（覆盖 125.0%）", kRed, 1.16, 125},
        // Halves go away from zero, in the line and in its figures.
        {"half up", {holding("10.00%", 1.005)}, "持仓估算 +1.01%（覆盖 10.0%）", kRed, 1.01, 10},
        {"half down", {holding("10.00%", -1.005)}, "持仓估算 -1.01%（覆盖 10.0%）", kGreen, -1.01, 10},
        {"coverage half", {holding("10.25%", 2), holding("2.20%", none)}, "持仓估算 +2.00%（覆盖 10.3%）", kRed, 2, 10.3},
        {"no quotes", {holding("10.00%", none), holding("5.00%", none)}, "", kDefaultColour},
        {"no holdings", {}, "", kDefaultColour},
        // A change without a share cannot be weighed: no division by zero.
        {"no shares", {holding("", 3.2), holding("", -1)}, "", kDefaultColour},
        {"zero shares", {holding("0.00%", 3.2)}, "", kDefaultColour},
    };
    for (const EstimateCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<HoldingsEstimate> estimate = estimateFromHoldings(c.rows);
        EXPECT_EQ(gbkToUtf8(estimateLine(estimate)), c.line);
        EXPECT_EQ(estimateColour(estimate), c.colour);
        if (estimate) {
            // The numbers the command line prints are the shown ones, not
            // the unrounded weighted mean, and a zero has no sign.
            EXPECT_EQ(estimate->shownChange(), c.change);
            EXPECT_EQ(estimate->shownCoverage(), c.coverage);
            if (c.change == 0)
                EXPECT_FALSE(std::signbit(estimate->shownChange()));
        }
    }
}

TEST(HoldingsEstimate, ChangeKeepsItsSignAndRoundsHalvesAwayFromZero)
{
    const std::pair<double, const char*> changes[] = {
        {0.53, "+0.53%"}, {-1.2, "-1.20%"}, {0, "0.00%"}, {0.125, "+0.13%"}, {-0.125, "-0.13%"},
        // 1.005 is a hair under its decimal reading in binary; it still rounds up.
        {1.005, "+1.01%"}, {-0.004, "0.00%"}, {12.3, "+12.30%"}};
    for (const auto& [value, text] : changes)
        EXPECT_EQ(estimateChangeText(value), text) << value;
    const std::pair<double, const char*> coverages[] = {
        {62.4, "62.4%"}, {62.45, "62.5%"}, {0.04, "0.0%"}, {104.25, "104.3%"}};
    for (const auto& [value, text] : coverages)
        EXPECT_EQ(estimateCoverageText(value), text) << value;
}

TEST(HoldingsEstimate, AbsurdFiguresGiveNoEstimate)
{
    const std::string huge(320, '9'); // a share beyond any double
    EXPECT_EQ(estimateFromHoldings({{"", "600000", huge + "%", 1.0}}), std::nullopt);
    // A change that overflows the weighted sum while the shares stay sane.
    EXPECT_EQ(estimateFromHoldings({{"", "600000", "5.00%", 1e308}, {"", "600001", "5.00%", 1.0}}), std::nullopt);
}

} // namespace
} // namespace fw::testing
