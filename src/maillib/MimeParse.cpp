#include "maillib/MimeParse.h"

#include "maillib/Charset.h"
#include "maillib/HeaderText.h"
#include "maillib/HtmlText.h"
#include "maillib/MimeDecoder.h"
#include "maillib/MimeRawText_p.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>
#include <vector>
#include <mutex>

namespace maillib::detail {
namespace {

QByteArray rawPartHeader(GMimeObject *object, const char *name)
{
    GMimeHeaderList *list = g_mime_object_get_header_list(object);
    if (!list)
        return {};
    GMimeHeader *header = g_mime_header_list_get_header(list, name);
    if (!header)
        return {};
    const char *raw = g_mime_header_get_raw_value(header);
    return raw ? QByteArray(raw) : QByteArray();
}

bool isType(GMimeObject *object, const char *type, const char *subtype)
{
    GMimeContentType *ct = g_mime_object_get_content_type(object);
    return ct && g_mime_content_type_is_type(ct, type, subtype);
}

QByteArray mimeTypeOf(GMimeObject *object)
{
    GMimeContentType *ct = g_mime_object_get_content_type(object);
    if (!ct)
        return QByteArrayLiteral("application/octet-stream");
    GCharPtr type(g_mime_content_type_get_mime_type(ct));
    return type ? QByteArray(type.get()).toLower() : QByteArrayLiteral("application/octet-stream");
}

bool hasAttachmentDisposition(GMimeObject *object)
{
    const QByteArray raw = rawPartHeader(object, "Content-Disposition");
    return !raw.isNull() && parseParameterHeader(raw).value == "attachment";
}

QString fileNameOf(GMimeObject *object)
{
    const QByteArray disposition = rawPartHeader(object, "Content-Disposition");
    if (!disposition.isNull()) {
        const QString name = parseParameterHeader(disposition).parameters.value("filename");
        if (!name.isEmpty())
            return name;
    }
    const QByteArray type = rawPartHeader(object, "Content-Type");
    if (!type.isNull())
        return parseParameterHeader(type).parameters.value("name");
    return {};
}

QByteArray charsetOf(GMimeObject *object)
{
    const QByteArray type = rawPartHeader(object, "Content-Type");
    if (type.isNull())
        return {};
    return parseParameterHeader(type).parameters.value("charset").toLatin1();
}

// The direct parts of a multipart, in order; none for any other object.
QList<GMimeObject *> childrenOf(GMimeObject *object)
{
    QList<GMimeObject *> children;
    if (!GMIME_IS_MULTIPART(object))
        return children;
    auto *multipart = GMIME_MULTIPART(object);
    const int count = g_mime_multipart_get_count(multipart);
    children.reserve(count);
    for (int i = 0; i < count; ++i)
        children.append(g_mime_multipart_get_part(multipart, i));
    return children;
}

// Puts the parts of object on a depth-first stack so that they come off it in order.
void pushChildren(std::vector<GMimeObject *> *stack, GMimeObject *object)
{
    const QList<GMimeObject *> children = childrenOf(object);
    for (auto it = children.crbegin(); it != children.crend(); ++it)
        stack->push_back(*it);
}

// A Content-Type without a subtype is invalid; RFC 2045 5.2 says to read the
// part as text/plain then.
void repairInvalidTypes(GMimeObject *top)
{
    std::vector<GMimeObject *> stack{top};
    while (!stack.empty()) {
        GMimeObject *object = stack.back();
        stack.pop_back();
        if (GMIME_IS_MULTIPART(object)) {
            pushChildren(&stack, object);
            continue;
        }
        if (!GMIME_IS_PART(object))
            continue;
        const QByteArray raw = rawPartHeader(object, "Content-Type");
        if (raw.isNull() || parseParameterHeader(raw).value.contains('/'))
            continue;
        GMimeContentType *ct = g_mime_object_get_content_type(object);
        if (!ct)
            continue;
        g_mime_content_type_set_media_type(ct, "text");
        g_mime_content_type_set_media_subtype(ct, "plain");
    }
}

QString normaliseLineEnds(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.size() / 32);
    const QChar *const p = text.constData();
    const qsizetype n = text.size();
    qsizetype run = 0; // start of the characters not yet copied
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i].unicode();
        if (c != u'\r' && c != u'\n' && c != 0)
            continue;
        out.append(p + run, i - run);
        if (c == u'\r') {
            out += QLatin1String("\r\n");
            if (i + 1 < n && p[i + 1] == u'\n')
                ++i;
        } else if (c == u'\n') {
            out += QLatin1String("\r\n");
        }
        run = i + 1;
    }
    out.append(p + run, n - run);
    return out;
}

} // namespace

