#include "support/SmtpSink.h"

#include <QJsonArray>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QThread>

namespace testsupport {

namespace {

constexpr auto python = "/usr/bin/python3"; // Debian's, which has aiosmtpd

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

QString SmtpSink::supportDir()
{
    const QByteArray source = qgetenv("GLIMRA_SOURCE_DIR");
    if (!source.isEmpty())
        return QString::fromLocal8Bit(source) + QStringLiteral("/tests/support");
#ifdef GLIMRA_TEST_SUPPORT_DIR
    return QStringLiteral(GLIMRA_TEST_SUPPORT_DIR);
#else
    return QStringLiteral("tests/support");
#endif
}

SmtpSink::SmtpSink() : SmtpSink(Options{}) {}

SmtpSink::SmtpSink(const Options &options)
{
    QStringList args = {supportDir() + QStringLiteral("/smtp_sink.py"), m_dir.path()};
    if (options.startTls)
        args << QStringLiteral("--starttls");
    if (options.implicitTls)
        args << QStringLiteral("--smtps");
    if (options.startTls || options.implicitTls)
        args << QStringLiteral("--cert") << options.certFile << QStringLiteral("--key") << options.keyFile;
    if (!options.authUser.isEmpty())
        args << QStringLiteral("--auth") << options.authUser + u':' + options.authPassword;
    if (options.requireAuth)
        args << QStringLiteral("--require-auth");
    if (!options.rejectPrefix.isEmpty())
        args << QStringLiteral("--reject-prefix") << options.rejectPrefix;

    m_process.start(QString::fromLatin1(python), args);
    const QDeadlineTimer deadline(15000);
    QByteArray out;
    while (!deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
        m_process.waitForReadyRead(100);
        out += m_process.readAllStandardOutput();
        const qsizetype eol = out.indexOf('\n');
        if (eol >= 0 && out.startsWith("PORT ")) {
            m_port = quint16(out.mid(5, eol - 5).trimmed().toUInt());
            return;
        }
    }
    m_diagnostics = QString::fromLocal8Bit(out + m_process.readAllStandardError());
}

SmtpSink::~SmtpSink()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate(); // SIGTERM to the one process this fixture started
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

QList<SmtpSink::Received> SmtpSink::messages() const
{
    QList<Received> result;
    for (int n = 1;; ++n) {
        const QString base = m_dir.path() + u'/' + QString::number(n);
        if (!QFile::exists(base + QStringLiteral(".json")))
            break;
        Received r;
        r.raw = readFile(base + QStringLiteral(".eml"));
        r.envelope = QJsonDocument::fromJson(readFile(base + QStringLiteral(".json"))).object();
        result.append(r);
    }
    return result;
}

QList<SmtpSink::Received> SmtpSink::waitForMessages(int count, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    QList<Received> found = messages();
    while (found.size() < count && !deadline.hasExpired()) {
        QThread::msleep(20);
        found = messages();
    }
    return found;
}

int SmtpSink::connectionCount() const
{
    return int(readFile(m_dir.path() + QStringLiteral("/connections.log")).count('\n'));
}

QJsonObject SmtpSink::parseWithPython(const QByteArray &raw)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/message.eml");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write(raw);
    f.close();
    QProcess p;
    p.start(QString::fromLatin1(python), {supportDir() + QStringLiteral("/mime_dump.py"), path});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        qWarning("mime_dump.py failed: %s", p.readAllStandardError().constData());
        return {};
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

QString parsedHeader(const QJsonObject &parsed, const QString &name)
{
    for (const QJsonValue &h : parsed.value(QStringLiteral("headers")).toArray()) {
        const QJsonArray pair = h.toArray();
        if (pair.at(0).toString().compare(name, Qt::CaseInsensitive) == 0)
            return pair.at(1).toString();
    }
    return QStringLiteral("<missing>");
}

QJsonObject parsedPart(const QJsonObject &parsed, int index)
{
    return parsed.value(QStringLiteral("parts")).toArray().at(index).toObject();
}

} // namespace testsupport
