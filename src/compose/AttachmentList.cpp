#include "compose/AttachmentList.h"

namespace compose {
namespace {

const QChar Comma = QLatin1Char(',');
const QChar Quote = QLatin1Char('"');

QString quoted(const QString &path)
{
    if (!path.contains(Comma) && !path.startsWith(Quote))
        return path;
    QString text = path;
    text.replace(Quote, QStringLiteral("\"\""));
    return Quote + text + Quote;
}

} // namespace

QString appendAttachmentPath(const QString &list, const QString &path)
{
    if (list.isEmpty())
        return quoted(path);
    return list + Comma + quoted(path);
}

QString formatAttachmentList(const QStringList &paths)
{
    QString list;
    for (const QString &path : paths)
        if (!path.isEmpty())
            list = appendAttachmentPath(list, path);
    return list;
}

QStringList parseAttachmentList(const QString &list)
{
    QStringList paths;
    QString piece;
    bool inQuotes = false;
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QChar c = list.at(i);
        if (inQuotes) {
            if (c != Quote)
                piece += c;
            else if (i + 1 < list.size() && list.at(i + 1) == Quote)
                piece += list.at(++i);
            else
                inQuotes = false;
        } else if (c == Quote && piece.isEmpty()) {
            inQuotes = true;
        } else if (c == Comma) {
            if (!piece.isEmpty())
                paths << piece;
            piece.clear();
        } else {
            piece += c;
        }
    }
    if (!piece.isEmpty())
        paths << piece;
    return paths;
}

QString attachmentTitle(const QString &path)
{
    // Both separators count: a path typed or pasted from elsewhere may use "\".
    const qsizetype cut = qMax(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}

} // namespace compose
