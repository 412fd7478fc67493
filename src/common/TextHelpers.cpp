#include "common/TextHelpers.h"

#include <algorithm>

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

} // namespace common
