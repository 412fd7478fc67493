#include "BenchSupport.h"

#include "support/DovecotServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

namespace bench {
namespace {

long statusKb(const QByteArray &key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

} // namespace

bool startServer(testsupport::DovecotServer &server)
{
    if (server.start())
        return true;
    std::fprintf(stderr, "Dovecot: %s\n", qPrintable(server.error()));
    return false;
}

bool refill(testsupport::DovecotServer &server, const QList<QByteArray> &messages)
{
    server.clear(user);
    return std::all_of(messages.cbegin(), messages.cend(), [&](const QByteArray &m) { return server.deliver(user, m); });
}

long peakRssKb()
{
    return statusKb("VmHWM:");
}

long currentRssKb()
{
    return statusKb("VmRSS:");
}

Timing timeProcess(const QString &program, const QStringList &args, int timeoutMs)
{
    QProcess p;
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    const bool finished = p.waitForFinished(timeoutMs);
    Timing t;
    t.output = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    t.error = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
    if (!finished) {
        p.kill(); // only the process started here
        p.waitForFinished(2000);
        t.error += QStringLiteral(" (time-out)");
        return t;
    }
    if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        t.seconds = clock.nsecsElapsed() / 1e9;
    return t;
}

double outputValue(const QString &line, const QString &key)
{
    const qsizetype at = line.indexOf(key + u'=');
    if (at < 0)
        return -1;
    const qsizetype from = at + key.size() + 1;
    bool ok = false;
    const double value = line.mid(from, line.indexOf(u' ', from) - from).toDouble(&ok);
    return ok ? value : -1;
}

double median(QList<double> values)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

QStringList mpopArguments(quint16 port, const QString &maildir)
{
    return {QStringLiteral("--host=127.0.0.1"), QStringLiteral("--port=%1").arg(port), QStringLiteral("--user=") + user,
            QStringLiteral("--passwordeval=echo ") + password, QStringLiteral("--auth=user"),
            QStringLiteral("--tls=off"), QStringLiteral("--delivery=maildir,") + maildir,
            QStringLiteral("--keep=off"), QStringLiteral("--only-new=off"),
            QStringLiteral("--uidls-file=") + maildir + QStringLiteral("/uidls"),
            QStringLiteral("--received-header=off"), QStringLiteral("--quiet")};
}

QByteArray bigMessage(int attachmentMb, int textKb)
{
    std::mt19937 rng(48);
    QByteArray content(qsizetype(attachmentMb) * 1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i + 4 <= content.size(); i += 4) {
        const quint32 r = rng();
        std::memcpy(content.data() + i, &r, 4);
    }
    const QByteArray base64 = content.toBase64();
    // A Japanese line of 60 characters (180 bytes in UTF-8), repeated.
    const QByteArray line = QByteArray("受信の速さと滑らかさを測るための本文です。").repeated(3) + "\r\n";
    const QByteArray text = textKb > 0 ? line.repeated(textKb * 1024 / line.size() + 1)
                                       : QByteArray("\xE6\xB7\xBB\xE4\xBB\x98\r\n");
    QByteArray raw = "From: =?UTF-8?B?5bGx55Sw?= <yamada@example.jp>\r\nTo: alice@example.jp\r\n"
                     "Subject: =?UTF-8?B?5aSn44GN44Gq5re75LuY?=\r\nDate: Wed, 09 Dec 2026 10:00:00 +0900\r\n"
                     "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"=_big\"\r\n\r\n"
                     "--=_big\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
                     + text
                     + "--=_big\r\nContent-Type: application/octet-stream; name=big.bin\r\n"
                       "Content-Disposition: attachment; filename=big.bin\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    raw.reserve(raw.size() + base64.size() * 78 / 76 + 64);
    for (qsizetype i = 0; i < base64.size(); i += 76) {
        raw.append(base64.constData() + i, std::min<qsizetype>(76, base64.size() - i));
        raw.append("\r\n");
    }
    return raw + "--=_big--\r\n";
}

} // namespace bench
