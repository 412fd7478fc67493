#include "common/Cp932.h"

#include <QTest>

class TestCp932 : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void roundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii") << QStringLiteral("abc 123") << QByteArray("abc 123");
        QTest::newRow("kana") << QStringLiteral("テスト") << QByteArray("\x83\x65\x83\x58\x83\x67");
        QTest::newRow("nec-circled") << QStringLiteral("①") << QByteArray("\x87\x40");
        QTest::newRow("wave-dash-windows") << QStringLiteral("～") << QByteArray("\x81\x60");
        QTest::newRow("ibm-ext") << QStringLiteral("髙") << QByteArray("\xFB\xFC");
        QTest::newRow("halfwidth-kana") << QStringLiteral("ｱｲ") << QByteArray("\xB1\xB2");
    }
    void roundTrip()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(common::toCp932(text), bytes);
        QCOMPARE(common::fromCp932(bytes), text);
    }

    void unrepresentableBecomesQuestionMark()
    {
        // An emoji and a Hangul syllable have no CP932 form; the rest survives.
        QCOMPARE(common::toCp932(QStringLiteral("a😀b한c")), QByteArray("a?b?c"));
    }

    void invalidBytesDecodeToReplacement()
    {
        // 0x81 followed by a byte that cannot trail it, and a lone lead at the end.
        const QString s = common::fromCp932(QByteArray("A\x81\x20" "B\x82"));
        QCOMPARE(s.left(1), QStringLiteral("A"));
        QVERIFY(s.contains(QChar(0xFFFD)));
        QVERIFY(s.contains(QStringLiteral(" B")));
    }

    void cutNeverSplitsDoubleByte()
    {
        const QByteArray jp = common::toCp932(QStringLiteral("あいう")); // 6 bytes
        QCOMPARE(common::cp932CutLength(jp, 5), 4);
        QCOMPARE(common::cp932CutLength(jp, 6), 6);
        QCOMPARE(common::cp932CutLength(QByteArray("ab") + jp, 3), 2);
        // Half-width katakana are single bytes in the lead-byte gap.
        QCOMPARE(common::cp932CutLength(common::toCp932(QStringLiteral("ｱｲｳ")), 2), 2);
    }

    void fitPadsAndCuts()
    {
        const QByteArray field = common::toCp932Field(QStringLiteral("aあい"), 4);
        QCOMPARE(field, QByteArray("a\x82\xA0 "));
        QCOMPARE(common::toCp932Field(QStringLiteral("x"), 3), QByteArray("x  "));
        // Sixty Japanese characters keep fifty in a field of 100 bytes.
        const QString sixty(60, QChar(0x3042));
        const QByteArray sub = common::toCp932Field(sixty, 100);
        QCOMPARE(sub.size(), 100);
        QCOMPARE(common::fromCp932(sub), QString(50, QChar(0x3042)));
    }

    void cutTextToWidth()
    {
        QCOMPARE(common::cutToCp932Width(QStringLiteral("abcあいう"), 6), QStringLiteral("abcあ"));
        QCOMPARE(common::cutToCp932Width(QStringLiteral("😀😀abc"), 3), QStringLiteral("😀😀a"));
        QCOMPARE(common::cutToCp932Width(QStringLiteral("short"), 255), QStringLiteral("short"));
    }
};

QTEST_GUILESS_MAIN(TestCp932)
#include "tst_Cp932.moc"
