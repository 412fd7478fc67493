// The mail check against a real Dovecot: what reaches the store, what stays on
// the server, and what the windows are told, with the windows replaced by a
// recorder.
#include "common/Cp932.h"
#include "habitat/LitterTick.h"
#include "maillib/NMail.h"
#include "receive/AttachmentFolder.h"
#include "receive/MailCheck.h"
#include "receive/MailCheckState.h"
#include "receive/MailRecord.h"
#include "receive/MailStore.h"
#include "settings/AccountSettings.h"
#include "support/DovecotServer.h"
#include "support/FakePop3Server.h"
#include "support/FaultyRecordFileSystem.h"
#include "support/ScriptedPrompts.h"
#include "support/TempProgramFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTest>

#include <functional>

using testsupport::DovecotServer;

namespace {

const QString Alice = QStringLiteral("alice");

QByteArray textMessage(const QByteArray &subject, const QByteArray &body,
                       const QByteArray &date = "Tue, 8 Dec 2026 10:00:00 +0900")
{
    return "From: =?UTF-8?B?5bGx55Sw?= <yamada@example.jp>\r\nTo: alice@example.jp\r\nSubject: " + subject
        + "\r\nDate: " + date
        + "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
        + body;
}

QByteArray attachmentMessage(const QByteArray &subject, const QByteArray &fileName)
{
    return "From: sender@example.jp\r\nTo: alice@example.jp\r\nSubject: " + subject
        + "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
          "--b\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\n本文です。\r\n"
          "--b\r\nContent-Type: application/octet-stream; name=\""
        + fileName + "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + QByteArray("payload").toBase64()
        + "\r\n--b--\r\n";
}

// The windows of a check, recorded.
class RecordingWindows final : public receive::MailCheckWindows
{
public:
    QStringList calls;
    QString helpText, status, newCount;
    QString viewerSubject, viewerFrom, viewerDate, viewerBody;
    QString credentialId, credentialPassword;
    bool autoShow = false;
    int viewerOpened = 0;
    int credentialsShown = 0;
    QList<receive::MailCheckProgress> progress;
    std::function<void(const QString &subject)> onShowMessage;

    void checkStarted() override { calls << QStringLiteral("started"); }
    void checkEnded() override { calls << QStringLiteral("ended"); }
    void setLitterTickInterval(int ms) override { habitat::litterTick().setInterval(ms); }
    void showHelpText(const QString &text) override { helpText = text; }
    void showCredentialsUsed(const QString &id, const QString &password) override
    {
        credentialId = id;
        credentialPassword = password;
    }
    void showCredentialsWindow() override { ++credentialsShown; }
    void showMessage(const QString &subject, const QString &from, const QString &date, const QString &body) override
    {
        viewerSubject = subject;
        viewerFrom = from;
        viewerDate = date;
        viewerBody = body;
        if (onShowMessage)
            onShowMessage(subject);
    }
    void showProgress(const receive::MailCheckProgress &p) override { progress << p; }
    void showResult(const QString &s, const QString &count) override
    {
        status = s;
        newCount = count;
    }
    bool autoShowTicked() const override { return autoShow; }
    void openViewer() override { ++viewerOpened; }
};

QStringList storedSubjects()
{
    receive::MailStore store;
    QStringList subjects;
    for (const receive::MailListEntry &entry : store.readMailList())
        subjects << entry.subject.trimmed();
    return subjects;
}

QString storedBody(int n)
{
    receive::MailStore store;
    if (store.GetMailRecord(n) != common::RecordRead::Read)
        return QStringLiteral("(unreadable)");
    return receive::CurrentMailRecord.body;
}

} // namespace

class MailCheckTest : public QObject
{
    Q_OBJECT

private:
    DovecotServer m_server;
    std::unique_ptr<testsupport::TempProgramFolder> m_folder;
    std::unique_ptr<testsupport::ScriptedPrompts> m_prompts;
    RecordingWindows m_windows;

