#include "funds/HoldingsEstimate.h"

#include "model/FigureColour.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include <cmath>

namespace fw {

namespace {

constexpr int kChangeDecimals = 2, kCoverageDecimals = 1;

// "+0.53%": a percent figure with its decimals, the sign shown on request.
Text percentText(long long units, int decimals, bool withSign)
{
    return (withSign && units > 0 ? "+" : "") + unitsText(units, decimals) + "%";
}

} // namespace

std::optional<HoldingsEstimate> estimateFromHoldings(const std::vector<HoldingsRowText>& rows)
{
    double weighted = 0;
    double covered = 0;
    for (const HoldingsRowText& row : rows) {
        if (!row.change)
            continue;
        const double share = textValue(row.share); // "9.87%"; "" reads as 0
        weighted += share * *row.change;
        covered += share;
    }
    if (!(covered > 0))
        return std::nullopt;
    const HoldingsEstimate estimate {weighted / covered, covered};
    // Absurd figures from the service overflow rather than show as a number.
    if (!std::isfinite(estimate.change) || !std::isfinite(estimate.coverage))
        return std::nullopt;
    return estimate;
}

double HoldingsEstimate::shownChange() const { return unitsValue(roundedUnits(change, kChangeDecimals), kChangeDecimals); }

double HoldingsEstimate::shownCoverage() const
{
    return unitsValue(roundedUnits(coverage, kCoverageDecimals), kCoverageDecimals);
}

Text estimateChangeText(double change)
{
    return percentText(roundedUnits(change, kChangeDecimals), kChangeDecimals, true);
}

Text estimateCoverageText(double coverage)
{
    return percentText(roundedUnits(coverage, kCoverageDecimals), kCoverageDecimals, false);
}

Text estimateFigures(const std::optional<HoldingsEstimate>& estimate)
{
    if (!estimate)
        return {};
    static const Text open = gbk("（覆盖 "), close = gbk("）");
    return estimateChangeText(estimate->change) + open + estimateCoverageText(estimate->coverage) + close;
}

Text estimateLine(const std::optional<HoldingsEstimate>& estimate)
{
    static const Text head = gbk("持仓估算 ");
    return estimate ? head + estimateFigures(estimate) : Text();
}

Colour estimateChangeColour(double change)
{
    // Coloured as shown: a change that shows as 0.00% is silver.
    return figureColour(FigureUse::ShownChange, HoldingsEstimate {change, 0}.shownChange());
}

Colour estimateColour(const std::optional<HoldingsEstimate>& estimate)
{
    return estimate ? estimateChangeColour(estimate->change) : kDefaultColour;
}

void showHoldingsEstimate(View& view, const std::optional<HoldingsEstimate>& estimate)
{
    view.setTextColour(Control::HoldingsEstimate, estimateColour(estimate));
    view.setCaption(Control::HoldingsEstimate, estimateLine(estimate));
}

} // namespace fw
