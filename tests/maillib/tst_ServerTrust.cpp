#include "maillib/NMail.h"
#include "maillib/ServerTrust.h"
#include "support/FakePop3Server.h"
#include "support/ScriptedPrompts.h"
#include "support/TempProgramFolder.h"
#include "support/TestCa.h"

#include <QFile>
#include <QSslKey>
#include <QTemporaryDir>
#include <QtTest>


using namespace maillib;
using testsupport::FakePop3Server;

namespace {

QSslConfiguration serverTls(const testsupport::TestCa &ca)
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate::fromPath(ca.certificateFile).value(0));
    QFile key(ca.keyFile);
    if (!key.open(QIODevice::ReadOnly))
        qFatal("test key missing");
    tls.setPrivateKey(QSslKey(&key, QSsl::Ec));
    return tls;
}

// Connects and logs in with USER/PASS (or APOP); the login's result, or the connection's failure.
int connectAndLogin(const FakePop3Server &server, int apop = 0)
{
    const int handle = NMailPop3Connect(server.address());
    if (handle < 0)
        return handle;
    const int count = NMailPop3Authenticate(handle, QStringLiteral("alice"), QStringLiteral("tanstaaf"), apop);
    (void)NMailPop3Close(handle);
    return count;
}

qsizetype passesSent(const FakePop3Server &server)
{
    return std::count_if(server.commands.begin(), server.commands.end(),
                         [](const QByteArray &c) { return c.startsWith("PASS") || c.startsWith("USER"); });
}

} // namespace

class ServerTrustTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        NMailSetOption(NMailOptionLoopbackIsSafe, 0);
        NMailSetOption(NMailOptionTimeoutMs, 10000);
        QString error;
        QVERIFY2(m_ca.create(m_caDir.path(), &error), qPrintable(error));
        QVERIFY2(m_otherCa.create(m_otherCaDir.path(), &error), qPrintable(error));
    }

    // A server without encryption gets the password only after a yes, asked once
    // per server; APOP sends no password and asks nothing.
    void plainPasswordNeedsConsentOnce_data()
    {
        QTest::addColumn<int>("apop");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("questions");
        QTest::newRow("refused") << 0 << false << int(NMailErrorInsecure) << 1;
        QTest::newRow("allowed") << 0 << true << 1 << 1;
        QTest::newRow("APOP") << 1 << false << 1 << 0;
    }
    void plainPasswordNeedsConsentOnce()
    {
        QFETCH(int, apop);
        QFETCH(bool, answer);
        QFETCH(int, result);
        QFETCH(int, questions);
        testsupport::TempProgramFolder folder;
        testsupport::ScriptedPrompts prompts;
        prompts.yesNoAnswers.clear();
        prompts.yesNoAnswers.enqueue(answer);
        FakePop3Server server;
        server.messages = {"Subject: a\r\n\r\nb\r\n"};
        for (int round = 0; round < 2; ++round) {
            QCOMPARE(connectAndLogin(server, apop), result);
            QCOMPARE(prompts.shown.size(), questions);
        }
        QCOMPARE(passesSent(server), result > 0 && apop == 0 ? 4 : 0);
        if (result < 0)
            QVERIFY(NMailGetMessage().contains(QStringLiteral("パスワードを送らずに")));
        if (questions > 0)
            QVERIFY(prompts.shown.first().text.contains(QStringLiteral("暗号化されずに")));
    }

    // A certificate that does not verify is trusted only after a yes, then
    // exactly it: another certificate is asked about again, and a server
    // that drops STLS after offering it is refused without a login.
    void certificateTrustAndWithdrawnStls()
    {
        testsupport::TempProgramFolder folder;
        testsupport::ScriptedPrompts prompts;
        FakePop3Server server;
        const QString fingerprint =
            certificateFingerprint(QSslCertificate::fromPath(m_ca.certificateFile).value(0));

        struct Step
        {
            const testsupport::TestCa *ca;
            bool offerStls;
            bool answer;
            int result;
            bool asked;
        };
        const Step steps[] = {
            {&m_ca, true, false, int(NMailErrorConnect), true}, // refused: nothing remembered
            {&m_ca, true, true, 0, true},                       // trusted
            {&m_ca, true, false, 0, false},                     // the same certificate: no question
            {&m_otherCa, true, false, int(NMailErrorConnect), true}, // changed: asked, refused
            {&m_ca, false, false, int(NMailErrorInsecure), false},   // STLS stripped
        };
        for (const Step &step : steps) {
            server.tls = serverTls(*step.ca);
            server.capabilities = {"USER", step.offerStls ? "STLS" : "UIDL"};
            prompts.shown.clear();
            prompts.yesNoAnswers.clear();
            prompts.yesNoAnswers.enqueue(step.answer);
            server.commands.clear();
            QCOMPARE(connectAndLogin(server), step.result);
            QCOMPARE(prompts.shown.size(), step.asked ? 1 : 0);
            if (step.asked && step.ca == &m_ca)
                QVERIFY(prompts.shown.first().text.contains(fingerprint));
            QCOMPARE(passesSent(server), step.result >= 0 ? 2 : 0);
        }
        QVERIFY(NMailGetMessage().contains(QStringLiteral("攻撃を受けている")));
        QCOMPARE(QFile::permissions(folder.dataFile(QString::fromLatin1(ServerTrustFileName))) & 0x0777,
                 QFile::ReadUser | QFile::WriteUser);
    }

private:
    QTemporaryDir m_caDir;
    QTemporaryDir m_otherCaDir;
    testsupport::TestCa m_ca;
    testsupport::TestCa m_otherCa;
};

QTEST_GUILESS_MAIN(ServerTrustTest)
#include "tst_ServerTrust.moc"
