#include "canvas/QtCanvas.h"
#include "canvas/Gbk.h"

#include <QFontMetrics>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace fw {

namespace {

// The pixels of a box given by two corners, the far corner's row and column
// left out (as the window system's rectangles are).
QRect box(int x0, int y0, int x1, int y1)
{
    return QRect(std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0), std::abs(y1 - y0));
}

} // namespace

QtCanvas::QtCanvas(QImage& image, std::function<void()> onFlush)
    : m_image(image), m_onFlush(std::move(onFlush))
{
    // The chart's sizes assume 96 pixels per inch: 9 points are 12 pixels.
    m_font.setPixelSize(12);
}

QtCanvas::~QtCanvas() { finish(); }

int QtCanvas::width() const { return int(m_image.deviceIndependentSize().width()); }
int QtCanvas::height() const { return int(m_image.deviceIndependentSize().height()); }

int QtCanvas::lineHeight() const { return QFontMetrics(m_font).height(); }

std::optional<int> QtCanvas::textWidth(std::string_view gbkText) const
{
    return QFontMetrics(m_font).horizontalAdvance(gbkToQString(gbkText));
}

QPainter& QtCanvas::painter()
{
    if (!m_painter.isActive()) {
        m_painter.begin(&m_image);
        m_painter.setRenderHint(QPainter::Antialiasing, false);
        m_painter.setRenderHint(QPainter::TextAntialiasing, true);
        m_painter.setFont(m_font);
        m_painter.setBrush(Qt::NoBrush);
        m_painter.setCompositionMode(m_mode == DrawMode::Invert ? QPainter::RasterOp_SourceXorDestination
                                                                 : QPainter::CompositionMode_SourceOver);
    }
    return m_painter;
}

void QtCanvas::finish()
{
    if (m_painter.isActive())
        m_painter.end();
}

