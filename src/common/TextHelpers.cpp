#include "common/TextHelpers.h"

#include <algorithm>
#include <cmath>

#include "common/Cp932.h"
#include "common/PrivateFiles.h"

#include <QFile>
#include <QSaveFile>

namespace common {

QString CutAtNul(const QString &text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

QString FolderPart(const QString &path)
{
    const qsizetype cut = qMax(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
    return cut < 0 ? path : path.left(cut + 1);
}

QString readCp932TextFile(const QString &path, bool *ok)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (ok)
            *ok = false;
        return {};
    }
    const QByteArray data = file.readAll();
    if (ok)
        *ok = file.error() == QFileDevice::NoError;
    QByteArray out;
    out.reserve(data.size() + data.size() / 16 + 2);
    const char *bytes = data.constData();
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype cr = data.indexOf('\r', start);
        if (cr < 0)
            cr = data.size();
        out.append(bytes + start, cr - start);
        out.append("\r\n", 2);
        start = cr + 1;
        if (start < data.size() && bytes[start] == '\n')
            ++start;
    }
    return fromCp932(out);
}

bool writeCp932TextFile(const QString &path, const QString &text)
{
    const bool existed = QFile::exists(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!existed)
        file.setPermissions(PrivateFilePermissions);
    const QByteArray bytes = toCp932(text);
    if (file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}

namespace {
bool isLineBreak(QChar c)
{
    switch (c.unicode()) {
    case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x85: case 0x2028: case 0x2029:
        return true;
    default:
        return false;
    }
}
} // namespace

bool hasLineBreak(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), isLineBreak);
}

QString withoutLineBreaks(const QString &text)
{
    QString out = text;
    out.removeIf(isLineBreak);
    return out;
}

QString trimBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

namespace {

bool isSkipped(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

int digitValue(QChar c, int base)
{
    int v = -1;
    if (c >= u'0' && c <= u'9')
        v = c.unicode() - u'0';
    else if (c >= u'a' && c <= u'f')
        v = c.unicode() - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
        v = c.unicode() - u'A' + 10;
    return v >= 0 && v < base ? v : -1;
}

} // namespace

double leadingNumber(const QString &text)
{
    QString s;
    s.reserve(text.size());
    for (QChar c : text) {
        if (!isSkipped(c))
            s.append(c);
    }

    qsizetype i = 0;
    if (s.size() >= 2 && s[0] == u'&') {
        const QChar kind = s[1].toUpper();
        const int base = kind == u'H' ? 16 : kind == u'O' ? 8 : 0;
        if (base == 0)
            return 0.0;
        double value = 0.0;
        for (i = 2; i < s.size() && digitValue(s[i], base) >= 0; ++i)
            value = value * base + digitValue(s[i], base);
        return value;
    }

    // Collect the longest prefix that forms a decimal number, then convert it.
    QString number;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-'))
        number.append(s[i++]);
    bool anyDigit = false;
    while (i < s.size() && s[i].isDigit() && s[i].unicode() < 128) {
        number.append(s[i++]);
        anyDigit = true;
    }
    if (i < s.size() && s[i] == u'.') {
        number.append(s[i++]);
        while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') {
            number.append(s[i++]);
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return 0.0;
    if (i < s.size() && (s[i] == u'e' || s[i] == u'E' || s[i] == u'd' || s[i] == u'D')) {
        QString exponent = QStringLiteral("e");
        qsizetype j = i + 1;
        if (j < s.size() && (s[j] == u'+' || s[j] == u'-'))
            exponent.append(s[j++]);
        const qsizetype digitsStart = j;
        while (j < s.size() && s[j] >= u'0' && s[j] <= u'9')
            exponent.append(s[j++]);
        if (j > digitsStart)
            number.append(exponent);
    }
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

} // namespace common
