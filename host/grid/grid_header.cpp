#include "host/grid/grid_header.h"

#include <QPaintEvent>
#include <QPainter>

namespace host::grid {

namespace {
constexpr int kTitlePadding = 4;
}

GridHeader::GridHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsClickable(true);
    setHighlightSections(false);
    setSectionsMovable(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

QSize GridHeader::sizeHint() const
{
    QSize hint = QHeaderView::sizeHint();
    hint.setHeight(QFontMetrics(font()).height() + 2 * kTitlePadding);
    return hint;
}

void GridHeader::paintEvent(QPaintEvent* event)
{
    // The title colour also fills the part of the row right of the last title.
    QPainter painter(viewport());
    const QVariant background = model() != nullptr && count() > 0
                                    ? model()->headerData(0, Qt::Horizontal, Qt::BackgroundRole)
                                    : QVariant();
    painter.fillRect(event->rect(), background.isValid() ? background.value<QColor>()
                                                         : palette().color(QPalette::Button));
    painter.end();
    QHeaderView::paintEvent(event);
}

void GridHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    if (!rect.isValid() || model() == nullptr) {
        return;
    }
    const auto header = [&](int role) {
        return model()->headerData(logicalIndex, orientation(), role);
    };
    const QVariant background = header(Qt::BackgroundRole);
    const QVariant foreground = header(Qt::ForegroundRole);
    const QVariant font = header(Qt::FontRole);

    painter->save();
    painter->fillRect(rect, background.isValid() ? background.value<QColor>()
                                                 : palette().color(QPalette::Button));
    painter->setFont(font.isValid() ? font.value<QFont>() : this->font());
    painter->setPen(foreground.isValid() ? foreground.value<QColor>()
                                         : palette().color(QPalette::ButtonText));
    const QRect textRect = rect.adjusted(kTitlePadding, 0, -kTitlePadding, 0);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      header(Qt::DisplayRole).toString());
    painter->restore();
}

} // namespace host::grid
