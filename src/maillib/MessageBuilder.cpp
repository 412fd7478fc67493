#include <gmime/gmime.h>

#include "maillib/MessageBuilder.h"

#include "common/TextHelpers.h"
#include "maillib/OutgoingCharset.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

#include <fcntl.h>
#include <memory>
#include <mutex>

namespace maillib {

namespace {

struct GObjectUnref
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
template<typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

void initGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

bool isControl(char16_t c)
{
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029;
}

// Folds a plain ASCII subject at blanks so that lines stay within 78
// characters where the words allow it (RFC 5322 section 2.2.3).
QByteArray foldAscii(const QByteArray &text, int firstLineUsed)
{
    QByteArray out;
    int lineLength = firstLineUsed;
    const QList<QByteArray> words = text.split(' ');
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QByteArray &word = words.at(i);
        if (i > 0) {
            if (!word.isEmpty() && lineLength + 1 + word.size() > 78 && lineLength > 1) {
                out += "\n ";
                lineLength = 1;
            } else {
                out += ' ';
                ++lineLength;
            }
        }
        out += word;
        lineLength += int(word.size());
    }
    return out;
}

void setRawHeader(GMimeObject *object, const char *name, const QByteArray &value)
{
    g_mime_object_set_header(object, name, "", nullptr);
    GMimeHeader *header = g_mime_header_list_get_header(g_mime_object_get_header_list(object), name);
    g_mime_header_set_raw_value(header, QByteArray(" " + value + "\n").constData());
}

void addMailbox(InternetAddressList *list, const QString &address, const QString &name = QString())
{
    const QByteArray utf8Name = name.toUtf8();
    GObjectPtr<InternetAddress> mailbox(internet_address_mailbox_new(
        name.isEmpty() ? nullptr : utf8Name.constData(), address.toUtf8().constData()));
    internet_address_list_add(list, mailbox.get());
}

GDateTime *toGDateTime(const QDateTime &when)
{
    const QDateTime t = when.isValid() ? when : QDateTime::fromSecsSinceEpoch(0, Qt::UTC);
    GTimeZone *zone = g_time_zone_new_offset(t.offsetFromUtc());
    const QDate d = t.date();
    const QTime tm = t.time();
    GDateTime *result = g_date_time_new(zone, d.year(), d.month(), d.day(), tm.hour(), tm.minute(), tm.second());
    g_time_zone_unref(zone);
    return result;
}

// The body as the text part carries it: canonical line ends, in the charset
// encodeForMail picks; 7bit when the lines allow it (RFC 5322 section 2.1.1),
// base64 otherwise.
GObjectPtr<GMimeTextPart> makeTextPart(const QString &body)
{
    QString text = body;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    const EncodedText encoded = encodeForMail(text);

    bool sevenBit = encoded.charset != "UTF-8" && !encoded.bytes.contains('\0');
    if (sevenBit) {
        for (const QByteArray &line : encoded.bytes.split('\n')) {
            if (line.size() > 998) {
                sevenBit = false;
                break;
            }
        }
    }
    // GMime turns LF into CRLF when it writes 7bit content; base64 content must
    // already be in canonical form (RFC 2045 section 6.8).
    QByteArray content = encoded.bytes;
    if (!sevenBit)
        content.replace("\n", "\r\n");

    GObjectPtr<GMimeTextPart> part(g_mime_text_part_new_with_subtype("plain"));
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(part.get()), "charset", encoded.charset.constData());
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(content.constData(), size_t(content.size())));
    GObjectPtr<GMimeDataWrapper> wrapper(
        g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(GMIME_PART(part.get()), wrapper.get());
    g_mime_part_set_content_encoding(GMIME_PART(part.get()),
                                     sevenBit ? GMIME_CONTENT_ENCODING_7BIT : GMIME_CONTENT_ENCODING_BASE64);
    return part;
}

void setNameParameter(GMimeParamList *list, const char *name, const QByteArray &utf8Name,
                      GMimeParamEncodingMethod method)
{
    g_mime_param_list_set_parameter(list, name, utf8Name.constData());
    GMimeParam *param = g_mime_param_list_get_parameter(list, name);
    if (!isAscii(QString::fromUtf8(utf8Name))) {
        g_mime_param_set_charset(param, "UTF-8");
        g_mime_param_set_encoding_method(param, method);
    }
}

