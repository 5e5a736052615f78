#include "funds/HoldingsEstimate.h"

#include "text/CodePage.h"
#include "text/NumberText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace fw {

namespace {

// The value in units of 10^-decimals, halves away from zero. The tolerance
// lets a mean that lands a binary hair short of a half (1.005 → 1.00499…)
// round as its decimal reading does.
long long roundedUnits(double value, int decimals)
{
    const double scaled = std::fabs(value) * std::pow(10.0, decimals);
    double whole = std::floor(scaled);
    if (scaled - whole + 0.000000001 >= 0.5)
        whole += 1;
    const long long magnitude = truncToInt(whole);
    return value < 0 ? -magnitude : magnitude;
}

Text unitsText(long long units, int decimals, bool withSign)
{
    long long divisor = 1;
    for (int i = 0; i < decimals; ++i)
        divisor *= 10;
    const char* sign = units < 0 ? "-" : (withSign && units > 0 ? "+" : "");
    const long long magnitude = std::llabs(units); // truncToInt saturates: never LLONG_MIN
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s%lld.%0*lld%%", sign, magnitude / divisor, decimals, magnitude % divisor);
    return buffer;
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

Text estimateChangeText(double change) { return unitsText(roundedUnits(change, 2), 2, true); }

Text estimateCoverageText(double coverage) { return unitsText(roundedUnits(coverage, 1), 1, false); }

Text estimateLine(const std::optional<HoldingsEstimate>& estimate)
{
    if (!estimate)
        return {};
    static const Text head = gbk("持仓估算 "), open = gbk("（覆盖 "), close = gbk("）");
    return head + estimateChangeText(estimate->change) + open + estimateCoverageText(estimate->coverage) + close;
}

Colour estimateColour(const std::optional<HoldingsEstimate>& estimate)
{
    if (!estimate)
        return kDefaultColour;
    const long long units = roundedUnits(estimate->change, 2);
    return units > 0 ? kRed : units < 0 ? kGreen : kSilver;
}

void showHoldingsEstimate(View& view, const std::optional<HoldingsEstimate>& estimate)
{
    view.setTextColour(Control::HoldingsEstimate, estimateColour(estimate));
    view.setCaption(Control::HoldingsEstimate, estimateLine(estimate));
}

} // namespace fw
