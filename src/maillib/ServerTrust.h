#pragma once

#include "maillib/MailService.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QSslCertificate>
#include <QSslError>
#include <QString>
#include <QStringList>

// What the mail layer remembers of the servers it has met, and the questions
// it asks the user about them: whether a password may go to a server that
// offers no encryption, whether a server once offered encryption, and the one
// certificate the user trusts for a server whose certificate does not verify.
// Kept in "ServerTrust.ini" in the data folder, readable by the user only.
namespace maillib {

inline constexpr char ServerTrustFileName[] = "ServerTrust.ini";

// A server as the memory names it: "pop3://host:port" or "smtp://host:port".
[[nodiscard]] QString serverKey(const QString &protocol, const QString &host, int port);

// True for "localhost" and the loopback addresses (127.0.0.0/8, ::1).
[[nodiscard]] bool isLoopbackHost(const QString &host);

// "AB:CD:..." of the SHA-256 digest of the certificate.
[[nodiscard]] QString certificateFingerprint(const QSslCertificate &certificate);

class ServerTrust
{
public:
    enum class Consent { Unasked, Allowed, Refused };

    ServerTrust();
    explicit ServerTrust(QString path);

    [[nodiscard]] Consent plainPassword(const QString &server) const;
    void setPlainPassword(const QString &server, bool allowed);

    [[nodiscard]] bool offeredTls(const QString &server) const;
    void noteOfferedTls(const QString &server);

    // The SHA-256 digest (raw bytes) of the certificate trusted for server, or empty.
    [[nodiscard]] QByteArray trustedCertificate(const QString &server) const;
    void trustCertificate(const QString &server, const QSslCertificate &certificate);

    [[nodiscard]] const QString &path() const { return m_path; }

private:
    [[nodiscard]] QString read(const QString &key) const;
    void write(const QString &key, const QString &value);

    QString m_path;
};

// Asks once through questions whether the password may be sent unencrypted to
// server (the answer "no" is the default) and remembers the answer. When
// nobody can answer, the answer is no and nothing is remembered.
[[nodiscard]] bool askPlainPasswordConsent(ServerTrust &trust, ServerQuestions &questions, const QString &server,
                                           const QString &shownName);

// Asks through questions whether to trust exactly certificate, which did not
// verify for reasons, for server; a yes is remembered. With refused given, a
// no is kept there and the same certificate is not asked about again while it
// holds it, so that a run of sends asks once.
[[nodiscard]] bool askTrustCertificate(ServerTrust &trust, ServerQuestions &questions, const QString &server,
                                       const QString &shownName, const QSslCertificate &certificate,
                                       const QStringList &reasons, QSet<QByteArray> *refused = nullptr);

// The text of a refused plain-text login.
[[nodiscard]] QString plainPasswordRefusedText(const QString &shownName);
// The text of a server that offered encryption before and no longer does.
[[nodiscard]] QString encryptionWithdrawnText(const QString &shownName);

} // namespace maillib
