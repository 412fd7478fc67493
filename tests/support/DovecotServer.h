#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace testsupport {

// A private Dovecot POP3 server for integration tests, started as root from
// Debian's dovecot-pop3d on 127.0.0.1 with free ports chosen at run time, a
// fresh temporary directory (configuration, passwd file with plaintext
// passwords so that APOP works, Maildirs owned by "nobody") and, on request,
// TLS with a test CA made by openssl: STLS on the POP3 port and a POP3S port.
// Start one per test class: starting takes about 0.1 s, stopping about 1 s.
//
//     DovecotServer server;              // user "alice", password "alicepw"
//     QVERIFY2(server.start(), qPrintable(server.error()));
//     server.deliver("alice", "Subject: hi\r\n\r\nbody\r\n");
//     ... connect to server.address() ...
class DovecotServer
{
public:
    struct User
    {
        QString name;
        QString password;
    };
    struct Options
    {
        QList<User> users = {{QStringLiteral("alice"), QStringLiteral("alicepw")}};
        // Offer STLS on port() and listen for POP3S on pop3sPort().
        bool tls = false;
    };

    DovecotServer();
    explicit DovecotServer(Options options);
    // Stops the server (by its PID) and removes the directory.
    ~DovecotServer();
    DovecotServer(const DovecotServer &) = delete;
    DovecotServer &operator=(const DovecotServer &) = delete;

    // Starts the server and waits until it accepts connections. On failure
    // error() says why (the Dovecot log included).
    [[nodiscard]] bool start();
    void stop();
    [[nodiscard]] QString error() const { return m_error; }

    [[nodiscard]] quint16 port() const { return m_port; }
    [[nodiscard]] quint16 pop3sPort() const { return m_pop3sPort; }
    // "127.0.0.1:<port>", the form a POP3 server name takes.
    [[nodiscard]] QString address() const;
    // The PEM file of the test CA that signed the server certificate (TLS only).
    [[nodiscard]] QString caCertificateFile() const;
    [[nodiscard]] QString directory() const { return m_dir.path(); }
    // The whole Dovecot log so far (logins, "Disconnected: ... del=n/m" lines).
    [[nodiscard]] QString log() const;

    // Puts a message into user's Maildir (atomically, through tmp/). It is
    // seen at the next login; messages are listed in the order delivered.
    [[nodiscard]] bool deliver(const QString &user, const QByteArray &message);
    // The messages in user's Maildir (new/ and cur/), in the order delivered.
    [[nodiscard]] QList<QByteArray> messages(const QString &user) const;
    // The paths of those messages' files, in the same order.
    [[nodiscard]] QStringList messageFiles(const QString &user) const;
    // Empties user's Maildir.
    void clear(const QString &user);

private:
    bool prepare();
    bool makeCertificates();
    bool writeConfig();
    bool launch();
    [[nodiscard]] QString maildir(const QString &user) const;

    Options m_options;
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    quint16 m_port = 0;
    quint16 m_pop3sPort = 0;
    qint64 m_nextStamp = 0;
    QString m_error;
};

} // namespace testsupport
