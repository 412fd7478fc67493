#include "common/RecordFile.h"

#include "support/FaultyRecordFileSystem.h"
#include "support/TempProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using common::Flush;
using common::Leftover;
using common::RecordFile;
using common::StoreError;
using testsupport::FaultyRecordFileSystem;
using testsupport::SimulatedCrash;

namespace {

// A small layout keeps every file in these tests a few dozen bytes long.
constexpr qint64 Length = 16;
constexpr qint64 LiveOffset = 14;
const QString StoreName = QStringLiteral("rec.data");
const QString TempName = QStringLiteral("REC.TMP");

RecordFile makeFile()
{
    return RecordFile({StoreName, TempName, Length, LiveOffset});
}

// Record with a text of fourteen copies of tag and the given live flag.
QByteArray rec(char tag, qint16 live = 1)
{
    QByteArray r(LiveOffset, tag);
    r += char(live & 0xFF);
    r += char((live >> 8) & 0xFF);
    return r;
}

QByteArray recs(const QByteArray &tags, const QByteArray &deadTags = {})
{
    QByteArray out;
    for (char t : tags)
        out += rec(t, deadTags.contains(t) ? 0 : 1);
    return out;
}

// The tags of the whole records of bytes, in order; a trailing piece shows as "+".
QByteArray tagsOf(const QByteArray &bytes)
{
    QByteArray out;
    qsizetype at = 0;
    for (; at + Length <= bytes.size(); at += Length)
        out += bytes.at(at);
    if (at < bytes.size())
        out += '+';
    return out;
}

QStringList dataFiles(const testsupport::TempProgramFolder &folder)
{
    return QDir(folder.dataFolder()).entryList(QDir::Files, QDir::Name);
}

} // namespace

class TestRecordFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void appendFailingAtEveryStepLeavesTheStoreAsItWas_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("error");
        QTest::addColumn<bool>("flush");
        QTest::newRow("append, I/O error") << 4 << EIO << false;
        QTest::newRow("append, disk full") << 4 << ENOSPC << false;
        QTest::newRow("append flushed, I/O error") << 4 << EIO << true;
        QTest::newRow("append flushed, disk full") << 4 << ENOSPC << true;
        QTest::newRow("overwrite flushed, I/O error") << 2 << EIO << true;
        QTest::newRow("append over a short piece") << 4 << ENOSPC << true;
    }
    void appendFailingAtEveryStepLeavesTheStoreAsItWas()
    {
        QFETCH(int, number);
        QFETCH(int, error);
        QFETCH(bool, flush);
        const bool piece = QByteArray(QTest::currentDataTag()).contains("piece");
        const QByteArray before = recs("abc") + (piece ? QByteArray(5, 'p') : QByteArray());
        QByteArray after = before;
        after.replace((number - 1) * Length, qMin<qint64>(Length, after.size() - (number - 1) * Length), rec('n'));

        FaultyRecordFileSystem faults;
        int steps = 0;
        {
            testsupport::TempProgramFolder folder;
            folder.writeDataFile(StoreName, before);
            faults.arm(0, FaultyRecordFileSystem::Fault::Fail);
            RecordFile file = makeFile();
            QVERIFY(file.write(number, rec('n'), flush ? Flush::ToDisk : Flush::No));
            QCOMPARE(folder.readDataFile(StoreName), after);
            steps = faults.steps();
            QCOMPARE(faults.log.contains(QStringLiteral("fsync")), flush);
        }
        for (int k = 1; k <= steps; ++k) {
            testsupport::TempProgramFolder folder;
            folder.writeDataFile(StoreName, before);
            faults.arm(k, FaultyRecordFileSystem::Fault::Fail, error);
            RecordFile file = makeFile();
            const common::StoreStatus status = file.write(number, rec('n'), flush ? Flush::ToDisk : Flush::No);
            QVERIFY(faults.hit());
            const QByteArray onDisk = folder.readDataFile(StoreName);
            // Success is reported exactly when the record is stored; a failure leaves no trace.
            if (status.ok()) {
                QCOMPARE(onDisk, after);
            } else {
                QCOMPARE(onDisk, before);
                QVERIFY(!status.message().isEmpty());
                if (error == ENOSPC && faults.log.last() == QLatin1String("pwrite"))
                    QCOMPARE(status.error, StoreError::DiskFull);
            }
            QCOMPARE(dataFiles(folder), QStringList{StoreName});
        }
    }

    void diskFullIsReportedInJapanese()
    {
        testsupport::TempProgramFolder folder;
        folder.writeDataFile(StoreName, recs("a"));
        FaultyRecordFileSystem faults;
        RecordFile file = makeFile();
        faults.arm(0, FaultyRecordFileSystem::Fault::Fail);
        QVERIFY(file.write(2, rec('b'), Flush::No));
        const int pwriteStep = int(faults.log.indexOf(QStringLiteral("pwrite"))) + 1;
        faults.arm(pwriteStep, FaultyRecordFileSystem::Fault::Fail, ENOSPC);
        const common::StoreStatus status = file.write(3, rec('c'), Flush::No);
        QCOMPARE(status.error, StoreError::DiskFull);
        QCOMPARE(status.message(),
                 QStringLiteral("ディスクの空き容量が足りないため、ファイル「rec.data」に書き込めません。"));
        QCOMPARE(folder.readDataFile(StoreName), recs("ab"));
    }

    void compactionFailingAtEveryStepLosesNothing()
    {
        const QByteArray before = recs("abcdef", "ce") + QByteArray(3, 'p');
        const QByteArray compacted = recs("abdf") + QByteArray(3, 'p');
        FaultyRecordFileSystem faults;
        int steps = 0;
        {
            testsupport::TempProgramFolder folder;
            folder.writeDataFile(StoreName, before);
            faults.arm(0, FaultyRecordFileSystem::Fault::Fail);
            RecordFile file = makeFile();
            QVERIFY(file.compact(nullptr));
            QCOMPARE(folder.readDataFile(StoreName), compacted);
            steps = faults.steps();
        }
        QVERIFY(steps > 10);
        for (int k = 1; k <= steps; ++k) {
            testsupport::TempProgramFolder folder;
            folder.writeDataFile(StoreName, before);
            faults.arm(k, FaultyRecordFileSystem::Fault::Fail, k % 2 ? EIO : ENOSPC);
            RecordFile file = makeFile();
            const common::StoreStatus status = file.compact(nullptr);
            const QString failedStep = faults.log.value(k - 1);
            const QByteArray onDisk = folder.readDataFile(StoreName);
            // The store is whole at once: as it was, or compacted.
            QVERIFY2(onDisk == before || onDisk == compacted, qPrintable(failedStep));
            QCOMPARE(status.ok(), onDisk == compacted);
            // A temporary file left behind is dealt with at the next start-up,
            // which finishes the job; without one the marked records wait for
            // the next compaction.
            const bool tempLeft = QFile::exists(folder.dataFile(TempName));
            faults.arm(0, FaultyRecordFileSystem::Fault::Fail);
            QVERIFY(file.create());
            QCOMPARE(folder.readDataFile(StoreName), tempLeft ? compacted : onDisk);
            QCOMPARE(dataFiles(folder), QStringList{StoreName});
            QVERIFY(file.compact(nullptr));
            QCOMPARE(folder.readDataFile(StoreName), compacted);
        }
    }

    // A crash at any step of a compaction, and again at any step of the
    // start-up that deals with it, still ends with every live record once, in order.
    void compactionCrashingAtEveryStepLosesNothing()
    {
        const QByteArray before = recs("abcdef", "ce") + QByteArray(3, 'p');
        const QByteArray compacted = recs("abdf") + QByteArray(3, 'p');
        FaultyRecordFileSystem faults;
        int steps = 0;
        {
            testsupport::TempProgramFolder folder;
            folder.writeDataFile(StoreName, before);
            faults.arm(0, FaultyRecordFileSystem::Fault::Crash);
            RecordFile file = makeFile();
            QVERIFY(file.compact(nullptr));
            steps = faults.steps();
        }
        int recoveries = 0;
        for (int k = 1; k <= steps; ++k) {
            for (int m = 1;; ++m) {
                testsupport::TempProgramFolder folder;
                folder.writeDataFile(StoreName, before);
                RecordFile file = makeFile();
                faults.arm(k, FaultyRecordFileSystem::Fault::Crash);
                bool crashed = false;
                try {
                    (void)file.compact(nullptr);
                } catch (const SimulatedCrash &) {
                    crashed = true;
                }
                QVERIFY(crashed);
                const QByteArray left = folder.readDataFile(StoreName);
                QVERIFY(left == before || left == compacted);
                const bool tempLeft = QFile::exists(folder.dataFile(TempName));
                // Start-up, crashing at its step m, then once more without a crash.
                faults.arm(m, FaultyRecordFileSystem::Fault::Crash);
                bool again = false;
                try {
                    QVERIFY(file.create());
                } catch (const SimulatedCrash &) {
                    again = true;
                }
                faults.arm(0, FaultyRecordFileSystem::Fault::Crash);
                if (again)
                    QVERIFY(file.create());
                QCOMPARE(folder.readDataFile(StoreName), tempLeft ? compacted : left);
                QCOMPARE(dataFiles(folder), QStringList{StoreName});
                QVERIFY(file.compact(nullptr));
                QCOMPARE(tagsOf(folder.readDataFile(StoreName)), QByteArray("abdf+"));
                ++recoveries;
                if (!again)
                    break;
            }
        }
        QVERIFY(recoveries > steps);
    }

    // Leftovers of a compaction that first copied the whole store into the
    // temporary file, removed the store and then wrote the live records back.
    void leftoverOfACopyBackCompaction_data()
    {
        QTest::addColumn<QByteArray>("store"); // "-" = no store file
        QTest::addColumn<QByteArray>("temp");
        QTest::addColumn<int>("leftover");
        const QByteArray full = recs("abcdef", "be");
        QTest::newRow("store removed, nothing written back") << QByteArray("-") << full << int(Leftover::TempTaken);
        QTest::newRow("empty store") << QByteArray() << full << int(Leftover::TempTaken);
        QTest::newRow("two written back") << recs("ac") << full << int(Leftover::TempTaken);
        QTest::newRow("torn third record") << recs("ac") + rec('d').left(7) << full << int(Leftover::TempTaken);
        QTest::newRow("all written, temp left") << recs("acdf") << full << int(Leftover::StoreKept);
        QTest::newRow("temp only, torn copy") << QByteArray("-") << full.left(5 * Length + 3)
                                               << int(Leftover::TempTaken);
    }
    void leftoverOfACopyBackCompaction()
    {
        QFETCH(QByteArray, store);
        QFETCH(QByteArray, temp);
        QFETCH(int, leftover);
        testsupport::TempProgramFolder folder;
        if (store != "-")
            folder.writeDataFile(StoreName, store);
        folder.writeDataFile(TempName, temp);
        RecordFile file = makeFile();
        QVERIFY(file.create());
        QCOMPARE(int(file.lastLeftover()), leftover);
        const QByteArray expected = QByteArray(QTest::currentDataTag()).contains("torn copy") ? "acd+" : "acdf";
        QCOMPARE(tagsOf(folder.readDataFile(StoreName)), expected);
        QCOMPARE(dataFiles(folder), QStringList{StoreName});
    }

    void leftoverOfThisProgramKeepsTheStore_data()
    {
        QTest::addColumn<QByteArray>("temp");
        QTest::newRow("empty temp") << QByteArray();
        QTest::newRow("two copied") << recs("ac");
        QTest::newRow("torn third") << recs("ac") + rec('d').left(9);
        QTest::newRow("complete, not renamed") << recs("acdf");
    }
    void leftoverOfThisProgramKeepsTheStore()
    {
        QFETCH(QByteArray, temp);
        testsupport::TempProgramFolder folder;
        folder.writeDataFile(StoreName, recs("abcdef", "be"));
        folder.writeDataFile(QStringLiteral("rec.tmp"), temp); // found whatever its letter case
        RecordFile file = makeFile();
        QCOMPARE(file.count(nullptr), 4);
        QCOMPARE(file.lastLeftover(), Leftover::StoreKept);
        QCOMPARE(folder.readDataFile(StoreName), recs("acdf"));
        QCOMPARE(dataFiles(folder), QStringList{StoreName});
    }

    void unrelatedLeftoverIsSetAside()
    {
        testsupport::TempProgramFolder folder;
        folder.writeDataFile(StoreName, recs("abc"));
        folder.writeDataFile(TempName, recs("xy"));
        folder.writeDataFile(TempName + QStringLiteral(".1"), recs("q"));
        RecordFile file = makeFile();
        QVERIFY(file.create());
        QCOMPARE(file.lastLeftover(), Leftover::SetAside);
        QCOMPARE(file.setAsidePath(), folder.dataFile(TempName + QStringLiteral(".2")));
        QCOMPARE(folder.readDataFile(StoreName), recs("abc"));
        QCOMPARE(folder.readDataFile(TempName + QStringLiteral(".2")), recs("xy"));
        QVERIFY(!QFile::exists(folder.dataFile(TempName)));
    }

    // A store that is a symbolic link: the file it points to loses the
    // deleted records, the link stays, and no temporary file remains.
    void storeThatIsALinkIsCompactedWhereItPoints()
    {
        testsupport::TempProgramFolder folder;
        QTemporaryDir elsewhere;
        const QString target = elsewhere.path() + QStringLiteral("/real.data");
        QFile out(target);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(recs("abc", "b"));
        out.close();
        QVERIFY(QFile::link(target, folder.dataFile(StoreName)));
        RecordFile file = makeFile();
        QVERIFY(file.compact(nullptr));
        QVERIFY(QFileInfo(folder.dataFile(StoreName)).isSymLink());
        QCOMPARE(tagsOf(folder.readDataFile(StoreName)), QByteArray("ac"));
        QCOMPARE(QDir(elsewhere.path()).entryList(QDir::Files), QStringList{QStringLiteral("real.data")});
        QCOMPARE(dataFiles(folder), QStringList{StoreName});
    }

    void appendAfterAnInterruptedCopyBackGoesAfterEveryRecord()
    {
        // The count that decides where new mail goes must see the whole store.
        testsupport::TempProgramFolder folder;
        folder.writeDataFile(StoreName, recs("a"));
        folder.writeDataFile(TempName, recs("abc"));
        RecordFile file = makeFile();
        const int n = file.count(nullptr) + 1;
        QCOMPARE(n, 4);
        QVERIFY(file.write(n, rec('n'), Flush::ToDisk));
        QCOMPARE(folder.readDataFile(StoreName), recs("abcn"));
    }

    void readsReportTheirOutcome()
    {
        testsupport::TempProgramFolder folder;
        folder.writeDataFile(StoreName, recs("ab") + QByteArray(4, 'p'));
        RecordFile file = makeFile();
        QByteArray got;
        common::StoreStatus status;
        QCOMPARE(file.read(2, &got, &status), common::RecordRead::Read);
        QCOMPARE(got, rec('b'));
        QCOMPARE(file.read(3, &got, &status), common::RecordRead::PastEnd);
        QCOMPARE(got, rec('b'));
        QVERIFY(status.ok());

        FaultyRecordFileSystem faults;
        faults.arm(2, FaultyRecordFileSystem::Fault::Fail); // open, then the read itself
        QCOMPARE(file.read(1, &got, &status), common::RecordRead::Failed);
        QCOMPARE(status.error, StoreError::CannotRead);
        QCOMPARE(status.message(), QStringLiteral("ファイル「rec.data」を読み込めません。"));
        QCOMPARE(got, rec('b'));

        QByteArray heads;
        faults.arm(0, FaultyRecordFileSystem::Fault::Fail);
        QVERIFY(file.readHeads(1, [&heads](const char *h) { heads += *h; }, &got));
        QCOMPARE(heads, QByteArray("ab"));
        faults.arm(4, FaultyRecordFileSystem::Fault::Fail); // open, fstat, first head, second head
        heads.clear();
        QCOMPARE(file.readHeads(1, [&heads](const char *h) { heads += *h; }, &got).error, StoreError::CannotRead);
    }
};

QTEST_GUILESS_MAIN(TestRecordFile)
#include "tst_RecordFile.moc"
