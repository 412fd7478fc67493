#pragma once

#include <QByteArray>
#include <QString>

// What the POP3 session tells the user, kept apart from the protocol code:
// the session picks a text by its name, the wording lives in one table.
namespace maillib {

enum class Pop3Text {
    NoResponse,
    TooSlow,
    SessionInUse,
    AlreadyLoggedIn,
    NotConnectedForLogin,
    BadCredentialCharacters,
    ApopUnsupported,
    ApopTimestampMalformed,
    BadReply,
    TooManyMessages,   // %1 messages announced, %2 the most allowed
    ListingMismatch,   // %1 messages announced
    NotLoggedIn,
    NoSuchMessage,     // %1 message number
    MessageDeleted,    // %1 message number
    MessageTooLarge,   // %1 message number, %2 its size in octets
    NotConnected,
    MessageRefused,    // %1 message number
    UnexpectedData,
    StatusLineTooLong,
    DataTooLarge,
    GreetingRefused,
    LoginRefused,
    StlsRefused,
    QuitRefused,
    CommandRefused,    // %1 the command
    TlsFailed,
    ConnectFailed,     // %1 host name
    TransferFailed,
    CertificateRejected,
    ClosedWhileConnecting,
    ConnectionLost,
    Count
};

[[nodiscard]] QString pop3Text(Pop3Text text);

// text followed, on a line of its own, by what the server said (shortened,
// control characters blanked); text alone when the server said nothing.
[[nodiscard]] QString pop3TextWithReply(Pop3Text text, const QByteArray &reply);
[[nodiscard]] QString withServerReply(const QString &text, const QByteArray &reply);

} // namespace maillib
