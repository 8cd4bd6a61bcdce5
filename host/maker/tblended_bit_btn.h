#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>

namespace host {

// A touch-screen button drawn by shape: a face in the brush colour, an optional
// outline, a glyph and a caption. It never takes the focus, so tapping it leaves the
// focus where it was. Writers are named as uic calls them (setCaption for Caption),
// so a Designer .ui file sets every property.
class TBlendedBitBtn : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ GetCaption WRITE setCaption)
    Q_PROPERTY(int Tag READ GetTag WRITE setTag)
    Q_PROPERTY(QPixmap Glyph READ GetGlyph WRITE setGlyph)
    Q_PROPERTY(QPixmap GlyphDisabled READ GetGlyphDisabled WRITE setGlyphDisabled)
    Q_PROPERTY(TShapeType Shape READ GetShape WRITE setShape)
    Q_PROPERTY(QColor BrushColor READ GetBrushColor WRITE setBrushColor)
    Q_PROPERTY(Qt::PenStyle PenStyle READ GetPenStyle WRITE setPenStyle)
    Q_PROPERTY(QColor PenColor READ GetPenColor WRITE setPenColor)
    Q_PROPERTY(QColor FontColor READ GetFontColor WRITE setFontColor)
    Q_PROPERTY(QColor DownColor READ GetDownColor WRITE setDownColor)
    Q_PROPERTY(QColor DownFontColor READ GetDownFontColor WRITE setDownFontColor)
    Q_PROPERTY(QColor DisabledColor READ GetDisabledColor WRITE setDisabledColor)
    Q_PROPERTY(QColor DisabledFontColor READ GetDisabledFontColor WRITE setDisabledFontColor)
    Q_PROPERTY(TButtonLayout Layout READ GetLayout WRITE setLayout)
    Q_PROPERTY(int Spacing READ GetSpacing WRITE setSpacing)

public:
    enum TShapeType { stRoundRect, stCircle };
    Q_ENUM(TShapeType)
    enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
    Q_ENUM(TButtonLayout)

    explicit TBlendedBitBtn(QWidget* parent = nullptr);

    // A programmatic click: runs the click handlers (clicked()) even while the
    // button is disabled.
    void Click();

    QString GetCaption() const { return text(); }
    void setCaption(const QString& caption) { setText(caption); }
    int GetTag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    QPixmap GetGlyph() const { return m_glyph; }
    void setGlyph(const QPixmap& glyph);
    QPixmap GetGlyphDisabled() const { return m_glyphDisabled; }
    void setGlyphDisabled(const QPixmap& glyph);

    TShapeType GetShape() const { return m_shape; }
    void setShape(TShapeType shape);

    // Brush.Color: the face.
    QColor GetBrushColor() const { return m_brushColor; }
    void setBrushColor(const QColor& color);
    // Pen.Style: the outline; Qt::NoPen draws none.
    Qt::PenStyle GetPenStyle() const { return m_penStyle; }
    void setPenStyle(Qt::PenStyle style);
    QColor GetPenColor() const { return m_penColor; }
    void setPenColor(const QColor& color);
    // Font.Color: the caption (the font itself is the widget's font).
    QColor GetFontColor() const { return m_fontColor; }
    void setFontColor(const QColor& color);

    // Face and caption while pressed, and while disabled.
    QColor GetDownColor() const { return m_downColor; }
    void setDownColor(const QColor& color);
    QColor GetDownFontColor() const { return m_downFontColor; }
    void setDownFontColor(const QColor& color);
    QColor GetDisabledColor() const { return m_disabledColor; }
    void setDisabledColor(const QColor& color);
    QColor GetDisabledFontColor() const { return m_disabledFontColor; }
    void setDisabledFontColor(const QColor& color);

    // Where the glyph stands beside the caption, and the gap between them.
    TButtonLayout GetLayout() const { return m_layout; }
    using QWidget::setLayout;
    void setLayout(TButtonLayout layout);
    int GetSpacing() const { return m_spacing; }
    void setSpacing(int spacing);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    // A generous hit area: a press that slides a little off the button and back
    // still clicks, as fingers do.
    bool hitButton(const QPoint& pos) const override;

private:
    int m_tag = 0;
    QPixmap m_glyph;
    QPixmap m_glyphDisabled;
    TShapeType m_shape = stRoundRect;
    QColor m_brushColor{0x80, 0x80, 0x80};
    Qt::PenStyle m_penStyle = Qt::SolidLine;
    QColor m_penColor{Qt::black};
    QColor m_fontColor{Qt::white};
    QColor m_downColor{Qt::black};
    QColor m_downFontColor{Qt::white};
    QColor m_disabledColor{0xCC, 0xCC, 0xCC};
    QColor m_disabledFontColor{Qt::white};
    TButtonLayout m_layout = blGlyphLeft;
    int m_spacing = 4;
};

} // namespace host
