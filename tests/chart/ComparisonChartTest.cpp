// The comparison set and its chart against the sample service: what a pick
// draws, the base fund set aside and dropped, the period buttons and their
// titles, failed answers, and the pointer read-out on the panel.
#include "chart/ComparisonChart.h"
#include "net/EventPump.h"
#include "tests/chart/RecordingCanvas.h"
#include "tests/funds/DetailsTestSupport.h"

namespace fw::testing {
namespace {

const std::string kCallbackTail = "&callback=jQuery18307015471687350752&_=1628388758953";

class ComparisonChartTest : public SampleSuite {
protected:
    void SetUp() override
    {
        SampleSuite::SetUp();
        chart.setCanvas(&canvas);
    }
    void TearDown() override { details.waitForHoldingsWorkers(); }

    // Fund-grid row `row` shows `fund` (name, code) with coloured figures.
    void showFund(int row, const sample::Fund& fund)
    {
        Grid& grid = w.models.fundGrid;
        TextList cells {gbk(fund.name), fund.code, gbk("混合型"), "2026-12-04"};
        for (int c = 4; c < 17; ++c)
            cells.push_back(std::to_string(c) + ".00%");
        grid.setRow(row, 0, cells);
        for (int c = 0; c < 17; ++c)
            grid.setCellColour(row, c, Colour(0x100 + c));
    }
    // A click on that row, the holdings worker waited for.
    void pick(int row)
    {
        w.models.fundGrid.setCursorRow(row);
        details.fundGridCellPicked();
        details.waitForHoldingsWorkers();
    }
    static std::vector<std::string> seriesRequests() { return requestsFor("/FundCompare/LJSYL"); }
    static std::string seriesTarget(const std::string& codes, const std::string& period)
    {
        return "/FundCompare/LJSYL?bzdm=" + codes + "&c=" + period + kCallbackTail;
    }
    // The lines drawn in `colour` (the series) since op `from`.
    size_t linesIn(Colour colour, size_t from = 0) const
    {
        size_t n = 0;
        for (size_t i = from; i < canvas.ops.size(); ++i)
            n += canvas.ops[i].kind == CanvasOp::Line && canvas.ops[i].pen == colour && canvas.ops[i].penWidth == 3;
        return n;
    }
    // A fund over a year old with all ten holdings.
    static const sample::Fund& stockFund(int skip = 0)
    {
        return fundWhere([skip](const sample::Fund& f) mutable {
            return market().holdingQuarters(f) > 0 && market().holdings(f, 0).size() >= 10 && f.ageDays > 400 &&
                   skip-- == 0;
        });
    }
    Text caption(Control control) const { return w.models.view.caption(control); }
    // Rows 1-10, columns 0-2 of a holdings grid.
    static std::vector<TextList> holdingRows(const Grid& grid)
    {
        std::vector<TextList> rows;
        for (int r = 1; r <= 10; ++r)
            rows.push_back({grid.cell(r, 0), grid.cell(r, 1), grid.cell(r, 2)});
        return rows;
    }

