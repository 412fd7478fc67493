#include "common/CaseInsensitivePath.h"
#include "common/ProgramFolder.h"
#include "support/TempProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QTest>

class TestPaths : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everySpellingReachesTheOneFile()
    {
        testsupport::TempProgramFolder folder;
        folder.writeDataFile(QStringLiteral("Krxdata20.data"), "x");
        const QString real = folder.dataFile(QStringLiteral("Krxdata20.data"));
        QCOMPARE(common::ProgramFolder::file(QStringLiteral("\\★MAilData\\krxdata20.data")), real);
        QCOMPARE(common::ProgramFolder::file(QStringLiteral("/★MailData/KRXDATA20.DATA")), real);
        QCOMPARE(common::ProgramFolder::dataFile(QStringLiteral("krxdata20.DATA")), real);
        QCOMPARE(common::ProgramFolder::dataFolder(), folder.dataFolder());
    }

    void missingFileKeepsGivenSpellingInRealFolder()
    {
        testsupport::TempProgramFolder folder;
        const QString p = common::ProgramFolder::file(QStringLiteral("\\★MAilData\\KRXDATA2.TMP"));
        QCOMPARE(p, folder.dataFolder() + QStringLiteral("/KRXDATA2.TMP"));
        const QString deeper = common::resolveCaseInsensitive(folder.path(), QStringLiteral("nothere/Sub/File.txt"));
        QCOMPARE(deeper, folder.path() + QStringLiteral("/nothere/Sub/File.txt"));
    }

    void exactSpellingWinsOverOtherCase()
    {
        testsupport::TempProgramFolder folder;
        folder.writeDataFile(QStringLiteral("a.txt"), "lower");
        folder.writeDataFile(QStringLiteral("A.txt"), "upper");
        QCOMPARE(common::ProgramFolder::dataFile(QStringLiteral("A.txt")), folder.dataFile(QStringLiteral("A.txt")));
        QCOMPARE(common::ProgramFolder::dataFile(QStringLiteral("a.TXT")), folder.dataFile(QStringLiteral("A.txt")));
    }
};

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_Paths.moc"
