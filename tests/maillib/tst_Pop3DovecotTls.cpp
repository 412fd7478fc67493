#include "maillib/NMail.h"
#include "support/DovecotServer.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTest>

using namespace maillib;
using testsupport::DovecotServer;

namespace {

const QString Alice = QStringLiteral("alice");
const QString AlicePassword = QStringLiteral("alicepw");
const QByteArray Message = "From: a@example.jp\r\nSubject: tls\r\n\r\n暗号化\r\n";

} // namespace

// POP3S and STLS against a real Dovecot whose certificate comes from a test CA.
class Pop3DovecotTlsTest : public QObject
{
    Q_OBJECT

private:
    DovecotServer m_server{DovecotServer::Options{{{Alice, AlicePassword}}, true}};
    qsizetype m_logMark = 0;

    [[nodiscard]] QStringList newLogins() const
    {
        return m_server.log().mid(m_logMark).split(u'\n').filter(QStringLiteral("Login: user=<alice>"));
    }

    void trustTestCa()
    {
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.addCaCertificates(QSslCertificate::fromPath(m_server.caCertificateFile()));
        QSslConfiguration::setDefaultConfiguration(config);
    }

    void fetchAndDelete(const QString &server, int apop)
    {
        QVERIFY(m_server.deliver(Alice, Message));
        const int handle = NMailPop3Connect(server);
        QVERIFY2(handle > 0, qPrintable(NMailGetMessage()));
        QCOMPARE(NMailPop3Authenticate(handle, Alice, AlicePassword, apop), 1);
        QString subject, body;
        QCOMPARE(NMailPop3GetMail(handle, 1, &subject, nullptr, nullptr, nullptr, &body), 1);
        QCOMPARE(subject, QStringLiteral("tls"));
        QCOMPARE(NMailPop3FetchedMessage().bytes(), Message);
        QCOMPARE(NMailPop3DeleteMail(handle, 1), 1);
        const int closed = NMailPop3Close(handle);
        QVERIFY2(closed == 1, qPrintable(NMailGetMessage()));
        QCOMPARE(m_server.messages(Alice).size(), 0);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.error()));
        NMailInitializeWinSock();
        NMailSetOption(NMailOptionTimeoutMs, 20000);
    }

    void init()
    {
        m_server.clear(Alice);
        m_logMark = m_server.log().size();
    }

    void cleanupTestCase() { NMailEndWinSock(); }

    // Runs first, while the test CA is not yet trusted.
    void unknownCaIsRefused_data()
    {
        QTest::addColumn<QString>("scheme");
        QTest::newRow("pop3s") << "pop3s://";
        QTest::newRow("stls") << "";
    }

    void unknownCaIsRefused()
    {
        QFETCH(QString, scheme);
        const quint16 port = scheme.isEmpty() ? m_server.port() : m_server.pop3sPort();
        QCOMPARE(NMailPop3Connect(scheme + QStringLiteral("localhost:%1").arg(port)), -1);
        QVERIFY2(NMailGetMessage().startsWith(
                     QStringLiteral("POP3 サーバーの証明書を確認できないため、接続を中止しました。\n")),
                 qPrintable(NMailGetMessage()));
        QVERIFY(newLogins().isEmpty());
    }

    void implicitTlsWithApop()
    {
        trustTestCa();
        fetchAndDelete(QStringLiteral("pop3s://localhost:%1").arg(m_server.pop3sPort()), -1);
        if (QTest::currentTestFailed())
            return;
        QTRY_COMPARE(newLogins().size(), 1);
        const QStringList logins = newLogins();
        QVERIFY2(logins[0].contains(QStringLiteral("method=APOP")) && logins[0].contains(QStringLiteral(", TLS")),
                 qPrintable(logins[0]));
    }

    void bareNameUpgradesWithStls_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("name") << "localhost";
        QTest::newRow("address") << "127.0.0.1";
    }

    void bareNameUpgradesWithStls()
    {
        QFETCH(QString, host);
        trustTestCa();
        fetchAndDelete(host + QStringLiteral(":%1").arg(m_server.port()), 0);
        if (QTest::currentTestFailed())
            return;
        QTRY_COMPARE(newLogins().size(), 1);
        const QStringList logins = newLogins();
        QVERIFY2(logins[0].contains(QStringLiteral("method=PLAIN")) && logins[0].contains(QStringLiteral(", TLS")),
                 qPrintable(logins[0]));
    }
};

QTEST_GUILESS_MAIN(Pop3DovecotTlsTest)
#include "tst_Pop3DovecotTls.moc"
