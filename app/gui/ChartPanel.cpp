#include "app/gui/ChartPanel.h"
#include "canvas/QtCanvas.h"
#include "canvas/Gbk.h"
#include <QMouseEvent>
#include <QPainter>

namespace fw {

ChartPanel::ChartPanel(const QSize& size, QWidget* parent)
    : QWidget(parent)
{
    // Drawn at the screen's pixel density: sharp on a scaled screen.
    const qreal ratio = devicePixelRatioF();
    m_image = QImage(size * ratio, QImage::Format_RGB32);
    m_image.setDevicePixelRatio(ratio);
    m_image.fill(toQColor(0xFFFFFF, ColourUse::Fill));
    m_canvas = std::make_unique<QtCanvas>(m_image, [this] {
        m_canvas->finish();
        update();
    });
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

ChartPanel::~ChartPanel() = default;

void ChartPanel::paintEvent(QPaintEvent* event)
{
    // A repaint may come before the next flush (an event run during a download).
    m_canvas->finish();
    QPainter painter(this);
    painter.fillRect(event->rect(), toQColor(0xFFFFFF, ColourUse::Fill));
    painter.drawImage(0, 0, m_image);
}

void ChartPanel::mouseMoveEvent(QMouseEvent* event)
{
    m_pointerReported = true;
    if (onMouseMoved) {
        const QPoint p = event->position().toPoint();
        onMouseMoved(p.x(), p.y());
    }
    QWidget::mouseMoveEvent(event);
}

void ChartPanel::leaveEvent(QEvent* event)
{
    // Only a pointer reported inside can have left a read-out behind.
    if (m_pointerReported && onMouseMoved)
        onMouseMoved(-1, -1);
    m_pointerReported = false;
    QWidget::leaveEvent(event);
}

} // namespace fw
