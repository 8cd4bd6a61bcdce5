#pragma once

#include <QColor>
#include <functional>
#include <utility>

namespace host::grid {

// The title font of a grid column, as far as the form sets it: its colour.
class ColumnTitleFont {
public:
    explicit ColumnTitleFont(std::function<void()> changed, QColor color = Qt::black)
        : m_changed(std::move(changed)), m_color(color)
    {
    }

    QColor GetColor() const { return m_color; }
    // Repaints the column's title.
    void SetColor(const QColor& color)
    {
        if (m_color == color) {
            return;
        }
        m_color = color;
        if (m_changed) {
            m_changed();
        }
    }

private:
    std::function<void()> m_changed;
    QColor m_color;
};

} // namespace host::grid
