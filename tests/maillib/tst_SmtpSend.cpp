#include "maillib/NMail.h"
#include "maillib/SmtpClient.h"
#include "maillib/ServerTrust.h"
#include "support/ScriptedPrompts.h"
#include "support/SmtpSink.h"
#include "support/TempProgramFolder.h"
#include "support/TestCa.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <QTimer>

using namespace maillib;
using testsupport::SmtpSink;
using testsupport::TestCa;

namespace {

using testsupport::parsedHeader;
using testsupport::parsedPart;

QString local(const SmtpSink &sink)
{
    return QStringLiteral("127.0.0.1:%1").arg(sink.port());
}

QStringList strings(const QJsonValue &v)
{
    QStringList out;
    for (const QJsonValue &x : v.toArray())
        out << x.toString();
    return out;
}

// True when every line end is CR LF: aiosmtpd stores bare LF as it came, so the
// client's own line ends show in the stored bytes.
bool onlyCrlf(const QByteArray &raw)
{
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw.at(i) == '\n' && (i == 0 || raw.at(i - 1) != '\r'))
            return false;
        if (raw.at(i) == '\r' && (i + 1 == raw.size() || raw.at(i + 1) != '\n'))
            return false;
    }
    return true;
}

// Points libcurl at a test CA for the life of the object.
class TrustedCa
{
public:
    explicit TrustedCa(const QString &caFile) : m_old(qgetenv("SSL_CERT_FILE")) { qputenv("SSL_CERT_FILE", caFile.toLocal8Bit()); }
    ~TrustedCa()
    {
        if (m_old.isEmpty())
            qunsetenv("SSL_CERT_FILE");
        else
            qputenv("SSL_CERT_FILE", m_old);
    }

private:
    QByteArray m_old;
};

// A port on 127.0.0.1 that nothing listens on.
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace

