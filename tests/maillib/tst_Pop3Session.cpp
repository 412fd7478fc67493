#include "maillib/NMail.h"
#include "maillib/Pop3Address.h"
#include "maillib/Pop3Session.h"
#include "support/FakePop3Server.h"
#include "support/TestCa.h"

#include <QSslCertificate>
#include <QSslKey>
#include <QTemporaryDir>

#include <QTest>

using maillib::Pop3Address;
using maillib::Pop3Login;
using maillib::Pop3Security;
using maillib::Pop3Session;
using maillib::Pop3Settings;
using testsupport::FakePop3Server;

namespace {

Pop3Address local(const FakePop3Server &server)
{
    return Pop3Address{QStringLiteral("127.0.0.1"), server.port(), Pop3Security::StartTlsIfOffered};
}

Pop3Settings quick(int timeoutMs = 10000)
{
    Pop3Settings settings;
    settings.timeoutMs = timeoutMs;
    return settings;
}

qsizetype countStarting(const QList<QByteArray> &commands, const char *verb)
{
    return std::count_if(commands.begin(), commands.end(), [verb](const QByteArray &c) { return c.startsWith(verb); });
}

const QByteArray Tricky = "Subject: dots\r\n\r\n.leading dot\r\n..two dots\r\n.\r\n. \r\nend.\r\n";

} // namespace