    Window w;
    FundDetails details {w.context};
    ComparisonChart chart {w.context, details};
    RecordingCanvas canvas;
};

TEST_F(ComparisonChartTest, PickDrawsTheFundsYearWithTheReferer)
{
    const sample::Fund& fund = stockFund();
    showFund(1, fund);
    pick(1);

    const auto requests = s_service->requests();
    const auto series = std::find_if(requests.begin(), requests.end(), [](const sample::LoggedRequest& r) {
        return r.target.rfind("/FundCompare/LJSYL", 0) == 0;
    });
    ASSERT_NE(series, requests.end());
    EXPECT_EQ(series->target, seriesTarget(fund.code, "year"));
    std::string referer;
    for (const auto& [name, value] : series->headers)
        if (name == "Referer")
            referer = value;
    EXPECT_EQ(referer, s_service->baseUrl() + "/compare/?code=005669,005939");
    EXPECT_EQ(chart.comparisonCodes, fund.code);

    // A year of points in the first fund's red, its code in the legend.
    ASSERT_GE(canvas.count(CanvasOp::Clear), 1u);
    EXPECT_GT(chart.lastData().pointCount(), 200);
    EXPECT_EQ(linesIn(255), size_t(chart.lastData().pointCount() - 1));
    EXPECT_NE(canvas.findText(fund.code), nullptr);
    EXPECT_EQ(canvas.ops.back().kind, CanvasOp::Flush); // the panel shows it
    EXPECT_EQ(caption(Control::ChartTitle), "");       // a pick leaves the title alone
    EXPECT_TRUE(w.models.view.messages().empty());
}

TEST_F(ComparisonChartTest, NothingIsAskedWithoutAFund)
{
    pick(1); // an empty row: no code
    chart.refreshComparison();
    EXPECT_TRUE(seriesRequests().empty());
    EXPECT_TRUE(canvas.ops.empty());
}

TEST_F(ComparisonChartTest, BaseSetAsideIsDrawnBesideTheNextPickUntilDropped)
{
    const sample::Fund& base = stockFund(0);
    const sample::Fund& next = stockFund(1);
    showFund(1, base);
    showFund(2, next);
    pick(1);
    std::vector<TextList> holdings;
    for (int r = 1; r <= 10; ++r)
        holdings.push_back({w.models.holdingsGrid.cell(r, 0), w.models.holdingsGrid.cell(r, 1),
                            w.models.holdingsGrid.cell(r, 2)});
    ASSERT_FALSE(holdings.back()[2].empty());
    const Text holdingName = holdings.front()[0];
    ASSERT_NE(caption(Control::HoldingsEstimate), "");
    const size_t opsBefore = canvas.ops.size();

    chart.addComparisonBase();
    EXPECT_EQ(chart.comparisonBaseCode, base.code);
    EXPECT_EQ(details.currentFundCode, "");
    const Grid& compare = w.models.compareGrid;
    for (int c = 0; c < 17; ++c) {
        EXPECT_EQ(compare.cell(1, c), w.models.fundGrid.cell(1, c)) << c;
        EXPECT_EQ(compare.cellColour(1, c), c >= 3 && c <= 14 ? Colour(0x100 + c) : kDefaultColour) << c;
    }
    for (int r = 1; r <= 10; ++r) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(w.models.baseHoldingsGrid.cell(r, c), holdings[size_t(r - 1)][size_t(c)]) << r << "," << c;
            EXPECT_EQ(w.models.holdingsGrid.cell(r, c), "") << r << "," << c;
        }
    }
    EXPECT_EQ(caption(Control::BaseHoldingsCaption), gbk(base.name));
    EXPECT_EQ(caption(Control::HoldingsCaption), "");
    EXPECT_EQ(caption(Control::HoldingsEstimate), ""); // the estimate goes with the holdings
    EXPECT_EQ(canvas.ops.size(), opsBefore); // nothing redrawn yet
    EXPECT_EQ(seriesRequests().size(), 1u);

    // The next pick draws both, the base in its own colour; a period button
    // asks for the same pair.
    const size_t from = canvas.ops.size();
    pick(2);
    EXPECT_EQ(seriesRequests().back(), seriesTarget(next.code + "," + base.code, "year"));
    EXPECT_GT(linesIn(255, from), 100u);
    EXPECT_GT(linesIn(24768, from), 100u);
    EXPECT_NE(canvas.findText(base.code), nullptr);
    EXPECT_EQ(compare.cell(2, 1), next.code); // the pick's row below the base
    chart.periodClicked(1);
    EXPECT_EQ(seriesRequests().back(), seriesTarget(next.code + "," + base.code, "week"));

    // 删除对比: the base goes, its row and holdings stay; the next pick is alone.
    w.models.compareGrid.setCursorRow(1);
    chart.removeComparisonBase();
    EXPECT_EQ(chart.comparisonBaseCode, "");
    EXPECT_EQ(compare.cell(1, 1), base.code);
    EXPECT_EQ(w.models.baseHoldingsGrid.cell(1, 0), holdingName);
    pick(2);
    EXPECT_EQ(seriesRequests().back(), seriesTarget(next.code, "year"));
    EXPECT_TRUE(w.models.view.messages().empty());
}

