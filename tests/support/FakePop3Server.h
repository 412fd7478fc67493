#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QHostAddress>
#include <QList>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <optional>

namespace testsupport {

// A scripted POP3 server on 127.0.0.1 for protocol tests, run by the test's own
// event loop. It serves a small mailbox (USER/PASS, APOP, STAT, LIST, RETR with
// dot-stuffing, DELE, QUIT committing the deletions) and lets a test replace the
// reply to any command, cut the connection or stay silent.
class FakePop3Server
{
public:
    // What a test's hook makes of one command: a reply to send instead of the
    // mailbox's own, and whether to close the connection after it.
    struct Reply
    {
        QByteArray bytes;
        bool close = false;
        // Start the TLS handshake (with tls below) right after the bytes.
        bool startTls = false;
    };
    using Hook = std::function<std::optional<Reply>(const QByteArray &command)>;

    FakePop3Server()
    {
        m_server.listen(QHostAddress(QHostAddress::LocalHost), 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] { accept(); });
    }

    [[nodiscard]] quint16 port() const { return m_server.serverPort(); }
    [[nodiscard]] QString address() const { return QStringLiteral("127.0.0.1:%1").arg(port()); }

    // The greeting line without CRLF; empty means never to greet.
    QByteArray greeting = "+OK fake POP3 ready <1896.697170952@dbc.mtview.ca.us>";
    QList<QByteArray> capabilities = {"USER", "UIDL"};
    QByteArray user = "alice";
    QByteArray password = "tanstaaf";
    // The APOP digest accepted: RFC 1939's example for the greeting and password above.
    QByteArray apopDigest = "c4c9334bac560ecc979e58001b3e22fb";
    // Messages as stored: CRLF line ends, not dot-stuffed.
    QList<QByteArray> messages;
    // Replies are written this many bytes at a time, each on its own timer tick (0: at once).
    int chunkSize = 0;
    // Milliseconds between those pieces (a server trickling its reply).
    int chunkIntervalMs = 0;
    Hook hook;
    // Certificate and key for STLS (offer it by adding "STLS" to capabilities).
    QSslConfiguration tls;

