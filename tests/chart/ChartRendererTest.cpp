#include "chart/ChartRenderer.h"
#include "chart/Comparison.h"
#include "text/CodePage.h"
#include "text/NumberText.h"

#include "RecordingCanvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>

using namespace fw;

namespace {

constexpr Colour kGrey = rgb(128, 128, 128);
constexpr Colour kLabelGrid = rgb(192, 192, 192);

// Frame of the 608 x 320 panel as the comparison draws it.
void frame(ChartRenderer& r, RecordingCanvas& c, const std::string& xAxis, const std::string& yAxis,
           const TextList& titles = {})
{
    r.drawChartFrame(c, xAxis, yAxis, 0, 0, 0, 0, 2, 0, gbk("时间|涨跌（%）"), titles);
}

// The y labels: grey texts right-aligned two pixels left of the y axis.
std::vector<std::string> yLabels(const RecordingCanvas& c, int x0 = 40)
{
    std::vector<std::string> out;
    for (const CanvasOp& op : c.of(CanvasOp::Text))
        if (op.textColour == kGrey && op.x0 + 6 * int(op.text.size()) == x0 - 2)
            out.push_back(op.text);
    return out;
}

const CanvasOp* zeroLine(const RecordingCanvas& c)
{
    for (const CanvasOp& op : c.ops)
        if (op.kind == CanvasOp::Line && op.style == PenStyle::Solid && op.pen == kLabelGrid)
            return &op;
    return nullptr;
}

TEST(ChartFrame, PlotRectangleAxesAndCaptions)
{
    RecordingCanvas c;
    ChartRenderer r;
    frame(r, c, "2|06||09||10|", "9|-3|12");
    const PlotRect p = r.plotRect();
    EXPECT_EQ(std::vector<int>({p.x0, p.y0, p.x1, p.y1}), std::vector<int>({40, 60, 508, 290}));

    const auto lines = c.of(CanvasOp::Line);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(std::vector<int>({lines[0].x0, lines[0].y0, lines[0].x1, lines[0].y1}),
              std::vector<int>({40, 290, 528, 290}));
    EXPECT_EQ(std::vector<int>({lines[1].x0, lines[1].y0, lines[1].x1, lines[1].y1}),
              std::vector<int>({40, 290, 40, 50}));
    EXPECT_EQ(lines[0].pen, 0u);

    const CanvasOp* x = c.findText(gbk("时间"));
    const CanvasOp* y = c.findText(gbk("涨跌（%）"));
    ASSERT_TRUE(x && y);
    EXPECT_EQ(std::make_pair(x->x0, x->y0), std::make_pair(533, 282));
    EXPECT_EQ(std::make_pair(y->x0, y->y0), std::make_pair(30, 30));
    EXPECT_EQ(x->textColour, 0u);

    // Margin additions move the plot rectangle inward.
    RecordingCanvas c2;
    r.drawChartFrame(c2, "2|a||b||c|", "9|0|12", 5, 6, 7, 8, 2, 0, "", {});
    const PlotRect q = r.plotRect();
    EXPECT_EQ(std::vector<int>({q.x0, q.y0, q.x1, q.y1}), std::vector<int>({45, 68, 501, 284}));
}

TEST(ChartFrame, XLabelsCentredUnderTheirGridLines)
{
    RecordingCanvas c;
    ChartRenderer r;
    frame(r, c, "2|06||09||10|", "9|-3|12");
    // Eight fine lines (quarters between points), then four label lines.
    std::vector<int> fine, label;
    for (const CanvasOp& op : c.of(CanvasOp::Line)) {
        if (op.style != PenStyle::Dotted || op.x0 != op.x1)
            continue;
        EXPECT_EQ(std::make_pair(op.y0, op.y1), std::make_pair(289, 60));
        (op.pen == rgb(224, 224, 224) ? fine : label).push_back(op.x0);
    }
    EXPECT_EQ(fine, std::vector<int>({98, 157, 215, 274, 332, 391, 449, 508}));
    EXPECT_EQ(label, std::vector<int>({157, 274, 391, 508}));
    const struct { const char* text; int x; } expected[] = {{"06", 39}, {"09", 268}, {"10", 502}};
    for (const auto& e : expected) {
        const CanvasOp* t = c.findText(e.text);
        ASSERT_TRUE(t) << e.text;
        EXPECT_EQ(std::make_pair(t->x0, t->y0), std::make_pair(e.x, 293)) << e.text;
    }
}

TEST(ChartFrame, YLabelsAndZeroLine)
{
    const struct {
        const char* yAxis;
        std::vector<std::string> labels;
        int zeroY; // -1: no zero line
    } cases[] = {
        // 0.33 would read "0" five pixels above the zero line's own "0": left out.
        {"9|-3|12", {"-3", "-1", "2", "4", "5", "7", "9", "10", "12"}, 244},
        {"9|0|12", {"0", "1", "3", "4", "5", "7", "8", "9", "11", "12"}, -1},
        // Steps of 2/9: whole numbers would repeat (1, 1), one decimal does not.
        {"9|0.5|2.5", {"0.5", "0.7", "0.9", "1.2", "1.4", "1.6", "1.8", "2.1", "2.3", "2.5"}, -1},
        // A week from 0.10 to 1.90, and a flat series: every label with its one decimal.
        {"9|0|2", {"0.0", "0.2", "0.4", "0.7", "0.9", "1.1", "1.3", "1.6", "1.8", "2.0"}, -1},
        {"9|-1|1", {"-1.0", "-0.8", "-0.6", "-0.3", "-0.1", "0.1", "0.3", "0.6", "0.8", "1.0"}, 175},
        // -0.22 would sit three pixels from the zero line: left out.
        {"9|-4|13", {"-4", "-2", "2", "4", "5", "7", "9", "11", "13"}, 235},
        // A label rounded up from below zero reads "0", never "-0": -0.45, 13 pixels
        // under the zero line (28.75 a unit), is far enough from it to be shown.
        {"4|-0.45|7.55", {"0", "2", "4", "6", "8"}, 277},
        // ... nor "-0.0": -0.02 at one decimal.
        {"4|-0.02|0.38", {"0.0", "0.1", "0.2", "0.3", "0.4"}, 278},
        // Steps of 0.05 need two decimals; steps of 0.005 get no more than two.
        {"4|0|0.2", {"0.00", "0.05", "0.10", "0.15", "0.20"}, -1},
        {"4|0|0.02", {"0.00", "0.00", "0.01", "0.01", "0.02"}, -1},
        // A list of values; halves round away from zero.
        {"0|2.5|5|7.5", {"0", "3", "5", "8"}, -1},
        // Only the first two of a list would read alike as whole numbers.
        {"0|0.4|2|3|4", {"0.0", "0.4", "2.0", "3.0", "4.0"}, -1},
        // No divisions: the minimum alone.
        {"0|0|12", {"0"}, -1},
        {"9|-2.5|-0.5", {"-2.5", "-2.3", "-2.1", "-1.8", "-1.6", "-1.4", "-1.2", "-0.9", "-0.7", "-0.5"}, -1},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.yAxis);
        RecordingCanvas c;
        ChartRenderer r;
        frame(r, c, "2|06||09||10|", t.yAxis);
        EXPECT_EQ(yLabels(c), t.labels);
        const CanvasOp* zero = zeroLine(c);
        if (t.zeroY < 0) {
            EXPECT_EQ(zero, nullptr);
            continue;
        }
        ASSERT_NE(zero, nullptr);
        EXPECT_EQ(std::vector<int>({zero->x0, zero->y0, zero->x1, zero->y1}),
                  std::vector<int>({41, t.zeroY, 508, t.zeroY}));
        const CanvasOp* label = nullptr;
        const std::vector<CanvasOp> texts = c.of(CanvasOp::Text); // label points into it
        for (const CanvasOp& op : texts)
            if (op.text == "0" && op.x0 == 28)
                label = &op;
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->y0, t.zeroY - 6);
    }
}

