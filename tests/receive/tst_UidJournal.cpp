// The journal of unique IDs beside the store: what survives a crash in the
// middle of a write, a damaged line, and a rewrite.
#include "receive/UidJournal.h"
#include "support/TempProgramFolder.h"

#include <QtTest>

class UidJournalTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void damageLosesOnlyTheDamagedEntry_data()
    {
        QTest::addColumn<QByteArray>("damage"); // appended to the file, or "flip" for a changed byte
        QTest::addColumn<QStringList>("found");
        const QStringList both{QStringLiteral("u1"), QStringLiteral("u2")};
        QTest::newRow("intact") << QByteArray() << both;
        QTest::newRow("torn last line") << QByteArray("0123abcd u3 10") << both;
        QTest::newRow("zeros after a crash") << QByteArray(40, '\0') << both;
        QTest::newRow("changed byte") << QByteArray("flip") << QStringList{QStringLiteral("u2")};
    }
    void damageLosesOnlyTheDamagedEntry()
    {
        QFETCH(QByteArray, damage);
        QFETCH(QStringList, found);
        testsupport::TempProgramFolder program;
        {
            receive::UidJournal journal(QStringLiteral("server\nalice"));
            QVERIFY(journal.append({QStringLiteral("u1"), 100, 1, 11}));
            QVERIFY(journal.append({QStringLiteral("u2"), 200, 2, 22}));
            QVERIFY(journal.sync());
        }
        QByteArray bytes = program.readDataFile(QLatin1String(receive::UidJournal::FileName));
        if (damage == "flip")
            bytes[bytes.indexOf(" 100 ") + 2] = '9';
        else
            bytes += damage;
        program.writeDataFile(QLatin1String(receive::UidJournal::FileName), bytes);

        receive::UidJournal journal(QStringLiteral("server\nalice"));
        journal.load();
        // An entry added after the damage is read back too.
        QVERIFY(journal.append({QStringLiteral("u4"), 400, 4, 44}));
        receive::UidJournal again(QStringLiteral("server\nalice"));
        again.load();
        for (const QString &uidl : {QStringLiteral("u1"), QStringLiteral("u2"), QStringLiteral("u3")})
            QCOMPARE(again.find(uidl) != nullptr, found.contains(uidl));
        QVERIFY(again.find(QStringLiteral("u4")) && again.find(QStringLiteral("u4"))->recordHash == 44);
        if (found.contains(QStringLiteral("u2")))
            QCOMPARE(again.find(QStringLiteral("u2"))->size, qint64(200));
    }

    void rewriteKeepsOtherAccountsAndWhatIsAsked()
    {
        testsupport::TempProgramFolder program;
        receive::UidJournal other(QStringLiteral("server\nbob"));
        QVERIFY(other.append({QStringLiteral("b1"), 1, 1, 1}));
        receive::UidJournal mine(QStringLiteral("server\nalice"));
        QVERIFY(mine.append({QStringLiteral("a1"), 1, 2, 2}));
        QVERIFY(mine.append({QStringLiteral("a2"), 1, 3, 3}));
        QVERIFY(mine.rewrite([](const receive::JournalEntry &e) { return e.uidl == QLatin1String("a2"); }));
        QVERIFY(!mine.find(QStringLiteral("a1")) && mine.find(QStringLiteral("a2")));
        other.load();
        QVERIFY(other.find(QStringLiteral("b1")));
        QVERIFY(!other.find(QStringLiteral("a2")));
    }
};

QTEST_GUILESS_MAIN(UidJournalTest)
#include "tst_UidJournal.moc"
