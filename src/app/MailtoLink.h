#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace app {

// What a "mailto:" link (RFC 6068) asks the composer to fill in. Texts are
// decoded from percent-encoded UTF-8; header fields other than "to",
// "subject" and "body" (cc, bcc, in-reply-to, attachments some programs
// invent) are left out.
struct MailtoLink
{
    QStringList to;  // the addresses before "?" and of every "to=" field, in order
    QString subject; // on one line: line breaks become blanks
    QString body;    // line breaks as "\n"

    friend bool operator==(const MailtoLink &, const MailtoLink &) = default;
};

// The link parsed, or nothing when text is not a mailto link. The scheme is
// matched without regard to letter case; a "%" not followed by two hex
// digits stays as it is; the first "subject" and "body" fields count.
[[nodiscard]] std::optional<MailtoLink> parseMailtoLink(const QString &text);

// True when text is meant as a mailto link (its scheme is "mailto:").
[[nodiscard]] bool isMailtoLink(const QString &text);

} // namespace app
