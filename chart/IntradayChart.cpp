#include "chart/IntradayChart.h"

#include "model/FigureColour.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include <algorithm>
#include <cmath>

namespace fw {

namespace {

constexpr Colour kCurveColour = rgb(0, 0, 255);
constexpr Colour kProfitColour = rgb(0, 96, 192);

// The value of each slot up to the last point's: the last point at or before it.
std::vector<float> slotValues(const std::vector<int>& slots, const std::vector<std::pair<int, double>>& points)
{
    std::vector<float> out;
    if (points.empty())
        return out;
    size_t next = 0;
    double last = 0;
    for (const int slot : slots) {
        if (slot > points.back().first && next >= points.size())
            break;
        while (next < points.size() && points[next].first <= slot)
            last = points[next++].second;
        out.push_back(float(last));
    }
    return out;
}

IntradayChartData frame(const std::vector<int>& pointMinutes, double largest, const char* captions)
{
    IntradayChartData data;
    const bool hongKong = needsHongKongHours(pointMinutes);
    const std::vector<int> slots = tradingMinutes(hongKong);
    for (const int m : slots)
        data.titles.push_back(minuteText(m));
    // The labels fall on slots evenly apart: every 60 minutes, every 30 with Hong Kong's hours.
    data.xAxisText = hongKong ? "330|09:30||10:30||11:30||13:30||14:30||15:30|16:00" : "240|09:30|10:30|11:30|14:00|15:00";
    // The labels as a list, without 0: the zero line carries its own "0". Steps
    // of a half (bounds 1 and 2) or a fifth (bound 5), so that every label
    // reads exactly at the decimals the renderer gives them.
    const double bound = symmetricBound(largest);
    const int steps = roundedUnits(bound / std::pow(10.0, std::floor(std::log10(bound))), 0) == 5 ? 5 : 2;
    Text below, above;
    for (int k = steps; k >= 1; --k) {
        const double value = bound * k / steps;
        below += (below.empty() ? "" : "|") + roundedText(-value, 6);
        above = roundedText(value, 6) + (above.empty() ? "" : "|") + above;
    }
    data.yAxisText = below + "|" + above;
    data.captions = gbk(captions);
    return data;
}

} // namespace

double symmetricBound(double largest)
{
    if (!std::isfinite(largest) || !(largest > 0))
        return 1.0;
    double scale = std::pow(10.0, std::floor(std::log10(largest)));
    for (;; scale *= 10) {
        for (const double step : {1.0, 2.0, 5.0}) {
            // A hair of tolerance, so that a largest value of exactly 2 gives 2.
            if (step * scale >= largest * (1 - 1e-12))
                return step * scale;
        }
    }
}

IntradayChartData fundChartData(std::string_view code, const IntradayCurve& curve, std::optional<double> navChange)
{
    std::vector<int> minutes;
    std::vector<std::pair<int, double>> points;
    double largest = navChange ? std::abs(*navChange) : 0.0;
    for (const CurvePoint& p : curve.points) {
        minutes.push_back(p.minute);
        // Shown, and read out, to the hundredth of a percent.
        points.emplace_back(p.minute, unitsValue(roundedUnits(p.change, 2), 2));
        largest = std::max(largest, std::abs(p.change));
    }
    IntradayChartData data = frame(minutes, largest, "时间|估算涨幅(%)");
    data.values = slotValues(tradingMinutes(needsHongKongHours(minutes)), points);
    data.legend = Text(code);
    if (navChange)
        data.dot = float(unitsValue(roundedUnits(*navChange, 2), 2));
    return data;
}

IntradayChartData portfolioChartData(const std::vector<PortfolioPoint>& points, const TextList& codes)
{
    std::vector<int> minutes;
    std::vector<std::pair<int, double>> totals;
    std::vector<std::vector<std::pair<int, double>>> parts(codes.size());
    double largest = 0;
    for (const PortfolioPoint& p : points) {
        minutes.push_back(p.minute);
        totals.emplace_back(p.minute, unitsValue(roundedUnits(p.profit, 2), 2));
        largest = std::max(largest, std::abs(p.profit));
        for (size_t i = 0; i < codes.size() && i < p.shares.size(); ++i)
            parts[i].emplace_back(p.minute, unitsValue(roundedUnits(p.shares[i], 2), 2));
    }
    IntradayChartData data = frame(minutes, largest, "时间|当日收益(元)");
    const std::vector<int> slots = tradingMinutes(needsHongKongHours(minutes));
    data.values = slotValues(slots, totals);
    data.legend = gbk("当日收益");
    for (size_t i = 0; i < codes.size(); ++i)
        data.parts.emplace_back(codes[i], slotValues(slots, parts[i]));
    return data;
}

void drawIntraday(ChartRenderer& renderer, Canvas& canvas, const IntradayChartData& data)
{
    const bool portfolio = !data.parts.empty();
    // Room on the left for yuan labels of six digits.
    renderer.drawChartFrame(canvas, data.xAxisText, data.yAxisText, portfolio ? 12 : 0, 0, 0, 0, 1, 1, data.captions,
                            data.titles);
    renderer.drawSeries(data.values, 2, portfolio ? kProfitColour : kCurveColour, data.legend);
    for (const auto& [code, values] : data.parts)
        renderer.addReadOut(code, kProfitColour, values);
    if (data.dot && data.slotCount() > 0)
        renderer.drawDot(data.slotCount() - 1, *data.dot, figureColour(FigureUse::ShownChange, *data.dot), gbk("净值"));
}

} // namespace fw
