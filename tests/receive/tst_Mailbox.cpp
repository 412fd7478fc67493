// Export of the store to mbox and import of mbox files and maildirs: the
// export read back by Python's own mailbox and email modules, the developer
// corpus imported from a maildir, the round trip, a failure part-way, and
// the commands as a user runs them, without a display.
#include "../maillib/CorpusTable.h"
#include "app/InstanceLock.h"
#include "common/Cp932.h"
#include "maillib/AttachmentExtractor.h"
#include "receive/AttachmentFolder.h"
#include "receive/LongMail.h"
#include "receive/MailImport.h"
#include "receive/MailRecord.h"
#include "receive/MailStore.h"
#include "receive/MboxExport.h"
#include "support/FaultyRecordFileSystem.h"
#include "support/ScriptedPrompts.h"
#include "support/TempProgramFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <optional>
#include <unistd.h>

using testsupport::TempProgramFolder;

namespace {

QString corpusFolder()
{
    QDir dir(qEnvironmentVariable("GLIMRA_SOURCE_DIR", QStringLiteral(GLIMRA_SOURCE)));
    for (int up = 0; up < 3; ++up) {
        if (QDir shared(dir.absoluteFilePath(QStringLiteral("../shared/corpus"))); shared.exists())
            return shared.path();
        dir.cdUp();
    }
    // Without the shared folder: the corpus messages kept with the tests.
    return QStringLiteral(GLIMRA_SOURCE "/tests/maillib/data");
}

QList<QByteArray> storedRecords()
{
    QFile file(common::ProgramFolder::dataFile(QString::fromLatin1(receive::MailStore::StoreFileName)));
    QList<QByteArray> records;
    if (file.open(QIODevice::ReadOnly))
        while (file.bytesAvailable() >= receive::MailRecord::Length)
            records << file.read(receive::MailRecord::Length);
    return records;
}

receive::MailRecord record(int n)
{
    return receive::MailRecord::fromBytes(storedRecords().value(n - 1, QByteArray(receive::MailRecord::Length, ' ')));
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// A maildir of the corpus messages in the order of their names, every third
// one delivered into new/, plus a message too long for a record.
QString corpusMaildir(const QString &root, int *count)
{
    const QString maildir = root + QStringLiteral("/Maildir");
    const QStringList names = QDir(corpusFolder()).entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name);
    QByteArray longMail = "From: =?UTF-8?B?6ZW35paH?= <long@example.jp>\r\nSubject: =?UTF-8?B?6ZW344GE44Oh44O844Or?=\r\n"
                          "Date: Mon, 7 Dec 2026 09:00:00 +0900\r\nMIME-Version: 1.0\r\n"
                          "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
    for (int line = 0; line < 1200; ++line)
        longMail += QStringLiteral("%1 行目：長いメールの本文です。\r\n").arg(line).toUtf8();
    longMail += "From here on the attachment is mentioned.\r\n>From the quoted line.\r\n";
    QList<QByteArray> messages;
    for (const QString &name : names)
        messages << fileBytes(corpusFolder() + u'/' + name);
    messages.insert(messages.size() / 2, longMail);
    for (int i = 0; i < messages.size(); ++i)
        writeFile(QStringLiteral("%1/%2/%3.M%4P7.host:2,S")
                      .arg(maildir, i % 3 == 2 ? QStringLiteral("new") : QStringLiteral("cur"))
                      .arg(1700000000 + i)
                      .arg(i),
                  messages[i]);
    *count = int(messages.size());
    return maildir;
}

} // namespace

class MailboxTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { m_prompts.emplace(); }
    void exportReadBackByPython();
    void importCorpusMaildir();
    void roundTrip();
    void failurePartWay();
    void commands();

private:
    std::optional<testsupport::ScriptedPrompts> m_prompts;
};

