#include "Drawing.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace pictures {
namespace {

constexpr int Size = 16;
const QColor Outline(70, 76, 88);

void drawPage(QPainter &p, QRectF r)
{
    const qreal fold = 4;
    QPainterPath page;
    page.moveTo(r.topLeft());
    page.lineTo(r.right() - fold, r.top());
    page.lineTo(r.right(), r.top() + fold);
    page.lineTo(r.bottomRight());
    page.lineTo(r.bottomLeft());
    page.closeSubpath();
    p.setPen(QPen(Outline, 1));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.setBrush(QColor(214, 220, 230));
    p.drawPolygon(QPolygonF({QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold),
                             QPointF(r.right(), r.top() + fold)}));
}

void drawTextLines(QPainter &p, QRectF r, int lines)
{
    p.setPen(QPen(QColor(120, 140, 170), 1));
    for (int i = 0; i < lines; ++i)
        p.drawLine(QPointF(r.left(), r.top() + 2 * i), QPointF(r.right(), r.top() + 2 * i));
}

void drawNew(QPainter &p)
{
    drawPage(p, QRectF(2.5, 0.5, 11, 15));
    // A small star for "new".
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 190, 20));
    QPainterPath star;
    star.moveTo(5, 6);
    star.lineTo(6, 8.5);
    star.lineTo(8.5, 9);
    star.lineTo(6.5, 10.5);
    star.lineTo(7, 13);
    star.lineTo(5, 11.5);
    star.lineTo(3, 13);
    star.lineTo(3.5, 10.5);
    star.lineTo(1.5, 9);
    star.lineTo(4, 8.5);
    star.closeSubpath();
    p.drawPath(star);
}

void drawOpen(QPainter &p)
{
    p.setPen(QPen(QColor(150, 100, 20), 1));
    p.setBrush(QColor(230, 180, 60));
    p.drawRect(QRectF(0.5, 3.5, 13, 10));
    p.drawRect(QRectF(0.5, 2.5, 5, 2));
    QLinearGradient front(0, 6, 0, 14);
    front.setColorAt(0, QColor(255, 225, 120));
    front.setColorAt(1, QColor(240, 190, 70));
    p.setBrush(front);
    p.drawPolygon(QPolygonF({QPointF(3.5, 6.5), QPointF(15.5, 6.5), QPointF(13.5, 13.5), QPointF(0.5, 13.5)}));
}

void drawSave(QPainter &p)
{
    p.setPen(QPen(QColor(30, 50, 110), 1));
    p.setBrush(QColor(60, 100, 190));
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 1, 1);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4, 2, 8, 5));
    p.setBrush(QColor(200, 205, 215));
    p.drawRect(QRectF(4, 9.5, 8, 5));
    p.setBrush(QColor(60, 100, 190));
    p.drawRect(QRectF(9, 10.5, 2, 3));
}

void drawPrint(QPainter &p)
{
    drawPage(p, QRectF(3.5, 0.5, 9, 7));
    p.setPen(QPen(QColor(60, 64, 72), 1));
    QLinearGradient body(0, 6, 0, 13);
    body.setColorAt(0, QColor(200, 204, 212));
    body.setColorAt(1, QColor(140, 146, 156));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(0.5, 6.5, 15, 6), 1.5, 1.5);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3.5, 10.5, 9, 5));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 200, 80));
    p.drawRect(QRectF(12, 8, 2, 1.5));
}

void drawCut(QPainter &p)
{
    p.setPen(QPen(QColor(90, 96, 108), 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4.5, 1), QPointF(10, 10));
    p.drawLine(QPointF(11.5, 1), QPointF(6, 10));
    p.setPen(QPen(QColor(190, 30, 40), 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(1.5, 9.5, 5, 5));
    p.drawEllipse(QRectF(9.5, 9.5, 5, 5));
}

void drawCopy(QPainter &p)
{
    drawPage(p, QRectF(0.5, 0.5, 9, 11));
    drawTextLines(p, QRectF(2.5, 4.5, 4, 0), 3);
    drawPage(p, QRectF(6.5, 4.5, 9, 11));
    drawTextLines(p, QRectF(8.5, 8.5, 4, 0), 3);
}

void drawPaste(QPainter &p)
{
    p.setPen(QPen(QColor(110, 70, 30), 1));
    p.setBrush(QColor(190, 140, 80));
    p.drawRoundedRect(QRectF(0.5, 1.5, 11, 14), 1, 1);
    p.setBrush(QColor(170, 174, 184));
    p.drawRect(QRectF(3.5, 0.5, 5, 3));
    drawPage(p, QRectF(6.5, 5.5, 9, 10));
    drawTextLines(p, QRectF(8.5, 9.5, 4, 0), 3);
}

void drawLetter(QPainter &p, const QString &letter, bool bold, bool italic, bool underline)
{
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(14);
    font.setBold(bold);
    font.setItalic(italic);
    p.setFont(font);
    p.setPen(QColor(20, 20, 24));
    p.drawText(QRectF(0, -1, Size, underline ? 14 : 16), Qt::AlignCenter, letter);
    if (underline) {
        p.setPen(QPen(QColor(20, 20, 24), 1));
        p.drawLine(QPointF(3, 14.5), QPointF(13, 14.5));
    }
}

} // namespace

QImage editorIcon(int kind)
{
    QImage image(Size, Size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    switch (kind) {
    case 0: drawNew(p); break;
    case 1: drawOpen(p); break;
    case 2: drawSave(p); break;
    case 3: drawPrint(p); break;
    case 4: drawCut(p); break;
    case 5: drawCopy(p); break;
    case 6: drawPaste(p); break;
    case 7: drawLetter(p, QStringLiteral("B"), true, false, false); break;
    case 8: drawLetter(p, QStringLiteral("I"), false, true, false); break;
    case 9: drawLetter(p, QStringLiteral("U"), false, false, true); break;
    default: break;
    }
    return image;
}

} // namespace pictures
