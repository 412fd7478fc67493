#include "maillib/NMail.h"
#include "settings/ConnectionTest.h"
#include "support/FakePop3Server.h"
#include "support/SmtpSink.h"
#include "support/TestCa.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using settings::ServerTestResult;
using testsupport::FakePop3Server;
using testsupport::SmtpSink;

namespace {

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// reached, encrypted, login tried, login accepted, a problem explained: one text for the table.
QString flags(const ServerTestResult &r)
{
    return QStringLiteral("%1%2%3%4%5")
        .arg(r.reached)
        .arg(r.encrypted)
        .arg(r.loginTried)
        .arg(r.loginAccepted)
        .arg(!r.problem.isEmpty());
}

} // namespace

// The settings window's connection test against a scripted POP3 server and a
// real SMTP server with STARTTLS and AUTH: what it reports, and that it
// fetches, deletes and sends nothing.
class TestConnectionTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_ca.create(m_caDir.path(), &error), qPrintable(error));
        qputenv("SSL_CERT_FILE", m_ca.caFile.toLocal8Bit());
        maillib::NMailInitializeWinSock();
    }

    void servers_data()
    {
        QTest::addColumn<QString>("pop3");     // "fake", "closed" or ""
        QTest::addColumn<QString>("smtp");     // "sink" (user in the address), "plain" (no user), "closed" or ""
        QTest::addColumn<QString>("password"); // the saved one
        QTest::addColumn<QString>("pop3Flags");
        QTest::addColumn<QString>("smtpFlags");
        QTest::newRow("both accept") << "fake" << "sink" << "tanstaaf" << "10110" << "11110";
        QTest::newRow("wrong password") << "fake" << "sink" << "wrong" << "10101" << "11101";
        QTest::newRow("no password saved") << "fake" << "sink" << "" << "10000" << "00001";
        QTest::newRow("smtp without login") << "fake" << "plain" << "tanstaaf" << "10110" << "11000";
        QTest::newRow("nothing listens") << "closed" << "closed" << "tanstaaf" << "00001" << "00001";
        QTest::newRow("no server names") << "" << "" << "tanstaaf" << "00000" << "00000";
    }
    void servers()
    {
        QFETCH(QString, pop3);
        QFETCH(QString, smtp);
        QFETCH(QString, password);
        QFETCH(QString, pop3Flags);
        QFETCH(QString, smtpFlags);

        FakePop3Server pop3Server;
        pop3Server.messages = {"Subject: a\r\n\r\nkept\r\n"};
        SmtpSink::Options options;
        options.startTls = true;
        options.certFile = m_ca.certificateFile;
        options.keyFile = m_ca.keyFile;
        options.authUser = QStringLiteral("alice");
        options.authPassword = QStringLiteral("tanstaaf");
        SmtpSink sink(options);
        QVERIFY2(sink.isRunning(), qPrintable(sink.diagnostics()));

        settings::AccountSettings account;
        const QString closed = QStringLiteral("127.0.0.1:%1").arg(closedPort());
        account.Pop3Server = pop3 == QLatin1String("fake") ? pop3Server.address() : pop3.isEmpty() ? QString() : closed;
        // The certificate is made out to "localhost".
        if (smtp == QLatin1String("sink"))
            account.SmtpServer = QStringLiteral("smtp://alice@localhost:%1").arg(sink.port());
        else if (smtp == QLatin1String("plain"))
            account.SmtpServer = QStringLiteral("localhost:%1").arg(sink.port());
        else if (smtp == QLatin1String("closed"))
            account.SmtpServer = closed;
        const settings::Credentials saved{QStringLiteral("alice"), password};
        maillib::NMailSetSmtpCredentialsProvider([saved] { return std::pair(saved.userId, saved.password); });

        const settings::ConnectionTestResult result = settings::testConnections(account, saved, 10000);
        QCOMPARE(flags(result.pop3), pop3Flags);
        QCOMPARE(flags(result.smtp), smtpFlags);
        QCOMPARE(result.pop3.tried, !pop3.isEmpty());
        const QString report = settings::connectionTestReport(account, result);
        QVERIFY(report.contains(QStringLiteral("メールの受信・削除・送信は行っていません。")));

        // Nothing fetched, nothing deleted, nothing sent.
        for (const QByteArray &command : pop3Server.commands)
            QVERIFY2(!command.startsWith("RETR") && !command.startsWith("DELE") && !command.startsWith("TOP"),
                     command.constData());
        QCOMPARE(sink.messages().size(), 0);
    }

private:
    QTemporaryDir m_caDir;
    testsupport::TestCa m_ca;
};

QTEST_GUILESS_MAIN(TestConnectionTest)
#include "tst_ConnectionTest.moc"
