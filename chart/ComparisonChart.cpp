#include "chart/ComparisonChart.h"

#include "funds/HoldingsEstimate.h"
#include "net/HttpClient.h"
#include "net/ServiceHosts.h"
#include "text/CodePage.h"

#include <algorithm>

namespace fw {

namespace {

constexpr int kFundColumns = 17;
constexpr int kFirstColouredColumn = 3, kLastColouredColumn = 14; // the coloured figures of a fund row
constexpr int kHoldingRows = 10;
constexpr int kHoldingColumns = 4;

} // namespace

ComparisonChart::ComparisonChart(FeatureContext& context, FundDetails& details)
    : m_context(context), m_details(details)
{
    m_details.refreshComparison = [this](const Text&) { refreshComparison(); };
}

ComparisonChart::~ComparisonChart() { m_details.refreshComparison = nullptr; }

void ComparisonChart::setCanvas(Canvas* canvas)
{
    // The renderer's chart belongs to the old canvas: nothing to point at
    // until the next draw.
    m_canvas = canvas;
    m_drawn = false;
}

// ---- handlers

void ComparisonChart::periodClicked(int button)
{
    const Text period = periodCode(button);
    if (period.empty())
        return;
    // The title follows a failed fetch too, but not one a newer fetch overtook:
    // the title then belongs to the chart that newer one drew.
    if (fetchComparison(period))
        writeTitle(chartTitle(button));
}

void ComparisonChart::writeTitle(const Text& title)
{
    View& view = m_context.models.view;
    const Text shown = m_data.pointsLeftOut ? title + pointsLeftOutText() : title;
    if (view.caption(Control::ChartTitle) != shown)
        view.setCaption(Control::ChartTitle, shown);
}

void ComparisonChart::pointerMoved(int x, int y)
{
    if (m_canvas && m_drawn)
        m_renderer.trackPointer(x, y);
}

void ComparisonChart::addComparisonBase()
{
    static const Text nothingToAdd = gbk("请选择要加入的对象");
    MainModels& models = m_context.models;
    const Grid& funds = models.fundGrid;
    const int row = funds.cursorRow();
    if (row < 1 || funds.cell(row, 0).empty()) {
        models.view.messageBox(nothingToAdd);
        return;
    }

    Grid& compare = models.compareGrid;
    TextList cells;
    for (int c = 0; c < kFundColumns; ++c)
        cells.push_back(funds.cell(row, c));
    std::vector<Colour> colours;
    for (int c = kFirstColouredColumn; c <= kLastColouredColumn; ++c)
        colours.push_back(funds.cellColour(row, c));
    compare.setRow(1, 0, cells);
    compare.setRowColours(1, kFirstColouredColumn, colours);

    // No holdings worker may write between the copy and the clearing. The
    // holdings grid is copied only when it holds this fund's holdings in full
    // (a cursor row moved on without a pick, or a load still running, leave
    // another fund's rows there); else the base's holdings load on their own.
    const Text baseCode = funds.cell(row, 1);
    const bool holdingsAreRows = m_details.supersedeHoldingsWorkers() == baseCode && !baseCode.empty();
    m_details.supersedeBaseHoldingsWorkers(); // an earlier base's load
    Grid& holdings = models.holdingsGrid;
    Grid& baseHoldings = models.baseHoldingsGrid;
    const int columns = std::min(kHoldingColumns, holdings.columnCount());
    for (int r = 1; r <= kHoldingRows; ++r) {
        TextList holding;
        for (int c = 0; c < columns; ++c)
            holding.push_back(holdingsAreRows ? holdings.cell(r, c) : Text());
        baseHoldings.setRow(r, 0, holding);
    }
    if (!holdingsAreRows && !baseCode.empty())
        m_details.startBaseHoldingsWorker(baseCode, funds.cell(row, 0));

    comparisonBaseCode = compare.cell(1, 1);
    holdings.reset();
    m_details.currentFundCode.clear();
    models.view.setCaption(Control::BaseHoldingsCaption, compare.cell(1, 0));
    models.view.setCaption(Control::HoldingsCaption, "");
    clearHoldingsEstimate(models.view); // it went with the holdings
}

void ComparisonChart::removeComparisonBase()
{
    static const Text nothingToRemove = gbk("请选择要删除的对象");
    MainModels& models = m_context.models;
    const Grid& compare = models.compareGrid;
    const int row = compare.cursorRow();
    if (row < 1 || compare.cell(row, 0).empty()) {
        models.view.messageBox(nothingToRemove);
        return;
    }
    comparisonBaseCode.clear();
}

// ---- operations

void ComparisonChart::refreshComparison()
{
    const Text& current = m_details.currentFundCode;
    if (current.empty() && comparisonBaseCode.empty())
        return;
    comparisonCodes = fw::comparisonCodes(current, comparisonBaseCode);
    fetchComparison("year");
}

bool ComparisonChart::fetchComparison(std::string_view period)
{
    const LoadTicket fetch = m_fetches.begin();
    // The answer is read with the codes of its request, whatever the set is
    // when it arrives: "a,b" is the picked fund and the base; a lone code is
    // the base when it was the base as the request went out.
    const Text codes = comparisonCodes;
    const size_t comma = codes.find(',');
    Text codeA, codeB;
    if (comma != Text::npos) {
        codeA = codes.substr(0, comma);
        codeB = codes.substr(comma + 1);
    } else if (!codes.empty() && codes == comparisonBaseCode) {
        codeB = codes;
    } else {
        codeA = codes;
    }
    const ServiceHosts& hosts = serviceHosts();
    HttpRequestOptions options = m_context.requestOptions();
    options.extraHeaders = comparisonReferer(hosts.baseUrl(HostRole::FundList));
    const Text answer =
        utf8ToGbk(HttpClient().fetch(hosts.url(HostRole::FundApi, comparisonUrlPath(codes, period)), options));
    if (!m_fetches.isCurrent(fetch))
        return false;

    ComparisonData data = parseComparison(answer, codeA, codeB);
    if (data.sectionEmpty) {
        m_context.models.view.messageBox(comparisonFailureText());
        return true; // the chart stays as it was
    }
    m_data = std::move(data);
    // The title says when points were left out; it keeps its own words.
    Text title = m_context.models.view.caption(Control::ChartTitle);
    const Text leftOut = pointsLeftOutText();
    if (title.size() >= leftOut.size() && title.compare(title.size() - leftOut.size(), leftOut.size(), leftOut) == 0)
        title.resize(title.size() - leftOut.size());
    writeTitle(title);
    if (m_canvas) {
        drawComparison(m_renderer, *m_canvas, m_data, codeA, codeB);
        m_drawn = true;
        m_canvas->flush();
    }
    return true;
}

} // namespace fw
