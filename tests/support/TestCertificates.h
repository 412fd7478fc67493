#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace testsupport {

// A throw-away certificate authority and a server certificate it signed for
// "localhost" and 127.0.0.1, made with openssl when the test runs. Point
// SSL_CERT_FILE at caFile() to make a client trust it.
class TestCertificates
{
public:
    TestCertificates()
    {
        const QString dir = m_dir.path();
        QFile ext(dir + QStringLiteral("/server.ext"));
        if (ext.open(QIODevice::WriteOnly)) {
            ext.write("basicConstraints=CA:FALSE\n"
                      "keyUsage=digitalSignature,keyEncipherment\n"
                      "extendedKeyUsage=serverAuth\n"
                      "subjectAltName=DNS:localhost,IP:127.0.0.1\n");
            ext.close();
        }
        const QStringList ec = {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                                QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
        m_ok = run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ec
                   + QStringList{QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                                 QStringLiteral("/CN=GlimraMail Test CA"), QStringLiteral("-addext"),
                                 QStringLiteral("basicConstraints=critical,CA:TRUE"), QStringLiteral("-addext"),
                                 QStringLiteral("keyUsage=critical,keyCertSign,cRLSign"), QStringLiteral("-keyout"),
                                 dir + QStringLiteral("/ca.key"), QStringLiteral("-out"), caFile()})
            && run(QStringList{QStringLiteral("req")} + ec
                   + QStringList{QStringLiteral("-subj"), QStringLiteral("/CN=localhost"), QStringLiteral("-keyout"),
                                 keyFile(), QStringLiteral("-out"), dir + QStringLiteral("/server.csr")})
            && run({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                    dir + QStringLiteral("/server.csr"), QStringLiteral("-CA"), caFile(), QStringLiteral("-CAkey"),
                    dir + QStringLiteral("/ca.key"), QStringLiteral("-CAcreateserial"), QStringLiteral("-days"),
                    QStringLiteral("2"), QStringLiteral("-extfile"), dir + QStringLiteral("/server.ext"),
                    QStringLiteral("-out"), certFile()});
    }

    [[nodiscard]] bool isValid() const { return m_ok; }
    [[nodiscard]] QString caFile() const { return m_dir.path() + QStringLiteral("/ca.pem"); }
    [[nodiscard]] QString certFile() const { return m_dir.path() + QStringLiteral("/server.pem"); }
    [[nodiscard]] QString keyFile() const { return m_dir.path() + QStringLiteral("/server.key"); }

private:
    static bool run(const QStringList &args)
    {
        QProcess p;
        p.start(QStringLiteral("openssl"), args);
        return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    QTemporaryDir m_dir;
    bool m_ok = false;
};

} // namespace testsupport
