#include "addressbook/AddressStore.h"

#include "common/Cp932.h"
#include "support/TempProgramFolder.h"

#include <QFile>
#include <QTest>

using addressbook::AddressRecord;
using addressbook::AddressStore;
using addressbook::CurrentAddressRecord;
using common::RecordRead;
using common::StoreError;

namespace {

const QString StoreName = QStringLiteral("Krxdata20.data");
const QString TempName = QStringLiteral("KRXDATA20.TMP");

QByteArray padded(const QByteArray &text, qsizetype width)
{
    return text + QByteArray(width - text.size(), ' ');
}

QByteArray handRecord(const QByteArray &name, const QByteArray &address, qint16 live = 1)
{
    QByteArray r = padded(name, 90) + "\r\n";
    r += char(live & 0xFF);
    r += char((live >> 8) & 0xFF);
    return r + padded(address, 90);
}

QStringList namesOnFile(const testsupport::TempProgramFolder &folder)
{
    const QByteArray data = folder.readDataFile(StoreName);
    QStringList out;
    for (qsizetype at = 0; at + 184 <= data.size(); at += 184)
        out << QString::fromLatin1(data.mid(at, 90)).trimmed();
    return out;
}

} // namespace

class TestAddressStore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { CurrentAddressRecord = AddressRecord(); }

    void firstEntryWritesOneRecord()
    {
        testsupport::TempProgramFolder folder;
        AddressStore store;
        QVERIFY(store.createIfMissing());
        QCOMPARE(store.CountAddressRecords(), 0);
        QVERIFY(store.appendAddressRecord(QStringLiteral("Taro"), QStringLiteral("taro@example.jp")));
        const QByteArray data = folder.readDataFile(StoreName);
        QCOMPARE(data.size(), 184);
        QCOMPARE(data.mid(90, 4), QByteArray("\x0D\x0A\x01\x00", 4));
        QCOMPARE(data, handRecord("Taro", "taro@example.jp"));
        QCOMPARE(store.CountAddressRecords(), 1);
    }

    void textsAreStoredAsTyped_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QByteArray>("nameField");
        QTest::addColumn<QByteArray>("addressField");
        QTest::newRow("leading blanks kept") << QStringLiteral("  Hanako") << QStringLiteral(" h@x.jp ")
                                             << padded("  Hanako", 90) << padded(" h@x.jp ", 90);
        QTest::newRow("address of 100 keeps 90") << QStringLiteral("n") << QString(100, QLatin1Char('a'))
                                                 << padded("n", 90) << QByteArray(90, 'a');
        QByteArray fortyFive;
        for (int i = 0; i < 45; ++i)
            fortyFive += "\x82\xA0";
        QTest::newRow("50 Japanese keep 45") << QString(50, QChar(0x3042)) << QStringLiteral("a")
                                             << fortyFive << padded("a", 90);
        QTest::newRow("straddling character dropped")
            << QString(89, QLatin1Char('n')) + QStringLiteral("名") << QStringLiteral("a")
            << QByteArray(89, 'n') + ' ' << padded("a", 90);
        QTest::newRow("display name form") << QStringLiteral("会社") << QStringLiteral("営業部<sales@x.jp>")
                                           << padded("\x89\xEF\x8E\xD0", 90)
                                           << padded("\x89\x63\x8B\xC6\x95\x94<sales@x.jp>", 90);
    }
    void textsAreStoredAsTyped()
    {
        QFETCH(QString, name);
        QFETCH(QString, address);
        QFETCH(QByteArray, nameField);
        QFETCH(QByteArray, addressField);
        testsupport::TempProgramFolder folder;
        AddressStore store;
        QVERIFY(store.PutAddressRecord(1, name, address));
        const QByteArray data = folder.readDataFile(StoreName);
        QCOMPARE(data.left(90), nameField);
        QCOMPARE(data.mid(94), addressField);
        CurrentAddressRecord = AddressRecord();
        QCOMPARE(store.GetAddressRecord(1), RecordRead::Read);
        QCOMPARE(CurrentAddressRecord.name.size(), 90);
        QCOMPARE(CurrentAddressRecord.address.size(), 90);
        QCOMPARE(common::toCp932Field(CurrentAddressRecord.name, 90), nameField);
        QCOMPARE(common::toCp932Field(CurrentAddressRecord.address, 90), addressField);
        QCOMPARE(CurrentAddressRecord.live, qint16(1));
    }

    void deleteMarksAndCompactionRemoves()
    {
        testsupport::TempProgramFolder folder;
        AddressStore store;
        for (const char *n : {"one", "two", "three"})
            QVERIFY(store.PutAddressRecord(store.CountAddressRecords() + 1, QString::fromLatin1(n),
                                           QString::fromLatin1(n) + QStringLiteral("@x")));
        QCOMPARE(store.GetAddressRecord(2), RecordRead::Read);
        QVERIFY(store.DeleteAddressRecord(2));
        QCOMPARE(CurrentAddressRecord.live, qint16(0));
        // Marked only: still three entries, the second with live 0.
        QCOMPARE(store.CountAddressRecords(), 3);
        QCOMPARE(folder.readDataFile(StoreName).mid(184 + 92, 2), QByteArray("\0\0", 2));
        QVERIFY(store.CompactStore());
        QCOMPARE(namesOnFile(folder), (QStringList{QStringLiteral("one"), QStringLiteral("three")}));
        QVERIFY(!QFile::exists(folder.dataFile(TempName)));
        QCOMPARE(store.GetAddressRecord(2), RecordRead::Read);
        QCOMPARE(CurrentAddressRecord.address.trimmed(), QStringLiteral("three@x"));
        QCOMPARE(store.GetAddressRecord(3), RecordRead::PastEnd);
    }

    void compactionWithNothingDeletedChangesNothing()
    {
        testsupport::TempProgramFolder folder;
        const QByteArray bytes = handRecord("a", "a@x") + handRecord("b", "b@x");
        folder.writeDataFile(StoreName, bytes);
        AddressStore store;
        QVERIFY(store.CompactStore());
        QCOMPARE(folder.readDataFile(StoreName), bytes);
        QCOMPARE(CurrentAddressRecord.name.trimmed(), QStringLiteral("b"));
        QVERIFY(!QFile::exists(folder.dataFile(TempName)));
    }

    void readAllMatchesGetAndFillsTheBuffer()
    {
        testsupport::TempProgramFolder folder;
        folder.writeDataFile(QStringLiteral("krxdata20.data"),
                             handRecord("a", "a@x") + handRecord("b", "b@x", 0) + handRecord("c", "c@x")
                                 + QByteArray(50, 'z'));
        AddressStore store;
        const QList<AddressRecord> all = store.readAllAddressRecords();
        QCOMPARE(all.size(), 3);
        QCOMPARE(CurrentAddressRecord.name.trimmed(), QStringLiteral("c"));
        for (int i = 1; i <= 3; ++i) {
            QCOMPARE(store.GetAddressRecord(i), RecordRead::Read);
            QCOMPARE(all.at(i - 1).name, CurrentAddressRecord.name);
            QCOMPARE(all.at(i - 1).address, CurrentAddressRecord.address);
            QCOMPARE(all.at(i - 1).live, CurrentAddressRecord.live);
        }
        QCOMPARE(all.at(1).live, qint16(0));
        QCOMPARE(store.GetAddressRecord(4), RecordRead::PastEnd);
        QCOMPARE(store.CountAddressRecords(), 3);
    }

    void leftoverTemporaryFileIsDealtWith()
    {
        testsupport::TempProgramFolder folder;
        folder.writeDataFile(StoreName, handRecord("a", "a@x") + handRecord("b", "b@x", 0) + handRecord("c", "c@x"));
        folder.writeDataFile(TempName, handRecord("a", "a@x")); // an unfinished compaction of this program
        AddressStore store;
        QCOMPARE(store.CountAddressRecords(), 2);
        QCOMPARE(store.lastLeftover(), common::Leftover::StoreKept);
        QCOMPARE(namesOnFile(folder), (QStringList{QStringLiteral("a"), QStringLiteral("c")}));
        QVERIFY(!QFile::exists(folder.dataFile(TempName)));
    }

    void entriesStopAt32767()
    {
        testsupport::TempProgramFolder folder;
        QFile f(folder.dataFile(StoreName));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(qint64(32767) * 184));
        f.close();
        AddressStore store;
        QCOMPARE(store.CountAddressRecords(), 32767);
        const common::StoreStatus refused = store.PutAddressRecord(32768, QStringLiteral("n"), QStringLiteral("a"));
        QCOMPARE(refused.error, StoreError::StoreFull);
        QCOMPARE(QFileInfo(folder.dataFile(StoreName)).size(), qint64(32767) * 184);
    }

    void duplicatesAndEmptyEntriesAreAccepted()
    {
        testsupport::TempProgramFolder folder;
        AddressStore store;
        QVERIFY(store.PutAddressRecord(1, QString(), QString()));
        QVERIFY(store.PutAddressRecord(2, QString(), QString()));
        QCOMPARE(folder.readDataFile(StoreName), handRecord("", "") + handRecord("", ""));
    }
};

QTEST_GUILESS_MAIN(TestAddressStore)
#include "tst_AddressStore.moc"
