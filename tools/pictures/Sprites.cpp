#include "Drawing.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace pictures {
namespace {

constexpr int Frame = 32;

struct FireflyLook
{
    double heading;     // degrees clockwise from "up"
    QColor glow;        // colour of the lit tail
    bool flying;        // hind wings spread
    int glowFrame;      // frame that shows the light
};

constexpr QColor matte(11, 18, 48); // what the scene mostly looks like behind a firefly

// Draws one firefly, heading up, centred on the origin, onto a transparent layer.
void drawBody(QPainter &p, const FireflyLook &look, bool lit)
{
    p.setPen(Qt::NoPen);
    if (look.flying) {
        p.setBrush(QColor(200, 210, 235, 60));
        p.drawEllipse(QRectF(-8, -2, 6, 9));
        p.drawEllipse(QRectF(2, -2, 6, 9));
    }
    // Tail segments: pale when off, bright when lit.
    p.setBrush(lit ? QColor(255, 255, 215) : QColor(150, 150, 105));
    p.drawEllipse(QRectF(-2.6, 3.5, 5.2, 5.5));
    // Wing covers.
    p.setBrush(QColor(28, 24, 22));
    QPainterPath covers;
    covers.addRoundedRect(QRectF(-3.4, -3.5, 6.8, 10), 3, 3);
    p.drawPath(covers);
    p.setPen(QPen(QColor(70, 60, 52), 0.7));
    p.drawLine(QPointF(0, -3), QPointF(0, 8));
    p.setPen(Qt::NoPen);
    // Pronotum: pink-orange with a dark spot, the head under its edge.
    p.setBrush(QColor(236, 112, 82));
    p.drawEllipse(QRectF(-3.2, -7.2, 6.4, 4.6));
    p.setBrush(QColor(40, 26, 24));
    p.drawEllipse(QRectF(-1.0, -6.4, 2.0, 2.4));
    p.drawEllipse(QRectF(-1.6, -8.8, 3.2, 2.2));
    // Antennae.
    p.setPen(QPen(QColor(30, 26, 24), 0.8));
    p.drawLine(QPointF(-0.8, -8.4), QPointF(-3.2, -12));
    p.drawLine(QPointF(0.8, -8.4), QPointF(3.2, -12));
}

QImage drawFrame(const FireflyLook &look, bool lit, QImage *silhouette)
{
    QImage layer(Frame, Frame, QImage::Format_ARGB32);
    layer.fill(Qt::transparent);
    {
        QPainter p(&layer);
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(16, 16);
        p.rotate(look.heading);
        p.scale(0.85, 0.85);
        drawBody(p, look, lit);
        if (lit) {
            // The light: a round glow around the tail, fading into the night.
            const double radius = 11.5;
            QRadialGradient g(QPointF(0, 8), radius);
            QColor mid = look.glow;
            QColor faint = look.glow;
            QColor edge = look.glow;
            mid.setAlpha(170);
            faint.setAlpha(45);
            edge.setAlpha(0);
            g.setColorAt(0.0, QColor(255, 255, 235));
            g.setColorAt(0.22, look.glow);
            g.setColorAt(0.4, mid);
            g.setColorAt(0.7, faint);
            g.setColorAt(1.0, edge);
            p.setPen(Qt::NoPen);
            p.setBrush(g);
            p.drawEllipse(QPointF(0, 8), radius, radius);
        }
    }

    QImage sprite(Frame, Frame, QImage::Format_RGB32);
    *silhouette = QImage(Frame, Frame, QImage::Format_RGB32);
    for (int y = 0; y < Frame; ++y) {
        for (int x = 0; x < Frame; ++x) {
            const QRgb c = layer.pixel(x, y);
            const double a = qAlpha(c) / 255.0;
            if (a < 0.12) {
                sprite.setPixel(x, y, qRgb(255, 255, 255));
                silhouette->setPixel(x, y, qRgb(0, 0, 0));
                continue;
            }
            // Blend over the night colour so soft edges melt into the scene.
            const QRgb over = qRgb(int(qRed(c) * a + matte.red() * (1 - a)),
                                   int(qGreen(c) * a + matte.green() * (1 - a)),
                                   int(qBlue(c) * a + matte.blue() * (1 - a)));
            sprite.setPixel(x, y, over);
            silhouette->setPixel(x, y, qRgb(255, 255, 255));
        }
    }
    return sprite;
}

} // namespace

QImage fireflySheet(int kind)
{
    const FireflyLook looks[] = {
        {-60, QColor(236, 252, 104), true, 1},  // fi: drifts left and up
        {60, QColor(255, 220, 92), true, 0},   // tetora: drifts right and up
        {90, QColor(150, 255, 170), false, 0}, // mozaiku: walks right near the ground
    };
    const FireflyLook &look = looks[kind];
    QImage sheet(2 * Frame, 2 * Frame, QImage::Format_RGB32);
    QPainter p(&sheet);
    for (int frame = 0; frame < 2; ++frame) {
        QImage silhouette;
        const QImage sprite = drawFrame(look, frame == look.glowFrame, &silhouette);
        p.drawImage(frame * Frame, 0, sprite);
        p.drawImage(frame * Frame, Frame, silhouette);
    }
    return sheet;
}

} // namespace pictures
