#pragma once
// The day's curve of a fund's estimated change from 09:30, minute by minute:
// at each minute the fund's estimate model applied to each holding's change
// since the previous close as its minute bars give it. A holding without a
// bar in a minute (Hong Kong's lunch and its 16:00 close, a stock suspended
// during the day) keeps its last change; before its first bar it counts 0.
// A holding without any bar is left out, as a holding without a quote is
// left out of the estimate. A portfolio's curve is the sum of its funds'
// curves in yuan. Pure functions, no network, no Qt.
#include "funds/EstimateLog.h"
#include "funds/EstimateModels.h"
#include <map>
#include <optional>
#include <vector>

namespace fw {

// Minute bars by quote identifier ("1.600519", "116.00700").
using BarsById = std::map<Text, MinuteBars>;

struct CurvePoint {
    int minute = 0;    // minutes since midnight, China time: 09:30 is 570
    double change = 0; // percent
};

struct IntradayCurve {
    EstimateModel model = EstimateModel::Holdings;
    std::vector<CurvePoint> points; // ascending minutes
};

// The first minute of the curve: 09:30.
inline constexpr int kCurveFirstMinute = 9 * 60 + 30;

// The trading minutes of the day: 09:30-11:30 and 13:01-15:00 (241), or with
// Hong Kong's hours 09:30-12:00 and 13:01-16:00 (331).
std::vector<int> tradingMinutes(bool hongKongHours);
// The points fall on Hong Kong's hours: one in the Shanghai lunch or after its close.
bool needsHongKongHours(const std::vector<int>& minutes);

// The models the fund's positions and name let apply, in the order feeder
// (a target fund), index (an index in the name), holdings (listed stocks).
std::vector<EstimateModel> modelsFor(const FundPositions& positions, std::string_view gbkFundName);
// The quote identifiers whose bars the fund's curve needs: those of the model
// its errors choose among modelsFor() (preferredModel()): a feeder's target
// and its own stocks; an index fund's index; the listed stocks.
TextList curveQuoteIds(const FundPositions& positions, std::string_view gbkFundName, const ModelErrors& errors = {});

// The estimate of one model (none when it does not apply).
std::optional<ModelEstimate> estimateBy(EstimateModel model, const EstimateInputs& in);

// The curve of `in` (its changes are not used) over the bars: one point per
// minute any holding has a bar in, from 09:30. The model is `model` (the
// estimate's), else the one chosen for the changes of the last minute. None
// when the model gives no estimate.
std::optional<IntradayCurve> curveFromBars(const EstimateInputs& in, const BarsById& bars,
                                           std::optional<EstimateModel> model = std::nullopt);

// A later estimate (from the quotes) as the point of `minute`: it replaces
// the point of that minute, or follows the last one; a minute before the
// last point's changes nothing. False then.
bool extendCurve(IntradayCurve& curve, int minute, double change);

// "09:31".
Text minuteText(int minute);

// --- a portfolio
struct PortfolioFund {
    Text code;
    double amount = 0; // yuan held at the last unit value
    IntradayCurve curve;
};

struct PortfolioPoint {
    int minute = 0;
    double profit = 0;          // yuan: Σ of the funds' shares
    std::vector<double> shares; // yuan, one per fund in the order given
};

// The estimated 当日收益 of the portfolio per minute: each fund's amount ×
// its change at that minute (its last point before it; 0 before its first).
std::vector<PortfolioPoint> portfolioCurve(const std::vector<PortfolioFund>& funds);

} // namespace fw
