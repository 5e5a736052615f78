#pragma once
// The 今日 chart: a fund's estimated change, or a portfolio's estimated 当日收益
// in yuan, per minute of the trading day, drawn by the chart renderer. The
// x axis is the day's trading minutes (09:30-11:30 and 13:01-15:00, or to 12:00
// and 16:00 when Hong Kong holdings trade on), the y axis symmetric around 0,
// the fund's published change of the day a dot at the close. No Qt.
#include "chart/ChartRenderer.h"
#include "funds/IntradayCurve.h"

#include <optional>
#include <vector>

namespace fw {

struct IntradayChartData {
    Text xAxisText;   // "240|09:30|10:30|11:30|14:00|15:00"
    Text yAxisText;   // the labels: "-1|-0.5|0.5|1"
    Text captions;    // "时间|涨幅(%)"
    TextList titles;  // the minute of each slot, "09:30"
    std::vector<float> values; // one per slot up to the last point
    Text legend;
    std::vector<std::pair<Text, std::vector<float>>> parts; // read-out lines: a fund's share per slot
    std::optional<float> dot; // at the last slot of the day
    size_t slotCount() const { return titles.size(); }
};

// The half-width of the y axis: the smallest of 1, 2, 5 × 10^k at least as
// large as `largest` (magnitudes), at least 2 steps of a round figure.
double symmetricBound(double largest);

// A fund's curve; `navChange` the published change of the day (the dot).
IntradayChartData fundChartData(std::string_view code, const IntradayCurve& curve, std::optional<double> navChange);
// A portfolio's 当日收益; each fund's share goes into the read-out under its code.
IntradayChartData portfolioChartData(const std::vector<PortfolioPoint>& points, const TextList& codes);

void drawIntraday(ChartRenderer& renderer, Canvas& canvas, const IntradayChartData& data);

} // namespace fw