class TestSmtpSend : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        NMailSetSmtpCredentialsProvider({});
        QString error;
        QVERIFY2(m_certs.create(m_certDir.path(), &error), qPrintable(error));
    }

    void japaneseMailArrivesIntact()
    {
        SmtpSink sink;
        QVERIFY2(sink.isRunning(), qPrintable(sink.diagnostics()));
        const QString body = QStringLiteral("山田様\r\n\r\n明日10時～12時に伺います。\r\n.\r\n.先頭のドット\r\n..二つ\r\n以上");
        const int rc = NMailSmtpSendMail(local(sink), QStringLiteral("  hanako@example.jp "), QStringLiteral("taro@example.jp"),
                                         QStringLiteral("打ち合わせの件"), body, QString());
        QCOMPARE(rc, 0);
        QCOMPARE(NMailGetMessage(), QString());
        const auto received = sink.waitForMessages(1);
        QCOMPARE(received.size(), 1);
        const SmtpSink::Received &r = received.first();
        QCOMPARE(r.envelope.value(QStringLiteral("mail_from")).toString(), QStringLiteral("taro@example.jp"));
        QCOMPARE(strings(r.envelope.value(QStringLiteral("rcpt_tos"))), QStringList{QStringLiteral("hanako@example.jp")});
        QVERIFY(!r.envelope.value(QStringLiteral("helo")).toString().isEmpty());
        QCOMPARE(r.envelope.value(QStringLiteral("authenticated")).toBool(), false);
        QVERIFY(onlyCrlf(r.raw));
        // Dot-stuffing was done on the wire and undone by the server.
        QVERIFY(r.raw.contains("\r\n.\r\n.\x1b$B"));

        const QJsonObject parsed = SmtpSink::parseWithPython(r.raw);
        QCOMPARE(parsed.value(QStringLiteral("defects")).toArray().size(), 0);
        QCOMPARE(parsedHeader(parsed, QStringLiteral("From")), QStringLiteral("taro@example.jp"));
        QCOMPARE(parsedHeader(parsed, QStringLiteral("To")), QStringLiteral("hanako@example.jp"));
        QCOMPARE(parsedHeader(parsed, QStringLiteral("Subject")), QStringLiteral("打ち合わせの件"));
        QCOMPARE(parsedHeader(parsed, QStringLiteral("MIME-Version")), QStringLiteral("1.0"));
        QVERIFY(parsedHeader(parsed, QStringLiteral("Message-Id")).endsWith(QStringLiteral("@example.jp>")));
        QVERIFY(QDateTime::fromString(parsedHeader(parsed, QStringLiteral("Date")), Qt::RFC2822Date).isValid());
        const QJsonObject text = parsedPart(parsed, 0);
        QCOMPARE(text.value(QStringLiteral("charset")).toString(), QStringLiteral("iso-2022-jp"));
        QString expected = body;
        expected.replace(QChar(0xFF5E), QChar(0x301C));
        QCOMPARE(text.value(QStringLiteral("text")).toString().trimmed(), expected);
    }

    void attachmentsWithJapaneseNames()
    {
        SmtpSink sink;
        QVERIFY(sink.isRunning());
        QTemporaryDir dir;
        const QString first = dir.filePath(QStringLiteral("請求書①.pdf"));
        const QString second = dir.filePath(QStringLiteral("写真 2026年.jpg"));
        QByteArray pdf(200000, Qt::Uninitialized);
        for (qsizetype i = 0; i < pdf.size(); ++i)
            pdf[i] = char((i * 131 + 7) % 256);
        const QByteArray jpg = QByteArray("\xff\xd8\xff\xe0") + QByteArray(5000, '\x0d') + QByteArray(100, '\n');
        for (const auto &[path, data] : {std::pair{first, pdf}, std::pair{second, jpg}}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(data);
        }
        const int rc = NMailSmtpSendMail(local(sink), QStringLiteral("hanako@example.jp"), QStringLiteral("taro@example.jp"),
                                         QStringLiteral("資料送付"), QStringLiteral("①を添付します"), first + u',' + second);
        QCOMPARE(rc, 0);
        const auto received = sink.waitForMessages(1);
        QCOMPARE(received.size(), 1);
        QVERIFY(onlyCrlf(received.first().raw));
        const QJsonObject parsed = SmtpSink::parseWithPython(received.first().raw);
        QCOMPARE(parsed.value(QStringLiteral("parts")).toArray().size(), 3);
        QCOMPARE(parsedPart(parsed, 0).value(QStringLiteral("charset")).toString(), QStringLiteral("utf-8"));
        QCOMPARE(parsedPart(parsed, 0).value(QStringLiteral("text")).toString().trimmed(), QStringLiteral("①を添付します"));
        const QJsonObject a = parsedPart(parsed, 1);
        const QJsonObject b = parsedPart(parsed, 2);
        QCOMPARE(a.value(QStringLiteral("filename")).toString(), QStringLiteral("請求書①.pdf"));
        QCOMPARE(a.value(QStringLiteral("content_type")).toString(), QStringLiteral("application/pdf"));
        QCOMPARE(a.value(QStringLiteral("sha256")).toString(),
                 QString::fromLatin1(QCryptographicHash::hash(pdf, QCryptographicHash::Sha256).toHex()));
        QCOMPARE(b.value(QStringLiteral("filename")).toString(), QStringLiteral("写真 2026年.jpg"));
        QCOMPARE(b.value(QStringLiteral("content_type")).toString(), QStringLiteral("image/jpeg"));
        QCOMPARE(b.value(QStringLiteral("sha256")).toString(),
                 QString::fromLatin1(QCryptographicHash::hash(jpg, QCryptographicHash::Sha256).toHex()));
    }

    void injectionRefusedBeforeConnecting_data()
    {
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("message");
        QTest::newRow("rcpt-crlf") << QStringLiteral("bob@example.org>\r\nRCPT TO:<evil@example.org") << QStringLiteral("taro@example.jp")
                                   << QStringLiteral("宛先のメールアドレスに改行などの制御文字が含まれているため、送信しませんでした。");
        QTest::newRow("rcpt-lf-data") << QStringLiteral("bob@example.org\nDATA") << QStringLiteral("taro@example.jp")
                                      << QStringLiteral("宛先のメールアドレスに改行などの制御文字が含まれているため、送信しませんでした。");
        QTest::newRow("from-cr") << QStringLiteral("bob@example.org") << QStringLiteral("taro@example.jp\rRSET")
                                 << QStringLiteral("差出人のメールアドレスに改行などの制御文字が含まれているため、送信しませんでした。");
        QTest::newRow("rcpt-parameter") << QStringLiteral("bob@example.org> NOTIFY=NEVER") << QStringLiteral("taro@example.jp")
                                        << QStringLiteral("宛先のメールアドレス「bob@example.org> NOTIFY=NEVER」が正しくありません。");
        QTest::newRow("empty-recipient") << QString() << QStringLiteral("taro@example.jp")
                                         << QStringLiteral("宛先のメールアドレスが入力されていません。");
        QTest::newRow("no-sender") << QStringLiteral("bob@example.org") << QStringLiteral("  ")
                                   << QStringLiteral("差出人のメールアドレス（自分のメールアドレス）が設定されていません。");
    }
    void injectionRefusedBeforeConnecting()
    {
        QFETCH(QString, to);
        QFETCH(QString, from);
        QFETCH(QString, message);
        SmtpSink sink;
        QVERIFY(sink.isRunning());
        QCOMPARE(NMailSmtpSendMail(local(sink), to, from, QStringLiteral("s"), QStringLiteral("b"), QString()), int(NMailErrorBadArgument));
        QCOMPARE(NMailGetMessage(), message);
        QCOMPARE(sink.connectionCount(), 0);
    }

    // A recipient written with a display name (a received sender passed on,
    // a business card of the address book) goes to the address in its angle
    // brackets, whatever the name holds; the To field keeps the name.
    void recipientIsTheAngleAddress_data()
    {
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("toField"); // as a reader decodes it
        QTest::newRow("plain-name") << QStringLiteral("山田 花子 <hanako@example.jp>")
                                    << QStringLiteral("山田 花子 <hanako@example.jp>");
        QTest::newRow("business card") << QStringLiteral("山田花子<hanako@example.jp>")
                                       << QStringLiteral("山田花子 <hanako@example.jp>");
        QTest::newRow("ascii name") << QStringLiteral("Hanako Yamada, Sales <hanako@example.jp>")
                                    << QStringLiteral("\"Hanako Yamada, Sales\" <hanako@example.jp>");
        QTest::newRow("hostile-name") << QStringLiteral("\"悪? <evil@example.org>\" <hanako@example.jp>")
                                      << QStringLiteral("\"悪? <evil@example.org>\" <hanako@example.jp>");
    }
    void recipientIsTheAngleAddress()
    {
        QFETCH(QString, to);
        QFETCH(QString, toField);
        SmtpSink sink;
        QVERIFY2(sink.isRunning(), qPrintable(sink.diagnostics()));
        QCOMPARE(NMailSmtpSendMail(local(sink), to, QStringLiteral("taro@example.jp"), QStringLiteral("s"),
                                   QStringLiteral("b"), QString()),
                 0);
        const auto received = sink.waitForMessages(1);
        QCOMPARE(received.size(), 1);
        QCOMPARE(strings(received.first().envelope.value(QStringLiteral("rcpt_tos"))),
                 QStringList{QStringLiteral("hanako@example.jp")});
        QCOMPARE(parsedHeader(SmtpSink::parseWithPython(received.first().raw), QStringLiteral("To")), toField);
    }

    void transportRefusesBadAddressesItself()
    {
        // The transfer layer checks again, whoever calls it.
        SmtpSink sink;
        SmtpRequest request;
        QVERIFY(SmtpServerName::parse(local(sink), &request.server));
        request.from = QStringLiteral("taro@example.jp");
        request.to = QStringLiteral("b@y.org>\r\nRCPT TO:<evil@y.org");
        request.message = "Subject: x\r\n\r\nx\r\n";
        const SmtpResult result = sendSmtp(request);
        QCOMPARE(result.code, int(NMailErrorBadArgument));
        QCOMPARE(sink.connectionCount(), 0);
    }

    void subjectLineBreaksStayInTheSubject()
    {
        SmtpSink sink;
        QVERIFY(sink.isRunning());
        QCOMPARE(NMailSmtpSendMail(local(sink), QStringLiteral("hanako@example.jp"), QStringLiteral("taro@example.jp"),
                                   QStringLiteral("Hi\r\nBcc: evil@example.org"), QStringLiteral("b"), QString()),
                 0);
        const auto received = sink.waitForMessages(1);
        QCOMPARE(received.size(), 1);
        QCOMPARE(strings(received.first().envelope.value(QStringLiteral("rcpt_tos"))), QStringList{QStringLiteral("hanako@example.jp")});
        const QJsonObject parsed = SmtpSink::parseWithPython(received.first().raw);
        QCOMPARE(parsedHeader(parsed, QStringLiteral("Bcc")), QStringLiteral("<missing>"));
        QCOMPARE(parsedHeader(parsed, QStringLiteral("Subject")), QStringLiteral("Hi Bcc: evil@example.org"));
    }

    void refusedRecipientReportsServerText()
    {
        SmtpSink::Options options;
        options.rejectPrefix = QStringLiteral("nobody");
        SmtpSink sink(options);
        QVERIFY(sink.isRunning());
        const int rc = NMailSmtpSendMail(local(sink), QStringLiteral("nobody@example.jp"), QStringLiteral("taro@example.jp"),
                                         QStringLiteral("s"), QStringLiteral("b"), QString());
        QCOMPARE(rc, int(NMailErrorSend));
        QCOMPARE(NMailGetMessage(), QStringLiteral("宛先のメールアドレスがSMTPサーバーに拒否されました。\n"
                                                   "サーバーの応答: 550 5.1.1 <nobody@example.jp>: Recipient address rejected: User unknown"));
        QCOMPARE(sink.messages().size(), 0);
    }

    void unreachableServer()
    {
        const quint16 port = closedPort();
        const int rc = NMailSmtpSendMail(QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("hanako@example.jp"),
                                         QStringLiteral("taro@example.jp"), QStringLiteral("s"), QStringLiteral("b"), QString());
        QCOMPARE(rc, int(NMailErrorConnect));
        QCOMPARE(NMailGetMessage(), QStringLiteral("SMTPサーバー（127.0.0.1:%1）に接続できません。").arg(port));
    }

    // A server that never greets: the time-out ends the wait, or a stop request does first.
    void silentServerTimesOutOrIsStopped_data()
    {
        QTest::addColumn<int>("cancelAfterMs");
        QTest::newRow("time-out") << 0;
        QTest::newRow("stopped") << 300;
    }
    void silentServerTimesOutOrIsStopped()
    {
        QFETCH(int, cancelAfterMs);
        QTcpServer mute;
        QVERIFY(mute.listen(QHostAddress::LocalHost, 0));
        NMailSetOption(NMailOptionTimeoutMs, cancelAfterMs > 0 ? 30000 : 1500);
        if (cancelAfterMs > 0)
            QTimer::singleShot(cancelAfterMs, [] { NMailCancel(); });
        const int rc = NMailSmtpSendMail(QStringLiteral("127.0.0.1:%1").arg(mute.serverPort()), QStringLiteral("hanako@example.jp"),
                                         QStringLiteral("taro@example.jp"), QStringLiteral("s"), QStringLiteral("b"), QString());
        NMailSetOption(NMailOptionTimeoutMs, 60000);
        if (cancelAfterMs > 0) {
            QCOMPARE(rc, int(NMailErrorCancelled));
            QCOMPARE(NMailGetMessage(), QStringLiteral("メールの送信を中止しました。"));
            return;
        }
        QCOMPARE(rc, int(NMailErrorTimeout));
        QCOMPARE(NMailGetMessage(),
                 QStringLiteral("SMTPサーバー（127.0.0.1:%1）から応答がないため、送信を中止しました。").arg(mute.serverPort()));
    }

    void invalidServerNameAndMissingAttachment()
    {
        QCOMPARE(NMailSmtpSendMail(QStringLiteral("smtp://mail.example.jp/x"), QStringLiteral("a@b.jp"), QStringLiteral("c@d.jp"),
                                   QString(), QString(), QString()),
                 int(NMailErrorBadArgument));
        QCOMPARE(NMailGetMessage(), QStringLiteral("SMTPサーバー名「smtp://mail.example.jp/x」が正しくありません。"));
        SmtpSink sink;
        const QString missing = QStringLiteral("/nonexistent/見積.pdf");
        QCOMPARE(NMailSmtpSendMail(local(sink), QStringLiteral("a@b.jp"), QStringLiteral("c@d.jp"), QString(), QString(), missing),
                 int(NMailErrorAttachmentOpen));
        QCOMPARE(NMailGetMessage(), QStringLiteral("添付ファイル「/nonexistent/見積.pdf」を開けません。"));
        QCOMPARE(sink.connectionCount(), 0);
    }

    void startTlsWhenOffered()
    {
        SmtpSink::Options options;
        options.startTls = true;
        options.certFile = m_certs.certificateFile;
        options.keyFile = m_certs.keyFile;
        SmtpSink sink(options);
        QVERIFY(sink.isRunning());
        const TrustedCa trust(m_certs.caFile);
        QCOMPARE(NMailSmtpSendMail(QStringLiteral("localhost:%1").arg(sink.port()), QStringLiteral("hanako@example.jp"),
                                   QStringLiteral("taro@example.jp"), QStringLiteral("暗号化"), QStringLiteral("本文"), QString()),
                 0);
        const auto received = sink.waitForMessages(1);
        QCOMPARE(received.size(), 1);
        QCOMPARE(received.first().envelope.value(QStringLiteral("tls")).toBool(), true);
    }

    void untrustedCertificateIsRefused()
    {
        SmtpSink::Options options;
        options.startTls = true;
        options.certFile = m_certs.certificateFile;
        options.keyFile = m_certs.keyFile;
        SmtpSink sink(options);
        QVERIFY(sink.isRunning());
        QTemporaryDir otherDir;
        TestCa otherCa;
        QString error;
        QVERIFY2(otherCa.create(otherDir.path(), &error), qPrintable(error));
        const TrustedCa trust(otherCa.caFile);
        QCOMPARE(NMailSmtpSendMail(local(sink), QStringLiteral("hanako@example.jp"), QStringLiteral("taro@example.jp"),
                                   QStringLiteral("s"), QStringLiteral("b"), QString()),
                 int(NMailErrorConnect));
        QCOMPARE(NMailGetMessage(), QStringLiteral("SMTPサーバーの証明書を確認できませんでした。証明書が信頼できないか、"
                                                   "サーバー名と一致しません。"));
        QCOMPARE(sink.messages().size(), 0);
    }

    // A certificate that does not verify goes through only once the user
    // trusted exactly it; a different one is asked about again.
    void certificateTrustedByFingerprint()
    {
        SmtpSink::Options options;
        options.startTls = true;
        options.certFile = m_certs.certificateFile;
        options.keyFile = m_certs.keyFile;
        SmtpSink sink(options);
        QVERIFY(sink.isRunning());
        testsupport::TempProgramFolder folder;
        testsupport::ScriptedPrompts prompts;
        const QString server = QStringLiteral("127.0.0.1:%1").arg(sink.port());
        const QString fingerprint = certificateFingerprint(QSslCertificate::fromPath(m_certs.certificateFile).value(0));
        struct Step
        {
            bool otherTrusted; // the memory names another certificate for this server
            bool answer;
            int result;
            bool asked;
        };
        const Step steps[] = {{false, false, int(NMailErrorConnect), true},
                              {false, true, 0, true},
                              {false, false, 0, false},
                              {true, false, int(NMailErrorConnect), true}};
        int delivered = 0;
        for (const Step &step : steps) {
            if (step.otherTrusted)
                ServerTrust().trustCertificate(serverKey(QStringLiteral("smtp"), QStringLiteral("127.0.0.1"), sink.port()),
                                               QSslCertificate::fromPath(m_certs.caFile).value(0));
            prompts.shown.clear();
            prompts.yesNoAnswers.clear();
            prompts.yesNoAnswers.enqueue(step.answer);
            QCOMPARE(NMailSmtpSendMail(server, QStringLiteral("hanako@example.jp"), QStringLiteral("taro@example.jp"),
                                       QStringLiteral("s"), QStringLiteral("b"), QString()),
                     step.result);
            QCOMPARE(prompts.shown.size(), step.asked ? 1 : 0);
            if (step.asked)
                QVERIFY(prompts.shown.first().text.contains(fingerprint));
            delivered += step.result == 0;
            QCOMPARE(sink.waitForMessages(delivered, 2000).size(), delivered);
        }
        QVERIFY(prompts.shown.first().text.contains(QStringLiteral("違う証明書")));
    }

    void implicitTls()
    {
        SmtpSink::Options options;
        options.implicitTls = true;
        options.certFile = m_certs.certificateFile;
        options.keyFile = m_certs.keyFile;
        SmtpSink sink(options);
        QVERIFY(sink.isRunning());
        const TrustedCa trust(m_certs.caFile);
        QCOMPARE(NMailSmtpSendMail(QStringLiteral("smtps://127.0.0.1:%1").arg(sink.port()), QStringLiteral("hanako@example.jp"),
                                   QStringLiteral("taro@example.jp"), QStringLiteral("s"), QStringLiteral("b"), QString()),
                 0);
        const auto received = sink.waitForMessages(1);
        QCOMPARE(received.size(), 1);
        QCOMPARE(received.first().envelope.value(QStringLiteral("tls")).toBool(), true);
    }

    void authenticatesWhenAddressNamesUser_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("rc");
        QTest::addColumn<bool>("authenticated");
        QTest::addColumn<QString>("message");
        QTest::newRow("user-named") << QStringLiteral("smtp://alice@localhost:%1") << QStringLiteral("pass word") << 0 << true << QString();
        QTest::newRow("no-user-no-auth") << QStringLiteral("smtp://localhost:%1") << QStringLiteral("pass word") << 0 << false << QString();
        QTest::newRow("wrong-password") << QStringLiteral("smtp://alice@localhost:%1") << QStringLiteral("wrong") << int(NMailErrorAuthenticate) << false
                                        << QStringLiteral("SMTPサーバーで認証に失敗しました。ユーザーIDとパスワードを確認して下さい。\n"
                                                          "サーバーの応答: 535 5.7.8 Authentication credentials invalid");
    }
    void authenticatesWhenAddressNamesUser()
    {
        QFETCH(QString, server);
        QFETCH(QString, password);
        QFETCH(int, rc);
        QFETCH(bool, authenticated);
        QFETCH(QString, message);
        SmtpSink::Options options;
        options.startTls = true;
        options.certFile = m_certs.certificateFile;
        options.keyFile = m_certs.keyFile;
        options.authUser = QStringLiteral("alice");
        options.authPassword = QStringLiteral("pass word");
        SmtpSink sink(options);
        QVERIFY(sink.isRunning());
        const TrustedCa trust(m_certs.caFile);
        NMailSetSmtpCredentialsProvider([password] { return std::pair{QStringLiteral("alice"), password}; });
        const int result = NMailSmtpSendMail(server.arg(sink.port()), QStringLiteral("hanako@example.jp"),
                                             QStringLiteral("taro@example.jp"), QStringLiteral("s"), QStringLiteral("b"), QString());
        NMailSetSmtpCredentialsProvider({});
        QCOMPARE(result, rc);
        QCOMPARE(NMailGetMessage(), message);
        if (rc != 0) {
            QCOMPARE(sink.messages().size(), 0);
            return;
        }
        const auto received = sink.waitForMessages(1);
        QCOMPARE(received.size(), 1);
        QCOMPARE(received.first().envelope.value(QStringLiteral("authenticated")).toBool(), authenticated);
        QCOMPARE(received.first().envelope.value(QStringLiteral("tls")).toBool(), true);
        if (authenticated)
            QCOMPARE(received.first().envelope.value(QStringLiteral("auth_login")).toString(), QStringLiteral("alice"));
    }

    // A server that stops answering: after the time-out the connection is
    // shut at once, not held for the reply to QUIT (which doubled the wait).
    void silentServerIsNotWaitedForTwice_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::newRow("kept connection, silent after a mail") << true;
        QTest::newRow("connection per mail, silent after EHLO") << false;
    }
    void silentServerIsNotWaitedForTwice()
    {
        QFETCH(bool, keep);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        bool silent = !keep;
        bool quitSeen = false;
        bool hungUpBeforeQuitAnswer = false;
        connect(&server, &QTcpServer::newConnection, &server, [&] {
            QTcpSocket *socket = server.nextPendingConnection();
            socket->write("220 ready\r\n");
            connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
                const QByteArray data = socket->readAll();
                if (data.startsWith("QUIT") && silent) {
                    quitSeen = true;
                    QTimer::singleShot(300, socket, [&, socket] {
                        hungUpBeforeQuitAnswer = socket->state() != QAbstractSocket::ConnectedState;
                    });
                } else if (data.startsWith("EHLO") || !silent) {
                    socket->write(data.startsWith("DATA") ? "354 go\r\n" : "250 ok\r\n");
                }
            });
        });
        NMailSetOption(NMailOptionSmtpKeepConnection, keep ? 1 : 0);
        NMailSetOption(NMailOptionTimeoutMs, 2000);
        const auto send = [&] {
            return NMailSmtpSendMail(QStringLiteral("127.0.0.1:%1").arg(server.serverPort()), QStringLiteral("hanako@example.jp"),
                                     QStringLiteral("taro@example.jp"), QStringLiteral("s"), QStringLiteral("b"), QString());
        };
        if (keep)
            QCOMPARE(send(), 0);
        silent = true;
        const int rc = send();
        QTest::qWait(400);
        NMailSetOption(NMailOptionTimeoutMs, 60000);
        NMailSetOption(NMailOptionSmtpKeepConnection, 0);
        QCOMPARE(rc, int(NMailErrorTimeout));
        QVERIFY(quitSeen);
        QVERIFY(hungUpBeforeQuitAnswer);
    }

    void passwordNeverSentInClear()
    {
        // The server offers no STARTTLS: the send stops before any AUTH.
        SmtpSink::Options options;
        options.authUser = QStringLiteral("alice");
        options.authPassword = QStringLiteral("secret");
        SmtpSink sink(options);
        QVERIFY(sink.isRunning());
        NMailSetSmtpCredentialsProvider([] { return std::pair{QStringLiteral("alice"), QStringLiteral("secret")}; });
        const int rc = NMailSmtpSendMail(QStringLiteral("smtp://alice@127.0.0.1:%1").arg(sink.port()), QStringLiteral("hanako@example.jp"),
                                         QStringLiteral("taro@example.jp"), QStringLiteral("s"), QStringLiteral("b"), QString());
        NMailSetSmtpCredentialsProvider({});
        QCOMPARE(rc, int(NMailErrorConnect));
        QCOMPARE(NMailGetMessage(), QStringLiteral("SMTPサーバーが暗号化（STARTTLS）に対応していないため、パスワードを送らずに中止しました。"));
        QCOMPARE(sink.messages().size(), 0);
    }

    void missingCredentials()
    {
        SmtpSink sink;
        NMailSetSmtpCredentialsProvider([] { return std::pair{QStringLiteral("alice"), QString()}; });
        const int rc = NMailSmtpSendMail(QStringLiteral("smtp://alice@127.0.0.1:%1").arg(sink.port()), QStringLiteral("hanako@example.jp"),
                                         QStringLiteral("taro@example.jp"), QStringLiteral("s"), QStringLiteral("b"), QString());
        NMailSetSmtpCredentialsProvider({});
        QCOMPARE(rc, int(NMailErrorAuthenticate));
        QCOMPARE(NMailGetMessage(), QStringLiteral("SMTPサーバーの認証に使うユーザーIDとパスワードが設定されていません。"));
        QCOMPARE(sink.connectionCount(), 0);
    }

    void eventsTurnDuringSendAndSecondSendIsRefused()
    {
        // The server accepts and stays silent until the timer has tried a
        // second send from inside the first one; then it hangs up.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        QList<QTcpSocket *> accepted;
        int nestedResult = 1;
        QString nestedMessage;
        // Runs from the event loop that turns while the first send waits.
        auto secondSend = [&] {
            nestedResult = NMailSmtpSendMail(QStringLiteral("127.0.0.1:%1").arg(server.serverPort()), QStringLiteral("a@b.jp"),
                                              QStringLiteral("c@d.jp"), QString(), QString(), QString());
            nestedMessage = NMailGetMessage();
            for (QTcpSocket *s : accepted)
                s->abort();
            server.close();
        };
        connect(&server, &QTcpServer::newConnection, &server, [&] {
            accepted << server.nextPendingConnection();
            QTimer::singleShot(0, &server, secondSend);
        });
        const int rc = NMailSmtpSendMail(QStringLiteral("127.0.0.1:%1").arg(server.serverPort()), QStringLiteral("hanako@example.jp"),
                                         QStringLiteral("taro@example.jp"), QStringLiteral("s"), QStringLiteral("b"), QString());
        QCOMPARE(nestedResult, int(NMailErrorBusy));
        QCOMPARE(nestedMessage, QStringLiteral("前のメールの送信がまだ終わっていません。"));
        QCOMPARE(accepted.size(), 1);
        QVERIFY(rc < 0);
        QCOMPARE(NMailGetMessage(), QStringLiteral("SMTPサーバーとの接続が途中で切れました。"));
    }

private:
    QTemporaryDir m_certDir;
    TestCa m_certs;
};

QTEST_GUILESS_MAIN(TestSmtpSend)
#include "tst_SmtpSend.moc"