TEST_F(ComparisonChartTest, BaseAloneIsDrawnUnderItsOwnCodeByThePeriodButtons)
{
    const sample::Fund& base = stockFund();
    showFund(1, base);
    pick(1);
    chart.addComparisonBase();
    const size_t from = canvas.ops.size();
    chart.periodClicked(2);
    EXPECT_EQ(seriesRequests().back(), seriesTarget(base.code, "month"));
    EXPECT_EQ(linesIn(255, from), 0u);
    EXPECT_GT(linesIn(24768, from), 10u);
}

TEST_F(ComparisonChartTest, CursorMovedToAnotherFundTakesNoOtherFundsHoldings)
{
    const sample::Fund& picked = stockFund(0);
    showFund(1, picked);
    showFund(2, stockFund(1));
    pick(1);
    const std::vector<TextList> pickedRows = holdingRows(w.models.holdingsGrid);
    ASSERT_FALSE(pickedRows.front()[0].empty());
    w.models.fundGrid.setCursorRow(2); // moved by the keyboard: no pick
    chart.addComparisonBase();
    EXPECT_EQ(chart.comparisonBaseCode, stockFund(1).code);
    EXPECT_EQ(holdingRows(w.models.baseHoldingsGrid), std::vector<TextList>(10, TextList(3)));
    // The base's own holdings follow from their own load.
    details.waitForHoldingsWorkers();
    const std::vector<TextList> baseRows = holdingRows(w.models.baseHoldingsGrid);
    EXPECT_NE(baseRows, pickedRows);
    pick(2);
    EXPECT_EQ(holdingRows(w.models.holdingsGrid), baseRows);
}

// 加入对比 while the picked fund's holdings are still on their way: the
// holdings grid still shows the fund picked before, which must not become
// the base's; the base's holdings come from their own load.
TEST_F(ComparisonChartTest, BaseChosenWhileItsHoldingsLoadGetsItsOwn)
{
    const sample::Fund& before = stockFund(0);
    const sample::Fund& base = stockFund(1);
    const struct {
        const char* name;
        sample::Fault::Kind kind;
        int times;
    } faults[] = {{"slow answer", sample::Fault::Latency, 0}, {"stalled answer", sample::Fault::Stall, 1}};
    for (const auto& f : faults) {
        SCOPED_TRACE(f.name);
        s_service->clearFaults();
        showFund(1, before);
        showFund(2, base);
        pick(1);
        const std::vector<TextList> beforeRows = holdingRows(w.models.holdingsGrid);
        ASSERT_FALSE(beforeRows.front()[2].empty());

        s_service->addFault({f.kind, "code=" + base.code + "&topline", 800, f.times});
        w.models.fundGrid.setCursorRow(2);
        details.fundGridCellPicked(); // its holdings worker is still waiting
        ASSERT_EQ(details.currentFundCode, base.code);
        chart.addComparisonBase();
        EXPECT_EQ(chart.comparisonBaseCode, base.code);
        EXPECT_EQ(holdingRows(w.models.baseHoldingsGrid), std::vector<TextList>(10, TextList(3)));
        EXPECT_EQ(caption(Control::BaseHoldingsCaption), gbk(base.name));

        details.waitForHoldingsWorkers();
        const std::vector<TextList> baseRows = holdingRows(w.models.baseHoldingsGrid);
        EXPECT_NE(baseRows, beforeRows);
        EXPECT_FALSE(baseRows.front()[2].empty());
        // The superseded worker of the pick wrote nothing.
        EXPECT_EQ(holdingRows(w.models.holdingsGrid), std::vector<TextList>(10, TextList(3)));
        EXPECT_EQ(caption(Control::HoldingsCaption), "");
        EXPECT_EQ(caption(Control::BaseHoldingsCaption), gbk(base.name));

        // The same rows as the base's own pick shows.
        s_service->clearFaults();
        pick(2);
        EXPECT_EQ(holdingRows(w.models.holdingsGrid), baseRows);
    }
}