namespace {

// The parser decodes every encoded word of a header through iconv, opening
// and closing a descriptor each time. glibc unloads a charset's module once
// no descriptor uses it and others come and go, so a check of mixed
// ISO-2022-JP and Shift_JIS mail (with Latin-1, the parser's last resort for
// raw 8-bit headers) loads and unloads the modules for every
// message. One descriptor kept open for each charset common in Japanese
// mail keeps its module loaded for the life of the program.
void keepJapaneseCharsetsLoaded()
{
    for (const char *charset : {"ISO-2022-JP", "SHIFT_JIS", "CP932", "EUC-JP", "CP1252", "ISO-8859-1"})
        static_cast<void>(iconv_open("UTF-8", charset)); // kept open for good
}

} // namespace

void ensureGMime()
{
    static std::once_flag once;
    std::call_once(once, [] {
        g_mime_init();
        keepJapaneseCharsetsLoaded();
    });
}

ParsedMail::ParsedMail(const QByteArray &raw)
{
    splitRaw(raw);
    parseStructure(raw);
}

ParsedMail::ParsedMail(QByteArray &&raw, bool mayKeepOnDisk)
{
    // The body is a view of raw, which the caller keeps as long as this parse
    // unless it is let go below (and then the body is dropped too).
    splitRaw(raw, mayKeepOnDisk);
    if (mayKeepOnDisk && parseFromDisk(raw)) {
        raw = QByteArray();
    } else {
        parseStructure(raw);
    }
}

ParsedMail::~ParsedMail()
{
    // The parse reads from the file; it goes first.
    m_message.reset();
    m_stream.reset();
    if (m_file >= 0)
        ::close(m_file);
}

