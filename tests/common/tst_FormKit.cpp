#include "common/ui/FormKit.h"

#include <QTest>

using common::PixelRounding;

class TestFormKit : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The windows' design measures that fall between two pixels.
    void twipsToPixels_data()
    {
        QTest::addColumn<double>("twips");
        QTest::addColumn<int>("nearest");
        QTest::addColumn<int>("towardZero");
        QTest::newRow("whole pixels") << 3240.0 << 216 << 216;
        QTest::newRow("two thirds") << 700.0 << 47 << 46;
        QTest::newRow("one third") << 1400.0 << 93 << 93;
        QTest::newRow("out of sight") << -4000.0 << -267 << -266;
        QTest::newRow("half") << 97.5 << 7 << 6;
        QTest::newRow("negative half") << -97.5 << -7 << -6;
        QTest::newRow("fraction of a twip") << 0.99 * 9600 << 634 << 633;
    }
    void twipsToPixels()
    {
        QFETCH(double, twips);
        QFETCH(int, nearest);
        QFETCH(int, towardZero);
        QCOMPARE(common::twipsToPixels(twips), nearest);
        QCOMPARE(common::twipsToPixels(twips, PixelRounding::TowardZero), towardZero);
    }
};

QTEST_APPLESS_MAIN(TestFormKit)
#include "tst_FormKit.moc"
