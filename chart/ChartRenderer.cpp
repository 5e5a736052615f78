#include "chart/ChartRenderer.h"
#include "text/CodePage.h"
#include "text/NumberText.h"
#include "text/TextOps.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace fw {

namespace {

constexpr Colour kBlack = rgb(0, 0, 0);
constexpr Colour kFineGrid = rgb(224, 224, 224);
constexpr Colour kLabelGrid = rgb(192, 192, 192); // label grid, zero line, box fill
constexpr Colour kLabelText = rgb(128, 128, 128);
constexpr Colour kBoxOutline = rgb(96, 96, 96);
constexpr double kTolerance = 0.0000001;

constexpr double kScale = ChartRenderer::kFontSize / 72.0; // points to inches
constexpr double kTextHeight = kScale * 96;                 // 12 pixels
constexpr double kLegendStep = kScale * 144;                // 18 pixels

// Truncation toward zero into pixel coordinates; out-of-range figures (a huge
// value, an infinite one) are held to a band far outside any panel.
int px(double v)
{
    if (std::isnan(v))
        return 0;
    return int(std::clamp(std::trunc(v), -1.0e6, 1.0e6));
}

// The axis texts accept the full-width bar as a separator too.
TextList axisItems(std::string_view text)
{
    static const Text fullWidthBar = gbk("｜");
    return splitText(replaceAll(text, fullWidthBar, "|"), "|");
}

// The decimals of the y labels: the fewest of 0, 1 and 2 with which
// neighbouring grid lines get different labels (2 when none does).
int labelDecimals(const std::vector<double>& values)
{
    for (int decimals = 0; decimals < 2; ++decimals) {
        bool distinct = true;
        for (size_t i = 1; i < values.size() && distinct; ++i)
            distinct = roundedUnits(values[i - 1], decimals) != roundedUnits(values[i], decimals);
        if (distinct)
            return decimals;
    }
    return 2;
}

} // namespace

Text ChartRenderer::notEnoughDataText()
{
    static const Text text = gbk("暂无足够数据");
    return text;
}

int ChartRenderer::textHeight() { return px(kTextHeight); }
int ChartRenderer::textWidth(std::string_view t) { return px(kTextHeight / 2 * double(t.size())); }
int ChartRenderer::boxWidth() { return px(kScale * 768 + 30); }

Text gbkPrefix(std::string_view text, size_t maxBytes)
{
    size_t end = 0;
    while (end < text.size()) {
        const size_t step = isGbkLeadByte(static_cast<unsigned char>(text[end])) && end + 1 < text.size() ? 2 : 1;
        if (end + step > maxBytes)
            break;
        end += step;
    }
    return Text(text.substr(0, end));
}

PlotRect ChartRenderer::plotRectFor(int width, int height, int leftAdd, int bottomAdd, int rightAdd, int topAdd)
{
    return {40 + leftAdd, 60 + topAdd, width - 100 - rightAdd, height - 30 - bottomAdd};
}

int ChartRenderer::shownWidth(std::string_view text) const
{
    return m_canvas->textWidth(text).value_or(textWidth(text));
}

int ChartRenderer::keptInside(int x, std::string_view text) const
{
    return std::max(0, std::min(x, m_canvas->visibleWidth() - shownWidth(text)));
}

void ChartRenderer::setPen(Colour colour, int width, PenStyle style)
{
    m_canvas->setPen(colour, width, style);
}

// The pointer left the chart: the clean chart comes back and the read-out is
// forgotten.
void ChartRenderer::leavePanel()
{
    m_canvas->restore();
    m_cross = {};
    m_boxLeft = 0;
    m_lastIndex = 0;
}

