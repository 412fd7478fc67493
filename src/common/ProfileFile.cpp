#include "common/ProfileFile.h"

#include "common/Cp932.h"
#include "common/ProgramFolder.h"

#include <QFile>
#include <QList>
#include <QSaveFile>

namespace common {
namespace {

struct Line
{
    QByteArray raw;     // the line as stored, without its line end
    QByteArray lineEnd; // "\r\n", "\n" or empty for a last line without one
};

QList<Line> splitLines(const QByteArray &data)
{
    QList<Line> lines;
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype nl = data.indexOf('\n', start);
        if (nl < 0) {
            lines.append({data.mid(start), {}});
            break;
        }
        qsizetype end = nl;
        QByteArray ending("\n");
        if (end > start && data[end - 1] == '\r') {
            --end;
            ending = "\r\n";
        }
        lines.append({data.mid(start, end - start), ending});
        start = nl + 1;
    }
    return lines;
}

// "[name]" → name, trimmed; empty optional when the line is no section header.
bool sectionName(const QByteArray &raw, QString *name)
{
    const QByteArray t = raw.trimmed();
    if (!t.startsWith('['))
        return false;
    const qsizetype close = t.indexOf(']');
    const QByteArray inner = close < 0 ? t.mid(1) : t.mid(1, close - 1);
    *name = fromCp932(inner.trimmed());
    return true;
}

bool keyValue(const QByteArray &raw, QString *key, QByteArray *value)
{
    const qsizetype eq = raw.indexOf('=');
    if (eq < 0)
        return false;
    *key = fromCp932(raw.left(eq).trimmed());
    QByteArray v = raw.mid(eq + 1).trimmed();
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    *value = v;
    return true;
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Where an entry goes: the section's header line, its last non-blank line and
// the key's line; -1 for what is not there.
struct EntrySpot
{
    qsizetype sectionAt = -1;
    qsizetype lastEntry = -1;
    qsizetype keyAt = -1;
};

EntrySpot findEntry(const QList<Line> &lines, const QString &section, const QString &key)
{
    EntrySpot spot;
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString name;
        if (sectionName(lines[i].raw, &name)) {
            if (inSection)
                break; // a repeated section later on is not looked at
            inSection = sameName(name, section);
            if (inSection) {
                spot.sectionAt = i;
                spot.lastEntry = i;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!lines[i].raw.trimmed().isEmpty())
            spot.lastEntry = i;
        QString k;
        QByteArray v;
        if (spot.keyAt < 0 && keyValue(lines[i].raw, &k, &v) && sameName(k, key))
            spot.keyAt = i;
    }
    return spot;
}

// Replaces the key's line, or adds it at the end of its section, or adds the
// section with it at the end of the file.
void putEntry(QList<Line> *lines, const QString &section, const QString &key, const QByteArray &entry)
{
    const EntrySpot spot = findEntry(*lines, section, key);
    if (spot.keyAt >= 0) {
        (*lines)[spot.keyAt].raw = entry;
    } else if (spot.sectionAt >= 0) {
        if ((*lines)[spot.lastEntry].lineEnd.isEmpty())
            (*lines)[spot.lastEntry].lineEnd = "\r\n";
        lines->insert(spot.lastEntry + 1, {entry, "\r\n"});
    } else {
        if (!lines->isEmpty() && lines->last().lineEnd.isEmpty())
            lines->last().lineEnd = "\r\n";
        lines->append({'[' + toCp932(section) + ']', "\r\n"});
        lines->append({entry, "\r\n"});
    }
}

QByteArray joinLines(const QList<Line> &lines)
{
    QByteArray data;
    for (const Line &line : lines)
        data += line.raw + line.lineEnd;
    return data;
}

} // namespace

ProfileFile::ProfileFile(QString path) : m_path(std::move(path)) {}

bool ProfileFile::lookup(const QString &section, const QString &key, QString *value) const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QList<Line> lines = splitLines(file.readAll());
    bool inSection = false;
    for (const Line &line : lines) {
        QString name;
        if (sectionName(line.raw, &name)) {
            inSection = sameName(name, section);
            continue;
        }
        QString k;
        QByteArray v;
        if (inSection && keyValue(line.raw, &k, &v) && sameName(k, key)) {
            // The value is handed back as the A functions would: bytes, cut to the buffer.
            *value = fromCp932(v);
            return true;
        }
    }
    return false;
}

QString ProfileFile::readText(const QString &section, const QString &key, const QString &defaultText,
                              int bufferSize) const
{
    QString value;
    if (!lookup(section, key, &value))
        value = defaultText;
    return cutToCp932Width(value, qMax(0, bufferSize - 1));
}

int ProfileFile::readInt(const QString &section, const QString &key, int defaultValue) const
{
    QString value;
    if (!lookup(section, key, &value))
        return defaultValue;
    qint64 n = 0;
    for (QChar c : value) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        n = n * 10 + (c.unicode() - '0');
        if (n > std::numeric_limits<int>::max())
            return std::numeric_limits<int>::max();
    }
    return int(n);
}

bool ProfileFile::write(const QString &section, const QString &key, const QString &value)
{
    QByteArray old;
    bool existed = false;
    {
        QFile file(m_path);
        if (file.exists()) {
            existed = true;
            if (!file.open(QIODevice::ReadOnly))
                return false;
            old = file.readAll();
        }
    }
    QList<Line> lines = splitLines(old);
    putEntry(&lines, section, key, toCp932(key) + '=' + toCp932(value));
    const QByteArray data = joinLines(lines);

    QSaveFile out(m_path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.setPermissions(existed && m_policy == PermissionsOnCreate ? QFile::permissions(m_path) : m_createPermissions);
    if (out.write(data) != data.size())
        return false;
    return out.commit();
}

namespace {
ProfileFile profile()
{
    return ProfileFile(ProgramFolder::dataFile(QString::fromLatin1(ProfileFileName)));
}
} // namespace

QString ProfileReadText(const QString &key, const QString &defaultText)
{
    return profile().readText(QString::fromLatin1(ProfileSection), key, defaultText);
}

int ProfileReadInt(const QString &key, int defaultValue)
{
    return profile().readInt(QString::fromLatin1(ProfileSection), key, defaultValue);
}

bool ProfileWrite(const QString &key, const QString &value)
{
    return profile().write(QString::fromLatin1(ProfileSection), key, value);
}

} // namespace common
