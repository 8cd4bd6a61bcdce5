#include "host/maker/tblended_bit_btn.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace host {

namespace {

// How far outside its face a finger may be and still hold the button down.
constexpr int kTouchSlack = 24;

} // namespace

TBlendedBitBtn::TBlendedBitBtn(QWidget* parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover, false);
    // Pressed: window-text face, window-colour caption.
    m_downColor = palette().color(QPalette::Active, QPalette::WindowText);
    m_downFontColor = palette().color(QPalette::Active, QPalette::Window);
}

void TBlendedBitBtn::Click()
{
    if (isEnabled()) {
        click();
        return;
    }
    Q_EMIT clicked(isChecked());
}

void TBlendedBitBtn::setGlyph(const QPixmap& glyph)
{
    m_glyph = glyph;
    updateGeometry();
    update();
}

void TBlendedBitBtn::setGlyphDisabled(const QPixmap& glyph)
{
    m_glyphDisabled = glyph;
    update();
}

void TBlendedBitBtn::setShape(TShapeType shape)
{
    m_shape = shape;
    update();
}

void TBlendedBitBtn::setBrushColor(const QColor& color)
{
    m_brushColor = color;
    update();
}

void TBlendedBitBtn::setPenStyle(Qt::PenStyle style)
{
    m_penStyle = style;
    update();
}

void TBlendedBitBtn::setPenColor(const QColor& color)
{
    m_penColor = color;
    update();
}

void TBlendedBitBtn::setFontColor(const QColor& color)
{
    m_fontColor = color;
    update();
}

void TBlendedBitBtn::setDownColor(const QColor& color)
{
    m_downColor = color;
    update();
}

void TBlendedBitBtn::setDownFontColor(const QColor& color)
{
    m_downFontColor = color;
    update();
}

void TBlendedBitBtn::setDisabledColor(const QColor& color)
{
    m_disabledColor = color;
    update();
}

void TBlendedBitBtn::setDisabledFontColor(const QColor& color)
{
    m_disabledFontColor = color;
    update();
}

void TBlendedBitBtn::setLayout(TButtonLayout layout)
{
    m_layout = layout;
    update();
}

void TBlendedBitBtn::setSpacing(int spacing)
{
    m_spacing = spacing;
    updateGeometry();
    update();
}

QSize TBlendedBitBtn::sizeHint() const
{
    const QSize textSize = fontMetrics().size(Qt::TextSingleLine, text());
    QSize glyphSize = m_glyph.isNull() ? QSize() : m_glyph.deviceIndependentSize().toSize();
    QSize content = textSize.expandedTo(glyphSize);
    if (!text().isEmpty() && !glyphSize.isEmpty()) {
        if (m_layout == blGlyphLeft || m_layout == blGlyphRight) {
            content.setWidth(textSize.width() + m_spacing + glyphSize.width());
        } else {
            content.setHeight(textSize.height() + m_spacing + glyphSize.height());
        }
    }
    return content + QSize(16, 12);
}

bool TBlendedBitBtn::hitButton(const QPoint& pos) const
{
    return rect().adjusted(-kTouchSlack, -kTouchSlack, kTouchSlack, kTouchSlack).contains(pos);
}

void TBlendedBitBtn::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const bool enabled = isEnabled();
    const bool down = enabled && isDown();
    const QColor face = !enabled ? m_disabledColor : down ? m_downColor : m_brushColor;
    const QColor caption = !enabled ? m_disabledFontColor : down ? m_downFontColor : m_fontColor;

    // The face, inset by half a pen so the outline stays inside the widget.
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath outline;
    if (m_shape == stCircle) {
        outline.addEllipse(box);
    } else {
        const qreal radius = std::min(box.width(), box.height()) / 4.0;
        outline.addRoundedRect(box, radius, radius);
    }
    painter.setPen(m_penStyle == Qt::NoPen ? QPen(Qt::NoPen) : QPen(m_penColor, 1, m_penStyle));
    painter.setBrush(face);
    painter.drawPath(outline);

    const QPixmap glyph = !enabled && !m_glyphDisabled.isNull() ? m_glyphDisabled : m_glyph;
    const QString label = text();
    const QSize glyphSize = glyph.isNull() ? QSize() : glyph.deviceIndependentSize().toSize();
    const QSize textSize =
        label.isEmpty() ? QSize() : painter.fontMetrics().size(Qt::TextSingleLine, label);
    const bool both = !glyphSize.isEmpty() && !textSize.isEmpty();
    const bool horizontal = m_layout == blGlyphLeft || m_layout == blGlyphRight;

    // The glyph and caption are one group centred on the face.
    QSize group = glyphSize.expandedTo(textSize);
    if (both && horizontal) {
        group.setWidth(glyphSize.width() + m_spacing + textSize.width());
    } else if (both) {
        group.setHeight(glyphSize.height() + m_spacing + textSize.height());
    }
    const QRect area = QRect(QPoint(0, 0), group)
                           .translated(rect().center() - QRect(QPoint(0, 0), group).center());

    QRect glyphRect(area.topLeft(), glyphSize);
    QRect textRect(area.topLeft(), textSize);
    if (both) {
        switch (m_layout) {
        case blGlyphLeft:
            glyphRect.moveTop(area.center().y() - glyphSize.height() / 2);
            textRect.moveTopLeft(
                {glyphRect.right() + 1 + m_spacing, area.center().y() - textSize.height() / 2});
            break;
        case blGlyphRight:
            textRect.moveTop(area.center().y() - textSize.height() / 2);
            glyphRect.moveTopLeft(
                {textRect.right() + 1 + m_spacing, area.center().y() - glyphSize.height() / 2});
            break;
        case blGlyphTop:
            glyphRect.moveLeft(area.center().x() - glyphSize.width() / 2);
            textRect.moveTopLeft(
                {area.center().x() - textSize.width() / 2, glyphRect.bottom() + 1 + m_spacing});
            break;
        case blGlyphBottom:
            textRect.moveLeft(area.center().x() - textSize.width() / 2);
            glyphRect.moveTopLeft(
                {area.center().x() - glyphSize.width() / 2, textRect.bottom() + 1 + m_spacing});
            break;
        }
    }
    if (!glyph.isNull()) {
        painter.drawPixmap(glyphRect, glyph);
    }
    if (!label.isEmpty()) {
        painter.setPen(caption);
        painter.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, label);
    }
}

} // namespace host
