#include "app/gui/ChartPanel.h"
#include <QMouseEvent>
#include <QPainter>

namespace fw {

ChartPanel::ChartPanel(const QSize& size, QWidget* parent)
    : QWidget(parent), m_image(size, QImage::Format_RGB32)
{
    m_image.fill(Qt::white);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ChartPanel::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::white);
    painter.drawImage(0, 0, m_image);
}

void ChartPanel::mouseMoveEvent(QMouseEvent* event)
{
    if (onMouseMoved) {
        const QPoint p = event->position().toPoint();
        onMouseMoved(p.x(), p.y());
    }
    QWidget::mouseMoveEvent(event);
}

} // namespace fw
