#include "common/Cp932.h"
#include "common/ProfileFile.h"
#include "settings/Credentials.h"
#include "support/TempProgramFolder.h"

#include <QFile>
#include <QTest>

using settings::Credentials;
using settings::SaveChoice;

namespace {
QString key(const QString &name)
{
    return common::ProfileFile(settings::credentialsFilePath())
        .readText(QStringLiteral("EXEINI"), name, QStringLiteral("<missing>"));
}
} // namespace

class TestCredentials : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void missingFileGivesEmptyPair()
    {
        testsupport::TempProgramFolder folder;
        const Credentials c = settings::LoadCredentials();
        QVERIFY(c.userId.isEmpty());
        QVERIFY(c.password.isEmpty());
    }

    void savingWritesThreeKeysAndReadsBack()
    {
        testsupport::TempProgramFolder folder;
        QVERIFY(settings::SaveCredentials({QStringLiteral("taro"), QStringLiteral("pa ss 蛍")}, SaveChoice::Save));
        QCOMPARE(key(QStringLiteral("NAME")), QStringLiteral("taro"));
        QCOMPARE(key(QStringLiteral("NAME2")), QStringLiteral("pa ss 蛍"));
        QCOMPARE(key(QStringLiteral("NAME3")), QStringLiteral("1"));
        // Plain text in CP932, in the data folder, in section EXEINI.
        const QByteArray raw = folder.readDataFile(QStringLiteral("iniIdPass.ini"));
        QVERIFY(raw.startsWith("[EXEINI]\r\n"));
        QVERIFY(raw.contains(common::toCp932(QStringLiteral("NAME2=pa ss 蛍"))));
        const Credentials c = settings::LoadCredentials();
        QCOMPARE(c.userId, QStringLiteral("taro"));
        QCOMPARE(c.password, QStringLiteral("pa ss 蛍"));
    }

    void notSavingKeepsAnEarlierPair()
    {
        testsupport::TempProgramFolder folder;
        QVERIFY(settings::SaveCredentials({QStringLiteral("taro"), QStringLiteral("secret")}, SaveChoice::Save));
        QVERIFY(settings::SaveCredentials({QStringLiteral("other"), QStringLiteral("typed")}, SaveChoice::DoNotSave));
        QCOMPARE(key(QStringLiteral("NAME")), QStringLiteral("taro"));
        QCOMPARE(key(QStringLiteral("NAME2")), QStringLiteral("secret"));
        QCOMPARE(key(QStringLiteral("NAME3")), QStringLiteral("0"));
    }

    void notSavingOnAFreshMachineWritesOnlyTheMark()
    {
        testsupport::TempProgramFolder folder;
        QVERIFY(settings::SaveCredentials({QStringLiteral("id"), QStringLiteral("pw")}, SaveChoice::DoNotSave));
        QCOMPARE(folder.readDataFile(QStringLiteral("iniIdPass.ini")), QByteArray("[EXEINI]\r\nNAME3=0\r\n"));
        // The pair typed serves this session without being written.
        QCOMPARE(settings::LoadCredentials().password, QStringLiteral("pw"));
    }

    void createdFileIsForItsOwnerOnly_data()
    {
        QTest::addColumn<bool>("existedReadableByAll");
        QTest::newRow("new file") << false;
        QTest::newRow("file readable by all before") << true;
    }
    void createdFileIsForItsOwnerOnly()
    {
        QFETCH(bool, existedReadableByAll);
        testsupport::TempProgramFolder folder;
        if (existedReadableByAll) {
            folder.writeDataFile(QStringLiteral("iniIdPass.ini"), "[EXEINI]\r\nNAME=old\r\n");
            QVERIFY(QFile::setPermissions(settings::credentialsFilePath(), QFile::ReadOwner | QFile::WriteOwner
                                                                               | QFile::ReadGroup | QFile::ReadOther));
        }
        QVERIFY(settings::SaveCredentials({QStringLiteral("id"), QStringLiteral("pw")}, SaveChoice::Save));
        const QFile::Permissions p = QFile::permissions(settings::credentialsFilePath());
        QCOMPARE(p & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                 QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(!(p & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther)));
    }

    void valuesAreReadThroughA256ByteBuffer()
    {
        testsupport::TempProgramFolder folder;
        folder.writeDataFile(QStringLiteral("iniIdPass.ini"),
                             "[EXEINI]\r\nNAME=" + QByteArray(300, 'a') + "\r\nNAME2=p\r\n");
        QCOMPARE(settings::LoadCredentials().userId, QString(255, QLatin1Char('a')));
    }

    void credentialsAreNotTheProfile()
    {
        testsupport::TempProgramFolder folder;
        QVERIFY(common::ProfileWrite(QStringLiteral("NAME"), QStringLiteral("1")));
        QVERIFY(settings::LoadCredentials().userId.isEmpty());
        QVERIFY(settings::SaveCredentials({QStringLiteral("id"), QStringLiteral("pw")}, SaveChoice::Save));
        QCOMPARE(common::ProfileReadText(QStringLiteral("NAME"), QString()), QStringLiteral("1"));
    }

    void missingDataFolderIsAFailedSave()
    {
        testsupport::TempProgramFolder folder;
        QVERIFY(QDir(folder.dataFolder()).removeRecursively());
        QVERIFY(!settings::SaveCredentials({QStringLiteral("id"), QStringLiteral("pw")}, SaveChoice::Save));
    }
};

QTEST_GUILESS_MAIN(TestCredentials)
#include "tst_Credentials.moc"
