#include "qt_common/glyph_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace kalvo {

namespace {

constexpr int kSize = 24;

void Draw(QPainter& painter, Glyph glyph, const QColor& color) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    QPainterPath triangle;
    switch (glyph) {
    case Glyph::Step:
        triangle.addPolygon(QPolygonF({QPointF(5, 5), QPointF(15, 12), QPointF(5, 19)}));
        painter.drawPath(triangle);
        painter.drawRect(QRectF(16, 5, 3, 14));
        break;
    case Glyph::Run:
        triangle.addPolygon(QPolygonF({QPointF(7, 4), QPointF(19, 12), QPointF(7, 20)}));
        painter.drawPath(triangle);
        break;
    case Glyph::Stop:
        painter.drawRect(QRectF(6, 6, 12, 12));
        break;
    case Glyph::Record:
        painter.setPen(QPen(color.darker(160), 1));
        painter.drawEllipse(QRectF(5, 5, 14, 14));
        break;
    }
}

QPixmap Picture(Glyph glyph, const QColor& color, qreal scale) {
    QPixmap picture(static_cast<int>(kSize * scale), static_cast<int>(kSize * scale));
    picture.setDevicePixelRatio(scale);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    Draw(painter, glyph, color);
    return picture;
}

} // namespace

QIcon GlyphIcon(Glyph glyph, const QPalette& palette) {
    const QColor red(0xD0, 0x20, 0x20);
    QIcon icon;
    for (const qreal scale : {1.0, 2.0}) {
        const bool record = glyph == Glyph::Record;
        icon.addPixmap(Picture(glyph,
                               record ? red : palette.color(QPalette::Active, QPalette::ButtonText),
                               scale),
                       QIcon::Normal);
        icon.addPixmap(Picture(glyph,
                               record ? QColor(0xA0, 0x80, 0x80)
                                      : palette.color(QPalette::Disabled, QPalette::ButtonText),
                               scale),
                       QIcon::Disabled);
    }
    return icon;
}

} // namespace kalvo
