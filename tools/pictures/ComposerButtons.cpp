#include "Drawing.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace pictures {
namespace {

constexpr int Size = 16;

// A clipboard: brown board, metal clip, white sheet.
void drawClipboard(QPainter &p)
{
    p.setPen(QPen(QColor(96, 60, 24), 1));
    p.setBrush(QColor(196, 140, 72));
    p.drawRoundedRect(QRectF(1.5, 2.5, 10, 12.5), 1.5, 1.5);
    p.setPen(QPen(QColor(150, 150, 150), 0.8));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3, 4.5, 7, 9));
    QLinearGradient clip(4, 0, 9, 0);
    clip.setColorAt(0, QColor(120, 120, 128));
    clip.setColorAt(0.5, QColor(230, 230, 236));
    clip.setColorAt(1, QColor(110, 110, 118));
    p.setPen(QPen(QColor(70, 70, 76), 0.8));
    p.setBrush(clip);
    p.drawRoundedRect(QRectF(4, 1, 5, 3), 1, 1);
}

void drawPasteIntoBody(QPainter &p)
{
    drawClipboard(p);
    // A page of text sliding in from the right.
    p.setPen(QPen(QColor(60, 90, 150), 0.8));
    p.setBrush(QColor(250, 252, 255));
    p.drawRect(QRectF(7.5, 6.5, 7.5, 9));
    p.setPen(QPen(QColor(70, 110, 190), 1));
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(9, 8.5 + 2 * i), QPointF(i == 3 ? 11.5 : 13.5, 8.5 + 2 * i));
}

void drawPasteIntoRecipient(QPainter &p)
{
    drawClipboard(p);
    // An envelope in front.
    p.setPen(QPen(QColor(150, 110, 30), 0.9));
    p.setBrush(QColor(255, 236, 170));
    const QRectF env(6.5, 8.5, 9, 6.5);
    p.drawRect(env);
    QPainterPath flap;
    flap.moveTo(env.topLeft());
    flap.lineTo(env.center().x(), env.top() + 3.8);
    flap.lineTo(env.topRight());
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
}

void drawWidthToggle(QPainter &p)
{
    // A window outline with a two-headed arrow across it.
    p.setPen(QPen(QColor(60, 80, 120), 1));
    p.setBrush(QColor(225, 235, 250));
    p.drawRect(QRectF(1.5, 3.5, 13, 9));
    p.setBrush(QColor(80, 120, 200));
    p.drawRect(QRectF(1.5, 3.5, 13, 2));
    p.setPen(QPen(QColor(200, 40, 40), 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(3.5, 9), QPointF(12.5, 9));
    QPolygonF left{{3, 9}, {6, 6.8}, {6, 11.2}};
    QPolygonF right{{13, 9}, {10, 6.8}, {10, 11.2}};
    p.setBrush(QColor(200, 40, 40));
    p.setPen(Qt::NoPen);
    p.drawPolygon(left);
    p.drawPolygon(right);
}

void drawClear(QPainter &p)
{
    // An eraser, tilted, with a few crumbs.
    p.translate(8, 8);
    p.rotate(-35);
    QLinearGradient pink(0, -3, 0, 3);
    pink.setColorAt(0, QColor(255, 170, 190));
    pink.setColorAt(1, QColor(220, 90, 120));
    p.setPen(QPen(QColor(120, 40, 60), 0.8));
    p.setBrush(pink);
    p.drawRoundedRect(QRectF(-7, -3, 8, 6), 1, 1);
    p.setBrush(QColor(90, 140, 220));
    p.drawRoundedRect(QRectF(1, -3, 6, 6), 1, 1);
    p.resetTransform();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(150, 150, 150));
    p.drawEllipse(QRectF(2, 13, 1.6, 1.6));
    p.drawEllipse(QRectF(5, 14, 1.4, 1.4));
}

} // namespace

QImage composerButtonPicture(int kind)
{
    QImage image(Size, Size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    switch (kind) {
    case 0: drawPasteIntoBody(p); break;
    case 1: drawWidthToggle(p); break;
    case 2: drawClear(p); break;
    default: drawPasteIntoRecipient(p); break;
    }
    return image;
}

} // namespace pictures
