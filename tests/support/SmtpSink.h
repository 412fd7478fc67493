#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// A real SMTP server for the tests: aiosmtpd (smtp_sink.py) on 127.0.0.1 and a
// free port, storing every message it accepts with its envelope. Optionally
// STARTTLS, implicit TLS, AUTH, and refusal of recipients by prefix.
class SmtpSink
{
public:
    struct Options
    {
        bool startTls = false;
        bool implicitTls = false;
        QString certFile;
        QString keyFile;
        QString authUser; // AUTH offered when set (after STARTTLS, or at once with implicit TLS)
        QString authPassword;
        bool requireAuth = false;
        QString rejectPrefix; // RCPT of an address starting with this is refused with 550
    };

    struct Received
    {
        QByteArray raw;        // the message exactly as stored by the server
        QJsonObject envelope;  // mail_from, rcpt_tos, mail_options, helo, tls, authenticated, auth_login
    };

    SmtpSink();
    explicit SmtpSink(const Options &options);
    ~SmtpSink();
    SmtpSink(const SmtpSink &) = delete;
    SmtpSink &operator=(const SmtpSink &) = delete;

    [[nodiscard]] bool isRunning() const { return m_port != 0; }
    [[nodiscard]] quint16 port() const { return m_port; }
    [[nodiscard]] QString diagnostics() const { return m_diagnostics; }

    // The messages stored so far, in order.
    [[nodiscard]] QList<Received> messages() const;
    // Waits up to timeoutMs for at least count messages and returns what is there.
    [[nodiscard]] QList<Received> waitForMessages(int count, int timeoutMs = 10000) const;
    // Connections the server has accepted so far.
    [[nodiscard]] int connectionCount() const;

    // Parses a stored message with Python's email package (mime_dump.py).
    [[nodiscard]] static QJsonObject parseWithPython(const QByteArray &raw);
    // Where the helper scripts live.
    [[nodiscard]] static QString supportDir();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_diagnostics;
};

// The value of header name in what parseWithPython returned, "<missing>" when absent.
QString parsedHeader(const QJsonObject &parsed, const QString &name);
// Leaf part index of what parseWithPython returned.
QJsonObject parsedPart(const QJsonObject &parsed, int index);

} // namespace testsupport
