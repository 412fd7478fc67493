#pragma once

#include <QByteArray>
#include <QStringList>

#include <optional>
#include <vector>

// The POP3 session's reading side, free of any socket: bytes in, status lines
// and multi-line replies out, and the listings of STAT, LIST, UIDL and CAPA
// read into values. Only the session and its tests use this.
namespace maillib {

// Longest status line accepted; anything longer is not a POP3 server.
inline constexpr qsizetype kPop3MaxStatusLine = 64 * 1024;
// Bound for the multi-line replies that are not messages (CAPA, LIST, UIDL).
inline constexpr qsizetype kPop3MaxListing = 64 * 1024 * 1024;

// Splits the bytes a server sends into the replies the session waits for.
// Whether a status line opens a multi-line reply depends on the command, so
// the caller says what it expects next: a status line or a reply's body.
class Pop3ReplyParser
{
public:
    enum class Step {
        NeedMore, // nothing complete yet; append more bytes
        Done,     // a status line, or the end of a body, was read
        TooLong,  // the status line or the body passes its bound
    };

    void append(const QByteArray &bytes) { m_buffer.append(bytes); }
    [[nodiscard]] bool hasInput() const { return m_read < m_buffer.size(); }
    // Up to length unread bytes, as they are.
    [[nodiscard]] QByteArray peek(qsizetype length) const { return m_buffer.mid(m_read, length); }

    // The next status line without its line end (LF or CRLF).
    [[nodiscard]] Step readStatusLine(QByteArray *line);
    // Adds the whole lines of a multi-line reply that have arrived to *data,
    // dot-stuffing undone (RFC 1939 section 3); Done once the line "." ends it.
    // TooLong when *data would pass limit octets.
    [[nodiscard]] Step readBody(QByteArray *data, qsizetype limit);

    // Lets go of what has been read.
    void discardRead();
    // Drops everything, read or not.
    void clear();

private:
    QByteArray m_buffer;
    qsizetype m_read = 0;
};

enum class Pop3Status { Ok, Error, Malformed };
[[nodiscard]] Pop3Status pop3Status(const QByteArray &statusLine);

// The message count of a STAT reply ("+OK count octets"); none when missing or negative.
[[nodiscard]] std::optional<int> pop3MessageCount(const QByteArray &statStatus);
// Sizes by message number from 1 out of a LIST listing; none unless every
// number from 1 to count is listed exactly once with a size.
[[nodiscard]] std::optional<std::vector<qint64>> pop3MessageSizes(const QByteArray &listing, int count);
// Unique IDs by message number from 1 out of a UIDL listing; none unless every
// number from 1 to count is listed exactly once with a valid ID.
[[nodiscard]] std::optional<std::vector<QByteArray>> pop3UniqueIds(const QByteArray &listing, int count);
// The capability names of a CAPA listing, upper-cased, without their arguments.
[[nodiscard]] QStringList pop3Capabilities(const QByteArray &listing);

} // namespace maillib
