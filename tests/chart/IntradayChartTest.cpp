// The 今日 chart through the recording canvas: the day's minutes across, the
// axis symmetric around 0, the published change as a dot at the close, and a
// portfolio's funds in the pointer read-out.
#include "chart/IntradayChart.h"
#include "model/FigureColour.h"
#include "text/CodePage.h"
#include "tests/chart/RecordingCanvas.h"

#include <gtest/gtest.h>

namespace fw {
namespace {

int at(int h, int m) { return h * 60 + m; }

std::vector<std::string> texts(const RecordingCanvas& canvas)
{
    std::vector<std::string> out;
    for (const CanvasOp& op : canvas.ops)
        if (op.kind == CanvasOp::Text)
            out.push_back(op.text);
    return out;
}

bool has(const std::vector<std::string>& all, const std::string& text)
{
    return std::find(all.begin(), all.end(), text) != all.end();
}

TEST(IntradayChart, TheAxisIsSymmetricAroundZeroOnRoundFigures)
{
    struct Case {
        double largest, bound;
    } const cases[] = {{0.0, 1.0}, {0.07, 0.1}, {0.1, 0.1}, {0.73, 1.0}, {1.2, 2.0}, {2.0, 2.0}, {3.1, 5.0},
                       {5.01, 10.0}, {1234.5, 2000.0}};
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(symmetricBound(c.largest), c.bound) << c.largest;
}

TEST(IntradayChart, TheYLabelsReadExactlyAndLeaveZeroToTheZeroLine)
{
    struct Case {
        double largest;
        std::vector<std::string> labels; // top to bottom
    } const cases[] = {
        {0.8, {"1.0", "0.5", "-0.5", "-1.0"}},
        {0.3, {"0.5", "0.4", "0.3", "0.2", "0.1", "-0.1", "-0.2", "-0.3", "-0.4", "-0.5"}},
        {0.08, {"0.10", "0.05", "-0.05", "-0.10"}},
        {1.5, {"2", "1", "-1", "-2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.largest);
        const IntradayCurve curve {EstimateModel::Holdings, {{at(9, 30), c.largest}}};
        RecordingCanvas canvas;
        ChartRenderer renderer;
        drawIntraday(renderer, canvas, fundChartData("000001", curve, std::nullopt));
        std::vector<std::pair<int, std::string>> left; // y, text
        int zeros = 0;
        for (const CanvasOp& op : canvas.ops)
            if (op.kind == CanvasOp::Text && op.x0 < 40 && op.y0 > 45 && op.y0 < 290) {
                if (op.text == "0")
                    ++zeros;
                else
                    left.emplace_back(op.y0, op.text);
            }
        std::sort(left.begin(), left.end());
        std::vector<std::string> labels;
        for (const auto& [y, text] : left)
            labels.push_back(text);
        EXPECT_EQ(labels, c.labels);
        EXPECT_EQ(zeros, 1); // the zero line's own
    }
}

TEST(IntradayChart, AFundsDayWithItsPublishedChangeAsADot)
{
    IntradayCurve curve {EstimateModel::Holdings, {{at(9, 30), 0.3}, {at(9, 31), -0.8}, {at(15, 0), 0.42}}};
    const IntradayChartData data = fundChartData("000001", curve, 0.5);
    // 09:30-11:30 and 13:01-15:00: 241 minutes; each slot carries the last point before it.
    ASSERT_EQ(data.slotCount(), 241u);
    ASSERT_EQ(data.values.size(), 241u);
    EXPECT_FLOAT_EQ(data.values[0], 0.3f);
    EXPECT_FLOAT_EQ(data.values[1], -0.8f);
    EXPECT_FLOAT_EQ(data.values[239], -0.8f);
    EXPECT_FLOAT_EQ(data.values[240], 0.42f);
    EXPECT_EQ(data.titles[121], "13:01");

    RecordingCanvas canvas;
    canvas.bytePixels = 6;
    ChartRenderer renderer;
    drawIntraday(renderer, canvas, data);
    // Largest 0.8 → ±1 in four divisions.
    EXPECT_FLOAT_EQ(renderer.minimum(), -1.0f);
    EXPECT_FLOAT_EQ(renderer.maximum(), 1.0f);
    const std::vector<std::string> shown = texts(canvas);
    for (const char* label : {"-1.0", "-0.5", "0", "0.5", "1.0", "09:30", "11:30", "15:00", "000001"})
        EXPECT_TRUE(has(shown, label)) << label;
    EXPECT_TRUE(has(shown, gbk("净值")));

    // The dot at the close: plot 40..508 × 60..290, x = 508; y = 290 - 230 / 2 × (0.5 + 1) = 117.5.
    const auto dot = std::find_if(canvas.ops.begin(), canvas.ops.end(),
                                  [](const CanvasOp& op) { return op.kind == CanvasOp::Fill; });
    ASSERT_NE(dot, canvas.ops.end());
    EXPECT_EQ(dot->x0, 506);
    EXPECT_EQ(dot->y0, 115);
    EXPECT_EQ(dot->brush, kRed);
    // The dot is part of the clean chart the pointer read-out restores.
    EXPECT_EQ(canvas.ops.back().kind, CanvasOp::Snapshot);
}

TEST(IntradayChart, HongKongHoursStretchTheDayTo16)
{
    IntradayCurve curve {EstimateModel::Holdings, {{at(9, 30), 0.1}, {at(11, 45), 0.2}, {at(16, 0), -0.3}}};
    const IntradayChartData data = fundChartData("000002", curve, std::nullopt);
    // 09:30-12:00 and 13:01-16:00: 151 + 180 slots.
    ASSERT_EQ(data.slotCount(), 331u);
    EXPECT_EQ(data.titles[150], "12:00");
    EXPECT_EQ(data.titles[330], "16:00");
    ASSERT_EQ(data.values.size(), 331u);
    EXPECT_FLOAT_EQ(data.values[134], 0.1f);  // 11:44
    EXPECT_FLOAT_EQ(data.values[135], 0.2f);  // 11:45
    EXPECT_FLOAT_EQ(data.values[329], 0.2f);  // 15:59
    EXPECT_FLOAT_EQ(data.values[330], -0.3f);
    RecordingCanvas canvas;
    ChartRenderer renderer;
    drawIntraday(renderer, canvas, data);
    EXPECT_TRUE(has(texts(canvas), "16:00"));
    // No dot before the change is published.
    for (const CanvasOp& op : canvas.ops)
        EXPECT_NE(op.kind, CanvasOp::Fill);
}

TEST(IntradayChart, APortfolioReadsOutEachFundsShare)
{
    const std::vector<PortfolioPoint> points {{at(9, 30), 100, {60, 40}}, {at(9, 31), -250.5, {-300, 49.5}}};
    const IntradayChartData data = portfolioChartData(points, {"000001", "000002"});
    // A day in progress: slots up to the last point only.
    ASSERT_EQ(data.values.size(), 2u);
    RecordingCanvas canvas(608, 320);
    canvas.bytePixels = 6;
    canvas.shown = 500; // the window shows only part of the panel
    ChartRenderer renderer;
    drawIntraday(renderer, canvas, data);
    // Largest 250.5 → ±500.
    EXPECT_FLOAT_EQ(renderer.maximum(), 500.0f);
    // Every text inside the shown part.
    for (const CanvasOp& op : canvas.ops)
        if (op.kind == CanvasOp::Text) {
            EXPECT_GE(op.x0, 0) << op.text;
            EXPECT_LE(op.x0 + 6 * int(op.text.size()), 500) << op.text;
        }

    // The pointer over the second minute: x = 52 + 456 / 240 × 1 → point 2.
    canvas.ops.clear();
    renderer.trackPointer(54, 150);
    const std::vector<std::string> shown = texts(canvas);
    EXPECT_TRUE(has(shown, gbk("时间：09:31")));
    EXPECT_TRUE(has(shown, gbk("当日收益：-250.5")));
    EXPECT_TRUE(has(shown, gbk("000001：-300")));
    EXPECT_TRUE(has(shown, gbk("000002：49.5")));
}

} // namespace
} // namespace fw
