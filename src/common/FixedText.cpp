#include "common/FixedText.h"

#include "common/Cp932.h"

namespace common {

QString fitChars(const QString &text, qsizetype width)
{
    if (text.size() >= width)
        return text.left(width);
    QString fitted;
    fitted.reserve(width);
    fitted.append(text);
    fitted.resize(width, QLatin1Char(' '));
    return fitted;
}

QString decodeField(const char *data, qsizetype bytes, qsizetype chars)
{
    // Blank padding is by far the most common content; decode only the text before it.
    qsizetype used = bytes;
    while (used > 0 && data[used - 1] == ' ')
        --used;
    // Plain ASCII, the usual case for addresses and dates, needs no converter.
    bool ascii = true;
    for (qsizetype i = 0; i < used && ascii; ++i)
        ascii = uchar(data[i]) < 0x80;
    if (ascii)
        return fitChars(QString::fromLatin1(data, used), chars);
    return fitChars(fromCp932(QByteArray::fromRawData(data, used)), chars);
}

} // namespace common
