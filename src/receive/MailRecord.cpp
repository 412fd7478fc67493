#include "receive/MailRecord.h"

#include "common/Cp932.h"
#include "common/FixedText.h"

namespace receive {

MailRecord CurrentMailRecord;

QString MailRecord::blanks(qsizetype width)
{
    static const QString subjectBlanks(SubjectWidth, QLatin1Char(' '));
    static const QString dateBlanks(DateWidth, QLatin1Char(' ')); // FromWidth too
    static const QString bodyBlanks(BodyWidth, QLatin1Char(' '));
    static_assert(DateWidth == FromWidth);
    switch (width) {
    case SubjectWidth:
        return subjectBlanks;
    case DateWidth:
        return dateBlanks;
    case BodyWidth:
        return bodyBlanks;
    default:
        return QString(width, QLatin1Char(' '));
    }
}

QByteArray MailRecord::toBytes() const
{
    QByteArray bytes;
    bytes.reserve(Length);
    bytes += common::toCp932Field(subject, SubjectWidth);
    bytes += common::toCp932Field(date, DateWidth);
    bytes += common::toCp932Field(from, FromWidth);
    bytes += common::toCp932Field(body, BodyWidth);
    bytes += common::toCp932Field(lineEnd, 2);
    bytes += char(quint16(live) & 0xFF);
    bytes += char(quint16(live) >> 8);
    Q_ASSERT(bytes.size() == Length);
    return bytes;
}

MailRecord MailRecord::fromBytes(const QByteArray &bytes)
{
    Q_ASSERT(bytes.size() == Length);
    const char *p = bytes.constData();
    MailRecord record;
    record.subject = common::decodeField(p + SubjectOffset, SubjectWidth, SubjectWidth);
    record.date = common::decodeField(p + DateOffset, DateWidth, DateWidth);
    record.from = common::decodeField(p + FromOffset, FromWidth, FromWidth);
    record.body = common::decodeField(p + BodyOffset, BodyWidth, BodyWidth);
    record.lineEnd = common::decodeField(p + LineEndOffset, 2, 2);
    record.live = qint16(quint16(uchar(p[LiveOffset])) | quint16(quint16(uchar(p[LiveOffset + 1])) << 8));
    return record;
}

} // namespace receive
