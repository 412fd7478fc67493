#include "Drawing.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace pictures {
namespace {

constexpr int Width = 551;
constexpr int Height = 420;

void drawSky(QPainter &p)
{
    QLinearGradient sky(0, 0, 0, 270);
    sky.setColorAt(0.0, QColor(2, 4, 18));
    sky.setColorAt(0.45, QColor(8, 15, 48));
    sky.setColorAt(0.8, QColor(22, 36, 84));
    sky.setColorAt(1.0, QColor(44, 60, 112));
    p.fillRect(0, 0, Width, 270, sky);

    // Soft veils of light give the sky depth without drawing stars.
    const struct { double x, y, r; QColor c; } veils[] = {
        {120, 60, 190, QColor(60, 40, 120, 40)},
        {420, 150, 220, QColor(30, 80, 140, 36)},
        {300, 250, 260, QColor(70, 90, 160, 40)},
    };
    for (const auto &v : veils) {
        QRadialGradient g(v.x, v.y, v.r);
        g.setColorAt(0, v.c);
        g.setColorAt(1, QColor(v.c.red(), v.c.green(), v.c.blue(), 0));
        p.fillRect(0, 0, Width, 270, g);
    }
}

void drawMoon(QPainter &p, QPointF centre, double radius)
{
    QRadialGradient halo(centre, radius * 5);
    halo.setColorAt(0.0, QColor(255, 244, 200, 110));
    halo.setColorAt(0.25, QColor(200, 200, 230, 40));
    halo.setColorAt(1.0, QColor(120, 140, 200, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(halo);
    p.drawEllipse(centre, radius * 5, radius * 5);

    QRadialGradient disc(centre - QPointF(radius * 0.3, radius * 0.3), radius * 1.3);
    disc.setColorAt(0.0, QColor(255, 252, 236));
    disc.setColorAt(1.0, QColor(228, 216, 170));
    p.setBrush(disc);
    p.drawEllipse(centre, radius, radius);

    // A few faint maria.
    p.setBrush(QColor(190, 180, 140, 70));
    p.drawEllipse(centre + QPointF(-4, -3), 5, 4);
    p.drawEllipse(centre + QPointF(5, 4), 4, 3);
    p.drawEllipse(centre + QPointF(2, -7), 3, 2);
}

QPainterPath ridge(Rng &rng, double base, double amplitude, double roughness, double bottom)
{
    QPainterPath path(QPointF(0, bottom));
    double phase1 = uniform(rng, 0, 6.28), phase2 = uniform(rng, 0, 6.28);
    for (int x = 0; x <= Width; x += 3) {
        const double y = base - amplitude * (0.6 * std::sin(x / 70.0 + phase1) + 0.4 * std::sin(x / 23.0 + phase2))
                         - uniform(rng, 0, roughness);
        path.lineTo(x, y);
    }
    path.lineTo(Width, bottom);
    path.closeSubpath();
    return path;
}

void drawHills(QPainter &p, Rng &rng)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(16, 24, 58));
    p.drawPath(ridge(rng, 226, 22, 1.5, 300));
    p.setBrush(QColor(9, 14, 38));
    p.drawPath(ridge(rng, 252, 12, 1.0, 300));

    QLinearGradient ground(0, 255, 0, Height);
    ground.setColorAt(0.0, QColor(7, 12, 30));
    ground.setColorAt(1.0, QColor(2, 5, 12));
    p.setBrush(ground);
    p.drawRect(0, 262, Width, Height - 262);
}

void drawPond(QPainter &p, Rng &rng, double moonX)
{
    const QRectF pond(150, 292, 300, 62);
    QPainterPath shape;
    shape.addEllipse(pond);

    QLinearGradient water(0, pond.top(), 0, pond.bottom());
    water.setColorAt(0.0, QColor(40, 58, 108));
    water.setColorAt(0.5, QColor(20, 32, 72));
    water.setColorAt(1.0, QColor(8, 14, 36));
    p.setPen(Qt::NoPen);
    p.setBrush(water);
    p.drawPath(shape);

    p.save();
    p.setClipPath(shape);
    // The moon's broken reflection.
    for (double y = pond.top() + 3; y < pond.bottom() - 3; y += 2.0) {
        const double t = (y - pond.top()) / pond.height();
        const double fade = std::pow(1.0 - t, 1.4);
        const double half = 2 + 7 * t + uniform(rng, 0, 3);
        const double shift = uniform(rng, -2.5, 2.5);
        QColor c(255, 236, 170, int(uniform(rng, 120, 210) * fade));
        p.setPen(QPen(c, 1.0));
        p.drawLine(QPointF(moonX - half + shift, y), QPointF(moonX + half + shift, y));
    }
    // Ripples.
    for (int i = 0; i < 22; ++i) {
        const double y = uniform(rng, pond.top() + 6, pond.bottom() - 4);
        const double x = uniform(rng, pond.left() + 20, pond.right() - 70);
        p.setPen(QPen(QColor(120, 150, 210, int(uniform(rng, 30, 80))), 1));
        p.drawLine(QPointF(x, y), QPointF(x + uniform(rng, 12, 50), y));
    }
    p.restore();

    // The dark bank around the water.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(3, 6, 14), 3));
    p.drawArc(pond.adjusted(-1, -1, 1, 1), 0, 180 * 16);
}

void drawBroadleafTree(QPainter &p, Rng &rng, double x, double baseY, double crownY, double spread)
{
    const QColor ink(2, 4, 10);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    QPainterPath trunk;
    trunk.moveTo(x - 9, baseY);
    trunk.cubicTo(x - 6, baseY - 60, x - 4, crownY + 80, x - 2, crownY + 40);
    trunk.lineTo(x + 4, crownY + 40);
    trunk.cubicTo(x + 6, crownY + 90, x + 8, baseY - 50, x + 14, baseY);
    trunk.closeSubpath();
    p.drawPath(trunk);
    // Branches.
    p.setPen(QPen(ink, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(x, crownY + 90), QPointF(x + spread * 0.6, crownY + 40));
    p.drawLine(QPointF(x, crownY + 110), QPointF(x - spread * 0.5, crownY + 70));
    p.setPen(Qt::NoPen);
    // Crown: many overlapping leaf clumps with ragged edges.
    for (int i = 0; i < 140; ++i) {
        const double a = uniform(rng, 0, 6.28);
        const double r = std::sqrt(uniform(rng, 0, 1));
        const double cx = x + std::cos(a) * r * spread;
        const double cy = crownY + 60 + std::sin(a) * r * spread * 0.6;
        const double rad = uniform(rng, 5, 16) * (1.2 - r * 0.5);
        p.drawEllipse(QPointF(cx, cy), rad, rad * 0.8);
    }
}

void drawConifer(QPainter &p, Rng &rng, double x, double baseY, double height, double width)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(2, 4, 10));
    p.drawRect(QRectF(x - 2, baseY - 14, 4, 14));
    QPainterPath tree(QPointF(x, baseY - height));
    const int tiers = 9;
    for (int i = 1; i <= tiers; ++i) {
        const double y = baseY - height + height * i / tiers - 8;
        const double w = width * i / tiers * 0.5 + uniform(rng, -2, 2);
        tree.lineTo(x + w, y);
        tree.lineTo(x + w * 0.55, y - 2);
    }
    for (int i = tiers; i >= 1; --i) {
        const double y = baseY - height + height * i / tiers - 8;
        const double w = width * i / tiers * 0.5 + uniform(rng, -2, 2);
        tree.lineTo(x - w * 0.55, y - 2);
        tree.lineTo(x - w, y);
    }
    tree.closeSubpath();
    p.drawPath(tree);
}

