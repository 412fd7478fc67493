#include "habitat/SpriteSheets.h"

#include <QImage>
#include <QPainter>
#include <QTest>

namespace {

// Frame 0: an 8 x 8 firefly of two colours inside a matching silhouette.
// Frame 1: a green 4 x 4 block.
QImage testSheet()
{
    QImage sheet(64, 64, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    p.fillRect(0, 32, 64, 32, Qt::black);
    // Frame 0 firefly: rows 4..7 dark red, rows 8..11 pale yellow, columns 4..11.
    p.fillRect(4, 4, 8, 4, QColor(120, 10, 10));
    p.fillRect(4, 8, 8, 4, QColor(250, 250, 160));
    p.fillRect(4, 32 + 4, 8, 8, Qt::white);
    // Frame 1 firefly.
    p.fillRect(32 + 20, 20, 4, 4, QColor(0, 200, 0));
    p.fillRect(32 + 20, 32 + 20, 4, 4, Qt::white);
    return sheet;
}

QImage canvas(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    // A canvas with a pattern, so an operation that ignores the destination shows.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 7 % 256, y * 5 % 256, (x + y) % 256));
    return image;
}

} // namespace

class TestSpriteComposition : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void insideSilhouetteShowsSpriteOutsideKeepsCanvas()
    {
        const QImage before = canvas(40, 30);
        QImage after = before;
        habitat::composeSprite(after, testSheet(), 0, 10, 6);

        QCOMPARE(after.pixel(10 + 4, 6 + 4), qRgb(120, 10, 10));
        QCOMPARE(after.pixel(10 + 11, 6 + 11), qRgb(250, 250, 160));
        // Everything else of the 32 x 32 block, and the canvas around it, is unchanged.
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 40; ++x) {
                const bool inside = x >= 14 && x < 22 && y >= 10 && y < 18;
                if (!inside)
                    QCOMPARE(after.pixel(x, y), before.pixel(x, y));
            }
        }
    }

    void frameOneTakesTheRightHalf()
    {
        const QImage before = canvas(64, 64);
        QImage after = before;
        habitat::composeSprite(after, testSheet(), 1, 0, 0);
        QCOMPARE(after.pixel(21, 21), qRgb(0, 200, 0));
        QCOMPARE(after.pixel(5, 5), before.pixel(5, 5));
    }

    void blocksAtTheEdgesAreClipped()
    {
        const QImage before = canvas(20, 20);
        QImage after = before;
        // Only rows and columns 9..11 of the sprite reach the canvas's top-left corner.
        habitat::composeSprite(after, testSheet(), 0, -9, -9);
        QCOMPARE(after.pixel(0, 0), qRgb(250, 250, 160));
        QCOMPARE(after.pixel(2, 2), qRgb(250, 250, 160));
        QCOMPARE(after.pixel(3, 3), before.pixel(3, 3));
        // Past the bottom-right corner, and wholly outside: no change, no fault.
        habitat::composeSprite(after, testSheet(), 0, 12, 12);
        QCOMPARE(after.pixel(16, 16), qRgb(120, 10, 10));
        QImage untouched = after;
        habitat::composeSprite(after, testSheet(), 0, 200, -300);
        habitat::composeSprite(after, testSheet(), 0, -42, 30);
        QCOMPARE(after, untouched);
    }

    // The sheets drawn for the program keep to the layout the drawing relies on.
    void builtInSheetsFollowTheLayout_data()
    {
        QTest::addColumn<int>("group");
        QTest::addColumn<int>("glowingFrame");
        QTest::newRow("fi") << 1 << 1;
        QTest::newRow("tetora") << 2 << 0;
        QTest::newRow("mozaiku") << 3 << 0;
    }
    void builtInSheetsFollowTheLayout()
    {
        QFETCH(int, group);
        QFETCH(int, glowingFrame);
        const habitat::SpriteSheets sheets = habitat::SpriteSheets::builtIn();
        const QImage &sheet = sheets.forGroup(group);
        QCOMPARE(sheet.size(), QSize(64, 64));

        int bright[2] = {0, 0};
        int covered[2] = {0, 0};
        for (int frame = 0; frame < 2; ++frame) {
            for (int y = 0; y < 32; ++y) {
                for (int x = 0; x < 32; ++x) {
                    const QRgb sprite = sheet.pixel(32 * frame + x, y);
                    const QRgb mask = sheet.pixel(32 * frame + x, 32 + y);
                    QVERIFY2(mask == qRgb(0, 0, 0) || mask == qRgb(255, 255, 255), "silhouette is black and white");
                    if (mask == qRgb(0, 0, 0)) {
                        QVERIFY2(sprite == qRgb(255, 255, 255), "outside the silhouette the sprite is white");
                        continue;
                    }
                    ++covered[frame];
                    if (qGreen(sprite) > 200)
                        ++bright[frame];
                }
            }
        }
        const int dark = 1 - glowingFrame;
        QVERIFY(covered[0] > 20 && covered[1] > 20);
        QVERIFY2(covered[glowingFrame] > covered[dark], "the glow widens the silhouette");
        QVERIFY2(bright[glowingFrame] > 10 && bright[dark] == 0, "only the glowing frame is lit");
    }
};

QTEST_MAIN(TestSpriteComposition)
#include "tst_SpriteComposition.moc"
