#include "receive/MailStore.h"

#include "common/Cp932.h"
#include "support/TempProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <unistd.h>

using common::RecordRead;
using common::StoreError;
using receive::CurrentMailRecord;
using receive::MailRecord;
using receive::MailStore;

namespace {

const QString StoreName = QStringLiteral("krxdata2.data");
const QString TempName = QStringLiteral("KRXDATA2.TMP");

QByteArray padded(const QByteArray &text, qsizetype width)
{
    return text + QByteArray(width - text.size(), ' ');
}

// A mail record built by hand from the layout: subject, date, sender, body,
// CR LF and the live flag, each text blank-padded to its width.
QByteArray handRecord(const QByteArray &subject, const QByteArray &date, const QByteArray &from,
                      const QByteArray &body, qint16 live = 1)
{
    QByteArray r = padded(subject, 100) + padded(date, 90) + padded(from, 90) + padded(body, 32000) + "\r\n";
    r += char(live & 0xFF);
    r += char((live >> 8) & 0xFF);
    return r;
}

QString trimmedRight(const QString &s)
{
    qsizetype end = s.size();
    while (end > 0 && s.at(end - 1) == QLatin1Char(' '))
        --end;
    return s.left(end);
}

QStringList subjectsOnFile(const testsupport::TempProgramFolder &folder)
{
    const QByteArray data = folder.readDataFile(StoreName);
    QStringList out;
    for (qsizetype at = 0; at + MailRecord::Length <= data.size(); at += MailRecord::Length)
        out << QString::fromLatin1(data.mid(at, 100)).trimmed();
    return out;
}

void putSubjects(MailStore &store, const QStringList &subjects)
{
    for (const QString &s : subjects)
        QVERIFY(store.PutMailRecord(store.CountMailRecords() + 1, s, QStringLiteral("from"), QStringLiteral("date"),
                                    QStringLiteral("body of ") + s));
}

} // namespace