void ChartRenderer::drawChartFrame(Canvas& canvas, std::string_view xAxisText, std::string_view yAxisText,
                                   int leftAdd, int bottomAdd, int rightAdd, int topAdd, int xGridPerLabel,
                                   int yGridPerDivision, std::string_view captions, const TextList& pointTitles)
{
    m_canvas = &canvas;
    canvas.clear();
    if (m_hasCopy) {
        canvas.clearSnapshot();
        leavePanel();
        // The copy is blank now: until a series takes a new one, the pointer
        // leaves the frame alone.
        m_hasCopy = false;
    }
    m_rowsInUse = 0;

    m_rect = plotRectFor(canvas.width(), canvas.height(), leftAdd, bottomAdd, rightAdd, topAdd);
    const PlotRect& r = m_rect;

    setPen(kBlack, 1, PenStyle::Solid);
    canvas.line(r.x0, r.y1, r.x1 + 20, r.y1);
    canvas.line(r.x0, r.y1, r.x0, r.y0 - 10);

    const TextList xItems = axisItems(xAxisText);
    m_intervals = xItems.empty() ? 0.0 : textValue(xItems.front());

    const TextList yItems = axisItems(yAxisText);
    double divisions = 0;
    const bool threeItems = yItems.size() == 3;
    if (threeItems) {
        divisions = textValue(yItems[0]);
        m_minimum = float(textValue(yItems[1]));
        m_maximum = float(textValue(yItems[2]));
    } else {
        divisions = double(yItems.size());
        m_minimum = yItems.empty() ? 0.0f : float(textValue(yItems.front()));
        m_maximum = yItems.empty() ? 0.0f : float(textValue(yItems.back()));
    }
    const double extent = double(m_maximum) - double(m_minimum);
    // No scale from an empty range or an interval count of zero.
    m_usable = m_intervals > 0 && std::isfinite(m_intervals) && extent > 0 && std::isfinite(extent) &&
               r.x1 > r.x0 && r.y1 > r.y0;

    const double h = kTextHeight;
    if (m_usable) {
        setPen(kFineGrid, 0, PenStyle::Dotted);
        canvas.setTextColour(kLabelText);
        canvas.setFontSize(kFontSize);

        // Fine vertical grid.
        const int xCount = px(double(int(xItems.size()) - 2) * xGridPerLabel);
        const double xStep = xCount > 0 ? double(r.x1 - r.x0) / xCount : 0.0;
        for (int i = 1; i <= xCount; ++i) {
            const int x = px(r.x0 + xStep * i);
            canvas.line(x, r.y1 - 1, x, r.y0);
        }

        // Fine horizontal grid.
        const int yCount = px(divisions * yGridPerDivision);
        if (yCount >= 1) {
            const double yStep = double(r.y1 - r.y0) / yCount;
            for (int i = 1; i <= yCount; ++i) {
                const int y = px(r.y1 - yStep * i);
                canvas.line(r.x0 + 1, y, r.x1, y);
            }
        }

        setPen(kLabelGrid, 0, PenStyle::Dotted);

        // x labels, each under its own grid line. A label that would run into
        // the one before it is left out (its grid line stays), so many years
        // or a wide font thin the labels rather than pile them up.
        constexpr int kLabelGap = 4;
        int labelsEnd = std::numeric_limits<int>::min() / 2; // right edge of the last label drawn
        for (size_t k = 2; k <= xItems.size(); ++k) {
            const int x = px(r.x0 + xGridPerLabel * xStep * double(k - 2));
            if (k > 2)
                canvas.line(x, r.y1 - 1, x, r.y0);
            const Text& item = xItems[k - 1];
            if (item.empty())
                continue;
            const int left = keptInside(k == 2 ? x - 1 : x - shownWidth(item) / 2, item);
            if (left < labelsEnd + kLabelGap)
                continue;
            canvas.text(left, xLabelTop(r), item);
            labelsEnd = left + shownWidth(item);
        }

        // y labels and their grid lines.
        const double scale = double(r.y1 - r.y0) / extent;
        const double minimum = m_minimum, maximum = m_maximum;
        const double labelStep = threeItems && divisions != 0 ? extent / divisions : 0.0;
        const double labelCount = std::isfinite(divisions) ? std::min(divisions, 1.0e6) : 0.0;
        std::vector<double> values;
        for (int i = 1; i <= labelCount + 1; ++i) {
            if (threeItems)
                values.push_back(minimum + labelStep * (i - 1));
            else if (i < labelCount + 1)
                values.push_back(textValue(yItems[size_t(i - 1)]));
        }
        const int decimals = labelDecimals(values);
        // The zero line, when the range spans zero, is labelled "0"; a grid
        // label that would overlap that "0" is left out (its line stays).
        const bool zeroLine = minimum < -kTolerance && maximum > kTolerance;
        const int zeroY = zeroLine ? px(r.y1 - scale * (0 - minimum)) : 0;
        for (size_t i = 0; i < values.size(); ++i) {
            const int y = px(r.y1 - scale * (values[i] - minimum));
            if (i > 0)
                canvas.line(r.x0 + 1, y, r.x1, y);
            if (zeroLine && std::abs(y - zeroY) < h)
                continue;
            const Text label = unitsText(roundedUnits(values[i], decimals), decimals);
            canvas.text(keptInside(r.x0 - shownWidth(label) - 2, label), px(y - h / 2 - 1), label);
        }

        if (zeroLine) {
            setPen(kLabelGrid, 0, PenStyle::Solid);
            canvas.line(r.x0 + 1, zeroY, r.x1, zeroY);
            canvas.text(px(r.x0 - h), px(zeroY - h / 2), "0");
        }
    }

    canvas.setTextColour(kBlack);
    canvas.setFontSize(kFontSize);
    Text xCaption;
    if (!captions.empty()) {
        static const Text fullWidthBar = gbk("｜");
        const Text c = replaceAll(captions, fullWidthBar, "|");
        const int bar = findText(c, "|");
        xCaption = bar == -1 ? Text() : c.substr(0, size_t(bar - 1));
        const Text yCaption = bar == -1 ? c : c.substr(size_t(bar));
        canvas.text(keptInside(r.x1 + 25, xCaption), r.y1 - 8, xCaption);
        canvas.text(r.x0 - 10, r.y0 - 30, yCaption);
    }

    if (!m_usable) {
        const Text note = notEnoughDataText();
        canvas.setTextColour(kLabelText);
        canvas.text((canvas.width() - textWidth(note)) / 2, (canvas.height() - textHeight()) / 2, note);
    }

    m_rowsInUse = 1;
    TextList titleRow;
    titleRow.reserve(pointTitles.size() + 2);
    titleRow.push_back(pointTitles.empty() ? Text() : xCaption);
    titleRow.push_back(intText(kBlack));
    titleRow.insert(titleRow.end(), pointTitles.begin(), pointTitles.end());
    m_hover.assign(1, std::move(titleRow));
}

