#include "receive/MailStore.h"

#include "support/FaultyRecordFileSystem.h"
#include "support/TempProgramFolder.h"

#include <QDir>
#include <QTest>

using common::StoreError;
using receive::CurrentMailRecord;
using receive::MailStore;
using testsupport::FaultyRecordFileSystem;
using testsupport::SimulatedCrash;

namespace {

const QString StoreName = QStringLiteral("krxdata2.data");

void fill(MailStore &store, int count)
{
    for (int i = 1; i <= count; ++i)
        QVERIFY(store.PutMailRecord(i, QStringLiteral("件名%1").arg(i), QStringLiteral("from%1").arg(i),
                                    QStringLiteral("date%1").arg(i), QStringLiteral("本文%1").arg(i)));
}

// The subjects of the store in order, read the way the viewer reads them.
QStringList subjects(MailStore &store)
{
    QStringList out;
    for (const receive::MailListEntry &e : store.readMailList())
        out << e.subject.trimmed();
    return out;
}

QStringList numbered(std::initializer_list<int> numbers)
{
    QStringList out;
    for (int n : numbers)
        out << QStringLiteral("件名%1").arg(n);
    return out;
}

QStringList dataFiles(const testsupport::TempProgramFolder &folder)
{
    return QDir(folder.dataFolder()).entryList(QDir::Files, QDir::Name);
}

// Runs op with a crash at step k; true when the crash happened.
template <typename Op>
bool crashesAt(FaultyRecordFileSystem &faults, int k, Op op)
{
    faults.arm(k, FaultyRecordFileSystem::Fault::Crash);
    try {
        op();
    } catch (const SimulatedCrash &) {
        faults.arm(0, FaultyRecordFileSystem::Fault::Crash);
        return true;
    }
    faults.arm(0, FaultyRecordFileSystem::Fault::Crash);
    return false;
}

} // namespace

class TestMailStoreFaults : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The mail check stores a message, flushed, before it deletes it on the
    // server: success must mean the mail is on disk, failure that it is not.
    void flushedAppendFailingAtEveryStep()
    {
        FaultyRecordFileSystem faults;
        for (int k = 1;; ++k) {
            testsupport::TempProgramFolder folder;
            MailStore store;
            fill(store, 3);
            const QByteArray before = folder.readDataFile(StoreName);
            faults.arm(k, FaultyRecordFileSystem::Fault::Fail, ENOSPC);
            const common::StoreStatus status
                = store.appendMailRecord(QStringLiteral("件名4"), QStringLiteral("f"), QStringLiteral("d"),
                                         QStringLiteral("本文"), common::Flush::ToDisk);
            const bool hit = faults.hit();
            faults.arm(0, FaultyRecordFileSystem::Fault::Fail);
            if (status.ok()) {
                QCOMPARE(subjects(store), numbered({1, 2, 3, 4}));
            } else {
                QCOMPARE(folder.readDataFile(StoreName), before);
                QCOMPARE(store.lastStatus().error, status.error);
                QVERIFY(!status.message().isEmpty());
            }
            QCOMPARE(dataFiles(folder), QStringList{StoreName});
            if (!hit)
                break;
        }
    }

    void appendIsRefusedWhenTheStoreCannotBeCounted()
    {
        testsupport::TempProgramFolder folder;
        MailStore store;
        fill(store, 2);
        const QByteArray before = folder.readDataFile(StoreName);
        FaultyRecordFileSystem faults;
        faults.arm(QStringLiteral("stat"), FaultyRecordFileSystem::Fault::Fail, EACCES);
        const common::StoreStatus status = store.appendMailRecord(QStringLiteral("new"), QStringLiteral("f"),
                                                                  QStringLiteral("d"), QStringLiteral("b"));
        QCOMPARE(status.error, StoreError::CannotOpen);
        QCOMPARE(folder.readDataFile(StoreName), before);
    }

    void deleteCrashingAtEveryStep()
    {
        FaultyRecordFileSystem faults;
        int crashes = 0;
        for (int k = 1;; ++k) {
            testsupport::TempProgramFolder folder;
            MailStore store;
            fill(store, 5);
            if (!crashesAt(faults, k, [&] { (void)store.DeleteMailRecord(2); })) {
                QCOMPARE(subjects(store), numbered({1, 3, 4, 5}));
                break;
            }
            ++crashes;
            // Start-up after the crash: every other mail is there exactly once, in order.
            const QString crashedAt = faults.log.join(u' ');
            MailStore restarted;
            QVERIFY(restarted.createIfMissing());
            const QStringList left = subjects(restarted);
            QVERIFY2(left == numbered({1, 2, 3, 4, 5}) || left == numbered({1, 3, 4, 5}),
                     qPrintable(left.join(u',') + QLatin1Char(' ') + crashedAt));
            QCOMPARE(restarted.CountMailRecords(), left.size());
            QCOMPARE(dataFiles(folder), QStringList{StoreName});
            // The deletion, repeated or finished, ends where it should.
            QVERIFY(restarted.CompactStore());
            if (restarted.CountMailRecords() == 5)
                QVERIFY(restarted.DeleteMailRecord(2));
            QCOMPARE(subjects(restarted), numbered({1, 3, 4, 5}));
        }
        QVERIFY(crashes > 10);
    }

    void deleteAllCrashingAtEveryStep()
    {
        FaultyRecordFileSystem faults;
        for (int k = 1;; ++k) {
            testsupport::TempProgramFolder folder;
            MailStore store;
            fill(store, 4);
            if (!crashesAt(faults, k, [&] { (void)store.DeleteAllMailRecords(); })) {
                QCOMPARE(QFileInfo(folder.dataFile(StoreName)).size(), 0);
                break;
            }
            MailStore restarted;
            QVERIFY(restarted.createIfMissing());
            const QStringList left = subjects(restarted);
            // Whatever is left is a run of the old mails in their order, never a doubled one.
            QVERIFY2(numbered({1, 2, 3, 4}).join(u',').endsWith(left.join(u',')), qPrintable(left.join(u',')));
            QCOMPARE(dataFiles(folder), QStringList{StoreName});
        }
    }

    void failedDeleteIsReportedAndKeepsTheMail()
    {
        testsupport::TempProgramFolder folder;
        MailStore store;
        fill(store, 3);
        FaultyRecordFileSystem faults;
        QVERIFY(store.DeleteMailRecord(3));
        faults.arm(QStringLiteral("rename"), FaultyRecordFileSystem::Fault::Fail, EACCES);
        const common::StoreStatus status = store.DeleteMailRecord(1);
        QCOMPARE(status.error, StoreError::CannotReplace);
        QCOMPARE(status.message(), QStringLiteral("ファイル「krxdata2.data」を整理後の内容に置き換えられません。"));
        QCOMPARE(dataFiles(folder), QStringList{StoreName});
        // The mail stays listed (marked, as the store keeps marked mail until a
        // compaction succeeds) and the next compaction removes it.
        QCOMPARE(subjects(store), numbered({1, 2}));
        faults.arm(0, FaultyRecordFileSystem::Fault::Fail);
        QVERIFY(store.CompactStore());
        QCOMPARE(subjects(store), numbered({2}));
    }
};

QTEST_GUILESS_MAIN(TestMailStoreFaults)
#include "tst_MailStoreFaults.moc"
