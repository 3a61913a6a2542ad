#include "app/TransportIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

namespace {

// On a 24 x 24 grid; the painter is scaled for the larger size.
void drawSign(QPainter& painter, TransportSign sign)
{
    const auto triangle = [&painter](qreal left, qreal right, qreal top, qreal bottom) {
        const qreal middle = (top + bottom) / 2;
        painter.drawPolygon(QPolygonF({QPointF(left, top), QPointF(right, middle), QPointF(left, bottom)}));
    };
    switch (sign) {
    case TransportSign::Play:
        triangle(7, 19, 5, 19);
        break;
    case TransportSign::Pause:
        painter.drawRect(QRectF(6, 5, 4, 14));
        painter.drawRect(QRectF(14, 5, 4, 14));
        break;
    case TransportSign::Stop:
        painter.drawRect(QRectF(6, 6, 12, 12));
        break;
    case TransportSign::Previous:
        painter.drawRect(QRectF(5, 6, 2, 12));
        triangle(15, 7, 6, 18);
        triangle(21, 13, 6, 18);
        break;
    case TransportSign::Next:
        triangle(3, 11, 6, 18);
        triangle(9, 17, 6, 18);
        painter.drawRect(QRectF(17, 6, 2, 12));
        break;
    case TransportSign::Restart: {
        // Three quarters of a circle, clockwise from the top round to the
        // left, with an arrowhead there pointing on.
        QPen pen(painter.brush().color(), 2.5);
        pen.setCapStyle(Qt::FlatCap);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        QPainterPath arc;
        arc.arcMoveTo(QRectF(5, 5, 14, 14), 90);
        arc.arcTo(QRectF(5, 5, 14, 14), 90, -270);
        painter.drawPath(arc);
        painter.setPen(Qt::NoPen);
        painter.setBrush(pen.color());
        painter.drawPolygon(QPolygonF({QPointF(1, 13), QPointF(9, 13), QPointF(5, 7)}));
        break;
    }
    }
}

QPixmap signPixmap(TransportSign sign, const QColor& color, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 24.0, size / 24.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    drawSign(painter, sign);
    return pixmap;
}

}  // namespace

QIcon transportIcon(TransportSign sign, const QColor& color)
{
    QIcon icon;
    for (const int size : {24, 48}) {
        icon.addPixmap(signPixmap(sign, color, size));
    }
    return icon;
}
