#include "habitat/SpriteSheets.h"

#include <QPainter>

namespace habitat {

SpriteSheets SpriteSheets::builtIn()
{
    SpriteSheets result;
    const char *names[] = {":/habitat/fi.png", ":/habitat/tetora.png", ":/habitat/mozaiku.png"};
    for (std::size_t i = 0; i < result.sheets.size(); ++i) {
        QImage sheet(QString::fromLatin1(names[i]));
        if (sheet.isNull()) {
            // Without its picture a group draws nothing visible: a black
            // silhouette ORs nothing and a white sprite ANDs nothing.
            sheet = QImage(2 * SpriteSize, 2 * SpriteSize, QImage::Format_RGB32);
            sheet.fill(Qt::white);
            QPainter(&sheet).fillRect(0, SpriteSize, 2 * SpriteSize, SpriteSize, Qt::black);
        }
        result.sheets[i] = sheet.convertToFormat(QImage::Format_RGB32);
    }
    return result;
}

void composeSprite(QPainter &painter, const QImage &sheet, int frame, int x, int y)
{
    const int left = SpriteSize * frame;
    painter.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
    painter.drawImage(QPoint(x, y), sheet, QRect(left, SpriteSize, SpriteSize, SpriteSize));
    painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
    painter.drawImage(QPoint(x, y), sheet, QRect(left, 0, SpriteSize, SpriteSize));
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void composeSprite(QImage &canvas, const QImage &sheet, int frame, int x, int y)
{
    QPainter painter(&canvas);
    composeSprite(painter, sheet, frame, x, y);
}

} // namespace habitat