void ChartRenderer::drawSeries(const std::vector<float>& values, int penWidth, Colour colour, std::string_view legend,
                               bool valueLabels, bool pointMarkers)
{
    if (!m_canvas || !m_usable)
        return;
    Canvas& canvas = *m_canvas;
    const PlotRect& r = m_rect;
    setPen(colour, penWidth, PenStyle::Solid);
    canvas.setTextColour(colour);
    canvas.setFontSize(kFontSize);

    const double xStep = double(r.x1 - r.x0) / m_intervals;
    const double yScale = double(r.y1 - r.y0) / (double(m_maximum) - double(m_minimum));
    int px0 = 0, py0 = 0;
    for (size_t i = 0; i < values.size(); ++i) {
        const int x = px(r.x0 + xStep * double(i));
        const int y = px(r.y1 - yScale * (double(values[i]) - double(m_minimum)));
        if (i > 0)
            canvas.line(px0, py0, x, y);
        if (pointMarkers) {
            if (i == 0)
                canvas.ellipse(x + 1, y - 2, x + 3, y + 3);
            else
                canvas.ellipse(x - 2, y - 2, x + 3, y + 3);
        }
        if (valueLabels) {
            const Text label = floatText(values[i]);
            const int ty = px(y - kLegendStep);
            canvas.text(i == 0 ? x + 5 : x - textWidth(label) / 2, ty, label);
        }
        px0 = x;
        py0 = y;
    }

    if (!legend.empty()) {
        const int row = px(r.y0 + kScale * (m_rowsInUse - 1) * 144);
        canvas.rectangle(r.x1 + 10, row, r.x1 + 20, row + penWidth);
        canvas.text(keptInside(r.x1 + 25, legend), px(row - kTextHeight / 2), legend);
    }

    ++m_rowsInUse;
    const size_t columns = std::max(m_hover.empty() ? size_t(0) : m_hover.front().size(), values.size() + 2);
    m_hover.resize(size_t(m_rowsInUse));
    for (TextList& row : m_hover)
        row.resize(columns);
    TextList& row = m_hover.back();
    row[0] = Text(legend);
    row[1] = intText(colour);
    for (size_t i = 0; i < values.size(); ++i)
        row[i + 2] = floatText(values[i]);

    m_hasCopy = true;
    canvas.snapshot();
}

void ChartRenderer::addReadOut(std::string_view legend, Colour colour, const std::vector<float>& values)
{
    if (!m_canvas || !m_usable)
        return;
    ++m_rowsInUse;
    const size_t columns = std::max(m_hover.empty() ? size_t(0) : m_hover.front().size(), values.size() + 2);
    m_hover.resize(size_t(m_rowsInUse));
    for (TextList& row : m_hover)
        row.resize(columns);
    TextList& row = m_hover.back();
    row[0] = Text(legend);
    row[1] = intText(colour);
    for (size_t i = 0; i < values.size(); ++i)
        row[i + 2] = floatText(values[i]);
}