TEST(ChartFrame, FineHorizontalGridPerDivision)
{
    RecordingCanvas c;
    ChartRenderer r;
    r.drawChartFrame(c, "2|06||09||10|", "5|0|10", 0, 0, 0, 0, 2, 2, "", {});
    std::vector<int> ys;
    for (const CanvasOp& op : c.of(CanvasOp::Line))
        if (op.pen == rgb(224, 224, 224) && op.y0 == op.y1) {
            EXPECT_EQ(std::make_pair(op.x0, op.x1), std::make_pair(41, 508));
            ys.push_back(op.y0);
        }
    EXPECT_EQ(ys, std::vector<int>({267, 244, 221, 198, 175, 152, 129, 106, 83, 60}));
}

TEST(ChartFrame, NewFrameForgetsThePreviousChart)
{
    RecordingCanvas c;
    ChartRenderer r;
    frame(r, c, "2|06||09||10|", "9|0|12", {"a", "b", "c"});
    r.drawSeries({1, 2, 3}, 3, 255, "005669");
    r.trackPointer(300, 100);
    ASSERT_NE(r.boxLeft(), 0);
    c.ops.clear();

    frame(r, c, "1|06||09|", "9|0|12", {"a", "b"});
    ASSERT_GE(c.ops.size(), 3u);
    EXPECT_EQ(c.ops[0].kind, CanvasOp::Clear);
    EXPECT_EQ(c.ops[1].kind, CanvasOp::ClearSnapshot);
    EXPECT_EQ(c.ops[2].kind, CanvasOp::Restore);
    EXPECT_EQ(r.crosshair().x + r.crosshair().y, 0);
    EXPECT_EQ(r.boxLeft(), 0);
    EXPECT_EQ(r.lastIndex(), 0);
    EXPECT_EQ(r.rowsInUse(), 1);
    EXPECT_EQ(r.hoverTable(), std::vector<TextList>({{gbk("时间"), "0", "a", "b"}}));
}