void QtCanvas::applyPen(QPainter& p)
{
    // Inverting XORs every channel with white, whatever the pen's colour.
    QPen pen(m_mode == DrawMode::Invert ? QColor(Qt::white) : m_penColour);
    // A thin line is one pixel wide: one device pixel at ratio 1 (a cosmetic
    // pen), as many as cover one pixel above it.
    pen.setWidthF(m_penWidth > 1 ? m_penWidth : m_image.devicePixelRatio() > 1 ? 1.0 : 0.0);
    pen.setStyle(m_penStyle == PenStyle::Dotted ? Qt::DotLine : Qt::SolidLine);
    pen.setCapStyle(m_penWidth > 1 ? Qt::RoundCap : Qt::FlatCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
}

void QtCanvas::setPen(Colour colour, int width, PenStyle style)
{
    m_penColour = toQColor(colour, ColourUse::Line);
    m_penWidth = width;
    m_penStyle = style;
}

void QtCanvas::setBrush(Colour colour) { m_brush = toQColor(colour, ColourUse::Fill); }
void QtCanvas::setTextColour(Colour colour) { m_textColour = toQColor(colour, ColourUse::Text); }

void QtCanvas::setFontSize(int points)
{
    const int pixels = points * 96 / 72;
    if (pixels > 0 && pixels != m_font.pixelSize()) {
        m_font.setPixelSize(pixels);
        if (m_painter.isActive())
            m_painter.setFont(m_font);
    }
}

void QtCanvas::setDrawMode(DrawMode mode)
{
    m_mode = mode;
    if (m_painter.isActive())
        m_painter.setCompositionMode(mode == DrawMode::Invert ? QPainter::RasterOp_SourceXorDestination
                                                              : QPainter::CompositionMode_SourceOver);
}

// A thin line along an axis, pixel by pixel, exactly as the painter draws it
// (flat caps): the pixels from the lower end up to, not including, the higher
// one (one pixel for a zero length); dots on every third pixel counted from
// the start point's end; a start beyond the image taken to one pixel outside
// its edge first, where the painter's clipping restarts the dots. On an image
// with a device pixel ratio each of these pixels is the block of device
// pixels it covers.
void QtCanvas::axisLine(int x0, int y0, int x1, int y1)
{
    const bool vertical = x0 == x1;
    int from = vertical ? y0 : x0;
    const int to = vertical ? y1 : x1;
    const int across = vertical ? x0 : y0;
    const int length = vertical ? height() : width();
    if (across < 0 || across >= (vertical ? width() : height()))
        return;
    if (from < to && from < -1)
        from = -1;
    else if (from > to && from > length + 1)
        from = length + 1;
    const int low = std::min(from, to);
    const int high = from == to ? from + 1 : std::max(from, to);
    const int first = from > to ? from - 1 : from;
    const int step = m_penStyle == PenStyle::Dotted ? 3 : 1;

    const QRgb colour = m_penColour.rgb();
    const double ratio = m_image.devicePixelRatio();
    auto device = [ratio](int v) { return int(std::lround(v * ratio)); };
    uchar* bits = m_image.bits();
    const qsizetype stride = m_image.bytesPerLine();
    int i = std::max(low, 0);
    i += ((first - i) % step + step) % step; // onto the dots' grid
    for (const int end = std::min(high, length); i < end; i += step) {
        const int x = vertical ? across : i, y = vertical ? i : across;
        const int right = std::min(device(x + 1), m_image.width()), bottom = std::min(device(y + 1), m_image.height());
        for (int dy = device(y); dy < bottom; ++dy)
            for (int dx = device(x); dx < right; ++dx)
                reinterpret_cast<QRgb*>(bits + dy * stride)[dx] = colour;
    }
}

void QtCanvas::line(int x0, int y0, int x1, int y1)
{
    // Most of a chart's lines are thin grid lines along an axis (a year has
    // some 1,500 dotted ones), and the painter's dash stroker would take most
    // of the drawing time.
    const QImage::Format format = m_image.format();
    if (m_mode == DrawMode::Copy && m_penWidth <= 1 && (x0 == x1 || y0 == y1) &&
        (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
         format == QImage::Format_ARGB32_Premultiplied)) {
        axisLine(x0, y0, x1, y1);
        return;
    }
    QPainter& p = painter();
    applyPen(p);
    p.drawLine(x0, y0, x1, y1);
}

void QtCanvas::rectangle(int x0, int y0, int x1, int y1)
{
    QPainter& p = painter();
    applyPen(p);
    p.setBrush(Qt::NoBrush);
    const QRect r = box(x0, y0, x1, y1);
    if (r.width() > 1 && r.height() > 1)
        p.drawRect(r.x(), r.y(), r.width() - 1, r.height() - 1); // a one-pixel outline covers x .. x + w - 1
    else
        p.drawLine(r.x(), r.y(), r.x() + std::max(r.width() - 1, 0), r.y() + std::max(r.height() - 1, 0));
}

void QtCanvas::fillRectangle(int x0, int y0, int x1, int y1)
{
    painter().fillRect(box(x0, y0, x1, y1), m_brush);
}

void QtCanvas::ellipse(int x0, int y0, int x1, int y1)
{
    QPainter& p = painter();
    applyPen(p);
    p.setBrush(Qt::NoBrush);
    const QRect r = box(x0, y0, x1, y1);
    p.drawEllipse(r.x(), r.y(), std::max(r.width() - 1, 0), std::max(r.height() - 1, 0));
}

void QtCanvas::text(int x, int y, std::string_view gbkText)
{
    if (gbkText.empty())
        return;
    QPainter& p = painter();
    p.setPen(m_textColour);
    p.drawText(QPoint(x, y + QFontMetrics(m_font).ascent()), gbkToQString(gbkText));
}

void QtCanvas::clear()
{
    finish();
    m_image.fill(toQColor(0xFFFFFF, ColourUse::Fill));
}

void QtCanvas::snapshot()
{
    finish();
    m_copy = m_image.copy();
}

void QtCanvas::restore()
{
    finish();
    // Copied into the image's own buffer: the panel keeps showing the same image.
    if (m_copy.size() == m_image.size() && m_copy.format() == m_image.format())
        std::memcpy(m_image.bits(), m_copy.constBits(), size_t(m_image.sizeInBytes()));
    else
        m_image.fill(toQColor(0xFFFFFF, ColourUse::Fill));
}

void QtCanvas::clearSnapshot()
{
    if (!m_copy.isNull())
        m_copy.fill(toQColor(0xFFFFFF, ColourUse::Fill));
}

void QtCanvas::flush()
{
    if (m_onFlush)
        m_onFlush();
}

} // namespace fw
