#include "maillib/Pop3ReplyParser_p.h"

#include "maillib/Pop3Session.h"

#include <cstring>

namespace maillib {

namespace {

// Grown by reserve(), which reallocates in place where it can; append() would
// copy into a new block and hold both for a moment.
void appendRun(QByteArray *data, const char *from, qsizetype length)
{
    const qsizetype need = data->size() + length;
    if (need > data->capacity())
        data->reserve(qMax(need, data->capacity() * 2));
    data->append(from, length);
}

// What the line still arriving adds to a body at least: nothing while it may
// yet be the closing ".", else what has arrived of it (a stuffed dot is made
// up for by the line end still to come). Counting the closing line would fail
// a body exactly at its bound whose "." happens to arrive on its own.
qsizetype leastFromPartialLine(const char *line, qsizetype length)
{
    if (length >= 1 && line[0] == '.' && (length == 1 || (length == 2 && line[1] == '\r')))
        return 0;
    return length;
}

} // namespace

Pop3ReplyParser::Step Pop3ReplyParser::readStatusLine(QByteArray *line)
{
    const qsizetype eol = m_buffer.indexOf('\n', m_read);
    if (eol < 0)
        return m_buffer.size() - m_read > kPop3MaxStatusLine ? Step::TooLong : Step::NeedMore;
    *line = m_buffer.mid(m_read, eol - m_read);
    if (line->endsWith('\r'))
        line->chop(1);
    m_read = eol + 1;
    return Step::Done;
}

namespace {

// The start of the first line in (pos, end) that begins with '.', or end.
// memchr runs far faster than memmem with a two-byte needle.
qsizetype nextDotLine(const char *base, qsizetype pos, qsizetype end)
{
    const char *p = base + pos;
    const char *const stop = base + end;
    while (p < stop) {
        const auto *nl = static_cast<const char *>(memchr(p, '\n', size_t(stop - p)));
        if (!nl || nl + 1 >= stop)
            return end;
        if (nl[1] == '.')
            return nl + 1 - base;
        p = nl + 1;
    }
    return end;
}

} // namespace

Pop3ReplyParser::Step Pop3ReplyParser::readBody(QByteArray *data, qsizetype limit)
{
    // Taken in runs of whole lines: only a line that starts with '.' needs a
    // look of its own.
    const char *const base = m_buffer.constData();
    const qsizetype end = m_buffer.indexOf('\n', m_read) < 0 ? m_read : m_buffer.lastIndexOf('\n') + 1;
    qsizetype pos = m_read;
    while (pos < end) {
        if (base[pos] == '.') {
            const qsizetype lineEnd = m_buffer.indexOf('\n', pos);
            const qsizetype length = lineEnd + 1 - pos;
            if (length == 2 || (length == 3 && base[pos + 1] == '\r')) {
                m_read = lineEnd + 1;
                return Step::Done;
            }
            ++pos; // dot-stuffing undone; the rest of the line is plain
        }
        const qsizetype runEnd = nextDotLine(base, pos, end);
        if (data->size() + (runEnd - pos) > limit)
            return Step::TooLong;
        appendRun(data, base + pos, runEnd - pos);
        pos = runEnd;
    }
    m_read = pos;
    return data->size() + leastFromPartialLine(base + pos, m_buffer.size() - pos) > limit ? Step::TooLong
                                                                                          : Step::NeedMore;
}

void Pop3ReplyParser::discardRead()
{
    m_buffer.remove(0, m_read);
    m_read = 0;
}

void Pop3ReplyParser::clear()
{
    m_buffer.clear();
    m_read = 0;
}

Pop3Status pop3Status(const QByteArray &statusLine)
{
    if (statusLine.startsWith("+OK"))
        return Pop3Status::Ok;
    if (statusLine.startsWith("-ERR"))
        return Pop3Status::Error;
    return Pop3Status::Malformed;
}

std::optional<int> pop3MessageCount(const QByteArray &statStatus)
{
    bool countOk = false;
    const int count = statStatus.split(' ').value(1).toInt(&countOk);
    if (!countOk || count < 0)
        return std::nullopt;
    return count;
}

namespace {

// Reads a scan listing (LIST, UIDL: "number value" per line) of count
// messages; take(number, words) checks one line's words and keeps its value,
// false rejecting the line. Every message must be listed exactly once.
template <typename Take>
bool readScanListing(const QByteArray &listing, int count, Take &&take)
{
    int listed = 0;
    for (const QByteArray &line : listing.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty())
            continue;
        const QList<QByteArray> words = trimmed.split(' ');
        bool numberOk = false;
        const int number = words.value(0).toInt(&numberOk);
        if (!numberOk || number < 1 || number > count || !take(number, words))
            return false;
        ++listed;
    }
    return listed == count;
}

} // namespace