class TestMailStore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { CurrentMailRecord = MailRecord(); }

    void missingStoreIsCreatedEmptyAtStartUp()
    {
        testsupport::TempProgramFolder folder;
        MailStore store;
        QCOMPARE(store.CountMailRecords(), 0);
        QVERIFY(!QFile::exists(folder.dataFile(StoreName)));
        QVERIFY(store.createIfMissing());
        QVERIFY(QFile::exists(folder.dataFile(StoreName)));
        QCOMPARE(QFileInfo(folder.dataFile(StoreName)).size(), 0);
        QCOMPARE(store.CountMailRecords(), 0);
        QCOMPARE(store.GetMailRecord(1), RecordRead::PastEnd);
        QVERIFY(store.PutMailRecord(1, QStringLiteral("first"), QStringLiteral("a@b"), QStringLiteral("d"),
                                    QStringLiteral("x")));
        QCOMPARE(store.CountMailRecords(), 1);
    }

    void recordBytesFollowTheLayout()
    {
        testsupport::TempProgramFolder folder;
        MailStore store;
        QVERIFY(store.PutMailRecord(1, QStringLiteral("Subj"), QStringLiteral("Sender <s@x.jp>"),
                                    QStringLiteral("Mon, 1 Jan 2024"), QStringLiteral("Line1\r\nLine2")));
        const QByteArray expected
            = handRecord("Subj", "Mon, 1 Jan 2024", "Sender <s@x.jp>", "Line1\r\nLine2");
        QCOMPARE(folder.readDataFile(StoreName), expected);
        QCOMPARE(folder.readDataFile(StoreName).right(4), QByteArray("\x0D\x0A\x01\x00", 4));
    }

    void everyRecordEndsWithLineEndAndLiveFlag()
    {
        testsupport::TempProgramFolder folder;
        MailStore store;
        putSubjects(store, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        const QByteArray data = folder.readDataFile(StoreName);
        QCOMPARE(data.size(), 3 * 32284);
        for (int n = 1; n <= 3; ++n)
            QCOMPARE(data.mid(n * 32284 - 4, 4), QByteArray("\x0D\x0A\x01\x00", 4));
    }

    // Files written by hand after the layout are read field by field.
    void readsAHandWrittenStore()
    {
        testsupport::TempProgramFolder folder;
        // "件名" and "差出人" in CP932.
        const QByteArray subject("\x8C\x8F\x96\xBC");
        const QByteArray from("\x8D\xB7\x8F\x6F\x90\x6C");
        folder.writeDataFile(StoreName, handRecord("one", "d1", "f1", "b1")
                                            + handRecord(subject, "d2", from, "body two", 0));
        MailStore store;
        QCOMPARE(store.CountMailRecords(), 2);
        QCOMPARE(store.GetMailRecord(2), RecordRead::Read);
        QCOMPARE(CurrentMailRecord.subject, QStringLiteral("件名") + QString(98, QLatin1Char(' ')));
        QCOMPARE(CurrentMailRecord.from, QStringLiteral("差出人") + QString(87, QLatin1Char(' ')));
        QCOMPARE(CurrentMailRecord.date.size(), 90);
        QCOMPARE(CurrentMailRecord.body.size(), 32000);
        QCOMPARE(trimmedRight(CurrentMailRecord.body), QStringLiteral("body two"));
        QCOMPARE(CurrentMailRecord.lineEnd, QStringLiteral("\r\n"));
        // A dead record still in the file is read like any other.
        QCOMPARE(CurrentMailRecord.live, qint16(0));
        QCOMPARE(store.GetMailRecord(3), RecordRead::PastEnd);
    }

    void fieldsAreCutAndTrimmed_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QByteArray>("subjectField");
        QTest::addColumn<QByteArray>("bodyStart");
        QTest::addColumn<qsizetype>("bodyUsed");

        const QString ascii120 = QString(100, QLatin1Char('s')) + QString(20, QLatin1Char('t'));
        QTest::newRow("120 single-byte keep 100") << ascii120 << QStringLiteral("b") << QByteArray(100, 's')
                                                  << QByteArray("b") << qsizetype(1);
        const QString sixtyJp(60, QChar(0x3042)); // あ = 82 A0
        QByteArray fiftyJp;
        for (int i = 0; i < 50; ++i)
            fiftyJp += "\x82\xA0";
        QTest::newRow("60 Japanese keep 50") << sixtyJp << QStringLiteral("b") << fiftyJp << QByteArray("b")
                                             << qsizetype(1);
        // 99 single bytes, then a double-byte character that would straddle the
        // end: its first byte is dropped and a blank takes its place.
        QTest::newRow("straddling character") << QString(99, QLatin1Char('x')) + QStringLiteral("あい")
                                              << QStringLiteral("b") << QByteArray(99, 'x') + ' ' << QByteArray("b")
                                              << qsizetype(1);
        QTest::newRow("blanks trimmed, inner kept")
            << QStringLiteral("   a  b   ") << QStringLiteral("  body  text  ")
            << padded("a  b", 100) << QByteArray("body  text ") << qsizetype(10);
        QTest::newRow("only U+0020 is trimmed")
            << QStringLiteral("\t x \t") << QStringLiteral("\u3000本文\u3000\r\n")
            << padded("\t x \t", 100) << QByteArray("\x81\x40\x96\x7B\x95\xB6\x81\x40\r\n")
            << qsizetype(10);
        const QString longBody = QString(31999, QLatin1Char('y')) + QStringLiteral("zz");
        QTest::newRow("body cut at 32000") << QStringLiteral("s") << longBody << padded("s", 100)
                                           << QByteArray(31999, 'y') + 'z' << qsizetype(32000);
    }
    void fieldsAreCutAndTrimmed()
    {
        QFETCH(QString, subject);
        QFETCH(QString, body);
        QFETCH(QByteArray, subjectField);
        QFETCH(QByteArray, bodyStart);
        QFETCH(qsizetype, bodyUsed);
        testsupport::TempProgramFolder folder;
        MailStore store;
        QVERIFY(store.PutMailRecord(1, subject, QStringLiteral("f"), QStringLiteral("d"), body));
        const QByteArray data = folder.readDataFile(StoreName);
        QCOMPARE(data.size(), 32284);
        QCOMPARE(data.left(100), subjectField);
        const QByteArray bodyField = data.mid(280, 32000);
        QVERIFY(bodyField.startsWith(bodyStart));
        QCOMPARE(bodyField.mid(bodyUsed), QByteArray(32000 - bodyUsed, ' '));
        // What was written reads back the same way.
        QCOMPARE(store.GetMailRecord(1), RecordRead::Read);
        QCOMPARE(common::toCp932Field(CurrentMailRecord.subject, 100), subjectField);
    }

    void japaneseTextRoundTrips()
    {
        testsupport::TempProgramFolder folder;
        MailStore store;
        const QString subject = QStringLiteral("会議の件（①～③）ｶﾀｶﾅ");
        const QString from = QStringLiteral("山田 太郎 <taro@example.jp>");
        const QString date = QStringLiteral("2024年1月2日");
        const QString body = QStringLiteral("お世話になっております。\r\n髙橋です。");
        QVERIFY(store.PutMailRecord(1, subject, from, date, body));
        CurrentMailRecord = MailRecord();
        QCOMPARE(store.GetMailRecord(1), RecordRead::Read);
        QCOMPARE(trimmedRight(CurrentMailRecord.subject), subject);
        QCOMPARE(trimmedRight(CurrentMailRecord.from), from);
        QCOMPARE(trimmedRight(CurrentMailRecord.date), date);
        QCOMPARE(trimmedRight(CurrentMailRecord.body), body);
        QCOMPARE(CurrentMailRecord.subject.size(), 100);
        QCOMPARE(CurrentMailRecord.live, qint16(1));
    }

    void putFillsTheBuffer()
    {
        testsupport::TempProgramFolder folder;
        MailStore store;
        QVERIFY(store.PutMailRecord(1, QStringLiteral("  件名  "), QStringLiteral("f"), QStringLiteral("d"),
                                    QStringLiteral("b")));
        QCOMPARE(CurrentMailRecord.subject, QStringLiteral("件名") + QString(98, QLatin1Char(' ')));
        QCOMPARE(CurrentMailRecord.body.size(), 32000);
        QCOMPARE(CurrentMailRecord.lineEnd, QStringLiteral("\r\n"));
        QCOMPARE(CurrentMailRecord.live, qint16(1));
    }

    void deletingKeepsOrderAndShrinksTheFile_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("deleted");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("2 of 3") << 3 << 2 << QStringList{QStringLiteral("m1"), QStringLiteral("m3")};
        QTest::newRow("first of 3") << 3 << 1 << QStringList{QStringLiteral("m2"), QStringLiteral("m3")};
        QTest::newRow("last of 3") << 3 << 3 << QStringList{QStringLiteral("m1"), QStringLiteral("m2")};
        QTest::newRow("only one") << 1 << 1 << QStringList{};
    }
    void deletingKeepsOrderAndShrinksTheFile()
    {
        QFETCH(int, count);
        QFETCH(int, deleted);
        QFETCH(QStringList, left);
        testsupport::TempProgramFolder folder;
        MailStore store;
        QStringList subjects;
        for (int i = 1; i <= count; ++i)
            subjects << QStringLiteral("m%1").arg(i);
        putSubjects(store, subjects);
        QVERIFY(store.DeleteMailRecord(deleted));
        QCOMPARE(subjectsOnFile(folder), left);
        QCOMPARE(QFileInfo(folder.dataFile(StoreName)).size(), qint64(left.size()) * 32284);
        QVERIFY(!QFile::exists(folder.dataFile(TempName)));
        QCOMPARE(store.CountMailRecords(), left.size());
        for (int n = 1; n <= left.size(); ++n) {
            QCOMPARE(store.GetMailRecord(n), RecordRead::Read);
            QCOMPARE(trimmedRight(CurrentMailRecord.body), QStringLiteral("body of ") + left.at(n - 1));
            QCOMPARE(CurrentMailRecord.live, qint16(1));
        }
    }

    void deleteOfThreeGivesTheDocumentedLength()
    {
        testsupport::TempProgramFolder folder;
        MailStore store;
        putSubjects(store, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        QVERIFY(store.DeleteMailRecord(2));
        QCOMPARE(QFileInfo(folder.dataFile(StoreName)).size(), 64568);
    }

    void bufferAfterDeleteHoldsTheStoresLastRecord()
    {
        testsupport::TempProgramFolder folder;
        MailStore store;
        putSubjects(store, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        QCOMPARE(store.GetMailRecord(1), RecordRead::Read);
        QVERIFY(store.DeleteMailRecord(1));
        QCOMPARE(trimmedRight(CurrentMailRecord.subject), QStringLiteral("c"));
        QVERIFY(store.DeleteMailRecord(2)); // the last one: the buffer holds it, dead
        QCOMPARE(trimmedRight(CurrentMailRecord.subject), QStringLiteral("c"));
        QCOMPARE(CurrentMailRecord.live, qint16(0));
        QCOMPARE(subjectsOnFile(folder), QStringList{QStringLiteral("b")});
    }

    void deleteAllLeavesAnEmptyFile()
    {
        testsupport::TempProgramFolder folder;
        MailStore store;
        putSubjects(store, {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"),
                            QStringLiteral("5")});
        QVERIFY(store.DeleteAllMailRecords());
        QVERIFY(QFile::exists(folder.dataFile(StoreName)));
        QCOMPARE(QFileInfo(folder.dataFile(StoreName)).size(), 0);
        QVERIFY(!QFile::exists(folder.dataFile(TempName)));
        QCOMPARE(store.CountMailRecords(), 0);
        QCOMPARE(trimmedRight(CurrentMailRecord.subject), QStringLiteral("5"));
        QCOMPARE(CurrentMailRecord.live, qint16(0));
        // The empty store takes new mail again from record 1.
        putSubjects(store, {QStringLiteral("new")});
        QCOMPARE(subjectsOnFile(folder), QStringList{QStringLiteral("new")});
    }

    void compactionDropsEveryDeadRecord()
    {
        testsupport::TempProgramFolder folder;
        folder.writeDataFile(StoreName, handRecord("a", "", "", "", 1) + handRecord("b", "", "", "", 0)
                                            + handRecord("c", "", "", "", -1) + handRecord("d", "", "", "", 0)
                                            + handRecord("e", "", "", "", 2));
        MailStore store;
        QVERIFY(store.CompactStore());
        // Any flag but 0 counts as live; the flags are kept as they were.
        QCOMPARE(subjectsOnFile(folder), (QStringList{QStringLiteral("a"), QStringLiteral("c"), QStringLiteral("e")}));
        QCOMPARE(folder.readDataFile(StoreName).mid(2 * 32284 - 2, 2), QByteArray("\xFF\xFF"));
    }

    void countIsRoundedAndAShortLastRecordIsNotRead_data()
    {
        QTest::addColumn<qint64>("extra");
        QTest::addColumn<int>("count");
        QTest::newRow("whole") << qint64(0) << 2;
        QTest::newRow("short piece") << qint64(100) << 2;
        QTest::newRow("just under half") << qint64(16141) << 2;
        QTest::newRow("over half") << qint64(16143) << 3;
        QTest::newRow("one byte short") << qint64(32283) << 3;
    }
    void countIsRoundedAndAShortLastRecordIsNotRead()
    {
        QFETCH(qint64, extra);
        QFETCH(int, count);
        testsupport::TempProgramFolder folder;
        const QByteArray whole = handRecord("a", "", "", "") + handRecord("b", "", "", "");
        folder.writeDataFile(StoreName, whole + QByteArray(extra, 'z'));
        MailStore store;
        QCOMPARE(store.CountMailRecords(), count);
        QCOMPARE(store.GetMailRecord(2), RecordRead::Read);
        QCOMPARE(store.GetMailRecord(3), RecordRead::PastEnd);
        QCOMPARE(trimmedRight(CurrentMailRecord.subject), QStringLiteral("b"));
        QCOMPARE(store.readMailList().size(), 2);
        // The piece is never cut away, not even by a compaction.
        QVERIFY(store.CompactStore());
        QCOMPARE(folder.readDataFile(StoreName), whole + QByteArray(extra, 'z'));
        QVERIFY(store.DeleteMailRecord(1));
        QCOMPARE(folder.readDataFile(StoreName), handRecord("b", "", "", "") + QByteArray(extra, 'z'));
    }

    void listFieldsMatchWhatGetReads()
    {
        testsupport::TempProgramFolder folder;
        MailStore store;
        for (int i = 1; i <= 4; ++i)
            QVERIFY(store.PutMailRecord(i, QStringLiteral("件名%1").arg(i), QStringLiteral("差出人%1").arg(i),
                                        QStringLiteral("日付%1").arg(i), QStringLiteral("本文%1").arg(i)));
        CurrentMailRecord = MailRecord();
        const QList<receive::MailListEntry> list = store.readMailList();
        QCOMPARE(list.size(), 4);
        // The buffer holds the last record, body included.
        QCOMPARE(trimmedRight(CurrentMailRecord.body), QStringLiteral("本文4"));
        for (int i = 1; i <= 4; ++i) {
            QCOMPARE(store.GetMailRecord(i), RecordRead::Read);
            QCOMPARE(list.at(i - 1).subject, CurrentMailRecord.subject);
            QCOMPARE(list.at(i - 1).from, CurrentMailRecord.from);
            QCOMPARE(list.at(i - 1).date, CurrentMailRecord.date);
        }
    }

    void anEditBetweenOperationsIsSeen()
    {
        testsupport::TempProgramFolder folder;
        MailStore store;
        putSubjects(store, {QStringLiteral("a")});
        QFile f(folder.dataFile(StoreName));
        QVERIFY(f.open(QIODevice::Append));
        f.write(handRecord("edited", "", "", ""));
        f.close();
        QCOMPARE(store.CountMailRecords(), 2);
        QCOMPARE(store.GetMailRecord(2), RecordRead::Read);
        QCOMPARE(trimmedRight(CurrentMailRecord.subject), QStringLiteral("edited"));
    }

    void storeNameIsMatchedWithoutLetterCase()
    {
        testsupport::TempProgramFolder folder;
        folder.writeDataFile(QStringLiteral("KRXDATA2.DATA"), handRecord("upper", "", "", ""));
        MailStore store;
        QCOMPARE(store.CountMailRecords(), 1);
        putSubjects(store, {QStringLiteral("second")});
        QCOMPARE(QFileInfo(folder.dataFile(QStringLiteral("KRXDATA2.DATA"))).size(), 2 * 32284);
        QVERIFY(!QFile::exists(folder.dataFile(StoreName)));
        QVERIFY(store.DeleteMailRecord(1));
        const QStringList names = QDir(folder.dataFolder()).entryList(QDir::Files);
        QCOMPARE(names, QStringList{QStringLiteral("KRXDATA2.DATA")});
    }

    // A compaction that copied the store into "KRXDATA2.TMP" and removed the
    // store was cut short: start-up brings the mail back from the copy.
    void startUpTakesBackAStoreLeftInTheTemporaryFile()
    {
        testsupport::TempProgramFolder folder;
        folder.writeDataFile(TempName, handRecord("a", "", "", "") + handRecord("b", "", "", "", 0)
                                           + handRecord("c", "", "", ""));
        folder.writeDataFile(StoreName, handRecord("a", "", "", ""));
        MailStore store;
        QVERIFY(store.createIfMissing());
        QCOMPARE(store.lastLeftover(), common::Leftover::TempTaken);
        QCOMPARE(subjectsOnFile(folder), (QStringList{QStringLiteral("a"), QStringLiteral("c")}));
        QVERIFY(!QFile::exists(folder.dataFile(TempName)));
        QCOMPARE(store.CountMailRecords(), 2);
    }

    void recordNumbersStopAt32767()
    {
        testsupport::TempProgramFolder folder;
        // A sparse file of exactly 32767 records.
        QFile f(folder.dataFile(StoreName));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(qint64(32767) * 32284));
        f.close();
        MailStore store;
        QCOMPARE(store.CountMailRecords(), 32767);
        const common::StoreStatus refused = store.PutMailRecord(32768, QStringLiteral("s"), QStringLiteral("f"),
                                                                QStringLiteral("d"), QStringLiteral("b"));
        QCOMPARE(refused.error, StoreError::StoreFull);
        QCOMPARE(refused.message(), QStringLiteral("保存できる件数の上限（32767件）に達したため、これ以上保存できません。"));
        QCOMPARE(QFileInfo(folder.dataFile(StoreName)).size(), qint64(32767) * 32284);
        // The last number is still usable.
        QVERIFY(store.PutMailRecord(32767, QStringLiteral("last"), QStringLiteral("f"), QStringLiteral("d"),
                                    QStringLiteral("b")));
        QCOMPARE(store.GetMailRecord(32767), RecordRead::Read);
        QCOMPARE(trimmedRight(CurrentMailRecord.subject), QStringLiteral("last"));
    }

    void badNumbersAreReported()
    {
        testsupport::TempProgramFolder folder;
        MailStore store;
        putSubjects(store, {QStringLiteral("a")});
        QCOMPARE(store.PutMailRecord(0, QStringLiteral("s"), {}, {}, {}).error, StoreError::BadRecordNumber);
        QCOMPARE(store.GetMailRecord(0), RecordRead::Failed);
        const common::StoreStatus status = store.DeleteMailRecord(5);
        QCOMPARE(status.error, StoreError::BadRecordNumber);
        QCOMPARE(status.message(), QStringLiteral("レコード番号 5 のデータはありません。"));
        QCOMPARE(subjectsOnFile(folder), QStringList{QStringLiteral("a")});
    }

    void missingDataFolderIsReported()
    {
        testsupport::TempProgramFolder folder;
        QVERIFY(QDir(folder.dataFolder()).removeRecursively());
        MailStore store;
        const common::StoreStatus created = store.createIfMissing();
        QCOMPARE(created.error, StoreError::CannotOpen);
        QCOMPARE(created.message(), QStringLiteral("ファイル「krxdata2.data」を開けません。"));
        const common::StoreStatus put
            = store.PutMailRecord(1, QStringLiteral("s"), QStringLiteral("f"), QStringLiteral("d"), QStringLiteral("b"));
        QCOMPARE(put.error, StoreError::CannotOpen);
        QCOMPARE(store.lastStatus().error, StoreError::CannotOpen);
    }

    void unreadableStoreIsReported()
    {
        if (::geteuid() == 0)
            QSKIP("file permissions do not bind the superuser");
        testsupport::TempProgramFolder folder;
        MailStore store;
        putSubjects(store, {QStringLiteral("a")});
        QVERIFY(QFile::setPermissions(folder.dataFile(StoreName), QFile::Permissions()));
        QCOMPARE(store.GetMailRecord(1), RecordRead::Failed);
        QCOMPARE(store.lastStatus().error, StoreError::CannotOpen);
        QVERIFY(store.readMailList().isEmpty());
        QCOMPARE(store.lastStatus().error, StoreError::CannotOpen);
        QVERIFY(QFile::setPermissions(folder.dataFile(StoreName), QFile::ReadOwner | QFile::WriteOwner));
    }

    void flushedAppendIsStored()
    {
        testsupport::TempProgramFolder folder;
        MailStore store;
        QVERIFY(store.PutMailRecord(1, QStringLiteral("s"), QStringLiteral("f"), QStringLiteral("d"),
                                    QStringLiteral("b"), common::Flush::ToDisk));
        QVERIFY(store.PutMailRecord(2, QStringLiteral("t"), QStringLiteral("f"), QStringLiteral("d"),
                                    QStringLiteral("b"), common::Flush::ToDisk));
        QCOMPARE(subjectsOnFile(folder), (QStringList{QStringLiteral("s"), QStringLiteral("t")}));
    }
};

QTEST_GUILESS_MAIN(TestMailStore)
#include "tst_MailStore.moc"
