#include "receive/Mbox.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cstring>

namespace receive::mbox {
namespace {

constexpr qsizetype ChunkBytes = 1 << 20;

bool isSeparator(const QByteArray &line)
{
    return line.startsWith("From ");
}

// ">From ", ">>From " ...: a quoted line.
qsizetype quotedFrom(const char *p, qsizetype n)
{
    qsizetype i = 0;
    while (i < n && p[i] == '>')
        ++i;
    return (i > 0 && n - i >= 5 && std::memcmp(p + i, "From ", 5) == 0) ? i : 0;
}

} // namespace

QByteArray separatorLine(const QString &sender, const QString &date)
{
    QString who = sender.trimmed();
    const bool usable = !who.isEmpty() && who.size() <= 254
                        && std::none_of(who.begin(), who.end(), [](QChar c) { return c.unicode() <= 0x20 || c.unicode() >= 0x7F; });
    if (!usable)
        who = QStringLiteral("MAILER-DAEMON");
    QDateTime when = QDateTime::fromString(date.trimmed(), Qt::RFC2822Date);
    if (!when.isValid())
        when = QDateTime::fromSecsSinceEpoch(0, Qt::UTC);
    when = when.toUTC();
    // asctime: "Thu Jan  1 00:00:00 1970", the day padded with a blank.
    const QLocale c = QLocale::c();
    const QString stamp = c.toString(when, QStringLiteral("ddd MMM ")) + QStringLiteral("%1").arg(when.date().day(), 2)
                          + c.toString(when, QStringLiteral(" HH:mm:ss yyyy"));
    return "From " + who.toLatin1() + ' ' + stamp.toLatin1() + '\n';
}

QByteArray entry(const QByteArray &separator, const QByteArray &message)
{
    QByteArray out;
    out.reserve(separator.size() + message.size() + message.size() / 256 + 4);
    out += separator;
    const char *p = message.constData();
    const qsizetype n = message.size();
    qsizetype start = 0;
    while (start < n) {
        const char *nl = static_cast<const char *>(std::memchr(p + start, '\n', size_t(n - start)));
        const qsizetype end = nl ? (nl - p) + 1 : n;
        if (p[start] == 'F' ? (end - start >= 5 && std::memcmp(p + start, "From ", 5) == 0)
                            : (p[start] == '>' && quotedFrom(p + start, end - start) > 0))
            out += '>';
        out.append(p + start, end - start);
        start = end;
    }
    if (!out.endsWith('\n'))
        out += '\n';
    out += '\n';
    return out;
}

Reader::Reader(const QString &path) : m_file(path) {}

bool Reader::open()
{
    if (!m_file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("「%1」を開けません（%2）。").arg(m_file.fileName(), m_file.errorString());
        return false;
    }
    QByteArray line;
    // Blank lines before the first separator are tolerated; anything else
    // means this is not an mbox file.
    while (readLine(&line)) {
        if (isSeparator(line)) {
            m_haveSeparator = true;
            return true;
        }
        if (!line.trimmed().isEmpty())
            break;
    }
    if (m_error.isEmpty() && (!line.trimmed().isEmpty() || m_file.size() > 0))
        m_error = QStringLiteral("「%1」は mbox 形式のファイルではありません（先頭が「From 」の行で始まっていません）。")
                      .arg(m_file.fileName());
    // An empty file is an mbox without messages.
    return m_error.isEmpty();
}

bool Reader::readLine(QByteArray *line)
{
    for (;;) {
        const char *p = m_buffer.constData() + m_pos;
        const qsizetype left = m_buffer.size() - m_pos;
        const char *nl = left > 0 ? static_cast<const char *>(std::memchr(p, '\n', size_t(left))) : nullptr;
        if (nl) {
            *line = QByteArray(p, (nl - p) + 1);
            m_pos += (nl - p) + 1;
            return true;
        }
        if (m_atEnd) {
            if (left == 0)
                return false;
            *line = QByteArray(p, left);
            m_pos = m_buffer.size();
            return true;
        }
        m_buffer.remove(0, m_pos);
        m_pos = 0;
        const QByteArray chunk = m_file.read(ChunkBytes);
        if (chunk.isEmpty()) {
            if (m_file.error() != QFileDevice::NoError) {
                m_error = QStringLiteral("「%1」を読めません（%2）。").arg(m_file.fileName(), m_file.errorString());
                return false;
            }
            m_atEnd = true;
        }
        m_buffer += chunk;
    }
}

bool Reader::next(QByteArray *message)
{
    message->clear();
    if (!m_haveSeparator)
        return false;
    m_haveSeparator = false;
    QByteArray line;
    qsizetype lastLineStart = 0;
    while (readLine(&line)) {
        if (isSeparator(line)) {
            m_haveSeparator = true;
            break;
        }
        lastLineStart = message->size();
        if (const qsizetype q = quotedFrom(line.constData(), line.size()); q > 0)
            message->append(line.constData() + 1, line.size() - 1);
        else
            message->append(line);
    }
    if (!m_error.isEmpty())
        return false;
    // The empty line that ends an entry is not part of the message.
    const qsizetype lastLength = message->size() - lastLineStart;
    if ((lastLength == 1 && message->endsWith('\n')) || (lastLength == 2 && message->endsWith("\r\n")))
        message->truncate(lastLineStart);
    return true;
}

} // namespace receive::mbox