TEST_F(ComparisonChartTest, PeriodButtonsAskTheirPeriodAndWriteTheirTitles)
{
    const sample::Fund& fund = stockFund();
    showFund(1, fund);
    pick(1);
    const struct { int button; const char* period; const char* title; } buttons[] = {
        {1, "week", "近1周收益率走势对比图"},      {2, "month", "近1月收益率走势对比图"},
        {3, "threemonth", "近3月收益率走势对比图"}, {4, "sixmonth", "近6月收益率走势对比图"},
        {5, "year", "近1年收益率走势对比图"},      {6, "twoyear", "近2年收益率走势对比图"},
        {7, "threeyear", "近3年月收益率走势对比图"},
    };
    for (const auto& b : buttons) {
        const size_t from = canvas.ops.size();
        chart.periodClicked(b.button);
        EXPECT_EQ(seriesRequests().back(), seriesTarget(fund.code, b.period));
        EXPECT_EQ(caption(Control::ChartTitle), gbk(b.title)) << b.button;
        EXPECT_EQ(linesIn(255, from), size_t(chart.lastData().pointCount() - 1)) << b.button;
    }
    const size_t asked = seriesRequests().size();
    chart.periodClicked(8);
    EXPECT_EQ(seriesRequests().size(), asked);
}

TEST_F(ComparisonChartTest, FailedAnswerShowsTheMessageAndKeepsTheChart)
{
    const sample::Fund& fund = stockFund();
    showFund(1, fund);
    pick(1);
    const size_t drawn = canvas.ops.size();
    const int points = chart.lastData().pointCount();

    const struct { const char* name; sample::Fault fault; } faults[] = {
        {"server error", {sample::Fault::HttpError, "/FundCompare/LJSYL", 500}},
        {"no answer", {sample::Fault::Drop, "/FundCompare/LJSYL", 0}},
        {"empty body", {sample::Fault::Truncate, "/FundCompare/LJSYL", 0}},
        {"garbage", {sample::Fault::Garbage, "/FundCompare/LJSYL", 512}},
    };
    int expectedMessages = 0;
    for (const auto& f : faults) {
        s_service->clearFaults();
        s_service->addFault(f.fault);
        w.models.view.setCaption(Control::ChartTitle, "");
        chart.periodClicked(7);
        EXPECT_EQ(int(w.models.view.messages().size()), ++expectedMessages) << f.name;
        EXPECT_EQ(w.models.view.messages().back(), gbk("坐标数据获取失败")) << f.name;
        EXPECT_EQ(canvas.ops.size(), drawn) << f.name;
        EXPECT_EQ(caption(Control::ChartTitle), gbk("近3年月收益率走势对比图")) << f.name;
        EXPECT_EQ(chart.lastData().pointCount(), points) << f.name;
    }

    // The service's own refusal (no such fund) carries no data section either.
    s_service->clearFaults();
    sample::Fund unknown {};
    unknown.code = "999999";
    unknown.name = "无此基金";
    showFund(1, unknown);
    pick(1);
    EXPECT_EQ(w.models.view.messages().back(), gbk("坐标数据获取失败"));
    EXPECT_EQ(canvas.ops.size(), drawn);
}

TEST_F(ComparisonChartTest, MenusWithoutAUsableRowChangeNothing)
{
    const sample::Fund& fund = stockFund();
    chart.addComparisonBase(); // empty grid, no cursor row
    showFund(1, fund);
    w.models.fundGrid.setCursorRow(3); // a row without a fund
    chart.addComparisonBase();
    EXPECT_EQ(chart.comparisonBaseCode, "");
    EXPECT_EQ(w.models.compareGrid.cell(1, 1), "");

    w.models.fundGrid.setCursorRow(1);
    chart.addComparisonBase();
    ASSERT_EQ(chart.comparisonBaseCode, fund.code);
    chart.removeComparisonBase(); // no cursor row in the comparison grid
    w.models.compareGrid.setCursorRow(2); // its empty second row
    chart.removeComparisonBase();
    EXPECT_EQ(chart.comparisonBaseCode, fund.code);

    const std::vector<Text> expected {gbk("请选择要加入的对象"), gbk("请选择要加入的对象"), gbk("请选择要删除的对象"),
                                      gbk("请选择要删除的对象")};
    EXPECT_EQ(w.models.view.messages(), expected);
}

