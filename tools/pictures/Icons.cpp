#include "Drawing.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace pictures {
namespace {

constexpr int Size = 32;

QImage blank()
{
    QImage image(Size, Size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

void drawCan(QPainter &p)
{
    p.translate(16, 17);
    p.rotate(-28);
    // Shadow.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawEllipse(QRectF(-9, 9, 20, 5));
    // Body.
    QLinearGradient metal(-7, 0, 7, 0);
    metal.setColorAt(0.0, QColor(150, 20, 24));
    metal.setColorAt(0.35, QColor(232, 60, 52));
    metal.setColorAt(0.55, QColor(255, 150, 140));
    metal.setColorAt(1.0, QColor(120, 14, 20));
    p.setBrush(metal);
    p.setPen(QPen(QColor(70, 10, 14), 0.8));
    p.drawRoundedRect(QRectF(-7, -12, 14, 24), 2, 2);
    // White band with a wave.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(245, 245, 245));
    QPainterPath band;
    band.moveTo(-7, -2);
    band.cubicTo(-3, -5, 3, 1, 7, -2);
    band.lineTo(7, 2);
    band.cubicTo(3, 5, -3, -1, -7, 2);
    band.closeSubpath();
    p.drawPath(band);
    // Lid and rim.
    QLinearGradient lid(-7, 0, 7, 0);
    lid.setColorAt(0.0, QColor(130, 130, 140));
    lid.setColorAt(0.5, QColor(235, 235, 240));
    lid.setColorAt(1.0, QColor(120, 120, 130));
    p.setBrush(lid);
    p.setPen(QPen(QColor(80, 80, 90), 0.6));
    p.drawEllipse(QRectF(-7, -14, 14, 4));
    p.drawEllipse(QRectF(-6.5, 10.5, 13, 3));
    // A dent.
    p.setPen(QPen(QColor(110, 10, 16, 180), 1));
    p.drawArc(QRectF(-2, 4, 8, 6), 20 * 16, 120 * 16);
}

void drawPaper(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawEllipse(QRectF(5, 24, 24, 6));
    // A crumpled ball: a jagged outline, and facets around a few creases
    // shaded by how they face the light (from the top left).
    Rng rng(7);
    const QPointF centre(16.5, 16);
    const int corners = 15;
    QPolygonF outline;
    for (int i = 0; i < corners; ++i) {
        const double a = 2 * M_PI * i / corners;
        const double r = (i % 2 ? 10.0 : 12.5) + uniform(rng, -1.2, 1.2);
        outline << centre + QPointF(r * std::cos(a), r * 0.92 * std::sin(a));
    }
    p.setPen(QPen(QColor(110, 114, 124), 0.9));
    p.setBrush(QColor(236, 236, 230));
    p.drawPolygon(outline);
    const QPointF inner = centre + QPointF(1.5, 1);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < corners; ++i) {
        const QPointF a = outline[i];
        const QPointF b = outline[(i + 1) % corners];
        const QPointF mid = (a + b) / 2 - centre;
        const double light = -(mid.x() + mid.y()) / 16.0; // -1 shadow .. 1 lit
        const int shade = qBound(150, int(215 + 35 * light + uniform(rng, -18, 18)), 255);
        p.setBrush(QColor(shade, shade, shade - 6));
        const QPointF tri[] = {a, b, inner};
        p.drawPolygon(tri, 3);
    }
    p.setPen(QPen(QColor(140, 144, 152), 0.7));
    for (int i = 0; i < corners; i += 3)
        p.drawLine(inner, outline[i]);
    // Faded lines of writing.
    p.setPen(QPen(QColor(80, 100, 170, 140), 0.7));
    p.drawLine(QPointF(10, 11), QPointF(16, 9));
    p.drawLine(QPointF(10, 14), QPointF(17, 12));
}

void drawCigaretteEnd(QPainter &p)
{
    p.translate(16, 18);
    p.rotate(-20);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawEllipse(QRectF(-13, 3, 26, 4));
    // Filter.
    QLinearGradient filter(0, -3, 0, 3);
    filter.setColorAt(0.0, QColor(240, 176, 90));
    filter.setColorAt(1.0, QColor(176, 110, 44));
    p.setBrush(filter);
    p.setPen(QPen(QColor(120, 70, 30), 0.6));
    p.drawRoundedRect(QRectF(-13, -3, 10, 6), 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 130, 60));
    for (int i = 0; i < 5; ++i)
        p.drawEllipse(QPointF(-11 + i * 2, -1 + (i % 2)), 0.5, 0.5);
    // Paper, bent slightly where it was stubbed out.
    QLinearGradient paper(0, -3, 0, 3);
    paper.setColorAt(0.0, QColor(255, 255, 255));
    paper.setColorAt(1.0, QColor(200, 200, 200));
    p.setBrush(paper);
    p.setPen(QPen(QColor(140, 140, 140), 0.6));
    p.drawRect(QRectF(-3, -3, 11, 6));
    // Burnt tip with ash.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 60, 56));
    p.drawRoundedRect(QRectF(7, -3, 4, 6), 1.5, 1.5);
    p.setBrush(QColor(150, 146, 140));
    p.drawEllipse(QRectF(8.5, -2, 3, 3));
    p.setBrush(QColor(255, 120, 40));
    p.drawEllipse(QRectF(9.5, 0.5, 1.6, 1.6));
    // A thin wisp of smoke.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(210, 210, 220, 150), 0.9));
    QPainterPath smoke(QPointF(10, -3));
    smoke.cubicTo(13, -7, 8, -9, 12, -14);
    p.drawPath(smoke);
}

void drawEnvelope(QPainter &p, QRectF r, QColor paper)
{
    p.setPen(QPen(QColor(70, 80, 110), 1));
    p.setBrush(paper);
    p.drawRoundedRect(r, 1.5, 1.5);
    p.setBrush(Qt::NoBrush);
    QPainterPath flap(r.topLeft() + QPointF(1, 1));
    flap.lineTo(r.center().x(), r.top() + r.height() * 0.6);
    flap.lineTo(r.topRight() + QPointF(-1, 1));
    p.drawPath(flap);
}

void drawNewMail(QPainter &p)
{
    // A sheet of paper and a pencil.
    p.setPen(QPen(QColor(90, 100, 120), 1));
    p.setBrush(QColor(255, 255, 255));
    QPainterPath sheet(QPointF(6, 3));
    sheet.lineTo(20, 3);
    sheet.lineTo(26, 9);
    sheet.lineTo(26, 29);
    sheet.lineTo(6, 29);
    sheet.closeSubpath();
    p.drawPath(sheet);
    p.setBrush(QColor(220, 226, 236));
    const QPointF corner[] = {{20, 3}, {20, 9}, {26, 9}};
    p.drawPolygon(corner, 3);
    p.setPen(QPen(QColor(150, 170, 210), 1));
    for (int y = 12; y <= 24; y += 4)
        p.drawLine(QPointF(9, y), QPointF(y < 20 ? 22 : 16, y));
    // Pencil.
    p.translate(22, 22);
    p.rotate(45);
    p.setPen(QPen(QColor(120, 80, 20), 0.8));
    p.setBrush(QColor(255, 196, 40));
    p.drawRect(QRectF(-2.5, -12, 5, 14));
    p.setBrush(QColor(240, 150, 150));
    p.drawRect(QRectF(-2.5, -14, 5, 2.5));
    p.setBrush(QColor(245, 220, 170));
    const QPointF tip[] = {{-2.5, 2}, {2.5, 2}, {0, 7}};
    p.drawPolygon(tip, 3);
    p.setBrush(QColor(40, 40, 40));
    const QPointF lead[] = {{-0.9, 5}, {0.9, 5}, {0, 7}};
    p.drawPolygon(lead, 3);
}

void drawArrowDown(QPainter &p, QPointF at, QColor fill)
{
    QPainterPath arrow(at + QPointF(-3, -9));
    arrow.lineTo(at + QPointF(3, -9));
    arrow.lineTo(at + QPointF(3, -2));
    arrow.lineTo(at + QPointF(7, -2));
    arrow.lineTo(at + QPointF(0, 6));
    arrow.lineTo(at + QPointF(-7, -2));
    arrow.lineTo(at + QPointF(-3, -2));
    arrow.closeSubpath();
    p.setPen(QPen(fill.darker(170), 1));
    p.setBrush(fill);
    p.drawPath(arrow);
}

void drawReceive(QPainter &p)
{
    drawEnvelope(p, QRectF(3, 13, 26, 17), QColor(255, 250, 230));
    drawArrowDown(p, QPointF(16, 12), QColor(60, 190, 90));
}

void drawHistory(QPainter &p)
{
    // A tray holding a pile of received letters.
    drawEnvelope(p, QRectF(8, 3, 20, 13), QColor(235, 240, 250));
    drawEnvelope(p, QRectF(5, 7, 20, 13), QColor(255, 250, 230));
    p.setPen(QPen(QColor(40, 70, 130), 1));
    QLinearGradient tray(0, 16, 0, 29);
    tray.setColorAt(0.0, QColor(110, 160, 230));
    tray.setColorAt(1.0, QColor(50, 90, 170));
    p.setBrush(tray);
    QPainterPath shape(QPointF(2, 16));
    shape.lineTo(10, 16);
    shape.lineTo(12, 20);
    shape.lineTo(20, 20);
    shape.lineTo(22, 16);
    shape.lineTo(30, 16);
    shape.lineTo(30, 29);
    shape.lineTo(2, 29);
    shape.closeSubpath();
    p.drawPath(shape);
}

void drawGear(QPainter &p)
{
    p.translate(16, 16);
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const double a0 = (i - 0.5) * M_PI / teeth;
        const double a1 = (i + 0.5) * M_PI / teeth;
        const double r = (i % 2 == 0) ? 14 : 10.5;
        const QPointF p0(r * std::cos(a0), r * std::sin(a0));
        const QPointF p1(r * std::cos(a1), r * std::sin(a1));
        if (i == 0)
            gear.moveTo(p0);
        else
            gear.lineTo(p0);
        gear.lineTo(p1);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(QPointF(0, 0), 4.5, 4.5);
    QRadialGradient metal(QPointF(-4, -4), 18);
    metal.setColorAt(0.0, QColor(230, 234, 240));
    metal.setColorAt(1.0, QColor(110, 118, 132));
    p.setPen(QPen(QColor(60, 66, 80), 1));
    p.setBrush(metal);
    p.drawPath(gear.subtracted(hole));
}

void drawAddressBook(QPainter &p)
{
    // Book cover with a spine and a person on it.
    QLinearGradient cover(4, 0, 28, 0);
    cover.setColorAt(0.0, QColor(30, 110, 90));
    cover.setColorAt(1.0, QColor(60, 170, 130));
    p.setPen(QPen(QColor(20, 70, 60), 1));
    p.setBrush(cover);
    p.drawRoundedRect(QRectF(6, 3, 22, 27), 2, 2);
    p.setBrush(QColor(20, 80, 66));
    p.drawRect(QRectF(6, 3, 4, 27));
    p.setPen(QPen(QColor(230, 230, 230), 1.2));
    for (int y = 7; y <= 25; y += 6)
        p.drawLine(QPointF(4, y), QPointF(8, y));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255));
    p.drawEllipse(QPointF(19, 12), 3.6, 3.6);
    QPainterPath body(QPointF(12.5, 24));
    body.cubicTo(12.5, 16, 25.5, 16, 25.5, 24);
    body.closeSubpath();
    p.drawPath(body);
}

} // namespace

QImage litter(int kind)
{
    QImage image = blank();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    if (kind == 0)
        drawCan(p);
    else if (kind == 1)
        drawPaper(p);
    else
        drawCigaretteEnd(p);
    return image;
}

QImage toolbarIcon(int kind)
{
    QImage image = blank();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    switch (kind) {
    case 0: drawNewMail(p); break;
    case 1: drawReceive(p); break;
    case 2: drawHistory(p); break;
    case 3: drawGear(p); break;
    default: drawAddressBook(p); break;
    }
    return image;
}

} // namespace pictures