void MailboxTest::exportReadBackByPython()
{
    TempProgramFolder folder;
    QByteArray original = "From: orig@example.jp\r\nSubject: whole\r\n\r\nFrom the start\r\n>From quoted\r\n";
    original += QByteArray(40000, 'x') + "\r\n";
    writeFile(receive::attachmentFolderPath() + QStringLiteral("20261207-090000 whole.eml"), original);
    const QByteArray outsideCp932 = "From: emoji@example.jp\r\nMessage-ID: <emoji@example.jp>\r\nSubject: =?UTF-8?B?8J+YgA==?=\r\n\r\n\xf0\x9f\x98\x80\r\n";
    writeFile(receive::attachmentFolderPath() + QStringLiteral("20261207-100000 emoji.eml"), outsideCp932);
    const struct
    {
        QString subject, from, date, body, name, address;
    } rows[] = {
        {QStringLiteral("日本語の件名 ①～"), QStringLiteral("山田 太郎 <yamada@example.jp>"),
         QStringLiteral("Thu, 10 Dec 2026 10:00:00 +0900"), QStringLiteral("一行目\r\nFrom the start of a line\r\n"),
         QStringLiteral("山田 太郎"), QStringLiteral("yamada@example.jp")},
        {QStringLiteral("Re: plain ASCII"), QStringLiteral("\"Doe, John\" <john@example.com>"), QString(),
         QStringLiteral("no line end at the end"), QStringLiteral("Doe, John"), QStringLiteral("john@example.com")},
        {QString(), QStringLiteral("bare@example.jp"), QStringLiteral("Fri, 11 Dec 2026 08:00:00 +0000"),
         QString(2000, u'長') + QStringLiteral("\r\n"), QString(), QStringLiteral("bare@example.jp")},
        {QStringLiteral("whole"), QStringLiteral("orig@example.jp"), QString(),
         QStringLiteral("x") + receive::wholeMessageNotice(QStringLiteral("20261207-090000 whole.eml")), QString(),
         QStringLiteral("orig@example.jp")},
        {QStringLiteral("?"), QStringLiteral("emoji@example.jp"), QString(),
         QStringLiteral("?")
             + receive::wholeMessageNotice(QStringLiteral("20261207-100000 emoji.eml"),
                                           receive::WholeReason::CharactersLost),
         QString(), QStringLiteral("emoji@example.jp")},
        // A mail's own text naming a file outside the attachment folder is only text.
        {QStringLiteral("forged"), QStringLiteral("x@example.jp"), QString(),
         QStringLiteral("x") + receive::wholeMessageNotice(QStringLiteral("../secret.eml")), QString(),
         QStringLiteral("x@example.jp")},
    };
    writeFile(folder.path() + QStringLiteral("/secret.eml"), "Subject: secret\r\n\r\nsecret\r\n");
    receive::MailStore store;
    for (const auto &row : rows)
        QVERIFY(store.appendMailRecord(row.subject, row.from, row.date, row.body));
    const QString mboxPath = folder.path() + QStringLiteral("/out.mbox");
    const receive::ExportResult result = receive::exportMbox({mboxPath});
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.originals, 2);
    // The same store gives the same file.
    QVERIFY(receive::exportMbox({mboxPath + QStringLiteral("2")}).ok);
    QCOMPARE(fileBytes(mboxPath + QStringLiteral("2")), fileBytes(mboxPath));

    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral(GLIMRA_SOURCE "/tests/receive/read_mbox.py"), mboxPath});
    QVERIFY(python.waitForFinished(60000));
    QCOMPARE(python.exitCode(), 0);
    const QJsonArray messages = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    QCOMPARE(messages.size(), qsizetype(std::size(rows)));
    QSet<QString> ids;
    for (qsizetype i = 0; i < messages.size(); ++i) {
        const QJsonObject m = messages[i].toObject();
        const auto &row = rows[i];
        ids << m[QStringLiteral("message_id")].toString();
        const QJsonArray sender = m[QStringLiteral("from")].toArray().first().toArray();
        QCOMPARE(sender[0].toString(), row.name);
        QCOMPARE(sender[1].toString(), row.address);
        QCOMPARE(m[QStringLiteral("date")].toString(), row.date);
        if (i == 3 || i == 4) {
            QCOMPARE(m[QStringLiteral("sha256")].toString().toLatin1(),
                     QCryptographicHash::hash(i == 3 ? original : outsideCp932, QCryptographicHash::Sha256).toHex());
            continue;
        }
        QCOMPARE(m[QStringLiteral("subject")].toString(), row.subject);
        QCOMPARE(m[QStringLiteral("text")].toString().replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                 QString(row.body).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    }
    QCOMPARE(ids.size(), messages.size());
}

