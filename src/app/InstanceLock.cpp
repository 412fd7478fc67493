#include "app/InstanceLock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

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
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *client = m_server->nextPendingConnection()) {
            client->disconnectFromServer();
            client->deleteLater();
            Q_EMIT activationRequested();
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