void ChartRenderer::drawDot(size_t index, float value, Colour colour, std::string_view legend)
{
    if (!m_canvas || !m_usable)
        return;
    Canvas& canvas = *m_canvas;
    const PlotRect& r = m_rect;
    const double xStep = double(r.x1 - r.x0) / m_intervals;
    const double yScale = double(r.y1 - r.y0) / (double(m_maximum) - double(m_minimum));
    const int x = px(r.x0 + xStep * double(index));
    const int y = px(r.y1 - yScale * (double(value) - double(m_minimum)));
    setPen(colour, 1, PenStyle::Solid);
    canvas.setBrush(colour);
    canvas.fillRectangle(x - 2, y - 2, x + 3, y + 3);
    canvas.ellipse(x - 3, y - 3, x + 4, y + 4);
    if (!legend.empty()) {
        // Below the legends of the series, on the next legend row.
        const int row = px(r.y0 + kScale * (m_rowsInUse - 1) * 144);
        canvas.setTextColour(colour);
        canvas.setFontSize(kFontSize);
        canvas.ellipse(r.x1 + 12, row - 2, r.x1 + 18, row + 4);
        canvas.text(keptInside(r.x1 + 25, legend), px(row - kTextHeight / 2), legend);
    }
    m_hasCopy = true;
    canvas.snapshot();
}

void ChartRenderer::trackPointer(int x, int y)
{
    if (!m_canvas || !m_hasCopy || !m_usable)
        return;
    Canvas& canvas = *m_canvas;
    const PlotRect& r = m_rect;
    if (x < r.x0 - 10 || x > r.x1 + 20 || y < r.y0 - 20 || y > r.y1 + 10) {
        // The clean chart is shown again only when a read-out was on it.
        const bool shown = m_cross.x + m_cross.y > 0 || m_boxLeft != 0;
        leavePanel();
        if (shown)
            canvas.flush();
        return;
    }

    // The crosshair is drawn inverted, so drawing it again erases it.
    const DrawMode mode = canvas.drawMode();
    setPen(kBoxOutline, 1, PenStyle::Dotted);
    canvas.setDrawMode(DrawMode::Invert);
    if (m_cross.x + m_cross.y > 0) {
        canvas.line(r.x0, m_cross.y, r.x1 + 20, m_cross.y);
        canvas.line(m_cross.x, r.y1, m_cross.x, r.y0 - 30);
    }
    canvas.line(r.x0, y, r.x1 + 20, y);
    canvas.line(x, r.y1, x, r.y0 - 30);
    m_cross = {x, y};
    canvas.setDrawMode(mode);

    int k = px(double(x - r.x0) / double(r.x1 - r.x0) * m_intervals + 1);

    const int columns = m_hover.empty() ? 0 : int(m_hover.front().size());
    if (columns > 4) {
        k = std::clamp(k, 1, columns - 2);
        // Without a new box the moved crosshair is shown all the same.
        const bool samePoint = k == m_lastIndex;
        m_lastIndex = k;
        if (samePoint || m_hover.front().front().empty()) {
            canvas.flush();
            return;
        }

        const int w = boxWidth();
        const int boxHeight = px((kTextHeight + 5) * m_rowsInUse);
        const int top = r.y0 - 20;
        const double middle = m_intervals / 2;
        if (m_boxLeft == 0)
            m_boxLeft = k >= middle ? r.x1 - w - 10 : r.x0 + 10;

        // The box keeps to the side away from the pointer.
        setPen(kBoxOutline, 1, PenStyle::Solid);
        bool moved = false;
        if (k < middle && m_boxLeft < r.x0 + 100) {
            m_boxLeft = r.x1 - w - 10;
            moved = true;
        } else if (k > middle && m_boxLeft > r.x0 + 100) {
            m_boxLeft = r.x0 + 10;
            moved = true;
        }
        if (moved) {
            m_cross = {};
            canvas.restore();
            canvas.rectangle(m_boxLeft, top, m_boxLeft + w, top + boxHeight);
        }

        canvas.setFontSize(kFontSize);
        canvas.setBrush(kLabelGrid);
        canvas.fillRectangle(m_boxLeft + 2, top + 2, m_boxLeft + w - 2, top + boxHeight - 2);
        static const Text colon = gbk("：");
        for (int row = 0; row < m_rowsInUse && row < int(m_hover.size()); ++row) {
            const TextList& cells = m_hover[size_t(row)];
            const size_t column = size_t(k) + 1;
            const Text line = gbkPrefix(cells[0], 8) + colon + (column < cells.size() ? cells[column] : Text());
            const double colour = textValue(cells[1]);
            canvas.setTextColour(colour > 0 && colour <= 0xFFFFFF ? Colour(colour) : kBlack);
            canvas.text(m_boxLeft + 5, px(top + (kTextHeight + 3) * row + 5), line);
        }
    }
    canvas.flush();
}

} // namespace fw
