#include "funds/HoldingsEstimate.h"

#include "model/FigureColour.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include <cmath>

namespace fw {

namespace {

// "+0.53%": a percent figure with its decimals, the sign shown on request.
Text percentText(long long units, int decimals, bool withSign)
{
    return (withSign && units > 0 ? "+" : "") + unitsText(units, decimals) + "%";
}

// The change is shown with two decimals, and coloured as shown.
long long shownChange(double change) { return roundedUnits(change, 2); }

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

Text estimateChangeText(double change) { return percentText(shownChange(change), 2, true); }

Text estimateCoverageText(double coverage) { return percentText(roundedUnits(coverage, 1), 1, false); }

Text estimateLine(const std::optional<HoldingsEstimate>& estimate)
{
    if (!estimate)
        return {};
    static const Text head = gbk("持仓估算 "), open = gbk("（覆盖 "), close = gbk("）");
    return head + estimateChangeText(estimate->change) + open + estimateCoverageText(estimate->coverage) + close;
}

Colour estimateChangeColour(double change)
{
    return figureColour(FigureUse::ShownChange, unitsValue(shownChange(change), 2));
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
