#pragma once
// compare --plot and intraday --plot: the chart drawn by the window's renderer on a
// Qt image of the chart panel's size (QtGui without a display), written as
// PNG. The file appears whole or not at all.
#include "chart/Comparison.h"
#include "chart/IntradayChart.h"

#include <string>

namespace fw::cli {

// The chart panel's size in the window.
inline constexpr int kPlotWidth = 608, kPlotHeight = 320;

// False with a reason (UTF-8) when the image could not be written.
bool writeComparisonPlot(const std::string& path, const ComparisonData& data, std::string_view codeA,
                         std::string_view codeB, std::string& error);
// intraday --plot: the 今日 chart, on the same image.
bool writeIntradayPlot(const std::string& path, const IntradayChartData& data, std::string& error);

} // namespace fw::cli