// Fewer than two points, or a range without extent: the frame, its captions
// and a note, nothing that needs a scale.
TEST(ChartFrame, NoScaleGivesTheEmptyFrameWithANote)
{
    const struct { const char* xAxis; const char* yAxis; } cases[] = {
        {"0|08|", "9|-1|1"}, {"-1", "9|-1|1"}, {"2|06||09||10|", "9|5|5"}, {"2|06||09||10|", "9|3|1"}, {"", ""},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(std::string(t.xAxis) + " / " + t.yAxis);
        RecordingCanvas c;
        ChartRenderer r;
        frame(r, c, t.xAxis, t.yAxis, {"2026/12/08"});
        EXPECT_FALSE(r.scaleUsable());
        EXPECT_EQ(c.count(CanvasOp::Line), 2u); // the axes
        EXPECT_EQ(c.texts(), std::vector<std::string>({gbk("时间"), gbk("涨跌（%）"), gbk("暂无足够数据")}));
        const CanvasOp* note = c.findText(gbk("暂无足够数据"));
        EXPECT_EQ(std::make_pair(note->x0, note->y0), std::make_pair(268, 154));

        const size_t before = c.ops.size();
        r.drawSeries({1.5f}, 3, 255, "005669");
        r.trackPointer(300, 100);
        EXPECT_EQ(c.ops.size(), before);
        EXPECT_FALSE(r.hasChartCopy());
    }
}

// A chart of two series over five points (0..4 intervals), pointer tracking.
struct Tracking : ::testing::Test {
    RecordingCanvas c;
    ChartRenderer r;
    void SetUp() override
    {
        frame(r, c, "4|02||03||04||07||08|", "9|-4|13",
              {"2026/12/02", "2026/12/03", "2026/12/04", "2026/12/07", "2026/12/08"});
        r.drawSeries({0, 1.25f, 12.7f, 5.5f, 3.1f}, 3, 255, "005669");
        r.drawSeries({0, -0.75f, -3.4f, -1.2f, 2}, 3, 24768, gbk("前海开源公用事业"));
        c.ops.clear();
    }
    std::vector<CanvasOp> move(int x, int y)
    {
        c.ops.clear();
        r.trackPointer(x, y);
        return c.ops;
    }
};

TEST_F(Tracking, PointerOnTheEdgeCountsAsInside)
{
    const struct { int x, y; bool inside; } cases[] = {
        {528, 100, true}, {529, 100, false}, {30, 100, true}, {29, 100, false},
        {300, 300, true}, {300, 301, false}, {300, 40, true}, {300, 39, false},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(std::to_string(t.x) + "," + std::to_string(t.y));
        move(t.x, t.y);
        if (t.inside) {
            EXPECT_EQ(r.crosshair().x + r.crosshair().y > 0 || r.boxLeft() != 0, true);
            EXPECT_NE(r.lastIndex(), 0);
        } else {
            ASSERT_FALSE(c.ops.empty());
            // The clean chart comes back and is shown.
            ASSERT_EQ(c.ops.size(), 2u);
            EXPECT_EQ(c.ops.front().kind, CanvasOp::Restore);
            EXPECT_EQ(c.ops.back().kind, CanvasOp::Flush);
            EXPECT_EQ(r.crosshair().x + r.crosshair().y, 0);
            EXPECT_EQ(r.boxLeft(), 0);
            EXPECT_EQ(r.lastIndex(), 0);
        }
    }
}

