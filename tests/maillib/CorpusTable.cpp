#include "CorpusTable.h"

#include <QFile>
#include <QStringList>

namespace {

QString unescape(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 >= value.size()) {
            out += value[i];
            continue;
        }
        const QChar next = value[++i];
        if (next == u't')
            out += u'\t';
        else if (next == u'n')
            out += u'\n';
        else if (next == u'r')
            out += u'\r';
        else if (next == u'x' && i + 2 < value.size()) {
            out += QChar(value.mid(i + 1, 2).toUShort(nullptr, 16));
            i += 2;
        } else
            out += next;
    }
    return out;
}

} // namespace

QList<CorpusRow> readCorpusTable(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<CorpusRow> rows;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        const QStringList f = line.split(u'\t');
        if (f.size() < 8)
            continue;
        CorpusRow row;
        row.file = f[0];
        row.subject = unescape(f[1]);
        row.from = unescape(f[2]);
        row.date = unescape(f[3]);
        row.attachmentCount = f[4].toInt();
        row.attachmentNames = unescape(f[5]);
        row.bodyFirstLine = unescape(f[6]);
        row.notes = unescape(f[7]);
        row.soft = row.notes.contains(QLatin1String("Soft row"), Qt::CaseInsensitive)
            || row.notes.contains(QLatin1String("expected assumes"), Qt::CaseInsensitive);
        rows.append(row);
    }
    return rows;
}

QString comparable(const QString &text)
{
    QString out = text.simplified();
    for (QChar &c : out) {
        if (c.unicode() >= 0xE000 && c.unicode() <= 0xF8FF)
            c = QChar(0xFFFD);
    }
    return out;
}

QString firstNonBlankLine(const QString &text)
{
    for (const QString &line : text.split(u'\n')) {
        const QString t = line.trimmed();
        if (!t.isEmpty())
            return t;
    }
    return {};
}
