#pragma once
// The line chart of the comparison panel: frame (axes, grids, labels,
// captions), one line per series with its legend, and the pointer read-out
// (an inverted crosshair and a box listing the date and every line's value at
// the point under the pointer). Drawing is immediate on a Canvas; between the
// calls the renderer keeps the plot rectangle, the scale and the table of
// texts the read-out shows.
#include "chart/Canvas.h"
#include "text/Text.h"

#include <vector>

namespace fw {

struct PlotRect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0; // left, top, right, bottom in panel pixels
};

struct PixelPoint {
    int x = 0, y = 0;
};

class ChartRenderer {
public:
    // Shown in the middle of a frame that has no usable scale.
    static Text notEnoughDataText();

    // Starts a new chart on `canvas`, which must outlive the following
    // drawSeries and trackPointer calls.
    // xAxisText: interval count, then one label per slot, "|"-separated
    //            ("｜" counts the same), e.g. "2|06||09||10|".
    // yAxisText: "divisions|minimum|maximum", or the list of label values.
    // captions:  x caption "|" y caption.
    // When the interval count or the value range is empty the frame is drawn
    // without grid and labels, with notEnoughDataText() in the middle, and the
    // following series and pointer moves draw nothing.
    void drawChartFrame(Canvas& canvas, std::string_view xAxisText, std::string_view yAxisText, int leftAdd,
                        int bottomAdd, int rightAdd, int topAdd, int xGridPerLabel, int yGridPerDivision,
                        std::string_view captions, const TextList& pointTitles);

    void drawSeries(const std::vector<float>& values, int penWidth, Colour colour, std::string_view legend,
                    bool valueLabels = false, bool pointMarkers = false);

    // A line of the read-out without a line on the chart (a part of a drawn
    // series, say): its legend, colour and one value per point.
    void addReadOut(std::string_view legend, Colour colour, const std::vector<float>& values);

    // A filled dot at point `index` (from 0) and `value` on the scale, with its
    // legend beside the series' legends.
    void drawDot(size_t index, float value, Colour colour, std::string_view legend);

    // One mouse move over the panel, in panel pixels.
    void trackPointer(int x, int y);

    // State, for the tests and the wiring.
    PlotRect plotRect() const { return m_rect; }
    double intervals() const { return m_intervals; }
    float minimum() const { return m_minimum; }
    float maximum() const { return m_maximum; }
    bool scaleUsable() const { return m_usable; }
    int rowsInUse() const { return m_rowsInUse; }
    // Row 0: x caption, "0", the point titles; then per series: legend,
    // colour as decimal text, the values ("%.6g").
    const std::vector<TextList>& hoverTable() const { return m_hover; }
    bool hasChartCopy() const { return m_hasCopy; }
    PixelPoint crosshair() const { return m_cross; } // (0, 0) when none is drawn
    int boxLeft() const { return m_boxLeft; }       // 0 when no box is placed
    int lastIndex() const { return m_lastIndex; }   // point under the box, from 1; 0 when none

    // The plot rectangle on a canvas of the given size, with the margin
    // additions of drawChartFrame.
    static PlotRect plotRectFor(int width, int height, int leftAdd = 0, int bottomAdd = 0, int rightAdd = 0,
                                int topAdd = 0);
    // The top of the x-axis labels under a plot rectangle.
    static int xLabelTop(const PlotRect& plot) { return plot.y1 + 3; }

    // Derived sizes at the chart's 9-point font.
    static constexpr int kFontSize = 9;
    static int textHeight();                 // 12
    static int textWidth(std::string_view t); // 6 per byte
    static int boxWidth();                   // 126

private:
    void setPen(Colour colour, int width, PenStyle style);
    // The text's width as the canvas draws it, else the estimate.
    int shownWidth(std::string_view text) const;
    // A text's left edge moved by the fewest pixels that keep it inside the
    // part of the canvas the window shows.
    int keptInside(int x, std::string_view text) const;
    void leavePanel();

    Canvas* m_canvas = nullptr;
    PlotRect m_rect;
    double m_intervals = 0;
    float m_minimum = 0, m_maximum = 0;
    bool m_usable = false;
    int m_rowsInUse = 0;
    std::vector<TextList> m_hover;
    bool m_hasCopy = false;
    PixelPoint m_cross;
    int m_boxLeft = 0;
    int m_lastIndex = 0;
};

// The first `maxBytes` bytes of a GBK text, one byte fewer when the cut would
// split a two-byte character.
Text gbkPrefix(std::string_view text, size_t maxBytes);

} // namespace fw
