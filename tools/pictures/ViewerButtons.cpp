#include "Drawing.h"

#include <QPainter>
#include <QPainterPath>

namespace pictures {
namespace {

constexpr int Size = 22;

// Delete one: a sheet of mail with a red cross over its corner.
void drawDeleteOne(QPainter &p)
{
    p.setPen(QPen(QColor(70, 70, 90), 1));
    p.setBrush(QColor(250, 250, 255));
    p.drawRect(QRectF(2.5, 5.5, 15, 11));
    p.drawLine(QPointF(2.5, 5.5), QPointF(10, 11.5));
    p.drawLine(QPointF(17.5, 5.5), QPointF(10, 11.5));
    p.setPen(QPen(QColor(210, 20, 30), 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(13, 12), QPointF(19.5, 18.5));
    p.drawLine(QPointF(19.5, 12), QPointF(13, 18.5));
}

// Register the sender: an open book with a small person on its page.
void drawRegister(QPainter &p)
{
    p.setPen(QPen(QColor(90, 50, 20), 1));
    p.setBrush(QColor(200, 120, 50));
    p.drawRoundedRect(QRectF(3.5, 2.5, 14, 17), 1.5, 1.5);
    p.setBrush(QColor(255, 248, 230));
    p.drawRect(QRectF(6.5, 4.5, 10, 13));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 90, 170));
    p.drawEllipse(QRectF(9.5, 6.5, 4, 4));
    QPainterPath shoulders;
    shoulders.moveTo(8, 15.5);
    shoulders.cubicTo(8, 11, 15, 11, 15, 15.5);
    shoulders.closeSubpath();
    p.drawPath(shoulders);
    p.setPen(QPen(QColor(20, 140, 40), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(17, 14), QPointF(17, 20));
    p.drawLine(QPointF(14, 17), QPointF(20, 17));
}

// Reply: an envelope with a curved arrow going back.
void drawReply(QPainter &p)
{
    p.setPen(QPen(QColor(60, 70, 90), 1));
    p.setBrush(QColor(255, 252, 235));
    p.drawRect(QRectF(5.5, 8.5, 14, 10));
    p.drawLine(QPointF(5.5, 8.5), QPointF(12.5, 14));
    p.drawLine(QPointF(19.5, 8.5), QPointF(12.5, 14));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 100, 180), 2, Qt::SolidLine, Qt::RoundCap));
    QPainterPath arc;
    arc.moveTo(14, 5);
    arc.cubicTo(10, 1.5, 4, 2.5, 3.5, 8);
    p.drawPath(arc);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 100, 180));
    p.drawPolygon(QPolygonF({QPointF(0.5, 6.5), QPointF(6.5, 6.5), QPointF(3.5, 11)}));
}

// Delete all: a waste basket with sheets in it.
void drawDeleteAll(QPainter &p)
{
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(QColor(250, 250, 250));
    p.drawRect(QRectF(6.5, 2.5, 7, 8));
    p.drawRect(QRectF(9.5, 3.5, 7, 8));
    QLinearGradient metal(4, 0, 18, 0);
    metal.setColorAt(0, QColor(110, 110, 120));
    metal.setColorAt(0.5, QColor(225, 225, 232));
    metal.setColorAt(1, QColor(100, 100, 110));
    p.setBrush(metal);
    p.drawPolygon(QPolygonF({QPointF(4, 8.5), QPointF(18, 8.5), QPointF(16.5, 20.5), QPointF(5.5, 20.5)}));
    p.drawLine(QPointF(8.5, 11), QPointF(9, 18.5));
    p.drawLine(QPointF(11, 11), QPointF(11, 18.5));
    p.drawLine(QPointF(13.5, 11), QPointF(13, 18.5));
}

} // namespace

QImage viewerButtonPicture(int kind)
{
    QImage image(Size, Size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    switch (kind) {
    case 0: drawDeleteOne(p); break;
    case 1: drawRegister(p); break;
    case 2: drawReply(p); break;
    default: drawDeleteAll(p); break;
    }
    return image;
}

} // namespace pictures
