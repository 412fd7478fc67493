#pragma once

#include <functional>
#include <memory>

#include "maillib/SmtpServerName.h"

#include <QByteArray>
#include <QString>

// Hands one finished message to an SMTP server through libcurl: one sender,
// one recipient, STARTTLS or implicit TLS, AUTH when the server address names
// a user. The transfer runs on a worker thread while the calling thread keeps
// its event loop turning, so windows keep painting (user input is held back).
namespace maillib {

namespace detail {
class MailWaits;
}

// The connection one service keeps open between sends while told to
// (NMailOptionSmtpKeepConnection); ending it sends QUIT.
class SmtpConnectionKeeper
{
public:
    SmtpConnectionKeeper();
    ~SmtpConnectionKeeper();
    SmtpConnectionKeeper(const SmtpConnectionKeeper &) = delete;
    SmtpConnectionKeeper &operator=(const SmtpConnectionKeeper &) = delete;

    void setKeep(bool keep);
    [[nodiscard]] bool keep() const;

    struct Connection;
    [[nodiscard]] Connection &connection() { return *m_connection; }

private:
    std::unique_ptr<Connection> m_connection;
};

struct SmtpTimeouts
{
    int connectSeconds = 30;  // TCP connect and TLS handshake
    int responseSeconds = 60; // longest wait for one server reply
    int stallSeconds = 60;    // longest time without a byte moving while data is sent
    qint64 overallMs = 0;     // longest the whole send may take; 0 = no bound
};

struct SmtpRequest
{
    SmtpServerName server;
    QString userId;   // used only when server.user is not empty
    QString password; // likewise
    QString from;     // bare addresses (local@domain)
    QString to;
    QByteArray message; // the whole message, CRLF line ends
    QByteArray ehloName = "localhost";
    SmtpTimeouts timeouts;
    // SHA-256 digest of the one certificate the user trusts for this server
    // although it does not verify. When set, exactly that certificate is
    // accepted and every other one refused, whatever signed it.
    QByteArray trustedCertificateSha256;
    // Asked from the transfer's thread now and then; true stops the send (NMailErrorCancelled).
    std::function<bool()> cancelled;
    // Only connect, encrypt as a send would and log in when the address names
    // a user, then end with QUIT: no mail is sent (from, to and message unused).
    bool loginOnly = false;
    // Where the connection is kept between sends; none: every send has its own.
    SmtpConnectionKeeper *keeper = nullptr;
    // The service's waits, which a stop request ends; may be null.
    detail::MailWaits *waits = nullptr;
};

struct SmtpResult
{
    int code = 0;  // 0, or one of the NMailError codes
    QString error; // Japanese text for the user, then the server's reply if there was one
    bool encrypted = false; // the connection was TLS when it ended (STARTTLS or smtps://)
    // When the send failed on the server's certificate: that certificate (DER)
    // and why it was not accepted.
    QByteArray rejectedCertificate;
    QString certificateProblem;
};

// Sends the message. Addresses are checked again here: one with a control
// character or a delimiter is refused before any connection is made.
[[nodiscard]] SmtpResult sendSmtp(const SmtpRequest &request);

} // namespace maillib
