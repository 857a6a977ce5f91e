#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QString>

namespace kalvo {

// The drawing state of the diagram's off-screen canvas. Pen, brush and font keep their values
// from one drawing step to the next and from one paint to the next, as on a GDI-style
// canvas: each step changes only what it sets.
class PolarCanvas {
public:
    static constexpr int kInitialFontSize = 8;

    // Starts drawing on `image` with the state left by the previous paint.
    void Begin(QImage& image);
    void End();
    QPainter& Painter() { return fPainter; }

    void SetPen(const QColor& color, int width, Qt::PenStyle style);
    void SetPenColor(const QColor& color);
    void SetBrush(const QColor& color) { fBrush = color; }
    const QColor& PenColor() const { return fPenColor; }
    void SetFontSize(int points);
    int FontSize() const { return fFontSize; }
    void SetFontColor(const QColor& color) { fFontColor = color; }

    int TextWidth(const QString& text) const;
    int TextHeight(const QString& text) const;
    // Text drawn opaque: its rectangle is filled with the brush first. (left, top) is the
    // text's top-left corner.
    void Text(int left, int top, const QString& text);
    // The same, clipped to `clip`.
    void TextClipped(const QRect& clip, int left, int top, const QString& text);

    void Line(QPoint from, QPoint to);
    // Filled with the brush, outlined with the pen.
    void Ellipse(int left, int top, int right, int bottom);
    void Polygon(const QPolygon& points);
    void Arc(const QRect& box, double fromRadians, double toRadians);
    void FillRect(const QRect& box);
    void FrameRect(const QRect& box, const QColor& color);

private:
    void ApplyPen();
    void ApplyFont();

    QPainter fPainter;
    QColor fPenColor = QColor(0, 0, 0);
    int fPenWidth = 1;
    Qt::PenStyle fPenStyle = Qt::SolidLine;
    QColor fBrush = QColor(255, 255, 255);
    int fFontSize = kInitialFontSize;
    QColor fFontColor = QColor(0, 0, 0);
    QFont fFont;
    QFontMetrics fMetrics{fFont};
};

} // namespace kalvo
