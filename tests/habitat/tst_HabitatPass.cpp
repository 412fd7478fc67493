#include "common/ProfileFile.h"
#include "habitat/Habitat.h"
#include "habitat/HabitatHalted.h"
#include "support/ScriptedRandom.h"
#include "support/TempProgramFolder.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QTest>

using testsupport::ScriptedRandom;
using testsupport::TempProgramFolder;

namespace {

QByteArray jpeg(QColor colour, QSize size = QSize(551, 420))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 95);
    return bytes;
}

void writeBackground(const TempProgramFolder &folder, const QByteArray &bytes)
{
    folder.writeDataFile(QStringLiteral("Adata/Back.jpg"), bytes);
}

// Dates a file an hour back, as if it was written long before the pass:
// content read from a freshly written file is never kept, since its time
// may not change at a second write within the same clock tick.
void age(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
}

bool near(QRgb a, QColor b)
{
    return qAbs(qRed(a) - b.red()) <= 4 && qAbs(qGreen(a) - b.green()) <= 4 && qAbs(qBlue(a) - b.blue()) <= 4;
}

// Firefly sheets that paint a plain magenta 32 x 32 block, easy to find.
habitat::SpriteSheets magentaSheets()
{
    QImage sheet(64, 64, QImage::Format_RGB32);
    sheet.fill(QColor(255, 0, 255));
    QPainter(&sheet).fillRect(0, 32, 64, 32, Qt::white);
    habitat::SpriteSheets sheets;
    sheets.sheets = {sheet, sheet, sheet};
    return sheets;
}

int countColour(const QImage &image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == colour;
    return n;
}

// Stars lie in the top 150 rows and left 480 columns; this spot never has one.
constexpr int FreeX = 520;
constexpr int FreeY = 200;

} // namespace

