#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace testsupport {
class DovecotServer;
}

// What the mail benchmarks share: their Dovecot's user, starting and refilling
// it, timing a contender's process, mpop's command line, memory figures and
// the generated large message.
namespace bench {

inline const QString user = QStringLiteral("alice");
inline const QString password = QStringLiteral("alicepw");

// Starts server; says why on standard error when it does not start.
[[nodiscard]] bool startServer(testsupport::DovecotServer &server);
// Empties the user's mailbox and delivers messages into it, in this order.
[[nodiscard]] bool refill(testsupport::DovecotServer &server, const QList<QByteArray> &messages);

// The peak and the current resident size of this process (VmHWM, VmRSS), in kB.
// ru_maxrss is not used: across fork and exec it keeps the parent's peak.
[[nodiscard]] long peakRssKb();
[[nodiscard]] long currentRssKb();

struct Timing
{
    double seconds = -1; // -1 when the process failed or ran out of time
    QString output;
    QString error;
};
// Runs program to its end (killed after timeoutMs) and times it.
[[nodiscard]] Timing timeProcess(const QString &program, const QStringList &args, int timeoutMs = 900000);
// A value of key=value in a contender's output line; -1 when missing.
[[nodiscard]] double outputValue(const QString &line, const QString &key);
[[nodiscard]] double median(QList<double> values);

// mpop fetching and deleting the user's mailbox on 127.0.0.1:port into maildir
// (with new/, cur/ and tmp/ in place).
[[nodiscard]] QStringList mpopArguments(quint16 port, const QString &maildir);

// One multipart message: a UTF-8 Japanese text part of about textKb KB (a
// word when 0) and an attachment of attachmentMb MiB of random bytes in base64.
[[nodiscard]] QByteArray bigMessage(int attachmentMb, int textKb = 0);

} // namespace bench