class Pop3SessionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parsesServerNames_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("implicitTls");
        QTest::newRow("bare") << "pop.example.jp" << true << "pop.example.jp" << 110 << false;
        QTest::newRow("blanks") << "  pop.example.jp " << true << "pop.example.jp" << 110 << false;
        QTest::newRow("port") << "pop.example.jp:1110" << true << "pop.example.jp" << 1110 << false;
        QTest::newRow("995 means pop3s") << "pop.example.jp:995" << true << "pop.example.jp" << 995 << true;
        QTest::newRow("pop3s") << "pop3s://pop.example.jp" << true << "pop.example.jp" << 995 << true;
        QTest::newRow("POP3S port") << "POP3S://pop.example.jp:1995/" << true << "pop.example.jp" << 1995 << true;
        QTest::newRow("pop3 scheme") << "pop3://127.0.0.1:2110" << true << "127.0.0.1" << 2110 << false;
        QTest::newRow("ipv6") << "[::1]:2110" << true << "::1" << 2110 << false;
        QTest::newRow("idn") << "メール.example.jp" << true << "xn--4dkua4c.example.jp" << 110 << false;
        QTest::newRow("empty") << "" << false << "" << 0 << false;
        QTest::newRow("port zero") << "host:0" << false << "" << 0 << false;
        QTest::newRow("port too big") << "host:65536" << false << "" << 0 << false;
        QTest::newRow("port not a number") << "host:11x" << false << "" << 0 << false;
        QTest::newRow("empty port") << "host:" << false << "" << 0 << false;
        QTest::newRow("user part") << "pop3://me@host" << false << "" << 0 << false;
        QTest::newRow("line break") << "host\r\nQUIT" << false << "" << 0 << false;
        QTest::newRow("path") << "host/inbox" << false << "" << 0 << false;
        QTest::newRow("open bracket") << "[::1" << false << "" << 0 << false;
    }

    void parsesServerNames()
    {
        QFETCH(QString, server);
        QFETCH(bool, valid);
        const std::optional<Pop3Address> address = maillib::parsePop3Address(server);
        QCOMPARE(address.has_value(), valid);
        if (!valid)
            return;
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(bool, implicitTls);
        QCOMPARE(address->host, host);
        QCOMPARE(int(address->port), port);
        QCOMPARE(address->security == Pop3Security::ImplicitTls, implicitTls);
    }

    void readsApopTimestamps_data()
    {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("value");
        using Kind = maillib::ApopTimestamp::Kind;
        QTest::newRow("rfc") << QByteArray("+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>") << int(Kind::Valid)
                             << QByteArray("<1896.697170952@dbc.mtview.ca.us>");
        QTest::newRow("dovecot") << QByteArray("+OK Dovecot (Debian) ready. <33b7.6.6b18dba1.4cqEpIshaPXVs69d2rm/YA==@vm>")
                                 << int(Kind::Valid) << QByteArray("<33b7.6.6b18dba1.4cqEpIshaPXVs69d2rm/YA==@vm>");
        QTest::newRow("none") << QByteArray("+OK ready") << int(Kind::Missing) << QByteArray();
        QTest::newRow("unclosed") << QByteArray("+OK <1896.697@host") << int(Kind::Malformed) << QByteArray();
        QTest::newRow("no at") << QByteArray("+OK <1896.697170952>") << int(Kind::Malformed) << QByteArray();
        QTest::newRow("blank inside") << QByteArray("+OK <1896 697@host>") << int(Kind::Malformed) << QByteArray();
        QTest::newRow("two stamps") << QByteArray("+OK <a@b> <c@d>") << int(Kind::Malformed) << QByteArray();
        QTest::newRow("8-bit") << QByteArray("+OK <a\xff@b>") << int(Kind::Malformed) << QByteArray();
        QTest::newRow("empty local part") << QByteArray("+OK <@b>") << int(Kind::Malformed) << QByteArray();
        QTest::newRow("reversed") << QByteArray("+OK >a@b<") << int(Kind::Malformed) << QByteArray();
    }

    void readsApopTimestamps()
    {
        QFETCH(QByteArray, greeting);
        QFETCH(int, kind);
        QFETCH(QByteArray, value);
        const maillib::ApopTimestamp stamp = maillib::apopTimestamp(greeting);
        QCOMPARE(int(stamp.kind), kind);
        QCOMPARE(stamp.value, value);
    }

    void fetchesInOrderAndCommitsOnlyAtQuit()
    {
        FakePop3Server server;
        server.messages = {"Subject: one\r\n\r\nfirst\r\n", Tricky, "Subject: three\r\n\r\nthird\r\n"};
        Pop3Session session(quick());
        QVERIFY(session.open(local(server)));
        QVERIFY(session.login("alice", "tanstaaf", Pop3Login::UserPass));
        QCOMPARE(session.messageCount(), 3);
        QCOMPARE(session.messageSize(2), qint64(Tricky.size()));
        for (int i = 1; i <= 3; ++i) {
            QByteArray raw;
            QVERIFY2(session.retrieve(i, &raw), qPrintable(session.errorText()));
            QCOMPARE(raw, server.messages[i - 1]);
            QVERIFY(session.markDeleted(i));
        }
        QVERIFY(server.committed.isEmpty());
        QVERIFY(session.quit());
        QCOMPARE(server.committed, QList<int>({1, 2, 3}));
        QCOMPARE(server.connections, 1);
        QVERIFY(server.commands.contains("USER alice"));
        QVERIFY(server.commands.contains("PASS tanstaaf"));
    }

    void undoesDotStuffingAcrossChunkBoundaries_data()
    {
        QTest::addColumn<int>("chunk");
        QTest::newRow("1 byte") << 1;
        QTest::newRow("2 bytes") << 2;
        QTest::newRow("7 bytes") << 7;
    }

    void undoesDotStuffingAcrossChunkBoundaries()
    {
        QFETCH(int, chunk);
        FakePop3Server server;
        server.chunkSize = chunk;
        const QByteArray bareLf = "Subject: lf\n\n.x\nlast\n";
        server.messages = {Tricky, bareLf};
        Pop3Session session(quick());
        QVERIFY(session.open(local(server)));
        QVERIFY(session.login("alice", "tanstaaf", Pop3Login::UserPass));
        QByteArray raw;
        QVERIFY(session.retrieve(1, &raw));
        QCOMPARE(raw, Tricky);
        // Lines a server ends with a bare LF are kept as they came.
        QVERIFY(session.retrieve(2, &raw));
        QCOMPARE(raw, bareLf);
    }

    void apopSendsTheRfcDigest()
    {
        FakePop3Server server;
        server.messages = {"Subject: a\r\n\r\nb\r\n"};
        Pop3Session session(quick());
        QVERIFY(session.open(local(server)));
        QVERIFY2(session.login("alice", "tanstaaf", Pop3Login::Apop), qPrintable(session.errorText()));
        QCOMPARE(session.messageCount(), 1);
        QVERIFY(server.commands.contains("APOP alice c4c9334bac560ecc979e58001b3e22fb"));
        QVERIFY(!server.commands.contains("PASS tanstaaf"));
    }

    void apopRefusesWhatItCannotHash_data()
    {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<QString>("expected");
        QTest::newRow("malformed") << QByteArray("+OK ready <1896.697170952>")
                                   << QStringLiteral("POP3 サーバーの APOP タイムスタンプが不正なため、ログインを中止しました。\n"
                                                     "+OK ready <1896.697170952>");
        QTest::newRow("missing") << QByteArray("+OK ready")
                                 << QStringLiteral("POP3 サーバーが APOP に対応していないため、ログインできません。\n+OK ready");
    }

    void apopRefusesWhatItCannotHash()
    {
        QFETCH(QByteArray, greeting);
        QFETCH(QString, expected);
        FakePop3Server server;
        server.greeting = greeting;
        Pop3Session session(quick());
        QVERIFY(session.open(local(server)));
        QVERIFY(!session.login("alice", "tanstaaf", Pop3Login::Apop));
        QCOMPARE(session.errorCode(), int(maillib::NMailErrorAuthenticate));
        QCOMPARE(session.errorText(), expected);
        for (const QByteArray &command : server.commands)
            QVERIFY2(!command.startsWith("APOP") && !command.startsWith("PASS"), command.constData());
    }

    void wrongPasswordEndsSessionWithServerText()
    {
        FakePop3Server server;
        Pop3Session session(quick());
        QVERIFY(session.open(local(server)));
        QVERIFY(!session.login("alice", "wrong", Pop3Login::UserPass));
        QCOMPARE(session.errorCode(), int(maillib::NMailErrorAuthenticate));
        QCOMPARE(session.errorText(),
                 QStringLiteral("POP3 サーバーにログインできませんでした。ユーザーIDとパスワードを確認してください。\n"
                                "-ERR [AUTH] Authentication failed."));
        QVERIFY(session.isFailed());
        QVERIFY(!session.quit());
        QVERIFY(!server.commands.contains("QUIT"));
    }

    void errorMidSessionEndsWithoutQuit()
    {
        FakePop3Server server;
        server.messages = {"Subject: 1\r\n\r\n1\r\n", "Subject: 2\r\n\r\n2\r\n", "Subject: 3\r\n\r\n3\r\n"};
        server.hook = [](const QByteArray &command) -> std::optional<FakePop3Server::Reply> {
            if (command == "DELE 1")
                return FakePop3Server::Reply{"-ERR Mailbox is locked.\r\n"};
            return std::nullopt;
        };
        Pop3Session session(quick());
        QVERIFY(session.open(local(server)));
        QVERIFY(session.login("alice", "tanstaaf", Pop3Login::UserPass));
        QByteArray raw;
        QVERIFY(session.retrieve(1, &raw));
        QVERIFY(!session.markDeleted(1));
        QCOMPARE(session.errorCode(), int(maillib::NMailErrorProtocol));
        QVERIFY(session.errorText().endsWith(QStringLiteral("\n-ERR Mailbox is locked.")));
        QVERIFY(session.isFailed());
        // Nothing more reaches the server, and no deletion is ever committed.
        const qsizetype sent = server.commands.size();
        QVERIFY(!session.retrieve(3, &raw));
        QVERIFY(!session.markDeleted(3));
        QVERIFY(!session.quit());
        QTRY_COMPARE(server.connections, 1);
        QCOMPARE(server.commands.size(), sent);
        QVERIFY(!server.commands.contains("QUIT"));
        QVERIFY(server.committed.isEmpty());
    }

    // One message the server will not send fails alone: the others are
    // fetched, their deletions are committed at QUIT and the caller is told.
    void refusedMessageFailsOnlyItself_data()
    {
        QTest::addColumn<bool>("pipelining");
        QTest::newRow("lock-step") << false;
        QTest::newRow("pipelining") << true;
    }

    void refusedMessageFailsOnlyItself()
    {
        QFETCH(bool, pipelining);
        FakePop3Server server;
        if (pipelining)
            server.capabilities.append("PIPELINING");
        for (int i = 1; i <= 5; ++i)
            server.messages.append("Subject: " + QByteArray::number(i) + "\r\n\r\nbody\r\n");
        server.hook = [](const QByteArray &command) -> std::optional<FakePop3Server::Reply> {
            if (command == "RETR 3")
                return FakePop3Server::Reply{"-ERR " + QByteArray(5000, 'x') + "\r\n"};
            return std::nullopt;
        };
        const int handle = maillib::NMailPop3Connect(server.address());
        QVERIFY(handle > 0);
        QCOMPARE(maillib::NMailPop3Authenticate(handle, "alice", "tanstaaf", 0), 5);
        QList<int> results;
        for (int number = 1; number <= 5; ++number) {
            QString subject;
            const int result = maillib::NMailPop3GetMail(handle, number, &subject, nullptr, nullptr, nullptr, nullptr);
            results.append(result);
            if (result == 1) {
                QCOMPARE(subject, QString::number(number));
                QCOMPARE(maillib::NMailPop3DeleteMail(handle, number), 1);
            } else {
                // The server's overlong line is quoted only in part.
                QVERIFY(maillib::NMailGetMessage().size() < 400);
                QCOMPARE(maillib::NMailPop3DeleteMail(handle, number), int(maillib::NMailErrorBadArgument));
            }
        }
        QCOMPARE(results, QList<int>({1, 1, int(maillib::NMailErrorMessageRefused), 1, 1}));
        QVERIFY(maillib::NMailPop3ReceivedBytes(handle) > 4 * server.messages[0].size());
        QCOMPARE(maillib::NMailPop3Close(handle), 1);
        QCOMPARE(server.committed, QList<int>({1, 2, 4, 5}));
    }

    // Servers that would keep a call waiting for ever, or make it allocate for
    // a mailbox that is not there, end the session with a Japanese reason.
    void hostileServersEndTheSession_data()
    {
        QTest::addColumn<QByteArray>("statReply");
        QTest::addColumn<bool>("trickle");
        QTest::addColumn<int>("cancelAfterMs");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        const int protocol = maillib::NMailErrorProtocol;
        QTest::newRow("absurd count") << QByteArray("+OK 2147483647 0") << false << 0 << protocol
                                      << QStringLiteral("POP3 サーバーが知らせたメールの数（2147483647 通）が多すぎる");
        QTest::newRow("count not listed") << QByteArray("+OK 3 90") << false << 0 << protocol
                                          << QStringLiteral("POP3 サーバーが知らせたメールの数（3 通）と一覧が合わない");
        QTest::newRow("trickle past deadline")
            << QByteArray() << true << 0 << int(maillib::NMailErrorTimeout)
            << QStringLiteral("POP3 サーバーの応答が遅すぎるため、処理を打ち切りました。");
        QTest::newRow("trickle stopped") << QByteArray() << true << 300 << int(maillib::NMailErrorCancelled)
                                         << QStringLiteral("メールの処理を中止しました。");
    }

    void hostileServersEndTheSession()
    {
        QFETCH(QByteArray, statReply);
        QFETCH(bool, trickle);
        QFETCH(int, cancelAfterMs);
        QFETCH(int, code);
        QFETCH(QString, text);
        FakePop3Server server;
        server.messages = {"Subject: 1\r\n\r\n" + QByteArray(2000, 'x') + "\r\n"};
        server.hook = [&](const QByteArray &command) -> std::optional<FakePop3Server::Reply> {
            if (command == "STAT" && !statReply.isEmpty())
                return FakePop3Server::Reply{statReply + "\r\n"};
            if (command == "RETR 1" && trickle) {
                // A byte every 40 ms: never a stall, but never done either.
                server.chunkSize = 1;
                server.chunkIntervalMs = 40;
            }
            return std::nullopt;
        };
        // A stop request waits for the far longer stall time-out to lose.
        maillib::NMailSetOption(maillib::NMailOptionTimeoutMs, cancelAfterMs > 0 ? 20000 : 400);
        const int handle = maillib::NMailPop3Connect(server.address());
        QVERIFY(handle > 0);
        int result = maillib::NMailPop3Authenticate(handle, "alice", "tanstaaf", 0);
        if (result > 0) {
            if (cancelAfterMs > 0)
                QTimer::singleShot(cancelAfterMs, [] { maillib::NMailCancel(); });
            result = maillib::NMailPop3GetMail(handle, 1, nullptr, nullptr, nullptr, nullptr, nullptr);
        }
        maillib::NMailSetOption(maillib::NMailOptionTimeoutMs, 60000);
        QCOMPARE(result, code);
        QVERIFY2(maillib::NMailGetMessage().startsWith(text), qPrintable(maillib::NMailGetMessage()));
        QVERIFY(maillib::NMailPop3Close(handle) < 0);
        QVERIFY(!server.commands.contains("QUIT"));
    }

    void droppedConnectionIsReportedNotRetried()
    {
        FakePop3Server server;
        server.messages = {"Subject: 1\r\n\r\n1\r\n", "Subject: 2\r\n\r\n2\r\n"};
        server.hook = [](const QByteArray &command) -> std::optional<FakePop3Server::Reply> {
            if (command == "RETR 2")
                return FakePop3Server::Reply{"+OK 30 octets\r\nSubject: 2\r\n", true};
            return std::nullopt;
        };
        Pop3Session session(quick());
        QVERIFY(session.open(local(server)));
        QVERIFY(session.login("alice", "tanstaaf", Pop3Login::UserPass));
        QByteArray raw;
        QVERIFY(session.retrieve(1, &raw));
        // Message 2 is already on its way, so its failure may be reported
        // here or by the next call; either way the session is over.
        (void)session.markDeleted(1);
        QVERIFY(!session.retrieve(2, &raw));
        QCOMPARE(session.errorCode(), int(maillib::NMailErrorProtocol));
        QCOMPARE(session.errorText(), QStringLiteral("POP3 サーバーとの接続が切れました。削除の指定は取り消されました。"));
        QVERIFY(!session.quit());
        QCOMPARE(server.connections, 1);
        QVERIFY(server.committed.isEmpty());
    }

    void silentServerTimesOut()
    {
        FakePop3Server server;
        server.greeting.clear();
        Pop3Session session(quick(300));
        QVERIFY(!session.open(local(server)));
        QCOMPARE(session.errorCode(), int(maillib::NMailErrorTimeout));
        QCOMPARE(session.errorText(), QStringLiteral("POP3 サーバーから応答がないため、処理を打ち切りました。"));
    }

    void stalledTransferTimesOut()
    {
        FakePop3Server server;
        server.messages = {"Subject: 1\r\n\r\n1\r\n"};
        server.hook = [](const QByteArray &command) -> std::optional<FakePop3Server::Reply> {
            if (command == "RETR 1")
                return FakePop3Server::Reply{"+OK 30 octets\r\nSubject: 1\r\n"};
            return std::nullopt;
        };
        Pop3Session session(quick(300));
        QVERIFY(session.open(local(server)));
        QVERIFY(session.login("alice", "tanstaaf", Pop3Login::UserPass));
        QByteArray raw;
        QVERIFY(!session.retrieve(1, &raw));
        QCOMPARE(session.errorCode(), int(maillib::NMailErrorTimeout));
    }

    void refusedConnectionIsAConnectError()
    {
        quint16 port;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress(QHostAddress::LocalHost), 0));
            port = probe.serverPort();
        }
        Pop3Session session(quick());
        QVERIFY(!session.open(Pop3Address{QStringLiteral("127.0.0.1"), port, Pop3Security::StartTlsIfOffered}));
        QCOMPARE(session.errorCode(), int(maillib::NMailErrorConnect));
        QVERIFY(session.errorText().startsWith(QStringLiteral("POP3 サーバー 127.0.0.1 に接続できませんでした。\n")));
    }

    void lockStepWithoutPipelining()
    {
        FakePop3Server server;
        for (int i = 1; i <= 5; ++i)
            server.messages.append("Subject: " + QByteArray::number(i) + "\r\n\r\nbody\r\n");
        Pop3Session session(quick());
        QVERIFY(session.open(local(server)));
        QVERIFY(!session.pipelining());
        QVERIFY(session.login("alice", "tanstaaf", Pop3Login::UserPass));
        for (int i = 1; i <= 5; ++i) {
            QByteArray raw;
            QVERIFY(session.retrieve(i, &raw));
            QCOMPARE(raw, server.messages[i - 1]);
            QVERIFY(session.markDeleted(i));
        }
        QVERIFY(session.quit());
        QCOMPARE(server.mostCommandsAtOnce, 1);
        QCOMPARE(server.committed, QList<int>({1, 2, 3, 4, 5}));
        // Every message was asked for exactly once.
        QCOMPARE(countStarting(server.commands, "RETR"), 5);
    }

    void pipelinesWhenOffered()
    {
        FakePop3Server server;
        server.capabilities.append("PIPELINING");
        for (int i = 1; i <= 6; ++i)
            server.messages.append("Subject: " + QByteArray::number(i) + "\r\n\r\nbody\r\n");
        Pop3Session session(quick());
        QVERIFY(session.open(local(server)));
        QVERIFY(session.pipelining());
        QVERIFY(session.login("alice", "tanstaaf", Pop3Login::UserPass));
        QByteArray raw;
        QVERIFY(session.retrieve(1, &raw));
        // The next messages were requested before the caller asked for them.
        QTRY_VERIFY(server.commands.contains("RETR 2"));
        for (int i = 1; i <= 6; ++i) {
            QVERIFY(session.retrieve(i, &raw));
            QCOMPARE(raw, server.messages[i - 1]);
            QVERIFY(session.markDeleted(i));
        }
        QVERIFY(session.quit());
        QVERIFY(server.mostCommandsAtOnce > 1);
        QCOMPARE(server.committed, QList<int>({1, 2, 3, 4, 5, 6}));
        QCOMPARE(countStarting(server.commands, "RETR"), 6);
    }

    void pipelinedDeleteErrorIsReportedAndNothingCommitted()
    {
        FakePop3Server server;
        server.capabilities.append("PIPELINING");
        server.messages = {"Subject: 1\r\n\r\n1\r\n", "Subject: 2\r\n\r\n2\r\n"};
        server.hook = [](const QByteArray &command) -> std::optional<FakePop3Server::Reply> {
            if (command == "DELE 2")
                return FakePop3Server::Reply{"-ERR Message is deleted.\r\n"};
            return std::nullopt;
        };
        Pop3Session session(quick());
        QVERIFY(session.open(local(server)));
        QVERIFY(session.login("alice", "tanstaaf", Pop3Login::UserPass));
        QByteArray raw;
        QVERIFY(session.retrieve(1, &raw));
        QVERIFY(session.markDeleted(1));
        QVERIFY(session.retrieve(2, &raw));
        (void)session.markDeleted(2);
        QVERIFY(!session.quit());
        QVERIFY(session.errorText().endsWith(QStringLiteral("\n-ERR Message is deleted.")));
        QVERIFY(!server.commands.contains("QUIT"));
        QVERIFY(server.committed.isEmpty());
    }

    void badNumbersAreRefusedWithoutEndingTheSession()
    {
        FakePop3Server server;
        server.messages = {"Subject: 1\r\n\r\n1\r\n"};
        Pop3Session session(quick());
        QVERIFY(session.open(local(server)));
        QVERIFY(session.login("alice", "tanstaaf", Pop3Login::UserPass));
        QByteArray raw;
        QVERIFY(!session.retrieve(0, &raw));
        QVERIFY(!session.retrieve(2, &raw));
        QCOMPARE(session.errorCode(), int(maillib::NMailErrorBadArgument));
        QVERIFY(session.markDeleted(1));
        QVERIFY(session.markDeleted(1)); // a second mark is not sent again
        QVERIFY(!session.retrieve(1, &raw));
        QVERIFY(!session.isFailed());
        QVERIFY(session.quit());
        QCOMPARE(countStarting(server.commands, "DELE"), 1);
        QCOMPARE(countStarting(server.commands, "RETR"), 0);
        QCOMPARE(server.committed, QList<int>({1}));
    }

    void oversizedMessagesAreNotDownloaded()
    {
        FakePop3Server server;
        server.capabilities.append("PIPELINING");
        server.messages = {"Subject: small\r\n\r\n1\r\n", "Subject: big\r\n\r\n" + QByteArray(4000, 'x') + "\r\n",
                           "Subject: small\r\n\r\n3\r\n"};
        Pop3Settings settings = quick();
        settings.maxMessageBytes = 1000;
        Pop3Session session(settings);
        QVERIFY(session.open(local(server)));
        QVERIFY(session.login("alice", "tanstaaf", Pop3Login::UserPass));
        QByteArray raw;
        QVERIFY(session.retrieve(1, &raw));
        QVERIFY(!session.retrieve(2, &raw));
        QCOMPARE(session.errorCode(), int(maillib::NMailErrorProtocol));
        QCOMPARE(session.errorText(), QStringLiteral("メール番号 2 は大きすぎるため受信しませんでした（%1 バイト）。")
                                          .arg(server.messages[1].size()));
        QVERIFY(!session.isFailed());
        QVERIFY(session.retrieve(3, &raw));
        QCOMPARE(raw, server.messages[2]);
        QVERIFY(session.quit());
        QVERIFY(!server.commands.contains("RETR 2"));
    }

    void aServerSendingMoreThanItListedIsCutOff()
    {
        FakePop3Server server;
        server.messages = {"Subject: small\r\n\r\n1\r\n"};
        server.hook = [](const QByteArray &command) -> std::optional<FakePop3Server::Reply> {
            if (command == "RETR 1")
                return FakePop3Server::Reply{"+OK\r\n" + QByteArray(3000, 'y') + "\r\n.\r\n"};
            return std::nullopt;
        };
        Pop3Settings settings = quick();
        settings.maxMessageBytes = 1000;
        Pop3Session session(settings);
        QVERIFY(session.open(local(server)));
        QVERIFY(session.login("alice", "tanstaaf", Pop3Login::UserPass));
        QByteArray raw;
        QVERIFY(!session.retrieve(1, &raw));
        QCOMPARE(session.errorText(), QStringLiteral("POP3 サーバーから届いたデータが大きすぎます。"));
        QVERIFY(session.isFailed());
    }

    // User IDs and passwords go as CP932, as the program's strings are, and
    // as UTF-8 only when CP932 cannot hold them.
    void credentialsGoAsCp932WhenTheyCan_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("cp932") << QStringLiteral("パス①") << QByteArray("\x83\x70\x83\x58\x87\x40");
        QTest::newRow("utf-8") << QStringLiteral("パス😀") << QByteArray("\xE3\x83\x91\xE3\x82\xB9\xF0\x9F\x98\x80");
    }

    void credentialsGoAsCp932WhenTheyCan()
    {
        QFETCH(QString, password);
        QFETCH(QByteArray, wire);
        FakePop3Server server;
        server.password = wire;
        Pop3Session session(quick());
        QVERIFY(session.open(local(server)));
        QVERIFY2(session.login("alice", password, Pop3Login::UserPass), qPrintable(session.errorText()));
    }

    void lineBreaksInCredentialsNeverReachTheServer()
    {
        FakePop3Server server;
        Pop3Session session(quick());
        QVERIFY(session.open(local(server)));
        QVERIFY(!session.login("alice", "pw\r\nDELE 1", Pop3Login::UserPass));
        QVERIFY(!session.login("alice\nDELE 1", "pw", Pop3Login::UserPass));
        QCOMPARE(session.errorCode(), int(maillib::NMailErrorBadArgument));
        QCOMPARE(server.commands, QList<QByteArray>({"CAPA"}));
    }

    void stlsDiscardsWhatCameBeforeTheHandshake()
    {
        QTemporaryDir dir;
        testsupport::TestCa ca;
        QString error;
        QVERIFY2(ca.create(dir.path(), &error), qPrintable(error));
        FakePop3Server server;
        server.capabilities.append("STLS");
        server.tls = QSslConfiguration::defaultConfiguration();
        server.tls.setLocalCertificate(QSslCertificate::fromPath(ca.certificateFile).value(0));
        QFile key(ca.keyFile);
        QVERIFY(key.open(QIODevice::ReadOnly));
        server.tls.setPrivateKey(QSslKey(&key, QSsl::Ec));
        // A third party's answer slipped in behind the server's +OK.
        server.hook = [](const QByteArray &command) -> std::optional<FakePop3Server::Reply> {
            if (command == "STLS")
                return FakePop3Server::Reply{"+OK Begin TLS.\r\n-ERR injected\r\n", false, true};
            return std::nullopt;
        };
        Pop3Settings settings = quick();
        QSslConfiguration trust = QSslConfiguration::defaultConfiguration();
        trust.setCaCertificates(QSslCertificate::fromPath(ca.caFile));
        settings.ssl = trust;
        Pop3Session session(settings);
        QVERIFY2(session.open(local(server)), qPrintable(session.errorText()));
        QVERIFY(session.isEncrypted());
        QCOMPARE(session.capabilities(), QStringList({"USER", "UIDL", "STLS"}));
        QVERIFY2(session.login("alice", "tanstaaf", Pop3Login::UserPass), qPrintable(session.errorText()));
        QVERIFY(session.quit());
        QCOMPARE(server.commands.mid(0, 3), QList<QByteArray>({"CAPA", "STLS", "CAPA"}));
    }

    void untrustedCertificateStopsBeforeLogin()
    {
        QTemporaryDir dir;
        testsupport::TestCa ca;
        QString error;
        QVERIFY2(ca.create(dir.path(), &error), qPrintable(error));
        FakePop3Server server;
        server.capabilities.append("STLS");
        server.tls = QSslConfiguration::defaultConfiguration();
        server.tls.setLocalCertificate(QSslCertificate::fromPath(ca.certificateFile).value(0));
        QFile key(ca.keyFile);
        QVERIFY(key.open(QIODevice::ReadOnly));
        server.tls.setPrivateKey(QSslKey(&key, QSsl::Ec));
        Pop3Session session(quick());
        QVERIFY(!session.open(local(server)));
        QCOMPARE(session.errorCode(), int(maillib::NMailErrorConnect));
        QVERIFY(session.errorText().startsWith(QStringLiteral("POP3 サーバーの証明書を確認できないため、接続を中止しました。")));
        QCOMPARE(server.commands, QList<QByteArray>({"CAPA", "STLS"}));
    }

    void malformedRepliesEndTheSession_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("not a status") << QByteArray("HELLO\r\n");
        QTest::newRow("overlong line") << QByteArray(70 * 1024, 'x');
    }

    void malformedRepliesEndTheSession()
    {
        QFETCH(QByteArray, reply);
        FakePop3Server server;
        server.messages = {"Subject: 1\r\n\r\n1\r\n"};
        server.hook = [reply](const QByteArray &command) -> std::optional<FakePop3Server::Reply> {
            if (command == "RETR 1")
                return FakePop3Server::Reply{reply};
            return std::nullopt;
        };
        Pop3Session session(quick());
        QVERIFY(session.open(local(server)));
        QVERIFY(session.login("alice", "tanstaaf", Pop3Login::UserPass));
        QByteArray raw;
        QVERIFY(!session.retrieve(1, &raw));
        QCOMPARE(session.errorCode(), int(maillib::NMailErrorProtocol));
        QVERIFY(session.isFailed());
    }
};

QTEST_GUILESS_MAIN(Pop3SessionTest)
#include "tst_Pop3Session.moc"
