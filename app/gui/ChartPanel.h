#pragma once
// The drawing panel 画板1: shows an image that the chart draws into through
// the panel's canvas, and reports every mouse move over it.
#include <QImage>
#include <QWidget>
#include <functional>
#include <memory>

namespace fw {

class QtCanvas;

class ChartPanel : public QWidget {
    Q_OBJECT
public:
    ChartPanel(const QSize& size, QWidget* parent = nullptr);
    ~ChartPanel() override;

    QImage& image() { return m_image; }
    // Draws into image(); each flush shows what was drawn.
    QtCanvas& canvas() { return *m_canvas; }
    // Also called with (-1, -1) when the pointer leaves the panel, so that a
    // quick exit leaves no read-out behind.
    std::function<void(int x, int y)> onMouseMoved;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QImage m_image;
    std::unique_ptr<QtCanvas> m_canvas;
    bool m_pointerReported = false; // a move was reported since the pointer last left
};

} // namespace fw