TEST_F(ComparisonChartTest, PointerMovesShowTheReadOutAndTheCleanChartAgain)
{
    chart.pointerMoved(300, 100); // nothing drawn yet
    EXPECT_TRUE(canvas.ops.empty());

    showFund(1, stockFund());
    pick(1);
    const PlotRect r = chart.renderer().plotRect();
    const int y = (r.y0 + r.y1) / 2;
    size_t from = canvas.ops.size();
    chart.pointerMoved(r.x0 + 50, y);
    EXPECT_GT(canvas.count(CanvasOp::Fill), 0u); // the box
    EXPECT_EQ(canvas.ops.back().kind, CanvasOp::Flush);

    // Within the same point only the crosshair moves, and is shown.
    from = canvas.ops.size();
    chart.pointerMoved(r.x0 + 50, y + 3);
    ASSERT_GT(canvas.ops.size(), from);
    EXPECT_EQ(canvas.ops.back().kind, CanvasOp::Flush);

    // Leaving restores the chart copy and shows it; further moves outside draw nothing.
    from = canvas.ops.size();
    chart.pointerMoved(r.x1 + 21, y);
    ASSERT_EQ(canvas.ops.size(), from + 2);
    EXPECT_EQ(canvas.ops[from].kind, CanvasOp::Restore);
    EXPECT_EQ(canvas.ops[from + 1].kind, CanvasOp::Flush);
    const size_t flushes = canvas.count(CanvasOp::Flush);
    chart.pointerMoved(r.x1 + 30, y);
    EXPECT_EQ(canvas.count(CanvasOp::Flush), flushes);

    // A panel handed over (the window going) is not drawn on through the old chart.
    RecordingCanvas other;
    chart.setCanvas(&other);
    const size_t oldOps = canvas.ops.size();
    chart.pointerMoved(r.x0 + 50, y);
    EXPECT_EQ(canvas.ops.size(), oldOps);
    EXPECT_TRUE(other.ops.empty());
    chart.setCanvas(nullptr);
    chart.periodClicked(1); // read, not drawn
    EXPECT_EQ(canvas.ops.size(), oldOps);
    EXPECT_EQ(chart.lastData().pointCount(), 6);
}

TEST_F(ComparisonChartTest, NewerFetchDuringADownloadOwnsChartAndTitle)
{
    showFund(1, stockFund());
    pick(1);
    // The three-year answer is slow; the window meanwhile runs a click on 近1周.
    s_service->addFault({sample::Fault::Latency, "c=threeyear", 150});
    bool clicked = false;
    installEventPump([&] {
        if (!clicked) {
            clicked = true;
            chart.periodClicked(1);
        }
    });
    const size_t from = canvas.ops.size();
    chart.periodClicked(7);
    uninstallEventPump();
    ASSERT_TRUE(clicked);
    EXPECT_EQ(caption(Control::ChartTitle), gbk("近1周收益率走势对比图"));
    EXPECT_EQ(canvas.count(CanvasOp::Clear), 2u); // the pick's chart and the week's
    EXPECT_EQ(linesIn(255, from), 5u);            // six points of a week
    EXPECT_EQ(chart.lastData().pointCount(), 6);
    EXPECT_TRUE(w.models.view.messages().empty());
}