TEST_F(Tracking, CrosshairIsDrawnInvertedAndErasedByRedrawing)
{
    // The first move places the box, which restores the clean chart; the next
    // move inside the same interval draws the crosshair alone, and shows it.
    move(300, 100);
    EXPECT_EQ(move(310, 120).size(), 3u);
    const auto ops = move(320, 130);
    ASSERT_EQ(ops.size(), 5u);
    EXPECT_EQ(ops.back().kind, CanvasOp::Flush);
    const std::vector<std::vector<int>> expected = {
        {40, 120, 528, 120}, {310, 290, 310, 30}, {40, 130, 528, 130}, {320, 290, 320, 30}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(ops[i].kind, CanvasOp::Line);
        EXPECT_EQ(ops[i].mode, DrawMode::Invert);
        EXPECT_EQ(ops[i].style, PenStyle::Dotted);
        EXPECT_EQ(std::vector<int>({ops[i].x0, ops[i].y0, ops[i].x1, ops[i].y1}), expected[i]);
    }
    EXPECT_EQ(c.drawMode(), DrawMode::Copy);
    EXPECT_EQ(r.crosshair().x, 320);
    EXPECT_EQ(r.crosshair().y, 130);
}

TEST_F(Tracking, BoxKeepsAwayFromThePointer)
{
    // Right half: the box goes to the left of the plot, drawn afresh.
    auto ops = move(450, 100);
    EXPECT_EQ(r.lastIndex(), 4);
    EXPECT_EQ(r.boxLeft(), 50);
    ASSERT_EQ(c.count(CanvasOp::Restore), 1u);
    auto rects = c.of(CanvasOp::Rectangle);
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(std::vector<int>({rects[0].x0, rects[0].y0, rects[0].x1, rects[0].y1}),
              std::vector<int>({50, 40, 176, 91}));
    EXPECT_EQ(rects[0].pen, rgb(96, 96, 96));
    const auto fills = c.of(CanvasOp::Fill);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(std::vector<int>({fills[0].x0, fills[0].y0, fills[0].x1, fills[0].y1}),
              std::vector<int>({52, 42, 174, 89}));
    EXPECT_EQ(fills[0].brush, kLabelGrid);

    // Another point on the same side: the box stays and is refilled.
    move(350, 100);
    EXPECT_EQ(r.lastIndex(), 3);
    EXPECT_EQ(r.boxLeft(), 50);
    EXPECT_EQ(c.count(CanvasOp::Restore), 0u);
    EXPECT_EQ(c.count(CanvasOp::Rectangle), 0u);
    EXPECT_EQ(c.count(CanvasOp::Fill), 1u);

    // Left half: the box moves to the right.
    move(60, 100);
    EXPECT_EQ(r.lastIndex(), 1);
    EXPECT_EQ(r.boxLeft(), 372);
    EXPECT_EQ(c.count(CanvasOp::Restore), 1u);
    EXPECT_EQ(c.count(CanvasOp::Rectangle), 1u);
    EXPECT_EQ(r.crosshair().x + r.crosshair().y, 0); // the restore took it away
}

TEST_F(Tracking, MiddlePointPlacesTheBoxRightWithoutMovingIt)
{
    // Point 2 of 5 is the middle of four intervals: a new box goes right, and
    // a box already on either side stays where it is.
    const struct {
        const char* name;
        int before;  // x of an earlier move; 0: none
        int boxLeft; // after the move to the middle
    } cases[] = {{"no box yet", 0, 372}, {"box on the left", 450, 50}, {"box on the right", 60, 372}};
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        move(600, 100); // outside: the read-out is forgotten
        if (t.before)
            move(t.before, 100);
        move(200, 100);
        EXPECT_EQ(r.lastIndex(), 2);
        EXPECT_EQ(r.boxLeft(), t.boxLeft);
        EXPECT_EQ(c.count(CanvasOp::Restore), 0u);
        EXPECT_EQ(c.count(CanvasOp::Fill), 1u);
        EXPECT_EQ(r.crosshair().x, 200);
    }
}

