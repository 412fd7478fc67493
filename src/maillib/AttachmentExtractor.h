#pragma once

#include "maillib/MimeDecoder.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Writing the attachments of a received message into a folder.
namespace maillib {

// What an extraction did.
struct ExtractionResult
{
    // 1 attachments written, 0 none to write, -5 a file could not be created
    // or written, -6 the message is a piece of a split message.
    int code = 0;
    QStringList writtenFiles; // full paths, in MIME order
    QString error;            // Japanese text for the user when code < 0
    DecodedMail mail;         // the message decoded, body rewritten to its text
};

// Writes every attachment of raw into folder under its decoded file name made
// safe (see safeAttachmentName). Files are created exclusively and never
// replace anything: when a name is taken, "name (2).ext", "name (3).ext" and
// so on are tried. A file that cannot be created or written is reported and
// the others are still written. At most 1,000 files are written for one
// message; more attachments are reported (-5) and not written. Nothing is
// written for a piece of a split message.
[[nodiscard]] ExtractionResult extractAttachments(const QByteArray &raw, const QString &folder);

namespace detail {
class ParsedMail;
// As extractAttachments, for a message already parsed, with mail its decoded
// form (decodeParsed of parsed).
[[nodiscard]] ExtractionResult extractParsed(const ParsedMail &parsed, const DecodedMail &mail,
                                             const QString &folder);
} // namespace detail

// Turns a decoded attachment name into a plain file name that stays inside
// the folder: only the part after the last '/' or '\' is kept; control,
// bidirectional-override and Windows-reserved characters are replaced or
// dropped; leading and trailing dots and blanks are removed; the name is cut
// to at most 200 bytes of UTF-8, keeping its extension. An empty result
// becomes "attachment" with an extension for mimeType.
[[nodiscard]] QString safeAttachmentName(const QString &name, const QByteArray &mimeType);

} // namespace maillib
