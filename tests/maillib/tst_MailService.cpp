// Two services keep apart: a wait, a session, a stop request and the last
// error of one are not the other's; a stop may come from any thread.
#include "maillib/MailService.h"
#include "support/FakePop3Server.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <thread>

using maillib::MailResult;
using maillib::MailService;
using testsupport::FakePop3Server;

class MailServiceTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void servicesAreIndependent_data()
    {
        QTest::addColumn<bool>("stopOwnService");
        QTest::addColumn<int>("code");
        QTest::newRow("stopped from another thread") << true << int(maillib::NMailErrorCancelled);
        QTest::newRow("the other service stopped") << false << int(maillib::NMailErrorTimeout);
    }
    void servicesAreIndependent()
    {
        QFETCH(bool, stopOwnService);
        QFETCH(int, code);
        FakePop3Server server;
        server.messages = {"Subject: 1\r\n\r\n1\r\n"};
        server.hook = [](const QByteArray &command) -> std::optional<FakePop3Server::Reply> {
            if (command == "RETR 1")
                return FakePop3Server::Reply{}; // stalls
            return std::nullopt;
        };
        MailService waiting;
        MailService other;
        waiting.setOption(maillib::NMailOptionTimeoutMs, stopOwnService ? 20000 : 500);
        const MailResult connected = waiting.pop3Connect(server.address());
        QVERIFY(connected);
        const int handle = int(connected.value());
        QCOMPARE(waiting.pop3Authenticate(handle, QStringLiteral("alice"), QStringLiteral("tanstaaf"), false).value(), 1);

        // While one service waits, the other is not busy and holds none of its sessions.
        int otherCode = 0;
        QTimer::singleShot(50, [&] { otherCode = other.pop3MailSize(handle, 1).code(); });
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            (stopOwnService ? waiting : other).cancel();
        });
        QElapsedTimer clock;
        clock.start();
        const MailResult fetched = waiting.pop3Mail(handle, 1, nullptr);
        stopper.join();
        QCOMPARE(fetched.code(), code);
        QVERIFY(!fetched.sessionUsable());
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(otherCode, int(maillib::NMailErrorHandle));
        QCOMPARE(waiting.lastError(), fetched.message());
        QVERIFY(other.lastError() != waiting.lastError());
    }
};

QTEST_GUILESS_MAIN(MailServiceTest)
#include "tst_MailService.moc"