TEST_F(Tracking, BoxListsDateAndValuesWithCaptionsCutToEightBytes)
{
    move(300, 100); // point 3
    ASSERT_EQ(r.lastIndex(), 3);
    const auto texts = c.of(CanvasOp::Text);
    ASSERT_EQ(texts.size(), 3u);
    const struct { std::string text; Colour colour; int y; } expected[] = {
        {gbk("时间：2026/12/04"), 0, 45},
        {gbk("005669：12.7"), 255, 60},
        {gbk("前海开源：-3.4"), 24768, 75},
    };
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(texts[i].text, expected[i].text);
        EXPECT_EQ(texts[i].textColour, expected[i].colour);
        EXPECT_EQ(std::make_pair(texts[i].x0, texts[i].y0), std::make_pair(r.boxLeft() + 5, expected[i].y));
    }
    // The legend beside the plot keeps its full text.
    EXPECT_EQ(r.hoverTable()[2][0], gbk("前海开源公用事业"));
}

TEST(GbkPrefix, NeverSplitsACharacter)
{
    const struct { std::string in; std::string out; } cases[] = {
        {"005669", "005669"},
        {"0123456789", "01234567"},
        {gbk("前海开源公用"), gbk("前海开源")},
        {"1234567" + gbk("前"), "1234567"},
        {"123456" + gbk("前海"), "123456" + gbk("前")},
        {"", ""},
    };
    for (const auto& t : cases)
        EXPECT_EQ(gbkPrefix(t.in, 8), t.out) << gbkToUtf8(t.in);

    // A text that fills its buffer, ending on half a character: nothing past
    // its end is read (the sanitized build checks that).
    const std::string front = "12" + gbk("前");
    const auto exact = std::make_unique<char[]>(3);
    std::copy_n(front.data(), 3, exact.get());
    EXPECT_EQ(gbkPrefix(std::string_view(exact.get(), 3), 8), front.substr(0, 3));
}

TEST(Tracking2, TwoPointsShowTheCrosshairButNoBox)
{
    RecordingCanvas c;
    ChartRenderer r;
    frame(r, c, "1|06||09|", "9|0|12", {"2026/08/06", "2026/08/09"});
    r.drawSeries({1, 2}, 3, 255, "005669");
    c.ops.clear();
    r.trackPointer(300, 100);
    EXPECT_EQ(r.crosshair().x, 300);
    EXPECT_EQ(c.count(CanvasOp::Line), 2u);
    EXPECT_EQ(c.count(CanvasOp::Fill), 0u);
    EXPECT_EQ(c.count(CanvasOp::Text), 0u);
    EXPECT_EQ(r.boxLeft(), 0);
}

TEST(Tracking2, FrameWithoutTitlesShowsNoBox)
{
    RecordingCanvas c;
    ChartRenderer r;
    frame(r, c, "2|06||09||10|", "9|0|12");
    r.drawSeries({1, 2, 3}, 3, 255, "005669");
    c.ops.clear();
    r.trackPointer(300, 100);
    EXPECT_EQ(r.lastIndex(), 2);
    EXPECT_EQ(c.count(CanvasOp::Fill), 0u);
}

// A chart, then a frame drawn without series (the comparison with no code
// left): the frame stays as drawn while the pointer moves over it and away.
TEST(Tracking2, FrameWithoutSeriesStaysUnderThePointer)
{
    RecordingCanvas c;
    ChartRenderer r;
    const TextList titles {"2026/12/02", "2026/12/03", "2026/12/04", "2026/12/07", "2026/12/08"};
    frame(r, c, "4|02||03||04||07||08|", "9|-4|13", titles);
    r.drawSeries({0, 1.25f, 12.7f, 5.5f, 3.1f}, 3, 255, "005669");
    r.trackPointer(450, 100);
    frame(r, c, "4|02||03||04||07||08|", "9|-4|13", titles);
    c.ops.clear();
    for (const auto& [x, y] : {std::pair {450, 100}, {60, 100}, {200, 120}, {600, 100}, {-1, -1}})
        r.trackPointer(x, y);
    EXPECT_TRUE(c.ops.empty());
    EXPECT_FALSE(r.hasChartCopy());
    EXPECT_EQ(r.boxLeft(), 0);

    // The next series brings the read-out back.
    r.drawSeries({0, 1.25f, 12.7f, 5.5f, 3.1f}, 3, 255, "005669");
    r.trackPointer(450, 100);
    EXPECT_EQ(r.boxLeft(), 50);
}

