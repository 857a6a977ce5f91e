#include "phasor/polar_canvas.h"

#include <QFontMetrics>
#include <numbers>

namespace kalvo {

void PolarCanvas::Begin(QImage& image) {
    fPainter.begin(&image);
    fPainter.setRenderHint(QPainter::Antialiasing, false);
    fPainter.setRenderHint(QPainter::TextAntialiasing, true);
    ApplyFont();
}

void PolarCanvas::End() {
    fPainter.end();
}

void PolarCanvas::SetPen(const QColor& color, int width, Qt::PenStyle style) {
    fPenColor = color;
    fPenWidth = width;
    fPenStyle = style;
}

void PolarCanvas::SetPenColor(const QColor& color) {
    fPenColor = color;
}

void PolarCanvas::SetFontSize(int points) {
    fFontSize = points;
    ApplyFont();
}

void PolarCanvas::ApplyFont() {
    // A size below 1 point cannot be drawn; the smallest one stands in for it.
    fFont.setPointSize(std::max(1, fFontSize));
    if (fPainter.isActive()) {
        fPainter.setFont(fFont);
        fMetrics = QFontMetrics(fFont, fPainter.device());
    }
}

void PolarCanvas::ApplyPen() {
    QPen pen(fPenColor, fPenWidth, fPenStyle);
    pen.setCapStyle(Qt::FlatCap);
    fPainter.setPen(pen);
    fPainter.setBrush(fBrush);
}

int PolarCanvas::TextWidth(const QString& text) const {
    return fMetrics.horizontalAdvance(text);
}

int PolarCanvas::TextHeight(const QString&) const {
    return fMetrics.height();
}

void PolarCanvas::Text(int left, int top, const QString& text) {
    fPainter.fillRect(QRect(left, top, TextWidth(text), TextHeight(text)), fBrush);
    fPainter.setPen(fFontColor);
    fPainter.drawText(QPoint(left, top + fMetrics.ascent()), text);
}

void PolarCanvas::TextClipped(const QRect& clip, int left, int top, const QString& text) {
    fPainter.fillRect(clip, fBrush);
    fPainter.save();
    fPainter.setClipRect(clip);
    fPainter.setPen(fFontColor);
    fPainter.drawText(QPoint(left, top + fMetrics.ascent()), text);
    fPainter.restore();
}

void PolarCanvas::Line(QPoint from, QPoint to) {
    ApplyPen();
    fPainter.drawLine(from, to);
}

void PolarCanvas::Ellipse(int left, int top, int right, int bottom) {
    ApplyPen();
    fPainter.drawEllipse(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)));
}

void PolarCanvas::Polygon(const QPolygon& points) {
    ApplyPen();
    fPainter.drawPolygon(points);
}

void PolarCanvas::Arc(const QRect& box, double fromRadians, double toRadians) {
    ApplyPen();
    fPainter.setBrush(Qt::NoBrush);
    constexpr double kSixteenthDegrees = 16.0 * 180.0 / std::numbers::pi;
    fPainter.drawArc(box, static_cast<int>(std::lround(fromRadians * kSixteenthDegrees)),
                     static_cast<int>(std::lround((toRadians - fromRadians) * kSixteenthDegrees)));
}

void PolarCanvas::FillRect(const QRect& box) {
    fPainter.fillRect(box, fBrush);
}

void PolarCanvas::FrameRect(const QRect& box, const QColor& color) {
    fPainter.save();
    fPainter.setPen(QPen(color, 1));
    fPainter.setBrush(Qt::NoBrush);
    fPainter.drawRect(box.adjusted(0, 0, -1, -1));
    fPainter.restore();
}

} // namespace kalvo
