#pragma once
// The chart's Canvas over a QImage (the chart panel's image). One painter stays
// open across drawing calls and is closed before the image itself is copied or
// replaced; call finish() before the panel repaints from the image. Inverted
// drawing XORs with white, so a line drawn twice leaves the image as it was.
// Restoring the chart copy writes into the image's own buffer.
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

    int width() const override { return m_image.width(); }
    int height() const override { return m_image.height(); }

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
};

} // namespace fw
