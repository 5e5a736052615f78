// Today's estimate as the program shows it: the line under the holdings grid
// for each model, with low coverage and with the error once known, its
// shorter forms, its colour and the figures the commands give.
#include "funds/HoldingsEstimate.h"
#include "text/CodePage.h"

#include <gtest/gtest.h>
#include <cmath>

namespace fw::testing {
namespace {

HoldingsEstimate estimate(EstimateModel model, double change, std::optional<double> coverage = std::nullopt,
                          bool low = false, std::optional<double> error = std::nullopt)
{
    HoldingsEstimate e;
    e.model = model;
    e.change = change;
    e.coverage = coverage;
    e.lowCoverage = low;
    e.error = error;
    return e;
}

std::vector<std::string> utf8(const std::vector<Text>& forms)
{
    std::vector<std::string> out;
    for (const Text& f : forms)
        out.push_back(gbkToUtf8(f));
    return out;
}

TEST(HoldingsEstimate, TheLineNamesTheModelAndShowsCoverageLowCoverageAndErrorWhereTheyApply)
{
    using M = EstimateModel;
    struct Case {
        const char* what;
        HoldingsEstimate e;
        std::vector<std::string> forms; // longest first: the line, then shorter words
        Colour colour;
    };
    const Case cases[] = {
        {"holdings", estimate(M::Holdings, 0.53, 62.0), {"持仓估算 +0.53%（覆盖 62.0%）", "持仓 +0.53%（覆盖 62.0%）",
                                                         "持仓+0.53%（覆盖62.0%）"}, kRed},
        {"holdings with its error", estimate(M::Holdings, 0.53, 62.0, false, 0.42),
         {"持仓估算 +0.53%（覆盖 62.0%，误差 ±0.42%）", "持仓 +0.53%（覆盖 62.0%，误差 ±0.42%）",
          "持仓+0.53%（覆盖62.0%，误差±0.42%）"}, kRed},
        // Low coverage keeps the change's colour; its note joins the brackets first when shortened.
        {"low coverage", estimate(M::Holdings, -1.2, 41.95, true),
         {"持仓估算 -1.20%（覆盖 42.0%）（低覆盖）", "持仓估算 -1.20%（覆盖 42.0%，低覆盖）",
          "持仓 -1.20%（覆盖 42.0%，低覆盖）", "持仓-1.20%（覆盖42.0%，低覆盖）"}, kGreen},
        {"low coverage with its error", estimate(M::Holdings, -1.2, 41.95, true, 0.425),
         {"持仓估算 -1.20%（覆盖 42.0%，误差 ±0.43%）（低覆盖）", "持仓估算 -1.20%（覆盖 42.0%，误差 ±0.43%，低覆盖）",
          "持仓 -1.20%（覆盖 42.0%，误差 ±0.43%，低覆盖）", "持仓-1.20%（覆盖42.0%，误差±0.43%，低覆盖）"}, kGreen},
        // A feeder's and an index fund's figure stands on no coverage.
        {"feeder", estimate(M::Feeder, 1.005), {"联接估算 +1.01%", "联接 +1.01%", "联接+1.01%"}, kRed},
        {"feeder with its error", estimate(M::Feeder, 1.005, std::nullopt, false, 0.1),
         {"联接估算 +1.01%（误差 ±0.10%）", "联接 +1.01%（误差 ±0.10%）", "联接+1.01%（误差±0.10%）"}, kRed},
        {"index, rounding to zero", estimate(M::Index, -0.004, 88.0), {"指数估算 0.00%", "指数 0.00%", "指数0.00%"},
         kSilver},
        {"index with its error", estimate(M::Index, -2.5, std::nullopt, false, 1.234),
         {"指数估算 -2.50%（误差 ±1.23%）", "指数 -2.50%（误差 ±1.23%）", "指数-2.50%（误差±1.23%）"}, kGreen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(utf8(estimateLineForms(c.e)), c.forms);
        EXPECT_EQ(gbkToUtf8(estimateLine(c.e)), c.forms.front());
        EXPECT_EQ(estimateColour(c.e), c.colour);

        // Into the label: the line first, its shorter forms after it.
        View view;
        showHoldingsEstimate(view, c.e);
        EXPECT_EQ(gbkToUtf8(view.caption(Control::HoldingsEstimate)), c.forms.front());
        EXPECT_EQ(utf8(view.captionForms(Control::HoldingsEstimate)), c.forms);
        EXPECT_EQ(view.textColour(Control::HoldingsEstimate), c.colour);
        clearHoldingsEstimate(view);
        EXPECT_EQ(utf8(view.captionForms(Control::HoldingsEstimate)), std::vector<std::string> {""});
        EXPECT_EQ(view.textColour(Control::HoldingsEstimate), kDefaultColour);
    }
    EXPECT_EQ(estimateLine(std::nullopt), "");
    EXPECT_EQ(estimateFigures(std::nullopt), "");
    EXPECT_EQ(gbkToUtf8(estimateFigures(estimate(M::Holdings, 0.53, 62.0, true))), "+0.53%（覆盖 62.0%）（低覆盖）");
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
    // The figures the commands print are the shown ones, and a zero has no sign.
    EXPECT_EQ(estimate(EstimateModel::Holdings, 1.005, 62.45).shownChange(), 1.01);
    EXPECT_EQ(estimate(EstimateModel::Holdings, 1.005, 62.45).shownCoverage(), 62.5);
    EXPECT_FALSE(std::signbit(estimate(EstimateModel::Index, -0.004).shownChange()));
    EXPECT_EQ(estimate(EstimateModel::Feeder, 1.0).shownCoverage(), std::nullopt);
}

TEST(HoldingsEstimate, TheFirstModelThatAppliesIsShownAndNoneGivesNone)
{
    ModelEstimate feeder, index;
    feeder.model = EstimateModel::Feeder;
    feeder.change = 1.5;
    index.model = EstimateModel::Index;
    index.change = -0.7;
    const auto shown = shownEstimate({feeder, index}, {});
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->model, EstimateModel::Feeder);
    EXPECT_EQ(shown->change, 1.5);
    EXPECT_EQ(shown->error, std::nullopt); // no error is known yet
    EXPECT_EQ(shownEstimate({}, {}), std::nullopt);

    // Inputs that failed keep their reason; inputs with no quote give a reason of their own.
    FetchedEstimateInputs failed {"000001", std::nullopt, "positions: 503 Service Unavailable"};
    EXPECT_EQ(estimateFrom(failed, {}).failure, "positions: 503 Service Unavailable");
    EXPECT_FALSE(estimateFrom(failed, {}).estimate);
    FetchedEstimateInputs unquoted {"000001", EstimateInputs {}, ""};
    unquoted.inputs->positions.stocks.push_back({"600519", gbk("贵州茅台"), 9.85, "1.600519"});
    const EstimateOutcome none = estimateFrom(unquoted, {});
    EXPECT_FALSE(none.estimate);
    EXPECT_TRUE(none.applicable.empty());
    EXPECT_NE(none.failure, "");
}

ModelAccuracy measured(EstimateModel model, int days, double meanError)
{
    ModelAccuracy a;
    a.model = model;
    a.days = days;
    a.meanError = meanError;
    a.largestMiss = meanError;
    return a;
}

// An index fund that lists its holdings: both models apply, the index model
// first. The errors choose once two of them have 20 days each; until then the
// first model is shown, with its own error once it has a day.
TEST(HoldingsEstimate, TheLoggedErrorsChooseTheModelOnceTwoHaveTwentyDays)
{
    using M = EstimateModel;
    ModelEstimate index, holdings;
    index.model = M::Index;
    index.change = -0.7;
    holdings.model = M::Holdings;
    holdings.change = 0.53;
    holdings.coverage = 62.0;
    struct Case {
        const char* what;
        ModelErrors errors;
        M model;
        std::optional<double> error;
        bool byError;
        const char* line;
    };
    const Case cases[] = {
        {"nothing logged", {}, M::Index, std::nullopt, false, "指数估算 -0.70%"},
        {"holdings smaller over 20 days each",
         {{M::Index, measured(M::Index, 20, 0.30)}, {M::Holdings, measured(M::Holdings, 20, 0.10)}},
         M::Holdings, 0.10, true, "持仓估算 +0.53%（覆盖 62.0%，误差 ±0.10%）"},
        {"holdings smaller but a day short",
         {{M::Index, measured(M::Index, 20, 0.30)}, {M::Holdings, measured(M::Holdings, 19, 0.10)}},
         M::Index, 0.30, false, "指数估算 -0.70%（误差 ±0.30%）"},
        // A model that does not apply today is no rival, however small its error.
        {"a model that does not apply",
         {{M::Feeder, measured(M::Feeder, 20, 0.01)}, {M::Holdings, measured(M::Holdings, 20, 0.10)}}, M::Index,
         std::nullopt, false, "指数估算 -0.70%"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<HoldingsEstimate> shown = shownEstimate({index, holdings}, c.errors);
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->model, c.model);
        EXPECT_EQ(shown->change, c.model == M::Index ? -0.7 : 0.53);
        EXPECT_EQ(shown->error, c.error);
        EXPECT_EQ(shown->chosenByError, c.byError);
        EXPECT_EQ(gbkToUtf8(estimateLine(shown)), c.line);
    }
}

// What an estimate stands on beside its change in the portfolio: the
// coverage or the model, then its error once known.
TEST(HoldingsEstimate, TheBasisNamesCoverageOrModelAndTheError)
{
    using M = EstimateModel;
    const std::pair<HoldingsEstimate, const char*> cases[] = {
        {estimate(M::Holdings, 0.53, 62.04), "覆盖 62.0%"},
        {estimate(M::Holdings, 0.53, 62.04, true, 0.095), "覆盖 62.0%，误差 ±0.10%"},
        {estimate(M::Feeder, 1.0), "联接估算"},
        {estimate(M::Index, -2.5, std::nullopt, false, 1.234), "指数估算，误差 ±1.23%"},
    };
    for (const auto& [e, basis] : cases)
        EXPECT_EQ(gbkToUtf8(estimateBasis(e)), basis);
}

} // namespace
} // namespace fw::testing