TEST(Tracking2, NothingBeforeTheFirstSeries)
{
    RecordingCanvas c;
    ChartRenderer r;
    r.trackPointer(300, 100);
    frame(r, c, "2|06||09||10|", "9|0|12", {"a", "b", "c"});
    c.ops.clear();
    r.trackPointer(300, 100);
    EXPECT_TRUE(c.ops.empty());
}

TEST(Series, MarkersAndValueLabels)
{
    RecordingCanvas c;
    ChartRenderer r;
    frame(r, c, "2|06||09||10|", "9|0|12", {"a", "b", "c"});
    c.ops.clear();
    r.drawSeries({0, 6, 12}, 1, 255, "", true, true);
    const auto ellipses = c.of(CanvasOp::Ellipse);
    ASSERT_EQ(ellipses.size(), 3u);
    EXPECT_EQ(std::vector<int>({ellipses[0].x0, ellipses[0].y0, ellipses[0].x1, ellipses[0].y1}),
              std::vector<int>({41, 288, 43, 293}));
    EXPECT_EQ(std::vector<int>({ellipses[1].x0, ellipses[1].y0, ellipses[1].x1, ellipses[1].y1}),
              std::vector<int>({272, 173, 277, 178}));
    const auto texts = c.of(CanvasOp::Text);
    ASSERT_EQ(texts.size(), 3u); // no legend text
    EXPECT_EQ(std::make_tuple(texts[0].text, texts[0].x0, texts[0].y0), std::make_tuple(std::string("0"), 45, 272));
    EXPECT_EQ(std::make_tuple(texts[2].text, texts[2].x0, texts[2].y0), std::make_tuple(std::string("12"), 502, 42));
    EXPECT_EQ(c.count(CanvasOp::Rectangle), 0u);
    EXPECT_EQ(r.hoverTable()[1], TextList({"", "255", "0", "6", "12"}));
}

TEST(Series, TenThousandPoints)
{
    std::string provider;
    for (int i = 0; i < 10000; ++i) {
        char point[96];
        std::snprintf(point, sizeof point, "%s{ \\\"date\\\": \\\"%04d/%02d/%02d\\\",\\\"005669\\\":%.2f,\\\"005939\\\":%.2f}",
                      i ? "," : "", 2000 + i / 365, 1 + i / 31 % 12, 1 + i % 28, (i % 200) * 0.5 - 30, -(i % 77) * 0.25);
        provider += point;
    }
    const Text answer = "jQuery18307015471687350752({\"Data\":\"{\\\"graph\\\":[],\\\"dataProvider\\\": [" + provider +
                        "]}\",\"ErrCode\":0,\"Success\":true,\"ErrMsg\":null})";
    const ComparisonData d = parseComparison(answer, "005669", "005939");
    ASSERT_EQ(d.pointCount(), 10000);
    EXPECT_EQ(d.yAxisText, "9|-30|70");

    RecordingCanvas c;
    ChartRenderer r;
    ASSERT_TRUE(drawComparison(r, c, d, "005669", "005939"));
    EXPECT_EQ(r.hoverTable().size(), 3u);
    EXPECT_EQ(r.hoverTable()[0].size(), 10002u);
    size_t segments = 0;
    for (const CanvasOp& op : c.of(CanvasOp::Line))
        segments += op.pen == 255 && op.penWidth == 3;
    EXPECT_EQ(segments, 9999u);

    c.ops.clear();
    r.trackPointer(508, 100);
    EXPECT_EQ(r.lastIndex(), 10000);
    ASSERT_EQ(c.count(CanvasOp::Text), 3u);
    EXPECT_EQ(c.of(CanvasOp::Text)[0].text, gbk("时间：") + d.dates.back());
    EXPECT_EQ(c.of(CanvasOp::Text)[1].text, gbk("005669：") + floatText(d.valuesA.back()));
}

} // namespace

