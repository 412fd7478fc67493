#include "habitat/FireflyScene.h"
#include "habitat/SpriteSheets.h"
#include "support/ScriptedRandom.h"

#include <QImage>
#include <QPainter>
#include <QTest>

using habitat::FireflyScene;
using testsupport::ScriptedRandom;

namespace {

// Random numbers that make a firefly land at (x, y): the inverse of
// Round(Rnd * 480) and Round(Rnd * 600).
double forX(int x)
{
    return x / 480.0;
}
double forY(int y)
{
    return y / 600.0;
}

// A sheet whose frame 0 is a red block and frame 1 a blue block, both 8 x 8
// at (12, 12) of the frame, inside a matching silhouette.
QImage blockSheet()
{
    QImage sheet(64, 64, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    p.fillRect(0, 32, 64, 32, Qt::black);
    p.fillRect(12, 12, 8, 8, QColor(255, 0, 0));
    p.fillRect(32 + 12, 12, 8, 8, QColor(0, 0, 255));
    p.fillRect(12, 32 + 12, 8, 8, Qt::white);
    p.fillRect(32 + 12, 32 + 12, 8, 8, Qt::white);
    return sheet;
}

habitat::SpriteSheets blockSheets()
{
    habitat::SpriteSheets sheets;
    sheets.sheets = {blockSheet(), blockSheet(), blockSheet()};
    return sheets;
}

} // namespace

class TestFireflyScene : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void roundHalvesToEvenAndIntFloors_data()
    {
        QTest::addColumn<double>("v");
        QTest::addColumn<double>("round");
        QTest::addColumn<double>("floor");
        QTest::newRow("0.5") << 0.5 << 0.0 << 0.0;
        QTest::newRow("1.5") << 1.5 << 2.0 << 1.0;
        QTest::newRow("2.5") << 2.5 << 2.0 << 2.0;
        QTest::newRow("-0.5") << -0.5 << 0.0 << -1.0;
        QTest::newRow("-1.5") << -1.5 << -2.0 << -2.0;
        QTest::newRow("-2.5") << -2.5 << -2.0 << -3.0;
        QTest::newRow("2.4999") << 2.4999 << 2.0 << 2.0;
        QTest::newRow("-0.0001") << -0.0001 << 0.0 << -1.0;
        QTest::newRow("3.2") << 3.2 << 3.0 << 3.0;
    }
    void roundHalvesToEvenAndIntFloors()
    {
        QFETCH(double, v);
        QFETCH(double, round);
        QFETCH(double, floor);
        QCOMPARE(habitat::Round(v), round);
        QCOMPARE(habitat::Int(v), floor);
    }