class TestHabitatPass : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { habitat::HabitatHalted = 0; }

    void nameDecidesWhetherFirefliesAreHalted_data()
    {
        QTest::addColumn<QByteArray>("profile");
        QTest::addColumn<int>("halted");
        QTest::newRow("no profile") << QByteArray() << 0;
        QTest::newRow("1") << QByteArray("[EXEINI]\r\nNAME=1\r\n") << 1;
        QTest::newRow("1.0") << QByteArray("[EXEINI]\r\nNAME=1.0\r\n") << 1;
        QTest::newRow("lower-case key and section") << QByteArray("[exeini]\r\nname=1\r\n") << 1;
        QTest::newRow("0") << QByteArray("[EXEINI]\r\nNAME=0\r\n") << 0;
        QTest::newRow("2") << QByteArray("[EXEINI]\r\nNAME=2\r\n") << 0;
        QTest::newRow("empty value") << QByteArray("[EXEINI]\r\nNAME=\r\n") << 0;
        QTest::newRow("not a number") << QByteArray("[EXEINI]\r\nNAME=dead\r\n") << 0;
        QTest::newRow("other section") << QByteArray("[OTHER]\r\nNAME=1\r\n") << 0;
    }
    void nameDecidesWhetherFirefliesAreHalted()
    {
        QFETCH(QByteArray, profile);
        QFETCH(int, halted);
        TempProgramFolder folder;
        if (!profile.isNull())
            folder.writeDataFile(QStringLiteral("ini.ini"), profile);
        ScriptedRandom rnd(0.5);
        habitat::HabitatHalted = std::int16_t(1 - halted);
        habitat::Habitat h(magentaSheets());
        h.runPass();
        QCOMPARE(int(habitat::HabitatHalted), halted);
        QCOMPARE(countColour(h.frame(), qRgb(255, 0, 255)) > 0, halted == 0);
    }

    void deadFirefliesKeepTheirPlacesAndResume()
    {
        TempProgramFolder folder;
        // Every firefly of group 2 at (120, 150) drifting (+1, 0).
        ScriptedRandom rnd(0.25);
        habitat::Habitat h(magentaSheets());
        h.runPass();
        h.runPass();
        const habitat::FireflyScene alive = h.scene();
        const habitat::Firefly before = alive.group(2).fireflies[0];
        QCOMPARE(before.State, 1.0f);

        QVERIFY(common::ProfileWrite(QStringLiteral("NAME"), QStringLiteral("1")));
        for (int i = 0; i < 3; ++i) {
            h.runPass();
            QCOMPARE(int(habitat::HabitatHalted), 1);
            QCOMPARE(countColour(h.frame(), qRgb(255, 0, 255)), 0);
        }
        QVERIFY(h.scene() == alive);
        // Stars are plotted while the fireflies are dead.
        const habitat::Star star = h.scene().stars()[0];
        QCOMPARE(h.frame().pixel(int(star.X), int(star.Y)), qRgb(255, 255, 255));

        QVERIFY(common::ProfileWrite(QStringLiteral("NAME"), QStringLiteral("0")));
        h.runPass();
        QCOMPARE(int(habitat::HabitatHalted), 0);
        const habitat::Firefly after = h.scene().group(2).fireflies[0];
        QCOMPARE(int(after.X), before.X + before.StepX);
        QCOMPARE(int(after.Y), before.Y + before.StepY);
        QVERIFY(countColour(h.frame(), qRgb(255, 0, 255)) > 0);
    }

    void profileIsReadAgainOnlyWhenChanged()
    {
        TempProgramFolder folder;
        ScriptedRandom rnd(0.5);
        folder.writeDataFile(QStringLiteral("ini.ini"), "[EXEINI]\r\nNAME=0\r\n");
        age(folder.dataFile(QStringLiteral("ini.ini")));
        habitat::Habitat h(magentaSheets());
        for (int i = 0; i < 4; ++i)
            h.runPass();
        QCOMPARE(h.haltedSetting().reads(), 1);

        // A hand edit of the same length shows at the next pass.
        folder.writeDataFile(QStringLiteral("ini.ini"), "[EXEINI]\r\nNAME=1\r\n");
        h.runPass();
        QCOMPARE(int(habitat::HabitatHalted), 1);
        QCOMPARE(h.haltedSetting().reads(), 2);

        QFile::remove(folder.dataFile(QStringLiteral("ini.ini")));
        h.runPass();
        QCOMPARE(int(habitat::HabitatHalted), 0);
    }

    void editsWithinOneClockTickAreSeen()
    {
        TempProgramFolder folder;
        ScriptedRandom rnd(0.5);
        habitat::Habitat h(magentaSheets());
        // Written, read and written again at once: same size, same inode, and
        // quite possibly the same file time.
        folder.writeDataFile(QStringLiteral("ini.ini"), "[EXEINI]\r\nNAME=0\r\n");
        h.runPass();
        QCOMPARE(int(habitat::HabitatHalted), 0);
        folder.writeDataFile(QStringLiteral("ini.ini"), "[EXEINI]\r\nNAME=1\r\n");
        h.runPass();
        QCOMPARE(int(habitat::HabitatHalted), 1);
    }

    void passOverwritesWhatTheLitterTickSet()
    {
        TempProgramFolder folder;
        ScriptedRandom rnd(0.5);
        habitat::Habitat h(magentaSheets());
        h.runPass();
        habitat::HabitatHalted = 1;
        h.runPass();
        QCOMPARE(int(habitat::HabitatHalted), 0);
    }

    void backgroundFollowsTheFile()
    {
        TempProgramFolder folder;
        ScriptedRandom rnd(0.5);
        folder.writeDataFile(QStringLiteral("ini.ini"), "[EXEINI]\r\nNAME=1\r\n");
        habitat::Habitat h(magentaSheets());

        // Missing: a dark plain background.
        h.runPass();
        QCOMPARE(h.frame().size(), QSize(551, 420));
        QCOMPARE(h.frame().pixel(FreeX, FreeY), habitat::DarkBackground);

        writeBackground(folder, jpeg(QColor(200, 40, 40)));
        age(folder.dataFile(QStringLiteral("Adata/Back.jpg")));
        h.runPass();
        QVERIFY(near(h.frame().pixel(FreeX, FreeY), QColor(200, 40, 40)));
        const int loads = h.background().loads();
        h.runPass();
        h.runPass();
        QCOMPARE(h.background().loads(), loads);

        // Replaced: the new picture at the next pass.
        writeBackground(folder, jpeg(QColor(30, 60, 220)));
        h.runPass();
        QVERIFY(near(h.frame().pixel(FreeX, FreeY), QColor(30, 60, 220)));

        // Unreadable: dark again rather than the old picture or a failure.
        writeBackground(folder, QByteArray("not a picture at all"));
        h.runPass();
        QCOMPARE(h.frame().pixel(FreeX, FreeY), habitat::DarkBackground);

        // Smaller than the canvas: the rest stays dark.
        writeBackground(folder, jpeg(QColor(30, 200, 60), QSize(100, 100)));
        h.runPass();
        QVERIFY(near(h.frame().pixel(50, 50), QColor(30, 200, 60)));
        QCOMPARE(h.frame().pixel(FreeX, FreeY), habitat::DarkBackground);

        QFile::remove(folder.dataFile(QStringLiteral("Adata/Back.jpg")));
        h.runPass();
        QCOMPARE(h.frame().pixel(FreeX, FreeY), habitat::DarkBackground);
    }

    void backgroundNameIsMatchedWithoutCase()
    {
        TempProgramFolder folder;
        ScriptedRandom rnd(0.5);
        folder.writeDataFile(QStringLiteral("ini.ini"), "[EXEINI]\r\nNAME=1\r\n");
        folder.writeDataFile(QStringLiteral("Adata/BACK.JPG"), jpeg(QColor(200, 200, 40)));
        habitat::Habitat h(magentaSheets());
        h.runPass();
        QVERIFY(near(h.frame().pixel(FreeX, FreeY), QColor(200, 200, 40)));
    }

    void passDoesNotDisturbTheCachedBackground()
    {
        TempProgramFolder folder;
        ScriptedRandom rnd(0.0);
        rnd.setWhenEmpty(0.3);
        writeBackground(folder, jpeg(QColor(10, 10, 10)));
        age(folder.dataFile(QStringLiteral("Adata/Back.jpg")));
        habitat::Habitat h(magentaSheets());
        h.runPass();
        QVERIFY(countColour(h.frame(), qRgb(255, 0, 255)) > 0);
        // Halted: the next frame shows none of the fireflies drawn before.
        folder.writeDataFile(QStringLiteral("ini.ini"), "[EXEINI]\r\nNAME=1\r\n");
        h.runPass();
        QCOMPARE(countColour(h.frame(), qRgb(255, 0, 255)), 0);
        QCOMPARE(h.background().loads(), 1);
    }
};

QTEST_MAIN(TestHabitatPass)
#include "tst_HabitatPass.moc"
