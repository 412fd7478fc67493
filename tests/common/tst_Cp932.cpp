#include "common/Cp932.h"

#include <QTest>

#include <iconv.h>

namespace {

// The whole text through one iconv call: what the conversions must match
// for text iconv accepts.
QByteArray throughIconv(const QByteArray &in, const char *to, const char *from)
{
    iconv_t cd = iconv_open(to, from);
    QByteArray out(in.size() * 4 + 16, Qt::Uninitialized);
    char *inPtr = const_cast<char *>(in.constData());
    size_t inLeft = size_t(in.size());
    char *outPtr = out.data();
    size_t outLeft = size_t(out.size());
    const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    return rc == size_t(-1) ? QByteArray("iconv refused") : out.left(out.size() - qsizetype(outLeft));
}

} // namespace

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
        const QString filler(3000, QChar(0x3042));
        QCOMPARE(common::toCp932(filler + QStringLiteral("a😀b한c") + QChar(0xD800) + QStringLiteral("d")),
                 common::toCp932(filler) + QByteArray("a?b?c?d"));
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

    void longAsciiRunsConvertLikeTheWholeText_data()
    {
        QTest::addColumn<QString>("text");
        const QString run(40, QLatin1Char('x'));
        QTest::newRow("ascii only") << run;
        QTest::newRow("run after kanji") << QStringLiteral("漢字") + run + QStringLiteral("ｱｲ");
        QTest::newRow("run between") << run + QStringLiteral("テスト\r\n") + run + QStringLiteral("①～髙") + run;
        // Long texts are encoded character by character from a table.
        QTest::newRow("long") << QString(3000, QChar(0x3042)) + run + QStringLiteral("ｱ①～髙\r\n漢") + run;
        QTest::newRow("short runs") << QStringLiteral("a漢b字 c\r\nｱ") + QString(31, QLatin1Char('y')) + QStringLiteral("あ");
    }
    void longAsciiRunsConvertLikeTheWholeText()
    {
        QFETCH(QString, text);
        const QByteArray bytes = throughIconv(text.toUtf8(), "CP932", "UTF-8");
        QCOMPARE(common::toCp932(text), bytes);
        QCOMPARE(common::fromCp932(bytes), text);
        // A lead byte takes the first byte of a following run as its trail.
        const QString run(40, QLatin1Char('A'));
        QCOMPARE(common::fromCp932(QByteArray("\x83") + run.toLatin1()), QStringLiteral("ア") + run.mid(1));
        QCOMPARE(common::fromCp932(QByteArray("\x81 ") + run.toLatin1()), QChar(0xFFFD) + QStringLiteral(" ") + run);
    }

    void everyMappedCharacterEncodesAsIconvMakesIt()
    {
        QString all;
        for (uint u = 0x80; u < 0x10000; ++u) {
            if (!QChar::isSurrogate(u) && throughIconv(QString(QChar(char16_t(u))).toUtf8(), "CP932", "UTF-8") != "iconv refused")
                all += QChar(char16_t(u));
        }
        QVERIFY(all.size() > 7000);
        QCOMPARE(common::toCp932(all), throughIconv(all.toUtf8(), "CP932", "UTF-8"));
    }

    void cutsMatchAWalkFromTheStart()
    {
        const QString text = QStringLiteral("aあｱ한b漢字\r\nｲ①c～") + QString(5, QLatin1Char(' ')) + QStringLiteral("髙");
        const QByteArray bytes = common::toCp932(text);
        for (qsizetype width = 0; width <= bytes.size() + 1; ++width) {
            qsizetype walked = 0;
            while (walked < qMin(width, bytes.size())) {
                const qsizetype step = common::isCp932LeadByte(uchar(bytes[walked])) ? 2 : 1;
                if (walked + step > width)
                    break;
                walked += step;
            }
            QCOMPARE(common::cp932CutLength(bytes, width), walked);
            qsizetype chars = 0;
            while (chars < text.size() && common::toCp932(text.left(chars + 1)).size() <= width)
                ++chars;
            QCOMPARE(common::cutToCp932Width(text, width), text.left(chars));
        }
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
