#pragma once

#include <QColor>
#include <QWidget>

// A filled rectangle with a frame drawn inside its edges: the form's white window
// and its accent frame. It takes no input; taps fall through to the form.
class FrameShape : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor BrushColor READ GetBrushColor WRITE SetBrushColor)
    Q_PROPERTY(QColor PenColor READ GetPenColor WRITE SetPenColor)
    Q_PROPERTY(int PenWidth READ GetPenWidth WRITE SetPenWidth)

public:
    explicit FrameShape(QWidget* parent = nullptr);

    QColor GetBrushColor() const { return m_brushColor; }
    void SetBrushColor(const QColor& color);
    QColor GetPenColor() const { return m_penColor; }
    void SetPenColor(const QColor& color);
    int GetPenWidth() const { return m_penWidth; }
    void SetPenWidth(int width);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_brushColor = Qt::white;
    QColor m_penColor = Qt::black;
    int m_penWidth = 1;
};
