// The fund page summary (cuts, colours, the row it writes) and the refresh of
// a picked fund: profile figures, the comparison row, holdings, the chart hook.
#include "funds/FundDetails.h"
#include "funds/FundPageSummary.h"
#include "funds/FundProfileFetch.h"
#include "net/EventPump.h"
#include "sample/Format.h"
#include "tests/funds/DetailsTestSupport.h"

namespace fw::testing {
namespace {

using Periods = std::array<const char*, 8>;

struct SummaryCase {
    const char* file;
    const char* type;
    const char* date;
    const char* dailyChange;
    Periods periods;
};

TEST(PageSummaryCut, EachFigureComesFromItsOwnPlace)
{
    const SummaryCase cases[] = {
        {"fund_colours.html", "混合型-偏股", "2026-12-04", "-0.50%",
         {"1.23%", "65.20%", "50.00%", "0.00%", "-0.52%", "12.00%", "", "50.01%"}},
        // A young fund: the first period has no colour class, the daily change neither.
        {"fund_new.html", "混合型-偏股", "2026-12-04", "0.00%", {"--", "1.05%", "--", "--", "1.05%", "--", "--", "--"}},
    };
    for (const SummaryCase& c : cases) {
        const FundPageSummary s = FundPageSummary::cut(storedPage(c.file));
        EXPECT_EQ(gbkToUtf8(s.type), c.type) << c.file;
        EXPECT_EQ(s.date, c.date) << c.file;
        EXPECT_EQ(s.unitValue, "1.2345") << c.file;
        EXPECT_EQ(s.dailyChange, c.dailyChange) << c.file;
        for (size_t n = 0; n < 8; ++n)
            EXPECT_EQ(s.periods[n], c.periods[n]) << c.file << " period " << n;
    }
}

TEST(PageSummaryCut, PageWithoutMarkersGivesEmptyPieces)
{
    for (const Text& page : {Text(), gbk("<html><body>基金类型：未知</body></html>"), Text(4096, '\xB0')}) {
        const FundPageSummary s = FundPageSummary::cut(page);
        EXPECT_EQ(s.type + s.date + s.unitValue + s.dailyChange, "");
        for (const Text& p : s.periods)
            EXPECT_EQ(p, "");
    }
}

TEST(PageSummaryRow, EachFigureStandsUnderItsOwnHeader)
{
    Grid grid(3, fundGridHeader());
    grid.setCell(1, kAssetSizeColumn, "stale");
    FundPageSummary::cut(storedPage("fund_colours.html")).writeRow(grid, 1, "100001", gbk("华夏成长混合"));
    TextList cells;
    for (int c = 0; c <= kAssetSizeColumn; ++c)
        cells.push_back(c == 0 || c == 2 ? gbkToUtf8(grid.cell(1, c)) : grid.cell(1, c));
    // 日增长率 the daily change; 近1周 … 近3年 the eight periods; 规模(亿) left to the profile.
    const TextList expected {"华夏成长混合", "100001", "混合型-偏股", "2026-12-04", "-0.50%", "1.23%", "65.20%",
                             "50.00%", "0.00%", "-0.52%", "12.00%", "", "50.01%", ""};
    EXPECT_EQ(cells, expected);
    const std::vector<Colour> colours {kGreen, kRed, kBlue, kRed, kGreen, kGreen, kRed, kGreen, kBlue};
    for (int c = 4; c <= 12; ++c)
        EXPECT_EQ(grid.cellColour(1, c), colours[size_t(c - 4)]) << "column " << c;
}

// ---- against the sample service

class FundPick : public SampleSuite {
protected:
    void SetUp() override
    {
        SampleSuite::SetUp();
        details.refreshComparison = [this](const Text& code) { charted.push_back(code); };
    }
    void TearDown() override
    {
        details.waitForHoldingsWorkers();
        uninstallEventPump();
    }
    // A fund with holdings and every figure published.
    static const sample::Fund& stockFund(int skip = 0)
    {
        return fundWhere([skip](const sample::Fund& f) mutable {
            return market().holdingQuarters(f) > 0 && f.assetHundredths > 0 && f.returns[sample::ThreeYears] != sample::kNoFigure
                && skip-- == 0;
        });
    }
    void putInRow(int row, const sample::Fund& f)
    {
        w.models.fundGrid.setCell(row, 0, utf8ToGbk(f.name));
        w.models.fundGrid.setCell(row, 1, f.code);
    }
    static Text percent(int32_t hundredths)
    {
        return hundredths == sample::kNoFigure ? Text("--") : sample::fixedHundredths(hundredths) + "%";
    }

