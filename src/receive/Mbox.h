#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// The mbox file format in its "mboxrd" form: every message begins with a
// separator line "From <sender> <asctime date>" and ends with an empty line;
// a line of the message that begins with "From ", after any number of ">",
// gets one more ">" in front, which a reader takes away again.
namespace receive::mbox {

// The separator line for a message from sender (an address without blanks,
// else "MAILER-DAEMON") sent at date (a Date field; the start of 1970 when it
// cannot be read), with its line end.
[[nodiscard]] QByteArray separatorLine(const QString &sender, const QString &date);

// One message as an entry of an mboxrd file: the separator line, the message
// with its "From " lines quoted and a line end added when its last line has
// none, and the empty line that ends it.
[[nodiscard]] QByteArray entry(const QByteArray &separator, const QByteArray &message);

// Reads the messages of an mbox file one after another, without holding more
// than one of them. A file written with "From " lines quoted once (mboxo) or
// every level (mboxrd) gives its messages back as they were written.
class Reader
{
public:
    explicit Reader(const QString &path);

    // False with error() set when the file cannot be opened or does not begin
    // with a separator line.
    [[nodiscard]] bool open();
    // The next message, its separator line and the empty line before the
    // next one taken away and its quoting undone; false at the end of the
    // file, or on a read error with error() set.
    [[nodiscard]] bool next(QByteArray *message);
    [[nodiscard]] const QString &error() const { return m_error; }

private:
    // The next line with its line end; false at the end of the file.
    bool readLine(QByteArray *line);

    QFile m_file;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_atEnd = false;
    bool m_haveSeparator = false; // the separator of the next message was read
    QString m_error;
};

} // namespace receive::mbox
