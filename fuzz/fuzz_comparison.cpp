// Input: a comparison answer (GBK, as the chart reads it), read for two
// funds, for the picked one alone and for the base alone, and drawn. One
// date, one label and one value per fund for every point; the range never
// collapses; the axis text counts the intervals; drawing stays within the
// renderer's clamp.
#include "FuzzChecks.h"
#include "chart/Comparison.h"

#include <cstdint>

namespace {

// Draws nothing; checks that every line and box stays near the panel.
class BoundsCanvas : public fw::Canvas {
public:
    int width() const override { return 600; }
    int height() const override { return 400; }
    void setPen(fw::Colour, int, fw::PenStyle) override {}
    void setBrush(fw::Colour) override {}
    void setTextColour(fw::Colour) override {}
    void setFontSize(int) override {}
    void setDrawMode(fw::DrawMode mode) override { m_mode = mode; }
    fw::DrawMode drawMode() const override { return m_mode; }
    void line(int x0, int y0, int x1, int y1) override { inside(x0, y0), inside(x1, y1); }
    void rectangle(int x0, int y0, int x1, int y1) override { inside(x0, y0), inside(x1, y1); }
    void fillRectangle(int x0, int y0, int x1, int y1) override { inside(x0, y0), inside(x1, y1); }
    void ellipse(int x0, int y0, int x1, int y1) override { inside(x0, y0), inside(x1, y1); }
    void text(int, int, std::string_view) override {}
    void clear() override {}
    void snapshot() override {}
    void restore() override {}
    void clearSnapshot() override {}

private:
    static void inside(int x, int y)
    {
        // A value beyond float range (inf) is drawn towards the edge: the
        // renderer clamps every coordinate to a million pixels, which the
        // panel clips; nothing may come near int overflow.
        fw::fuzz::check(x >= -1000000 && x <= 1000000 && y >= -1000000 && y <= 1000000, "drawing far off the panel");
    }
    fw::DrawMode m_mode = fw::DrawMode::Copy;
};

void readAndDraw(std::string_view answer, std::string_view codeA, std::string_view codeB)
{
    using namespace fw::fuzz;
    const fw::ComparisonData d = fw::parseComparison(answer, codeA, codeB);
    const size_t points = size_t(d.pointCount());
    check(points <= size_t(fw::kMaxComparisonPoints), "more points than the bound");
    check(!d.pointsLeftOut || points == size_t(fw::kMaxComparisonPoints), "points left out below the bound");
    check(d.labels.size() == points, "one label per point");
    check(d.valuesA.size() == (codeA.empty() ? 0 : points), "one value of the first fund per point");
    check(d.valuesB.size() == (codeB.empty() ? 0 : points), "one value of the second fund per point");
    check(d.enoughPoints == (points >= 2), "enough points");
    check(!d.sectionEmpty || points == 0, "points without a section");
    if (d.sectionEmpty)
        return;
    check(d.maximum > d.minimum, "empty value range");
    check(d.xAxisText.rfind(std::to_string(long(points) - 1) + "|", 0) == 0 || points == 0, "interval count");
    if (points > 2000)
        return; // drawing is linear in the points; keep each run short
    BoundsCanvas canvas;
    fw::ChartRenderer renderer;
    fw::drawComparison(renderer, canvas, d, codeA, codeB);
    for (int x = 0; x <= 600; x += 150)
        renderer.trackPointer(x, 200);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view answer(reinterpret_cast<const char*>(data), size);
    readAndDraw(answer, "005669", "005939");
    readAndDraw(answer, "005669", "");
    readAndDraw(answer, "", "005939");
    return 0;
}
