#pragma once
// Today's change of a fund estimated from its ten holdings: the mean of the
// live day's changes of the holdings that have a quote, weighted by their
// shares of net assets, and how much of the fund those holdings make up. The
// service publishes no intraday estimate of its own any more. No Qt.
#include "model/View.h"
#include "funds/HoldingsWorker.h"
#include "net/RetryPolicy.h"
#include "text/Text.h"
#include <optional>
#include <vector>

namespace fw {

struct HoldingsEstimate {
    double change = 0;   // percent: Σ share × change / Σ share
    double coverage = 0; // percent of net assets: Σ share, as is (over 100 for leveraged funds)

    // The figures as their texts show them: the change to 0.01 and the
    // coverage to 0.1 percent, halves away from zero.
    double shownChange() const;
    double shownCoverage() const;
};

// What a holdings load of the picked fund ends with: the rows it wrote into
// the holdings grid and today's estimate from them.
struct HoldingsResult {
    Text fundCode;
    std::vector<HoldingsRowText> rows; // at most ten, in the page's order
    std::optional<HoldingsEstimate> estimate;
};

// Over the rows with a change; a row without one (no quote, suspended) is in
// neither sum. None when no row with a change has a share: never a made-up 0%.
std::optional<HoldingsEstimate> estimateFromHoldings(const std::vector<HoldingsRowText>& rows);

// One fund's estimate from its holdings page (one copy, its own shares) and
// the quotes of its stocks, fetched on the calling thread; none when the page
// or the quotes give none. With `retry` (a bulk load) a transient failure is tried again.
std::optional<HoldingsEstimate> fetchHoldingsEstimate(const FeatureContext& context, std::string_view fundCode,
                                                      const RetryPolicy* retry = nullptr);
// As above with the options every request starts from (time-out, load), for
// a worker that may outlive the context.
std::optional<HoldingsEstimate> fetchHoldingsEstimate(const HttpRequestOptions& base, std::string_view fundCode,
                                                      const RetryPolicy* retry = nullptr);

// "+0.53%", "-1.20%", "0.00%": two decimals, halves away from zero, the sign
// always shown except on zero.
Text estimateChangeText(double change);
// "62.4%": one decimal, halves away from zero.
Text estimateCoverageText(double coverage);
// The figures of the line, GBK: "+0.53%（覆盖 62.4%）"; "" without an estimate.
Text estimateFigures(const std::optional<HoldingsEstimate>& estimate);
// The line under the holdings grid, GBK: "持仓估算 +0.53%（覆盖 62.4%）"; "" without an estimate.
Text estimateLine(const std::optional<HoldingsEstimate>& estimate);
// The colour of estimateChangeText(change): of the change as shown.
Colour estimateChangeColour(double change);
// The change's colour; the label's own colour without an estimate.
Colour estimateColour(const std::optional<HoldingsEstimate>& estimate);

// Writes the line and its colour into the estimate label.
void showHoldingsEstimate(View& view, const std::optional<HoldingsEstimate>& estimate);
// Empties it: wherever the holdings grid is cleared, the estimate goes with it.
inline void clearHoldingsEstimate(View& view) { showHoldingsEstimate(view, std::nullopt); }

} // namespace fw
