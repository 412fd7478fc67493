#include "maillib/MailService_p.h"
#include "maillib/NMail.h"
#include "support/DovecotServer.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace maillib;
using testsupport::DovecotServer;

namespace {

const QString Alice = QStringLiteral("alice");
const QString AlicePassword = QStringLiteral("alicepw");

QByteArray textMessage(const QByteArray &subject, const QByteArray &body)
{
    return "From: Sender <sender@example.jp>\r\nTo: alice@example.jp\r\nSubject: " + subject
        + "\r\nDate: Tue, 8 Dec 2026 10:00:00 +0900\r\nMIME-Version: 1.0\r\n"
          "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
        + body;
}

// A multipart message: raw Shift_JIS text in an 8-bit part and one binary attachment.
QByteArray attachmentMessage(const QByteArray &fileName, const QByteArray &data)
{
    return "From: Sender <sender@example.jp>\r\nTo: alice@example.jp\r\nSubject: files\r\n"
           "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
           "--b\r\nContent-Type: text/plain; charset=Shift_JIS\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
           "\x87\x40\x83\x65\r\n"
           "--b\r\nContent-Type: application/octet-stream; name=\""
        + fileName + "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + data.toBase64() + "\r\n--b--\r\n";
}

QByteArray allBytes()
{
    QByteArray data;
    for (int i = 0; i < 3 * 256; ++i)
        data.append(char(i * 7));
    return data;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

QStringList filesIn(const QString &path)
{
    return QDir(path).entryList(QDir::Files, QDir::Name);
}

qsizetype logMark = 0;

// Counts the Dovecot log lines written since the current test began that
// contain every one of words. The log writer lags, so a line of the previous
// test can still turn up: checks name what makes their line unique.
int logLines(const DovecotServer &server, const QStringList &words)
{
    int count = 0;
    for (const QString &line : server.log().mid(logMark).split(u'\n')) {
        if (std::all_of(words.begin(), words.end(), [&line](const QString &w) { return line.contains(w); }))
            ++count;
    }
    return count;
}

} // namespace

// The POP3 entry points against a real Dovecot, as the mail check uses them.
class Pop3DovecotTest : public QObject
{
    Q_OBJECT

private:
    DovecotServer m_server;