void drawGrass(QPainter &p, Rng &rng, double fromX, double toX, double baseY, double maxHeight, int count, QColor ink)
{
    for (int i = 0; i < count; ++i) {
        const double x = uniform(rng, fromX, toX);
        const double h = uniform(rng, maxHeight * 0.3, maxHeight);
        const double lean = uniform(rng, -h * 0.4, h * 0.4);
        QPainterPath blade(QPointF(x - 1.5, baseY));
        blade.quadTo(x + lean * 0.3, baseY - h * 0.6, x + lean, baseY - h);
        blade.quadTo(x + lean * 0.3 + 1, baseY - h * 0.6, x + 1.5, baseY);
        blade.closeSubpath();
        p.fillPath(blade, ink);
    }
}

void drawReeds(QPainter &p, Rng &rng, double fromX, double toX, double baseY)
{
    const QColor ink(3, 6, 14);
    for (int i = 0; i < 7; ++i) {
        const double x = uniform(rng, fromX, toX);
        const double h = uniform(rng, 40, 70);
        const double lean = uniform(rng, -8, 8);
        p.setPen(QPen(ink, 1.6));
        p.drawLine(QPointF(x, baseY), QPointF(x + lean, baseY - h));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(8, 10, 16));
        p.drawRoundedRect(QRectF(x + lean * 0.82 - 2.5, baseY - h * 0.82 - 6, 5, 13), 2.5, 2.5);
    }
}

} // namespace

QImage nightScene()
{
    Rng rng(20260611);
    QImage image(Width, Height, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    drawSky(p);
    const QPointF moon(236, 118);
    drawMoon(p, moon, 15);
    drawHills(p, rng);
    // Grass on the far bank, partly hidden behind the water's edge.
    drawGrass(p, rng, 0, Width, 298, 22, 160, QColor(5, 9, 20));
    drawPond(p, rng, moon.x());

    drawReeds(p, rng, 150, 200, 318);
    drawReeds(p, rng, 410, 455, 316);
    drawBroadleafTree(p, rng, 62, 330, 118, 78);
    drawConifer(p, rng, 488, 300, 190, 62);
    drawConifer(p, rng, 526, 310, 230, 70);
    drawConifer(p, rng, 452, 290, 120, 40);

    drawGrass(p, rng, 0, Width, 372, 40, 240, QColor(3, 6, 14));
    drawGrass(p, rng, 0, Width, Height + 2, 56, 320, QColor(1, 3, 8));
    return image;
}

} // namespace pictures
