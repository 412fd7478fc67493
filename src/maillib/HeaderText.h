#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// Decoding of header field values as mail carries them: folded lines, RFC 2047
// encoded words, raw 8-bit text, address lists and MIME parameters. Charsets
// go through maillib's own converters (see Charset.h).
namespace maillib {

// Removes the line breaks of a folded field value (RFC 5322 2.2.3).
[[nodiscard]] QByteArray unfoldHeader(const QByteArray &raw);

// Decodes an unstructured value such as Subject: RFC 2047 B and Q words (white
// space between adjacent words dropped, RFC 2047 6.2; adjacent words in the
// same charset decoded as one byte run, so that a character split over two
// words survives), raw 8-bit or JIS text between them. Line breaks and other
// control characters become blanks; the result is trimmed.
[[nodiscard]] QString decodeHeaderText(const QByteArray &raw);

// Decodes an address list such as From: every mailbox as "display name
// <address>", or the address alone when there is no display name; mailboxes
// joined by ", "; comments dropped; group names dropped, their members kept.
[[nodiscard]] QString decodeAddressList(const QByteArray &raw);

// A Content-Type or Content-Disposition value split into its lower-case value
// ("text/plain", "attachment") and parameters (lower-case names, decoded values:
// RFC 2231 continuations and charsets, RFC 2047 words, raw 8-bit text).
struct ParameterHeader
{
    QByteArray value;
    QMap<QByteArray, QString> parameters;
};
[[nodiscard]] ParameterHeader parseParameterHeader(const QByteArray &raw);

} // namespace maillib
