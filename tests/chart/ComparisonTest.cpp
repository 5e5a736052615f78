#include "chart/Comparison.h"
#include "text/CodePage.h"

#include "RecordingCanvas.h"
#include "../text/PeakMemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

using namespace fw;

namespace {

// A stored service answer (UTF-8 on disk) as the program holds it: GBK.
Text answer(const std::string& name)
{
    std::ifstream in(std::string(FW_CHART_DATA_DIR) + "/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_FALSE(s.str().empty()) << name;
    return utf8ToGbk(s.str());
}

// An answer in the service's layout, one member per code and point.
Text answerOf(const std::vector<std::pair<std::string, std::vector<std::string>>>& points,
              const std::vector<std::string>& codes)
{
    std::string provider;
    for (const auto& [date, values] : points) {
        provider += std::string(provider.empty() ? "" : ",") + "{ \\\"date\\\": \\\"" + date + "\\\"";
        for (size_t k = 0; k < codes.size(); ++k)
            provider += ",\\\"" + codes[k] + "\\\":" + values[k];
        provider += "}";
    }
    return "jQuery18307015471687350752({\"Data\":\"{\\\"graph\\\":[],\\\"dataProvider\\\": [" + provider +
           "]}\",\"ErrCode\":0,\"Success\":true,\"ErrMsg\":null})";
}

TEST(ComparisonRequest, PathRefererCodesAndPeriods)
{
    EXPECT_EQ(comparisonUrlPath("005669,005939", "threeyear"),
              "/FundCompare/LJSYL?bzdm=005669,005939&c=threeyear&callback=jQuery18307015471687350752&_=1628388758953");
    EXPECT_EQ(comparisonUrlPath("", "year"),
              "/FundCompare/LJSYL?bzdm=&c=year&callback=jQuery18307015471687350752&_=1628388758953");
    EXPECT_EQ(comparisonReferer("http://127.0.0.1:8080"), "Referer: http://127.0.0.1:8080/compare/?code=005669,005939");

    EXPECT_EQ(comparisonCodes("005669", "005939"), "005669,005939");
    EXPECT_EQ(comparisonCodes("005669", ""), "005669");
    EXPECT_EQ(comparisonCodes("", "005939"), "005939");
    EXPECT_EQ(comparisonCodes("", ""), "");

    const struct { int button; const char* code; const char* title; } periods[] = {
        {0, "", ""},
        {1, "week", "近1周收益率走势对比图"},
        {2, "month", "近1月收益率走势对比图"},
        {3, "threemonth", "近3月收益率走势对比图"},
        {4, "sixmonth", "近6月收益率走势对比图"},
        {5, "year", "近1年收益率走势对比图"},
        {6, "twoyear", "近2年收益率走势对比图"},
        {7, "threeyear", "近3年月收益率走势对比图"},
        {8, "", ""},
    };
    for (const auto& p : periods) {
        EXPECT_EQ(periodCode(p.button), p.code) << p.button;
        EXPECT_EQ(chartTitle(p.button), gbk(p.title)) << p.button;
    }
}

TEST(ComparisonParse, StoredAnswersGiveAxisTexts)
{
    const struct {
        const char* file;
        const char* a;
        const char* b;
        bool empty;
        int points;
        const char* xAxis;
        const char* yAxis;
    } cases[] = {
        // The range reaches outward to whole numbers around 12.7 and -3.4.
        {"two_funds.txt", "005669", "005939", false, 5, "4|02||03||04||07||08|", "9|-4|13"},
        {"one_fund.txt", "", "005939", false, 3, "2|06||09||10|", "9|0|2"},
        {"one_fund.txt", "005939", "", false, 3, "2|06||09||10|", "9|0|2"},
        // Values between -1 and 1 still give a range with extent.
        {"within_one.txt", "005669", "005939", false, 4, "3|02||03||04||07|", "9|-1|1"},
        {"one_point.txt", "005669", "005939", false, 1, "0|08|", "9|-1|1"},
        {"no_markers.txt", "005669", "005939", true, 0, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " A=" + c.a + " B=" + c.b);
        const ComparisonData d = parseComparison(answer(c.file), c.a, c.b);
        EXPECT_EQ(d.sectionEmpty, c.empty);
        EXPECT_EQ(d.pointCount(), c.points);
        EXPECT_EQ(d.enoughPoints, c.points >= 2);
        EXPECT_EQ(d.xAxisText, c.xAxis);
        EXPECT_EQ(d.yAxisText, c.yAxis);
        EXPECT_EQ(d.valuesA.size(), *c.a ? size_t(c.points) : 0u);
        EXPECT_EQ(d.valuesB.size(), *c.b ? size_t(c.points) : 0u);
        if (!c.empty) {
            EXPECT_LT(d.minimum, d.maximum);
        }
    }
}

TEST(ComparisonParse, ValuesDatesAndLabelsPerPoint)
{
    const ComparisonData d = parseComparison(answer("two_funds.txt"), "005669", "005939");
    ASSERT_EQ(d.pointCount(), 5);
    EXPECT_EQ(d.dates[1], "2026/12/03");
    EXPECT_EQ(d.labels[1], "03");
    EXPECT_FLOAT_EQ(d.valuesA[1], 1.25f);
    EXPECT_FLOAT_EQ(d.valuesB[1], -0.75f);
    EXPECT_FLOAT_EQ(d.valuesA[2], 12.7f);
    EXPECT_FLOAT_EQ(d.valuesB[4], 2.0f);

    // With only one code its value runs up to the closing brace.
    const ComparisonData one = parseComparison(answer("one_fund.txt"), "", "005939");
    EXPECT_FLOAT_EQ(one.valuesB[2], 0.85f);
}

TEST(ComparisonParse, OddPointsStillCount)
{
    // A date without "/" gives an empty label; a code missing from the answer reads 0.
    const ComparisonData d = parseComparison(
        answerOf({{"20261202", {"1.50", "2.50"}}, {"2026/12/03", {"3.50", "-2.00"}}}, {"005669", "005939"}), "005669",
        "000001");
    ASSERT_EQ(d.pointCount(), 2);
    EXPECT_TRUE(d.enoughPoints);
    EXPECT_EQ(d.labels[0], "");
    EXPECT_EQ(d.xAxisText, "1|||03|");
    EXPECT_FLOAT_EQ(d.valuesA[1], 3.5f);
    EXPECT_FLOAT_EQ(d.valuesB[0], 0.0f);
    EXPECT_EQ(d.yAxisText, "9|0|4");

    // The same whole number everywhere: one either side.
    const ComparisonData flat =
        parseComparison(answerOf({{"2026/12/02", {"2.00"}}, {"2026/12/03", {"2"}}}, {"005669"}), "005669", "");
    EXPECT_EQ(flat.yAxisText, "9|1|3");
    // Figures beyond the whole-number range saturate; the range reaches inward
    // from the end it sits at instead of overflowing.
    EXPECT_EQ(parseComparison(answerOf({{"2026/12/02", {"1e30"}}, {"2026/12/03", {"3e30"}}}, {"005669"}), "005669", "")
                  .yAxisText,
              "9|9223372036854775805|9223372036854775807");
    EXPECT_EQ(parseComparison(answerOf({{"2026/12/02", {"-1e30"}}}, {"005669"}), "005669", "").yAxisText,
              "9|-9223372036854775808|-9223372036854775806");

    // An empty point list is an answer without data; a list the pattern does not
    // take holds no point.
    EXPECT_TRUE(parseComparison(answerOf({}, {"005669"}), "005669", "").sectionEmpty);
    const ComparisonData none =
        parseComparison("\\\"dataProvider\\\": [{\\\"date\\\":\\\"2026/12/02\\\"}]}\",\"ErrCode\"", "005669", "");
    EXPECT_FALSE(none.sectionEmpty);
    EXPECT_EQ(none.pointCount(), 0);
    EXPECT_FALSE(none.enoughPoints);
    EXPECT_EQ(none.yAxisText, "9|-1|1");
}

// An answer is read up to its 10,000th point; one more says points were
// left out. Point i (from 0) holds i % 7, except the 10,001st, which holds 500:
// read, it would widen the range to 500.
TEST(ComparisonParse, AtMostTenThousandPointsAreRead)
{
    const struct {
        int points;
        int read;
        bool leftOut;
        const char* lastLabel; // of the last point read: day 1 + (read - 1) % 28
    } cases[] = {
        {9999, 9999, false, "03"},   // 9998 % 28 = 2
        {10000, 10000, false, "04"}, // 9999 % 28 = 3
        {10001, 10000, true, "04"},
        {60000, 10000, true, "04"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.points);
        std::vector<std::pair<std::string, std::vector<std::string>>> points;
        for (int i = 0; i < c.points; ++i) {
            char date[16];
            std::snprintf(date, sizeof date, "2020/01/%02d", 1 + i % 28);
            points.push_back({date, {i == 10000 ? "500" : std::to_string(i % 7)}});
        }
        const ComparisonData d = parseComparison(answerOf(points, {"005669"}), "005669", "");
        EXPECT_EQ(d.pointCount(), c.read);
        EXPECT_EQ(d.valuesA.size(), size_t(c.read));
        EXPECT_EQ(d.pointsLeftOut, c.leftOut);
        EXPECT_EQ(d.yAxisText, "9|0|6");
        EXPECT_EQ(d.xAxisText.substr(0, d.xAxisText.find('|')), std::to_string(c.read - 1));
        EXPECT_EQ(d.xAxisText.substr(d.xAxisText.size() - 4), "|" + std::string(c.lastLabel) + "|");
        EXPECT_EQ(std::count(d.xAxisText.begin(), d.xAxisText.end(), '|'), 2 * c.read);
    }
    EXPECT_EQ(pointsLeftOutText(), gbk("（数据点过多，仅显示前10000个）"));
}

// A 64 MiB answer of tiny points (about three million) is read up to its
// bound, with memory for a few copies of the answer, not for millions of
// points. (The time it takes is shown, not checked: it varies with the load.)
TEST(ComparisonParse, HugeAnswerOfTinyPointsStaysBounded)
{
    if (fw::testing::kSanitizedBuild)
        GTEST_SKIP() << "the sanitizers' shadow memory and quarantine distort resident sizes";
    const std::string point = "{ \\\"date\\\": \\\"1/2\\\",\\\"005669\\\":1},";
    std::string answer = "jQuery18307015471687350752({\"Data\":\"{\\\"graph\\\":[],\\\"dataProvider\\\": [";
    answer.reserve(64 * fw::testing::kMiB + 256);
    while (answer.size() < size_t(64 * fw::testing::kMiB))
        answer += point;
    answer.pop_back();
    answer += "]}\",\"ErrCode\":0,\"Success\":true,\"ErrMsg\":null})";
    const fw::testing::PeakUse use = fw::testing::measurePeak([&answer] {
        const ComparisonData d = parseComparison(answer, "005669", "");
        if (d.pointCount() != kMaxComparisonPoints || !d.pointsLeftOut || d.yAxisText != "9|0|2")
            std::abort();
    });
    ASSERT_TRUE(use.ran);
    std::printf("reading a 64 MiB comparison answer: peak +%lld MiB, %.2f s\n", use.bytes / fw::testing::kMiB, use.seconds);
    // Unbounded, all of them took about 6 s and 15 times the answer's size.
    EXPECT_LT(use.bytes, 6 * (long long)answer.size());
}

TEST(ComparisonDraw, TwoFundsFillTheHoverTable)
{
    RecordingCanvas canvas;
    ChartRenderer renderer;
    const ComparisonData d = parseComparison(answer("two_funds.txt"), "005669", "005939");
    ASSERT_TRUE(drawComparison(renderer, canvas, d, "005669", "005939"));

    const std::vector<TextList> expected = {
        {gbk("时间"), "0", "2026/12/02", "2026/12/03", "2026/12/04", "2026/12/07", "2026/12/08"},
        {"005669", "255", "0", "1.25", "12.7", "5.5", "3.1"},
        {"005939", "24768", "0", "-0.75", "-3.4", "-1.2", "2"},
    };
    EXPECT_EQ(renderer.hoverTable(), expected);
    EXPECT_EQ(renderer.rowsInUse(), 3);

    // Each line is four segments in its colour and width, every point inside the grid.
    for (Colour colour : {Colour(255), Colour(24768)}) {
        int segments = 0;
        for (const CanvasOp& op : canvas.of(CanvasOp::Line)) {
            if (op.pen != colour)
                continue;
            ++segments;
            EXPECT_EQ(op.penWidth, 3);
            for (int y : {op.y0, op.y1}) {
                EXPECT_GE(y, 60);
                EXPECT_LE(y, 290);
            }
        }
        EXPECT_EQ(segments, 4) << colour;
    }
    // Legends one row apart at the right of the plot.
    const auto rects = canvas.of(CanvasOp::Rectangle);
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_EQ(std::vector<int>({rects[0].x0, rects[0].y0, rects[0].x1, rects[0].y1}), std::vector<int>({518, 60, 528, 63}));
    EXPECT_EQ(std::vector<int>({rects[1].x0, rects[1].y0, rects[1].x1, rects[1].y1}), std::vector<int>({518, 78, 528, 81}));
    ASSERT_NE(canvas.findText("005939"), nullptr);
    EXPECT_EQ(canvas.findText("005939")->x0, 533);
    EXPECT_EQ(canvas.findText("005939")->y0, 72);
    EXPECT_EQ(canvas.findText("005939")->textColour, 24768u);
}

TEST(ComparisonDraw, NoSectionDrawsNothing)
{
    RecordingCanvas canvas;
    ChartRenderer renderer;
    EXPECT_FALSE(drawComparison(renderer, canvas, parseComparison(answer("no_markers.txt"), "005669", ""), "005669", ""));
    EXPECT_TRUE(canvas.ops.empty());
}

TEST(ComparisonDraw, OnlyTheBaseFundDrawsOneLine)
{
    RecordingCanvas canvas;
    ChartRenderer renderer;
    ASSERT_TRUE(drawComparison(renderer, canvas, parseComparison(answer("one_fund.txt"), "", "005939"), "", "005939"));
    EXPECT_EQ(renderer.rowsInUse(), 2);
    EXPECT_EQ(renderer.hoverTable()[1][0], "005939");
    EXPECT_EQ(renderer.hoverTable()[1][1], "24768");
    EXPECT_EQ(canvas.count(CanvasOp::Snapshot), 1u);
}

} // namespace