    // What happened: every command line, the most command lines that arrived
    // together before an answer, connections, and the messages deleted by QUIT.
    QList<QByteArray> commands;
    int mostCommandsAtOnce = 0;
    int connections = 0;
    QList<int> committed;

private:
    void accept()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            ++connections;
            m_socket = socket;
            m_in.clear();
            m_marked.clear();
            m_loggedIn = false;
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
            if (!greeting.isEmpty())
                write(socket, greeting + "\r\n", false);
        }
    }

    void read(QTcpSocket *socket)
    {
        m_in.append(socket->readAll());
        int together = 0;
        qsizetype eol;
        while ((eol = m_in.indexOf("\r\n")) >= 0) {
            const QByteArray line = m_in.left(eol);
            m_in.remove(0, eol + 2);
            commands.append(line);
            ++together;
            mostCommandsAtOnce = qMax(mostCommandsAtOnce, together);
            if (hook) {
                if (std::optional<Reply> reply = hook(line)) {
                    if (!respond(socket, *reply))
                        return;
                    continue;
                }
            }
            if (!respond(socket, answer(line)))
                return;
        }
    }

    // Sends a reply; false when nothing more is to be read from this connection now.
    bool respond(QTcpSocket *socket, const Reply &reply)
    {
        write(socket, reply.bytes, reply.close);
        if (reply.startTls) {
            auto *ssl = static_cast<QSslSocket *>(socket);
            ssl->setSslConfiguration(tls);
            m_in.clear();
            ssl->startServerEncryption();
            return false;
        }
        return !reply.close;
    }

    Reply answer(const QByteArray &line)
    {
        const QList<QByteArray> words = line.split(' ');
        const QByteArray verb = words.value(0).toUpper();
        const int number = words.value(1).toInt();
        const bool valid = number >= 1 && number <= messages.size() && !m_marked.contains(number);
        if (verb == "CAPA") {
            QByteArray reply = "+OK\r\n";
            for (const QByteArray &c : capabilities)
                reply += c + "\r\n";
            return {reply + ".\r\n"};
        }
        if (verb == "STLS")
            return {"+OK Begin TLS negotiation now.\r\n", false, true};
        if (verb == "USER")
            return {"+OK\r\n"};
        if (verb == "PASS") {
            m_loggedIn = line.mid(5) == password;
            return {m_loggedIn ? "+OK Logged in.\r\n" : "-ERR [AUTH] Authentication failed.\r\n"};
        }
        if (verb == "APOP") {
            m_loggedIn = words.value(1) == user && words.value(2) == apopDigest;
            return {m_loggedIn ? "+OK Logged in.\r\n" : "-ERR [AUTH] Authentication failed.\r\n"};
        }
        if (verb == "QUIT") {
            committed.append(m_marked);
            return {"+OK Logging out.\r\n", true};
        }
        if (!m_loggedIn)
            return {"-ERR Unknown command.\r\n"};
        if (verb == "STAT") {
            qint64 total = 0;
            for (const QByteArray &m : messages)
                total += m.size();
            return {"+OK " + QByteArray::number(messages.size()) + ' ' + QByteArray::number(total) + "\r\n"};
        }
        if (verb == "LIST") {
            QByteArray reply = "+OK\r\n";
            for (int i = 0; i < messages.size(); ++i)
                reply += QByteArray::number(i + 1) + ' ' + QByteArray::number(messages[i].size()) + "\r\n";
            return {reply + ".\r\n"};
        }
        if (verb == "UIDL" && capabilities.contains("UIDL")) {
            // A unique ID made from the message itself, so that it stays
            // the same from one connection to the next.
            QByteArray reply = "+OK\r\n";
            for (int i = 0; i < messages.size(); ++i)
                reply += QByteArray::number(i + 1) + ' '
                    + QCryptographicHash::hash(messages[i], QCryptographicHash::Sha1).toHex().left(20) + "\r\n";
            return {reply + ".\r\n"};
        }
        if (verb == "RETR" && valid) {
            QByteArray reply = "+OK " + QByteArray::number(messages[number - 1].size()) + " octets\r\n";
            QList<QByteArray> lines = messages[number - 1].split('\n');
            if (lines.last().isEmpty())
                lines.removeLast(); // the piece after the final LF
            for (const QByteArray &l : lines)
                reply += (l.startsWith('.') ? "." : "") + l + "\n";
            return {reply + ".\r\n"};
        }
        if (verb == "DELE" && valid) {
            m_marked.append(number);
            return {"+OK Marked to be deleted.\r\n"};
        }
        return {"-ERR No such message.\r\n"};
    }

    void write(QTcpSocket *socket, const QByteArray &bytes, bool close)
    {
        if (chunkSize <= 0) {
            socket->write(bytes);
            if (close)
                socket->disconnectFromHost();
            return;
        }
        m_outQueue.append(bytes);
        m_closeAfterQueue = m_closeAfterQueue || close;
        if (!m_dribble) {
            m_dribble = new QTimer(socket);
            QObject::connect(m_dribble, &QTimer::timeout, socket, [this, socket] {
                socket->write(m_outQueue.left(chunkSize));
                socket->flush();
                m_outQueue.remove(0, chunkSize);
                if (m_outQueue.isEmpty()) {
                    m_dribble->stop();
                    if (m_closeAfterQueue)
                        socket->disconnectFromHost();
                }
            });
        }
        if (!m_dribble->isActive())
            m_dribble->start(chunkIntervalMs);
    }

private:
    // Hands out QSslSocket connections, so that STLS can upgrade them.
    class Server : public QTcpServer
    {
    protected:
        void incomingConnection(qintptr descriptor) override
        {
            auto *socket = new QSslSocket(this);
            socket->setSocketDescriptor(descriptor);
            addPendingConnection(socket);
        }
    };

    Server m_server;
    QTcpSocket *m_socket = nullptr;
    QByteArray m_in;
    QList<int> m_marked;
    bool m_loggedIn = false;
    QByteArray m_outQueue;
    bool m_closeAfterQueue = false;
    QTimer *m_dribble = nullptr;
};

} // namespace testsupport