void MailboxTest::importCorpusMaildir()
{
    TempProgramFolder folder;
    int count = 0;
    const QString maildir = corpusMaildir(folder.path(), &count);
    const receive::ImportResult result = receive::importMail({maildir});
    QCOMPARE(result.end, receive::ImportResult::End::Done);
    QCOMPARE(result.imported, count);
    QCOMPARE(storedRecords().size(), qsizetype(count));

    // Every message whose expected texts the record can hold, found in the
    // record at its place in the maildir's order.
    const QStringList names = QDir(corpusFolder()).entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name);
    int compared = 0;
    for (const CorpusRow &row : readCorpusTable(corpusFolder() + QStringLiteral("/expected.tsv"))) {
        const qsizetype index = names.indexOf(row.file);
        const int n = int(index) + 1 + (index >= names.size() / 2 ? 1 : 0);
        const auto fits = [](const QString &text, qsizetype width) {
            return common::fromCp932(common::toCp932(text)) == text && common::toCp932(text).size() <= width;
        };
        // Attachments with a name of their own are in the attachment folder under it.
        for (const QString &name : row.attachmentNames.split(QStringLiteral(" | "), Qt::SkipEmptyParts)) {
            if (!row.soft && index >= 0 && !name.startsWith(u'('))
                QVERIFY2(QFileInfo::exists(receive::attachmentFolderPath() + maillib::safeAttachmentName(name, {})),
                         qPrintable(row.file + u' ' + name));
        }
        if (index < 0 || row.soft || row.bodyFirstLine.trimmed().isEmpty() || !fits(row.subject, 100)
            || !fits(row.from, 90) || !fits(row.bodyFirstLine, 1000))
            continue;
        const receive::MailRecord stored = record(n);
        QCOMPARE(comparable(stored.subject), comparable(row.subject));
        QCOMPARE(comparable(stored.from), comparable(row.from));
        QCOMPARE(comparable(firstNonBlankLine(stored.body)), comparable(firstNonBlankLine(row.bodyFirstLine)));
        ++compared;
    }
    QVERIFY2(compared >= 5, qPrintable(QString::number(compared)));
    // The long message: its first part in the record, the whole beside it.
    const int longAt = int(names.size() / 2) + 1;
    const QString whole = receive::wholeMessageFileNamed(record(longAt).body);
    QVERIFY(!whole.isEmpty());
    QVERIFY(fileBytes(receive::attachmentFolderPath() + whole).endsWith(">From the quoted line.\r\n"));
}

void MailboxTest::roundTrip()
{
    QList<QByteArray> before;
    QString mboxPath;
    QTemporaryDir keep;
    {
        TempProgramFolder folder;
        int count = 0;
        const QString maildir = corpusMaildir(folder.path(), &count);
        QCOMPARE(receive::importMail({maildir}).imported, count);
        before = storedRecords();
        const int kept = int(std::count_if(before.begin(), before.end(), [](const QByteArray &bytes) {
            return !receive::wholeMessageFileNamed(receive::MailRecord::fromBytes(bytes).body).isEmpty();
        }));
        mboxPath = keep.path() + QStringLiteral("/all.mbox");
        const receive::ExportResult exported = receive::exportMbox({mboxPath});
        QVERIFY2(exported.ok, qPrintable(exported.error));
        QVERIFY(kept >= 1);
        QCOMPARE(exported.originals, kept);
    }
    TempProgramFolder empty;
    const receive::ImportResult result = receive::importMail({mboxPath});
    QCOMPARE(result.end, receive::ImportResult::End::Done);
    const QList<QByteArray> after = storedRecords();
    QCOMPARE(after.size(), before.size());
    for (qsizetype i = 0; i < before.size(); ++i) {
        const receive::MailRecord a = receive::MailRecord::fromBytes(before[i]);
        const receive::MailRecord b = receive::MailRecord::fromBytes(after[i]);
        QCOMPARE(b.subject, a.subject);
        QCOMPARE(b.from, a.from);
        QCOMPARE(b.date, a.date);
        QCOMPARE(b.body, a.body);
        QCOMPARE(after[i], before[i]);
    }
}