    Window w;
    FundDetails details {w.context};
    std::vector<Text> charted;
};

TEST_F(FundPick, SummaryShowsTheFundAloneWithItsProfileAndHoldings)
{
    const sample::Fund& f = stockFund();
    Grid& grid = w.models.fundGrid;
    for (int row = 1; row <= 20; ++row)
        grid.setCell(row, 1, "999999");
    grid.setCursorRow(7);
    w.models.suggestions.addRow({gbk("某基金"), "999999"});
    w.models.view.setVisible(Control::Suggestions, true);
    w.models.view.setEditText(Control::SearchBox, "99");

    details.fundPageSummary(f.code, utf8ToGbk(f.name), FundDetails::PickSource::Suggestion);

    using sample::Period;
    TextList expected {utf8ToGbk(f.name), f.code, utf8ToGbk(sample::Market::typeName(f.kind)),
                       market().figureDate(), percent(f.returns[sample::Day])};
    for (Period p : {sample::Week, sample::Month, sample::ThreeMonths, sample::SixMonths, sample::YearToDate,
                     sample::OneYear, sample::TwoYears, sample::ThreeYears})
        expected.push_back(percent(f.returns[p]));
    expected.push_back(sample::fixedHundredths(f.assetHundredths)); // the profile's asset size
    TextList row;
    for (int c = 0; c <= kAssetSizeColumn; ++c)
        row.push_back(grid.cell(1, c));
    EXPECT_EQ(row, expected);
    EXPECT_FALSE(grid.cell(1, kSharpeColumn).empty());
    EXPECT_EQ(grid.cell(2, 1), "");
    EXPECT_EQ(grid.rowCount(), 21);
    EXPECT_EQ(grid.cursorRow(), 1);
    EXPECT_EQ(details.currentFundCode, f.code);
    EXPECT_EQ(details.currentFundRow, 1);
    EXPECT_EQ(charted, std::vector<Text> {f.code});
    // The suggestion is done with.
    EXPECT_EQ(w.models.view.editText(Control::SearchBox), "");
    EXPECT_EQ(w.models.suggestions.rowCount(), 0);
    EXPECT_FALSE(w.models.view.isVisible(Control::Suggestions));

    details.waitForHoldingsWorkers();
    EXPECT_FALSE(w.models.holdingsGrid.cell(1, 0).empty());
    EXPECT_EQ(w.models.view.caption(Control::HoldingsCaption), utf8ToGbk(f.name));
}

TEST_F(FundPick, SummaryOvertakenByANewerListLoadWritesNothing)
{
    w.models.fundGrid.setCell(1, 1, "999999");
    installEventPump([this] { w.context.fundGridLoads.begin(); });
    details.fundPageSummary(stockFund().code, "x", FundDetails::PickSource::Watchlist);
    uninstallEventPump();
    EXPECT_EQ(w.models.fundGrid.cell(1, 1), "999999");
    EXPECT_TRUE(charted.empty());
}

TEST_F(FundPick, PickWithoutCursorUsesRowOneAndLeavesTheComparisonAlone)
{
    const sample::Fund& f = stockFund();
    putInRow(1, f);
    details.selectedFundRefresh();
    EXPECT_EQ(details.currentFundRow, 1);
    EXPECT_EQ(w.models.fundGrid.cell(1, kAssetSizeColumn), sample::fixedHundredths(f.assetHundredths));
    EXPECT_EQ(w.models.compareGrid.cell(2, 1), "");
    EXPECT_EQ(charted, std::vector<Text> {f.code});
}

TEST_F(FundPick, PickWithABaseCopiesTheRowAndItsFigureColours)
{
    const sample::Fund& f = stockFund();
    Grid& grid = w.models.fundGrid;
    Grid& compare = w.models.compareGrid;
    putInRow(3, f);
    for (int c = 0; c < 17; ++c)
        grid.setCellColour(3, c, Colour(0x100 + c));
    grid.setCell(3, 5, "1.00%");
    grid.setCursorRow(3);
    compare.setCell(1, 1, "000001");
    for (int c = 0; c < 17; ++c)
        compare.setCellColour(2, c, 0x777777);

    details.fundGridCellPicked();

    for (int c = 0; c < 17; ++c) {
        EXPECT_EQ(compare.cell(2, c), grid.cell(3, c)) << "column " << c;
        EXPECT_EQ(compare.cellColour(2, c), c < 4 ? Colour(0x777777) : Colour(0x100 + c)) << "column " << c;
    }
    EXPECT_FALSE(compare.cell(2, kSharpeColumn).empty());
}

// A list load that replaces the rows while the profile downloads.
TEST_F(FundPick, PickWhoseRowIsReplacedMeanwhileLeavesTheNewRowsAlone)
{
    const sample::Fund& f = stockFund();
    Grid& grid = w.models.fundGrid;
    putInRow(1, f);
    w.models.compareGrid.setCell(1, 1, "000001");
    installEventPump([&] { grid.reset(); });
    details.selectedFundRefresh();
    uninstallEventPump();
    details.waitForHoldingsWorkers();

    EXPECT_EQ(grid.cell(1, kAssetSizeColumn), "");
    EXPECT_EQ(requestsFor("/jjjl_").size(), 0u); // the remaining pages are not asked for
    EXPECT_EQ(w.models.compareGrid.cell(2, 1), "");
    // The fund stays picked: its holdings and chart follow.
    EXPECT_EQ(w.models.view.caption(Control::HoldingsCaption), utf8ToGbk(f.name));
    EXPECT_EQ(charted, std::vector<Text> {f.code});
}

TEST_F(FundPick, EmptyCodeFetchesNothingButStillRedrawsTheChart)
{
    w.models.holdingsGrid.setCell(1, 0, "kept");
    details.selectedFundRefresh();
    details.waitForHoldingsWorkers();
    EXPECT_TRUE(s_service->requests().empty());
    EXPECT_EQ(w.models.holdingsGrid.cell(1, 0), "kept");
    EXPECT_EQ(charted, std::vector<Text> {""});
}

TEST_F(FundPick, NoChartHookIsNoFault)
{
    details.refreshComparison = nullptr;
    putInRow(1, stockFund());
    details.selectedFundRefresh();
    EXPECT_FALSE(w.models.fundGrid.cell(1, kAssetSizeColumn).empty());
}

TEST_F(FundPick, ClickOnAGridWithoutCursorDoesNothing)
{
    putInRow(1, stockFund());
    details.fundGridCellPicked();
    EXPECT_TRUE(s_service->requests().empty());
    EXPECT_TRUE(charted.empty());
}

// A pick made while an older pick's page downloads takes over the display.
TEST_F(FundPick, NewerPickInsideAnOlderOneKeepsTheDisplay)
{
    const sample::Fund& older = stockFund(0);
    const sample::Fund& newer = stockFund(1);
    Grid& grid = w.models.fundGrid;
    putInRow(1, older);
    putInRow(2, newer);
    w.models.compareGrid.setCell(1, 1, "000001");
    grid.setCursorRow(1);
    bool picked = false;
    installEventPump([&] {
        if (picked)
            return;
        picked = true;
        grid.setCursorRow(2);
        details.fundGridCellPicked();
    });
    details.fundGridCellPicked();
    uninstallEventPump();
    details.waitForHoldingsWorkers();

    EXPECT_EQ(details.currentFundCode, newer.code);
    EXPECT_EQ(charted, std::vector<Text> {newer.code});
    EXPECT_EQ(w.models.compareGrid.cell(2, 1), newer.code);
    EXPECT_EQ(w.models.view.caption(Control::HoldingsCaption), utf8ToGbk(newer.name));
    // The older pick's own row still got its figures.
    EXPECT_EQ(grid.cell(1, kAssetSizeColumn), sample::fixedHundredths(older.assetHundredths));
}

} // namespace
} // namespace fw::testing