    // One firefly placed from scripted numbers: where it lands, its steps,
    // and where the first move of the same update takes it.
    void placementAndSteps_data()
    {
        QTest::addColumn<int>("group");
        QTest::addColumn<QList<double>>("draws");
        QTest::addColumn<int>("stepX");
        QTest::addColumn<int>("stepY");

        // Group 1: r < 0.5 gives StepY = Round(-2 Rnd), StepX = -1.
        QTest::newRow("g1 low r, StepY half to even 0") << 1 << QList<double>{0.1, 0.25, 0.99} << -1 << 0;
        QTest::newRow("g1 low r, StepY -1.5 to -2") << 1 << QList<double>{0.1, 0.75, 0.0} << -1 << -2;
        QTest::newRow("g1 low r, StepY -1") << 1 << QList<double>{0.49, 0.5, 0.5} << -1 << -1;
        // Otherwise StepY = Round(-Rnd), StepX = -Int(2 Rnd + 1).
        QTest::newRow("g1 high r, -0.5 to 0, StepX -2") << 1 << QList<double>{0.5, 0.5, 0.5} << -2 << 0;
        QTest::newRow("g1 high r, StepY -1, StepX -1") << 1 << QList<double>{0.9, 0.51, 0.49} << -1 << -1;
        // Group 2: r < 0.5 gives StepY = Round(-Rnd), StepX = Round(Int(2 Rnd + 1) + 0.2).
        QTest::newRow("g2 low r, StepX 2") << 2 << QList<double>{0.2, 0.7, 0.5} << 2 << -1;
        QTest::newRow("g2 low r, StepX 1") << 2 << QList<double>{0.2, 0.3, 0.49} << 1 << 0;
        // Otherwise StepY = Round(-2 Rnd), StepX = 1.
        QTest::newRow("g2 high r") << 2 << QList<double>{0.6, 0.8, 0.99} << 1 << -2;
        // Group 3: StepX = Round(5 Rnd), StepY stays 0.
        QTest::newRow("g3 2.5 to 2") << 3 << QList<double>{0.5} << 2 << 0;
        QTest::newRow("g3 0.5 to 0") << 3 << QList<double>{0.1} << 0 << 0;
        QTest::newRow("g3 1.5 to 2") << 3 << QList<double>{0.3} << 2 << 0;
        QTest::newRow("g3 max 5") << 3 << QList<double>{0.999} << 5 << 0;
    }
    void placementAndSteps()
    {
        QFETCH(int, group);
        QFETCH(QList<double>, draws);
        QFETCH(int, stepX);
        QFETCH(int, stepY);

        ScriptedRandom rnd(0.0);
        rnd.push({forX(200), forY(360)});
        for (double d : draws)
            rnd.push({d});
        FireflyScene scene;
        scene.UpdateFireflyGroup(group);

        const habitat::Firefly &f = scene.group(group).fireflies[0];
        QCOMPARE(int(f.StepX), stepX);
        QCOMPARE(int(f.StepY), stepY);
        QCOMPARE(int(f.X), 200 + stepX);
        QCOMPARE(int(f.Y), 360 + stepY);
        // Y 360 is inside group 3's band and group 2's area but below group 1's.
        QCOMPARE(f.State, group == 1 ? 0.0f : 1.0f);
        // Each placement draws X, Y, then the steps; nothing else is drawn.
        QCOMPARE(rnd.draws(), 5 * (2 + int(draws.size())));
        QCOMPARE(rnd.reseeds(), 1);
    }

    void groupOneRetiresAtTheTwentySeventhMove()
    {
        ScriptedRandom rnd(0.0);
        // X 12, Y 200; r >= 0.5: StepY = Round(-0.3) = 0, StepX = -Int(2 * 0.6 + 1) = -2.
        rnd.push({forX(12), forY(200), 0.7, 0.3, 0.6});
        FireflyScene scene;
        const habitat::Firefly &f = scene.group(1).fireflies[0];
        for (int move = 1; move <= 26; ++move) {
            scene.UpdateFireflyGroup(1);
            QCOMPARE(int(f.X), 12 - 2 * move);
            QCOMPARE(int(f.Y), 200);
            QCOMPARE(f.State, 1.0f);
        }
        QCOMPARE(int(f.X), -40);
        scene.UpdateFireflyGroup(1);
        QCOMPARE(int(f.X), -42);
        QCOMPARE(f.State, 0.0f);

        // Retired, it is placed anew at the next update.
        rnd.push({forX(300), forY(100), 0.1, 0.0, 0.0});
        scene.UpdateFireflyGroup(1);
        QCOMPARE(int(f.X), 299);
        QCOMPARE(int(f.Y), 100);
        QCOMPARE(f.State, 1.0f);
    }

    void groupThreeWithoutStepStandsStill()
    {
        ScriptedRandom rnd(0.9);
        rnd.push({forX(100), forY(350), 0.05});
        FireflyScene scene;
        for (int i = 0; i < 500; ++i)
            scene.UpdateFireflyGroup(3);
        const habitat::Firefly &f = scene.group(3).fireflies[0];
        QCOMPARE(int(f.X), 100);
        QCOMPARE(int(f.Y), 350);
        QCOMPARE(int(f.StepX), 0);
        QCOMPARE(int(f.StepY), 0);
        QCOMPARE(f.State, 1.0f);
    }