// One attachment as a base64 part. The file name goes into Content-Disposition
// per RFC 2231 and, for older readers, into the Content-Type "name" as an
// RFC 2047 word. The file is read only when the message is written.
GObjectPtr<GMimePart> makeAttachmentPart(const QString &path, QString *error)
{
    const QFileInfo info(path);
    GError *gerror = nullptr;
    GObjectPtr<GMimeStream> stream;
    if (info.isFile())
        stream.reset(g_mime_stream_fs_open(QFile::encodeName(path).constData(), O_RDONLY, 0, &gerror));
    if (!stream) {
        if (gerror)
            g_error_free(gerror);
        *error = QStringLiteral("添付ファイル「%1」を開けません。").arg(path);
        return {};
    }

    static const QMimeDatabase mimeDatabase;
    const QMimeType type = mimeDatabase.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    QString mimeName = QStringLiteral("application/octet-stream");
    if (type.isValid() && !type.isDefault())
        mimeName = type.name();
    const QByteArray mediaType = mimeName.section(u'/', 0, 0).toLatin1();
    const QByteArray subType = mimeName.section(u'/', 1).toLatin1();

    GObjectPtr<GMimePart> part(g_mime_part_new_with_type(mediaType.constData(), subType.constData()));
    GObjectPtr<GMimeDataWrapper> wrapper(
        g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(part.get(), wrapper.get());
    g_mime_part_set_content_encoding(part.get(), GMIME_CONTENT_ENCODING_BASE64);

    // A file name may hold any byte but "/" and NUL; a control character must
    // not reach the part's header, where a line break would start a new field.
    QString name = info.fileName();
    for (QChar &c : name) {
        if (isControl(c.unicode()))
            c = u'_';
    }
    const QByteArray fileName = name.toUtf8();
    GMimeContentType *contentType = g_mime_object_get_content_type(GMIME_OBJECT(part.get()));
    setNameParameter(g_mime_content_type_get_parameters(contentType), "name", fileName,
                     GMIME_PARAM_ENCODING_METHOD_RFC2047);
    GObjectPtr<GMimeContentDisposition> disposition(g_mime_content_disposition_new());
    g_mime_content_disposition_set_disposition(disposition.get(), GMIME_DISPOSITION_ATTACHMENT);
    setNameParameter(g_mime_content_disposition_get_parameters(disposition.get()), "filename", fileName,
                     GMIME_PARAM_ENCODING_METHOD_RFC2231);
    g_mime_object_set_content_disposition(GMIME_OBJECT(part.get()), disposition.get());
    return part;
}

// GMime writes CRLF already; this guarantees it for whatever reaches libcurl,
// which only dot-stuffs after CRLF.
QByteArray canonicalLineEnds(const QByteArray &in)
{
    QByteArray out;
    out.reserve(in.size() + in.size() / 64 + 2);
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in.at(i);
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < in.size() && in.at(i + 1) == '\n')
                ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    if (!out.endsWith("\r\n"))
        out += "\r\n";
    return out;
}

} // namespace

Mailbox parseMailbox(const QString &text)
{
    initGMime();
    GMimeParserOptions *options = g_mime_parser_options_get_default();
    GObjectPtr<InternetAddressList> list(internet_address_list_parse(options, text.toUtf8().constData()));
    if (!list || internet_address_list_length(list.get()) != 1)
        return {};
    InternetAddress *address = internet_address_list_get_address(list.get(), 0);
    if (!INTERNET_ADDRESS_IS_MAILBOX(address))
        return {};
    const char *addrSpec = internet_address_mailbox_get_idn_addr(INTERNET_ADDRESS_MAILBOX(address));
    const QString result = addrSpec ? QString::fromUtf8(addrSpec) : QString();
    if (checkMailbox(result) != AddressProblem::None)
        return {};
    const char *name = internet_address_get_name(address);
    return {name ? common::trimBlanks(flattenSubject(QString::fromUtf8(name))) : QString(), result};
}

QString mailboxAddress(const QString &text)
{
    return parseMailbox(text).address;
}