    void deliver(const QByteArray &message) { QVERIFY(m_server.deliver(Alice, message)); }
    QStringList serverSubjects() const
    {
        QStringList subjects;
        for (const QByteArray &m : m_server.messages(Alice)) {
            const qsizetype at = m.indexOf("Subject: ");
            subjects << QString::fromUtf8(m.mid(at + 9, m.indexOf('\r', at) - at - 9));
        }
        return subjects;
    }
    QString attachmentFolder() const { return receive::attachmentFolderPath(); }
    void saveCredentials(const QByteArray &id, const QByteArray &password)
    {
        m_folder->writeDataFile(QStringLiteral("iniIdPass.ini"),
                                "[EXEINI]\r\nNAME=" + id + "\r\nNAME2=" + password + "\r\nNAME3=1\r\n");
    }
    receive::MailCheckResult check()
    {
        receive::MailCheck check(m_windows);
        return check.ReceiveMail();
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.error())); }

    void init()
    {
        m_server.clear(Alice);
        m_folder = std::make_unique<testsupport::TempProgramFolder>();
        m_prompts = std::make_unique<testsupport::ScriptedPrompts>();
        m_windows = RecordingWindows();
        settings::accountSettings() = settings::AccountSettings();
        settings::accountSettings().Pop3Server = m_server.address();
        saveCredentials("alice", "alicepw");
    }
    void cleanup()
    {
        m_prompts.reset();
        m_folder.reset();
    }

    void storesInServerOrderAndEmptiesTheMailbox_data()
    {
        QTest::addColumn<int>("litterIntervalBefore");
        QTest::addColumn<bool>("autoShow");
        QTest::newRow("tick running, no auto-show") << 1000 << false;
        QTest::newRow("tick paused, auto-show") << 0 << true;
        QTest::newRow("tick at 250 ms, auto-show") << 250 << true;
    }
    void storesInServerOrderAndEmptiesTheMailbox()
    {
        QFETCH(int, litterIntervalBefore);
        QFETCH(bool, autoShow);
        habitat::litterTick().setInterval(litterIntervalBefore);
        m_windows.autoShow = autoShow;
        deliver(textMessage("first", "一通目\r\n"));
        deliver(textMessage("second", "二通目\r\n"));
        deliver(textMessage("=?UTF-8?B?5LiJ6YCa55uu?=", "三通目の本文\r\n", "Wed, 9 Dec 2026 08:30:00 +0900"));

        const receive::MailCheckResult result = check();

        QCOMPARE(result.loginResult, 3);
        QCOMPARE(result.stored, 3);
        QCOMPARE(storedSubjects(), (QStringList{QStringLiteral("first"), QStringLiteral("second"),
                                               QStringLiteral("三通目")}));
        QCOMPARE(m_server.messages(Alice).size(), 0);
        QCOMPARE(m_windows.status, QStringLiteral("新着メール有り。"));
        QCOMPARE(m_windows.newCount, QStringLiteral("3"));
        QCOMPARE(m_windows.helpText, QStringLiteral("メールのチェックをしています。"));
        QCOMPARE(m_windows.credentialId, QStringLiteral("alice"));
        QCOMPARE(m_windows.credentialPassword, QStringLiteral("alicepw"));
        // The viewer's fields and the shared record hold the last message.
        QCOMPARE(m_windows.viewerSubject, QStringLiteral("三通目"));
        QCOMPARE(m_windows.viewerFrom.contains(QStringLiteral("山田")), true);
        QCOMPARE(m_windows.viewerDate, QStringLiteral("Wed, 9 Dec 2026 08:30:00 +0900"));
        QVERIFY(m_windows.viewerBody.startsWith(QStringLiteral("三通目の本文")));
        QCOMPARE(receive::CurrentMailRecord.subject.trimmed(), QStringLiteral("三通目"));
        QCOMPARE(m_windows.viewerOpened, autoShow ? 1 : 0);
        QCOMPARE(habitat::litterTick().interval(), 1000);
        QVERIFY(m_prompts->shown.isEmpty());
        QCOMPARE(m_windows.calls, (QStringList{QStringLiteral("started"), QStringLiteral("ended")}));
        QVERIFY(!receive::mailCheckRunning());
        // Progress named every message and ended with all of them stored.
        QVERIFY(!m_windows.progress.isEmpty());
        QCOMPARE(m_windows.progress.last().messages, 3);
        QCOMPARE(m_windows.progress.last().message, 3);
        QVERIFY(m_windows.progress.last().totalBytes > 0);
    }

    void emptyMailboxReportsNoMailAndOpensNothing()
    {
        m_windows.autoShow = true;
        habitat::litterTick().setInterval(0);
        const receive::MailCheckResult result = check();
        QCOMPARE(result.loginResult, 0);
        QCOMPARE(m_windows.status, QStringLiteral("新着メール無し。"));
        QCOMPARE(m_windows.newCount, QStringLiteral("0"));
        QCOMPARE(m_windows.viewerOpened, 0);
        QCOMPARE(habitat::litterTick().interval(), 1000);
        QVERIFY(m_prompts->shown.isEmpty());
    }

    // The notice says what the layer wrote, whatever words the body holds;
    // the check's work file is its own, so no file of that name is touched.
    void attachmentNoticeNamesTheFilesWritten_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("usersZeroTxt");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("plain mail mentioning an attachment")
            << textMessage("word", "see the attachment\r\n") << false << QStringList();
        QTest::newRow("file written") << attachmentMessage("file", "a.bin") << false
                                      << QStringList{QStringLiteral("a.bin")};
        QTest::newRow("attachment named 0.txt") << attachmentMessage("zero", "0.txt") << false
                                                << QStringList{QStringLiteral("0.txt")};
        QTest::newRow("user's own 0.txt") << attachmentMessage("other", "a.bin") << true
                                          << QStringList{QStringLiteral("a.bin")};
    }
    void attachmentNoticeNamesTheFilesWritten()
    {
        QFETCH(QByteArray, message);
        QFETCH(bool, usersZeroTxt);
        QFETCH(QStringList, files);
        QFile mine(attachmentFolder() + QStringLiteral("0.txt"));
        if (usersZeroTxt) {
            QVERIFY(mine.open(QIODevice::WriteOnly));
            mine.write("the user's own notes");
            mine.close();
        }
        deliver(message);
        check();
        const QString stored = storedBody(1).trimmed();
        const QString notice = QStringLiteral("♪♪♪　添付ファイルがありましので、添付フォルダに展開しました。♪♪♪");
        QCOMPARE(stored.contains(notice), !files.isEmpty());
        for (const QString &file : files) {
            QVERIFY2(stored.endsWith(QStringLiteral("「%1」").arg(file)), qPrintable(stored));
            QVERIFY(QFile::exists(attachmentFolder() + file));
        }
        QCOMPARE(m_windows.viewerBody.trimmed(), stored);
        if (usersZeroTxt) {
            QVERIFY(mine.open(QIODevice::ReadOnly));
            QCOMPARE(mine.readAll(), QByteArray("the user's own notes"));
        }
        QVERIFY(m_prompts->shown.isEmpty());
    }

    // Characters the record cannot hold are kept in the whole message beside it.
    void charactersOutsideCp932KeepTheWholeMessage_data()
    {
        QTest::addColumn<QByteArray>("subject");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("kept");
        QTest::newRow("CP932 only") << QByteArray("=?UTF-8?B?5pel5pys6Kqe?=") << QByteArray("日本語の本文\r\n") << false;
        QTest::newRow("subject outside") << QByteArray("=?UTF-8?B?8KCut+mHjuWutg==?=") << QByteArray("本文\r\n") << true;
        QTest::newRow("body outside") << QByteArray("emoji") << QByteArray("了解です\xF0\x9F\x98\x8A\r\n") << true;
    }
    void charactersOutsideCp932KeepTheWholeMessage()
    {
        QFETCH(QByteArray, subject);
        QFETCH(QByteArray, body);
        QFETCH(bool, kept);
        const QByteArray message = textMessage(subject, body);
        deliver(message);
        check();
        const QStringList emls = QDir(attachmentFolder()).entryList({QStringLiteral("*.eml")}, QDir::Files);
        QCOMPARE(emls.size(), kept ? 1 : 0);
        QCOMPARE(storedSubjects().size(), 1);
        QCOMPARE(m_server.messages(Alice).size(), 0);
        if (kept) {
            QFile saved(attachmentFolder() + emls.first());
            QVERIFY(saved.open(QIODevice::ReadOnly));
            QCOMPARE(saved.readAll(), message);
            QVERIFY2(storedBody(1).trimmed().endsWith(QStringLiteral("「%1」にあります。）").arg(emls.first())),
                     qPrintable(storedBody(1).trimmed()));
        }
    }

    void wrongPasswordShowsTheLayersTextAndTouchesNothing()
    {
        saveCredentials("alice", "wrong");
        deliver(textMessage("kept", "残る\r\n"));
        const receive::MailCheckResult result = check();
        QVERIFY(result.loginResult < 0);
        QCOMPARE(m_prompts->shown.size(), 1);
        QCOMPARE(m_prompts->shown.first().title, QStringLiteral("エラー"));
        QVERIFY(!m_prompts->shown.first().text.isEmpty());
        QCOMPARE(m_windows.status, QStringLiteral("新着メール無し。"));
        QCOMPARE(m_windows.newCount, QStringLiteral("0"));
        QCOMPARE(serverSubjects(), QStringList{QStringLiteral("kept")});
        QCOMPARE(storedSubjects(), QStringList());
    }

    void missingCredentialsShowTheCredentialsWindow_data()
    {
        QTest::addColumn<QByteArray>("id");
        QTest::addColumn<QByteArray>("password");
        QTest::newRow("no ID") << QByteArray() << QByteArray("alicepw");
        QTest::newRow("no password") << QByteArray("alice") << QByteArray();
    }
    void missingCredentialsShowTheCredentialsWindow()
    {
        QFETCH(QByteArray, id);
        QFETCH(QByteArray, password);
        saveCredentials(id, password);
        deliver(textMessage("kept", "残る\r\n"));
        check();
        QCOMPARE(m_windows.credentialsShown, 1);
        QCOMPARE(m_windows.credentialId, QString::fromLatin1(id));
        QCOMPARE(m_windows.status, QStringLiteral("新着メール無し。"));
        QCOMPARE(serverSubjects(), QStringList{QStringLiteral("kept")});
        QVERIFY(m_prompts->shown.isEmpty());
    }

    void failedConnectionIsAnErrorNotAnEmptyMailbox_data()
    {
        QTest::addColumn<QString>("server");
        QTest::newRow("refused") << QStringLiteral("127.0.0.1:1");
        QTest::newRow("unknown host") << QStringLiteral("no-such-host.invalid");
    }
    void failedConnectionIsAnErrorNotAnEmptyMailbox()
    {
        QFETCH(QString, server);
        settings::accountSettings().Pop3Server = server;
        check();
        QCOMPARE(m_prompts->shown.size(), 1);
        QCOMPARE(m_prompts->shown.first().title, QStringLiteral("エラー"));
        QVERIFY(!m_prompts->shown.first().text.isEmpty());
        QVERIFY(m_windows.status != QStringLiteral("新着メール無し。"));
        QCOMPARE(m_windows.status, QStringLiteral("受信できませんでした。"));
        QCOMPARE(habitat::litterTick().interval(), 1000);
    }

    void emptyServerNameContactsNothing()
    {
        settings::accountSettings().Pop3Server.clear();
        deliver(textMessage("kept", "残る\r\n"));
        check();
        QCOMPARE(m_windows.status, QStringLiteral("新着メール無し。"));
        QCOMPARE(m_windows.newCount, QStringLiteral("0"));
        QVERIFY(m_windows.helpText.isEmpty());
        QCOMPARE(serverSubjects(), QStringList{QStringLiteral("kept")});
    }

    // A message whose body does not fit the record is kept whole, byte for
    // byte, beside it; above the layer's spill size its bytes live in the
    // layer's temporary file rather than in memory.
    void longMailIsSavedWholeBesideItsCutRecord_data()
    {
        QTest::addColumn<int>("attachmentBytes");
        QTest::newRow("long text") << 0;
        QTest::newRow("above the spill size") << 17 * 1024 * 1024;
    }
    void longMailIsSavedWholeBesideItsCutRecord()
    {
        QFETCH(int, attachmentBytes);
        QByteArray body;
        for (int i = 0; body.size() < 120000; ++i)
            body += QStringLiteral("%1 行目：長いメールの本文です。\r\n").arg(i).toUtf8();
        body += "最後の行\r\n";
        QByteArray message = textMessage("=?UTF-8?B?6ZW344GE44Oh44O844Or?=", body);
        QByteArray payload;
        if (attachmentBytes > 0) {
            for (quint32 x = 1; payload.size() < attachmentBytes;)
                payload += char((x = x * 1103515245u + 12345u) >> 24);
            const QByteArray base64 = payload.toBase64();
            QByteArray encoded;
            for (qsizetype at = 0; at < base64.size(); at += 76)
                encoded += base64.mid(at, 76) + "\r\n";
            message = "From: yamada@example.jp\r\nTo: alice@example.jp\r\nSubject: =?UTF-8?B?6ZW344GE44Oh44O844Or?=\r\n"
                      "Date: Tue, 8 Dec 2026 10:00:00 +0900\r\nMIME-Version: 1.0\r\n"
                      "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                      "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
                + body + "--b\r\nContent-Type: application/octet-stream; name=\"big.bin\"\r\n"
                         "Content-Transfer-Encoding: base64\r\n\r\n" + encoded + "--b--\r\n";
        }
        deliver(message);
        deliver(textMessage("short", "短い\r\n"));

        check();

        QCOMPARE(storedSubjects(), (QStringList{QStringLiteral("長いメール"), QStringLiteral("short")}));
        QCOMPARE(m_server.messages(Alice).size(), 0);
        const QStringList emls = QDir(attachmentFolder()).entryList({QStringLiteral("*.eml")}, QDir::Files);
        QCOMPARE(emls.size(), 1);
        QVERIFY2(emls.first().contains(QStringLiteral("長いメール")), qPrintable(emls.first()));
        QVERIFY(emls.first().startsWith(QStringLiteral("20261208-100000")));
        QFile saved(attachmentFolder() + emls.first());
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.readAll() == message);
        if (attachmentBytes > 0) {
            QFile extracted(attachmentFolder() + QStringLiteral("big.bin"));
            QVERIFY(extracted.open(QIODevice::ReadOnly));
            QVERIFY(extracted.readAll() == payload);
        }
        // The record keeps the start, ends with the line naming the file and fits its field.
        const QString stored = storedBody(1).trimmed();
        QVERIFY(stored.startsWith(QStringLiteral("0 行目：長いメールの本文です。")));
        QVERIFY2(stored.endsWith(QStringLiteral("「%1」にあります。）").arg(emls.first())), qPrintable(stored.right(120)));
        QVERIFY(common::toCp932(stored).size() <= receive::MailRecord::BodyWidth);
        QVERIFY(!stored.contains(QStringLiteral("最後の行")));
        QVERIFY(m_prompts->shown.isEmpty());

        // A second long mail of the same name never replaces the first file.
        deliver(message);
        check();
        QCOMPARE(QDir(attachmentFolder()).entryList({QStringLiteral("*.eml")}, QDir::Files).size(), 2);
    }

    void failedAppendLeavesExactlyTheUnstoredOnTheServer_data()
    {
        QTest::addColumn<int>("error");
        QTest::newRow("disk full") << ENOSPC;
        QTest::newRow("write error") << EIO;
    }
    void failedAppendLeavesExactlyTheUnstoredOnTheServer()
    {
        QFETCH(int, error);
        for (const char *s : {"m1", "m2", "m3", "m4", "m5"})
            deliver(textMessage(s, "本文\r\n"));
        testsupport::FaultyRecordFileSystem faults;
        m_windows.onShowMessage = [&](const QString &subject) {
            if (subject == QLatin1String("m3"))
                faults.arm(QStringLiteral("pwrite"), testsupport::FaultyRecordFileSystem::Fault::Fail, error);
        };
        const receive::MailCheckResult result = check();
        QVERIFY(faults.hit());
        QCOMPARE(result.stored, 2);
        QCOMPARE(storedSubjects(), (QStringList{QStringLiteral("m1"), QStringLiteral("m2")}));
        QCOMPARE(serverSubjects(), (QStringList{QStringLiteral("m3"), QStringLiteral("m4"), QStringLiteral("m5")}));
        QCOMPARE(m_prompts->shown.size(), 1);
        QCOMPARE(m_prompts->shown.first().title, QStringLiteral("エラー"));
        QVERIFY(m_prompts->shown.first().text.contains(QStringLiteral("サーバーに残して")));
        if (error == ENOSPC)
            QVERIFY(m_prompts->shown.first().text.contains(QStringLiteral("空き容量")));
        QCOMPARE(m_windows.newCount, QStringLiteral("2"));
    }

    // Only what is surely on the disk is deleted: a flush that fails keeps
    // every message it covered on the server (stored again later, never lost).
    void failedFlushDeletesNothingItCovered()
    {
        for (const char *s : {"m1", "m2", "m3"})
            deliver(textMessage(s, "本文\r\n"));
        testsupport::FaultyRecordFileSystem faults;
        faults.arm(QStringLiteral("fsync"), testsupport::FaultyRecordFileSystem::Fault::Fail, EIO);
        check();
        QVERIFY(faults.hit());
        QCOMPARE(serverSubjects(), (QStringList{QStringLiteral("m1"), QStringLiteral("m2"), QStringLiteral("m3")}));
        QCOMPARE(m_prompts->shown.size(), 1);
        QCOMPARE(m_prompts->shown.first().title, QStringLiteral("エラー"));
        QVERIFY(m_prompts->shown.first().text.contains(QStringLiteral("サーバーにも残しました")));
    }

    void stopEndsAfterTheMessageBeingStored()
    {
        for (const char *s : {"m1", "m2", "m3", "m4", "m5"})
            deliver(textMessage(s, "本文\r\n"));
        receive::MailCheck check(m_windows);
        m_windows.onShowMessage = [&](const QString &subject) {
            if (subject == QLatin1String("m2"))
                check.requestStop();
        };
        const receive::MailCheckResult result = check.ReceiveMail();
        QVERIFY(result.stopped);
        QCOMPARE(storedSubjects(), (QStringList{QStringLiteral("m1"), QStringLiteral("m2")}));
        QCOMPARE(serverSubjects(), (QStringList{QStringLiteral("m3"), QStringLiteral("m4"), QStringLiteral("m5")}));
        QCOMPARE(m_windows.status, QStringLiteral("新着メール有り。"));
        QCOMPARE(m_windows.newCount, QStringLiteral("2"));
        QVERIFY(m_windows.progress.last().stopping);
        QVERIFY(m_prompts->shown.isEmpty());
    }

    // The worker fetches ahead of what is stored: messages it handed over
    // that a stop leaves unstored stay on the server, in order, and the
    // attachments written for them go again.
    void messagesFetchedAheadOfAStopStayOnTheServer_data()
    {
        QTest::addColumn<int>("stopAt");
        QTest::newRow("after the first") << 1;
        QTest::newRow("after the third") << 3;
    }
    void messagesFetchedAheadOfAStopStayOnTheServer()
    {
        QFETCH(int, stopAt);
        QStringList all, files;
        for (int i = 1; i <= 5; ++i) {
            all << QStringLiteral("m%1").arg(i);
            files << QStringLiteral("m%1.bin").arg(i);
            deliver(attachmentMessage(all.last().toLatin1(), files.last().toLatin1()));
        }
        receive::MailCheck check(m_windows);
        m_windows.onShowMessage = [&](const QString &subject) {
            if (subject != all.at(stopAt - 1))
                return;
            QTest::qWait(300); // the worker hands the rest over meanwhile
            check.requestStop();
        };
        QVERIFY(check.ReceiveMail().stopped);
        QCOMPARE(storedSubjects(), all.mid(0, stopAt));
        QCOMPARE(serverSubjects(), all.mid(stopAt));
        QCOMPARE(QDir(attachmentFolder()).entryList(QDir::Files, QDir::Name), files.mid(0, stopAt));
    }

    void refusedMessageStaysOnTheServerAndTheRestComeIn()
    {
        testsupport::FakePop3Server fake;
        fake.messages = {textMessage("m1", "一\r\n"), textMessage("m2", "二\r\n"), textMessage("m3", "三\r\n")};
        fake.hook = [](const QByteArray &command) -> std::optional<testsupport::FakePop3Server::Reply> {
            if (command == "RETR 2")
                return testsupport::FakePop3Server::Reply{"-ERR message 2 is damaged\r\n"};
            return std::nullopt;
        };
        settings::accountSettings().Pop3Server = fake.address();
        saveCredentials("alice", "tanstaaf");
        const receive::MailCheckResult result = check();
        QCOMPARE(result.stored, 2);
        QCOMPARE(storedSubjects(), (QStringList{QStringLiteral("m1"), QStringLiteral("m3")}));
        QCOMPARE(fake.committed, (QList<int>{1, 3}));
        QCOMPARE(m_prompts->shown.size(), 1);
        QCOMPARE(m_prompts->shown.first().title, QStringLiteral("エラー"));
        QVERIFY(m_prompts->shown.first().text.contains(QStringLiteral("2 件目")));
        QCOMPARE(m_windows.newCount, QStringLiteral("2"));
    }

    void attachmentsAreExtractedAndTheWorkFileRemoved()
    {
        QFile other(attachmentFolder() + QStringLiteral("keep.txt"));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("the user's own file");
        other.close();
        deliver(attachmentMessage("one", "a.bin"));
        deliver(attachmentMessage("two", "b.bin"));
        check();
        const QStringList files = QDir(attachmentFolder()).entryList(QDir::Files, QDir::Name);
        QCOMPARE(files, (QStringList{QStringLiteral("a.bin"), QStringLiteral("b.bin"), QStringLiteral("keep.txt")}));
        QCOMPARE(storedSubjects(), (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
        QVERIFY(storedBody(2).startsWith(QStringLiteral("本文です。")));
        QVERIFY(m_prompts->shown.isEmpty());
    }

    // What a check writes (the store, attachments, a long mail saved whole)
    // is readable by the user only, whatever the umask.
    void writtenFilesArePrivate()
    {
        QByteArray body;
        while (body.size() < 40000)
            body += "long line of a long mail\r\n";
        deliver(attachmentMessage("one", "a.bin"));
        deliver(textMessage("long", body));
        QStringList before;
        for (QDirIterator it(m_folder->path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            before << it.next();
        check();
        QStringList written;
        for (QDirIterator it(m_folder->path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            const QString path = it.next();
            if (!before.contains(path)) {
                written << it.fileName();
                QCOMPARE(QFileInfo(path).permissions() & 0x0777, QFileDevice::ReadUser | QFileDevice::WriteUser);
            }
        }
        QCOMPARE(written.size(), 4); // the store, its journal of unique IDs, a.bin and the .eml
    }

    // A missing attachment folder is made again; one that cannot be made
    // keeps every message with attachments on the server, and says so.
    void attachmentFolderMissingLosesNothing_data()
    {
        QTest::addColumn<bool>("folderCanBeMade");
        QTest::newRow("removed") << true;
        QTest::newRow("a file in its place") << false;
    }
    void attachmentFolderMissingLosesNothing()
    {
        QFETCH(bool, folderCanBeMade);
        QVERIFY(QDir(attachmentFolder()).removeRecursively());
        if (!folderCanBeMade) {
            QFile blocker(attachmentFolder().chopped(1));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        deliver(textMessage("plain", "本文\r\n"));
        deliver(attachmentMessage("with file", "a.bin"));
        deliver(textMessage("plain again", "本文\r\n"));
        check();
        if (folderCanBeMade) {
            QCOMPARE(storedSubjects().size(), 3);
            QVERIFY(QFile::exists(attachmentFolder() + QStringLiteral("a.bin")));
            QCOMPARE(m_server.messages(Alice).size(), 0);
            QVERIFY(m_prompts->shown.isEmpty());
        } else {
            QCOMPARE(storedSubjects(), (QStringList{QStringLiteral("plain"), QStringLiteral("plain again")}));
            QCOMPARE(serverSubjects(), QStringList{QStringLiteral("with file")});
            QVERIFY(!m_prompts->shown.isEmpty());
            QVERIFY(m_prompts->shown.last().text.contains(QStringLiteral("2 件目のメール「with file」")));
        }
    }

    // A late failure does not hide an earlier one: every reason reaches the box.
    void everyReasonReachesTheBox()
    {
        testsupport::FakePop3Server fake;
        fake.capabilities = {"USER"};
        fake.messages = {textMessage("m1", "一\r\n"), textMessage("m2", "二\r\n"), textMessage("m3", "三\r\n")};
        fake.hook = [](const QByteArray &command) -> std::optional<testsupport::FakePop3Server::Reply> {
            if (command == "RETR 3")
                return testsupport::FakePop3Server::Reply{}; // stalls
            return std::nullopt;
        };
        settings::accountSettings().Pop3Server = fake.address();
        saveCredentials("alice", "tanstaaf");
        maillib::NMailSetOption(maillib::NMailOptionTimeoutMs, 400);
        const receive::MailCheckResult result = check();
        maillib::NMailSetOption(maillib::NMailOptionTimeoutMs, 60000);
        QCOMPARE(result.stored, 2);
        QCOMPARE(m_prompts->shown.size(), 1);
        const QString box = m_prompts->shown.first().text;
        QVERIFY2(box.contains(QStringLiteral("応答")), qPrintable(box));
        QVERIFY2(box.contains(QStringLiteral("まだ保存していない 1 件")), qPrintable(box));
        QVERIFY2(box.contains(QStringLiteral("今回保存した 2 件")), qPrintable(box));
        QVERIFY2(box.contains(QStringLiteral("UIDL")), qPrintable(box));
        QStringList paragraphs = box.split(QStringLiteral("\r\n\r\n"));
        QVERIFY2(paragraphs.removeDuplicates() == 0, qPrintable(box)); // no reason told twice
    }

    // A session that dies after its group was flushed, before QUIT is
    // answered, leaves stored mail on the server; the next check deletes it
    // without storing it again where the server gives unique IDs, also when
    // older mail was deleted in the viewer meanwhile (the store compacted), and
    // when the check was killed while writing its last record (cut short).
    void checkDyingBeforeQuitStoresNothingTwice_data()
    {
        QTest::addColumn<bool>("uidl");
        QTest::addColumn<bool>("olderDeleted");
        QTest::addColumn<bool>("lastCutShort");
        QTest::newRow("UIDL") << true << false << false;
        QTest::newRow("UIDL, older mail deleted between") << true << true << false;
        QTest::newRow("UIDL, last record cut short") << true << false << true;
        QTest::newRow("no UIDL") << false << false << false;
    }
    void checkDyingBeforeQuitStoresNothingTwice()
    {
        QFETCH(bool, uidl);
        QFETCH(bool, olderDeleted);
        QFETCH(bool, lastCutShort);
        if (olderDeleted)
            QVERIFY(receive::MailStore().appendMailRecord(QStringLiteral("old"), {}, {}, {}).ok());
        testsupport::FakePop3Server fake;
        fake.capabilities = uidl ? QList<QByteArray>{"USER", "UIDL"} : QList<QByteArray>{"USER"};
        fake.messages = {textMessage("m1", "一\r\n"), textMessage("m2", "二\r\n"), textMessage("m3", "三\r\n")};
        fake.hook = [](const QByteArray &command) -> std::optional<testsupport::FakePop3Server::Reply> {
            if (command == "QUIT")
                return testsupport::FakePop3Server::Reply{"", true}; // hangs up unanswered
            return std::nullopt;
        };
        settings::accountSettings().Pop3Server = fake.address();
        saveCredentials("alice", "tanstaaf");
        QCOMPARE(check().stored, 3);
        QVERIFY(fake.committed.isEmpty());
        QCOMPARE(m_prompts->shown.size(), 1);
        QCOMPARE(m_prompts->shown.first().text.contains(QStringLiteral("UIDL")), !uidl);

        if (olderDeleted)
            QVERIFY(receive::MailStore().DeleteMailRecord(1).ok());
        if (lastCutShort) {
            // Three quarters of m3's record made it to the file: it still counts.
            const QString name = QString::fromLatin1(receive::MailStore::StoreFileName);
            const QByteArray whole = m_folder->readDataFile(name);
            m_folder->writeDataFile(name, whole.left(whole.size() - receive::MailRecord::Length / 4));
            QCOMPARE(receive::MailStore().CountMailRecords(), 3);
        }
        // Meanwhile m1 went from the server (another client), and m4 arrived.
        fake.hook = nullptr;
        fake.messages.removeFirst();
        fake.messages.append(textMessage("m4", "四\r\n"));
        const receive::MailCheckResult second = check();
        const QStringList once{QStringLiteral("m1"), QStringLiteral("m2"), QStringLiteral("m3"), QStringLiteral("m4")};
        QCOMPARE(storedSubjects(), uidl ? once : once.mid(0, 3) + once.mid(1));
        QCOMPARE(second.alreadyStored, uidl ? (lastCutShort ? 1 : 2) : 0); // m3 is stored again whole
        QCOMPARE(fake.committed, (QList<int>{1, 2, 3}));
        // Once the deletions took effect the journal holds nothing, m1's entry included.
        QCOMPARE(m_folder->readDataFile(QStringLiteral("krxdata2.uidl")), QByteArray());
    }
};

QTEST_GUILESS_MAIN(MailCheckTest)
#include "tst_MailCheck.moc"
