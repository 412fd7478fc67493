#include "common/Cp932.h"
#include "common/TextHelpers.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestTextHelpers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void trimBlanks()
    {
        QCOMPARE(common::trimBlanks(QStringLiteral("  a@b.jp ")), QStringLiteral("a@b.jp"));
        QCOMPARE(common::trimBlanks(QStringLiteral("\ta@b.jp")), QStringLiteral("\ta@b.jp"));
    }

    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("1") << "1" << 1.0;
        QTest::newRow("1.0") << "1.0" << 1.0;
        QTest::newRow("0") << "0" << 0.0;
        QTest::newRow("2") << "2" << 2.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("default text") << "GetPPSErr" << 0.0;
        QTest::newRow("blanks inside") << " 1 0" << 10.0;
        QTest::newRow("tab") << "\t1" << 1.0;
        QTest::newRow("trailing letters") << "1abc" << 1.0;
        QTest::newRow("negative") << "-1" << -1.0;
        QTest::newRow("plus") << "+1" << 1.0;
        QTest::newRow("exponent") << "0.1e1" << 1.0;
        QTest::newRow("D exponent") << "1D2" << 100.0;
        QTest::newRow("lone e") << "1e" << 1.0;
        QTest::newRow("fraction only") << ".5" << 0.5;
        QTest::newRow("dot after") << "1." << 1.0;
        QTest::newRow("hex") << "&H1" << 1.0;
        QTest::newRow("hex lower") << "&h1F" << 31.0;
        QTest::newRow("octal") << "&O17" << 15.0;
        QTest::newRow("full-width digit") << QString::fromUtf8("１") << 0.0;
        QTest::newRow("sign only") << "-" << 0.0;
        QTest::newRow("huge") << "1e999" << 0.0;
    }
    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(common::leadingNumber(text), value);
    }

    void cutAtNul()
    {
        QCOMPARE(common::CutAtNul(QString::fromUtf16(u"ab\0cd", 5)), QStringLiteral("ab"));
        QCOMPARE(common::CutAtNul(QStringLiteral("abcd")), QStringLiteral("abcd"));
        QCOMPARE(common::CutAtNul(QString::fromUtf16(u"\0cd", 3)), QString());
    }

    void folderPart()
    {
        QCOMPARE(common::FolderPart(QStringLiteral("C:\\a\\b.txt")), QStringLiteral("C:\\a\\"));
        QCOMPARE(common::FolderPart(QStringLiteral("abcd\\e.txt")), QStringLiteral("abcd\\"));
        QCOMPARE(common::FolderPart(QStringLiteral("/home/u/x.txt")), QStringLiteral("/home/u/"));
        QCOMPARE(common::FolderPart(QStringLiteral("name.txt")), QStringLiteral("name.txt"));
        QCOMPARE(common::FolderPart(QString()), QString());
    }

    void readLineRules_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("text");
        QTest::newRow("last line without end") << QByteArray("A\r\nB") << QStringLiteral("A\r\nB\r\n");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("lone CR ends a line") << QByteArray("A\rB\r\n") << QStringLiteral("A\r\nB\r\n");
        QTest::newRow("lone LF stays") << QByteArray("A\nB\r\n") << QStringLiteral("A\nB\r\n");
        QTest::newRow("japanese") << common::toCp932(QStringLiteral("日本語①\r\n")) << QStringLiteral("日本語①\r\n");
    }
    void readLineRules()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, text);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t.txt"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
        f.close();
        bool ok = false;
        QCOMPARE(common::readCp932TextFile(path, &ok), text);
        QVERIFY(ok);
    }

    void writeThenReadBack()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("w.txt"));
        QVERIFY(common::writeCp932TextFile(path, QStringLiteral("件名：テスト\r\n")));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), common::toCp932(QStringLiteral("件名：テスト\r\n")));
        bool ok = true;
        (void)common::readCp932TextFile(dir.filePath(QStringLiteral("missing.txt")), &ok);
        QVERIFY(!ok);
        QVERIFY(!common::writeCp932TextFile(dir.filePath(QStringLiteral("no/such/dir.txt")), QStringLiteral("x")));
    }
};

QTEST_GUILESS_MAIN(TestTextHelpers)
#include "tst_TextHelpers.moc"