// A large message is written to an unnamed temporary file and parsed from
// there, and its body text is read back in pieces, so that neither its bytes
// nor a copy of them stay in memory beside the decoded text. False when the
// message does not qualify or the file cannot be written; nothing changed then.
bool ParsedMail::parseFromDisk(const QByteArray &raw)
{
    if (raw.size() < kSpillBytes || m_start != 0 || m_body.isEmpty() || countContainers(raw) > kMaxMimeContainers)
        return false;
    const qsizetype bodySize = m_body.size();
    // Folded parameter lines are mended in a copy; such a message stays in memory.
    if (withParameterLinesIndented(raw).constData() != raw.constData())
        return false;
    const int fd = ::open(QFile::encodeName(QDir::tempPath()).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    for (qsizetype done = 0; done < raw.size();) {
        const ssize_t n = ::write(fd, raw.constData() + done, size_t(raw.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            return false;
        }
        done += n;
    }
    m_file = fd;
    m_bodyOffset = raw.size() - bodySize;
    m_bodySize = bodySize;
    m_body = QByteArray();
    ensureGMime();
    // The stream starts where the descriptor stands.
    ::lseek(fd, 0, SEEK_SET);
    m_stream.reset(g_mime_stream_fs_new(::dup(fd)));
    GMimePtr<GMimeParser> parser(g_mime_parser_new_with_stream(m_stream.get()));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    g_mime_parser_set_persist_stream(parser.get(), TRUE);
    m_message.reset(g_mime_parser_construct_message(parser.get(), nullptr));
    finishStructure();
    return true;
}

qint64 ParsedMail::readKept(qint64 offset, char *into, qint64 length) const
{
    if (m_file < 0 || offset < 0 || length < 0)
        return -1;
    length = qMin(length, keptSize() - offset);
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = ::pread(m_file, into + done, size_t(length - done), off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        done += n;
    }
    return qMax<qint64>(0, done);
}

QString ParsedMail::bodyText() const
{
    if (m_file < 0)
        return rawBytesToText(m_body);
    // A megabyte at a time, each piece ending at a line end, so that no
    // character and no JIS run is cut; the pieces of an ASCII body (the usual
    // shape of one with large attachments) are one character per byte.
    QString text;
    text.reserve(m_bodySize);
    QByteArray pending;
    QByteArray chunk(qsizetype(1) << 20, Qt::Uninitialized);
    qsizetype done = 0;
    while (done < m_bodySize) {
        const ssize_t n = ::pread(m_file, chunk.data(), size_t(qMin<qsizetype>(chunk.size(), m_bodySize - done)),
                                  off_t(m_bodyOffset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
        pending.append(chunk.constData(), n);
        const qsizetype eol = done == m_bodySize ? pending.size() - 1 : pending.lastIndexOf('\n');
        if (eol < 0)
            continue;
        text += rawBytesToText(pending.left(eol + 1));
        pending.remove(0, eol + 1);
    }
    text += rawBytesToText(pending);
    return text;
}

void ParsedMail::splitRaw(const QByteArray &raw, bool viewBody)
{
    qsizetype start = 0;
    // An mbox separator line ("From sender date") is not part of the message.
    if (raw.startsWith("From ")) {
        const qsizetype eol = raw.indexOf('\n');
        start = eol < 0 ? raw.size() : eol + 1;
    }
    // Lines of blanks before the first field are skipped, as lenient readers
    // do; both the fields and the structure are read from after them.
    for (;;) {
        const qsizetype eol = raw.indexOf('\n', start);
        if (eol < 0)
            break;
        qsizetype i = start;
        while (i < eol && (raw[i] == ' ' || raw[i] == '\t'))
            ++i;
        if (i == start || (i < eol && !(raw[i] == '\r' && i + 1 == eol)))
            break;
        start = eol + 1;
    }
    m_start = start;
    qsizetype pos = start;
    while (pos < raw.size()) {
        qsizetype eol = raw.indexOf('\n', pos);
        const qsizetype lineEnd = eol < 0 ? raw.size() : eol;
        qsizetype contentEnd = lineEnd;
        if (contentEnd > pos && raw[contentEnd - 1] == '\r')
            --contentEnd;
        if (contentEnd == pos) {
            m_header = raw.mid(start, pos - start);
            if (eol >= 0 && viewBody)
                m_body = QByteArray::fromRawData(raw.constData() + eol + 1, raw.size() - eol - 1);
            else
                m_body = eol < 0 ? QByteArray() : raw.mid(eol + 1);
            return;
        }
        if (eol < 0)
            break;
        pos = eol + 1;
    }
    m_header = raw.mid(start);
    m_body.clear();
}

QByteArray ParsedMail::headerValue(const QByteArray &name) const
{
    QByteArray value;
    bool inField = false;
    for (const QByteArray &line : m_header.split('\n')) {
        if (inField) {
            if (!line.isEmpty() && (line[0] == ' ' || line[0] == '\t')) {
                value += line;
                continue;
            }
            break;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0) {
            value = line.mid(colon + 1);
            inField = true;
        }
    }
    return inField ? unfoldHeader(value) : QByteArray();
}

void ParsedMail::parseStructure(const QByteArray &raw)
{
    if (countContainers(raw) > kMaxMimeContainers) {
        m_textMessage = true;
        return;
    }
    ensureGMime();
    const QByteArray message = withParameterLinesIndented(m_start ? raw.mid(m_start) : raw);
    m_stream.reset(g_mime_stream_mem_new_with_buffer(message.constData(), size_t(message.size())));
    GMimePtr<GMimeParser> parser(g_mime_parser_new_with_stream(m_stream.get()));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    g_mime_parser_set_persist_stream(parser.get(), TRUE);
    m_message.reset(g_mime_parser_construct_message(parser.get(), nullptr));
    finishStructure();
}

void ParsedMail::finishStructure()
{
    if (!m_message)
        return;
    GMimeObject *top = g_mime_message_get_mime_part(m_message.get());
    if (!top)
        return;
    repairInvalidTypes(top);
    m_container = GMIME_IS_MULTIPART(top) || GMIME_IS_MESSAGE_PART(top) || GMIME_IS_MESSAGE_PARTIAL(top);
    m_textMessage = !m_container && isType(top, "text", "*");
    if (GMIME_IS_MESSAGE_PARTIAL(top)) {
        auto *partial = GMIME_MESSAGE_PARTIAL(top);
        m_incompleteFragment = !(g_mime_message_partial_get_total(partial) == 1
                                 && g_mime_message_partial_get_number(partial) == 1);
    }
    chooseBody(top);
    collect(top);
}

// The body is chosen the way a reader would: depth first, the first
// text/plain wins, else the first text/html; multipart/related contributes
// only its root; attachments and message/* parts are never the body.
void ParsedMail::chooseBody(GMimeObject *top)
{
    int best = 2;
    std::vector<GMimeObject *> stack{top};
    while (!stack.empty() && best > 0) {
        GMimeObject *object = stack.back();
        stack.pop_back();
        if (hasAttachmentDisposition(object))
            continue;
        if (isType(object, "text", "*")) {
            int priority = 2;
            if (isType(object, "text", "plain"))
                priority = 0;
            else if (isType(object, "text", "html"))
                priority = 1;
            if (priority < best && GMIME_IS_PART(object)) {
                best = priority;
                m_bodyPart = object;
            }
            continue;
        }
        if (!GMIME_IS_MULTIPART(object))
            continue;
        if (!isType(object, "multipart", "related")) {
            pushChildren(&stack, object);
            continue;
        }
        auto *multipart = GMIME_MULTIPART(object);
        GMimeObject *root = nullptr;
        const char *start = g_mime_object_get_content_type_parameter(object, "start");
        if (start) {
            QByteArray id(start);
            id = id.trimmed();
            if (id.startsWith('<') && id.endsWith('>'))
                id = id.mid(1, id.size() - 2);
            root = g_mime_multipart_get_subpart_from_content_id(multipart, id.constData());
        }
        if (!root && g_mime_multipart_get_count(multipart) > 0)
            root = g_mime_multipart_get_part(multipart, 0);
        if (root)
            stack.push_back(root);
    }
}

// The objects from top down to target, both included; empty when target is
// not in the tree.
QSet<GMimeObject *> ParsedMail::pathTo(GMimeObject *top, GMimeObject *target) const
{
    QSet<GMimeObject *> path;
    if (!target)
        return path;
    QHash<GMimeObject *, GMimeObject *> parents;
    std::vector<GMimeObject *> stack{top};
    while (!stack.empty()) {
        GMimeObject *object = stack.back();
        stack.pop_back();
        if (object == target) {
            for (GMimeObject *o = target; o; o = parents.value(o))
                path.insert(o);
            return path;
        }
        for (GMimeObject *child : childrenOf(object)) {
            parents.insert(child, object);
            stack.push_back(child);
        }
    }
    return path;
}

// Every leaf other than the body counts as an attachment when it has a file
// name, is marked as an attachment, or is not text; inside the branches of a
// multipart/alternative that were not chosen only explicit attachments count.
void ParsedMail::collect(GMimeObject *top)
{
    const QSet<GMimeObject *> bodyPath = pathTo(top, m_bodyPart);
    struct Item
    {
        GMimeObject *object;
        bool restricted;
    };
    std::vector<Item> stack{{top, false}};
    while (!stack.empty()) {
        const Item item = stack.back();
        stack.pop_back();
        GMimeObject *object = item.object;
        if (GMIME_IS_MULTIPART(object)) {
            const bool alternative = isType(object, "multipart", "alternative");
            const QList<GMimeObject *> children = childrenOf(object);
            for (auto it = children.crbegin(); it != children.crend(); ++it)
                stack.push_back({*it, item.restricted || (alternative && !bodyPath.contains(*it))});
            continue;
        }
        if (object == m_bodyPart)
            continue;
        const bool marked = hasAttachmentDisposition(object);
        const QString name = fileNameOf(object);
        const bool text = isType(object, "text", "*");
        if (item.restricted ? marked : (marked || !name.isEmpty() || !text)) {
            m_attachments.append({object, name, mimeTypeOf(object)});
            continue;
        }
        if (!item.restricted && text && GMIME_IS_PART(object))
            m_extraText.append(object);
    }
}

QString ParsedMail::partText(GMimeObject *object) const
{
    if (!GMIME_IS_PART(object))
        return {};
    GMimeDataWrapper *content = g_mime_part_get_content(GMIME_PART(object));
    if (!content)
        return {};
    GMimePtr<GMimeStream> memory(g_mime_stream_mem_new());
    if (g_mime_data_wrapper_write_to_stream(content, memory.get()) < 0)
        return {};
    GByteArray *array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
    const QByteArray bytes = array ? QByteArray(reinterpret_cast<const char *>(array->data), qsizetype(array->len))
                                   : QByteArray();
    const QString decoded = decodeCharset(bytes, charsetOf(object));
    if (isType(object, "text", "html"))
        return htmlToText(decoded);
    return normaliseLineEnds(decoded);
}

QString ParsedMail::text() const
{
    if (!m_message) {
        // No structure to go by: the body as text, in the charset the header names.
        const ParameterHeader type = parseParameterHeader(headerValue("Content-Type"));
        if (m_file >= 0)
            return normaliseLineEnds(bodyText()); // ASCII, whatever the label
        return normaliseLineEnds(decodeCharset(m_body, type.parameters.value("charset").toLatin1()));
    }
    QStringList texts;
    if (m_bodyPart)
        texts.append(partText(m_bodyPart));
    for (GMimeObject *extra : m_extraText) {
        const QString t = partText(extra);
        if (!t.trimmed().isEmpty())
            texts.append(t);
    }
    return texts.join(QStringLiteral("\r\n\r\n"));
}

bool ParsedMail::writeContent(const AttachmentPart &part, GMimeStream *stream) const
{
    if (GMIME_IS_MESSAGE_PART(part.object)) {
        GMimeMessage *inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part.object));
        if (!inner)
            return true;
        return g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, stream) >= 0;
    }
    if (!GMIME_IS_PART(part.object))
        return true;
    GMimeDataWrapper *content = g_mime_part_get_content(GMIME_PART(part.object));
    if (!content)
        return true;
    return g_mime_data_wrapper_write_to_stream(content, stream) >= 0;
}

} // namespace maillib::detail
