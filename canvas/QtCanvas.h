#pragma once
// The chart's Canvas over a QImage (the chart panel's image). One painter stays
// open across drawing calls and is closed before the image itself is copied or
// replaced; call finish() before the panel repaints from the image. Inverted
// drawing XORs with white, so a line drawn twice leaves the image as it was.
// Restoring the chart copy writes into the image's own buffer. Coordinates
// are device-independent pixels; the image may carry a device pixel ratio.
#include "chart/Canvas.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <functional>

namespace fw {

class QtCanvas : public Canvas {
public:
    // `image` must outlive the canvas. `onFlush` runs at Canvas::flush() (the
    // panel's repaint and the event pump belong there).
    explicit QtCanvas(QImage& image, std::function<void()> onFlush = {});
    ~QtCanvas() override;

    // In the image's device-independent pixels: an image made for a screen
    // of device pixel ratio 2 has twice as many pixels each way.
    int width() const override;
    int height() const override;
    std::optional<int> textWidth(std::string_view gbkText) const override;
    int visibleWidth() const override { return m_visibleWidth >= 0 ? m_visibleWidth : width(); }
    // The part of the image the window shows, from its left edge; negative
    // for all of it.
    void setVisibleWidth(int width) { m_visibleWidth = width; }
    // The height of a line of text at the current font.
    int lineHeight() const;

    void setPen(Colour colour, int width, PenStyle style) override;
    void setBrush(Colour colour) override;
    void setTextColour(Colour colour) override;
    void setFontSize(int points) override;
    void setDrawMode(DrawMode mode) override;
    DrawMode drawMode() const override { return m_mode; }

    void line(int x0, int y0, int x1, int y1) override;
    void rectangle(int x0, int y0, int x1, int y1) override;
    void fillRectangle(int x0, int y0, int x1, int y1) override;
    void ellipse(int x0, int y0, int x1, int y1) override;
    void text(int x, int y, std::string_view gbkText) override;
    void clear() override;

    void snapshot() override;
    void restore() override;
    void clearSnapshot() override;

    void flush() override;

    // Closes the painter so that the image may be read or copied elsewhere.
    void finish();
    const QImage& chartCopy() const { return m_copy; }

private:
    QPainter& painter();
    void applyPen(QPainter& p);
    void axisLine(int x0, int y0, int x1, int y1);

    QImage& m_image;
    QImage m_copy;
    QPainter m_painter;
    std::function<void()> m_onFlush;
    QColor m_penColour = Qt::black;
    int m_penWidth = 1;
    PenStyle m_penStyle = PenStyle::Solid;
    QColor m_brush = Qt::white;
    QColor m_textColour = Qt::black;
    QFont m_font;
    DrawMode m_mode = DrawMode::Copy;
    int m_visibleWidth = -1;
};

} // namespace fw