// Texts are placed by the width the canvas measures, and moved by the fewest
// pixels that keep them inside the part of the panel the window shows. Plot
// rectangle of 608 x 320: x0 40, x1 508; legend and x caption at x1 + 25 = 533.
TEST(ChartFrame, TextsKeepInsideTheShownPartByTheirMeasuredWidth)
{
    struct Case {
        const char* what;
        int bytePixels; // 0: the chart's estimate of 6
        int shown;      // -1: the whole panel
        int legendX, captionX, lastXLabel, widestYLabel;
    };
    // x labels "2|12-01||12-02": 4 items, 2 grid lines per label, step 468 / 4 = 117;
    // "12-02" under x = 40 + 2 * 117 * 2 = 508, centred: 508 - width / 2.
    // y labels "-100" .. "100": "-100" right-aligned at 40 - width - 2.
    const Case cases[] = {
        {"estimate, whole panel", 0, -1, 533, 533, 508 - 15, 40 - 24 - 2},
        {"measured, whole panel", 8, -1, 533, 533, 508 - 20, 40 - 32 - 2},
        // 574 shown: "000001" of 48 ends at 574 from 526; "时间" (4 bytes, 32) fits at 533.
        {"measured, 574 shown", 8, 574, 526, 533, 508 - 20, 40 - 32 - 2},
        // 500 shown: the legend at 500 - 48, the caption at 500 - 32, "12-02" at 500 - 40.
        {"measured, 500 shown", 8, 500, 452, 468, 460, 6},
        // "-100" of 44 would start at -6: it starts at the panel's edge.
        {"wide font", 11, -1, 533, 533, 508 - 27, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingCanvas canvas;
        canvas.bytePixels = c.bytePixels;
        canvas.shown = c.shown;
        ChartRenderer renderer;
        renderer.drawChartFrame(canvas, "2|12-01||12-02", "4|-100|100", 0, 0, 0, 0, 2, 0, gbk("时间|收益率"), {});
        renderer.drawSeries({1, 2}, 3, 255, "000001");
        ASSERT_TRUE(canvas.findText("000001"));
        EXPECT_EQ(canvas.findText("000001")->x0, c.legendX);
        EXPECT_EQ(canvas.findText(gbk("时间"))->x0, c.captionX);
        EXPECT_EQ(canvas.findText("12-01")->x0, 39);
        EXPECT_EQ(canvas.findText("12-02")->x0, c.lastXLabel);
        EXPECT_EQ(canvas.findText("-100")->x0, c.widestYLabel);
    }
}

TEST(ChartFrame, XLabelsThatWouldRunIntoEachOtherAreThinned)
{
    // "2|2016|…|2020": five labels 117 apart (468 / 8 grid steps, two per label),
    // at x 40, 157, 274, 391, 508; the first starts at 39, the others centred.
    struct Case {
        const char* what;
        int bytePixels;
        std::vector<std::string> shown;
    };
    const Case cases[] = {
        // 32 wide: every label fits its 117.
        {"narrow", 8, {"2016", "2017", "2018", "2019", "2020"}},
        // 120 wide: 2016 ends at 159; 2017 would start at 97, 2018 starts at 214
        // and ends at 334; 2019 would start at 331; 2020 starts at 448.
        {"wider than the spacing", 30, {"2016", "2018", "2020"}},
        // 76 wide: 2016 ends at 115, 2017 starts at 157 - 38 = 119, four pixels on.
        {"a gap of four pixels", 19, {"2016", "2017", "2018", "2019", "2020"}},
        // 80 wide: 2016 ends at 119 and 2017 would start at 117; 2018 starts at
        // 234 and ends at 314, 2019 starts at 351, 2020 at 468.
        {"one label runs into the first", 20, {"2016", "2018", "2019", "2020"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingCanvas canvas;
        canvas.bytePixels = c.bytePixels;
        ChartRenderer renderer;
        renderer.drawChartFrame(canvas, "2|2016|2017|2018|2019|2020", "4|-100|100", 0, 0, 0, 0, 2, 0, gbk("时间|收益率"), {});
        std::vector<std::string> years;
        for (const std::string& t : canvas.texts())
            if (t.size() == 4 && t.rfind("20", 0) == 0)
                years.push_back(t);
        EXPECT_EQ(years, c.shown);
    }
}
