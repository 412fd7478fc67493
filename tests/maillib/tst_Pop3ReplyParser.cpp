#include "maillib/Pop3ReplyParser_p.h"

#include <QTest>

using maillib::Pop3ReplyParser;

// The POP3 reply parser on its own, fed piece by piece as a socket hands
// the bytes over.
class TestPop3ReplyParser : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void bodyNearItsBound_data();
    void bodyNearItsBound();
};

void TestPop3ReplyParser::bodyNearItsBound_data()
{
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<qsizetype>("limit");
    QTest::addColumn<bool>("tooLong");
    QTest::addColumn<QByteArray>("body");

    // A body exactly at its bound is whole even when the closing line
    // arrives in pieces.
    QTest::newRow("closing dot alone") << QByteArrayList{"abc\r\n", ".", "\r\n"} << qsizetype(5) << false
                                       << QByteArray("abc\r\n");
    QTest::newRow("closing dot and CR alone") << QByteArrayList{"abc\r\n", ".\r", "\n"} << qsizetype(5) << false
                                              << QByteArray("abc\r\n");
    QTest::newRow("line past the bound still arriving") << QByteArrayList{"abc\r\n", "x"} << qsizetype(5) << true
                                                        << QByteArray("abc\r\n");
    QTest::newRow("stuffed line past the bound") << QByteArrayList{"abc\r\n", ".."} << qsizetype(5) << true
                                                 << QByteArray("abc\r\n");
}

void TestPop3ReplyParser::bodyNearItsBound()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(qsizetype, limit);
    QFETCH(bool, tooLong);
    QFETCH(QByteArray, body);

    Pop3ReplyParser parser;
    QByteArray data;
    Pop3ReplyParser::Step step = Pop3ReplyParser::Step::NeedMore;
    for (const QByteArray &piece : pieces) {
        parser.append(piece);
        step = parser.readBody(&data, limit);
        if (step != Pop3ReplyParser::Step::NeedMore)
            break;
    }
    QCOMPARE(step, tooLong ? Pop3ReplyParser::Step::TooLong : Pop3ReplyParser::Step::Done);
    QCOMPARE(data, body);
}

QTEST_GUILESS_MAIN(TestPop3ReplyParser)
#include "tst_Pop3ReplyParser.moc"
