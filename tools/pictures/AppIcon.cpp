#include "Drawing.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace pictures {

// Drawn on a 256-unit square and scaled, so every size shows the same
// picture: a night-blue tile, a white envelope and a firefly glowing above
// its flap. At 16 and 22 pixels the glow is drawn larger to stay visible.
QImage appIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);

    QLinearGradient sky(0, 0, 0, 256);
    sky.setColorAt(0, QColor(18, 28, 72));
    sky.setColorAt(1, QColor(6, 10, 32));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 44, 44);

    // A few stars, left out where they would be single stray pixels.
    if (size >= 48) {
        p.setBrush(QColor(230, 235, 255));
        for (const QPointF &star : {QPointF(44, 48), QPointF(206, 40), QPointF(188, 96), QPointF(60, 104)})
            p.drawEllipse(star, 4, 4);
    }

    // The envelope.
    const QRectF envelope(40, 120, 176, 108);
    p.setPen(QPen(QColor(150, 160, 200), 6));
    p.setBrush(QColor(250, 250, 255));
    p.drawRoundedRect(envelope, 10, 10);
    QPainterPath flap(envelope.topLeft() + QPointF(8, 8));
    flap.lineTo(envelope.center().x(), envelope.top() + envelope.height() * 0.58);
    flap.lineTo(envelope.topRight() + QPointF(-8, 8));
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);

    // The firefly: a soft yellow-green glow around a bright core.
    const QPointF fly(128, 72);
    const double glow = size <= 22 ? 60 : 48;
    QRadialGradient light(fly, glow);
    light.setColorAt(0, QColor(255, 255, 170, 255));
    light.setColorAt(0.35, QColor(210, 255, 90, 200));
    light.setColorAt(1, QColor(160, 255, 60, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(light);
    p.drawEllipse(fly, glow, glow);
    p.setBrush(QColor(255, 255, 220));
    p.drawEllipse(fly, 12, 12);
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace pictures