// An answer of more points than the chart takes: the first 10,000 are drawn
// and the title says so; the next answer that fits takes the note away again.
TEST_F(ComparisonChartTest, TitleSaysWhenPointsWereLeftOut)
{
    // 005669's answers: a year of 10,001 points, three years of exactly 10,000, a week of 6.
    auto answerOf = [](int points) {
        std::string provider;
        for (int i = 0; i < points; ++i)
            provider += std::string(i ? "," : "") + "{ \\\"date\\\": \\\"2020/01/" + std::to_string(10 + i % 20) +
                        "\\\",\\\"005669\\\":" + std::to_string(i % 5) + "}";
        return "jQuery18307015471687350752({\"Data\":\"{\\\"graph\\\":[],\\\"dataProvider\\\": [" + provider +
               "]}\",\"ErrCode\":0,\"Success\":true,\"ErrMsg\":null})";
    };
    StoredService stored;
    stored.route("/FundCompare/LJSYL?bzdm=005669&c=year&", answerOf(10001));
    stored.route("/FundCompare/LJSYL?bzdm=005669&c=threeyear&", answerOf(10000));
    stored.route("/FundCompare/LJSYL?bzdm=005669&c=week&", answerOf(6));
    setServiceHosts(ServiceHosts::allAt(stored.baseUrl()));
    details.currentFundCode = "005669";

    const Text note = gbk("（数据点过多，仅显示前10000个）");
    const struct {
        const char* step;
        int button; // 0: a pick's redraw (the year)
        int points;
        Text title;
    } steps[] = {
        {"pick", 0, 10000, note},
        {"three years", 7, 10000, gbk("近3年月收益率走势对比图")},
        {"pick after three years", 0, 10000, gbk("近3年月收益率走势对比图") + note},
        {"pick again", 0, 10000, gbk("近3年月收益率走势对比图") + note},
        {"week", 1, 6, gbk("近1周收益率走势对比图")},
        {"pick after the week", 0, 10000, gbk("近1周收益率走势对比图") + note},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        const size_t from = canvas.ops.size();
        if (s.button)
            chart.periodClicked(s.button);
        else
            chart.refreshComparison();
        EXPECT_EQ(chart.lastData().pointCount(), s.points);
        EXPECT_EQ(linesIn(255, from), size_t(s.points - 1));
        EXPECT_EQ(chart.renderer().hoverTable().front().size(), size_t(s.points + 2));
        EXPECT_EQ(caption(Control::ChartTitle), s.title);
    }
    EXPECT_TRUE(w.models.view.messages().empty());
}

// A base set aside while the picked fund's answer is on its way: the answer
// holds the picked fund alone and is drawn as such, not as a base reading 0.
TEST_F(ComparisonChartTest, AnswerIsReadWithTheCodesOfItsRequest)
{
    const sample::Fund& picked = stockFund(0);
    const sample::Fund& other = stockFund(1);
    showFund(1, picked);
    showFund(2, other);
    s_service->addFault({sample::Fault::Latency, "/FundCompare/LJSYL", 300});
    bool added = false;
    installEventPump([&] {
        if (!added && !seriesRequests().empty()) {
            added = true;
            w.models.fundGrid.setCursorRow(2);
            chart.addComparisonBase();
        }
    });
    w.models.fundGrid.setCursorRow(1);
    details.fundGridCellPicked();
    uninstallEventPump();
    details.waitForHoldingsWorkers();
    ASSERT_TRUE(added);
    ASSERT_EQ(seriesRequests().back(), seriesTarget(picked.code, "year"));
    EXPECT_EQ(chart.comparisonBaseCode, other.code);

    const ComparisonData& d = chart.lastData();
    ASSERT_GT(d.pointCount(), 200);
    EXPECT_EQ(d.valuesA.size(), size_t(d.pointCount()));
    EXPECT_TRUE(d.valuesB.empty());
    EXPECT_NE(std::count(d.valuesA.begin(), d.valuesA.end(), 0.0f), d.pointCount());
    EXPECT_EQ(linesIn(255), size_t(d.pointCount() - 1));
    EXPECT_EQ(linesIn(24768), 0u);
    EXPECT_NE(canvas.findText(picked.code), nullptr);
    EXPECT_EQ(canvas.findText(other.code), nullptr);
}

} // namespace
} // namespace fw::testing
