#pragma once
// The comparison set and its chart: the picked fund (FundDetails'
// currentFundCode) and one base fund set aside with 加入对比, the download of
// their cumulative returns for a period, the period buttons with the chart
// title, the pointer read-out, and 加入对比 / 删除对比. Runs on the UI thread.
// Draws through the Canvas it is given; without one it still downloads and
// reads the series.
#include "chart/ChartRenderer.h"
#include "chart/Comparison.h"
#include "funds/FeatureContext.h"
#include "funds/FundDetails.h"
#include "net/LoadToken.h"
#include "text/Text.h"


namespace fw {

class ComparisonChart {
public:
    // Hooks itself into details.refreshComparison, so that every pick redraws.
    ComparisonChart(FeatureContext& context, FundDetails& details);
    ~ComparisonChart();
    ComparisonChart(const ComparisonChart&) = delete;
    ComparisonChart& operator=(const ComparisonChart&) = delete;

    // The panel to draw on (nullptr: none). It must outlive its use here; the
    // next draw starts a new chart on it.
    void setCanvas(Canvas* canvas);
    Canvas* canvas() const { return m_canvas; }

    // --- handlers
    void periodClicked(int button);   // 1..7: fetch that period, then the title
    void pointerMoved(int x, int y);  // the read-out at the pointer
    void addComparisonBase();         // the fund grid's cursor row becomes the base
    void removeComparisonBase();      // the comparison grid's cursor row: no base any more

    // --- operations
    // The "year" chart of the picked fund and the base; nothing when neither
    // is set. Rebuilds comparisonCodes; leaves the title alone.
    void refreshComparison();
    // Downloads, reads and draws one period for comparisonCodes. False when
    // a newer fetch began meanwhile (it owns the chart then; this one drew
    // nothing and showed no message).
    bool fetchComparison(std::string_view periodCode);

    // --- state
    Text comparisonBaseCode; // the fund set aside; the second line of the chart
    Text comparisonCodes;    // the codes of the request, as refreshComparison last built them

    // What the last completed fetch read, and the renderer that drew it.
    const ComparisonData& lastData() const { return m_data; }
    const ChartRenderer& renderer() const { return m_renderer; }

private:
    // The chart title, ending with pointsLeftOutText() when the chart shown
    // left points out.
    void writeTitle(const Text& title);

    FeatureContext& m_context;
    FundDetails& m_details;
    Canvas* m_canvas = nullptr;
    ChartRenderer m_renderer;
    ComparisonData m_data;
    bool m_drawn = false;     // the renderer holds a chart on m_canvas
    LoadToken m_fetches;      // a download lets newer fetches start: the newest draws
};

} // namespace fw
