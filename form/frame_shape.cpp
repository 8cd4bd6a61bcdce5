#include "form/frame_shape.h"

#include <QPainter>
#include <algorithm>

FrameShape::FrameShape(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void FrameShape::SetBrushColor(const QColor& color)
{
    m_brushColor = color;
    update();
}

void FrameShape::SetPenColor(const QColor& color)
{
    m_penColor = color;
    update();
}

void FrameShape::SetPenWidth(int width)
{
    m_penWidth = std::max(0, width);
    update();
}

void FrameShape::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    const QRect area = rect();
    painter.fillRect(area, m_brushColor);
    // The frame lies wholly inside the widget, m_penWidth pixels on each side.
    const int w = std::min({m_penWidth, area.width(), area.height()});
    if (w <= 0) {
        return;
    }
    painter.fillRect(QRect(0, 0, area.width(), w), m_penColor);
    painter.fillRect(QRect(0, area.height() - w, area.width(), w), m_penColor);
    painter.fillRect(QRect(0, 0, w, area.height()), m_penColor);
    painter.fillRect(QRect(area.width() - w, 0, w, area.height()), m_penColor);
}
