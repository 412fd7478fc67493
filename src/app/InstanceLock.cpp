#include "app/InstanceLock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace app {
namespace {

// The same folder reached by another spelling (a symbolic link, "a/../b")
// must give the same socket name.
QString canonicalFolder(const QString &dataFolder)
{
    const QString canonical = QFileInfo(dataFolder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QDir(dataFolder).absolutePath()) : canonical;
}

} // namespace

InstanceLock::InstanceLock(const QString &dataFolder, QObject *parent) : QObject(parent)
{
    const QByteArray path = QFile::encodeName(dataFolder + QLatin1Char('/') + QLatin1String(LockFileName));
    // Close-on-exec: a browser or any other program started from here must
    // not inherit the lock and keep it after this program has ended.
    do
        m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0) {
        m_state = State::Unavailable;
        return;
    }
    int locked;
    do
        locked = ::flock(m_fd, LOCK_EX | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        m_state = errno == EWOULDBLOCK ? State::AlreadyRunning : State::Unavailable;
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_state = State::Held;
    listen(dataFolder);
}

InstanceLock::~InstanceLock()
{
    stopListening();
    if (m_fd >= 0)
        ::close(m_fd); // closing the only descriptor drops the lock
}

void InstanceLock::stopListening()
{
    if (m_server)
        m_server->close();
}

QString InstanceLock::serverName(const QString &dataFolder)
{
    const QByteArray digest =
        QCryptographicHash::hash(canonicalFolder(dataFolder).toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
    return QStringLiteral("GlimraMail-%1-%2").arg(::getuid()).arg(QString::fromLatin1(digest));
}

void InstanceLock::listen(const QString &dataFolder)
{
    const QString name = serverName(dataFolder);
    // Only the lock holder gets here, so a socket left by a program that was
    // killed is stale and may go.
    QLocalServer::removeServer(name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A start that only wants the window connects and goes; one with a link
    // writes it, ended by a line break, and then goes. What a client sends
    // is read once it has gone, and at most MaxLinkBytes of it.
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *client = m_server->nextPendingConnection()) {
            client->setReadBufferSize(MaxLinkBytes + 1);
            auto finish = [this, client] {
                if (client->property("glimraDone").toBool())
                    return;
                client->setProperty("glimraDone", true);
                const QByteArray received = client->readAll();
                client->deleteLater();
                const qsizetype end = received.indexOf('\n');
                if (end > 0 && received.size() <= MaxLinkBytes)
                    Q_EMIT linkReceived(QString::fromUtf8(received.left(end)));
                else
                    Q_EMIT activationRequested();
            };
            connect(client, &QLocalSocket::disconnected, this, finish);
            // Nothing is waited for longer than this, whatever the client does.
            QTimer::singleShot(5000, client, [client] { client->abort(); });
            if (client->state() != QLocalSocket::ConnectedState)
                finish();
        }
    });
    // Without the socket the lock still holds; only the window cannot be
    // brought forward by a later start.
    if (!m_server->listen(name)) {
        delete m_server;
        m_server = nullptr;
    }
}

bool InstanceLock::requestActivation(const QString &dataFolder, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverName(dataFolder));
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.disconnectFromServer();
    return true;
}

} // namespace app

namespace app {

bool InstanceLock::sendLink(const QString &dataFolder, const QString &link, int timeoutMs)
{
    const QByteArray line = link.toUtf8() + '\n';
    if (line.size() > MaxLinkBytes || link.contains(QLatin1Char('\n')))
        return false;
    QLocalSocket socket;
    socket.connectToServer(serverName(dataFolder));
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(line);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(timeoutMs))
            return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return true;
}

} // namespace app
