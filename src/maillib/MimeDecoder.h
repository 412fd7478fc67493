#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Decoding of one received message for display and storage.
namespace maillib {

// What a message carries as an attachment: its decoded file name (empty when
// it has none) and its MIME type.
struct AttachmentInfo
{
    QString fileName;
    QByteArray mimeType;
};

// A received message as the rest of the system sees it.
struct DecodedMail
{
    QString subject; // decoded to Unicode, trimmed
    QString from;    // "display name <address>", mailboxes joined by ", "
    QString date;    // the Date field as sent, unfolded and trimmed
    QString header;  // the raw header block, every line ended by CR LF
    // For a single-part text message the decoded text; otherwise the raw MIME
    // body, until attachment extraction rewrites it to text.
    QString body;
    // True when body holds the raw MIME body (multipart, message/* or a
    // single non-text part).
    bool multipart = false;
    // The decoded readable text in every case (what body becomes after
    // extraction). Lines end in CR LF.
    QString text;
    QList<AttachmentInfo> attachments;
    // True for one piece of a split message (message/partial) whose other
    // pieces are needed to read it.
    bool incompleteFragment = false;
};

// Decodes raw, the bytes of a message as received (any line ends). Never fails:
// broken or unknown input gives the most readable result possible.
[[nodiscard]] DecodedMail decodeMail(const QByteArray &raw);

// Converts raw message bytes that have no declared charset to text the way
// decodeMail does for the raw body: UTF-8, else CP932/EUC-JP, else windows-1252.
[[nodiscard]] QString rawBytesToText(const QByteArray &raw);

} // namespace maillib