    int connectAndLogin(int apop = 0, int expected = -100)
    {
        const int handle = NMailPop3Connect(m_server.address());
        if (handle <= 0) {
            qWarning() << NMailGetMessage();
            return handle;
        }
        const int count = NMailPop3Authenticate(handle, Alice, AlicePassword, apop);
        if (expected != -100 && count != expected)
            qWarning() << "count" << count << NMailGetMessage();
        return handle;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.error()));
        NMailInitializeWinSock();
        NMailSetOption(NMailOptionTextSize, 8192);
        NMailSetOption(NMailOptionTimeoutMs, 20000);
    }

    void init()
    {
        m_server.clear(Alice);
        logMark = m_server.log().size();
    }

    void cleanupTestCase() { NMailEndWinSock(); }

    void userPassFetchesInOrderAndDeletesOnlyAtClose()
    {
        const QList<QByteArray> sent = {
            textMessage("=?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=", "一通目の本文\r\n"),
            textMessage("second", "二通目\r\n"),
            textMessage("third", "三通目\r\n"),
        };
        for (const QByteArray &m : sent)
            QVERIFY(m_server.deliver(Alice, m));

        const int handle = NMailPop3Connect(m_server.address());
        QVERIFY2(handle > 0, qPrintable(NMailGetMessage()));
        QCOMPARE(NMailPop3Authenticate(handle, Alice, AlicePassword, 0), 3);
        const QStringList subjects = {QStringLiteral("テスト"), QStringLiteral("second"), QStringLiteral("third")};
        const QStringList bodies = {QStringLiteral("一通目の本文"), QStringLiteral("二通目"), QStringLiteral("三通目")};
        for (int i = 1; i <= 3; ++i) {
            QString subject, date, from, header, body;
            QCOMPARE(NMailPop3GetMailStatus(handle, i, &subject, &date, &from, &header), 1);
            QCOMPARE(subject, subjects[i - 1]);
            QCOMPARE(date, QStringLiteral("Tue, 8 Dec 2026 10:00:00 +0900"));
            QVERIFY2(from.contains(QStringLiteral("sender@example.jp")), qPrintable(from));
            QVERIFY(header.startsWith(QStringLiteral("From: Sender <sender@example.jp>\r\n")));
            QCOMPARE(NMailPop3GetMailSize(handle, i), qint64(sent[i - 1].size()));
            subject.clear();
            QCOMPARE(NMailPop3GetMail(handle, i, &subject, &date, &from, &header, &body), 1);
            QCOMPARE(subject, subjects[i - 1]);
            QCOMPARE(body.trimmed(), bodies[i - 1]);
            QCOMPARE(NMailPop3FetchedMessage().bytes(), sent[i - 1]);
            QCOMPARE(NMailPop3DeleteMail(handle, i), 1);
        }
        // Marked, not yet deleted.
        QCOMPARE(m_server.messages(Alice).size(), 3);
        QCOMPARE(NMailPop3Close(handle), 1);
        QCOMPARE(m_server.messages(Alice).size(), 0);
        QTRY_COMPARE(logLines(m_server, {QStringLiteral("method=PLAIN"), QStringLiteral("user=<alice>")}), 1);
        QTRY_COMPARE(logLines(m_server, {QStringLiteral("Logged out"), QStringLiteral("del=3/3")}), 1);
    }

    void manyMessagesOfMixedSizesComeBackExactly()
    {
        // Enough, and large enough, that reading ahead fills its window and
        // replies arrive in many pieces.
        QList<QByteArray> sent;
        for (int i = 0; i < 24; ++i) {
            QByteArray body = "本文 " + QByteArray::number(i) + "\r\n";
            if (i % 5 == 2)
                body += QByteArray(300, '.') + "\r\n" + QByteArray(200 * 1024, 'a' + i % 26) + "\r\n.\r\n";
            sent << textMessage("m" + QByteArray::number(i), body);
            QVERIFY(m_server.deliver(Alice, sent.last()));
        }
        const int handle = connectAndLogin(0, int(sent.size()));
        QVERIFY(handle > 0);
        for (int i = 1; i <= sent.size(); ++i) {
            QString subject;
            QCOMPARE(NMailPop3GetMailStatus(handle, i, &subject, nullptr, nullptr, nullptr), 1);
            QCOMPARE(subject, QStringLiteral("m%1").arg(i - 1));
            QString body;
            QCOMPARE(NMailPop3GetMail(handle, i, nullptr, nullptr, nullptr, nullptr, &body), 1);
            QCOMPARE(NMailPop3FetchedMessage().bytes(), sent[i - 1]);
            QCOMPARE(NMailPop3DeleteMail(handle, i), 1);
        }
        QCOMPARE(NMailPop3Close(handle), 1);
        QVERIFY(m_server.messages(Alice).isEmpty());
        // Each message was asked for once, read-ahead included.
        QTRY_COMPARE(logLines(m_server, {QStringLiteral("Logged out"), QStringLiteral("retr=24/"), QStringLiteral("del=24/24")}), 1);
    }

    void apopLogsIn()
    {
        QVERIFY(m_server.deliver(Alice, textMessage("apop", "body\r\n")));
        const int handle = NMailPop3Connect(m_server.address());
        QVERIFY2(handle > 0, qPrintable(NMailGetMessage()));
        QCOMPARE(NMailPop3Authenticate(handle, Alice, AlicePassword, -1), 1);
        QString subject, date, from, header, body;
        QCOMPARE(NMailPop3GetMail(handle, 1, &subject, &date, &from, &header, &body), 1);
        QCOMPARE(subject, QStringLiteral("apop"));
        QCOMPARE(NMailPop3Close(handle), 1);
        QTRY_COMPARE(logLines(m_server, {QStringLiteral("method=APOP"), QStringLiteral("user=<alice>")}), 1);
        QCOMPARE(m_server.messages(Alice).size(), 1); // fetched, not deleted
    }

    void wrongPasswordIsNegativeWithTheServersText_data()
    {
        QTest::addColumn<int>("apop");
        QTest::newRow("USER/PASS") << 0;
        QTest::newRow("APOP") << -1;
    }

    void wrongPasswordIsNegativeWithTheServersText()
    {
        QFETCH(int, apop);
        QVERIFY(m_server.deliver(Alice, textMessage("kept", "body\r\n")));
        const int handle = NMailPop3Connect(m_server.address());
        QVERIFY2(handle > 0, qPrintable(NMailGetMessage()));
        QCOMPARE(NMailPop3Authenticate(handle, Alice, QStringLiteral("wrong"), apop), int(NMailErrorAuthenticate));
        QCOMPARE(NMailGetMessage(),
                 QStringLiteral("POP3 サーバーにログインできませんでした。ユーザーIDとパスワードを確認してください。\n"
                                "-ERR [AUTH] Authentication failed."));
        QVERIFY(NMailPop3Close(handle) < 0);
        QCOMPARE(m_server.messages(Alice).size(), 1);
        QCOMPARE(NMailPop3Close(handle), int(NMailErrorHandle)); // the handle is gone
    }

    void emptyMailboxCountsZero()
    {
        const int handle = NMailPop3Connect(m_server.address());
        QVERIFY2(handle > 0, qPrintable(NMailGetMessage()));
        QCOMPARE(NMailPop3Authenticate(handle, Alice, AlicePassword, 0), 0);
        QString subject;
        QVERIFY(NMailPop3GetMailStatus(handle, 1, &subject, nullptr, nullptr, nullptr) < 0);
        QCOMPARE(NMailPop3Close(handle), 1);
    }

    void sessionCutBeforeQuitKeepsEverything()
    {
        for (int i = 0; i < 2; ++i)
            QVERIFY(m_server.deliver(Alice, textMessage("cut", "body\r\n")));
        const int handle = NMailPop3Connect(m_server.address());
        QVERIFY2(handle > 0, qPrintable(NMailGetMessage()));
        QCOMPARE(NMailPop3Authenticate(handle, Alice, AlicePassword, 0), 2);
        for (int i = 1; i <= 2; ++i) {
            QString body;
            QCOMPARE(NMailPop3GetMail(handle, i, nullptr, nullptr, nullptr, nullptr, &body), 1);
            QCOMPARE(NMailPop3DeleteMail(handle, i), 1);
        }
        // The program ends without closing: the connection goes without QUIT.
        NMailEndWinSock();
        NMailInitializeWinSock();
        QCOMPARE(NMailPop3Close(handle), int(NMailErrorHandle));
        // Dovecot's account of the session: closed without QUIT, nothing deleted.
        QTRY_COMPARE(logLines(m_server, {QStringLiteral("Connection closed"), QStringLiteral("del=0/2")}), 1);
        QCOMPARE(m_server.messages(Alice).size(), 2);
    }

    void serverErrorForOneMessageKeepsTheSession()
    {
        for (int i = 0; i < 3; ++i)
            QVERIFY(m_server.deliver(Alice, textMessage("err", "body " + QByteArray::number(i) + "\r\n")));
        const int handle = NMailPop3Connect(m_server.address());
        QVERIFY2(handle > 0, qPrintable(NMailGetMessage()));
        QCOMPARE(NMailPop3Authenticate(handle, Alice, AlicePassword, 0), 3);
        // Message 2 disappears behind the session's back; the server answers
        // its RETR with -ERR. Only that message fails.
        QVERIFY(QFile::remove(m_server.messageFiles(Alice).value(1)));
        QList<int> results;
        for (int i = 1; i <= 3; ++i) {
            QString body;
            results.append(NMailPop3GetMail(handle, i, nullptr, nullptr, nullptr, nullptr, &body));
            if (i == 2)
                QVERIFY(NMailGetMessage().endsWith(QStringLiteral("\n-ERR Message 2 expunged.")));
            (void)NMailPop3DeleteMail(handle, i);
        }
        QCOMPARE(results, QList<int>({1, int(NMailErrorMessageRefused), 1}));
        QCOMPARE(NMailPop3Close(handle), 1);
        QTRY_COMPARE(m_server.messages(Alice).size(), 0);
    }

    void dotStuffedLinesRoundTripExactly()
    {
        const QByteArray tricky = textMessage("dots", ".leading dot\r\n..two dots\r\n.\r\n. blank\r\nend.\r\n.");
        QVERIFY(m_server.deliver(Alice, tricky + "\r\n"));
        const int handle = connectAndLogin(0, 1);
        QVERIFY(handle > 0);
        QString body;
        QCOMPARE(NMailPop3GetMail(handle, 1, nullptr, nullptr, nullptr, nullptr, &body), 1);
        QCOMPARE(NMailPop3FetchedMessage().bytes(), tricky + "\r\n");
        QCOMPARE(body, QStringLiteral(".leading dot\r\n..two dots\r\n.\r\n. blank\r\nend.\r\n.\r\n"));
        QCOMPARE(NMailPop3Close(handle), 1);
    }

    void extractionWorksOnTheMessageJustFetched()
    {
        const QByteArray first = attachmentMessage("one.bin", allBytes());
        const QByteArray second = attachmentMessage("two.bin", "second");
        QVERIFY(m_server.deliver(Alice, first));
        QVERIFY(m_server.deliver(Alice, second));
        const int handle = connectAndLogin(0, 2);
        QVERIFY(handle > 0);

        QString subject, date, from, header, body;
        QCOMPARE(NMailPop3GetMailStatus(handle, 1, &subject, &date, &from, &header), 1);
        QCOMPARE(NMailPop3GetMail(handle, 1, &subject, &date, &from, &header, &body), 1);
        const QString fetchedHeader = header;
        const QString fetchedBody = body;
        // Twice from the same fetch: the second extraction reads the parts again.
        for (int round = 0; round < 2; ++round) {
            QTemporaryDir dir;
            header = fetchedHeader;
            body = fetchedBody;
            const int code = NMailAttachmentFileFirst(&subject, &date, &from, &header, &body, dir.path() + u'/',
                                                      dir.filePath(QStringLiteral("0.txt")),
                                                      header + QStringLiteral("\r\n") + body);
            NMailAttachmentFileClose();
            QCOMPARE(code, 1);
            QCOMPARE(body, QStringLiteral("①テ")); // only the fetched bytes hold the Shift_JIS exactly
            QCOMPARE(subject, QStringLiteral("files"));
            QCOMPARE(filesIn(dir.path()), QStringList{QStringLiteral("one.bin")});
            QCOMPARE(fileBytes(dir.filePath(QStringLiteral("one.bin"))), allBytes());
        }
        QCOMPARE(NMailPop3DeleteMail(handle, 1), 1);

        // When the fetched bytes are replaced, extraction follows the bytes,
        // not what was parsed while fetching.
        QCOMPARE(NMailPop3GetMail(handle, 2, &subject, &date, &from, &header, &body), 1);
        MailService::process().d().lastFetched.raw = QByteArray(first.constData(), first.size());
        QTemporaryDir dir;
        const int code = NMailAttachmentFileFirst(&subject, &date, &from, &header, &body, dir.path() + u'/',
                                                  dir.filePath(QStringLiteral("0.txt")),
                                                  header + QStringLiteral("\r\n") + body);
        QCOMPARE(code, 1);
        QCOMPARE(filesIn(dir.path()), QStringList{QStringLiteral("one.bin")});
        QCOMPARE(fileBytes(dir.filePath(QStringLiteral("one.bin"))), allBytes());
        QCOMPARE(NMailPop3DeleteMail(handle, 2), 1);
        QCOMPARE(NMailPop3Close(handle), 1);
        QVERIFY(m_server.messages(Alice).isEmpty());
    }

    void textResultsFitTheConfiguredSize()
    {
        QVERIFY(m_server.deliver(Alice, textMessage("=?UTF-8?B?8J+Ygzk5OTk5OTk5OTk5OTk=?=", "body\r\n")));
        const int handle = connectAndLogin(0, 1);
        QVERIFY(handle > 0);
        NMailSetOption(NMailOptionTextSize, 10);
        QString subject, date, from, header;
        const int result = NMailPop3GetMailStatus(handle, 1, &subject, &date, &from, &header);
        NMailSetOption(NMailOptionTextSize, 8192);
        QCOMPARE(result, 1);
        // Nine characters as a ten-character buffer holds them; "😃" is two of them.
        QCOMPARE(subject, QStringLiteral("😃9999999"));
        QCOMPARE(date, QStringLiteral("Tue, 8 De"));
        QVERIFY(header.size() > 100); // the header block is never cut
        QCOMPARE(NMailPop3Close(handle), 1);
    }

    void messagesNeverFetchedAreNotDeleted()
    {
        QVERIFY(m_server.deliver(Alice, textMessage("unread", "body\r\n")));
        const int handle = connectAndLogin(0, 1);
        QVERIFY(handle > 0);
        QCOMPARE(NMailPop3DeleteMail(handle, 1), int(NMailErrorBadArgument));
        QCOMPARE(NMailGetMessage(), QStringLiteral("メール番号 1 はまだ受信していないため、サーバーから削除しませんでした。"));
        QCOMPARE(NMailPop3Close(handle), 1);
        QCOMPARE(m_server.messages(Alice).size(), 1);
    }

    void callsArrivingDuringAWaitAreRefused()
    {
        QVERIFY(m_server.deliver(Alice, textMessage("busy", "body\r\n")));
        const int handle = connectAndLogin(0, 1);
        QVERIFY(handle > 0);
        int nested = 0;
        QTimer::singleShot(0, this, [&nested] { nested = NMailPop3Connect(QStringLiteral("127.0.0.1:1")); });
        QString body;
        QCOMPARE(NMailPop3GetMail(handle, 1, nullptr, nullptr, nullptr, nullptr, &body), 1);
        QCOMPARE(nested, int(NMailErrorConnect));
        QCOMPARE(NMailPop3Close(handle), 1);
    }

    void unusableServerNamesAndDeadPortsFail()
    {
        QCOMPARE(NMailPop3Connect(QStringLiteral("host:99999")), -1);
        QCOMPARE(NMailGetMessage(), QStringLiteral("POP3 サーバー名「host:99999」が正しくありません。"));
        quint16 port;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress(QHostAddress::LocalHost), 0));
            port = probe.serverPort();
        }
        QCOMPARE(NMailPop3Connect(QStringLiteral("127.0.0.1:%1").arg(port)), -1);
        QVERIFY(NMailGetMessage().startsWith(QStringLiteral("POP3 サーバー 127.0.0.1 に接続できませんでした。")));
    }

    void serverThatNeverGreetsTimesOut()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress(QHostAddress::LocalHost), 0));
        NMailSetOption(NMailOptionTimeoutMs, 300);
        const int handle = NMailPop3Connect(QStringLiteral("127.0.0.1:%1").arg(silent.serverPort()));
        NMailSetOption(NMailOptionTimeoutMs, 20000);
        QCOMPARE(handle, -1);
        QCOMPARE(NMailGetMessage(), QStringLiteral("POP3 サーバーから応答がないため、処理を打ち切りました。"));
    }
};

QTEST_GUILESS_MAIN(Pop3DovecotTest)
#include "tst_Pop3Dovecot.moc"
