#include "support/TestCa.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace testsupport {

namespace {

bool openssl(const QStringList &arguments, const QString &workDir, QString *error)
{
    QProcess process;
    process.setWorkingDirectory(workDir);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *error = QStringLiteral("openssl ") + arguments.value(0) + QStringLiteral(" failed: ")
            + QString::fromLocal8Bit(process.readAll());
        return false;
    }
    return true;
}

} // namespace

bool TestCa::create(const QString &directory, QString *error)
{
    const QDir dir(directory);
    caFile = dir.filePath(QStringLiteral("ca.pem"));
    certificateFile = dir.filePath(QStringLiteral("server.pem"));
    keyFile = dir.filePath(QStringLiteral("server.key"));
    QFile extensions(dir.filePath(QStringLiteral("server.ext")));
    if (!extensions.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || extensions.write("subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\n"
                            "extendedKeyUsage=serverAuth\n")
            < 0) {
        *error = QStringLiteral("cannot write ") + extensions.fileName();
        return false;
    }
    extensions.close();
    // Elliptic-curve keys: made in milliseconds, unlike RSA ones.
    const QStringList newKey = {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                                QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    return openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + newKey
                       + QStringList{QStringLiteral("-days"), QStringLiteral("30"), QStringLiteral("-subj"),
                                     QStringLiteral("/CN=GlimraMail Test CA"), QStringLiteral("-addext"),
                                     QStringLiteral("basicConstraints=critical,CA:TRUE"), QStringLiteral("-addext"),
                                     QStringLiteral("keyUsage=critical,keyCertSign,cRLSign"),
                                     QStringLiteral("-keyout"), QStringLiteral("ca.key"), QStringLiteral("-out"),
                                     QStringLiteral("ca.pem")},
                   directory, error)
        && openssl(QStringList{QStringLiteral("req")} + newKey
                       + QStringList{QStringLiteral("-subj"), QStringLiteral("/CN=localhost"), QStringLiteral("-keyout"),
                                     QStringLiteral("server.key"), QStringLiteral("-out"), QStringLiteral("server.csr")},
                   directory, error)
        && openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), QStringLiteral("server.csr"),
                    QStringLiteral("-CA"), QStringLiteral("ca.pem"), QStringLiteral("-CAkey"), QStringLiteral("ca.key"),
                    QStringLiteral("-CAcreateserial"), QStringLiteral("-days"), QStringLiteral("30"),
                    QStringLiteral("-extfile"), QStringLiteral("server.ext"), QStringLiteral("-out"),
                    QStringLiteral("server.pem")},
                   directory, error);
}

} // namespace testsupport