    void placedOutsideItsAreaIsDrawnOnceThenPlacedAnew()
    {
        ScriptedRandom rnd(0.0);
        // Group 3 lives in Y 300..400; Y 100 is on the canvas but outside.
        rnd.push({forX(200), forY(100), 0.3});
        FireflyScene scene;
        scene.UpdateFireflyGroup(3);
        const habitat::Firefly &f = scene.group(3).fireflies[0];
        QCOMPARE(f.State, 0.0f);
        QCOMPARE(int(f.X), 202);
        QCOMPARE(int(f.Y), 100);

        QImage canvas(habitat::CanvasWidth, habitat::CanvasHeight, QImage::Format_RGB32);
        canvas.fill(QColor(10, 20, 30));
        {
            QPainter painter(&canvas);
            scene.DrawFireflyGroup(3, painter, blockSheets());
        }
        QCOMPARE(canvas.pixel(202 + 12, 100 + 12), qRgb(255, 0, 0));

        rnd.push({forX(50), forY(330), 0.0});
        scene.UpdateFireflyGroup(3);
        QCOMPARE(int(f.X), 50);
        QCOMPARE(int(f.Y), 330);
        QCOMPARE(f.State, 1.0f);
    }

    void drawShowsTheGroupsFrameForAllFive()
    {
        ScriptedRandom rnd(0.0);
        FireflyScene scene;
        for (int i = 0; i < 5; ++i)
            scene.group(2).fireflies[std::size_t(i)] = {std::int16_t(40 * i), 50, 1.0f, 1, 0};
        // A record beyond the first five is never drawn.
        scene.group(2).fireflies[5] = {300, 300, 1.0f, 1, 0};
        scene.toggleGlowFrame(2);
        QCOMPARE(int(scene.group(2).GlowFrame), 1);

        QImage canvas(habitat::CanvasWidth, habitat::CanvasHeight, QImage::Format_RGB32);
        canvas.fill(Qt::black);
        QPainter painter(&canvas);
        scene.DrawFireflyGroup(2, painter, blockSheets());
        painter.end();
        for (int i = 0; i < 5; ++i)
            QCOMPARE(canvas.pixel(40 * i + 12, 62), qRgb(0, 0, 255));
        QCOMPARE(canvas.pixel(312, 312), qRgb(0, 0, 0));

        scene.toggleGlowFrame(2);
        QCOMPARE(int(scene.group(2).GlowFrame), 0);
        QCOMPARE(int(scene.group(1).GlowFrame), 0);
    }

    void starsArePlacedOnceAndStay()
    {
        ScriptedRandom rnd(0.0);
        // Star i gets Y from the first draw, X from the second.
        for (int i = 0; i < habitat::StarsInUse; ++i)
            rnd.push({(i % 150) / 150.0 + 0.001, (i % 480) / 480.0 + 0.001});
        FireflyScene scene;
        QImage canvas(habitat::CanvasWidth, habitat::CanvasHeight, QImage::Format_RGB32);
        canvas.fill(Qt::black);
        scene.DrawStars(canvas);
        QCOMPARE(rnd.draws(), 2 * habitat::StarsInUse);
        const auto stars = scene.stars();

        for (int pass = 0; pass < 5; ++pass) {
            canvas.fill(Qt::black);
            scene.DrawStars(canvas);
        }
        QCOMPARE(rnd.draws(), 2 * habitat::StarsInUse);
        QVERIFY(scene.stars() == stars);
        for (int i = 0; i < habitat::StarsInUse; ++i) {
            const auto &s = stars[std::size_t(i)];
            QCOMPARE(int(s.Active), 1);
            QVERIFY(s.X >= 0 && s.X < 480 && s.Y >= 0 && s.Y < 150);
            QCOMPARE(canvas.pixel(int(s.X), int(s.Y)), qRgb(255, 255, 255));
        }
        // Records beyond the 201 in use stay untouched.
        QCOMPARE(int(stars[habitat::StarsInUse].Active), 0);
        // Star 7 was scripted to (7.x, 7.x).
        QCOMPARE(canvas.pixel(7, 7), qRgb(255, 255, 255));
        QCOMPARE(canvas.pixel(300, 200), qRgb(0, 0, 0));
    }

    void sceneIsACopyableValue()
    {
        ScriptedRandom rnd(0.3);
        FireflyScene scene;
        scene.UpdateFireflyGroup(1);
        const FireflyScene snapshot = scene;
        scene.UpdateFireflyGroup(1);
        QVERIFY(!(scene == snapshot));
        FireflyScene again = snapshot;
        again.UpdateFireflyGroup(1);
        QVERIFY(again == scene);
    }
};

QTEST_GUILESS_MAIN(TestFireflyScene)
#include "tst_FireflyScene.moc"