void MailboxTest::failurePartWay()
{
    TempProgramFolder folder;
    int count = 0;
    const QString maildir = corpusMaildir(folder.path(), &count);
    testsupport::FaultyRecordFileSystem faults;
    const receive::ImportResult result = receive::importMail({maildir}, [&](int n) {
        if (n == 3)
            faults.arm(QStringLiteral("pwrite"), testsupport::FaultyRecordFileSystem::Fault::Fail, ENOSPC);
    });
    QVERIFY(faults.hit());
    QCOMPARE(result.end, receive::ImportResult::End::Failed);
    QCOMPARE(result.imported, 2);
    QCOMPARE(result.nextFirst, 3);
    QCOMPARE(QFileInfo(common::ProgramFolder::dataFile(QStringLiteral("krxdata2.data"))).size(),
             qint64(2 * receive::MailRecord::Length));
}

// The program file as a user runs it, copied into a program folder of its
// own, with no display at all.
void MailboxTest::commands()
{
    TempProgramFolder folder;
    const QString program = folder.path() + QStringLiteral("/glimramail");
    QVERIFY(QFile::copy(QStringLiteral(GLIMRA_PROGRAM), program));
    int count = 0;
    const QString maildir = corpusMaildir(folder.path(), &count);
    const QString mbox = folder.path() + QStringLiteral("/out.mbox");
    QTemporaryDir userFolder; // where the user runs the command, not the program folder
    const struct
    {
        const char *what;
        QStringList arguments;
        bool running;
        qint64 storedBefore; // records put into the store first
        int exitCode;
        QString output;
    } rows[] = {
        {"refused while running", {QStringLiteral("--import"), maildir}, true, 0, 1, QStringLiteral("動いているため")},
        {"import", {QStringLiteral("--import"), maildir, QStringLiteral("--last"), QStringLiteral("2")}, false, 0, 0,
         QStringLiteral("2 通のメール")},
        {"export", {QStringLiteral("--export-mbox=") + mbox}, false, 0, 0, QStringLiteral("2 件のメール（1 件目から 2 件目まで）")},
        {"no overwrite", {QStringLiteral("--export-mbox"), mbox}, false, 0, 1, QStringLiteral("すでにあります")},
        {"relative file", {QStringLiteral("--export-mbox"), QStringLiteral("relative.mbox")}, false, 0, 0,
         QStringLiteral("relative.mbox")},
        {"wrong range", {QStringLiteral("--import"), maildir, QStringLiteral("--first"), QStringLiteral("0")}, false, 0, 2,
         QStringLiteral("使い方")},
        {"store fills up", {QStringLiteral("--import"), maildir}, false, 32765, 3,
         QStringLiteral("2 通を取り込んだところで止めました。%1 通目から後は").arg(3)},
    };
    for (const auto &row : rows) {
        const QString store = common::ProgramFolder::dataFile(QStringLiteral("krxdata2.data"));
        if (row.storedBefore > 0) // sparse: the count is the length
            QCOMPARE(::truncate(QFile::encodeName(store).constData(), row.storedBefore * receive::MailRecord::Length), 0);
        std::optional<app::InstanceLock> lock;
        if (row.running)
            lock.emplace(folder.dataFolder());
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        env.insert(QStringLiteral("GLIMRA_PROGRAM_DIR"), folder.path());
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(userFolder.path());
        process.start(program, row.arguments);
        QVERIFY2(process.waitForFinished(120000), row.what);
        const QString output = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
        QVERIFY2(output.contains(row.output), qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(row.what), output)));
        QCOMPARE(process.exitCode(), row.exitCode);
    }
    QCOMPARE(QFileInfo(common::ProgramFolder::dataFile(QStringLiteral("krxdata2.data"))).size(),
             qint64(32767) * receive::MailRecord::Length);
    QVERIFY(QFileInfo::exists(userFolder.filePath(QStringLiteral("relative.mbox"))));
}

QTEST_GUILESS_MAIN(MailboxTest)
#include "tst_Mailbox.moc"
