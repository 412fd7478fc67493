#include "common/Cp932.h"
#include "common/ProfileFile.h"
#include "support/TempProgramFolder.h"

#include <QFile>
#include <QTest>

using common::ProfileFile;

class TestProfileFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readsWithoutRegardToCase()
    {
        testsupport::TempProgramFolder folder;
        folder.writeDataFile(QStringLiteral("ini.ini"), "[exeini]\r\nname = 1 \r\nNumber=7\r\n[Other]\r\nNAME=9\r\n");
        QCOMPARE(common::ProfileReadText(QStringLiteral("NAME"), QStringLiteral("GetPPSErr")), QStringLiteral("1"));
        QCOMPARE(common::ProfileReadInt(QStringLiteral("NUMBER"), 0), 7);
        QCOMPARE(common::ProfileReadInt(QStringLiteral("NUMBER2"), 42), 42);
    }

    void missingFileGivesDefaults()
    {
        testsupport::TempProgramFolder folder;
        QCOMPARE(common::ProfileReadText(QStringLiteral("NAME"), QStringLiteral("GetPPSErr")),
                 QStringLiteral("GetPPSErr"));
        QCOMPARE(common::ProfileReadInt(QStringLiteral("NUMBER"), 0), 0);
    }

    void intReadsLeadingDigits_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("plain") << QByteArray("1") << 1;
        QTest::newRow("decimal") << QByteArray("1.0") << 1;
        QTest::newRow("trailing text") << QByteArray("12abc") << 12;
        QTest::newRow("no digits") << QByteArray("GetPPSErr") << 0;
        QTest::newRow("empty") << QByteArray("") << 0;
        QTest::newRow("quoted") << QByteArray("\"5\"") << 5;
    }
    void intReadsLeadingDigits()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, expected);
        testsupport::TempProgramFolder folder;
        folder.writeDataFile(QStringLiteral("ini.ini"), "[EXEINI]\r\nNUMBER=" + value + "\r\n");
        QCOMPARE(common::ProfileReadInt(QStringLiteral("NUMBER"), 99), expected);
    }

    void readIsLimitedTo255Bytes()
    {
        testsupport::TempProgramFolder folder;
        folder.writeDataFile(QStringLiteral("ini.ini"), "[EXEINI]\r\nNAME=" + QByteArray(300, 'x') + "\r\n");
        QCOMPARE(common::ProfileReadText(QStringLiteral("NAME"), QString()).size(), 255);
        // Japanese text is cut by bytes without splitting a character.
        folder.writeDataFile(QStringLiteral("ini.ini"),
                             "[EXEINI]\r\nNAME=" + common::toCp932(QString(200, QChar(0x3042))) + "\r\n");
        QCOMPARE(common::ProfileReadText(QStringLiteral("NAME"), QString()), QString(127, QChar(0x3042)));
    }

    void writeKeepsOtherLines()
    {
        testsupport::TempProgramFolder folder;
        const QByteArray before = "; comment\r\n[Other]\r\nNAME=keep\r\n\r\n[ExeIni]\r\nNUMBER=1\r\nname=0\r\nX=y\r\n";
        folder.writeDataFile(QStringLiteral("ini.ini"), before);
        QVERIFY(common::ProfileWrite(QStringLiteral("NAME"), QStringLiteral("1")));
        QCOMPARE(folder.readDataFile(QStringLiteral("ini.ini")),
                 QByteArray("; comment\r\n[Other]\r\nNAME=keep\r\n\r\n[ExeIni]\r\nNUMBER=1\r\nNAME=1\r\nX=y\r\n"));
        QVERIFY(common::ProfileWrite(QStringLiteral("NUMBER2"), QStringLiteral("0")));
        QCOMPARE(folder.readDataFile(QStringLiteral("ini.ini")),
                 QByteArray("; comment\r\n[Other]\r\nNAME=keep\r\n\r\n[ExeIni]\r\nNUMBER=1\r\nNAME=1\r\nX=y\r\nNUMBER2=0\r\n"));
    }

    void writeCreatesFileAndSection()
    {
        testsupport::TempProgramFolder folder;
        QVERIFY(common::ProfileWrite(QStringLiteral("NAME"), QStringLiteral("0")));
        QCOMPARE(folder.readDataFile(QStringLiteral("ini.ini")), QByteArray("[EXEINI]\r\nNAME=0\r\n"));
        folder.writeDataFile(QStringLiteral("ini.ini"), "[A]\r\nk=v"); // no final line end
        QVERIFY(common::ProfileWrite(QStringLiteral("NUMBER"), QStringLiteral("1")));
        QCOMPARE(folder.readDataFile(QStringLiteral("ini.ini")), QByteArray("[A]\r\nk=v\r\n[EXEINI]\r\nNUMBER=1\r\n"));
    }

    void japaneseValuesAreCp932()
    {
        testsupport::TempProgramFolder folder;
        ProfileFile file(folder.dataFile(QStringLiteral("iniIdPass.ini")));
        QVERIFY(file.write(QStringLiteral("EXEINI"), QStringLiteral("NAME"), QStringLiteral("山田①")));
        QVERIFY(folder.readDataFile(QStringLiteral("iniIdPass.ini")).contains("NAME=\x8E\x52\x93\x63\x87\x40"));
        QCOMPARE(file.readText(QStringLiteral("exeini"), QStringLiteral("name"), QString()), QStringLiteral("山田①"));
    }

    void createdFileTakesRequestedPermissions()
    {
        testsupport::TempProgramFolder folder;
        ProfileFile file(folder.dataFile(QStringLiteral("secret.ini")));
        file.setCreatePermissions(QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(file.write(QStringLiteral("EXEINI"), QStringLiteral("NAME3"), QStringLiteral("pw")));
        QCOMPARE(QFile::permissions(file.path()) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    }

    void writeIntoMissingFolderFails()
    {
        ProfileFile file(QStringLiteral("/nonexistent-folder-for-test/ini.ini"));
        QVERIFY(!file.write(QStringLiteral("EXEINI"), QStringLiteral("NAME"), QStringLiteral("1")));
    }
};

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_ProfileFile.moc"
