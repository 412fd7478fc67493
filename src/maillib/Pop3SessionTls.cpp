// Pop3Session: the socket, TLS from the start or by STLS (RFC 2595), and the
// server's certificate.
#include "maillib/Pop3Session.h"

#include "maillib/MailService_p.h"
#include "maillib/Pop3Command_p.h"
#include "maillib/Pop3ReplyParser_p.h"
#include "maillib/Pop3Texts.h"

#include <QCryptographicHash>
#include <QSslSocket>

namespace maillib {

void Pop3Session::createSocket()
{
    m_socket = new QSslSocket(this);
    // What arrives waits in the system's buffer rather than piling up here
    // while the caller is busy.
    m_socket->setReadBufferSize(4 * 1024 * 1024);
    QSslConfiguration ssl = m_settings.ssl ? *m_settings.ssl : QSslConfiguration::defaultConfiguration();
    ssl.setPeerVerifyMode(QSslSocket::VerifyPeer);
    m_socket->setSslConfiguration(ssl);
    connect(m_socket, &QSslSocket::readyRead, this, &Pop3Session::onReadyRead);
    connect(m_socket, &QSslSocket::connected, this, &Pop3Session::progress);
    connect(m_socket, &QSslSocket::encrypted, this, &Pop3Session::progress);
    connect(m_socket, &QSslSocket::errorOccurred, this, &Pop3Session::onSocketError);
    connect(m_socket, &QSslSocket::sslErrors, this, &Pop3Session::onSslErrors);
    connect(m_socket, &QSslSocket::disconnected, this, &Pop3Session::onDisconnected);
}

bool Pop3Session::startTls()
{
    CommandPtr stls = send("STLS", Command::Stls);
    if (!waitFor(stls))
        return false;
    // startHandshake() ran when the +OK arrived.
    return waitFor([this] { return m_socket->isEncrypted(); });
}

void Pop3Session::startHandshake()
{
    // RFC 2595 section 4: whatever arrived before the handshake is discarded,
    // so that nothing a third party slipped into the plain stream is taken as
    // an answer after the upgrade.
    m_replies->clear();
    m_socket->readAll();
    m_socket->startClientEncryption();
}

void Pop3Session::onSocketError()
{
    if (m_state == State::Failed || m_state == State::Closed || !m_socket)
        return;
    if (m_socket->error() == QAbstractSocket::RemoteHostClosedError) {
        onDisconnected();
        return;
    }
    const bool tls = m_socket->error() == QAbstractSocket::SslHandshakeFailedError
        || m_socket->error() == QAbstractSocket::SslInternalError
        || m_socket->error() == QAbstractSocket::SslInvalidUserDataError;
    const QString text = tls ? pop3Text(Pop3Text::TlsFailed)
                             : m_state == State::Connecting ? pop3Text(Pop3Text::ConnectFailed).arg(m_address.host)
                                                            : pop3Text(Pop3Text::TransferFailed);
    fail(failureCodeForPhase(), text + u'\n' + m_socket->errorString());
}

void Pop3Session::onSslErrors(const QList<QSslError> &errors)
{
    const QSslCertificate peer = m_socket->peerCertificate();
    if (!m_settings.trustedCertificateSha256.isEmpty() && !peer.isNull()
        && peer.digest(QCryptographicHash::Sha256) == m_settings.trustedCertificateSha256) {
        m_socket->ignoreSslErrors(errors);
        return;
    }
    QStringList reasons;
    for (const QSslError &error : errors)
        reasons.append(error.errorString());
    m_rejectedCertificate = peer;
    m_certificateProblems = reasons;
    fail(NMailErrorConnect, pop3Text(Pop3Text::CertificateRejected) + u'\n' + reasons.join(QStringLiteral("; ")));
}

} // namespace maillib
