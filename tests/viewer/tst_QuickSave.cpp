#include "common/Cp932.h"
#include "support/ScriptedPrompts.h"
#include "support/TempProgramFolder.h"
#include "viewer/MailCommandRules.h"
#include "viewer/QuickSave.h"

#include <QDir>
#include <QFile>
#include <QTest>

using testsupport::ScriptedPrompts;
using testsupport::TempProgramFolder;
using viewer::QuickSaveResult;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QString quickFolder(const TempProgramFolder &program)
{
    return program.path() + QStringLiteral("/■TextQuickSave");
}

// Every entry of the folder, hidden ones included.
QStringList entries(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

} // namespace

class TestQuickSave : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fileNameIsSafe_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QStringLiteral("会議のお知らせ") << QStringLiteral("会議のお知らせ.txt");
        QTest::newRow("slash") << QStringLiteral("4/1 会議") << QStringLiteral("4／1 会議.txt");
        QTest::newRow("climbing out") << QStringLiteral("../../etc/passwd") << QStringLiteral("..／..／etc／passwd.txt");
        QTest::newRow("backslash") << QStringLiteral("a\\b") << QStringLiteral("a＼b.txt");
        QTest::newRow("dot") << QStringLiteral(".") << QStringLiteral("..txt");
        QTest::newRow("dot dot") << QStringLiteral("..") << QStringLiteral("...txt");
        QTest::newRow("empty") << QString() << QStringLiteral(".txt");
        QTest::newRow("wildcards stay") << QStringLiteral("*?[a]") << QStringLiteral("*?[a].txt");
        QTest::newRow("controls") << QString::fromUtf16(u"a\0b\tc\r\nd\x7f" u"e\x85", 11) << QStringLiteral("a_b_c__d_e_.txt");
        QTest::newRow("lone surrogate") << QString(QChar(0xD83D)) + QStringLiteral("x") << QStringLiteral("_x.txt");
        QTest::newRow("blanks kept") << QStringLiteral("  件名  ") << QStringLiteral("  件名  .txt");
    }
    void fileNameIsSafe()
    {
        QFETCH(QString, subject);
        QFETCH(QString, name);
        QCOMPARE(viewer::quickSaveFileName(subject), name);
    }

    // Long subjects are cut in bytes of UTF-8, never inside a character or a
    // combining sequence, and ".txt" always ends the name.
    void longNamesAreCut_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("name");
        // 100 kana are 300 bytes: 83 of them (249 bytes) fit before ".txt" in 255.
        QTest::newRow("300 bytes of kana") << QString(100, QChar(u'あ')) << 255 << QString(83, QChar(u'あ')) + QStringLiteral(".txt");
        QTest::newRow("ascii exactly fits") << QString(251, QLatin1Char('a')) << 255 << QString(251, QLatin1Char('a')) + QStringLiteral(".txt");
        QTest::newRow("ascii one over") << QString(252, QLatin1Char('a')) << 255 << QString(251, QLatin1Char('a')) + QStringLiteral(".txt");
        // "が" as か + combining voiced mark is 6 bytes: 2 fit into 16 - 4.
        QTest::newRow("combining marks") << QString::fromUtf16(u"か\u3099か\u3099か\u3099") << 16
                                         << QString::fromUtf16(u"か\u3099か\u3099.txt");
        // An emoji is 4 bytes (a surrogate pair): 2 fit into 13 - 4 = 9.
        QTest::newRow("surrogate pairs") << QString::fromUtf16(u"😀😀😀") << 13 << QString::fromUtf16(u"😀😀.txt");
        QTest::newRow("nothing fits") << QStringLiteral("あ") << 5 << QStringLiteral(".txt");
    }
    void longNamesAreCut()
    {
        QFETCH(QString, subject);
        QFETCH(int, limit);
        QFETCH(QString, name);
        const QString got = viewer::quickSaveFileName(subject, limit);
        QCOMPARE(got, name);
        QVERIFY(got.toUtf8().size() <= qMax(limit, 4));
    }

    void contentIsFourCp932Lines()
    {
        const QByteArray bytes = viewer::quickSaveFileContent(QStringLiteral("件名①"), QStringLiteral("山田 <y@example.jp>"),
                                                              QStringLiteral("Mon, 1 Apr 2024"),
                                                              QString::fromUtf16(u"一行目\r\n二行目😀"));
        QCOMPARE(bytes, common::toCp932(QStringLiteral("Subject:  件名①\r\nFrom:  山田 <y@example.jp>\r\nDate:  Mon, 1 Apr "
                                                       "2024\r\nBody:  一行目\r\n二行目?\r\n")));
        QVERIFY(bytes.contains("\x87\x40")); // ① in CP932
    }

    void writesNewFileWithoutAsking()
    {
        TempProgramFolder program;
        ScriptedPrompts prompts;
        QList<bool> busyCalls;
        const auto outcome = viewer::QuickSaveMail(QStringLiteral("お知らせ"), QStringLiteral("a@example.jp"),
                                                   QStringLiteral("日付"), QStringLiteral("本文"),
                                                   [&](bool busy) { busyCalls << busy; });
        QCOMPARE(outcome.result, QuickSaveResult::Written);
        QCOMPARE(outcome.path, quickFolder(program) + QStringLiteral("/お知らせ.txt"));
        QCOMPARE(readAll(outcome.path),
                 common::toCp932(QStringLiteral("Subject:  お知らせ\r\nFrom:  a@example.jp\r\nDate:  日付\r\nBody:  本文\r\n")));
        QVERIFY(prompts.shown.isEmpty());
        QCOMPARE(busyCalls, (QList<bool>{true, false}));
        QCOMPARE(entries(quickFolder(program)), QStringList{QStringLiteral("お知らせ.txt")});
        // The saved mail is the user's alone.
        QCOMPARE(QFileInfo(outcome.path).permissions() & 0x0777, QFileDevice::ReadUser | QFileDevice::WriteUser);
    }

    // An existing file of exactly that name is replaced only on "yes".
    void existingFileAsksFirst_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::newRow("yes replaces") << true;
        QTest::newRow("no keeps") << false;
    }
    void existingFileAsksFirst()
    {
        QFETCH(bool, answer);
        TempProgramFolder program;
        ScriptedPrompts prompts;
        const QString path = quickFolder(program) + QStringLiteral("/同じ件名.txt");
        writeFile(path, "old contents");
        prompts.yesNoAnswers.enqueue(answer);
        const auto outcome = viewer::QuickSaveMail(QStringLiteral("同じ件名"), QStringLiteral("f"), QStringLiteral("d"),
                                                   QStringLiteral("新しい本文"));
        QCOMPARE(prompts.shown.size(), 1);
        QCOMPARE(prompts.shown.at(0).kind, QStringLiteral("ask"));
        QCOMPARE(prompts.shown.at(0).text, QStringLiteral("同名のファイルが既に存在します。上書きしますか？ "));
        QCOMPARE(prompts.shown.at(0).title, QStringLiteral("確認"));
        QCOMPARE(outcome.result, answer ? QuickSaveResult::Written : QuickSaveResult::Declined);
        QCOMPARE(readAll(path) == "old contents", !answer);
        if (answer)
            QVERIFY(readAll(path).endsWith(common::toCp932(QStringLiteral("Body:  新しい本文\r\n"))));
        QCOMPARE(entries(quickFolder(program)), QStringList{QStringLiteral("同じ件名.txt")});
    }

    // The existence test is exact: wildcard characters in the subject match
    // only themselves, and files of other names are never asked about or touched.
    void wildcardsMatchOnlyThemselves()
    {
        TempProgramFolder program;
        ScriptedPrompts prompts;
        writeFile(quickFolder(program) + QStringLiteral("/a1.txt"), "one");
        writeFile(quickFolder(program) + QStringLiteral("/abc.txt"), "abc");
        for (const QString &subject : {QStringLiteral("a?"), QStringLiteral("a*")}) {
            const auto outcome = viewer::QuickSaveMail(subject, QString(), QString(), QStringLiteral("x"));
            QCOMPARE(outcome.result, QuickSaveResult::Written);
        }
        QVERIFY(prompts.shown.isEmpty());
        QCOMPARE(readAll(quickFolder(program) + QStringLiteral("/a1.txt")), QByteArray("one"));
        QCOMPARE(readAll(quickFolder(program) + QStringLiteral("/abc.txt")), QByteArray("abc"));
        QCOMPARE(entries(quickFolder(program)),
                 (QStringList{QStringLiteral("a*.txt"), QStringLiteral("a1.txt"), QStringLiteral("a?.txt"),
                              QStringLiteral("abc.txt")}));
    }

    // Hostile subjects all give one file inside the folder, and nothing outside it.
    void hostileSubjectsStayInside_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::newRow("slashes") << QStringLiteral("../../../escaped");
        QTest::newRow("dot dot") << QStringLiteral("..");
        QTest::newRow("empty") << QString();
        QTest::newRow("300 bytes") << QString(100, QChar(u'漢'));
        QTest::newRow("newline") << QStringLiteral("一行目\r\n二行目");
    }
    void hostileSubjectsStayInside()
    {
        QFETCH(QString, subject);
        TempProgramFolder program;
        ScriptedPrompts prompts;
        const QStringList before = entries(program.path());
        const auto outcome = viewer::QuickSaveMail(subject, QString(), QString(), QStringLiteral("本文"));
        QCOMPARE(outcome.result, QuickSaveResult::Written);
        QCOMPARE(QFileInfo(outcome.path).absolutePath(), quickFolder(program));
        QCOMPARE(entries(quickFolder(program)).size(), 1);
        QCOMPARE(entries(program.path()), before);
        QVERIFY(readAll(outcome.path).startsWith("Subject:  "));
    }

    void missingFolderIsCreatedAgain()
    {
        TempProgramFolder program;
        ScriptedPrompts prompts;
        QVERIFY(QDir(quickFolder(program)).removeRecursively());
        const auto outcome = viewer::QuickSaveMail(QStringLiteral("再作成"), QString(), QString(), QStringLiteral("本文"));
        QCOMPARE(outcome.result, QuickSaveResult::Written);
        QVERIFY(QFileInfo(quickFolder(program)).isDir());
        QCOMPARE(QFileInfo(quickFolder(program)).permissions() & 0x0777,
                 QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
        QVERIFY(QFile::exists(quickFolder(program) + QStringLiteral("/再作成.txt")));
    }

    // Failures tell the user in Japanese and leave what exists untouched,
    // with no temporary file left behind.
    void failuresAreReported()
    {
        TempProgramFolder program;
        ScriptedPrompts prompts;
        // A folder where the file should go: the rename cannot replace it.
        QVERIFY(QDir().mkpath(quickFolder(program) + QStringLiteral("/件名.txt/中身")));
        prompts.yesNoAnswers.enqueue(true);
        auto outcome = viewer::QuickSaveMail(QStringLiteral("件名"), QString(), QString(), QStringLiteral("本文"));
        QCOMPARE(outcome.result, QuickSaveResult::Failed);
        QCOMPARE(prompts.informTexts().size(), 1);
        QVERIFY2(prompts.informTexts().at(0).startsWith(QStringLiteral("ファイル「件名.txt」を保存できませんでした。")),
                 qPrintable(prompts.informTexts().at(0)));
        QVERIFY(QFileInfo(quickFolder(program) + QStringLiteral("/件名.txt/中身")).isDir());
        QCOMPARE(entries(quickFolder(program)), QStringList{QStringLiteral("件名.txt")});

        // A plain file where the folder should be: it cannot be created.
        QVERIFY(QDir(quickFolder(program)).removeRecursively());
        writeFile(quickFolder(program), "not a folder");
        outcome = viewer::QuickSaveMail(QStringLiteral("件名"), QString(), QString(), QStringLiteral("本文"));
        QCOMPARE(outcome.result, QuickSaveResult::Failed);
        QCOMPARE(prompts.informTexts().size(), 2);
        QVERIFY(prompts.informTexts().at(1).contains(QStringLiteral("■TextQuickSave")));
        QCOMPARE(readAll(quickFolder(program)), QByteArray("not a folder"));
    }

    void replyFields_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("replySubject");
        QTest::addColumn<QString>("recipient");
        QTest::addColumn<QString>("replyBody");
        QTest::newRow("blanks around") << QStringLiteral("  打ち合わせ  ") << QStringLiteral(" a@example.jp ")
                                       << QStringLiteral("  本文\r\n  ") << QStringLiteral("Re:  打ち合わせ")
                                       << QStringLiteral("a@example.jp") << QStringLiteral("本文\r\n");
        QTest::newRow("other white space stays") << QString::fromUtf16(u"\u3000件名\t") << QStringLiteral("\tb")
                                                 << QStringLiteral("\r\n本文") << QString::fromUtf16(u"Re:  \u3000件名\t")
                                                 << QStringLiteral("\tb") << QStringLiteral("\r\n本文");
        QTest::newRow("empty") << QString() << QString() << QString() << QStringLiteral("Re:  ") << QString() << QString();
        QTest::newRow("already a reply") << QStringLiteral("Re:  件名") << QStringLiteral("x") << QStringLiteral("y")
                                         << QStringLiteral("Re:  Re:  件名") << QStringLiteral("x") << QStringLiteral("y");
    }
    void replyFields()
    {
        QFETCH(QString, subject);
        QFETCH(QString, sender);
        QFETCH(QString, body);
        const viewer::ReplyFields fields = viewer::buildReplyFields(subject, sender, body);
        QTEST(fields.subject, "replySubject");
        QTEST(fields.recipient, "recipient");
        QTEST(fields.body, "replyBody");
    }

    void selectionMarkerGates()
    {
        ScriptedPrompts prompts;
        int cleared = 0;
        QVERIFY(!viewer::takeSelection(false, [&] { ++cleared; }));
        QCOMPARE(prompts.informTexts(), QStringList{QStringLiteral("データが選択されていません")});
        QCOMPARE(prompts.shown.at(0).title, QString());
        QCOMPARE(cleared, 0);
        QVERIFY(viewer::takeSelection(true, [&] { ++cleared; }));
        QCOMPARE(cleared, 1);
        QCOMPARE(prompts.shown.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestQuickSave)
#include "tst_QuickSave.moc"
