#include "support/DovecotServer.h"

#include "support/TestCa.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

namespace {

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress(QHostAddress::LocalHost), 0))
        return 0;
    return probe.serverPort();
}

bool writeFile(const QString &path, const QByteArray &bytes, QFileDevice::Permissions permissions)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return file.setPermissions(permissions);
}

bool chownToNobody(const QString &path)
{
    const passwd *user = getpwnam("nobody");
    const group *grp = getgrnam("nogroup");
    if (!user || !grp)
        return false;
    return ::chown(QFile::encodeName(path).constData(), user->pw_uid, grp->gr_gid) == 0;
}

// The order a file was delivered in, from its name ("<stamp>.M0P<pid>.glimratest[:2,S]").
qint64 deliveryStamp(const QString &fileName)
{
    return fileName.section(u'.', 0, 0).toLongLong();
}

} // namespace

DovecotServer::DovecotServer()
    : DovecotServer(Options())
{
}

DovecotServer::DovecotServer(Options options)
    : m_options(std::move(options))
    , m_dir(QDir::tempPath() + QStringLiteral("/glimra-dovecot-XXXXXX"))
    , m_nextStamp(QDateTime::currentSecsSinceEpoch())
{
}

DovecotServer::~DovecotServer()
{
    stop();
}

QString DovecotServer::address() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

QString DovecotServer::caCertificateFile() const
{
    return m_dir.filePath(QStringLiteral("ca.pem"));
}