AddressProblem checkMailbox(const QString &address)
{
    if (address.isEmpty())
        return AddressProblem::Empty;
    for (QChar c : address) {
        if (isControl(c.unicode()))
            return AddressProblem::ControlCharacter;
    }
    static const QString forbidden = QStringLiteral(" <>()[],;:\\\"");
    for (QChar c : address) {
        if (c.unicode() > 0x7E || forbidden.contains(c))
            return AddressProblem::Malformed;
    }
    const qsizetype at = address.indexOf(u'@');
    if (address.size() > 254 || at <= 0 || at == address.size() - 1 || address.indexOf(u'@', at + 1) >= 0)
        return AddressProblem::Malformed;
    return AddressProblem::None;
}

QString flattenSubject(const QString &subject)
{
    QString out;
    out.reserve(subject.size());
    bool inRun = false;
    for (QChar c : subject) {
        if (isControl(c.unicode())) {
            if (!inRun)
                out += u' ';
            inRun = true;
        } else {
            out += c;
            inRun = false;
        }
    }
    return out;
}

QByteArray subjectFieldValue(const QString &subject)
{
    const QString flatSubject = flattenSubject(subject);
    if (flatSubject.isEmpty())
        return {};
    if (isAscii(flatSubject) && !flatSubject.contains(QStringLiteral("=?")) && flatSubject.size() <= 900)
        return foldAscii(flatSubject.toLatin1(), int(qstrlen("Subject: ")));
    return encodeHeaderWords(flatSubject);
}

QStringList splitAttachmentList(const QString &joined)
{
    return joined.split(u',', Qt::SkipEmptyParts);
}

BuiltMessage buildMessage(const OutgoingMail &mail)
{
    initGMime();
    BuiltMessage result;

    GObjectPtr<GMimeMessage> message(g_mime_message_new(TRUE));
    GDateTime *date = toGDateTime(mail.date);
    g_mime_message_set_date(message.get(), date);
    g_date_time_unref(date);
    g_mime_message_set_message_id(message.get(), mail.messageId.constData());
    addMailbox(g_mime_message_get_from(message.get()), mail.from);
    const QString toName = common::trimBlanks(flattenSubject(mail.toName));
    if (toName.isEmpty() || isAscii(toName)) {
        // GMime quotes an ASCII name where its characters call for it.
        addMailbox(g_mime_message_get_addresses(message.get(), GMIME_ADDRESS_TYPE_TO), mail.to, toName);
    } else {
        // A Japanese name goes out in the words the subject uses.
        setRawHeader(GMIME_OBJECT(message.get()), "To",
                     encodeHeaderWords(toName) + " <" + mail.to.toLatin1() + '>');
    }
    setRawHeader(GMIME_OBJECT(message.get()), "Subject", subjectFieldValue(mail.subject));

    GObjectPtr<GMimeTextPart> text = makeTextPart(mail.body);
    const QStringList paths = mail.attachmentPaths;
    if (paths.isEmpty()) {
        g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(text.get()));
    } else {
        GObjectPtr<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
        // A boundary derived from the Message-ID keeps the output reproducible.
        const QByteArray boundary =
            "=_GlimraMail_" + QCryptographicHash::hash(mail.messageId, QCryptographicHash::Sha1).toHex().left(24);
        g_mime_multipart_set_boundary(mixed.get(), boundary.constData());
        g_mime_multipart_add(mixed.get(), GMIME_OBJECT(text.get()));
        for (const QString &path : paths) {
            GObjectPtr<GMimePart> part = makeAttachmentPart(path, &result.error);
            if (!part)
                return result;
            g_mime_multipart_add(mixed.get(), GMIME_OBJECT(part.get()));
        }
        g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(mixed.get()));
    }

    GMimeFormatOptions *options = g_mime_format_options_clone(nullptr);
    g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
    GObjectPtr<GMimeStream> out(g_mime_stream_mem_new());
    const gint64 written = g_mime_object_write_to_stream(GMIME_OBJECT(message.get()), options, out.get());
    g_mime_format_options_free(options);
    if (written < 0) {
        result.error = QStringLiteral("送信するメールを作成できませんでした（添付ファイルを読めません）。");
        return result;
    }
    GByteArray *bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
    result.data = canonicalLineEnds(QByteArray(reinterpret_cast<const char *>(bytes->data), qsizetype(bytes->len)));
    return result;
}

} // namespace maillib
