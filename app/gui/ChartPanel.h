#pragma once
// The drawing panel 画板1: shows an image that the chart draws into and reports
// every mouse move over it.
#include <QImage>
#include <QWidget>
#include <functional>

namespace fw {

class ChartPanel : public QWidget {
    Q_OBJECT
public:
    ChartPanel(const QSize& size, QWidget* parent = nullptr);

    QImage& image() { return m_image; }
    std::function<void(int x, int y)> onMouseMoved;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QImage m_image;
};

} // namespace fw