std::optional<std::vector<qint64>> pop3MessageSizes(const QByteArray &listing, int count)
{
    std::vector<qint64> sizes(static_cast<size_t>(qMax(count, 0)), -1);
    const bool read = readScanListing(listing, count, [&sizes](int number, const QList<QByteArray> &words) {
        bool sizeOk = false;
        const qint64 size = words.value(1).toLongLong(&sizeOk);
        if (!sizeOk || size < 0 || sizes[size_t(number - 1)] >= 0)
            return false;
        sizes[size_t(number - 1)] = size;
        return true;
    });
    if (!read)
        return std::nullopt;
    return sizes;
}

namespace {

// RFC 1939 section 7: 1 to 70 characters from 0x21 to 0x7E.
bool isUniqueId(const QByteArray &id)
{
    if (id.isEmpty() || id.size() > 70)
        return false;
    for (char c : id) {
        if (c < 0x21 || c > 0x7e)
            return false;
    }
    return true;
}

} // namespace

std::optional<std::vector<QByteArray>> pop3UniqueIds(const QByteArray &listing, int count)
{
    std::vector<QByteArray> found(static_cast<size_t>(qMax(count, 0)));
    const bool read = readScanListing(listing, count, [&found](int number, const QList<QByteArray> &words) {
        if (words.size() != 2 || !isUniqueId(words.at(1)) || !found[size_t(number - 1)].isEmpty())
            return false;
        found[size_t(number - 1)] = words.at(1);
        return true;
    });
    if (!read)
        return std::nullopt;
    return found;
}

QStringList pop3Capabilities(const QByteArray &listing)
{
    QStringList names;
    for (const QByteArray &line : listing.split('\n')) {
        const QByteArray word = line.trimmed().split(' ').value(0).toUpper();
        if (!word.isEmpty())
            names.append(QString::fromLatin1(word));
    }
    return names;
}

ApopTimestamp apopTimestamp(const QByteArray &greeting)
{
    ApopTimestamp result;
    const qsizetype open = greeting.indexOf('<');
    const qsizetype close = greeting.indexOf('>');
    if (open < 0 && close < 0)
        return result;
    result.kind = ApopTimestamp::Kind::Malformed;
    if (open < 0 || close < open || greeting.indexOf('<', open + 1) >= 0 || greeting.indexOf('>', close + 1) >= 0)
        return result;
    const QByteArray inner = greeting.mid(open + 1, close - open - 1);
    // A msg-id: printable ASCII without blanks, local part "@" domain. Anything
    // else is not hashed, so that a hostile server cannot choose what the
    // password is mixed with.
    if (inner.isEmpty() || inner.size() > 512)
        return result;
    for (char c : inner) {
        if (c < 0x21 || c > 0x7e)
            return result;
    }
    const qsizetype at = inner.lastIndexOf('@');
    if (at <= 0 || at == inner.size() - 1)
        return result;
    result.kind = ApopTimestamp::Kind::Valid;
    result.value = greeting.mid(open, close - open + 1);
    return result;
}

} // namespace maillib
