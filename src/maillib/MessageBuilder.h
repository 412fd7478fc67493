#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// Builds the outgoing message (RFC 5322 / MIME) with GMime: the headers, a
// text body in the charset Japanese mail expects, and the attachments.
namespace maillib {

// One message to send. The time and the Message-ID come from the caller so
// that the result depends on the arguments only.
struct OutgoingMail
{
    QString from;
    QString to;
    QString toName; // display name shown in To beside the address; may be empty
    QString subject;
    QString body;
    QStringList attachmentPaths;
    QDateTime date;
    QByteArray messageId; // without angle brackets, e.g. "1a2b.3c@example.jp"
};

struct BuiltMessage
{
    // The whole message with CRLF line ends, ready for the SMTP DATA phase.
    QByteArray data;
    // Empty on success; otherwise the Japanese text that tells the user why.
    QString error;
};

// Why a mailbox address cannot be used.
enum class AddressProblem {
    None,
    Empty,
    ControlCharacter, // CR, LF or another control character: never allowed near a command or header
    Malformed,        // not local@domain in printable ASCII
};

// Checks an address as it goes into MAIL FROM / RCPT TO and the From / To
// headers: printable ASCII, one "@" with text on both sides, and none of the
// characters that delimit addresses or parameters ("<", ">", ",", ";", blanks...).
[[nodiscard]] AddressProblem checkMailbox(const QString &address);

// The addr-spec of the one mailbox text names ("a@example.jp",
// "名前 <a@example.jp>", "\"x <evil@example.com>\" <a@example.jp>"), read with
// GMime's address parser, so that a display name can never supply the address;
// an internationalised domain comes back in its ASCII form. Empty when text
// names no mailbox, a group or more than one mailbox, or an address that
// fails checkMailbox.
[[nodiscard]] QString mailboxAddress(const QString &text);

// The one mailbox text names, as mailboxAddress reads it, with its display
// name (empty when there is none). address is empty when mailboxAddress is.
struct Mailbox
{
    QString name;
    QString address;
};
[[nodiscard]] Mailbox parseMailbox(const QString &text);

// Turns every run of line breaks and other control characters in a subject
// into one blank, so that the subject stays one header.
[[nodiscard]] QString flattenSubject(const QString &subject);

// The Subject field's value as a sent mail carries it: flattened, plain ASCII
// folded at blanks, anything else as RFC 2047 words (see encodeHeaderWords);
// lines are folded with "\n ".
[[nodiscard]] QByteArray subjectFieldValue(const QString &subject);

// Builds the message. Addresses are expected to have passed checkMailbox.
// Fails (error set, no data) when an attachment cannot be read.
[[nodiscard]] BuiltMessage buildMessage(const OutgoingMail &mail);

// Splits the attachment argument: paths joined by ",", empty pieces skipped.
[[nodiscard]] QStringList splitAttachmentList(const QString &joined);

} // namespace maillib
