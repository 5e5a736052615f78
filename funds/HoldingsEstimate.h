#pragma once
// Today's change of a fund, estimated by the model that fits it (a feeder by
// its target, an index fund by its index, any other fund by its listed
// holdings: EstimateModels.h) from the inputs EstimateFetch.h brings. This is
// the one estimate the program shows: under the holdings grid, in the
// portfolio, the ledger and every command. The service publishes no intraday
// estimate of its own any more. No Qt.
#include "model/View.h"
#include "funds/EstimateFetch.h"
#include "funds/EstimateLog.h"
#include "funds/EstimateModels.h"
#include "funds/HoldingsWorker.h"
#include "net/RetryPolicy.h"
#include "text/Text.h"
#include <optional>
#include <vector>

namespace fw {

struct HoldingsEstimate : ModelEstimate {
    // ± the model's mean absolute error on this fund, percent; none until it is known.
    std::optional<double> error;
    // The model was chosen by its smaller error rather than by the order of the models.
    bool chosenByError = false;

    // The figures as their texts show them: the change and the error to
    // 0.01, the coverage to 0.1 percent, halves away from zero.
    double shownChange() const;
    std::optional<double> shownCoverage() const;
};

// What a holdings load of the picked fund ends with: the rows it wrote into
// the holdings grid and today's estimate of the fund.
struct HoldingsResult {
    Text fundCode;
    std::vector<HoldingsRowText> rows; // at most ten, in the page's order
    std::optional<HoldingsEstimate> estimate;
};

// The estimate shown of a fund among the ones its models give (in the order
// feeder, index, holdings), with the error it is known to make: the one place
// the choice is made, by preferredEstimate() over the fund's measured errors
// (loggedErrors(); none known: the first model, without an error).
std::optional<HoldingsEstimate> shownEstimate(std::vector<ModelEstimate> applicable, const ModelErrors& errors);

struct EstimateOutcome {
    std::optional<HoldingsEstimate> estimate;
    std::vector<ModelEstimate> applicable; // every model that gave one
    Text failure; // why there is none (GBK: a fetch status may be the engine's own text); "" with one
};
// The estimate from fetched inputs and the fund's measured errors; a failed
// fetch's reason carries over.
EstimateOutcome estimateFrom(const FetchedEstimateInputs& fetched, const ModelErrors& errors);

// One fund, fetched on the calling thread (EstimateFetch.h), chosen by the
// errors the fund brings.
EstimateOutcome fetchEstimate(const EstimateFund& fund, const HttpRequestOptions& base,
                              const RetryPolicy* retry = nullptr);
// Many funds sharing their quote requests, in the order given.
std::vector<EstimateOutcome> fetchEstimates(const std::vector<EstimateFund>& funds, const HttpRequestOptions& base,
                                            const RetryPolicy* retry = nullptr);

// fetchEstimate's estimate alone. With `retry` (a bulk load) a transient failure is tried again.
std::optional<HoldingsEstimate> fetchHoldingsEstimate(const FeatureContext& context, const EstimateFund& fund,
                                                      const RetryPolicy* retry = nullptr);
// As above with the options every request starts from (time-out, load), for
// a worker that may outlive the context.
std::optional<HoldingsEstimate> fetchHoldingsEstimate(const HttpRequestOptions& base, const EstimateFund& fund,
                                                      const RetryPolicy* retry = nullptr);

// "+0.53%", "-1.20%", "0.00%": two decimals, halves away from zero, the sign
// always shown except on zero.
Text estimateChangeText(double change);
// "62.4%": one decimal, halves away from zero.
Text estimateCoverageText(double coverage);
// "±0.42%": the error to 0.01, halves away from zero.
Text estimateErrorText(double error);
// "联接估算", "指数估算", "持仓估算" (GBK).
Text estimateModelName(EstimateModel model);
// The figures of the line, GBK: "+0.53%（覆盖 62.0%，误差 ±0.42%）（低覆盖）", each
// part only where it applies; "" without an estimate.
Text estimateFigures(const std::optional<HoldingsEstimate>& estimate);
// What an estimate stands on, GBK, beside its change where the model is not
// named otherwise (the portfolio): "覆盖 62.4%" (holdings) or the model,
// "联接估算", then "，误差 ±0.42%" once the error is known.
Text estimateBasis(const HoldingsEstimate& estimate);
// The line under the holdings grid, GBK: "持仓估算 +0.53%（覆盖 62.0%，误差 ±0.42%）";
// "" without an estimate.
Text estimateLine(const std::optional<HoldingsEstimate>& estimate);
// The line and its shorter forms, longest first, each shortening words where
// the one before it did (the figures are always whole): the label shows the
// first that fits it. Empty without an estimate.
std::vector<Text> estimateLineForms(const std::optional<HoldingsEstimate>& estimate);
// The colour of estimateChangeText(change): of the change as shown.
Colour estimateChangeColour(double change);
// The change's colour, low coverage or not; the label's own colour without an estimate.
Colour estimateColour(const std::optional<HoldingsEstimate>& estimate);

// Writes the line (with its shorter forms) and its colour into the estimate label.
void showHoldingsEstimate(View& view, const std::optional<HoldingsEstimate>& estimate);
// Empties it: wherever the holdings grid is cleared, the estimate goes with it.
inline void clearHoldingsEstimate(View& view) { showHoldingsEstimate(view, std::nullopt); }

} // namespace fw
