#pragma once

#include "maillib/GMimePtr.h"
#include "maillib/MimeDecoder.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>

// The structure of one received message as GMime parses it, reduced to what
// the mail layer needs: the header block, the part that is the readable body,
// the parts that count as attachments, and whether the message is one piece of
// a split message. GMime does structure and transfer decoding only; charsets
// and encoded words are decoded by maillib itself.
namespace maillib::detail {

// A message declaring more multipart or message containers than this is not
// parsed for structure at all: its body is shown as text. This bounds the
// parser's work (and its nesting) by what the message holds; the tree is then
// walked without recursion, however deep it goes.
inline constexpr int kMaxMimeContainers = 256;

struct AttachmentPart
{
    GMimeObject *object = nullptr; // owned by the parsed message
    QString fileName;              // decoded; empty when the part has none
    QByteArray mimeType;           // lower case, "image/png"
};

// Messages at least this large are parsed from an unnamed temporary file
// instead of memory, so that their bytes are not held beside their decoded
// text; see ParsedMail.
inline constexpr qsizetype kSpillBytes = qsizetype(16) * 1024 * 1024;

class ParsedMail
{
public:
    explicit ParsedMail(const QByteArray &raw);
    // As above; a large message is then written to an unnamed temporary file
    // and parsed from there, and raw is emptied so that its bytes can go.
    // Otherwise raw is left as it was and must outlive the parse (the body
    // block is a view of it).
    ParsedMail(QByteArray &&raw, bool mayKeepOnDisk);
    ~ParsedMail();
    ParsedMail(const ParsedMail &) = delete;
    ParsedMail &operator=(const ParsedMail &) = delete;

    // The raw header block (without the blank line) and the raw body. The
    // body is empty for a message kept on disk; see bodyText().
    const QByteArray &headerBlock() const { return m_header; }
    const QByteArray &bodyBlock() const { return m_body; }
    // The raw body as text (rawBytesToText), from memory or from the disk.
    QString bodyText() const;
    // True when the message's bytes were let go and it is read from a file.
    bool keptOnDisk() const { return m_file >= 0; }
    // For a message kept on disk: its size, and up to length of its bytes
    // from offset read back from the file (the number read, -1 on an error).
    qint64 keptSize() const { return m_file >= 0 ? m_bodyOffset + m_bodySize : 0; }
    qint64 readKept(qint64 offset, char *into, qint64 length) const;

    // The raw value of the first top-level header field called name, unfolded.
    QByteArray headerValue(const QByteArray &name) const;

    // True when the top level is multipart/* or message/*.
    bool isContainer() const { return m_container; }
    // True when the top level is text/* (or carries no usable type).
    bool isTextMessage() const { return m_textMessage; }
    // True for a fragment of a split message (message/partial) that cannot
    // stand alone.
    bool isIncompleteFragment() const { return m_incompleteFragment; }

    // The decoded readable text: the chosen body part, then any further
    // inline text parts; HTML becomes plain text. Lines end in CR LF.
    QString text() const;

    const QList<AttachmentPart> &attachments() const { return m_attachments; }

    // Writes the transfer-decoded content of an attachment to stream.
    // Returns false when writing failed.
    bool writeContent(const AttachmentPart &part, GMimeStream *stream) const;

private:
    void splitRaw(const QByteArray &raw, bool viewBody = false);
    void parseStructure(const QByteArray &raw);
    bool parseFromDisk(const QByteArray &raw);
    void finishStructure();
    void chooseBody(GMimeObject *top);
    void collect(GMimeObject *top);
    QSet<GMimeObject *> pathTo(GMimeObject *top, GMimeObject *target) const;
    QString partText(GMimeObject *object) const;

    qsizetype m_start = 0; // where the message begins after an mbox separator line
    int m_file = -1;       // the unnamed temporary file of a message kept on disk
    qsizetype m_bodyOffset = 0;
    qsizetype m_bodySize = 0;
    QByteArray m_header;
    QByteArray m_body;
    GMimePtr<GMimeStream> m_stream;
    GMimePtr<GMimeMessage> m_message;
    GMimeObject *m_bodyPart = nullptr;
    QList<GMimeObject *> m_extraText;
    QList<AttachmentPart> m_attachments;
    bool m_container = false;
    bool m_textMessage = true;
    bool m_incompleteFragment = false;
};

} // namespace maillib::detail

namespace maillib::detail {

// Builds what decodeMail returns from an already parsed message, but for the
// raw body of a multipart message (ParsedMail::bodyText), left empty.
[[nodiscard]] DecodedMail decodeParsed(const ParsedMail &parsed);

// A received message with its parse and its decoded form, kept together so
// that attachment extraction after the fetch works on the same parse instead
// of parsing and decoding the whole message again.
class DecodedMessage
{
public:
    explicit DecodedMessage(const QByteArray &raw);
    // Takes the bytes over; a large message may then be kept on disk and its
    // raw() is empty (see ParsedMail).
    explicit DecodedMessage(QByteArray &&raw);
    DecodedMessage(const DecodedMessage &) = delete;
    DecodedMessage &operator=(const DecodedMessage &) = delete;

    const QByteArray &raw() const { return m_raw; }
    const ParsedMail &parsed() const { return m_parsed; }
    // The mail; the body of a multipart message is left empty here, as
    // extraction replaces it by the text: body() makes it when it is wanted.
    const DecodedMail &mail() const { return m_mail; }
    [[nodiscard]] QString body() const;

private:
    QByteArray m_raw;
    ParsedMail m_parsed;
    DecodedMail m_mail;
};

} // namespace maillib::detail
