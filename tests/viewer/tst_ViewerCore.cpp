#include "viewer/BodySearch.h"
#include "viewer/MailListModel.h"
#include "viewer/TyakuLayout.h"

#include <QTest>

using viewer::BodyMatch;
using viewer::BodySearch;

namespace {

// A step of a search walk: which command, and where it should select.
struct Step
{
    bool next;             // FindNextInBody rather than FindInBody
    qsizetype position;    // expected LastFoundPos (0: nothing found)
};

receive::MailListEntry entry(const QString &subject, const QString &from, const QString &date)
{
    return {subject, date, from};
}

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

class TestViewerCore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void searchWalk_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("needle");
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<qsizetype>("length");
        // The walk-through: find, next, next runs off the end, next starts again
        // at the character numbered by the needle's length.
        QTest::newRow("walk") << QStringLiteral("xxabcxxabc") << QStringLiteral("abc")
                              << QList<Step>{{false, 3}, {true, 8}, {true, 0}, {true, 3}} << qsizetype(3);
        QTest::newRow("case-sensitive") << QStringLiteral("abc abc") << QStringLiteral("ABC")
                                        << QList<Step>{{false, 0}, {true, 0}} << qsizetype(3);
        QTest::newRow("no folding of widths") << QStringLiteral("ＡＢＣ") << QStringLiteral("ABC")
                                              << QList<Step>{{false, 0}} << qsizetype(3);
        // A match that begins before the needle's length is not found by a
        // find next after a miss.
        QTest::newRow("next after a miss skips the head") << QStringLiteral("abcd") << QStringLiteral("ab")
                                                          << QList<Step>{{true, 0}} << qsizetype(2);
        QTest::newRow("next without a search") << QStringLiteral("xabab") << QStringLiteral("ab")
                                               << QList<Step>{{true, 2}, {true, 4}, {true, 0}} << qsizetype(2);
        QTest::newRow("japanese") << QStringLiteral("本日は晴天なり。本日は") << QStringLiteral("本日")
                                  << QList<Step>{{false, 1}, {true, 9}, {true, 0}} << qsizetype(2);
        // An empty needle puts the caret at the start of a non-empty body; a
        // find next after a miss starts at the first character.
        QTest::newRow("empty needle") << QStringLiteral("abc") << QString()
                                      << QList<Step>{{false, 1}, {true, 1}} << qsizetype(0);
        QTest::newRow("empty needle after a miss") << QStringLiteral("abc") << QString()
                                                   << QList<Step>{{true, 1}} << qsizetype(0);
        QTest::newRow("empty body") << QString() << QString() << QList<Step>{{false, 0}, {true, 0}} << qsizetype(0);
    }

    void searchWalk()
    {
        QFETCH(QString, text);
        QFETCH(QString, needle);
        QFETCH(QList<Step>, steps);
        QFETCH(qsizetype, length);
        BodySearch search;
        int i = 0;
        for (const Step &step : steps) {
            const BodyMatch match = step.next ? search.findNext(text, needle) : search.find(text, needle);
            QVERIFY2(match.position == step.position, qPrintable(QStringLiteral("step %1 found %2").arg(i).arg(match.position)));
            QCOMPARE(search.lastFoundPos(), step.position);
            if (match.found()) {
                QCOMPARE(match.length, length);
                QCOMPARE(text.mid(match.position - 1, match.length), needle);
            }
            ++i;
        }
    }

    void searchBeyond16Bits()
    {
        // A text opened from a file can be longer than any stored body.
        const QString text = QString(40000, QLatin1Char('x')) + QStringLiteral("abc") + QString(30000, QLatin1Char('y'))
                             + QStringLiteral("abc");
        BodySearch search;
        QCOMPARE(search.find(text, QStringLiteral("abc")).position, qsizetype(40001));
        QCOMPARE(search.findNext(text, QStringLiteral("abc")).position, qsizetype(70004));
        QCOMPARE(search.findNext(text, QStringLiteral("abc")).position, qsizetype(0));
        QCOMPARE(search.findNext(text, QStringLiteral("abc")).position, qsizetype(40001));
    }

    // Enter in the search box, one word per press: "word:position found".
    void enterSearch_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("presses");
        QTest::newRow("a match at the head is found") << QStringLiteral("abcxabc")
                                                     << QStringList{"abc:1", "abc:5", "abc:0", "abc:1"};
        QTest::newRow("a new word starts at the head") << QStringLiteral("abcab") << QStringList{"abc:1", "ab:1", "ab:4"};
    }

    void enterSearch()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, presses);
        BodySearch search;
        for (const QString &press : presses) {
            const QStringList parts = press.split(QLatin1Char(':'));
            QCOMPARE(search.findOnEnter(text, parts.at(0)).position, parts.at(1).toLongLong());
        }
    }

    void layout_data()
    {
        QTest::addColumn<float>("W");
        QTest::addColumn<float>("H");
        QTest::addColumn<bool>("maximised");
        QTest::addColumn<QList<int>>("expected");
        // listW, listH, headerTop, bodyTop, bodyH, subjectW, senderW, dateW,
        // subjectLeft, senderLeft, dateLeft, copyBoxLeft, copyBoxTop, copyButtonLeft, copyButtonTop
        QTest::newRow("12000 x 9000") << 12000.0f << 9000.0f << false
                                      << QList<int>{11880, 2250, 3190, 3550, 4185, 6000, 3600, 2400, 5, 6005, 9605,
                                                    5300, 8705, 1880, 8705};
        QTest::newRow("design size") << 9375.0f << 7275.0f << false
                                     << QList<int>{9281, 1819, 2759, 3119, 3383, 4688, 2813, 1875, 5, 4693, 7506,
                                                   5300, 6980, 1880, 6980};
        QTest::newRow("maximised") << 19200.0f << 15000.0f << true
                                   << QList<int>{19008, 3750, 4690, 5050, 6975, 9600, 5760, 3840, 5, 9605, 15365,
                                                 5300, 14000, 1880, 14020};
    }

    void layout()
    {
        QFETCH(float, W);
        QFETCH(float, H);
        QFETCH(bool, maximised);
        QFETCH(QList<int>, expected);
        viewer::TyakuLayoutInput in;
        in.width = W;
        in.height = H;
        in.maximised = maximised;
        in.bodyLeft = 20;
        in.command1Left = 1920;
        in.statusBarTop = int(H) - 375;
        const viewer::TyakuLayout out = viewer::layOutTyakuForm(in);
        const QList<int> got{out.listWidth,   out.listHeight,   out.headerTop,    out.bodyTop,     out.bodyHeight,
                             out.subjectWidth, out.senderWidth, out.dateWidth,    out.subjectLeft, out.senderLeft,
                             out.dateLeft,    out.copyBoxLeft,  out.copyBoxTop,   out.copyButtonLeft,
                             out.copyButtonTop};
        QCOMPARE(got, expected);
        QCOMPARE(out.stripWidth, int(W));
    }

    void copyBoxFollowsTheButtonsEarlierPlace()
    {
        // Text6 is placed from Command1's left before the pass moves the
        // button: 1920 + 3380 the first time, 1880 + 3380 afterwards.
        viewer::TyakuLayoutInput in{9375, 7275, false, 20, 1920, 0, 6900};
        const viewer::TyakuLayout first = viewer::layOutTyakuForm(in);
        in.command1Left = first.copyButtonLeft;
        const viewer::TyakuLayout second = viewer::layOutTyakuForm(in);
        QCOMPARE(first.copyBoxLeft, 5300);
        QCOMPARE(second.copyBoxLeft, 5260);
    }

    void listCellsCutAtNul()
    {
        viewer::MailListModel model;
        const QString subject = QStringLiteral("件名") + QChar(0) + QStringLiteral("後ろ") + QString(95, QLatin1Char(' '));
        model.setEntries({entry(subject, QStringLiteral("taro@example.jp   "), QStringLiteral("2026/12/09  ")),
                          entry(QStringLiteral(" 二通目 "), QStringLiteral("b"), QString())});
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.columnCount(), 3);
        QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("件名"));
        // The padding stays in the cell.
        QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("taro@example.jp   "));
        QCOMPARE(model.data(model.index(0, 2)).toString(), QStringLiteral("2026/12/09  "));
        QCOMPARE(model.data(model.index(1, 0)).toString(), QStringLiteral(" 二通目 "));
        QStringList headers;
        for (int c = 0; c < 3; ++c)
            headers << model.headerData(c, Qt::Horizontal).toString();
        QCOMPARE(headers, (QStringList{"Subject", "From", "Date"}));
        model.clear();
        QCOMPARE(model.rowCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestViewerCore)
#include "tst_ViewerCore.moc"