QString DovecotServer::log() const
{
    QFile file(m_dir.filePath(QStringLiteral("dovecot.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString DovecotServer::maildir(const QString &user) const
{
    return m_dir.filePath(QStringLiteral("mail/") + user);
}

bool DovecotServer::start()
{
    if (m_process)
        return true;
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("cannot create a temporary directory");
        return false;
    }
    if (!prepare() || (m_options.tls && !makeCertificates()))
        return false;
    // A port chosen free can be taken by someone else before Dovecot binds it.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (launch())
            return true;
        if (!log().contains(QLatin1String("Address already in use")))
            return false;
    }
    return false;
}

bool DovecotServer::prepare()
{
    const QDir root(m_dir.path());
    // Dovecot's unprivileged processes must reach the Maildirs and sockets.
    ::chmod(QFile::encodeName(m_dir.path()).constData(), 0755);
    QByteArray passwd;
    for (const User &user : m_options.users) {
        passwd += user.name.toUtf8() + ":{PLAIN}" + user.password.toUtf8() + "\n";
        for (const char *sub : {"cur", "new", "tmp"}) {
            if (!root.mkpath(maildir(user.name) + u'/' + QLatin1String(sub))) {
                m_error = QStringLiteral("cannot create the Maildir of ") + user.name;
                return false;
            }
        }
    }
    if (!writeFile(m_dir.filePath(QStringLiteral("passwd")), passwd,
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther)) {
        m_error = QStringLiteral("cannot write the passwd file");
        return false;
    }
    // The mail processes run as nobody and need to own the Maildirs.
    root.mkpath(QStringLiteral("mail"));
    QStringList owned = {m_dir.filePath(QStringLiteral("mail"))};
    for (const User &user : m_options.users) {
        owned << maildir(user.name);
        for (const char *sub : {"cur", "new", "tmp"})
            owned << maildir(user.name) + u'/' + QLatin1String(sub);
    }
    for (const QString &path : owned) {
        if (!chownToNobody(path)) {
            m_error = QStringLiteral("cannot hand ") + path + QStringLiteral(" to nobody (run as root)");
            return false;
        }
    }
    return true;
}

bool DovecotServer::makeCertificates()
{
    TestCa ca;
    return ca.create(m_dir.path(), &m_error);
}

bool DovecotServer::writeConfig()
{
    const QString d = m_dir.path();
    QString conf = QStringLiteral(R"(base_dir = %1/run
state_dir = %1/state
instance_name = glimra-%2
listen = 127.0.0.1
protocols = pop3
disable_plaintext_auth = no
auth_mechanisms = plain apop
log_path = %1/dovecot.log
info_log_path = %1/dovecot.log
mail_location = maildir:%1/mail/%u
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u %1/passwd
}
userdb {
  driver = static
  args = uid=nobody gid=nogroup home=%1/mail/%u
}
service pop3-login {
  inet_listener pop3 {
    address = 127.0.0.1
    port = %2
  }
  inet_listener pop3s {
    address = 127.0.0.1
    port = %3
  }
}
auth_failure_delay = 0
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
)")
                       .arg(d)
                       .arg(m_port)
                       .arg(m_pop3sPort);
    if (m_options.tls)
        conf += QStringLiteral("ssl = yes\nssl_cert = <%1/server.pem\nssl_key = <%1/server.key\n").arg(d);
    else
        conf += QStringLiteral("ssl = no\n");
    return writeFile(m_dir.filePath(QStringLiteral("dovecot.conf")), conf.toUtf8(),
                     QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
}

bool DovecotServer::launch()
{
    m_port = freePort();
    m_pop3sPort = m_options.tls ? freePort() : 0;
    // A fresh base_dir every time: stale sockets slow the first login down.
    QDir(m_dir.filePath(QStringLiteral("run"))).removeRecursively();
    QDir(m_dir.path()).mkpath(QStringLiteral("run"));
    QDir(m_dir.path()).mkpath(QStringLiteral("state"));
    QFile::remove(m_dir.filePath(QStringLiteral("dovecot.log")));
    if (m_port == 0 || (m_options.tls && m_pop3sPort == 0) || !writeConfig()) {
        m_error = QStringLiteral("cannot choose ports or write the configuration");
        return false;
    }
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->start(QStringLiteral("dovecot"),
                     {QStringLiteral("-F"), QStringLiteral("-c"), m_dir.filePath(QStringLiteral("dovecot.conf"))});
    if (!m_process->waitForStarted(10000)) {
        m_error = QStringLiteral("cannot start dovecot: ") + m_process->errorString();
        m_process.reset();
        return false;
    }
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        if (m_process->state() == QProcess::NotRunning)
            break;
        QTcpSocket probe;
        probe.connectToHost(QHostAddress(QHostAddress::LocalHost), m_port);
        if (probe.waitForConnected(200)) {
            probe.abort();
            return true;
        }
        QThread::msleep(20);
    }
    m_error = QStringLiteral("dovecot did not start listening: ") + QString::fromLocal8Bit(m_process->readAll())
        + log();
    stop();
    return false;
}

void DovecotServer::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate(); // SIGTERM to the master's PID; it takes its children down.
        if (!m_process->waitForFinished(10000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
    m_process.reset();
}

bool DovecotServer::deliver(const QString &user, const QByteArray &message)
{
    const QString name = QStringLiteral("%1.M0P%2.glimratest").arg(m_nextStamp++).arg(::getpid());
    const QString temporary = maildir(user) + QStringLiteral("/tmp/") + name;
    if (!writeFile(temporary, message,
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther))
        return false;
    return ::rename(QFile::encodeName(temporary).constData(),
                    QFile::encodeName(maildir(user) + QStringLiteral("/new/") + name).constData())
        == 0;
}

QStringList DovecotServer::messageFiles(const QString &user) const
{
    QStringList files;
    for (const char *sub : {"new", "cur"}) {
        const QDir dir(maildir(user) + u'/' + QLatin1String(sub));
        for (const QString &name : dir.entryList(QDir::Files))
            files << dir.filePath(name);
    }
    std::sort(files.begin(), files.end(), [](const QString &a, const QString &b) {
        return deliveryStamp(QFileInfo(a).fileName()) < deliveryStamp(QFileInfo(b).fileName());
    });
    return files;
}

QList<QByteArray> DovecotServer::messages(const QString &user) const
{
    QList<QByteArray> result;
    for (const QString &path : messageFiles(user)) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            result << file.readAll();
    }
    return result;
}

void DovecotServer::clear(const QString &user)
{
    for (const QString &path : messageFiles(user))
        QFile::remove(path);
}

} // namespace testsupport
