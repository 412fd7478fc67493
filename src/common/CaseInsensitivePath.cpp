#include "common/CaseInsensitivePath.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace common {

QString resolveCaseInsensitive(const QString &base, const QString &relative)
{
    QString path = base;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    QString rel = relative;
    rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QStringList parts = rel.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    bool searching = true;
    for (const QString &part : parts) {
        const QString exact = path + QLatin1Char('/') + part;
        if (!searching || part == QLatin1String(".") || part == QLatin1String("..")
            || QFileInfo::exists(exact)) {
            path = exact;
            continue;
        }
        QString found;
        const QString folded = part.toCaseFolded();
        QDir dir(path);
        const QStringList names = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                                QDir::Name);
        for (const QString &name : names) {
            if (name.toCaseFolded() == folded) {
                found = name;
                break;
            }
        }
        if (found.isEmpty()) {
            searching = false; // nothing below a missing folder can exist
            path = exact;
        } else {
            path += QLatin1Char('/') + found;
        }
    }
    return path;
}

} // namespace common
