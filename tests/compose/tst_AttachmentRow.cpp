#include "compose/AttachmentList.h"
#include "compose/ui/AttachmentRow.h"
#include "support/ScriptedPrompts.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using compose::AttachmentRow;

namespace {

QStringList titles(const AttachmentRow &row)
{
    QStringList out;
    for (int i = 0; i < row.titleList()->count(); ++i)
        out << row.titleList()->item(i)->text();
    return out;
}

// "A" attach, "+" add, "C" clear; files answer the dialogs in order ("" cancels).
void run(AttachmentRow &row, const QString &steps)
{
    for (QChar step : steps) {
        if (step == u'A')
            row.attachButton()->click();
        else if (step == u'+')
            row.addButton()->click();
        else if (step == u'C')
            row.clearButton()->click();
    }
}

} // namespace

class TestAttachmentRow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void listText_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("title");
        QTest::newRow("first") << "" << "/home/u/a.txt" << "/home/u/a.txt" << "a.txt";
        QTest::newRow("second") << "/home/u/a.txt" << "/tmp/資料 2.pdf" << "/home/u/a.txt,/tmp/資料 2.pdf"
                                << "資料 2.pdf";
        QTest::newRow("backslash path") << "" << "C:\\docs\\x.doc" << "C:\\docs\\x.doc" << "x.doc";
        QTest::newRow("no folder") << "" << "plain" << "plain" << "plain";
        QTest::newRow("comma in the name") << "/a" << "/d/見積,2版.txt" << "/a,\"/d/見積,2版.txt\"" << "見積,2版.txt";
        QTest::newRow("quote first") << "" << "\"q\".txt" << "\"\"\"q\"\".txt\"" << "\"q\".txt";
    }
    void listText()
    {
        QFETCH(QString, list);
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QFETCH(QString, title);
        QCOMPARE(compose::appendAttachmentPath(list, path), expected);
        QCOMPARE(compose::attachmentTitle(path), title);
        QCOMPARE(compose::parseAttachmentList(expected).last(), path);
    }

    // The enabled states of "添付File", "追加", "取り消し" after each sequence,
    // with the dialog's answers, the list and the titles.
    void stateTable_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QString>("enabled"); // attach, add, clear as 1/0
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<bool>("listShown");
        QTest::addColumn<int>("dialogs");

        QTest::newRow("fresh") << "" << QStringList() << "111" << "" << QStringList() << false << 0;
        QTest::newRow("attach one") << "A" << QStringList{"/d/a.txt"} << "011" << "/d/a.txt"
                                    << QStringList{"a.txt"} << false << 1;
        QTest::newRow("attach then add") << "A+" << QStringList{"/d/a.txt", "/e/b.txt"} << "011"
                                         << "/d/a.txt,/e/b.txt" << QStringList{"a.txt", "b.txt"} << true << 2;
        QTest::newRow("add before any file") << "+" << QStringList{"/d/a.txt"} << "111" << "" << QStringList()
                                             << true << 0;
        QTest::newRow("attach cancelled") << "A" << QStringList{""} << "011" << "" << QStringList() << false << 1;
        QTest::newRow("cancelled then add") << "A+" << QStringList{""} << "011" << "" << QStringList() << true
                                            << 1;
        QTest::newRow("cancelled, clear") << "AC" << QStringList{""} << "100" << "" << QStringList() << false << 1;
        QTest::newRow("clear after two") << "A+C" << QStringList{"/d/a", "/d/b"} << "100" << "" << QStringList()
                                         << false << 2;
        QTest::newRow("clear stays off") << "A+CA" << QStringList{"/d/a", "/d/b", "/d/c"} << "010" << "/d/c"
                                         << QStringList{"c"} << false << 3;
        QTest::newRow("add cancelled keeps list") << "A+" << QStringList{"/d/a", ""} << "011" << "/d/a"
                                                  << QStringList{"a"} << true << 2;
        QStringList twelve;
        QString twelveList;
        for (int i = 1; i <= 12; ++i) {
            twelve << QStringLiteral("/f/%1.bin").arg(i);
            twelveList = compose::appendAttachmentPath(twelveList, twelve.last());
        }
        QStringList twelveTitles;
        for (int i = 1; i <= 12; ++i)
            twelveTitles << QStringLiteral("%1.bin").arg(i);
        QTest::newRow("twelve files") << "A+++++++++++" << twelve << "011" << twelveList << twelveTitles << true
                                      << 12;
    }
    void stateTable()
    {
        QFETCH(QString, steps);
        QFETCH(QStringList, answers);
        QFETCH(QString, enabled);
        QFETCH(QString, list);
        QFETCH(QStringList, titles);
        QFETCH(bool, listShown);
        QFETCH(int, dialogs);

        testsupport::ScriptedPrompts prompts;
        for (const QString &a : answers)
            prompts.fileAnswers.enqueue(a);
        QWidget window;
        AttachmentRow row(&window, QStringLiteral("添付File"), AttachmentRow::ListToggle::Present);
        window.show();
        run(row, steps);

        const QString state = QString::number(int(row.attachButton()->isEnabled()))
            + QString::number(int(row.addButton()->isEnabled())) + QString::number(int(row.clearButton()->isEnabled()));
        QCOMPARE(state, enabled);
        QCOMPARE(row.attachmentList(), list);
        QCOMPARE(::titles(row), titles);
        QCOMPARE(row.titleList()->isVisible(), listShown);
        int opened = 0;
        for (const auto &s : prompts.shown)
            opened += s.kind == QLatin1String("open");
        QCOMPARE(opened, dialogs);
    }

    void typedListIsTheList()
    {
        testsupport::ScriptedPrompts prompts;
        QWidget window;
        AttachmentRow row(&window, QStringLiteral("添付"), AttachmentRow::ListToggle::Absent);
        QVERIFY(!row.listToggleButton());
        QCOMPARE(row.attachButton()->text(), QStringLiteral("添付"));
        row.pathBox()->setText(QStringLiteral("/x/y.txt , /z"));
        QCOMPARE(row.attachmentList(), QStringLiteral("/x/y.txt , /z"));
    }

    void sendPreparation()
    {
        testsupport::ScriptedPrompts prompts;
        prompts.fileAnswers << QStringLiteral("/a") << QStringLiteral("/b");
        QWidget window;
        AttachmentRow row(&window, QStringLiteral("添付File"), AttachmentRow::ListToggle::Present);
        window.show();
        run(row, QStringLiteral("A+"));
        row.prepareForSend();
        QVERIFY(row.attachButton()->isEnabled());
        QVERIFY(!row.addButton()->isEnabled());
        QVERIFY(row.clearButton()->isEnabled());
        QVERIFY(!row.titleList()->isVisible());
        QCOMPARE(row.attachmentList(), QStringLiteral("/a,/b"));
    }

    // The toggle's count survives the row: the first click of a later window
    // may show the list instead of hiding it.
    void listToggleAcrossWindows()
    {
        AttachmentRow::resetListToggleClicks();
        testsupport::ScriptedPrompts prompts;
        const QColor grey(192, 192, 192), yellow(255, 255, 0);
        {
            QWidget window;
            AttachmentRow row(&window, QStringLiteral("添付File"), AttachmentRow::ListToggle::Present);
            window.show();
            QPushButton *toggle = row.listToggleButton();
            QCOMPARE(toggle->text(), QStringLiteral("リスト"));
            QCOMPARE(toggle->palette().color(QPalette::Button), grey);
            row.addButton()->click(); // shows the empty list
            QVERIFY(row.titleList()->isVisible());
            toggle->click();
            QCOMPARE(toggle->text(), QStringLiteral("非表示"));
            QCOMPARE(toggle->palette().color(QPalette::Button), yellow);
            QVERIFY(!row.titleList()->isVisible());
            toggle->click();
            QCOMPARE(toggle->text(), QStringLiteral("表示"));
            QCOMPARE(toggle->palette().color(QPalette::Button), grey);
            QVERIFY(row.titleList()->isVisible());
            toggle->click();
        }
        QCOMPARE(AttachmentRow::listToggleClicks(), 3);
        QWidget window;
        AttachmentRow row(&window, QStringLiteral("添付File"), AttachmentRow::ListToggle::Present);
        window.show();
        QCOMPARE(row.listToggleButton()->text(), QStringLiteral("リスト"));
        row.listToggleButton()->click();
        QCOMPARE(row.listToggleButton()->text(), QStringLiteral("表示"));
        QVERIFY(row.titleList()->isVisible());
    }
};

QTEST_MAIN(TestAttachmentRow)
#include "tst_AttachmentRow.moc"
