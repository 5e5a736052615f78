#pragma once
// Fetching what a fund's curve of the day is made from: the minute bars of
// each security it needs, several at once. The calling thread waits for the
// fetches, so it is a worker's or the command line's, never the window's.
// No Qt.
#include "funds/IntradayCurve.h"
#include "net/HttpClient.h"
#include <functional>
#include <vector>

namespace fw {

// Bars fetched at one time for one curve.
inline constexpr int kCurveFetchThreads = 5;

// The quote history service's path of a security's minute bars of the day.
Text minuteBarsPath(std::string_view quoteId, std::string_view token);

// Runs every job, at most `threads` at one time, and returns once all have
// ended. Jobs run on threads of their own (the calling thread only waits).
void runTogether(const std::vector<std::function<void()>>& jobs, int threads);

// The bars of each identifier, from `base` (time-out and load); an identifier
// whose answer gives no bars (a failure, an unknown security) is absent, one
// suspended all day has none.
BarsById fetchMinuteBars(const HttpRequestOptions& base, const TextList& quoteIds,
                         int threads = kCurveFetchThreads);

struct FundCurve {
    Text code;
    Text name;           // GBK
    IntradayCurve curve; // its last point is the estimate from the quotes
    Text day;            // "2026-12-04": the trading day of the bars
    std::optional<ModelEstimate> estimate;
    std::optional<double> navChange; // the fund's published change of that day, percent
    std::optional<double> previousUnitValue; // the last unit value before that day
    Text failure;        // GBK (a fetch's status may be the engine's own text): why there is no curve; "" with one
    EstimateInputs inputs; // the positions and stock share the curve was made from
    TextList quoteIds;     // the securities it follows
    bool ok() const { return failure.empty(); }
};

// The quotes of a later minute (China time) extend the curve: at a trading
// minute a point of its own, outside the hours (the lunch, after the close)
// the last point. False when the quotes give no estimate or the minute is
// older than the last point.
bool extendFromQuotes(FundCurve& fund, const QuoteChanges& changes, int minute);
// The quotes of the curve's securities fetched and applied (on a worker).
bool refreshFromQuotes(FundCurve& fund, int minute, const HttpRequestOptions& base);

// One fund's curve of the day: its positions and asset mix (and its NAV
// history, and its page when `name` is empty) fetched together, then the
// bars of every security its model needs together with their quotes; the
// quotes' estimate is the curve's last point, of the model the estimate
// shown everywhere takes (chosen by the errors logged in `dataDir`, "" none
// known). Every request carries base.load.
FundCurve fetchFundCurve(std::string_view code, std::string_view gbkName, const HttpRequestOptions& base,
                         const std::string& dataDir = {});

struct HeldFund {
    Text code;
    double shares = 0;
};

struct PortfolioDay {
    std::vector<FundCurve> funds;        // in the order held; a fund without a curve says why
    std::vector<PortfolioPoint> points;  // over the funds with a curve and a unit value
    TextList codes;                      // those funds, in the order of each point's shares
    std::vector<double> amounts;         // their amounts held, yuan
};

// The points again from the funds' curves as they stand now.
void recomputePortfolio(PortfolioDay& day);

// Why the portfolio's day has no point, GBK: no fund is held, or each held
// fund's code and why it has no curve ("000001 no answer；000002 …"); "" with points.
Text portfolioDayFailure(const PortfolioDay& day);

// Every held fund's curve, one fund after another, and the portfolio's
// 当日收益 per minute: each fund's shares × its last unit value before the day
// × its change.
PortfolioDay fetchPortfolioDay(const std::vector<HeldFund>& held, const HttpRequestOptions& base,
                               const std::string& dataDir = {});

} // namespace fw
