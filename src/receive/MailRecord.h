#pragma once

#include <QByteArray>
#include <QString>

namespace receive {

// One received mail as the store holds it: a fixed-length record of 32284
// bytes with CP932 text fields, left-aligned and blank-padded. In memory the
// text fields are texts of exactly their width in characters, blank-padded.
struct MailRecord
{
    static constexpr qsizetype SubjectOffset = 0;
    static constexpr qsizetype SubjectWidth = 100;
    static constexpr qsizetype DateOffset = 100;
    static constexpr qsizetype DateWidth = 90;
    static constexpr qsizetype FromOffset = 190;
    static constexpr qsizetype FromWidth = 90;
    static constexpr qsizetype BodyOffset = 280;
    static constexpr qsizetype BodyWidth = 32000;
    static constexpr qsizetype LineEndOffset = 32280;
    static constexpr qsizetype LiveOffset = 32282;
    static constexpr qsizetype Length = 32284;

    QString subject = blanks(SubjectWidth);
    QString date = blanks(DateWidth);
    QString from = blanks(FromWidth);
    QString body = blanks(BodyWidth);
    QString lineEnd = QStringLiteral("  ");
    qint16 live = 0;

    // A blank text of one of the field widths above, shared rather than built
    // for every record.
    [[nodiscard]] static QString blanks(qsizetype width);
    // The record's bytes in the file: each text in CP932, cut to its width in
    // bytes without splitting a double-byte character, then blank-padded.
    [[nodiscard]] QByteArray toBytes() const;
    // The record held in bytes, which must be Length long.
    [[nodiscard]] static MailRecord fromBytes(const QByteArray &bytes);
};

// The fields the viewer's list shows, without the body: texts of exactly
// their width in characters, as in MailRecord.
struct MailListEntry
{
    QString subject;
    QString date;
    QString from;
};

// The process's one shared mail record: every read of the store fills it and
// every write writes it. It holds whatever record was read or written last.
extern MailRecord CurrentMailRecord;

} // namespace receive
