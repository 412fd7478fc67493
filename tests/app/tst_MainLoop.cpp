#include "app/MainLoop.h"
#include "habitat/Habitat.h"
#include "habitat/PassCadence.h"
#include "support/ManualClock.h"
#include "support/ScriptedRandom.h"
#include "support/TempProgramFolder.h"

#include <QSignalSpy>
#include <QTest>

using habitat::PassCadence;
using testsupport::ManualClock;

class TestMainLoop : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void elapsedTimeWrapsAt32Bits()
    {
        QCOMPARE(PassCadence::elapsed(1000, 1051), 51u);
        QCOMPARE(PassCadence::elapsed(0xFFFFFFF0u, 0x00000023u), 0x33u);
        QCOMPARE(PassCadence::elapsed(0xFFFFFFFFu, 0u), 1u);
    }

    void nextPassWaitsMoreThanFiftyMilliseconds_data()
    {
        QTest::addColumn<quint32>("start");
        QTest::newRow("ordinary") << quint32(1000);
        QTest::newRow("across the wrap") << quint32(0xFFFFFFE0u);
        QTest::newRow("at the wrap") << quint32(0xFFFFFFFFu);
    }
    void nextPassWaitsMoreThanFiftyMilliseconds()
    {
        QFETCH(quint32, start);
        ManualClock clock(start);
        PassCadence cadence;
        QVERIFY(cadence.due());
        cadence.passStarted();
        QCOMPARE(cadence.remaining(), 51u);
        clock.advance(20);
        QCOMPARE(cadence.remaining(), 31u);
        clock.advance(30);
        QVERIFY(!cadence.due());
        QCOMPARE(cadence.remaining(), 1u);
        clock.advance(1);
        QVERIFY(cadence.due());
        clock.advance(5000);
        QVERIFY(cadence.due());
    }

    void loopRunsAPassOnlyWhenDue()
    {
        testsupport::TempProgramFolder folder;
        testsupport::ScriptedRandom rnd(0.5);
        ManualClock clock(0xFFFFFFF0u);
        habitat::Habitat habitat;
        app::MainLoop loop(habitat);
        QSignalSpy frames(&loop, &app::MainLoop::frameReady);

        QCOMPARE(loop.runIfDue(), 51u);
        QCOMPARE(loop.passes(), 1);
        QCOMPARE(frames.count(), 1);
        QCOMPARE(frames.at(0).at(0).value<QImage>().size(), QSize(551, 420));

        // A timer that fired early does not bring the next pass forward.
        clock.advance(30);
        QCOMPARE(loop.runIfDue(), 21u);
        clock.advance(20);
        QCOMPARE(loop.runIfDue(), 1u);
        QCOMPARE(loop.passes(), 1);

        // A pass that itself took 10 ms leaves 41 ms to wait.
        clock.advance(1);
        loop.runIfDue();
        QCOMPARE(loop.passes(), 2);
        QCOMPARE(habitat.passes(), 2);
        clock.advance(10);
        QCOMPARE(loop.runIfDue(), 41u);
        QCOMPARE(frames.count(), 2);
    }
};

QTEST_MAIN(TestMainLoop)
#include "tst_MainLoop.moc"
